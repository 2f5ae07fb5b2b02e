// The layout of a JPEG file read from its markers alone, before anything is decoded: where its
// header ends, how many scans it has and where its end-of-image marker is.
#pragma once

#include <cstddef>

class PhotoFile;

struct JpegLayout {
    // To the end of the first start-of-scan segment, all that the properties are read from; as
    // far as the walk went when it met no scan.
    size_t headerBytes = 0;
    bool progressive = false;
    int scans = 0;           // start-of-scan markers met
    size_t bytes = 0;        // to the end of the end-of-image marker; 0 when it was not reached
};

// Walks the segments from the start-of-image marker, and the entropy-coded data of each scan to
// the marker after it, up to the end-of-image marker. Stops early at a segment that does not fit
// the file; after the first scan when maxScans is 0; and at the scan of a progressive file that
// passes maxScans: such a file is refused, and walking on through its scans would take the time
// that the limit is there to save.
JpegLayout WalkJpeg(const PhotoFile &file, int maxScans);

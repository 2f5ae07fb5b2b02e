// The layout of a JPEG file read from its markers alone, before anything is decoded: where its
// header ends, how many scans it has and whether it ends as a JPEG file ends.
#pragma once

#include <cstddef>
#include <cstdint>

class PhotoFile;

// The bytes from the start of a JPEG to the end of its first start-of-scan segment: all that its
// properties are read from. The whole size when the walk over the segments meets no scan.
size_t JpegHeaderBytes(const uint8_t *data, size_t size);

struct JpegLayout {
    bool progressive = false;
    int scans = 0;        // start-of-scan markers met
    bool hasEnd = false;  // the walk reached the end-of-image marker
};

// Walks the segments from the start-of-image marker, and the entropy-coded data of each scan to
// the marker after it, up to the end-of-image marker. Stops early at a segment that does not fit
// the file, or at the scan of a progressive file that passes maxProgressiveScans: such a file is
// refused, and walking on through its scans would take the time the limit is there to save.
JpegLayout WalkJpeg(const PhotoFile &file, int maxProgressiveScans);

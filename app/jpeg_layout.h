// The layout of a JPEG file read from its markers alone, before anything is decoded: where its
// header ends, how many scans it has and where its end-of-image marker is.
#pragma once

#include <QString>
#include <cstddef>

#include "jpeg_checks.h"

class PhotoFile;

struct JpegLayout {
    // To the end of the first start-of-scan segment, all that the properties are read from; as
    // far as the walk went when it met no scan.
    size_t headerBytes = 0;
    bool progressive = false;
    int scans = 0;           // start-of-scan markers met
    size_t bytes = 0;        // to the end of the end-of-image marker; 0 when it was not reached
    // Markers of tables and metadata; the walk stops at the first past kMaxJpegMarkers.
    int markers = 0;
    // The entropy-coded data passed a bound of the frame's JpegScanBoundsOf: the walk stopped
    // there, the rest unread.
    tonefold::JpegDataFault dataFault = tonefold::JpegDataFault::kNone;
};

// Walks the segments from the start-of-image marker, and the entropy-coded data of each scan to
// the marker after it, up to the end-of-image marker. Stops early at a segment that does not fit
// the file; at the marker of tables or metadata that passes their limit; after the first
// scan header when maxScans is 0; at the scan of a progressive file that passes maxScans: such a
// file is refused, and walking on through its scans would take the time that the limit is there
// to save; and where entropy-coded data passes the frame's bounds. The data is followed by the
// rules of the merge program's walk (ScanJpegMarkers), holes of a sparse file counting as the
// zeros they read as, without being read.
JpegLayout WalkJpeg(const PhotoFile &file, int maxScans);

// The reason for refusing a file of this layout, or empty: the refusals that the walk itself
// meets (markers, entropy-coded data), then, when `whole` (the walk went on to the end),
// a file of too many progressive scans or without its end marker; then a header without a scan.
QString JpegLayoutRefusal(const JpegLayout &layout, bool whole);

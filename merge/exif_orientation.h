// EXIF orientation and the marker layout of JPEG files, read from untrusted bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "jpeg_checks.h"

namespace tonefold {

// The orientation tag (0x0112) of a TIFF-structured EXIF block (starting at its byte-order
// mark): 1..8, or 1 when the block is malformed, has no tag or holds another value. The tag is
// one SHORT; any other type or count counts as malformed.
int ReadTiffOrientation(const uint8_t *data, size_t size);

// The orientation of a PNG's EXIF chunk: the first eXIf chunk whose byte-order mark is sound
// and whose check sum holds, wherever it lies before the end chunk; 1 without one.
int ReadPngOrientation(const uint8_t *data, size_t size);

// The orientation of a whole JPEG or PNG file (told apart by their signatures), 1 for anything
// else: the one reading that every photo loader uses.
int ReadPhotoOrientation(const uint8_t *data, size_t size);

struct JpegMarkerScan {
    int orientation = 1;   // from the first APP1 "Exif" segment, 1 when there is none
    bool hasScan = false;  // a start-of-scan marker was reached
    bool hasEnd = false;   // an end-of-image marker follows the first scan
    int scanCount = 0;     // start-of-scan markers before the end-of-image marker
    // Markers of tables and metadata; the walk stops at the first past kMaxJpegMarkers.
    int markers = 0;
    // The entropy-coded data passed a bound of the frame's JpegScanBoundsOf: the walk stopped
    // there, the rest unread.
    JpegDataFault dataFault = JpegDataFault::kNone;
};

// Walks the segments from the start-of-image marker to the first scan, then the scans and
// the segments between them to the end-of-image marker. Entropy-coded data cannot hold a
// marker (0xFF is stuffed), so a missing end marker means the file was cut short. The scans
// are counted from the bytes alone, before any of them is decoded; the entropy-coded data is
// followed only as far as the bounds that the frame header sets, so a file far longer than its
// picture is read no further than that.
JpegMarkerScan ScanJpegMarkers(const uint8_t *data, size_t size);

}  // namespace tonefold

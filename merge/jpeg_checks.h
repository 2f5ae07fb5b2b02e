// Refusal rules for JPEG files that every reader of photos applies alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <jpeglib.h>

namespace tonefold {

// A file can hold any number of scans, each a pass over the whole picture: this many at most.
// Counted from the bytes (JpegMarkerScan::scanCount) before any scan is decoded.
constexpr int kMaxJpegScans = 500;

// The reason for a file of more scans than kMaxJpegScans, or empty.
std::string CheckJpegScanCount(int scanCount, bool progressive);

// Markers of tables and metadata (every marker outside the entropy-coded data but the scans'
// own and the start and end of the image), before the first scan and between scans: this many
// at most. A photo has a few dozen, metadata split into segments of 64 KB (an ICC profile,
// extended XMP) a few hundred at most, and a progressive file new tables before some of its
// scans. A JPEG library keeps the metadata segments it is asked to keep in a list that it walks
// from its head for each new one: tens of thousands of tiny segments would cost minutes before
// the first pixel. Counted from the bytes before any decoder reads them.
constexpr int kMaxJpegMarkers = 1000;

// The reason for a file of more markers than kMaxJpegMarkers, or empty.
std::string CheckJpegMarkerCount(int markerCount);

// Fill bytes (0xFF) before a marker outside the entropy-coded data: an encoder may pad with a
// few; a walk stops at a run longer than this, as at a segment that does not fit the file.
// (Within entropy-coded data they count towards its bounds.)
constexpr size_t kMaxJpegFillBytes = size_t{64} << 10;

// What the entropy-coded data after each scan header (to the marker that ends it, restart
// markers and fill bytes included) may hold, judged from the frame header alone.
struct JpegScanBounds {
    uint64_t maxBytes = 0;    // its length
    uint64_t maxZeroRun = 0;  // the longest run of zero bytes in it
};

// The bounds for a frame of width x height pixels and `components` components (0 x 0 when the
// frame header is missing). Both are far above what any encoder makes, so that a sound file
// never meets them, yet far below what a file that only announces a picture can be made of: a
// hole of gigabytes after the headers, or after a scan.
JpegScanBounds JpegScanBoundsOf(uint32_t width, uint32_t height, int components);

// Whether the marker starts a frame header (SOF0 to SOF15 but for the tables DHT, JPG and DAC
// that share their range).
bool IsJpegFrameMarker(int marker);

// JpegScanBoundsOf for the frame header whose payload (precision, height, width, components,
// ...) is given; the bounds of a 0 x 0 frame when it is too short to tell.
JpegScanBounds JpegScanBoundsOfFrame(const uint8_t *payload, size_t payloadBytes);

enum class JpegDataFault { kNone, kTooLong, kZeroRun };

// The reason for the fault, or empty for none.
std::string JpegDataRefusal(JpegDataFault fault);

// Follows entropy-coded data through one stretch of bytes: the offset of the first 0xFF in
// data[0, size), or size when there is none. *zeroRun is the run of zero bytes just before the
// stretch, and is carried up to the offset returned; once it passes maxZeroRun the search stops
// there, having looked at no more than maxZeroRun bytes of the run and a little beyond.
size_t FindEntropyMarker(const uint8_t *data, size_t size, uint64_t maxZeroRun,
                         uint64_t *zeroRun);

// Whether every coefficient of every component has been received to its last bit, once the
// decoder has read the whole input (after jpeg_start_decompress of a multi-scan file, or
// jpeg_finish_decompress). A progressive file cut at a scan boundary and closed with an end
// marker decodes without a warning, to a picture of only the scans that came: it is truncated.
// A progressive file whose scans never send some coefficients is refused alike. A sequential
// file holds every bit in its one pass.
bool JpegFullyRefined(const jpeg_decompress_struct &info);

}  // namespace tonefold

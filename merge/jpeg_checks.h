// Refusal rules for JPEG files that every reader of photos applies alike.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include <jpeglib.h>

namespace tonefold {

// A file can hold any number of scans, each a pass over the whole picture: this many at most.
// Counted from the bytes (JpegMarkerScan::scanCount) before any scan is decoded.
constexpr int kMaxJpegScans = 500;

// The reason for a file of more scans than kMaxJpegScans, or empty.
std::string CheckJpegScanCount(int scanCount, bool progressive);

// Whether every coefficient of every component has been received to its last bit, once the
// decoder has read the whole input (after jpeg_start_decompress of a multi-scan file, or
// jpeg_finish_decompress). A progressive file cut at a scan boundary and closed with an end
// marker decodes without a warning, to a picture of only the scans that came: it is truncated.
// A sequential file holds every bit in its one pass.
bool JpegFullyRefined(const jpeg_decompress_struct &info);

}  // namespace tonefold

#include "jpeg_checks.h"

#include <algorithm>
#include <cstring>

#include "photo_io.h"

namespace tonefold {
namespace {

// Entropy-coded data codes each 8 x 8 block of each component at most once a scan: at most 64
// coefficients, each a Huffman code of at most 16 bits and at most 16 bits of its value, 256
// bytes; a zero stuffed after every 0xFF byte could double that, and a restart marker follow
// each block. 1024 bytes a block is twice all that (arithmetic coding codes in fewer bytes).
constexpr uint64_t kMaxBytesPerBlock = 1024;
// A flat block codes in about two bits (a DC difference of 0 and an end of block, each a
// one-bit code of zeros at best), so a picture that is flat throughout makes runs of zero bytes
// of a quarter of a byte a block. One zero bit for each coefficient, 8 bytes a block, is a run
// that no encoder makes of any picture, yet a hole in a file, or a file filled with zeros where
// its data should be, passes it at once.
constexpr uint64_t kMaxZeroBytesPerBlock = 8;
// The bounds of tiny pictures, so that their padding and odd encoders leave room to spare.
constexpr uint64_t kMinScanBytes = uint64_t{1} << 20;
constexpr uint64_t kMinZeroRun = uint64_t{64} << 10;
// Bytes searched for a marker at a time, each stretch then followed for zeros: a run of zeros
// is noticed after at most this much more of it.
constexpr size_t kSearchBytes = size_t{64} << 10;

// Carries *run through bytes that hold no 0xFF; false once it passes max.
bool CarryZeroRun(const uint8_t *data, size_t size, uint64_t max, uint64_t *run) {
    size_t at = 0;
    while (at < size) {
        if (data[at] != 0) {
            *run = 0;
            const void *zero = std::memchr(data + at, 0, size - at);
            if (zero == nullptr) return true;
            at = static_cast<size_t>(static_cast<const uint8_t *>(zero) - data);
        }
        const size_t start = at;
        while (at < size && data[at] == 0) ++at;
        *run += at - start;
        if (*run > max) return false;
    }
    return true;
}

}  // namespace

std::string CheckJpegScanCount(int scanCount, bool progressive) {
    if (scanCount <= kMaxJpegScans) return {};
    return std::string("cannot be decoded (it has more than ") + std::to_string(kMaxJpegScans) +
           (progressive ? " progressive scans)" : " scans)");
}

std::string CheckJpegMarkerCount(int markerCount) {
    if (markerCount <= kMaxJpegMarkers) return {};
    return "cannot be decoded (it has more than " + std::to_string(kMaxJpegMarkers) +
           " markers of tables or metadata)";
}

JpegScanBounds JpegScanBoundsOf(uint32_t width, uint32_t height, int components) {
    // The blocks of one component: its sides in blocks rounded up to whole units of the widest
    // sampling (4 blocks), more than any component of the frame has; but no more than a frame
    // within the photo limit has, with its padding: a larger frame is refused for its size, and
    // should not be followed through gigabytes before.
    const uint64_t across = (uint64_t{width} + 31) / 32 * 4;
    const uint64_t down = (uint64_t{height} + 31) / 32 * 4;
    const uint64_t most = static_cast<uint64_t>(kMaxPhotoPixels) / 64 * 9 / 8;
    const uint64_t blocks = std::min(across * down, most) * std::clamp(components, 1, 4);
    JpegScanBounds bounds;
    bounds.maxBytes = std::max(kMinScanBytes, blocks * kMaxBytesPerBlock);
    bounds.maxZeroRun = std::max(kMinZeroRun, blocks * kMaxZeroBytesPerBlock);
    return bounds;
}

bool IsJpegFrameMarker(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

JpegScanBounds JpegScanBoundsOfFrame(const uint8_t *payload, size_t payloadBytes) {
    if (payloadBytes < 6) return JpegScanBoundsOf(0, 0, 0);
    const uint32_t height = static_cast<uint32_t>(payload[1] << 8 | payload[2]);
    const uint32_t width = static_cast<uint32_t>(payload[3] << 8 | payload[4]);
    return JpegScanBoundsOf(width, height, payload[5]);
}

std::string JpegDataRefusal(JpegDataFault fault) {
    switch (fault) {
    case JpegDataFault::kTooLong:
        return "is damaged (its image data is far longer than its picture needs)";
    case JpegDataFault::kZeroRun:
        return "is damaged (its image data holds a long run of zero bytes)";
    case JpegDataFault::kNone: break;
    }
    return {};
}

size_t FindEntropyMarker(const uint8_t *data, size_t size, uint64_t maxZeroRun,
                         uint64_t *zeroRun) {
    for (size_t at = 0; at < size;) {
        const size_t count = std::min(kSearchBytes, size - at);
        const void *found = std::memchr(data + at, 0xFF, count);
        const size_t stop = found != nullptr
                                ? static_cast<size_t>(static_cast<const uint8_t *>(found) - data)
                                : at + count;
        if (!CarryZeroRun(data + at, stop - at, maxZeroRun, zeroRun)) return stop;
        if (found != nullptr) {
            *zeroRun = 0;
            return stop;
        }
        at = stop;
    }
    return size;
}

bool JpegFullyRefined(const jpeg_decompress_struct &info) {
    if (!info.progressive_mode) return true;
    if (info.coef_bits == nullptr) return false;
    // coef_bits holds, for each coefficient, the lowest bit received so far (-1: none yet).
    for (int c = 0; c < info.num_components; ++c) {
        for (int k = 0; k < DCTSIZE2; ++k) {
            if (info.coef_bits[c][k] != 0) return false;
        }
    }
    return true;
}

}  // namespace tonefold

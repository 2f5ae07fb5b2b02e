// Pixel format table shared by the image layout, copy and crop code. Internal to the core.
#pragma once

#include <cstdint>

#include "engine_types.h"

// How the chroma of a format is paired with its pixels, which decides what a copy between
// rectangles of different x parity must do to keep luma and chroma together.
enum class ChromaPairing : uint8_t {
    kNone,             // no shared chroma across a pixel pair
    kPackedLumaEven,   // Y0 U Y1 V
    kPackedLumaOdd,    // U Y0 V Y1
    kPlainTwoBytes,    // 2 bytes per pixel with no known pairing: plain copies only
    kPlanarHalfWidth,  // planar chroma planes of half the width (4:2:0, 4:2:2)
    kSemiPlanar,       // one plane of interleaved chroma byte pairs
};

struct PixelFormatInfo {
    uint8_t planes;          // 1 to 3
    uint8_t lumaBytes;       // bytes per pixel in plane 0
    uint8_t chromaColShift;  // planes 1 and 2: byte columns = pixel columns >> shift
    uint8_t chromaRowShift;  // planes 1 and 2: rows = pixel rows >> shift
    ChromaPairing pairing;
};

// The layout of a format code, or null for an unsupported code.
const PixelFormatInfo *FindPixelFormat(uint32_t format);

// Bytes of one row of the plane that a copy may touch for an image of the given width; a
// pitch below this cannot hold the image.
int64_t MinimumRowBytes(const PixelFormatInfo &info, int plane, int32_t width);

// 0 when every plane the format has is present and its pitch can hold a row, else
// RESULT_INVALID_ARGUMENT.
int CheckImagePlanes(const ImageDesc &image, const PixelFormatInfo &info);

// Where a rectangle lies in one plane: the bytes of each row and the rows.
struct PlaneSpan {
    int64_t firstByte;  // byte offset of the span in each row
    int64_t rowBytes;
    int32_t firstRow;
    int32_t rows;
};

PlaneSpan SpanOfRect(const PixelFormatInfo &info, int plane, const PixelRect &rect);

// Byte offset of a span's row r inside its plane, in 64 bits so large images cannot wrap.
inline int64_t SpanRowOffset(const PlaneSpan &span, int32_t pitch, int32_t r) {
    return static_cast<int64_t>(span.firstRow + r) * pitch + span.firstByte;
}

#include "pixel_format.h"

namespace {

struct FormatRange {
    uint32_t first;
    uint32_t last;
    PixelFormatInfo info;
};

using P = ChromaPairing;

// Codes that share a layout share a row. The twins 0x605-0x608 lay out as 0x601-0x604.
constexpr FormatRange kFormats[] = {
    {0x301, 0x301, {1, 3, 0, 0, P::kNone}},
    {0x302, 0x302, {1, 4, 0, 0, P::kNone}},
    {0x303, 0x303, {1, 3, 0, 0, P::kNone}},
    {0x304, 0x304, {1, 4, 0, 0, P::kNone}},
    {0x401, 0x404, {1, 3, 0, 0, P::kNone}},
    {0x501, 0x502, {1, 2, 0, 0, P::kPackedLumaEven}},
    {0x503, 0x504, {1, 2, 0, 0, P::kPackedLumaOdd}},
    {0x505, 0x508, {1, 2, 0, 0, P::kPlainTwoBytes}},
    {0x601, 0x601, {3, 1, 1, 1, P::kPlanarHalfWidth}},
    {0x602, 0x602, {3, 1, 0, 1, P::kNone}},
    {0x603, 0x603, {3, 1, 1, 0, P::kPlanarHalfWidth}},
    {0x604, 0x604, {3, 1, 0, 0, P::kNone}},
    {0x605, 0x605, {3, 1, 1, 1, P::kPlanarHalfWidth}},
    {0x606, 0x606, {3, 1, 0, 1, P::kNone}},
    {0x607, 0x607, {3, 1, 1, 0, P::kPlanarHalfWidth}},
    {0x608, 0x608, {3, 1, 0, 0, P::kNone}},
    {0x701, 0x701, {1, 1, 0, 0, P::kNone}},
    {0x801, 0x802, {2, 1, 0, 1, P::kSemiPlanar}},
    {0x803, 0x803, {2, 1, 0, 0, P::kSemiPlanar}},
};

int64_t RoundUpToEven(int64_t n) { return (n + 1) & ~int64_t{1}; }

}  // namespace

const PixelFormatInfo *FindPixelFormat(uint32_t format) {
    for (const FormatRange &range : kFormats)
        if (format >= range.first && format <= range.last) return &range.info;
    return nullptr;
}

int64_t MinimumRowBytes(const PixelFormatInfo &info, int plane, int32_t width) {
    const int64_t w = width;
    if (plane == 0) {
        // A packed 4:2:2 pixel of odd index shares its pair's chroma, so the row ends on a
        // whole pair even when the width is odd.
        const bool packedPairs =
            info.pairing == P::kPackedLumaEven || info.pairing == P::kPackedLumaOdd;
        return info.lumaBytes * (packedPairs ? RoundUpToEven(w) : w);
    }
    // Interleaved chroma comes in byte pairs, the last one whole even for an odd width.
    if (info.pairing == P::kSemiPlanar) return RoundUpToEven(w);
    return w >> info.chromaColShift;
}

int CheckImagePlanes(const ImageDesc &image, const PixelFormatInfo &info) {
    if (image.i32Width < 0 || image.i32Height < 0) return RESULT_INVALID_ARGUMENT;
    for (int p = 0; p < info.planes; ++p) {
        const int64_t rowBytes = MinimumRowBytes(info, p, image.i32Width);
        if (image.pi32Pitch[p] < rowBytes) return RESULT_INVALID_ARGUMENT;
        // Half-width chroma of a one-pixel-wide image has no bytes, and no plane either.
        if (!image.ppu8Plane[p] && rowBytes > 0) return RESULT_INVALID_ARGUMENT;
    }
    return RESULT_OK;
}

PlaneSpan SpanOfRect(const PixelFormatInfo &info, int plane, const PixelRect &rect) {
    const int32_t width = rect.x1 - rect.x0;
    const int32_t height = rect.y1 - rect.y0;
    if (plane == 0)
        return {static_cast<int64_t>(rect.x0) * info.lumaBytes,
                static_cast<int64_t>(width) * info.lumaBytes, rect.y0, height};
    // Subsampled chroma: the rectangle's origin and size are halved separately (both round
    // down), which keeps every span inside its plane for any rectangle inside the image.
    return {rect.x0 >> info.chromaColShift, width >> info.chromaColShift,
            rect.y0 >> info.chromaRowShift, height >> info.chromaRowShift};
}

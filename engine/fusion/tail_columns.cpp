#include "tail_columns.h"

#include <cstddef>

#include "core/hdr_engine.h"
#include "core/row_helpers.h"

namespace {

struct Layout {
    int32_t lumaStep;      // bytes from one pixel's luma to the next
    int32_t chromaPlanes;  // planes holding chroma (the packed format keeps it in plane 0)
    int32_t sampleBytes;   // bytes of one chroma sample position in its plane
    int32_t chromaRows;    // chroma rows of the frame
};

bool LayoutOf(const ImageDesc &image, Layout *layout) {
    const int32_t h = image.i32Height;
    switch (image.u32PixelArrayFormat) {
        case PIXEL_FORMAT_YUYV: *layout = {2, 0, 4, h}; return true;
        case PIXEL_FORMAT_I420: *layout = {1, 2, 1, h >> 1}; return true;
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21: *layout = {1, 1, 2, h >> 1}; return true;
        case PIXEL_FORMAT_NV16: *layout = {1, 1, 2, h}; return true;
        default: return false;
    }
}

void MoveTailLuma(const ImageDesc &image, int32_t fused, const uint8_t *original,
                  int32_t lumaPitch, int32_t step) {
    for (int32_t y = 0; y < image.i32Height; ++y) {
        uint8_t *row = image.ppu8Plane[0] + static_cast<ptrdiff_t>(y) * image.pi32Pitch[0];
        const int32_t last = (fused - 1) * step;
        const uint8_t *was = original + static_cast<ptrdiff_t>(y) * lumaPitch;
        const int32_t moved = row[last] - was[fused - 1];
        for (int32_t x = fused; x < image.i32Width; ++x)
            row[x * step] = ClampByte(row[x * step] + moved);
    }
}

// Chroma sample positions (pixel pairs) past the fused ones: each copies the last fused one.
// The packed format keeps the chroma of a pair in bytes 1 and 3 of its four.
void CopyTailChroma(const ImageDesc &image, int32_t fused, const Layout &l) {
    const bool packed = l.chromaPlanes == 0;
    const int32_t pairs = image.i32Width / 2;
    const int32_t lastFused = fused / 2 - 1;
    for (int32_t p = packed ? 0 : 1; p <= (packed ? 0 : l.chromaPlanes); ++p) {
        for (int32_t y = 0; y < l.chromaRows; ++y) {
            uint8_t *row = image.ppu8Plane[p] + static_cast<ptrdiff_t>(y) * image.pi32Pitch[p];
            const uint8_t *from = row + lastFused * l.sampleBytes;
            for (int32_t q = fused / 2; q < pairs; ++q) {
                uint8_t *to = row + q * l.sampleBytes;
                if (packed) {
                    to[1] = from[1];
                    to[3] = from[3];
                } else {
                    for (int32_t k = 0; k < l.sampleBytes; ++k) to[k] = from[k];
                }
            }
        }
    }
}

}  // namespace

void FuseTailColumns(const ImageDesc &image, int32_t fusedWidth, const uint8_t *originalLuma,
                     int32_t lumaPitch) {
    Layout l;
    if (!LayoutOf(image, &l) || !originalLuma || fusedWidth < 4 || (fusedWidth & 3) != 0 ||
        fusedWidth >= image.i32Width)
        return;
    MoveTailLuma(image, fusedWidth, originalLuma, lumaPitch, l.lumaStep);
    CopyTailChroma(image, fusedWidth, l);
}

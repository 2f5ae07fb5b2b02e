// Three-quarter reduction of planar 4:2:0 images and the displaced chroma row fetch.
#include "chroma_resample.h"

#include <algorithm>
#include <cstddef>

namespace {

// Source column (or row) offsets inside a group of four for the three outputs of the group,
// and the chroma pair offsets inside the group's two pairs.
constexpr int32_t kKeptOffset[3] = {0, 2, 3};
constexpr int32_t kPairOffset[3] = {0, 1, 1};

bool OutputHolds(const ImageDesc &out, int32_t width, int32_t height) {
    if (out.i32Width < width || out.i32Height < height) return false;
    for (int p = 0; p < 3; ++p)
        if (!out.ppu8Plane[p] || out.pi32Pitch[p] < width) return false;
    return true;
}

bool PlanesHold(const ImageDesc &s) {
    if (!s.ppu8Plane[0] || s.pi32Pitch[0] < s.i32Width) return false;
    for (int p = 1; p < 3; ++p)
        if (!s.ppu8Plane[p] || s.pi32Pitch[p] < s.i32Width / 2) return false;
    return true;
}

void ResampleRow(const ImageDesc &s, const InclusiveRect &r, int32_t oy, int32_t width,
                 ImageDesc *out) {
    const int32_t sy = r.y0 + 4 * (oy / 3) + kKeptOffset[oy % 3];
    const uint8_t *y = s.ppu8Plane[0] + static_cast<ptrdiff_t>(sy) * s.pi32Pitch[0];
    const uint8_t *u = s.ppu8Plane[1] + static_cast<ptrdiff_t>(sy / 2) * s.pi32Pitch[1];
    const uint8_t *v = s.ppu8Plane[2] + static_cast<ptrdiff_t>(sy / 2) * s.pi32Pitch[2];
    uint8_t *outY = out->ppu8Plane[0] + static_cast<ptrdiff_t>(oy) * out->pi32Pitch[0];
    uint8_t *outU = out->ppu8Plane[1] + static_cast<ptrdiff_t>(oy) * out->pi32Pitch[1];
    uint8_t *outV = out->ppu8Plane[2] + static_cast<ptrdiff_t>(oy) * out->pi32Pitch[2];
    for (int32_t ox = 0; ox < width; ++ox) {
        const int32_t group = ox / 3;
        const int32_t pair = r.x0 / 2 + 2 * group + kPairOffset[ox % 3];
        outY[ox] = y[r.x0 + 4 * group + kKeptOffset[ox % 3]];
        outU[ox] = u[pair];
        outV[ox] = v[pair];
    }
}

}  // namespace

int ResampleThreeQuarters420(const ImageDesc *source, ImageDesc *output,
                             const InclusiveRect *rect) {
    if (!source || !output) return RESULT_INVALID_ARGUMENT;
    if (source->u32PixelArrayFormat != PIXEL_FORMAT_I420) return RESULT_UNSUPPORTED_FORMAT;
    const InclusiveRect r =
        rect ? *rect : InclusiveRect{0, 0, source->i32Width - 1, source->i32Height - 1};
    if (r.x1 < r.x0 || r.y1 < r.y0) return RESULT_OK;
    const int64_t w = static_cast<int64_t>(r.x1) - r.x0 + 1;
    const int64_t h = static_cast<int64_t>(r.y1) - r.y0 + 1;
    if (r.x0 < 0 || r.y0 < 0 || r.x1 >= source->i32Width || r.y1 >= source->i32Height ||
        w % 4 != 0 || h % 4 != 0 || !PlanesHold(*source))
        return RESULT_INVALID_ARGUMENT;
    const int32_t ow = static_cast<int32_t>(3 * w / 4);
    const int32_t oh = static_cast<int32_t>(3 * h / 4);
    if (!OutputHolds(*output, ow, oh)) return RESULT_INVALID_ARGUMENT;
    for (int32_t oy = 0; oy < oh; ++oy) ResampleRow(*source, r, oy, ow, output);
    return RESULT_OK;
}

int FetchDisplacedChromaRow(int32_t widthBound, int32_t heightBound, int32_t dx, int32_t dy,
                            int32_t dxStep, int32_t dyStep, int32_t xStart, int32_t row,
                            int32_t xEnd, int32_t stride, const uint8_t *chroma, uint8_t *out,
                            uint32_t shift) {
    if (!chroma || !out || widthBound < 2 || heightBound < 2) return RESULT_INVALID_ARGUMENT;
    const uint32_t s = shift % 32;
    // Displacements accumulate in 64 bits so that long rows with large steps cannot overflow.
    int64_t displacementX = dx;
    int64_t displacementY = dy;
    for (int64_t x = xStart; x < xEnd; x += 2) {
        const int64_t ex = displacementX >> s;
        const int64_t ey = displacementY >> s;
        const int64_t sx =
            std::min<int64_t>(std::max<int64_t>((16 * x - ex) >> 4, 0), widthBound - 2);
        const int64_t sy =
            std::min<int64_t>(std::max<int64_t>((16 * int64_t{row} - ey) >> 4, 0), heightBound - 2);
        *out++ = chroma[sy * stride + sx / 2];
        displacementX += 2 * int64_t{dxStep};
        displacementY += 2 * int64_t{dyStep};
    }
    return RESULT_OK;
}

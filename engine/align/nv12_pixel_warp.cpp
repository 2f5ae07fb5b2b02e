#include "nv12_pixel_warp.h"

#include <algorithm>
#include <cmath>

namespace {

struct Projective {
    const double *m;
    const double *t;
    const double *p;

    void Map(int32_t x, int32_t y, double *sx, double *sy) const {
        double w = 1.0 - p[0] * x - p[1] * y;
        if (std::fabs(w) < 1e-10) w = 1e-10;
        *sx = (m[0] * x + m[1] * y + t[0]) / w;
        *sy = (m[2] * x + m[3] * y + t[1]) / w;
    }
};

// Bilinear luma with 4-bit weights, as the cell warps blend.
uint8_t BlendLuma(const uint8_t *plane, int32_t pitch, double sx, double sy) {
    const auto ix = static_cast<int32_t>(sx);
    const auto iy = static_cast<int32_t>(sy);
    const auto wx = static_cast<int32_t>((sx - ix) * 16);
    const auto wy = static_cast<int32_t>((sy - iy) * 16);
    const uint8_t *top = plane + static_cast<int64_t>(iy) * pitch + ix;
    const uint8_t *bottom = top + pitch;
    const int32_t left = 16 * top[0] + wy * (bottom[0] - top[0]);
    const int32_t right = 16 * top[1] + wy * (bottom[1] - top[1]);
    return static_cast<uint8_t>((16 * left + wx * (right - left)) >> 8);
}

bool HasPlanes(const ImageDesc *image) {
    return image && image->ppu8Plane[0] && image->ppu8Plane[1] && image->i32Width > 0 &&
           image->i32Height > 0;
}

}  // namespace

int WarpNv12PerPixel(const ImageDesc *source, ImageDesc *destination, const double matrix[4],
                     const double translation[2], const double perspective[2],
                     const PixelRect *rect, PixelRect *outRect) {
    if (!HasPlanes(source) || !HasPlanes(destination) || !matrix || !translation || !perspective)
        return RESULT_INVALID_ARGUMENT;
    const int32_t W = source->i32Width;
    const int32_t H = source->i32Height;
    PixelRect r = rect ? *rect : PixelRect{0, 0, W, H};
    r.x0 = std::clamp(r.x0, 0, destination->i32Width);
    r.x1 = std::clamp(r.x1, r.x0, destination->i32Width);
    r.y0 = std::clamp(r.y0, 0, destination->i32Height);
    r.y1 = std::clamp(r.y1, r.y0, destination->i32Height);
    const Projective transform{matrix, translation, perspective};

    for (int32_t y = r.y0; y < r.y1; ++y) {
        uint8_t *out =
            destination->ppu8Plane[0] + static_cast<int64_t>(y) * destination->pi32Pitch[0];
        for (int32_t x = r.x0; x < r.x1; ++x) {
            double sx, sy;
            transform.Map(x, y, &sx, &sy);
            if (sx >= 0 && sx < W - 1 && sy >= 0 && sy < H - 1)
                out[x] = BlendLuma(source->ppu8Plane[0], source->pi32Pitch[0], sx, sy);
        }
    }

    // Chroma rows: the half-height plane of each image; a pair needs both of its bytes.
    const int32_t sourceRows = H / 2;
    const int32_t sourceRowBytes = std::min(source->pi32Pitch[1], ((W + 1) / 2) * 2);
    const int32_t destRows = destination->i32Height / 2;
    const int32_t destRowBytes =
        std::min(destination->pi32Pitch[1], ((destination->i32Width + 1) / 2) * 2);
    int32_t destRow = r.y0 / 2;
    for (int32_t y = r.y0; y < r.y1 && destRow < destRows; y += 2, ++destRow) {
        uint8_t *out =
            destination->ppu8Plane[1] + static_cast<int64_t>(destRow) * destination->pi32Pitch[1];
        for (int32_t x = r.x0; x < r.x1 && x + 1 < destRowBytes; x += 2) {
            double sx, sy;
            transform.Map(x, y, &sx, &sy);
            // (int)(v + 0.5) lies in [0, n) exactly when v + 0.5 lies in (-1, n).
            if (!(sx + 0.5 > -1 && sx + 0.5 < W && sy + 0.5 > -1 && sy + 0.5 < H)) continue;
            const auto rx = static_cast<int32_t>(sx + 0.5);
            const auto ry = static_cast<int32_t>(sy + 0.5);
            const int32_t column = (rx / 2) * 2;
            if (ry / 2 >= sourceRows || column + 1 >= sourceRowBytes) continue;
            const uint8_t *in =
                source->ppu8Plane[1] + static_cast<int64_t>(ry / 2) * source->pi32Pitch[1] + column;
            out[x] = in[0];
            out[x + 1] = in[1];
        }
    }
    if (outRect) *outRect = PixelRect{0, 0, W, H};
    return 1;
}

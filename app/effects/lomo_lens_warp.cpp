#include <algorithm>
#include <cmath>
#include <cstdint>

#include "effects/lomo_memory.h"
#include "effects/lomo_warp_kernels.h"
#include "effects/lomo_warp_tables.h"

namespace {

// Mesh coordinates are kept in 64 bits: 8.8 fixed point times the 4-bit weights of both axes
// needs 16 bits above a coordinate, which leaves int32 for pictures past 32,767 pixels.
// Positions far outside the picture are clamped to +-2^40 before conversion; the nodes around
// any pixel inside the lens circle lie within a few hundred pixels of the picture, so the
// clamp never changes a pixel that is not black anyway.
constexpr float kMeshLimit = 1099511627776.0f;  // 2^40

struct LensGeometry {
    int64_t cx;
    int64_t cy;
    float radius;
    float k;
    int64_t inside2;  // pixels farther than this squared distance are black
};

LensGeometry MakeLensGeometry(int32_t width, int32_t height, int32_t strength) {
    LensGeometry g;
    g.cx = (static_cast<int64_t>(width) + 1) >> 1;
    g.cy = (static_cast<int64_t>(height) + 1) >> 1;
    const int64_t big = std::max(g.cx, g.cy);
    const int64_t small = std::min(g.cx, g.cy);
    g.radius = static_cast<float>((100 - strength) * big + strength * small) / 100.0f;
    g.k = static_cast<float>(strength) * 0.01f * 0.5f;
    g.inside2 = static_cast<int64_t>(g.radius * g.radius + 0.5f);
    return g;
}

int64_t MeshCoordinate(float v) {
    v = std::clamp(v, -kMeshLimit, kMeshLimit);
    const float whole = std::trunc(v);
    return 256 * static_cast<int64_t>(whole) + static_cast<int64_t>(256.0f * (v - whole) + 0.5f);
}

// Source positions of the nodes every 16 pixels, x then y, in 8.8 fixed point.
void BuildLensMesh(const LensGeometry &g, int32_t nodesPerRow, int32_t nodeRows, int64_t *mesh) {
    const float r2 = g.radius * g.radius;
    for (int32_t ny = 0; ny < nodeRows; ++ny) {
        const int64_t dy = 16 * static_cast<int64_t>(ny) - g.cy;
        for (int32_t nx = 0; nx < nodesPerRow; ++nx) {
            const int64_t dx = 16 * static_cast<int64_t>(nx) - g.cx;
            const float q = static_cast<float>(dx * dx + dy * dy) / r2;
            const float f = (1.0f - g.k) + g.k * std::sqrt(q);
            *mesh++ = MeshCoordinate(static_cast<float>(g.cx) + static_cast<float>(dx) * f);
            *mesh++ = MeshCoordinate(static_cast<float>(g.cy) + static_cast<float>(dy) * f);
        }
    }
}

inline void SetBlack(uint8_t *p) { p[0] = p[1] = p[2] = 0; }

struct SourcePicture {
    const uint8_t *bytes;
    int32_t width;
    int32_t height;
    int32_t lineBytes;
};

// Bilinear read at a source position with 16 fractional bits; positions outside are black.
inline void Sample(const SourcePicture &src, int64_t X, int64_t Y, uint8_t *out) {
    const int64_t ix = X >> 16;
    const int64_t iy = Y >> 16;
    if (ix < 0 || iy < 0 || ix >= src.width || iy >= src.height) {
        SetBlack(out);
        return;
    }
    const int32_t wx = static_cast<int32_t>((X >> 8) & 255);
    const int32_t wy = static_cast<int32_t>((Y >> 8) & 255);
    const uint8_t *p00 = src.bytes + iy * src.lineBytes + 3 * ix;
    const uint8_t *p01 = ix < src.width - 1 ? p00 + 3 : p00;
    const int64_t down = iy < src.height - 1 ? src.lineBytes : 0;
    const uint8_t *p10 = p00 + down;
    const uint8_t *p11 = p01 + down;
    for (int c = 0; c < 3; ++c) {
        const int32_t top = p00[c] * (256 - wx) + p01[c] * wx;
        const int32_t bottom = p10[c] * (256 - wx) + p11[c] * wx;
        out[c] = static_cast<uint8_t>((top * (256 - wy) + bottom * wy) >> 16);
    }
}

// The largest m with m * m <= v, for v >= 0.
int64_t FloorSqrt(int64_t v) {
    auto m = static_cast<int64_t>(std::sqrt(static_cast<double>(v)));
    while (m > 0 && m * m > v) --m;
    while ((m + 1) * (m + 1) <= v) ++m;
    return m;
}

// One destination row: black outside the lens circle's chord, warped inside it. Within a cell
// the interpolated position moves by a constant step per pixel: X = (16 - fx) * left + fx *
// right, where left and right are the cell's edge nodes already weighted by fy.
void WarpRow(const SourcePicture &src, const LensGeometry &g, const int64_t *mesh,
             int32_t nodesPerRow, int32_t y, uint8_t *out) {
    const int64_t dy = y - g.cy;
    const int64_t room = g.inside2 - dy * dy;
    int64_t first = 0, last = -1;  // the pixels inside the circle, if any
    if (room >= 0) {
        const int64_t m = FloorSqrt(room);
        first = std::max<int64_t>(0, g.cx - m);
        last = std::min<int64_t>(src.width - 1, g.cx + m);
    }
    if (first > last) {
        first = src.width;
        last = src.width - 1;
    }
    std::fill(out, out + 3 * first, 0);
    std::fill(out + 3 * (last + 1), out + 3 * static_cast<int64_t>(src.width), 0);

    const int64_t fy = y & 15;
    const int64_t *top = mesh + 2 * static_cast<int64_t>(y >> 4) * nodesPerRow;
    const int64_t *bottom = top + 2 * static_cast<int64_t>(nodesPerRow);
    for (int64_t x = first; x <= last;) {
        const int64_t n = 2 * (x >> 4);
        const int64_t leftX = top[n] * (16 - fy) + bottom[n] * fy;
        const int64_t leftY = top[n + 1] * (16 - fy) + bottom[n + 1] * fy;
        const int64_t stepX = top[n + 2] * (16 - fy) + bottom[n + 2] * fy - leftX;
        const int64_t stepY = top[n + 3] * (16 - fy) + bottom[n + 3] * fy - leftY;
        const int64_t cellEnd = std::min(last + 1, (x | 15) + 1);
        for (; x < cellEnd; ++x) {
            const int64_t fx = x & 15;
            Sample(src, 16 * leftX + fx * stepX, 16 * leftY + fx * stepY, out + 3 * x);
        }
    }
}

}  // namespace

int LomoLensWarp(const uint8_t *source, int32_t width, int32_t height, int32_t lineBytes,
                 uint8_t *destination, int32_t strength) {
    const LomoRows rows = CheckLomoPictures(source, destination, width, height, lineBytes);
    if (rows != LomoRows::kProcess) return rows == LomoRows::kNothing ? 1 : 0;
    strength = ClampLomoStrength(strength);
    if (strength == 0) {
        CopyLomoPicture(source, destination, height, lineBytes);
        return 1;
    }
    const LensGeometry g = MakeLensGeometry(width, height, strength);
    const auto nodesPerRow = static_cast<int32_t>((static_cast<int64_t>(width) + 31) >> 4);
    const auto nodeRows = static_cast<int32_t>((static_cast<int64_t>(height) + 31) >> 4);
    auto *mesh = static_cast<int64_t *>(LomoAllocate(
        static_cast<size_t>(nodesPerRow) * static_cast<size_t>(nodeRows) * 2 * sizeof(int64_t)));
    if (!mesh) return 0;
    BuildLensMesh(g, nodesPerRow, nodeRows, mesh);
    const SourcePicture src{source, width, height, lineBytes};
    for (int32_t y = 0; y < height; ++y)
        WarpRow(src, g, mesh, nodesPerRow, y, LomoRow(destination, y, lineBytes));
    LomoFree(mesh);
    return 1;
}

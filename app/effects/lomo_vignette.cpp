#include <cstdint>

#include "effects/lomo_kernels.h"
#include "effects/lomo_rows.h"
#include "effects/lomo_tables.h"

namespace {

inline void ScalePixel(uint8_t *p, uint32_t gain) {
    p[0] = static_cast<uint8_t>((p[0] * gain) >> 10);
    p[1] = static_cast<uint8_t>((p[1] * gain) >> 10);
    p[2] = static_cast<uint8_t>((p[2] * gain) >> 10);
}

// Pictures whose squared corner distance fits 32 bits (up to about 92,000 pixels a side): no
// squared distance of a pixel exceeds it, so unsigned 32-bit squares are exact.
LOMO_ROW_KERNEL void VignetteRow(uint8_t *row, int32_t width, int32_t cx, uint32_t dy2,
                                 int32_t shift, const uint32_t *gains) {
    LOMO_SIMD
    for (int32_t x = 0; x < width; ++x) {
        const auto dx = static_cast<uint32_t>(x - cx);
        ScalePixel(row + 3 * x, gains[(dx * dx + dy2) >> shift]);
    }
}

// Larger pictures: 64-bit squares.
void VignetteRowWide(uint8_t *row, int32_t width, int32_t cx, int64_t dy2, int32_t shift,
                     const uint32_t *gains) {
    for (int32_t x = 0; x < width; ++x) {
        const int64_t dx = static_cast<int64_t>(x) - cx;
        ScalePixel(row + 3 * x, gains[(dx * dx + dy2) >> shift]);
    }
}

}  // namespace

int LomoVignette(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes,
                 int32_t strength) {
    const LomoRows rows = CheckLomoRows(buffer, width, height, lineBytes);
    if (rows != LomoRows::kProcess) return rows == LomoRows::kNothing ? 1 : 0;
    // A negative strength would brighten past 255 and wrap; it is taken as 0.
    if (strength <= 0) return 1;
    uint32_t gains[kLomoVignetteGainCount];
    const LomoVignetteGeometry g = BuildLomoVignetteGains(width, height, strength, gains);
    const bool narrow = g.r2 <= UINT32_MAX;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *row = LomoRow(buffer, y, lineBytes);
        const int64_t dy = static_cast<int64_t>(y) - g.cy;
        if (narrow)
            VignetteRow(row, width, g.cx, static_cast<uint32_t>(dy * dy), g.shift, gains);
        else
            VignetteRowWide(row, width, g.cx, dy * dy, g.shift, gains);
    }
    return 1;
}

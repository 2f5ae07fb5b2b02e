#include <cstdint>

#include "effects/lomo_kernels.h"
#include "effects/lomo_rows.h"
#include "effects/lomo_tables.h"

int LomoVignette(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes,
                 int32_t strength) {
    const LomoRows rows = CheckLomoRows(buffer, width, height, lineBytes);
    if (rows != LomoRows::kProcess) return rows == LomoRows::kNothing ? 1 : 0;
    // A negative strength would brighten past 255 and wrap; it is taken as 0.
    if (strength <= 0) return 1;
    uint16_t gains[kLomoVignetteGainCount];
    const LomoVignetteGeometry geometry = BuildLomoVignetteGains(width, height, strength, gains);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *p = LomoRow(buffer, y, lineBytes);
        const int64_t dy = y - geometry.cy;
        const int64_t dy2 = dy * dy;
        for (int32_t x = 0; x < width; ++x, p += 3) {
            const int64_t dx = x - geometry.cx;
            const uint32_t g = gains[(dx * dx + dy2) >> geometry.shift];
            p[0] = static_cast<uint8_t>((p[0] * g) >> 10);
            p[1] = static_cast<uint8_t>((p[1] * g) >> 10);
            p[2] = static_cast<uint8_t>((p[2] * g) >> 10);
        }
    }
    return 1;
}

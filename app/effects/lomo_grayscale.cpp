#include <cstdint>

#include "effects/lomo_kernels.h"
#include "effects/lomo_rows.h"

int LomoGrayscale(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes) {
    const LomoRows rows = CheckLomoRows(buffer, width, height, lineBytes);
    if (rows != LomoRows::kProcess) return rows == LomoRows::kNothing ? 1 : 0;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *p = LomoRow(buffer, y, lineBytes);
        for (int32_t x = 0; x < width; ++x, p += 3) {
            // The weights sum to 1024, so the luma stays within 0..255.
            const auto luma = static_cast<uint8_t>((306 * p[2] + 601 * p[1] + 117 * p[0]) >> 10);
            p[0] = luma;
            p[1] = luma;
            p[2] = luma;
        }
    }
    return 1;
}

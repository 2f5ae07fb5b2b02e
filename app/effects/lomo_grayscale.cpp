#include <cstdint>

#include "effects/lomo_kernels.h"
#include "effects/lomo_rows.h"

namespace {

LOMO_ROW_KERNEL void GrayscaleRow(uint8_t *row, int32_t width) {
    LOMO_SIMD
    for (int32_t x = 0; x < width; ++x) {
        uint8_t *p = row + 3 * x;
        // The weights sum to 1024, so the luma stays within 0..255.
        const auto luma = static_cast<uint8_t>((306 * p[2] + 601 * p[1] + 117 * p[0]) >> 10);
        p[0] = luma;
        p[1] = luma;
        p[2] = luma;
    }
}

}  // namespace

int LomoGrayscale(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes) {
    const LomoRows rows = CheckLomoRows(buffer, width, height, lineBytes);
    if (rows != LomoRows::kProcess) return rows == LomoRows::kNothing ? 1 : 0;
    for (int32_t y = 0; y < height; ++y) GrayscaleRow(LomoRow(buffer, y, lineBytes), width);
    return 1;
}

#include <cstdint>

#include "effects/lomo_color_look_table.h"
#include "effects/lomo_kernels.h"
#include "effects/lomo_rows.h"

namespace {

// The three planes' entries of a grid point packed into one word, B, G and R 21 bits apart.
// Eight entries times their weights (which sum to 4096) stay below 255 * 4096 < 2^20 per lane,
// so one multiply-add per grid point interpolates all three planes without carries.
constexpr int kLaneG = 21;
constexpr int kLaneR = 42;
constexpr uint64_t kLaneMask = (uint64_t{1} << 21) - 1;

void PackLookTable(uint64_t packed[kLomoLookPlaneSize]) {
    const uint8_t *planeB = LomoColorLookTable;
    const uint8_t *planeG = planeB + kLomoLookPlaneSize;
    const uint8_t *planeR = planeG + kLomoLookPlaneSize;
    for (int32_t i = 0; i < kLomoLookPlaneSize; ++i)
        packed[i] = planeB[i] | (uint64_t{planeG[i]} << kLaneG) | (uint64_t{planeR[i]} << kLaneR);
}

void LookRow(uint8_t *p, int32_t width, const uint64_t *packed) {
    constexpr int32_t kStepG = kLomoLookGridPoints;
    constexpr int32_t kStepR = kLomoLookGridPoints * kLomoLookGridPoints;
    for (int32_t x = 0; x < width; ++x, p += 3) {
        const uint32_t b = p[0], g = p[1], r = p[2];
        const uint64_t *cell = packed + LomoLookIndex(r >> 4, g >> 4, b >> 4);
        const uint32_t fr = r & 15, fg = g & 15, fb = b & 15;
        const uint32_t rg00 = (16 - fr) * (16 - fg), rg01 = (16 - fr) * fg;
        const uint32_t rg10 = fr * (16 - fg), rg11 = fr * fg;
        const uint32_t b0 = 16 - fb, b1 = fb;
        const uint64_t sum = cell[0] * (rg00 * b0) + cell[1] * (rg00 * b1) +
                             cell[kStepG] * (rg01 * b0) + cell[kStepG + 1] * (rg01 * b1) +
                             cell[kStepR] * (rg10 * b0) + cell[kStepR + 1] * (rg10 * b1) +
                             cell[kStepR + kStepG] * (rg11 * b0) +
                             cell[kStepR + kStepG + 1] * (rg11 * b1);
        p[0] = static_cast<uint8_t>((sum & kLaneMask) >> 12);
        p[1] = static_cast<uint8_t>(((sum >> kLaneG) & kLaneMask) >> 12);
        p[2] = static_cast<uint8_t>((sum >> kLaneR) >> 12);
    }
}

}  // namespace

int LomoColorLook(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes) {
    const LomoRows rows = CheckLomoRows(buffer, width, height, lineBytes);
    if (rows != LomoRows::kProcess) return rows == LomoRows::kNothing ? 1 : 0;
    uint64_t packed[kLomoLookPlaneSize];
    PackLookTable(packed);
    for (int32_t y = 0; y < height; ++y) LookRow(LomoRow(buffer, y, lineBytes), width, packed);
    return 1;
}

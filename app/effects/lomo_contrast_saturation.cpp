#include <cstdint>

#include "effects/lomo_kernels.h"
#include "effects/lomo_rows.h"
#include "effects/lomo_tables.h"

namespace {

LOMO_ROW_KERNEL void ContrastRow(uint8_t *row, int32_t width, const uint8_t curve[256]) {
    LOMO_SIMD
    for (int32_t i = 0; i < 3 * width; ++i) row[i] = curve[row[i]];
}

// Contrast and saturation in one visit of each pixel. The contrast curve is folded into the
// saturation tables: bc[v] = b[curve[v]] and ac[v] = a[curve[v]]. The curve never decreases, so
// the brightest channel after contrast is the curve of the brightest channel before it. A grey
// pixel needs no test of its own: with every channel at its largest value m,
// (b[m] + a[m]) >> 7 = m leaves it unchanged.
LOMO_ROW_KERNEL void ContrastSaturationRow(uint8_t *row, int32_t width, const int32_t ac[256],
                                           const int32_t bc[256]) {
    LOMO_SIMD
    for (int32_t x = 0; x < width; ++x) {
        uint8_t *p = row + 3 * x;
        const int32_t vb = p[0], vg = p[1], vr = p[2];
        const int32_t mbg = vb > vg ? vb : vg;
        const int32_t am = ac[vr > mbg ? vr : mbg];
        p[0] = static_cast<uint8_t>(ClampToByte((bc[vb] + am) >> 7));
        p[1] = static_cast<uint8_t>(ClampToByte((bc[vg] + am) >> 7));
        p[2] = static_cast<uint8_t>(ClampToByte((bc[vr] + am) >> 7));
    }
}

}  // namespace

int LomoContrastSaturation(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes,
                           int32_t contrast, int32_t saturation) {
    const LomoRows rows = CheckLomoRows(buffer, width, height, lineBytes);
    if (rows != LomoRows::kProcess) return rows == LomoRows::kNothing ? 1 : 0;
    const bool saturationValid = saturation >= -100 && saturation <= 100;
    const bool doSaturation = saturationValid && saturation != 0;
    if (contrast == 0 && !doSaturation) return saturationValid ? 1 : 0;

    uint8_t curve[256];
    int32_t table[256];
    BuildLomoContrastTable(contrast, table);
    for (int32_t i = 0; i < 256; ++i)
        curve[i] = static_cast<uint8_t>(contrast == 0 ? i : table[i]);

    if (!doSaturation) {
        for (int32_t y = 0; y < height; ++y) ContrastRow(LomoRow(buffer, y, lineBytes), width, curve);
        return saturationValid ? 1 : 0;
    }
    int32_t a[256];
    int32_t b[256];
    BuildLomoSaturationTables(saturation, a, b);
    int32_t ac[256];
    int32_t bc[256];
    for (int32_t i = 0; i < 256; ++i) {
        ac[i] = a[curve[i]];
        bc[i] = b[curve[i]];
    }
    for (int32_t y = 0; y < height; ++y)
        ContrastSaturationRow(LomoRow(buffer, y, lineBytes), width, ac, bc);
    return 1;
}

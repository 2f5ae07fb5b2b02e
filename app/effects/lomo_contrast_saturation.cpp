#include <cstdint>

#include "effects/lomo_kernels.h"
#include "effects/lomo_rows.h"
#include "effects/lomo_tables.h"

namespace {

void ContrastRow(uint8_t *row, int32_t width, const uint8_t curve[256]) {
    for (int32_t i = 0; i < 3 * width; ++i) row[i] = curve[row[i]];
}

// Contrast and saturation in one visit of each pixel: the saturation step sees exactly the
// bytes the contrast step stored.
void ContrastSaturationRow(uint8_t *row, int32_t width, const uint8_t curve[256],
                           const int32_t a[256], const int32_t b[256]) {
    for (int32_t x = 0; x < width; ++x, row += 3) {
        const int32_t cb = curve[row[0]];
        const int32_t cg = curve[row[1]];
        const int32_t cr = curve[row[2]];
        int32_t m = cb > cg ? cb : cg;
        int32_t n = cb > cg ? cg : cb;
        m = cr > m ? cr : m;
        n = cr < n ? cr : n;
        if (m == n) {
            row[0] = static_cast<uint8_t>(cb);
            row[1] = static_cast<uint8_t>(cg);
            row[2] = static_cast<uint8_t>(cr);
            continue;
        }
        const int32_t am = a[m];
        row[0] = static_cast<uint8_t>(ClampToByte((b[cb] + am) >> 7));
        row[1] = static_cast<uint8_t>(ClampToByte((b[cg] + am) >> 7));
        row[2] = static_cast<uint8_t>(ClampToByte((b[cr] + am) >> 7));
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
    for (int32_t y = 0; y < height; ++y)
        ContrastSaturationRow(LomoRow(buffer, y, lineBytes), width, curve, a, b);
    return 1;
}

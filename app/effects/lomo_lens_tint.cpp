#include <cstdint>

#include "effects/lomo_kernels.h"
#include "effects/lomo_rows.h"
#include "effects/lomo_tables.h"

namespace {

// Luma and the two chroma differences with 10 fractional bits, shifted back to levels.
// Signed right shifts are arithmetic (floor) throughout.
struct Yvu {
    int32_t y, v, u;
};

inline Yvu ToYvu(int32_t r, int32_t g, int32_t b) {
    return {(306 * r + 601 * g + 117 * b) >> 10, (512 * r - 429 * g - 83 * b) >> 10,
            (-173 * r - 340 * g + 513 * b) >> 10};
}

struct Tint {
    Yvu lens;
    int32_t a;   // opacity weight out of 1024
    int32_t ia;  // 1024 - a
};

inline void StoreRgb(uint8_t *p, int32_t l, int32_t vn, int32_t un) {
    p[0] = static_cast<uint8_t>(ClampToByte((l + 1812 * un) >> 10));
    p[1] = static_cast<uint8_t>(ClampToByte((l - 731 * vn - 352 * un) >> 10));
    p[2] = static_cast<uint8_t>(ClampToByte((l + 1437 * vn) >> 10));
}

// The pixel's chroma mixed by opacity with the first-order product of pixel and lens colour.
inline int32_t TintChroma(const Tint &t, int32_t c, int32_t y, int32_t lensC) {
    return (t.ia * c + t.a * ((c * t.lens.y + y * lensC) >> 8)) >> 10;
}

// Keep-luminosity off: the luma is tinted too.
LOMO_ROW_KERNEL void TintRow(uint8_t *row, int32_t width, Tint t) {
    LOMO_SIMD
    for (int32_t x = 0; x < width; ++x) {
        uint8_t *p = row + 3 * x;
        const Yvu c = ToYvu(p[2], p[1], p[0]);
        const int32_t l = (t.ia * c.y + t.a * ((c.y * t.lens.y) >> 8)) & ~1023;
        StoreRgb(p, l, TintChroma(t, c.v, c.y, t.lens.v), TintChroma(t, c.u, c.y, t.lens.u));
    }
}

// Keep-luminosity on: the luma stays and the tint fades out in bright pixels.
LOMO_ROW_KERNEL void TintRowKeepLuma(uint8_t *row, int32_t width, Tint t) {
    LOMO_SIMD
    for (int32_t x = 0; x < width; ++x) {
        uint8_t *p = row + 3 * x;
        const Yvu c = ToYvu(p[2], p[1], p[0]);
        const int32_t w = LomoKeepLumaWeight(c.y);
        const int32_t vt = TintChroma(t, c.v, c.y, t.lens.v);
        const int32_t ut = TintChroma(t, c.u, c.y, t.lens.u);
        StoreRgb(p, 1024 * c.y, (vt * (256 - w) + c.v * w) >> 8, (ut * (256 - w) + c.u * w) >> 8);
    }
}

}  // namespace

int LomoLensTint(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes, uint8_t lensR,
                 uint8_t lensG, uint8_t lensB, int32_t opacity, int32_t keepLuminosity) {
    const LomoRows rows = CheckLomoRows(buffer, width, height, lineBytes);
    if (rows != LomoRows::kProcess) return rows == LomoRows::kNothing ? 1 : 0;
    Tint t;
    t.a = LomoTintOpacityWeight(opacity);
    if (t.a == 0) return 1;
    t.ia = 1024 - t.a;
    t.lens = ToYvu(lensR, lensG, lensB);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *row = LomoRow(buffer, y, lineBytes);
        if (keepLuminosity)
            TintRowKeepLuma(row, width, t);
        else
            TintRow(row, width, t);
    }
    return 1;
}

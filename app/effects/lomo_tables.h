// Tables and factors that the art effect kernels prepare before their pixel loops. They are
// kept apart from the loops so that each can be checked on its own.
#pragma once

#include <cstdint>

constexpr int32_t kLomoContrastMin = -200;
constexpr int32_t kLomoContrastMax = 199;
constexpr int32_t kLomoVignetteGainCount = 4096;

// The contrast curve T: 0, 127, 128 and 255 stay fixed and the quarter levels 64 and 192 move
// apart by up to 64 * contrast / 200. The contrast is clamped to -200..199, which keeps every
// entry in 0..255.
void BuildLomoContrastTable(int32_t contrast, int32_t table[256]);

// Saturation tables for s in -100..100: a channel c of a pixel whose brightest channel is m
// becomes (b[c] + a[m]) >> 7, that is c + s / 100 * (c - m) in fixed point.
void BuildLomoSaturationTables(int32_t saturation, int32_t a[256], int32_t b[256]);

// The tint's opacity weight out of 1024 for an opacity in percent (clamped to 0..100).
int32_t LomoTintOpacityWeight(int32_t opacity);

// Weight out of 256 of a pixel's own chroma in keep-luminosity mode: 0 up to luma 85, rising to
// 254 at luma 255.
inline int32_t LomoKeepLumaWeight(int32_t luma) {
    const int32_t w = ((3 * luma) >> 1) - 128;
    return w > 0 ? w : 0;
}

// Geometry of the vignette: the centre, and the shift that brings squared distances from it
// into the 4096-entry gain table.
struct LomoVignetteGeometry {
    int32_t cx;
    int32_t cy;
    int32_t shift;
    int32_t lastIndex;  // the corner distance's entry; entries beyond it stay 0
    int64_t r2;         // the squared corner distance
};

// Fills gains (1024 = keep the value) for squared distances d >> shift, 0 <= d <= the squared
// corner distance, for a strength above 0. The gains fit 16 bits; they are kept in 32-bit
// entries so that a vectorised row loop can gather them.
LomoVignetteGeometry BuildLomoVignetteGains(int32_t width, int32_t height, int32_t strength,
                                            uint32_t gains[kLomoVignetteGainCount]);

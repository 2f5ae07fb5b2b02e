#include "effects/lomo_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

void BuildLomoContrastTable(int32_t contrast, int32_t table[256]) {
    contrast = std::clamp(contrast, kLomoContrastMin, kLomoContrastMax);
    // Single precision, in this order: the curve's figures depend on the float rounding of k.
    const float k = (static_cast<float>(contrast) / 200.0f + 1.0f) - 1.0f;
    for (int32_t i = 0; i < 128; ++i)
        table[i] = i - static_cast<int32_t>(static_cast<float>(64 - std::abs(i - 64)) * k);
    for (int32_t i = 128; i < 256; ++i)
        table[i] = i + static_cast<int32_t>(static_cast<float>(64 - std::abs(i - 192)) * k);
}

void BuildLomoSaturationTables(int32_t saturation, int32_t a[256], int32_t b[256]) {
    for (int32_t j = 0; j < 256; ++j) {
        a[j] = (50 - 128 * saturation * j) / 100;  // truncates toward zero
        b[j] = 128 * j - a[j];
    }
}

int32_t LomoTintOpacityWeight(int32_t opacity) {
    opacity = std::clamp(opacity, 0, 100);
    return static_cast<int32_t>(opacity * 10.24 + 0.5);
}

namespace {

int32_t SignificantBits(int64_t v) {
    int32_t bits = 0;
    for (; v > 0; v >>= 1) ++bits;
    return bits;
}

}  // namespace

LomoVignetteGeometry BuildLomoVignetteGains(int32_t width, int32_t height, int32_t strength,
                                            uint32_t gains[kLomoVignetteGainCount]) {
    LomoVignetteGeometry geometry;
    geometry.cx = static_cast<int32_t>((static_cast<int64_t>(width) + 1) >> 1);
    geometry.cy = static_cast<int32_t>((static_cast<int64_t>(height) + 1) >> 1);
    // 64-bit squares: the distances of pictures wider than 46340 pixels overflow 32 bits.
    const int64_t r2 = static_cast<int64_t>(geometry.cx) * geometry.cx +
                       static_cast<int64_t>(geometry.cy) * geometry.cy;
    geometry.r2 = r2;
    geometry.shift = std::max(0, SignificantBits(r2) - 12);
    geometry.lastIndex = static_cast<int32_t>(r2 >> geometry.shift);
    std::fill(gains, gains + kLomoVignetteGainCount, 0u);
    for (int32_t j = 0; j <= geometry.lastIndex; ++j) {
        const double exponent = -0.02 * strength * static_cast<double>(static_cast<int64_t>(j)
                                                                       << geometry.shift) /
                                static_cast<double>(r2);
        gains[j] = static_cast<uint32_t>(1024.0 * std::pow(4.0, exponent) + 0.5);
    }
    return geometry;
}

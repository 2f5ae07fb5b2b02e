// Double-to-integer conversions that stay defined for any input: values beyond the int32 range
// saturate and NaN becomes 0 (a plain cast of such values is undefined behaviour).
#pragma once

#include <cmath>
#include <cstdint>

// Largest magnitude the conversions return; leaves headroom for small sums after conversion.
constexpr double kSaturatedIntLimit = 1073741824.0;  // 2^30

inline double SaturateForInt(double v) {
    if (std::isnan(v)) return 0.0;
    if (v > kSaturatedIntLimit) return kSaturatedIntLimit;
    if (v < -kSaturatedIntLimit) return -kSaturatedIntLimit;
    return v;
}

// Truncation toward zero.
inline int32_t TruncateToInt(double v) { return static_cast<int32_t>(SaturateForInt(v)); }

// Rounding half away from zero: adds -0.5 to a negative value, +0.5 otherwise, then truncates.
inline int32_t RoundHalfAway(double v) {
    return TruncateToInt(v < 0.0 ? v - 0.5 : v + 0.5);
}

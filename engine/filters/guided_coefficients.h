// The coefficient rule of the double-precision band guided filters, shared by the band
// drivers and the coefficient row kernels.
#pragma once

#include <cstdint>

namespace guided_band {

struct Coefficients {
    int32_t a;  // times 1024 (mode 0 of the 16-bit filter: times 256)
    int32_t b;  // times 16 (mode 0 of the 16-bit filter: times 256)
};

// a and b from window sums with the double-precision operation order the results depend on:
// every product, sum and quotient is rounded on its own (no fused multiply-add), so the
// outputs of near-constant windows (16v or 16v - 1) come out as defined. k is 1.0 / N; e is
// the regularisation (the 8-bit filter passes eps truncated to an integer).
inline Coefficients DoubleCoefficients(int64_t sumI, int64_t sumII, int64_t sumIp, int64_t sumP,
                                       double k, double e) {
    const double mI = static_cast<double>(sumI) * k;
    const double mp = static_cast<double>(sumP) * k;
    const double mIp = static_cast<double>(sumIp) * k;
    const double mII = static_cast<double>(sumII) * k;
    const double denominator = (mII - mI * mI) + e;
    // A flat guide window without regularisation has no slope: 0/0 is taken as a = 0.
    double a = denominator != 0.0 ? (mIp - mp * mI) / denominator : 0.0;
    if (a != a) a = 0.0;  // NaN
    double b = mp - mI * a;  // from a before clamping
    if (b != b) b = 0.0;
    a = a < -32.0 ? -32.0 : (a > 32.0 ? 32.0 : a);
    b = b < -4096.0 ? -4096.0 : (b > 4096.0 ? 4096.0 : b);
    return {static_cast<int32_t>(a * 1024.0), static_cast<int32_t>(b * 16.0)};
}

// The coefficient rule of the double-precision filters. A window whose input sum is at most 0
// or at least bound (the largest sample times the window area) has no slope: b is its mean.
struct DoubleCoefficientRule {
    int32_t area;
    double k;  // 1.0 / area
    double e;
    int64_t bound;
    Coefficients operator()(int64_t sI, int64_t sII, int64_t sIp, int64_t sP) const {
        if (sP <= 0 || sP >= bound) return {0, static_cast<int32_t>(16 * sP / area)};
        return DoubleCoefficients(sI, sII, sIp, sP, k, e);
    }
};

}  // namespace guided_band

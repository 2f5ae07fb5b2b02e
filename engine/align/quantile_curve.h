// A smooth level curve between two exposures: a degree-4 polynomial fitted through the
// matching 5 % quantiles of their luma histograms.
#pragma once

#include <cstdint>

// Quantile levels of a 256-bin histogram: X[0] = 0 and X[j] (j = 1..20) the first level at
// which the running count reaches floor(j * n / 20), each scan starting one level above the
// previous quantile so the levels strictly increase (a quantile the scan never reaches, or a
// scan that starts past 255, gives 255).
void FindQuantileLevels(const int32_t histogram[256], int64_t n, int32_t levels[21]);

// F[m] = clamp(trunc(255 P(m / 255) + 0.5), 0, 255), P the least-squares quartic through the 21
// pairs (exposure quantile / 255, reference quantile / 255), solved by Gaussian elimination
// with complete pivoting, then held non-decreasing (F[m] >= F[m - 1]) where the quartic turns
// back. A singular system (a pivot below 1e-14 in magnitude, or a zero
// diagonal element) gives all-zero coefficients, hence an all-zero table. Returns 0, or
// RESULT_INVALID_ARGUMENT for a null table or histogram.
int FitQuantileCurveLut(uint8_t out[256], const int32_t exposureHistogram[256],
                        const int32_t referenceHistogram[256], int64_t n);

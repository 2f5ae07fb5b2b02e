// Row kernels of the double-precision coefficient rule of the band guided filters: a and b of
// columns [0, width) of one band row from the column sums of the window rows. Column x's
// window covers the sums x .. x + ring - 1. A window whose input sum is at most 0 or at least
// bound has no slope and takes b = 16 sP / area (truncated); the others take the rule's
// double-precision a (times 1024) and b (times 16), k being 1.0 / area and e the
// regularisation. The plain reference, an SSE2 and an AVX2 version give the same values.
#pragma once

#include <cstdint>

struct GuidedWindowSums {
    const int64_t *sI, *sII, *sIp, *sP;
};

struct GuidedDoubleRule {
    int32_t area;
    double k;
    double e;
    int64_t bound;
};

void GuidedCoefficientRow_C(const GuidedWindowSums &sums, int32_t ring, int32_t width,
                            const GuidedDoubleRule &rule, int32_t *a, int32_t *b);
// Falls back to the plain kernel where SSE2 is not built in.
void GuidedCoefficientRow_SSE2(const GuidedWindowSums &sums, int32_t ring, int32_t width,
                               const GuidedDoubleRule &rule, int32_t *a, int32_t *b);
// Only called when the processor has AVX2.
void GuidedCoefficientRow_AVX2(const GuidedWindowSums &sums, int32_t ring, int32_t width,
                               const GuidedDoubleRule &rule, int32_t *a, int32_t *b);
// The one Sse2KernelsEnabled() and Avx2KernelsEnabled() pick.
void GuidedCoefficientRow(const GuidedWindowSums &sums, int32_t ring, int32_t width,
                          const GuidedDoubleRule &rule, int32_t *a, int32_t *b);

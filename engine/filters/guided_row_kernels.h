// Row kernels of the band guided filters: the plain references, SSE2 versions and AVX2
// versions that give the same values. Each set has a _C, _SSE2 (the plain one where SSE2 is
// not built in), _AVX2 (only called when the processor has AVX2) and a plain name that picks
// by Sse2KernelsEnabled() and Avx2KernelsEnabled().
#pragma once

#include <cstdint>

// The window sums: one row of a guide and a signed 16-bit input added to (sign > 0) or taken
// from (sign <= 0) the column sums, for i in [0, length): sII[i] += g g, sIp[i] += g p,
// sI[i] += g, sP[i] += p.
void AccumulateGuidedRow16_C(const uint8_t *guide, const int16_t *input, int32_t length,
                             int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP);
void AccumulateGuidedRow16_SSE2(const uint8_t *guide, const int16_t *input, int32_t length,
                                int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                                int64_t *sP);
void AccumulateGuidedRow16_AVX2(const uint8_t *guide, const int16_t *input, int32_t length,
                                int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                                int64_t *sP);
void AccumulateGuidedRow16(const uint8_t *guide, const int16_t *input, int32_t length,
                           int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP);
// The same for an unsigned 8-bit input.
void AccumulateGuidedRow8_C(const uint8_t *guide, const uint8_t *input, int32_t length,
                            int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP);
void AccumulateGuidedRow8_SSE2(const uint8_t *guide, const uint8_t *input, int32_t length,
                               int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                               int64_t *sP);
void AccumulateGuidedRow8_AVX2(const uint8_t *guide, const uint8_t *input, int32_t length,
                               int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                               int64_t *sP);
void AccumulateGuidedRow8(const uint8_t *guide, const uint8_t *input, int32_t length, int32_t sign,
                          int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP);

// One coefficient row added to (sign > 0) or taken from (sign <= 0) the vertical sums of a and
// b: sumA[x] += a[x], sumB[x] += b[x] for x in [0, width).
void AddGuidedCoefficientRow_C(const int32_t *a, const int32_t *b, int32_t width, int32_t sign,
                               int64_t *sumA, int64_t *sumB);
void AddGuidedCoefficientRow_SSE2(const int32_t *a, const int32_t *b, int32_t width,
                                  int32_t sign, int64_t *sumA, int64_t *sumB);
void AddGuidedCoefficientRow_AVX2(const int32_t *a, const int32_t *b, int32_t width,
                                  int32_t sign, int64_t *sumA, int64_t *sumB);
void AddGuidedCoefficientRow(const int32_t *a, const int32_t *b, int32_t width, int32_t sign,
                             int64_t *sumA, int64_t *sumB);

// One output row of the 16-bit double-precision filter: the horizontal windows (radius r, the
// first and last column repeated) over the vertical sums sumA and sumB give the mean
// coefficients mA = HA / area and mB = HB / area (truncated), and out[x] is the low 16 bits
// of (guide[x] mA + 64 mB) >> 10. The sums are those of coefficients within the rule's
// bounds (|a| <= 2^15 and |b| <= 2^19 per row).
void GuidedOutputRow16_C(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                         int32_t area, const uint8_t *guide, int16_t *out);
void GuidedOutputRow16_SSE2(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                            int32_t area, const uint8_t *guide, int16_t *out);
void GuidedOutputRow16_AVX2(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                            int32_t area, const uint8_t *guide, int16_t *out);
void GuidedOutputRow16(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                       int32_t area, const uint8_t *guide, int16_t *out);

// The same output row of the 8-bit double-precision filter: q clamped to 0..255, into
// contiguous samples.
void GuidedOutputRow8_C(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                        int32_t area, const uint8_t *guide, uint8_t *out);
void GuidedOutputRow8_SSE2(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                           int32_t area, const uint8_t *guide, uint8_t *out);
void GuidedOutputRow8_AVX2(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                           int32_t area, const uint8_t *guide, uint8_t *out);
void GuidedOutputRow8(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                      int32_t area, const uint8_t *guide, uint8_t *out);

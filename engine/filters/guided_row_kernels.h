// Row kernels of the band guided filters' window sums: one row of a guide and a signed 16-bit
// input added to (sign > 0) or taken from (sign <= 0) the column sums, for i in [0, length):
// sII[i] += g g, sIp[i] += g p, sI[i] += g, sP[i] += p. The plain reference, an SSE2 version
// and an AVX2 version that give the same sums.
#pragma once

#include <cstdint>

void AccumulateGuidedRow16_C(const uint8_t *guide, const int16_t *input, int32_t length,
                             int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP);
// Falls back to the plain kernel where SSE2 is not built in.
void AccumulateGuidedRow16_SSE2(const uint8_t *guide, const int16_t *input, int32_t length,
                                int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                                int64_t *sP);
// Only called when the processor has AVX2.
void AccumulateGuidedRow16_AVX2(const uint8_t *guide, const int16_t *input, int32_t length,
                                int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                                int64_t *sP);
// The one FastKernelsEnabled() and Avx2KernelsEnabled() pick.
void AccumulateGuidedRow16(const uint8_t *guide, const int16_t *input, int32_t length,
                           int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP);

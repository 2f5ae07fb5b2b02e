// Row kernels of the 8-pixel map expansion (InterpolateGridRow8 and its FromX form): the plain
// reference and an SSE2 version that gives the same values. Both write columns [x, end) of
// out from the grid rows upper and lower (stride nodes each, node k at origin + 8k - 4),
// weighted wy / 8.
#pragma once

#include <cstdint>

void InterpolateMapRow8_C(int16_t *out, int32_t x, int32_t end, const int16_t *upper,
                          const int16_t *lower, int32_t stride, int32_t wy, int32_t origin);
// Falls back to the plain kernel where SSE2 is not built in.
void InterpolateMapRow8_SSE2(int16_t *out, int32_t x, int32_t end, const int16_t *upper,
                             const int16_t *lower, int32_t stride, int32_t wy, int32_t origin);
// Eight whole runs at a time in AVX2 lanes, the columns around them by the SSE2 kernel. Only
// called when the processor has AVX2.
void InterpolateMapRow8_AVX2(int16_t *out, int32_t x, int32_t end, const int16_t *upper,
                             const int16_t *lower, int32_t stride, int32_t wy, int32_t origin);
// The one Sse2KernelsEnabled() and Avx2KernelsEnabled() pick.
void InterpolateMapRow8(int16_t *out, int32_t x, int32_t end, const int16_t *upper,
                        const int16_t *lower, int32_t stride, int32_t wy, int32_t origin);

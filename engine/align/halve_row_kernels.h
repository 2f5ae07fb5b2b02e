// Row kernels of HalvePlane: out[x] = (top[2x] + top[2x+1] + bottom[2x] + bottom[2x+1] + 2) >> 2
// for x in [0, outWidth). The plain reference and SSE2 and AVX2 versions with the same bytes.
#pragma once

#include <cstdint>

void HalveRow_C(const uint8_t *top, const uint8_t *bottom, uint8_t *out, int32_t outWidth);
// Falls back to the plain kernel where SSE2 is not built in.
void HalveRow_SSE2(const uint8_t *top, const uint8_t *bottom, uint8_t *out, int32_t outWidth);
// Thirty-two outputs a step; call it only where ProcessorHasAvx2() holds. Falls back to the
// SSE2 kernel where AVX2 cannot be built in.
void HalveRow_AVX2(const uint8_t *top, const uint8_t *bottom, uint8_t *out, int32_t outWidth);
// The one Sse2KernelsEnabled() and Avx2KernelsEnabled() pick, chosen once for a plane's rows.
using HalveRowKernel = void (*)(const uint8_t *top, const uint8_t *bottom, uint8_t *out,
                                int32_t outWidth);
HalveRowKernel ChooseHalveRow();

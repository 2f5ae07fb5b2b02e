// Row kernels of the luma window of a packed 4:2:2 row: out[k] = pairs[2 k + offset] for
// k < count, offset 0 (Y0 U Y1 V) or 1 (U Y0 V Y1). Every kernel reads only the 2 count bytes
// of the row's pixels from `pairs`, so the last pixel of a row needs no separate step. The
// plain reference and SSE2 and AVX2 versions with the same bytes.
#pragma once

#include <cstdint>

void GatherPackedLuma_C(const uint8_t *pairs, int32_t offset, uint8_t *out, int32_t count);
// Falls back to the plain kernel where SSE2 is not built in.
void GatherPackedLuma_SSE2(const uint8_t *pairs, int32_t offset, uint8_t *out, int32_t count);
// Call it only where ProcessorHasAvx2() holds; falls back to the SSE2 kernel where AVX2 cannot
// be built in.
void GatherPackedLuma_AVX2(const uint8_t *pairs, int32_t offset, uint8_t *out, int32_t count);
// The one Sse2KernelsEnabled() and Avx2KernelsEnabled() pick, chosen once for a window's rows.
using PackedLumaGather = void (*)(const uint8_t *pairs, int32_t offset, uint8_t *out,
                                  int32_t count);
PackedLumaGather ChooseGatherPackedLuma();

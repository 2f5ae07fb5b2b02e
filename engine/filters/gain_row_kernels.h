// Row kernel of the gain-row expansion: the output row of phase k between two expanded grid
// rows, out[x] = ((2^shift - k) cur[x] + k next[x]) >> shift for x in [0, width). The plain
// reference and an SSE2 version that gives the same values.
#pragma once

#include <cstdint>

void BlendGainRows_C(uint16_t *out, const uint16_t *cur, const uint16_t *next, int32_t width,
                     uint32_t k, int32_t shift);
// Falls back to the plain kernel where SSE2 is not built in.
void BlendGainRows_SSE2(uint16_t *out, const uint16_t *cur, const uint16_t *next, int32_t width,
                        uint32_t k, int32_t shift);
// The one Sse2KernelsEnabled() picks.
void BlendGainRows(uint16_t *out, const uint16_t *cur, const uint16_t *next, int32_t width,
                   uint32_t k, int32_t shift);

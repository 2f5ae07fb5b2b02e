// The luma bytes of a packed 4:2:2 row (Y0 U Y1 V): out[x] = in[2 x] for x in [0, width). The
// plain reference and an SSE2 version that copies sixteen pixels a step.
#pragma once

#include <cstdint>

void PackedLumaRow_C(const uint8_t *in, uint8_t *out, int32_t width);
// Falls back to the plain kernel where SSE2 is not built in.
void PackedLumaRow_SSE2(const uint8_t *in, uint8_t *out, int32_t width);
// The one Sse2KernelsEnabled() picks.
void PackedLumaRow(const uint8_t *in, uint8_t *out, int32_t width);

// Row kernel of the packed 4:2:2 (YUYV) crop and rescale: the plain reference and an SSE2
// version that gives the same bytes. Both write destination pixels [0, width) (width even) of
// one row from the source rows s0 and s1 (fy / 16 of the way to s1): luma bilinear on 1/16
// fractions, down the rows and then across, from the columns columnPairs[x] (left) and
// columnPairs[width + x] (right) weighted columnFractions[x] / 16; each pair's U and V from
// the source group holding its first pixel's left column.
#pragma once

#include <cstdint>

void RescaleYuyvRow_C(const uint8_t *s0, const uint8_t *s1, int32_t fy, const int32_t *columnPairs,
                      const int32_t *columnFractions, int32_t width, uint8_t *out);
// Falls back to the plain kernel where SSE2 is not built in.
void RescaleYuyvRow_SSE2(const uint8_t *s0, const uint8_t *s1, int32_t fy,
                         const int32_t *columnPairs, const int32_t *columnFractions,
                         int32_t width, uint8_t *out);
// The one Sse2KernelsEnabled() picks.
void RescaleYuyvRow(const uint8_t *s0, const uint8_t *s1, int32_t fy, const int32_t *columnPairs,
                    const int32_t *columnFractions, int32_t width, uint8_t *out);

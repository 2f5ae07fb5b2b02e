// Row kernel of the tracker's gradients: for x < width, with columns and the given neighbour
// rows clamped at the borders,
//   outX[x] = (V(x + 1) - V(x - 1)) >> 3, V(x) = above[x] + 2 centre[x] + below[x],
//   outY[x] = (H(below, x) - H(above, x)) >> 3, H(r, x) = r[x - 1] + 2 r[x] + r[x + 1].
// Both lie in [-128, 127]. The plain reference and an SSE2 version with the same bytes.
#pragma once

#include <cstdint>

void TrackerGradientRow_C(const uint8_t *above, const uint8_t *centre, const uint8_t *below,
                          int32_t width, int8_t *outX, int8_t *outY);
// Falls back to the plain kernel where SSE2 is not built in.
void TrackerGradientRow_SSE2(const uint8_t *above, const uint8_t *centre, const uint8_t *below,
                             int32_t width, int8_t *outX, int8_t *outY);
// The one Sse2KernelsEnabled() picks.
void TrackerGradientRow(const uint8_t *above, const uint8_t *centre, const uint8_t *below,
                        int32_t width, int8_t *outX, int8_t *outY);

// Row kernels of the 1/16-pixel fetch (FetchSubpelPacked422) with the session's shift already
// resolved: the plain reference and an SSE2 version that gives the same bytes.
#pragma once

#include <cstdint>

void FetchSubpelRowPacked422_C(int32_t shift, int32_t right, int32_t bottom, int32_t dispX,
                               int32_t dispY, int32_t stepX, int32_t stepY, int32_t a, int32_t r,
                               int32_t b, int32_t pitch, const uint8_t *source,
                               uint8_t *destination);
// Falls back to the plain kernel where SSE2 is not built in.
void FetchSubpelRowPacked422_SSE2(int32_t shift, int32_t right, int32_t bottom, int32_t dispX,
                                  int32_t dispY, int32_t stepX, int32_t stepY, int32_t a,
                                  int32_t r, int32_t b, int32_t pitch, const uint8_t *source,
                                  uint8_t *destination);

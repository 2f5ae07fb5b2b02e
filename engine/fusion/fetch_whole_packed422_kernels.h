// Row kernels of the whole-pixel fetch (FetchShiftedPacked422) over the groups whose source
// column needs no clamping: output groups at columns x, x + 4, ... below b, each holding the
// packed pixels from column x - dx of the source row, every 16 bytes of quad. Stops before
// the first group past b or whose source column x - dx leaves 0..right - 4, and returns the
// number of groups written. The plain reference and an SSE2 version that gives the same
// bytes and reads no byte the plain one does not.
#pragma once

#include <cstdint>

int32_t CopyShiftedGroupsPacked422_C(const uint8_t *row, int32_t dx, int32_t right, int32_t x,
                                     int32_t b, uint8_t *quad);
// Falls back to the plain kernel where SSE2 is not built in.
int32_t CopyShiftedGroupsPacked422_SSE2(const uint8_t *row, int32_t dx, int32_t right, int32_t x,
                                        int32_t b, uint8_t *quad);

// One image row of a grid with a node per 32 x 32-pixel block, by bilinear interpolation.
// Node (i, j) stands at x = 32j - 16, y = 32i - 16. For image row r the caller passes the upper
// grid row gy = (r + 16) >> 5 and the vertical weight v = (r + 16) & 31; pixel x takes
// cell c = (x + 16) >> 5 at o = (x + 16) & 31 and gets
//   ((32-o)(32-v) A + o(32-v) B + (32-o)v C + o v D) >> 10
// with A, B the nodes c, c + 1 of row gy and C, D those of row gy + 1 (floored).
// first and end are expected to be multiples of 4.
#pragma once

#include <cstdint>

// Writes out[x] for every x in [first, end).
void InterpolateGridRow32(int16_t *out, int32_t first, int32_t end, int32_t gy,
                          const int16_t *grid, int32_t stride, int32_t v);

// Writes out[x] for x = first, first + 4, ... < end only; the pixels between stay untouched.
void InterpolateGridRowSparse32(int16_t *out, int32_t first, int32_t end, int32_t gy,
                                const int16_t *grid, int32_t stride, int32_t v);

// As the sparse form, and records where the row is zero. The run list starts with first, then
// holds every x where the row switches between an all-zero and a non-zero segment, then end;
// run i (between entries i and i + 1) is non-zero exactly when i is odd, so a row non-zero
// from first starts {first, first, ...}. *runCount counts both ends; *allZero is 1 when no
// segment is non-zero.
// A row of n segments can need n + 2 entries (a lone non-zero segment at each end of a row of
// three), one more than a list of blocksAcross + 2 holds. So the list is bounded by capacity
// (at least 3): a switch back to zero is recorded only while room remains for a later switch
// and the end; otherwise the non-zero run goes on to the end, which fuses zero weights there
// instead of skipping them and never drops a weighted pixel.
void InterpolateGridRowRuns32(int16_t *out, int32_t first, int32_t end, int32_t gy,
                              const int16_t *grid, int32_t stride, int32_t v, int32_t *allZero,
                              int32_t *runList, int32_t *runCount, int32_t capacity);

// As the sparse form, and *allZero set to 1 when no segment is non-zero (0 otherwise); no run
// list.
void InterpolateGridRowZeroFlag32(int16_t *out, int32_t first, int32_t end, int32_t gy,
                                  const int16_t *grid, int32_t stride, int32_t v,
                                  int32_t *allZero);

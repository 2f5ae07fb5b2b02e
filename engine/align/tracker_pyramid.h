// Pyramid reduction and Sobel gradients of the feature tracker's 8-bit planes.
//
// Reduction halves a plane with a [1 2 1] x [1 2 1] filter and no rounding (the weighted sum of
// 16 is shifted right by 4); the row above row 0 and the column left of column 0 repeat them.
// Gradients are Sobel differences shifted right by 3 (floor), stored as signed bytes; rows and
// columns outside the plane repeat the border, so the first and last column (row) get one-sided
// differences.
#pragma once

#include <cstdint>

#include "align/plane8.h"

// Kernel without checks: destination (x, y) from source rows 2y-1..2y+1 and columns 2x-1..2x+1.
// scratch holds 2 * destinationWidth entries.
void ReduceRows8(int32_t *scratch, const uint8_t *source, int32_t sourceStride,
                 uint8_t *destination, int32_t destinationStride, int32_t destinationWidth,
                 int32_t destinationHeight);

// Reduces source into destination (whose size sets the output). Returns 0, or 2 (nothing
// written) for a null argument or a destination larger than half the source either way.
// scratch holds 2 * destination width entries.
int ReducePlane8(int32_t *scratch, const Plane8 *source, Plane8 *destination);

// Writes the x- and y-gradients of source into gradientX and gradientY (same size and stride as
// source). With a next level, source is first reduced into it (the caller guarantees the next
// level is at most half the source's size). scratch holds 3 * source width entries.
// Returns 2 for a null plane or unequal strides; a null scratch returns 0 and changes nothing.
int ComputeGradients8(int32_t *scratch, const Plane8 *source, Plane8 *gradientX,
                      Plane8 *gradientY, Plane8 *nextLevel);

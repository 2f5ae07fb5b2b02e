// Histogram matching: a 256-entry table mapping the levels of one image onto another's by
// matching the deciles of their luma histograms, and two small histogram summaries.
#pragma once

#include <cstdint>

#include "engine_types.h"

// table[v] = the level of the target image that source level v maps to: a piecewise-linear
// curve through the ten decile knots, its darkest part continuing the second segment (cut at
// 0) when the source's first decile lies below the target's, and its part from the last knot
// under 240 reshaped toward the identity (topFlag set) or along the next segment (clear).
// pixelCount is the histograms' total. slopeMode 0 (what the engine uses) leaves the knots
// as found; mode 2 and other positive modes hold every segment's slope between 1/4 and 4.
// RESULT_OK; RESULT_INVALID_ARGUMENT for null pointers.
int BuildHistogramMatchTable(uint8_t *table, const int32_t *sourceHistogram,
                             const int32_t *targetHistogram, int64_t pixelCount, int32_t slopeMode,
                             int32_t topFlag);

// The slope limit on caller-held knots S[0..10], T[0..10]: mode 2 the backward pass (without
// its adjustment of T[10]), any other mode the forward pass.
int LimitMatchSlopes(int32_t *sourceKnots, int32_t *targetKnots, int32_t mode);

// With L = width x height / 4096: low is the first level, counting up, at which the running
// count exceeds L; high the first level, counting down, at which the count of it and the
// levels above exceeds L. Each is 0 when the count never exceeds L.
int FindHistogramClipPoints(const ImageDesc *image, const int32_t *histogram, int32_t *high,
                            int32_t *low);

// Percentages (integer) of the pixels at levels 192..255 (high) and 0..31 (low).
int ComputeHistogramEndShares(const ImageDesc *image, const int32_t *histogram, int32_t *high,
                              int32_t *low);

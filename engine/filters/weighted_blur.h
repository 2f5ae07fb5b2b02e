// Blurs of an 8-bit image whose strength is set pixel by pixel by an 8-bit weight image:
// where the weight is 0 a pixel becomes the weighted mean of a box of the full radius R,
// where it is 255 it keeps its value, and in between the box shrinks in proportion. Inside
// the box every sample counts with its own inverted weight 255 - w, so strongly weighted
// samples do not bleed into their surroundings.
#pragma once

#include <cstdint>

#include "core/hdr_engine.h"
#include "core/row_image.h"

enum { WEIGHTED_BLUR_MAX_RADIUS = 90 };  // keeps the window sums within 32 bits

// Image, weights and output are 8-bit single-channel row images of one size; the output is a
// third image. The weights are inverted in place (they hold 255 - w when the call returns).
// A box of half-width gx and half-height gy around (x, y), clipped at the borders, gives
// sum(I w') / sum(w') truncated, or I itself where sum(w') is 0.
// Results: RESULT_OK; RESULT_INVALID_ARGUMENT (null, mismatched or shared images, R outside
// 0..WEIGHTED_BLUR_MAX_RADIUS); RESULT_OUT_OF_MEMORY (weights untouched, output not written).

// Even rows with gx = gy = w' R / 255; each odd row with a row below it is the mean
// (floor) of its two neighbours; the last row of an even height repeats the row above it.
int32_t WeightedBlurEvenRows(MemoryContext memory, const RowImage *image, RowImage *weights,
                             int32_t radius, RowImage *output);
// Every row with gx = w' R / 255 and gy = gx / 2.
int32_t WeightedBlurWide(MemoryContext memory, const RowImage *image, RowImage *weights,
                         int32_t radius, RowImage *output);

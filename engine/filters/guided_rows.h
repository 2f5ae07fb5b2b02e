// Guided filters over row images beside the striped one: a grey-guided filter with 8-bit
// input and output, a colour-guided filter with a single-precision 3 x 3 solve, and a tiled
// front end to it that skips tiles whose mask is all 0 or all 255. All run on the calling
// thread, clip their windows at the image borders and divide by the samples inside.
#pragma once

#include <cstdint>

#include "core/hdr_engine.h"
#include "core/row_image.h"

// GuidedFilterStriped's integer filter (regularisation 5) for an 8-bit input, with the
// output clamped to 0..255. Guide, input and output are 8-bit, one channel, of one size; the
// output may be the guide or the input. Any radius >= 0.
// Results: RESULT_OK; RESULT_INVALID_ARGUMENT (null or mismatched images, a negative
// radius); RESULT_OUT_OF_MEMORY with the output untouched.
int32_t GuidedFilterRows8(MemoryContext memory, const RowImage *guide, const RowImage *input,
                          RowImage *output, int32_t radius);

// The guide has at least three 8-bit channels (bytes 0, 1 and 2 of each pixel are used);
// input and output are 8-bit planes of its size. eps (finite, >= 0) is added to the guide's
// variances. Where a covariance matrix's determinant is below 1e-6 the inverse of the last
// pixel that had one is used again (zero before the first). The output may be the input.
// Results as GuidedFilterRows8.
int32_t GuidedFilterColourRows(MemoryContext memory, const RowImage *guide, const RowImage *input,
                               RowImage *output, int32_t radius, float eps);

// Cuts the image into tilesAcross x tilesDown tiles (the last column and row take the rest).
// When at least 80 percent of the tiles are not uniform, the whole mask is filtered at once.
// Otherwise the output is cleared, a uniform tile of 0 or 255 copies the mask, and every
// other tile is filtered with a margin of r around it; each sample of the margin rectangle
// takes the maximum of the output so far and the filtered value. The output must not be the
// mask. Results as GuidedFilterRows8; also RESULT_INVALID_ARGUMENT for tile counts below 1
// or above the image's width or height.
int32_t GuidedFilterColourTiled(MemoryContext memory, const RowImage *guide, const RowImage *mask,
                                RowImage *output, int32_t radius, int32_t tilesAcross, float eps,
                                int32_t tilesDown);

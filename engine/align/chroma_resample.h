// Two small reductions beside the thumbnail decimation: a three-quarter reduction of planar
// 4:2:0 images by picking samples, and a fetch of one chroma row at displaced positions.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// Reduces the rectangle (null: the whole source) of a PIXEL_FORMAT_I420 source to three
// quarters in both directions into a planar 4:4:4 output of 3w/4 x 3h/4 pixels. Each group of
// 4 x 4 pixels gives 3 x 3 by dropping its column and row 1; an output column takes the chroma
// pair of its source column. The rectangle's sides must be multiples of 4 and it must lie in
// the source; an empty one (x1 < x0 or y1 < y0) writes nothing.
// Returns RESULT_OK, RESULT_UNSUPPORTED_FORMAT for another source format, or
// RESULT_INVALID_ARGUMENT for a null image, a bad rectangle or an output too small.
int ResampleThreeQuarters420(const ImageDesc *source, ImageDesc *output, const InclusiveRect *rect);

// Writes one chroma byte per two luma columns x = xStart, xStart + 2, ... below xEnd, taken
// at the position minus a displacement: (dx, dy) >> (shift mod 32) are the displacement in
// 1/16 pixel, and dx, dy grow by 2 dxStep, 2 dyStep per output byte. The source column and
// row are clamped to 0 .. widthBound - 2 and 0 .. heightBound - 2; row and heightBound count
// chroma rows, the byte read is chroma[row * stride + column / 2].
// Returns RESULT_OK, or RESULT_INVALID_ARGUMENT for null buffers or bounds below 2.
int FetchDisplacedChromaRow(int32_t widthBound, int32_t heightBound, int32_t dx, int32_t dy,
                            int32_t dxStep, int32_t dyStep, int32_t xStart, int32_t row,
                            int32_t xEnd, int32_t stride, const uint8_t *chroma, uint8_t *out,
                            uint32_t shift);

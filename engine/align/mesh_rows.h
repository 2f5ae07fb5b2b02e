// Row kernels of the mesh warp for the formats the transform warp's cells do not cover.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// PIXEL_FORMAT_I420: bilinear luma on every row; on odd rows nearest chroma, the U and V of
// half-resolution column (sx + 1) >> 1, row sy >> 1 of the source pixel (sx, sy) going to
// column x >> 1 of chroma row y >> 1 (in groups of four the pixels 4k and 4k + 2 write).
void WarpCellRowsI420(const ImageDesc *source, ImageDesc *destination, int32_t cellX, int32_t cellY,
                      const int32_t *dx, const int32_t *dy, int32_t s, const PixelRect &valid);

// Packed 4:2:2 with luma at the odd bytes: bilinear luma; the chroma bytes 0 and 2 of the
// source group at byte (2 sx + 2) rounded down to a multiple of 4, on the source row rounded by
// the vertical weight. Pairs of pixels aligned to even x share the first one's displacement
// and are stored as one 32-bit word; the ends of the span go pixel by pixel.
void WarpCellRowsPackedLumaOdd(const ImageDesc *source, ImageDesc *destination, int32_t cellX,
                               int32_t cellY, const int32_t *dx, const int32_t *dy, int32_t s,
                               const PixelRect &valid);

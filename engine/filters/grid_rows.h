// Bilinear expansion of coarse grids in integer arithmetic: a whole byte grid by a power of
// two, and single full-resolution rows of the signed 16-bit 8-pixel maps.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// Expands a byte grid by g = 2^shift into columns [x0, end) of rows [y0, rows) of out: from
// rect when given ({x0, y0, x1, y1}, end = x1, rows = y1), else [0, end) x [0, rows).
// Columns map to grid coordinate x / g and rows to i / g - 1 (one cell above the columns),
// held at the first and the last grid row; value = (Q g + (P - Q) tv) >> 2 shift with Q, P
// the column interpolations times g of the upper and lower grid row and tv = i mod g.
// Columns from (gridCols - 1) g on repeat the last interpolated column; a grid one cell wide
// gives its cells. With shift 0 every output row copies its grid row (rows past the grid
// repeat the last one). Results: RESULT_OK, or RESULT_INVALID_ARGUMENT (null planes, an empty
// grid, a pitch below its width, a shift outside 0..8, a rectangle with negative corners)
// with nothing written.
int32_t UpsampleGrid2n(uint8_t *out, int32_t end, int32_t rows, int32_t outPitch,
                       const uint8_t *grid, int32_t gridCols, int32_t gridRows, int32_t gridPitch,
                       const PixelRect *rect, int32_t shift);
// The same rule over image records: the grid is plane 0 of gridImage (its width and height
// as the grid size), read as signed 8-bit cells; the result's low 8 bits go to plane 0 of
// output over rect, which is required and must lie inside the output.
int32_t UpsampleGrayGrid2n(int64_t ignored, const ImageDesc *gridImage, ImageDesc *output,
                           const PixelRect *rect, int32_t shift);
// UpsampleGrayGrid2n over rect, or the whole output when rect is null; a grid image of any
// format other than PIXEL_FORMAT_GRAY8 leaves the output untouched (still RESULT_OK).
int32_t UpsampleGrayGridImage(int64_t ignored, const ImageDesc *gridImage, ImageDesc *output,
                              const PixelRect *rect, int32_t shift);

// One row of a padded 8-pixel map (node k at column 8k - 4) for columns [x, end): the grid
// row b and the row below it, weighted wy / 8 (0..7), give
// out[c] = floor((64 a + 8 t (b1 - a) + 8 wy (c - a) + t wy (a + d - b1 - c)) / 64) with t the
// column's position (0..7) after its node. Callers pass b = (r + 4) >> 3, wy = (r + 4) & 7.
// Node columns clamp to 0..stride - 1 and rows to 0..gridRows - 1 (the lower row is b itself
// on the last row), so any row and width stay inside the map; where the nodes exist this is
// the plain bilinear value. Only [x, end) is written.
void InterpolateGridRow8(int16_t *out, int32_t x, int32_t end, int32_t b, const int16_t *grid,
                         int32_t stride, int32_t gridRows, int32_t wy);
// The same with nodes counted from column `origin`: node k at origin + 8k - 4, the lower row
// always b + 1. gridRows, when positive, clamps both rows as above (0: the caller keeps b
// below the last row).
void InterpolateGridRow8FromX(int16_t *out, int32_t x, int32_t end, int32_t b, const int16_t *grid,
                              int32_t stride, int32_t gridRows, int32_t wy, int32_t origin);

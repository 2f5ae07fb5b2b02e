// Corner detection on the tracker's level-0 gradients: every pixel is scored by the smaller
// eigenvalue of its 3 x 3 gradient structure tensor, then the best corners are picked cell by
// cell over a regular grid, at least a radius apart.
#pragma once

#include <cstdint>

#include "align/plane8.h"
#include "core/engine_types.h"

// Scores below this (and tensors whose A or C sum is below it) count as no corner.
constexpr int32_t kCornerScoreThreshold = 153;

// Integer approximation of sqrt(d^2 + e^2) for d, e >= 0, shared with the tracker's start test.
int32_t ApproximateHypotenuse(int32_t d, int32_t e);

// Scores one row. sums holds three runs of width entries: the vertical 3-sums of gx^2, gx*gy and
// gy^2; the horizontal 3-sums (border columns repeated) give A, B, C and the score is the
// smaller eigenvalue (A + C - sqrt((A - C)^2 + 4B^2)) / 2, 0 when below the threshold.
void CornerScoreRow(const int32_t *sums, int32_t width, int32_t *scores);

// Cell (row, column) of area split into across x down cells: widths area width / across, the
// remainder going one pixel each to the first columns (likewise rows), so the cells tile it.
PixelRect CornerGridCell(const PixelRect &area, int32_t across, int32_t down, int32_t row,
                         int32_t column);

// Finds up to capacity corners in area (whole plane when null; clipped to the plane), whose
// integer positions go to outX and outY, and returns their number. The area is split into
// cellsAcross x cellsDown cells (remainders going one pixel each to the first cells); each cell
// gets up to attemptsPerCell picks of its best score. A pick within radius of an earlier corner
// replaces it only when stronger; at capacity a pick replaces the weakest corner when stronger,
// else the cell ends. Each accepted pick clears the scores within radius inside its cell.
// Returns 0 when the work buffer cannot be allocated or an argument is unusable.
int32_t DetectGridCorners(MemoryContext memory, const Plane8 *gradientX, const Plane8 *gradientY,
                          int32_t radius, int32_t cellsAcross, int32_t cellsDown,
                          int32_t attemptsPerCell, int32_t capacity, int32_t *outX,
                          int32_t *outY, const PixelRect *area);

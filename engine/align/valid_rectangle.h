// The rectangles of the full-resolution pass: the rows the band workers render, the area
// every aligned exposure covers, and that area aligned to 16 pixels, which the result is cut
// to and scaled back from.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// shiftList holds a (dx, dy) pair per alignment slot (dark, bright, then image 2's), at least
// 2 x count entries; the motion grids of slots 0 and 1 (meshCols x meshRows nodes) narrow
// the covered area further. Writes *processRect = {0, 0, W & ~7, H & ~1}, overlapRect,
// cropRect (top, left, bottom, right) and, when no status is pending, splitRow.
// With a pending status, or when the shifts leave no covered area (an empty overlap or
// crop), the overlap is the whole process area and the crop the whole frame.
// RESULT_OK, or RESULT_INVALID_ARGUMENT (null arguments, count outside 0..3, W or H below 1).
int ComputeValidRectangle(HdrSession *session, const int32_t *shiftList, int32_t count,
                          int32_t width, int32_t height, RegionRect *processRect);

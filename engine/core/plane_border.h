// Borders for small planes that are filtered or interpolated past their edges.
// Every function returns 0, or RESULT_INVALID_ARGUMENT for a null plane or a shape it cannot
// give a border (nothing is written then).
#pragma once

#include <cstdint>

// Copies a W x H plane into a (W + 2) x (H + 2) plane with a one-sample replicated border.
// Source and destination must not overlap; W and H must be at least 1.
int PadPlane16(const int16_t *source, int16_t *destination, int32_t width, int32_t height);
int PadPlane32(const int32_t *source, int32_t *destination, int32_t width, int32_t height);
// In place: one sample of border at the left and top, two at the right and bottom, over the
// whole pitch. Pitch and rows must be at least 3.
int ReplicateBorder8(uint8_t *plane, int32_t pitch, int32_t rows);
int FillBorder8(uint8_t *plane, int32_t pitch, int32_t rows);
// In place: everything outside the window [left, right) x [top, bottom) repeats the window's
// nearest edge, over rowWidth bytes of each of the rows: first the window rows widen (columns
// before left take column left, then those from right on take column right - 1), then the
// rows above top take row top and those from bottom on take row bottom - 1. Columns left and
// right - 1 and rows top and bottom - 1 must lie inside the rowWidth x rows plane, and rowWidth
// must not exceed the pitch; an empty window (top >= bottom) only makes the row copies.
int ReplicateOutsideWindow8(uint8_t *plane, int32_t rowWidth, int32_t rows, int32_t pitch,
                            int32_t left, int32_t right, int32_t top, int32_t bottom);

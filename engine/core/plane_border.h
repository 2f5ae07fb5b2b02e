// Borders for small planes that are filtered or interpolated past their edges.
#pragma once

#include <cstdint>

// Copies a W x H plane into a (W + 2) x (H + 2) plane with a one-sample replicated border.
// Source and destination must not overlap.
int PadPlane16(const int16_t *source, int16_t *destination, int32_t width, int32_t height);
int PadPlane32(const int32_t *source, int32_t *destination, int32_t width, int32_t height);
// In place: one sample of border at the left and top, two at the right and bottom.
int ReplicateBorder8(uint8_t *plane, int32_t pitch, int32_t rows);
int FillBorder8(uint8_t *plane, int32_t pitch, int32_t rows);
// In place: everything outside the window [left, right) x [top, bottom) repeats the window's
// nearest edge, over rowWidth bytes of each of the rows.
int ReplicateOutsideWindow8(uint8_t *plane, int32_t rowWidth, int32_t rows, int32_t pitch,
                            int32_t left, int32_t right, int32_t top, int32_t bottom);

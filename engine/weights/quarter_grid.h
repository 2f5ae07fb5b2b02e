// Padding of the deghosting stage's quarter grids: the box and guided filters that smooth them
// work on sides that are multiples of 4.
#pragma once

#include <cstdint>

// Copies a width x height grid into out, whose width and height are those rounded up to
// multiples of 4, repeating the last column into the new columns and then the last row into
// the new rows; a grid whose sides are already multiples of 4 is copied unchanged. Pitches are
// in samples; out may be grid itself when the pitches are equal. RESULT_OK, or
// RESULT_INVALID_ARGUMENT for null grids, sides below 1 or pitches below a row.
int32_t PadGrid8ToMultipleOf4(const uint8_t *grid, int32_t width, int32_t height, int32_t pitch,
                              uint8_t *out, int32_t outPitch);
int32_t PadGrid32ToMultipleOf4(const int32_t *grid, int32_t width, int32_t height,
                               int32_t pitch, int32_t *out, int32_t outPitch);

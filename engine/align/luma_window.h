// Luma windows and plain pyramid helpers of the bitmap aligner.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// Copies the luma of the window whose top-left pixel is (x, y) into `window` (windowWidth x
// windowHeight samples at windowPitch). Rows outside the image are zero over the whole window
// pitch, samples left or right of it are zero. Luma is byte 2x of a PIXEL_FORMAT_YUYV row,
// byte 2x + 1 of a PIXEL_FORMAT_UYVY row and the plane byte of I420, YUV422P, NV12, NV21 and
// NV16. Any other format writes nothing and returns RESULT_UNSUPPORTED_FORMAT, so that a
// caller never compares a stale window.
int ExtractLumaWindow(const uint8_t *luma, int32_t width, int32_t height, int32_t pitch,
                      uint8_t *window, int32_t windowWidth, int32_t windowHeight,
                      int32_t windowPitch, int32_t x, int32_t y, uint32_t format);

// 2 x 2 reduction of a width x height plane into (width / 2) x (height / 2) samples at pitch
// width / 2, each the rounded mean of its four sources; output row y reads source rows 2y and
// 2y + 1, so odd widths and heights lose their last column or row.
void HalvePlane(const uint8_t *source, int32_t width, int32_t height, int32_t pitch,
                uint8_t *destination);

// How often max(width, height) is halved while it exceeds limit.
int32_t CountPyramidLevels(int32_t width, int32_t height, int32_t limit);

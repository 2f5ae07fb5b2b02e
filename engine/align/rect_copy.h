// Copying everything of an image except one rectangle.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// Copies every pixel of source outside rect (x0, y0, x1, y1 in pixels, ends exclusive) into
// destination. Chroma samples only partly inside the rectangle count as outside and are
// copied. Formats: packed 4:2:2 0x503 and 0x504, PIXEL_FORMAT_I420, PIXEL_FORMAT_NV12 and
// PIXEL_FORMAT_NV21. RESULT_INVALID_ARGUMENT for null images, differing formats, sizes or
// pitches, or a rectangle that is empty or not inside the source; RESULT_UNSUPPORTED_FORMAT for
// other formats.
int CopyImageOutsideRect(const ImageDesc *source, ImageDesc *destination, const PixelRect &rect);

// Rows 0 .. y0 - 1 and y1 .. rows - 1 whole, rows y0 .. y1 - 1 outside bytes [x0, x1); both
// planes share one pitch. The rectangle is limited to the plane.
void CopyPlaneOutsideRect(const uint8_t *source, uint8_t *destination, int32_t pitch,
                          int32_t rowBytes, int32_t rows, int32_t x0, int32_t y0, int32_t x1,
                          int32_t y1);

// Helpers shared by the image copy and crop code. Internal to the core.
#pragma once

#include <cstdint>

#include "engine_types.h"
#include "pixel_format.h"

// A checked copy: the format's layout and both rectangles resolved (null stands for the
// whole image).
struct CopyPlan {
    const PixelFormatInfo *info;
    PixelRect destination;
    PixelRect source;
};

// 1 when the rectangle is ordered and lies inside a width x height image.
bool RectInsideImage(const PixelRect &rect, int32_t width, int32_t height);

// Checks everything a copy needs before a byte is written: both images, equal formats,
// rectangles inside their images and of equal size, a supported format, present planes and
// pitches that hold a row. Returns 0, RESULT_INVALID_ARGUMENT or RESULT_UNSUPPORTED_FORMAT.
int PrepareCopy(const ImageDesc *destination, const PixelRect *destinationRect,
                const ImageDesc *source, const PixelRect *sourceRect, CopyPlan *plan);

// Copies the rows of one plane span into another of the same size. The planes must not
// overlap.
void CopyPlaneSpan(uint8_t *destination, int32_t destinationPitch, const PlaneSpan &to,
                   const uint8_t *source, int32_t sourcePitch, const PlaneSpan &from);

// Row kernels for copies whose rectangles start at x positions of different parity.
// Rows are passed from their first byte; x positions and widths are in pixels.

// Packed 4:2:2: each destination pixel keeps its own luma; every two destination pixels take
// the U and V of the source pair that holds the first of their two source pixels, each into
// the destination's U or V slot. lumaOffset is 0 for Y0 U Y1 V and 1 for U Y0 V Y1.
void CopyPackedRowKeepChroma(uint8_t *destinationRow, int32_t destinationX,
                             const uint8_t *sourceRow, int32_t sourceX, int32_t width,
                             int lumaOffset);
// Interleaved chroma (byte x belongs to pixel x): the same pairing rule on chroma bytes.
void CopyChromaPairRowKeepOrder(uint8_t *destinationRow, int32_t destinationX,
                                const uint8_t *sourceRow, int32_t sourceX, int32_t width);

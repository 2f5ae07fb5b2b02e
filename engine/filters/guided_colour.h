// Colour-guided filter over image descriptors: the guided filter with a three-channel guide,
// in which each window solves a 3 x 3 linear system (double precision) instead of dividing by
// one variance. Windows of (2r+1) x (2r+1) samples with replicated borders; a is stored
// times 1024 and b times 16, unclamped; regularisation 16 on each guide variance.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/hdr_engine.h"

enum { GUIDED_COLOUR_MAX_RADIUS = 90 };  // keeps the 32-bit window sums of squares exact

// Filters plane 0 of the input inside the rectangle (null: the whole guide) into plane 0 of
// the output at the same coordinates. Guide channels: bytes 0, 1, 2 of packed pixels for
// codes below 0x500 (pixels 3 or 4 bytes apart as the format lays them out; 0x201 is 3),
// planes 0, 1, 2 of PIXEL_FORMAT_YUV444P, or luma and the U and V of the covering chroma
// pair of NV12 and NV21 (at least 2 x 2). Input and output have the guide's size, a plane 0
// with a pitch of at least the width, and may share their plane (every row is read before it
// is written). Results: RESULT_OK; RESULT_INVALID_ARGUMENT (null or mismatched images, a
// rectangle outside the guide, a radius outside 0..GUIDED_COLOUR_MAX_RADIUS);
// RESULT_UNSUPPORTED_FORMAT for other guide formats; RESULT_OUT_OF_MEMORY (nothing written).
int32_t GuidedFilterColour(MemoryContext memory, const ImageDesc *guide, const ImageDesc *input,
                           int32_t radius, const PixelRect *rect, ImageDesc *output);

// outK[i] for i = -r .. span + r - 1 := channel k of the guide pixel at column
// clamp(x0 + i, 0, width - 1) of row y (already clamped). Writes nothing for a format the
// filter does not take.
void ReadColourGuideRow(const ImageDesc *guide, int32_t radius, int32_t x0, int32_t span,
                        int32_t y, uint8_t *out0, uint8_t *out1, uint8_t *out2);
// out[i] = plane[y * pitch + clamp(x0 + i, 0, planeWidth - 1)] for i = -r .. span + r - 1.
void ReadClampedPlaneRow8(int32_t planeWidth, const uint8_t *plane, int32_t pitch, int32_t radius,
                          int32_t x0, int32_t span, int32_t y, uint8_t *out);

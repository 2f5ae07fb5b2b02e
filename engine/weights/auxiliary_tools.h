// Tools beside the merge stages that no stage calls: a windowed byte histogram, the choice of
// the most informative image by histogram entropy, and the application of the 1/8-scale
// difference maps to the full-resolution inputs in place.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"

// Clears histogram[256] and counts the bytes of the rectangle (ends exclusive, clipped to the
// plane) or, without one, of the whole width x height plane. RESULT_OK, or
// RESULT_INVALID_ARGUMENT for a null plane or histogram, a negative size or a pitch below the
// width (the histogram is still cleared when given).
int32_t RegionHistogram(const uint8_t *plane, int32_t height, int32_t width, int32_t pitch,
                        int32_t *histogram, const PixelRect *rect);

// The image whose plane 0 (over its own width x height and pitch) has the largest entropy
// H = -sum p ln(p + 0.00001), p = bin / (width height): its index in *index (the first on
// ties, 0 when no H is positive) and that H in *entropy (0 when none is positive). RESULT_OK,
// or RESULT_INVALID_ARGUMENT for a null list or output, a count below 1, or an image that is
// missing, empty, without plane 0 or with a pitch below its width. The memory context is not used.
int32_t PickHighestEntropyImage(MemoryContext memory, ImageDesc *const *images, int32_t count,
                                int32_t *index, float *entropy);

// Adds the reference, dark and bright difference maps (fineGrids[0..2], unpadded, of the
// preview image's size, 256 = no change) to the luma of the matching full-resolution inputs,
// expanded bilinearly from the 8-pixel grid on every row. Per group of four pixels the offsets
// are taken at its first pixel; the bright offset fades below luma 64 (o b / 64) and the dark
// one above 223 (o (255 - d) / 32); each luma sample is clamped to 0..255. Packed 4:2:2 inputs
// change their luma bytes only. Allocates one block from the system heap.
// RESULT_OK; RESULT_INVALID_ARGUMENT for a missing session, input, plane or map, exposure
// indices that are not three distinct inputs, inputs of different sizes, a pitch below a row,
// or maps whose size is not the preview's; RESULT_UNSUPPORTED_FORMAT for a format whose luma
// is not one byte a pixel or packed 4:2:2; RESULT_OUT_OF_MEMORY with nothing changed.
int32_t ApplyDifferenceMapsFullRes(HdrSession *session);

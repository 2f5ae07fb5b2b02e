// Integer translation between luma images of different exposures, by coarse-to-fine matching
// of exposure-invariant signatures (threshold bitmaps or gradient codes, chosen by the
// session's alignGradientMode). Each level tries the nine shifts within one sample of twice the
// coarser level's answer, so h halvings reach shifts of up to 2^(h+1) - 1 samples.
//
// Halving mode (alignStridedPyramid 0): every plane buffer holds the level followed by room for
// its successive 2 x 2 reductions (three times the level's size is enough); the planes are
// plain luma. Strided mode (1): every level samples the full-size plane every 2^depth pixels,
// reading packed 4:2:2 rows by the pixel format.
//
// A result (dx, dy) means: the exposure moved so that its sample (x - dx, y - dy) lands on
// (x, y) matches the reference best.
#pragma once

#include <cstdint>

#include "core/session.h"

// Aligns one or two exposures (second may be null) to the reference. levels is the level count
// h of this call; the session's alignPyramidDepth names the top call's h. The threshold state
// is read only for bitmaps (see signature_thresholds.h). RESULT_OK, RESULT_OUT_OF_MEMORY,
// RESULT_CANCELLED (strided mode only, when the callback answers PROGRESS_CANCEL), or
// RESULT_INVALID_ARGUMENT for missing planes, outputs or sizes.
int AlignTriplePyramid(MemoryContext memory, HdrSession *session, uint8_t *reference,
                       uint8_t *first, uint8_t *second, uint32_t format, int32_t depth,
                       int32_t fullWidth, int32_t fullHeight, int32_t fullPitch, int32_t width,
                       int32_t height, int32_t pitch, int32_t *firstDx, int32_t *firstDy,
                       int32_t *secondDx, int32_t *secondDy, int *thresholdState, int32_t levels,
                       int32_t ignored, ProgressCallback progress, void *user);

// One exposure. In the halving mode the top level (h = alignPyramidDepth) does not search and
// returns twice the coarser answer.
int AlignPairPyramid(MemoryContext memory, HdrSession *session, uint8_t *reference,
                     uint8_t *exposure, uint32_t format, int32_t depth, int32_t fullWidth,
                     int32_t fullHeight, int32_t fullPitch, int32_t width, int32_t height,
                     int32_t pitch, int32_t *dx, int32_t *dy, int *thresholdState, int32_t levels,
                     int32_t ignored, ProgressCallback progress, void *user);

// A caller-supplied work area from which every level cuts its maps; offset advances.
struct AlignerScratch {
    uint8_t *base;
    int64_t size;
    int64_t offset;
};

// Strided threshold-bitmap form working in a caller's scratch area; no callback. thresholdState
// 0 derives the thresholds (and becomes 1), any other value reuses the cache picked by
// thresholdSet (0: alignThresholds[0..2], else [3..5]). RESULT_OUT_OF_MEMORY when the scratch
// area is too small.
int AlignTriplePyramidScratch(HdrSession *session, AlignerScratch *scratch, uint8_t *reference,
                              uint8_t *first, uint8_t *second, uint32_t format, int32_t depth,
                              int32_t fullWidth, int32_t fullHeight, int32_t fullPitch,
                              int32_t width, int32_t height, int32_t pitch, int32_t *firstDx,
                              int32_t *firstDy, int32_t *secondDx, int32_t *secondDy,
                              int *thresholdState, int thresholdSet, int32_t levels);

// Chroma statistics: block chroma means of an input at full resolution, and the chroma
// histograms of the three inputs where the brightest one is not near white.
//
// Both sample the pixels whose x and y are multiples of 8. PIXEL_FORMAT_NV21 is read in the
// NV12 order: its "U" grid and histogram hold V and the other holds U.
#pragma once

#include <cstdint>

#include "engine_types.h"

struct HdrSession;

// Block means (rounded, of 4 x 4 samples per 32 x 32 block) of input e's U and V into two
// grids of (width + 31) / 32 columns (the row stride) and (height + 31) / 32 rows, limited to
// the session's block grid. A last column or row not fully inside the image copies its
// neighbour. Formats YUYV, I420 (and 0x605), YUV422P, NV12, NV21, NV16; others give zeros.
void ComputeBlockChromaMeans(HdrSession *session, const ImageDesc *inputs, int32_t e,
                             int16_t *uGrid, int16_t *vGrid);

// The same from caller-held planes of input `index` and a caller-sized grid.
void ComputeBlockChromaSums(int64_t ignored, uint8_t *const plane0[3], uint8_t *const plane1[3],
                            uint8_t *const plane2[3], int32_t width, int32_t height, int32_t pitch0,
                            int32_t pitch1, int32_t pitch2, uint32_t format, int16_t *uGrid,
                            int16_t *vGrid, int32_t gridColumns, int32_t gridRows, int32_t index);

// Clears the six histograms, then for every sampled pixel where the brightest input's luma is
// 239 or less counts each input's own U and V. Formats YUYV, I420 (and 0x605), YUV422P, NV12,
// NV21; others leave the histograms zero. Inputs without planes are skipped.
void ComputeChromaHistograms(int64_t ignored, const HdrSession *session, int32_t *const uHist[3],
                             int32_t *const vHist[3], uint8_t *const plane0[3],
                             uint8_t *const plane1[3], uint8_t *const plane2[3], int32_t width,
                             int32_t height, int32_t pitch0, int32_t pitch1, int32_t pitch2,
                             uint32_t format);

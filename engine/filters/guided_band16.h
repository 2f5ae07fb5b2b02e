// Band guided filter of a signed 16-bit plane guided by an 8-bit image: the four bands and
// sliding windows of the 8-bit filter, with an unclamped 16-bit output.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/hdr_engine.h"
#include "filters/guided_band.h"

// The guide is PIXEL_FORMAT_YUV444P, GRAY8, NV12 or NV21 (its luma plane is used). Input and
// output are int16 planes of guide width x guide height samples with a pitch of the guide
// width; the output may be the input. Mode 1: double-precision coefficients with eps used as
// passed (a in Q10 within -32..32, b in Q4 within -4096..4096); mode 0: integer coefficients
// in Q8 with a fixed regularisation of 5. The low 16 bits of the result are stored.
// Results: RESULT_OK; RESULT_INVALID_ARGUMENT (null planes, a mode other than 0 and 1, a
// rectangle outside the guide, a radius outside 0..GUIDED_MAX_RADIUS, a NaN eps, planes that
// partly overlap the output); RESULT_UNSUPPORTED_FORMAT; RESULT_OUT_OF_MEMORY with the output
// untouched.
int32_t GuidedFilterThreaded16(MemoryContext memory, const ImageDesc *guide, const int16_t *input,
                               int32_t radius, const PixelRect *rect, int16_t *output, double eps,
                               int32_t mode);
// The same with the four bands run by the given runner.
int32_t GuidedFilterThreaded16WithRunner(MemoryContext memory, const ImageDesc *guide,
                                         const int16_t *input, int32_t radius,
                                         const PixelRect *rect, int16_t *output, double eps,
                                         int32_t mode, JobRunner runner);
// Filters the band of a primed 16-bit context; 0.
int32_t GuidedFilterBandWorker16(GuidedBandContext *context);

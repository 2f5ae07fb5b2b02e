// Crop and rescale: cuts the area every aligned exposure covers out of the merged picture and
// scales it back to the full frame, bilinear for luma and nearest for chroma, on four row
// bands.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/hdr_engine.h"
#include "core/job_runner.h"

// The rows one worker fills and the position tables every worker reads.
struct CropRescaleJob {
    const ImageDesc *source;
    ImageDesc *destination;
    int32_t firstRow;
    int32_t endRow;  // exclusive
    const int32_t *columnPairs;  // 2W: left source column of each destination column, then right
    const int32_t *rowPairs;     // 2H, the same for rows
    const int32_t *columnFractions;  // W, 0..16
    const int32_t *rowFractions;     // H, 0..16
    int32_t workerIndex;
};

// Formats: PIXEL_FORMAT_YUYV, I420, NV12, NV21 and NV16, the same for source and destination.
// The destination's size W x H is the output (W >= 2 and even, H >= 2, and even for I420,
// NV12 and NV21); the source is at least that large and shares no memory with the
// destination. The rectangle (ends exclusive) is clamped to the frame and trimmed around its
// centre to the frame's aspect (never widened; the kept side even and within a pixel of the
// frame's proportions), and the caller sees it updated. A rectangle that covers the
// frame, or that is narrower or lower than 2 pixels once clamped and trimmed, is not
// rescaled: the frame is copied and the rectangle becomes the whole frame.
// Results: RESULT_OK; RESULT_INVALID_ARGUMENT (null arguments, sizes or planes that do not
// fit, formats that differ, overlapping images); RESULT_UNSUPPORTED_FORMAT;
// RESULT_OUT_OF_MEMORY with the destination untouched.
int32_t CropAndRescale(MemoryContext memory, const ImageDesc *source, ImageDesc *destination,
                       PixelRect *rect);
// The same with the four bands run by the given runner; its records are CropRescaleJob.
int32_t CropAndRescaleWithRunner(MemoryContext memory, const ImageDesc *source,
                                 ImageDesc *destination, PixelRect *rect, JobRunner runner);

// Fills the destination rows of one job. RESULT_OK, RESULT_INVALID_ARGUMENT for a null job,
// RESULT_UNSUPPORTED_FORMAT with nothing written.
int32_t CropRescaleWorker(CropRescaleJob *job);

// Source positions of count destination columns (or rows) spread over [start, end - 1] in
// single precision: pairs[i] and pairs[count + i] are the left and right source column,
// fractions[i] the weight of the right one in 1/16. count >= 2.
void BuildRescalePositions(int32_t count, int32_t start, int32_t end, int32_t *pairs,
                           int32_t *fractions);
// Row bounds of the four workers: 0, then H/4, 2H/4 and 3H/4 rounded down to multiples of 4,
// then H.
void SplitRescaleBands(int32_t height, int32_t bounds[5]);

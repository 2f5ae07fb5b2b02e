// Band guided filter: an edge-preserving filter that models the output in every window as
// a linear function a I + b of a guide image I. The rectangle is cut into four row bands,
// each filtered on a thread of its own with sliding windows, so the cost per pixel does not
// depend on the radius.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/hdr_engine.h"
#include "core/job_runner.h"

// Largest radius the band filters take: a window of at most 181 x 181 samples keeps the
// window sums of squared 8-bit samples, which the coefficients are defined on, within int32.
enum { GUIDED_MAX_RADIUS = 90 };

// The state of one band, owned by one filter call. Row buffers hold the samples of plane
// columns bandX - r' .. bandX + bandWidth + r' - 1 (clamped to the plane); r' is the radius
// divided by radiusDivisor.
struct GuidedBandContext {
    const ImageDesc *guideImage;
    const void *inputImage;  // ImageDesc, or the int16 input plane of the 16-bit filter
    void *outputImage;       // ImageDesc, or the int16 output plane of the 16-bit filter
    const uint8_t *guidePlane;
    const uint8_t *inputPlane;  // int16 samples in the 16-bit filter
    uint8_t *outputPlane;       // int16 samples in the 16-bit filter
    int32_t radiusDivisor;      // 2 for the chroma channels of NV12 and NV21
    int32_t sampleStep;
    int32_t sampleOffset;
    int32_t guidePitch, inputPitch, outputPitch;  // bytes; samples for int16 planes
    int32_t planeWidth, planeHeight;
    PixelRect bandRect;  // in guide pixels
    int32_t bandX, bandY, bandWidth, bandHeight;  // in plane coordinates
    int32_t radius;
    double eps;
    int32_t maxValue;
    int32_t windowArea;  // (2r' + 1)^2
    int32_t channel;
    int32_t filterMode;   // 16-bit filter only
    int32_t signedInput;  // 8-bit input read as signed bytes
    int32_t inputBytes;   // bytes per input sample: 1 or 2
    int32_t rowCapacity;  // samples per row buffer: band width in guide pixels + 2r
    // Window rings: slot j mod (2r' + 1) holds band-relative row j.
    uint8_t **guideRows;
    uint8_t **inputRows;
    // Column sums over the rows in the window, buffer index 0 = column -r'.
    int64_t *sumII, *sumIp, *sumI, *sumP;
    // Coefficient ring: slot t mod (2r' + 2) holds a and b of band row t.
    int32_t **coeffRowsA, **coeffRowsB;
    // Sums of a and b over the coefficient rows of the current output row, per band column.
    int64_t *colSumA, *colSumB;
    // Rows below the band that another band rewrites when the filter runs in place, copied
    // as they were before the call: band-relative rows frozenFirst .. + frozenCount - 1.
    int32_t frozenFirst;
    int32_t frozenCount;
    uint8_t **frozenGuideRows;  // null unless the guide is the output
    uint8_t **frozenInputRows;  // null unless the input is the output
};

// Filters channel 0 of the rectangle (null: the whole guide) of an 8-bit input guided by an
// 8-bit guide into the output; guide, input and output have one format and size
// (PIXEL_FORMAT_YUV444P, PIXEL_FORMAT_GRAY8, NV12, NV21, or 0x201 and 0x401 with three
// interleaved samples). eps is truncated to an integer. The input, the guide or both may be
// the output: every band then reads the input as it was before the call.
// Each band's coefficient windows stop at the band's edges, so the result within r rows of a
// band boundary differs from a filter of the whole rectangle as one band.
// Results: RESULT_OK; RESULT_INVALID_ARGUMENT (null images, mismatched sizes or formats, a
// rectangle outside the guide, a radius outside 0..GUIDED_MAX_RADIUS, a NaN eps, planes that
// partly overlap the output); RESULT_UNSUPPORTED_FORMAT; RESULT_OUT_OF_MEMORY with the output
// untouched.
int32_t GuidedFilterThreaded8(MemoryContext memory, const ImageDesc *guide, const ImageDesc *input,
                              int32_t radius, const PixelRect *rect, ImageDesc *output,
                              double eps);
// The same with the four bands run by the given runner.
int32_t GuidedFilterThreaded8WithRunner(MemoryContext memory, const ImageDesc *guide,
                                        const ImageDesc *input, int32_t radius,
                                        const PixelRect *rect, ImageDesc *output, double eps,
                                        JobRunner runner);

// Row bounds of the four bands of rows [y0, y1): band i is [bounds[i], bounds[i + 1]).
// Heights h/4, R/3, (R - R/3)/2 and the rest, with R = h - h/4.
void SplitGuidedBands(int32_t y0, int32_t y1, int32_t bounds[5]);

// Allocates a context for the band (in guide pixels), fills it and primes it for channel 0.
// Null when an allocation fails or the guide's format has no channel 0 in the table.
GuidedBandContext *CreateGuidedBandContext(MemoryContext memory, const ImageDesc *guide,
                                           const ImageDesc *input, int32_t radius,
                                           const PixelRect *band, ImageDesc *output, double eps,
                                           int32_t signedInput);
// Selects the channel and loads the first 2r' + 1 rows into the window. RESULT_OK, or
// RESULT_UNSUPPORTED_FORMAT when the guide's format has no such channel (nothing is read).
int32_t PrimeGuidedBandContext(GuidedBandContext *context, int32_t channel);
// Sets plane, step, offset, pitches, plane size and band fields for a channel of the guide's
// format. RESULT_OK or RESULT_UNSUPPORTED_FORMAT.
int32_t SelectGuidedChannel(GuidedBandContext *context, int32_t channel);
// destination[i] for i = -radius .. width + radius - 1 := sample (row, clamp(x0 + i)).
void ReadClampedRow8(const uint8_t *plane, int32_t pitch, int32_t planeWidth, int32_t step,
                     int32_t offset, int32_t radius, int32_t x0, int32_t width, int32_t row,
                     uint8_t *destination);
void ReadClampedRow16(const int16_t *plane, int32_t pitch, int32_t planeWidth, int32_t step,
                      int32_t offset, int32_t radius, int32_t x0, int32_t width, int32_t row,
                      int16_t *destination);
// Filters the band of a primed context; 0.
int32_t GuidedFilterBandWorker8(GuidedBandContext *context);
// Null is ignored.
void FreeGuidedBandContext(MemoryContext memory, GuidedBandContext *context);

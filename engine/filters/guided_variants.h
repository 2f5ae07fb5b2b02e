// Single-threaded members of the band guided filter family: a signed 8-bit input, three
// channels in turn, a self-guided filter with a strength, and an iterative refinement built
// on the signed filter. Each runs its rectangle as one band on the calling thread, so its
// coefficient windows stop only at the rectangle's edges.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/hdr_engine.h"

// Common checks of every member: guide, input and output of one format and size from the
// band filter's table (PIXEL_FORMAT_YUV444P, GRAY8, NV12, NV21, 0x201, 0x401), the selected
// planes present and wide enough, the rectangle (null: the whole guide) inside the guide, a
// radius within 0..GUIDED_MAX_RADIUS and a finite eps. A plane may be the output's plane
// (a single band reads every row before it writes it) but must not partly overlap it.
// Results: RESULT_OK, RESULT_INVALID_ARGUMENT, RESULT_UNSUPPORTED_FORMAT,
// RESULT_OUT_OF_MEMORY (output untouched).

// Channel 0 with the input bytes read as signed (-128..127); eps is used as passed; the
// output is clamped to -128..127 and stored as a signed byte. The guide stays unsigned.
int32_t GuidedFilterSigned8(MemoryContext memory, const ImageDesc *guide, const ImageDesc *input,
                            int32_t radius, const PixelRect *rect, ImageDesc *output, double eps);

// Channels 0, 1 and 2 in turn with eps 4. NV12 and NV21 filter their interleaved chroma at
// half size with half the radius. A format without channels 1 and 2 (GRAY8) is
// RESULT_UNSUPPORTED_FORMAT and nothing is read or written.
int32_t GuidedFilterThreeChannels(MemoryContext memory, const ImageDesc *guide,
                                  const ImageDesc *input, int32_t radius, const PixelRect *rect,
                                  ImageDesc *output);

// Channel 0 of the image guided by itself, eps = floor(strength^2 / 4) (the square taken
// modulo 2^32). A separate output first receives a copy of the image, so everything the
// filter does not write equals the image; the copy's failure is returned. In place is safe.
int32_t GuidedFilterSelf(MemoryContext memory, const ImageDesc *image, int32_t radius,
                         uint32_t strength, const PixelRect *rect, ImageDesc *output);

// Refines plane k of start guided by plane k of source: A = signed filter of S by S, C = P,
// then per iteration B = signed filter of C guided by S and C = (10 B - 8 A + 8 S) / 10 (B
// read as a signed byte, A and S unsigned, the low 8 bits kept); C goes to the result's
// plane k. Radius 16. source, start and result are PIXEL_FORMAT_YUV444P or GRAY8 images of
// one format and size; planes are copied row by row with their own pitches, so no plane is
// read past its rows. Results as above; RESULT_OUT_OF_MEMORY when a work image cannot be
// made (nothing written).
int32_t GuidedFilterIterative(MemoryContext memory, const ImageDesc *source,
                              const ImageDesc *start, ImageDesc *result, int32_t iterations,
                              int32_t planeIndex, double eps);

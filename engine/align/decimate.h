// Thumbnail decimation: reduces a rectangle of a YUV image by an integer factor into a planar
// 4:4:4 image (PIXEL_FORMAT_YUV444P). Each output sample is a truncating integer mean of a few
// fixed taps inside its factor x factor block, not a box filter; the engine's thumbnails are
// the factor-8 reduction of whole images.
//
// Sources: PIXEL_FORMAT_YUYV, I420, YUV422P, NV12, NV21 (chroma read in its own order) and
// NV16. The output is ((w / (2 factor)) * 2) x ((h / (2 factor)) * 2) pixels for a w x h
// rectangle, so its sides are even; the right and bottom remainder is never read.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// Reduces the rectangle (null: the whole source) by factor 1..8 into output. With allocate
// set, output is filled in as a PIXEL_FORMAT_YUV444P image whose pitches equal its width and
// whose three planes share one block from AllocateMemory(memory, ...), owned by the caller;
// otherwise output must already be a PIXEL_FORMAT_YUV444P image of at least the computed size.
// Bytes of the output outside the computed area are not written.
// Returns RESULT_OK; RESULT_INVALID_ARGUMENT for a null image, factor <= 0, a rectangle that
// is not inside the source or starts at an odd x or y, missing source planes or pitches too
// small for a row, or an output that cannot hold the result; RESULT_UNSUPPORTED_FORMAT for
// another source format; RESULT_OUT_OF_MEMORY when the allocation fails. A factor above 8 has
// no kernel here: RESULT_OK, nothing allocated or written.
int DecimateToYuv444(MemoryContext memory, const ImageDesc *source, ImageDesc *output,
                     const InclusiveRect *rect, int factor, int allocate);

// The engine's thumbnail: the whole source reduced by 8 into an existing output, as
// DecimateToYuv444 does, except that the outer ring of samples reads the source one pixel in
// (no tap on its outermost rows and columns). Photos often carry a dark line of a pixel along an
// edge; read into an edge sample, it would darken the statistics, tone maps and gains built from
// the thumbnails, and their upscaling would spread it a dozen pixels into the picture.
// Returns DecimateToYuv444's results.
int DecimateThumbnail(const ImageDesc *source, ImageDesc *output);

// DecimateToYuv444 into an existing output; returns its result.
int DecimateIntoImage(const ImageDesc *source, ImageDesc *output, const InclusiveRect *rect,
                      int factor);

// Decimates sourceRect into the window {x0, y0, x1, y1} (exclusive ends) of output. x0 and y0
// are rounded down to even and the rounded values are stored back into window. The window must
// lie inside output and have exactly the size the decimation produces, else
// RESULT_INVALID_ARGUMENT. A source rectangle without x0 < x1 and y0 < y1 writes nothing and
// returns RESULT_OK.
int DecimateIntoWindow(const ImageDesc *source, const ImageDesc *output,
                       const InclusiveRect *sourceRect, int32_t window[4], int factor);

// The reductions by 9 to 14, which DecimateToYuv444 does not select. Kernels exist for
// PIXEL_FORMAT_I420 9-14, PIXEL_FORMAT_NV21 9-10 and PIXEL_FORMAT_YUYV 9-14; other pairs
// return RESULT_UNSUPPORTED_FORMAT, a factor outside 9..14 RESULT_INVALID_ARGUMENT. The
// rectangle, size and output rules are those of DecimateToYuv444 without allocation.
int DecimateByLargeFactor(const ImageDesc *source, ImageDesc *output, const InclusiveRect *rect,
                          int factor);

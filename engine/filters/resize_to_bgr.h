// Resizes an image into a caller's buffer of any size and converts it on the way, to packed
// B, G, R bytes or to an 8-bit grey plane, with the centre-aligned bilinear mapping and Q7
// weights of ResizeBilinearPlane.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/hdr_engine.h"
#include "filters/resizers.h"

enum { RESIZE_TO_BGR = 1 };  // any other mode gives grey

// Sources: 0x201 (B, G, R bytes), PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420 and PIXEL_FORMAT_NV21.
// Mode RESIZE_TO_BGR writes three bytes per pixel; YUV sources then take the luma of each
// pixel and, per pixel pair, the rounded mean of the chroma samples that cover the two
// pixels' source columns in the source rows used (not weighted), converted with full-range
// Q14 coefficients. An odd output width ends with a single pixel that takes its own chroma.
// Other modes write the luma (YUV) or (13 B + 83 G + 32 R) >> 7 (0x201). Each plane is read
// with its own pitch; chroma rows and columns are clamped to their planes.
// Results: RESULT_OK (also, writing nothing, for an output height below 1);
// RESULT_UNSUPPORTED_FORMAT for other formats (nothing written); RESULT_INVALID_ARGUMENT for
// a null or malformed source (missing planes, short pitches, an I420 or NV21 source below
// 2 x 2 in colour mode), an output width below 1 or a pitch shorter than an output row;
// RESULT_OUT_OF_MEMORY (nothing written).
int32_t ResizeToBgr(MemoryContext memory, const ImageDesc *source, uint8_t *destination,
                    int32_t outputWidth, int32_t outputHeight, int32_t destinationPitch,
                    int32_t mode);

// The grey route for planar and semi-planar sources: the luma plane alone through the given
// maps (BuildBilinearMap of the source and output sizes) with two int32 work rows of the
// output width. The caller has checked the sizes.
void ResizeLumaPlane(const uint8_t *luma, int32_t lumaPitch, int32_t sourceWidth,
                     int32_t sourceHeight, uint8_t *destination, int32_t destinationPitch,
                     int32_t outputWidth, int32_t outputHeight, const BilinearMapEntry *columns,
                     const BilinearMapEntry *rows, int32_t *workRows);

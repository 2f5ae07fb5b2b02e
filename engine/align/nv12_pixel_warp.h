// Projective warp of a PIXEL_FORMAT_NV12 image computed exactly at every pixel.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// Warps the rectangle (or the whole source) of destination from source by the projective
// transform (matrix a00, a01, a10, a11; translation; perspective g, h), which maps destination
// to source positions. Luma is bilinear with 4-bit weights where the source position lies in
// [0, W - 1) x [0, H - 1); chroma pairs are taken from the nearest source pixel for every even
// pixel of every even row. Pixels without a source keep their values. The out rectangle, when
// given, is the whole source. Returns 1; RESULT_INVALID_ARGUMENT (2) for missing images or
// planes. Reads and writes stay inside both images' planes: the rectangle is limited to the
// destination, and chroma pairs that would reach past a chroma row or below the last chroma
// row are skipped.
int WarpNv12PerPixel(const ImageDesc *source, ImageDesc *destination, const double matrix[4],
                     const double translation[2], const double perspective[2],
                     const PixelRect *rect, PixelRect *outRect);

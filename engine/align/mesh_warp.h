// Whole-image warps by a displacement mesh, the crop rectangle such a mesh leaves, and an
// in-place compaction of the warped result.
//
// A mesh is two caller-owned float arrays (x and y) over the corners of square cells of side
// 2^s: with cols = ceil(W / 2^s) and rows = ceil(H / 2^s) it has (cols + 1) x (rows + 1) nodes,
// row-major with stride cols + 1, node (J, K) at (K 2^s, J 2^s). A node holds destination minus
// source in pixels, as a motion grid does: the destination pixel at p samples the source at
// p - mesh(p). The cell warp uses the corner displacements (int)(-16 value) (1/16 pixel,
// single precision, truncated toward zero) and interpolates them inside each cell.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// Packed 4:2:2 layouts with luma at the odd bytes and the chroma bytes at bytes 0 and 2 of
// each four-byte group.
constexpr uint32_t kPackedLumaOddFormatA = 0x503;
constexpr uint32_t kPackedLumaOddFormatB = 0x504;

// Warps source into destination (same format and size) cell by cell over the clip (null: the
// whole image); pixels without a source inside the image keep their values. Formats:
// PIXEL_FORMAT_NV12, NV21, YUV444P, I420 and the packed 0x503 / 0x504 (even widths). The
// out crop, when given, is the rectangle whose pixels all had a source.
// RESULT_OK; RESULT_INVALID_ARGUMENT for a null image or mesh, different sizes, missing planes,
// I420 chroma planes of different pitches, a packed image of odd width or a cell shift outside
// 0..14; RESULT_UNSUPPORTED_FORMAT for different or other formats. Nothing is written on an
// error.
int WarpImageByMesh(const ImageDesc *source, ImageDesc *destination, const float *meshX,
                    const float *meshY, int32_t cellShift, const PixelRect *clip, PixelRect *crop);

// The crop rectangle the mesh would leave on a W x H image (also written to out when given);
// {0, 0, 0, 0} for a null mesh, an empty image or a cell shift outside 0..14.
PixelRect ComputeMeshCropRect(int32_t width, int32_t height, const float *meshX, const float *meshY,
                              int32_t cellShift, PixelRect *out);

// Warps source into destination, then moves the crop rectangle of the warped image to the
// start of the destination's buffer with rows of len = (x1 - x0) rounded down to even bytes
// padded to a multiple of the row alignment (a power of two up to 128, else 4), count =
// (y1 - y0) rounded down to even rows. The destination takes the source's size and, for
// PIXEL_FORMAT_NV12 / NV21, pitches of its width with the chroma plane right after the luma
// plane; after compaction it describes the len x count crop. Other formats are warped but not
// compacted (their descriptor keeps the full warped image). Everything is checked before the
// destination's descriptor or pixels change: RESULT_INVALID_ARGUMENT for a null image or
// mesh, a source of odd width or height, a destination of another size, an NV12 / NV21
// destination whose chroma plane does not follow its luma plane, a crop outside the image, or
// a row alignment whose padded rows would not fit the buffer; RESULT_UNSUPPORTED_FORMAT as
// WarpImageByMesh.
int WarpImageByMeshAndCompact(const ImageDesc *source, ImageDesc *destination, const float *meshX,
                              const float *meshY, int32_t cellShift, const PixelRect *crop,
                              int32_t rowAlignment);

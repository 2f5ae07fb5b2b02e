// What registration derives from a fitted projective transform (reference -> exposure, see
// projective_fit.h): full-resolution motion grids, residuals of tracked features, and thumbnails
// warped into the reference geometry with the rectangle of pixels that had a source.
//
// Note the result conventions: the residual and warp functions return 1 when done (not 0).
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// Motion grid of cols x rows int32 nodes per axis, row-major. With node shift b, node (i, j)
// stands at (j * 2^b - 2^(b-1), i * 2^b - 2^(b-1)) and holds round(p - H(p)) per axis (half away
// from zero; |w| < 1e-10 counts as 1e-10, also for a small negative w; values saturate far
// beyond any image). So the exposure pixel that belongs at reference position p is at p - v.
// Returns 0; 2 for a null argument, a node shift outside 1..30 or a negative grid size.
int BuildMotionGridFromTransform(const double *matrix, const double *translation,
                                 const double *perspective, int32_t *gridX, int32_t *gridY,
                                 int32_t nodeShift, int32_t cols, int32_t rows);

// Replaces cur by cur - H(ref) for each of the n matches (|w| < 1e-10 counts as 1e-10).
// Returns 1.
int ComputeMatchResiduals(const float *refX, const float *refY, float *curX, float *curY,
                          int32_t n, const double *matrix, const double *translation,
                          const double *perspective);

// Warps source into destination (same format and size): destination pixel p takes the source
// at H(p). A whole-pixel translation is a rectangle copy; otherwise the image is cut into square
// cells of about a tenth of its larger side, the source position is exact at cell corners (a
// corner with w <= 0 stays undisplaced) and bilinear inside, sampled with 4-bit weights.
// PIXEL_FORMAT_YUV444P and PIXEL_FORMAT_GRAY8 are warped plane by plane, PIXEL_FORMAT_NV12 and
// PIXEL_FORMAT_NV21 with nearest chroma pairs; other formats get only the crop rectangle.
// Pixels without a source inside the image keep their contents. clip (null: the whole image)
// limits the pixels written; crop (optional) receives the rectangle whose pixels all had a
// source ({0, 0, 0, 0} when none). Returns 1; 2 (crop empty, nothing written) for a null image
// or images of different formats or sizes.
int WarpImageByTransform(const ImageDesc *source, ImageDesc *destination, const double *matrix,
                         const double *translation, const double *perspective,
                         const PixelRect *clip, PixelRect *crop);

// Cell side shift of the warp for an image whose larger side is largestSide: the first s in
// 1..9 with (A >> s) >= 10 and (A >> (s + 1)) <= 10, else 10 (500 gives 5, 96 gives 3).
int32_t WarpCellShift(int32_t largestSide);

// Corner order of the cell arrays.
enum { CELL_TOP_LEFT = 0, CELL_TOP_RIGHT = 1, CELL_BOTTOM_LEFT = 2, CELL_BOTTOM_RIGHT = 3 };

// For cell (column K, row J) of side 2^s in a W x H image with corner displacements dx, dy
// (1/16 pixel): writes the corner source positions (1/16 pixel) to outX, outY when given and
// the cell-relative rectangle of pixels whose bilinear source lies inside the image to valid
// (when given), and narrows crop. Returns 0 when the cell has pixels to warp, 2 for a null crop
// or a folded cell (crop untouched), 3 when nothing is left to warp.
int ComputeCellValidRegion(int32_t K, int32_t J, int32_t W, int32_t H, int32_t s,
                           const int32_t *dx, const int32_t *dy, int32_t *outX, int32_t *outY,
                           PixelRect *valid, PixelRect *crop);

// Warps the valid rows of one cell (cell origin in destination pixels, valid rectangle relative
// to it): every plane of PIXEL_FORMAT_YUV444P, or plane 0 of PIXEL_FORMAT_GRAY8.
void WarpCellRowsPlanar(const ImageDesc *source, ImageDesc *destination, int32_t cellX,
                        int32_t cellY, const int32_t *dx, const int32_t *dy, int32_t s,
                        const PixelRect *valid);
// The same for PIXEL_FORMAT_NV12 / NV21: luma bilinear, chroma on odd rows by nearest pair.
void WarpCellRowsSemiPlanar(const ImageDesc *source, ImageDesc *destination, int32_t cellX,
                            int32_t cellY, const int32_t *dx, const int32_t *dy, int32_t s,
                            const PixelRect *valid);

// Samples destination row y over [first, end) (destinationRow is indexed by absolute x). A
// displacement is in units of 2^-(2s+4) pixel: pixel x reads the source at
// (x + (dx >> (2s+4)), y + (dy >> (2s+4))) with 4-bit weights ((d & mask) >> 2s). The first
// pixels up to a multiple of 4 and the tail use their own displacements; in each group of four,
// pixels 4k and 4k+1 share the displacement of 4k, 4k+2 and 4k+3 that of 4k+2. Source reads are
// clamped to the sourceWidth x sourceHeight plane (the warp keeps them inside; the pairing could
// otherwise step one column past the valid area at a right border).
void SampleRowBilinear16(const uint8_t *source, int32_t sourceWidth, int32_t sourceHeight,
                         int32_t sourcePitch, uint8_t *destinationRow, int32_t y, int32_t first,
                         int32_t end, int64_t dx, int64_t dy, int64_t stepX, int64_t stepY,
                         int32_t s);

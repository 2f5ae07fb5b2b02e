// General-purpose resizers of 8-bit images: nearest neighbour, bilinear (a whole plane, one
// band of rows inside a window, or multi-channel row images in 8.8 fixed point) and bicubic.
// Sizes are in pixels, pitches in bytes; every size must be at least 1 and every pitch at
// least a row, or the call returns RESULT_INVALID_ARGUMENT without writing.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/hdr_engine.h"
#include "core/row_image.h"

// Output index i takes source index (2 i S + min(S, D) - 1) / (2 D), at most S - 1.
// bytesPerPixel 1 or 3 (others: RESULT_INVALID_ARGUMENT). RESULT_OUT_OF_MEMORY when the
// column table cannot be made.
int32_t ResizeNearest(MemoryContext memory, const uint8_t *source, int32_t sourcePitch,
                      int32_t sourceWidth, int32_t sourceHeight, uint8_t *destination,
                      int32_t destinationPitch, int32_t destinationWidth,
                      int32_t destinationHeight, int32_t bytesPerPixel);

// One entry of a bilinear map: source index and Q7 weight (0..128) toward index + 1.
struct BilinearMapEntry {
    int32_t index;
    int32_t weight;
};

// Centre-aligned maps: s = (S / D)(i + 0.5) - 0.5 in double precision; s < 0 gives (0, 0),
// otherwise (trunc s, trunc(frac(s) 128 + 0.5)); from the first index reaching S - 1 on,
// every entry is (S - 1, 0).
void BuildBilinearMap(int32_t sourceSize, int32_t destinationSize, BilinearMapEntry *map);

// Output = (top 128 + (bottom - top) wy + 8192) >> 14 over horizontally interpolated rows
// (P[x] 128 + (P[x+1] - P[x]) wx). Equal sizes copy the rows (the maps would give the
// identity). RESULT_OUT_OF_MEMORY when the work memory cannot be made.
int32_t ResizeBilinearPlane(MemoryContext memory, const uint8_t *source, int32_t sourceWidth,
                            int32_t sourceHeight, int32_t sourcePitch, uint8_t *destination,
                            int32_t destinationWidth, int32_t destinationHeight,
                            int32_t destinationPitch);
// ResizeBilinearPlane over the pixel blocks of two 8-bit single-channel row images.
int32_t ResizeRowImage(MemoryContext memory, const RowImage *source, RowImage *destination);

// Bytes of the caller's map buffer of ResizeBilinearBand: the column and row maps.
int64_t BilinearBandBufferBytes(int32_t destinationWidth, int32_t destinationHeight);
// Resizes destination rows [firstRow, endRow) (band points at row firstRow) restricted to
// the window [x0, x1) x [y0, y1) of the destination, with ResizeBilinearPlane's arithmetic;
// the other samples of the band's rows are 0. The maps live in the caller's buffer
// (BilinearBandBufferBytes) and are rebuilt when *mapsStale is non-zero, which is then
// cleared; the call only reads the buffer otherwise, so threads may share one buffer once its
// maps are built. Equal sizes copy the band's rows. RESULT_OUT_OF_MEMORY for a null buffer;
// RESULT_INVALID_ARGUMENT for rows or a window outside the destination.
int32_t ResizeBilinearBand(void *mapBuffer, int32_t *mapsStale, const uint8_t *source,
                           int32_t sourceWidth, int32_t sourceHeight, int32_t sourcePitch,
                           uint8_t *band, int32_t destinationWidth, int32_t destinationHeight,
                           int32_t destinationPitch, int32_t firstRow, int32_t endRow,
                           PixelRect window);

// Corner-aligned 8.8 fixed point over 8-bit row images of any channel count: fx = 256 Sw / Dw,
// fy = 256 Sh / Dh; each of the destination's channels is interpolated from the same byte
// of the source pixels (the source must have at least as many channels).
int32_t ResizeBilinearRows(const RowImage *source, RowImage *destination);

// Caller-owned state of the bicubic resizer, zero-initialised before its first use and
// released with FreeBicubicCache. It keeps its kernel table and the column map of the last
// sizes it served; a call with other sizes rebuilds the map.
struct BicubicCache {
    int32_t *work;         // four Q10 rows and the column map
    int32_t *kernelTable;  // 1025 pairs
    int32_t sourceWidth;   // sizes the column map was built for
    int32_t destinationWidth;
    int32_t workColumns;   // destination columns the work memory holds
};
void FreeBicubicCache(MemoryContext memory, BicubicCache *cache);

// Entry i (t = i / 1024) holds K(t) and K(t + 1) of the cubic convolution kernel with
// a = -0.5, each trunc(1024 K + 0.5) toward zero. table has 2050 entries.
void BuildCubicKernelTable(int32_t *table);

// Corner-aligned (s = (S / D) i) four-tap cubic convolution, Q10 taps, clamped to 0..255.
// Equal sizes copy the rows. RESULT_INVALID_ARGUMENT for a null cache or, for different
// sizes, when either axis has fewer than 5 pixels on its smaller side;
// RESULT_OUT_OF_MEMORY when the cache cannot be filled.
int32_t ResizeBicubicPlane(MemoryContext memory, const uint8_t *source, int32_t sourceWidth,
                           int32_t sourceHeight, int32_t sourcePitch, uint8_t *destination,
                           int32_t destinationWidth, int32_t destinationHeight,
                           int32_t destinationPitch, BicubicCache *cache);

// The rows pass of ResizeBicubicPlane over a cache it has prepared for these widths: a ring of
// four horizontally filtered rows (source rows v - 1 .. v + 2, rows beyond the ends repeating
// the first and last), each filtered once, and the vertical taps of output row j at
// s = (Sh / Dh) j. RESULT_INVALID_ARGUMENT for null planes, a cache not prepared for these
// widths, sizes below 1 or pitches below a row.
int32_t ResizeBicubicRows(const uint8_t *source, int32_t sourceWidth, int32_t sourceHeight,
                          int32_t sourcePitch, uint8_t *destination, int32_t destinationWidth,
                          int32_t destinationHeight, int32_t destinationPitch,
                          const BicubicCache *cache);

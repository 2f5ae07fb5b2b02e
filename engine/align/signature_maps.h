// Exposure-invariant signatures of a luma level and the counting of their differences.
//
// A signature map is made either of 2-bit gradient codes (one byte per sample: bit 0 when the
// sample above exceeds the one below by more than 4, bit 1 when the sample to the left exceeds
// the one to the right by more than 4) or of a threshold bitmap (one bit per sample, set when
// the sample exceeds the threshold; bit b of byte n is sample 8n + b). Both survive a change of
// exposure, so XOR and a bit count measure how badly two exposures disagree at a shift.
//
// Tile types: 0 maps the whole level. Types 1 to 3 map a 4 x 4 mosaic: the level is cut into
// 4 x 4 cells and each map tile holds the centred crop of its cell at the level's resolution,
// 1/2, 1/4 or 1/8 of the cell side, so the finest levels compare sixteen spread-out patches
// instead of every sample.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// The samples of one pyramid level: sample (x, y) is base[y * rowStep + x * colStep]. A halved
// level is its own plane (colStep 1); a strided level reads a full-size plane every 2^d pixels.
struct LevelView {
    const uint8_t *base;
    int64_t rowStep;
    int32_t colStep;
    int32_t width;
    int32_t height;
};

inline uint8_t LevelSample(const LevelView &view, int32_t x, int32_t y) {
    return view.base[y * view.rowStep + static_cast<int64_t>(x) * view.colStep];
}

// Where each map tile lies in the map and where its crop lies in the level. Type 0 has one
// tile covering the whole level.
struct SignatureMapGeometry {
    int32_t tileType;
    int32_t mapWidth;
    int32_t mapHeight;
    int32_t tilesAcross;  // 1 or 4
    int32_t tilesDown;
    int32_t mapX[4], tileWidth[4], levelX[4];
    int32_t mapY[4], tileHeight[4], levelY[4];
};

// Geometry of tile type 0..3 on a width x height level. A mosaic whose crops would not fit the
// level with room for the gradient neighbours (tiny levels) falls back to type 0.
SignatureMapGeometry MakeSignatureMapGeometry(int32_t width, int32_t height, int32_t tileType);
// Bytes per map row: mapWidth for gradient codes, (mapWidth + 7) / 8 for bitmaps.
int32_t SignatureRowBytes(const SignatureMapGeometry &geometry, bool bitmap);

// Gradient codes of the whole level (type 0): interior samples get their code, the first and
// last sample of each interior row copy their neighbours, then row 0 copies row 1 and the last
// row the one above it. Levels narrower or lower than 3 samples give an all-zero map.
void ComputeGradientCodes(const LevelView &level, uint8_t *map);
// Gradient codes of the mosaic (types 1..3): within a tile, map column c + 1 holds the code of
// crop column c, the tile's first and last columns copy their neighbours and each tile band's
// first and last rows copy the rows next to them.
void ComputeGradientCodesTiled(const LevelView &level, const SignatureMapGeometry &geometry,
                               uint8_t *map);
void ThresholdToBitmap(const LevelView &level, int32_t threshold, uint8_t *map);
void ThresholdToBitmapTiled(const LevelView &level, const SignatureMapGeometry &geometry,
                            int32_t threshold, uint8_t *map);
// Histogram of the level's samples; above 1024 x 1024 only every 4th sample of every 4th row.
// Returns the number of samples counted.
int64_t SampleLumaHistogram(const LevelView &level, int32_t histogram[256]);

// Set bits inside the counting region left by the estimate (ex, ey): in every tile, sample rows
// from max(ey, 0) + 1 up to but excluding tileHeight + min(ey, 0) - 1 and the same for columns.
// Exactly the samples whose source lies inside the same tile for any shift within one sample of
// the estimate are counted.
int64_t CountMapBits(const uint8_t *map, const SignatureMapGeometry &geometry, int32_t ex,
                     int32_t ey, const uint8_t *bitCountTable);
int64_t CountBitmapBits(const uint8_t *bitmap, const SignatureMapGeometry &geometry, int32_t ex,
                        int32_t ey, const uint8_t *bitCountTable);

// Fused form of ShiftPlane8 + XorMaps + CountMapBits for byte maps: the set bits of
// reference(x, y) XOR exposure(x - dx, y - dy) over the counting region left by (ex, ey).
// Every counted sample's source must lie in the map, which holds for |dx - ex| <= 1 and
// |dy - ey| <= 1. Gives exactly the plain path's count, without the two work maps.
int64_t CountShiftedMapDifference(const uint8_t *exposure, const uint8_t *reference,
                                  const SignatureMapGeometry &geometry, int32_t dx, int32_t dy,
                                  int32_t ex, int32_t ey);

// destination(x, y) = source(x - dx, y - dy) where that source sample exists; the other
// destination samples keep their values. Works in place through a temporary copy, which is the
// only case that allocates (RESULT_OUT_OF_MEMORY when it cannot).
int ShiftPlane8(MemoryContext memory, const uint8_t *source, uint8_t *destination, int32_t width,
                int32_t height, int32_t pitch, int32_t dx, int32_t dy);
// The same for packed bitmaps of `width` bits per row, dx in bits. A separate destination is
// first set to all ones; in place the unsourced bits keep their values.
int ShiftBitmap(MemoryContext memory, const uint8_t *source, uint8_t *destination, int32_t width,
                int32_t height, int32_t rowBytes, int32_t dx, int32_t dy);

// Byte-wise OR or XOR of two maps of rows x width bytes (pitch = width).
void OrMaps(const uint8_t *a, const uint8_t *b, uint8_t *out, int32_t width, int32_t rows);
void XorMaps(const uint8_t *a, const uint8_t *b, uint8_t *out, int32_t width, int32_t rows);
// out(x, y) = a(x, y) XOR b(x - dx, y - dy) over the samples where both exist; out keeps its
// values elsewhere.
void XorShiftedMap(const uint8_t *a, const uint8_t *b, uint8_t *out, int32_t width, int32_t rows,
                   int32_t dx, int32_t dy);

// Shared layout of the two-call merge's planning: the accepted formats, the 256-pixel tile
// grid and where each tile set keeps its windows, cell grids and tile buffers.
#pragma once

#include <cstdint>

#include "alt/intermediate_image.h"
#include "core/engine_types.h"
#include "core/session.h"

constexpr int32_t kTileSide = 256;
constexpr int32_t kTileCells = 8;  // 32-pixel cells per tile side
constexpr int32_t kTileCellCount = kTileCells * kTileCells;
constexpr int32_t kTileCellSide = 32;
constexpr uint32_t kPixelFormatI420Twin = 0x605;  // laid out as PIXEL_FORMAT_I420

// Each window is followed by room for the aligner's halvings of it (256^2 + 128^2 + 64^2 +
// 32^2 bytes), so aligning one window never overwrites the next.
constexpr int64_t kTileWindowStride = 87040;
constexpr int64_t kTileScratchBytes = 5 * kTileSide * kTileSide;
constexpr int64_t kTileCellGridOffset = 4 * kTileSide * kTileSide + 2048 + 1024;
constexpr int64_t kTileBufferBytes = kTileCellCount * sizeof(int16_t);
constexpr int64_t kTileBlockBufferOffset = kTileCellGridOffset + 3 * kTileBufferBytes;
constexpr int64_t kTileMarkMapOffset = kTileBlockBufferOffset + 5 * kTileBufferBytes;

// Windows of a set, in this order.
enum TileWindow { kWindowDark = 0, kWindowBright = 1, kWindowReference = 2 };
// The five tile buffers of a set.
enum TileBuffer {
    kTileReferenceLevel = 0,
    kTileDarkLevel = 1,
    kTileBrightLevel = 2,
    kTileChromaDiffU = 3,
    kTileChromaDiffV = 4
};
// Tile-set indices of the box in tileValidBox.
enum TileBox { kBoxX0 = 0, kBoxX1 = 1, kBoxY0 = 2, kBoxY1 = 3 };

// The formats the two-call merge handles: IsIntermediateFormat (alt/intermediate_image.h).

// RESULT_OK when a stage can work on these inputs: three of them, an accepted format.
inline int CheckIntermediateInputs(const HdrSession *session, const ImageDesc *inputs,
                                   int32_t count) {
    if (!session || !inputs) return RESULT_INVALID_ARGUMENT;
    if (count != 3) return RESULT_INVALID_ARGUMENT;
    if (!IsIntermediateFormat(inputs[0].u32PixelArrayFormat)) return RESULT_UNSUPPORTED_FORMAT;
    return RESULT_OK;
}

// The format the luma readers understand: the I420 twin reads as I420.
inline uint32_t LumaFormat(uint32_t format) {
    return format == kPixelFormatI420Twin ? static_cast<uint32_t>(PIXEL_FORMAT_I420) : format;
}

inline uint8_t *TileWindowAt(const HdrSession *s, int set, int window) {
    return s->tileScratch[set] + kTileWindowStride * window;
}
inline int16_t *TileCellGrid(const HdrSession *s, int set, WeightGridIndex grid) {
    return reinterpret_cast<int16_t *>(s->tileScratch[set] + kTileCellGridOffset +
                                       kTileBufferBytes * grid);
}
inline int16_t *TileBlockBuffer(const HdrSession *s, int set, int buffer) {
    return reinterpret_cast<int16_t *>(s->tileScratch[set] + kTileBlockBufferOffset +
                                       kTileBufferBytes * buffer);
}
inline uint8_t *TileMarkMap(const HdrSession *s, int set) {
    return s->tileScratch[set] + kTileMarkMapOffset;
}

inline int32_t TilesAcross(int32_t width) { return (width + kTileSide - 1) / kTileSide; }
inline int32_t TilesDown(int32_t height) { return (height + kTileSide - 1) / kTileSide; }

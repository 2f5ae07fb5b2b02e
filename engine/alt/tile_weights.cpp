// The tile loop of the tile weights: per tile, the three luma windows at the tile's
// displacements, the part of the tile they all cover, the cell decision and the copy into the
// padded weight grids.
#include "tile_weights.h"

#include <algorithm>

#include "align/luma_window.h"
#include "local_alignment.h"
#include "tile_layout.h"

namespace {

bool HasGrids(const HdrSession *s, int set) {
    for (int k = 0; k < 2; ++k)
        if (!s->offsetGridX[k] || !s->offsetGridY[k]) return false;
    for (int16_t *grid : s->fusionWeightGrids)
        if (!grid) return false;
    return s->tileScratch[set] != nullptr && s->meshCols >= 3 && s->meshRows >= 3;
}

// The part of tile (i, j) where all three windows lie inside the frame.
void SetValidBox(HdrSession *s, int set, int32_t i, int32_t j, int32_t across, int32_t down,
                 int32_t width, int32_t height, const int32_t d[4]) {
    const int32_t rx = width - kTileSide * (across - 1);
    const int32_t ry = height - kTileSide * (down - 1);
    int32_t *box = s->tileValidBox[set];
    box[kBoxX0] = 0, box[kBoxX1] = kTileSide, box[kBoxY0] = 0, box[kBoxY1] = kTileSide;
    if (j == 0)
        box[kBoxX0] = std::max({d[0], d[2], 0});
    else if (j == across - 1)
        box[kBoxX1] = std::min({rx + d[0], rx + d[2], kTileSide});
    if (i == 0)
        box[kBoxY0] = std::max({d[1], d[3], 0});
    else if (i == down - 1)
        box[kBoxY1] = std::min({ry + d[1], ry + d[3], kTileSide});
}

int RunTiles(HdrSession *s, const ImageDesc *inputs, int32_t count, const int32_t *shift, int set) {
    const int checked = CheckIntermediateInputs(s, inputs, count);
    if (checked != RESULT_OK) return checked;
    if (!shift) return RESULT_INVALID_ARGUMENT;
    if (!HasGrids(s, set)) return RESULT_OUT_OF_MEMORY;
    const int32_t across = s->meshCols - 2, down = s->meshRows - 2;
    const int32_t split = across * (down / 2);
    const int64_t total = int64_t{across} * down;
    const int64_t first = set == 0 ? 0 : split;
    const int64_t end = set == 0 ? split : total;
    const ImageDesc &ref = inputs[s->referenceIndex];
    const ImageDesc &dark = inputs[s->darkIndex];
    const ImageDesc &bright = inputs[s->brightIndex];
    const uint32_t format = LumaFormat(inputs[0].u32PixelArrayFormat);
    const int32_t width = inputs[0].i32Width, height = inputs[0].i32Height;
    const int32_t pitch = inputs[0].pi32Pitch[0];
    const int32_t T = kTileSide;
    uint8_t *refWindow = TileWindowAt(s, set, kWindowReference);
    uint8_t *darkWindow = TileWindowAt(s, set, kWindowDark);
    uint8_t *brightWindow = bright.ppu8Plane[0] ? TileWindowAt(s, set, kWindowBright) : nullptr;
    for (int64_t index = first; index < end; ++index) {
        const int32_t i = static_cast<int32_t>(index / across);
        const int32_t j = static_cast<int32_t>(index % across);
        LoadTileFromSessionPlanes(s, kTileCells, kTileCells, j, i, nullptr, set);
        const int64_t cell = int64_t{i + 1} * s->meshCols + j + 1;
        const int32_t d[4] = {s->offsetGridX[0][cell] + shift[0], s->offsetGridY[0][cell] + shift[1],
                              s->offsetGridX[1][cell] + shift[2], s->offsetGridY[1][cell] + shift[3]};
        ExtractLumaWindow(ref.ppu8Plane[0], width, height, pitch, refWindow, T, T, T, T * j, T * i, format);
        ExtractLumaWindow(dark.ppu8Plane[0], width, height, pitch, darkWindow, T, T, T, T * j - d[0],
                          T * i - d[1], format);
        if (brightWindow)
            ExtractLumaWindow(bright.ppu8Plane[0], width, height, pitch, brightWindow, T, T, T,
                              T * j - d[2], T * i - d[3], format);
        SetValidBox(s, set, i, j, across, down, width, height, d);
        const TileWindows tile = {refWindow, darkWindow, brightWindow, T, T, T, 0, 0, 0, 0};
        const int r = DecideTileCellWeightsByCount(s, kTileCells, kTileCells, tile, set);
        if (r != RESULT_OK) return r;
        for (int g = 0; g < 3; ++g)
            StoreTileCellGrid(s->fusionWeightGrids[g], s->paddedBlocksAcross, s->paddedBlocksDown,
                              TileCellGrid(s, set, static_cast<WeightGridIndex>(g)), kTileCells,
                              kTileCells, j, i);
    }
    return RESULT_OK;
}

}  // namespace

int ComputeTileWeightsTop(MemoryContext, HdrSession *s, const ImageDesc *inputs, int32_t count,
                          const int32_t *globalShift) {
    return RunTiles(s, inputs, count, globalShift, 0);
}

int ComputeTileWeightsBottom(MemoryContext, HdrSession *s, const ImageDesc *inputs,
                             int32_t count, const int32_t *globalShift) {
    return RunTiles(s, inputs, count, globalShift, 1);
}

void StoreTileCellGrid(int16_t *grid, int32_t cols, int32_t rows, const int16_t *cells,
                       int32_t cellCols, int32_t cellRows, int32_t tileColumn, int32_t tileRow) {
    if (!grid || !cells) return;
    for (int32_t r = 0; r < cellRows; ++r) {
        const int32_t y = cellRows * tileRow + 1 + r;
        if (y < 0 || y >= rows) continue;
        for (int32_t c = 0; c < cellCols; ++c) {
            const int32_t x = cellCols * tileColumn + 1 + c;
            if (x < 0 || x >= cols) continue;
            grid[int64_t{y} * cols + x] = cells[r * cellCols + c];
        }
    }
}

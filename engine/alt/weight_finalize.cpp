// The weight finalisation's driver: margins, displacement borders, code cleanup, spreading,
// smoothing and hole filling of the three padded weight grids.
#include "weight_finalize.h"

#include <algorithm>

#include "core/memory.h"
#include "filters/box_filter.h"
#include "tile_layout.h"
#include "weights/block_grid.h"

namespace {

constexpr int16_t kFull = 256;

// Border cells of a displacement grid take the nearest measured or fitted cells.
void CompleteDisplacementBorders(int32_t *g, int32_t C, int32_t D, int32_t width, int32_t height) {
    const int32_t tD = D - 2;
    for (int32_t y = 1; y <= tD; ++y) {
        int32_t *row = g + int64_t{y} * C;
        row[0] = row[1];
        if (width % kTileSide == 0) {
            row[C - 1] = row[C - 2];
        } else if (C >= 4) {
            row[C - 2] = row[C - 3];
            row[C - 1] = row[C - 3];
        }
    }
    auto copyRow = [&](int32_t to, int32_t from) {
        std::copy(g + int64_t{from} * C, g + int64_t{from + 1} * C, g + int64_t{to} * C);
    };
    copyRow(0, 1);
    if (height % kTileSide == 0) {
        copyRow(D - 1, D - 2);
    } else if (D >= 4) {
        copyRow(D - 2, D - 3);
        copyRow(D - 1, D - 3);
    }
}

// Negative codes spread over their 5 x 5 surroundings; a weight overrun by a code gives its
// block to the reference.
void SpreadCodes(int16_t *grid, int16_t *reference, int16_t *scratch, int32_t cols, int32_t rows) {
    ErodeGridBelowLevel(grid, scratch, cols, rows, cols, 2, -1);
    const int64_t cells = int64_t{cols} * rows;
    for (int64_t k = 0; k < cells; ++k) {
        if (grid[k] > 0 && scratch[k] < 0) {
            grid[k] = 0;
            reference[k] = kFull;
        } else {
            grid[k] = scratch[k];
        }
    }
}

int FinalizeGrids(MemoryContext memory, HdrSession *s, int32_t width, int32_t height,
                  const int32_t *shift) {
    const int32_t cols = s->paddedBlocksAcross, rows = s->paddedBlocksDown;
    int16_t *R = s->fusionWeightGrids[kWeightReference];
    int16_t *D = s->fusionWeightGrids[kWeightDark];
    int16_t *B = s->fusionWeightGrids[kWeightBright];
    int16_t *S = AllocateZeroed<int16_t>(memory, uint64_t(cols) * uint64_t(rows));
    if (!S) return RESULT_OUT_OF_MEMORY;
    const int32_t C = s->meshCols, M = s->meshRows;
    ReplicateWeightGridMargins(R, cols, rows, C, M, kTileCells, kTileCells, 0, 0);
    ReplicateWeightGridMargins(D, cols, rows, C, M, kTileCells, kTileCells, shift[0], shift[1]);
    ReplicateWeightGridMargins(B, cols, rows, C, M, kTileCells, kTileCells, shift[2], shift[3]);
    int32_t *displacements[4] = {s->offsetGridX[0], s->offsetGridY[0], s->offsetGridX[1],
                                 s->offsetGridY[1]};
    for (int32_t *g : displacements) CompleteDisplacementBorders(g, C, M, width, height);

    DespeckleWeightCodes(D, S, cols, rows);
    std::copy(S, S + int64_t{cols} * rows, D);
    int r = ResolveCodeRegions(memory, s, D, R, B, S, cols, rows, cols);
    if (r == RESULT_OK) {
        if (s->deepShadowFlag != 0)
            ReplicateWeightGridMargins(R, cols, rows, C, M, kTileCells, kTileCells, shift[2], shift[3]);
        SpreadCodes(D, R, S, cols, rows);
        SpreadCodes(B, R, S, cols, rows);
        for (int16_t *g : {R, D, B})
            if (r == RESULT_OK) r = BoxFilterPlane16(memory, g, cols, rows, cols, 2, 0);
    }
    FreeMemory(memory, S);
    if (r != RESULT_OK) return r;
    ReplicateWeightGridMargins(D, cols, rows, C, M, kTileCells, kTileCells, shift[0], shift[1]);
    ReplicateWeightGridMargins(B, cols, rows, C, M, kTileCells, kTileCells, shift[2], shift[3]);
    FillWeightGridHoles(R, D, B, cols, rows);
    if (s->pendingStatus == RESULT_EXCESSIVE_MOTION) {
        const int64_t cells = int64_t{cols} * rows;
        std::fill(R, R + cells, kFull);
        std::fill(D, D + cells, int16_t{0});
        std::fill(B, B + cells, int16_t{0});
    }
    return RESULT_OK;
}

}  // namespace

int FinalizeWeightMaps(MemoryContext memory, HdrSession *s, const ImageDesc *inputs,
                       int32_t count, const int32_t *globalShift) {
    const int checked = CheckIntermediateInputs(s, inputs, count);
    if (checked != RESULT_OK) return checked;
    if (!globalShift) return RESULT_INVALID_ARGUMENT;
    for (uint8_t *&block : s->tileScratch) FreeAndClear(memory, block);
    const int32_t width = inputs[0].i32Width, height = inputs[0].i32Height;
    if (width < 1 || height < 1) return RESULT_INVALID_ARGUMENT;
    s->meshCols = TilesAcross(width) + 2;
    s->meshRows = TilesDown(height) + 2;
    s->paddedBlocksAcross = (width + 31) / 32 + 2;
    s->paddedBlocksDown = (height + 31) / 32 + 2;

    bool gridsPresent = true;
    for (int k = 0; k < 2; ++k) gridsPresent = gridsPresent && s->offsetGridX[k] && s->offsetGridY[k];
    for (int16_t *g : s->fusionWeightGrids) gridsPresent = gridsPresent && g;
    if (gridsPresent) {
        const int r = FinalizeGrids(memory, s, width, height, globalShift);
        if (r != RESULT_OK) return r;
    }
    if (s->lowQuantileIndex == 16) {
        const int64_t meshCells = int64_t{s->meshCols} * s->meshRows;
        for (int k = 0; k < 2; ++k) {
            if (s->offsetGridX[k]) std::fill(s->offsetGridX[k], s->offsetGridX[k] + meshCells, 0);
            if (s->offsetGridY[k]) std::fill(s->offsetGridY[k], s->offsetGridY[k] + meshCells, 0);
        }
        const int64_t cells = int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown;
        const int16_t values[3] = {0, 0, kFull};  // reference, dark, bright
        for (int g = 0; g < 3; ++g)
            if (s->fusionWeightGrids[g])
                std::fill(s->fusionWeightGrids[g], s->fusionWeightGrids[g] + cells, values[g]);
    }
    return RESULT_OK;
}

// Tile weights of the two-call merge: for every 32 x 32 block, how much of the reference,
// the dark and the bright exposure the fusion takes, decided by comparing 256 x 256 luma
// windows of the three exposures tile by tile. Weights are Q8 (256 = 1.0) in the padded
// fusionWeightGrids; three codes share the grids: 1 (the secondary exposure is saturated in the
// cell), -1 (it disagrees with the reference) and -2 (it disagrees strongly).
//
// The two halves of the tile range use disjoint tile sets (set 0 top, set 1 bottom) and write
// disjoint cells, so they may run on two threads at once.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"

// Tiles with linear index below tilesAcross x floor(tilesDown / 2) (top) or from it on
// (bottom). RESULT_OK; RESULT_INVALID_ARGUMENT / RESULT_UNSUPPORTED_FORMAT for inputs the
// merge does not handle; RESULT_OUT_OF_MEMORY when a displacement or weight grid or the set's
// scratch is missing (nothing is written then).
int ComputeTileWeightsTop(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                          int32_t count, const int32_t *globalShift);
int ComputeTileWeightsBottom(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                             int32_t count, const int32_t *globalShift);

// Statistics of one cell: every second row (cellHeight / 2 rows from firstRow) and every second
// column (cellWidth / 2 columns from cellColumn x cellWidth); the other window's sample is read
// at (row - yShift, column - xShift) through `table` (samples outside the other window are
// skipped).
struct CellStatistics {
    int32_t samples;
    int32_t differenceSum;
    int32_t largeCount;
    int32_t saturatedCount;
    int32_t Mean() const { return samples > 0 ? differenceSum / samples : 0; }
};
struct CellWindows {
    const uint8_t *reference;
    const uint8_t *other;
    int32_t width;   // of both windows
    int32_t height;
    int32_t pitch;
};
// Differences clamped at 64, large above 64, saturated where the reference exceeds 251.
CellStatistics MeasureCellDifferenceClamped(const CellWindows &windows, int32_t cellColumn,
                                            int32_t firstRow, int32_t cellWidth,
                                            int32_t cellHeight, const uint8_t *table,
                                            int32_t xShift, int32_t yShift);
// Plain differences, large above 32, saturated where the other sample exceeds 248.
CellStatistics MeasureCellDifferenceClipped(const CellWindows &windows, int32_t cellColumn,
                                            int32_t firstRow, int32_t cellWidth,
                                            int32_t cellHeight, const uint8_t *table,
                                            int32_t xShift, int32_t yShift);

// The windows and shifts a cell decision works on (bright may be null).
struct TileWindows {
    const uint8_t *reference;
    const uint8_t *dark;
    const uint8_t *bright;
    int32_t width;
    int32_t height;
    int32_t pitch;
    int32_t darkDx, darkDy, brightDx, brightDy;
};

// Decide the cells of `set`'s three cell grids from its tile buffers and valid box. All
// RESULT_OK, or RESULT_INVALID_ARGUMENT for a missing scratch or windows.
int DecideTileCellWeights(HdrSession *session, int32_t cellsAcross, int32_t cellsDown,
                          const TileWindows &tile, int set);
int DecideTileCellWeightsNearerSide(HdrSession *session, int32_t cellsAcross, int32_t cellsDown,
                                    const TileWindows &tile, int set);
// Two exposures: reference and dark by the block level alone; the bright grid is cleared.
int DecideTileCellWeightsPair(HdrSession *session, int32_t cellsAcross, int32_t cellsDown,
                              const TileWindows &tile, int set);
// DecideTileCellWeights with three exposures, DecideTileCellWeightsPair otherwise.
int DecideTileCellWeightsByCount(HdrSession *session, int32_t cellsAcross, int32_t cellsDown,
                                 const TileWindows &tile, int set);

// marks[k] for each cell of level levels[k]: 0 when the level is at most 128, else 1 when the
// mean of the samples above the level (every second sample of every second row of the cell)
// exceeds 192, 0 when not; a cell without such samples keeps its mark.
int MarkBrightDetailCells(const int16_t *levels, int32_t cellsAcross, int32_t cellsDown,
                          const uint8_t *window, int32_t windowWidth, int32_t windowHeight,
                          int32_t pitch, uint8_t *marks);

// Copies a tile's cell grid into the padded grid at (cellRows x tileRow + 1 + r,
// cellCols x tileColumn + 1 + c), skipping cells outside it.
void StoreTileCellGrid(int16_t *grid, int32_t cols, int32_t rows, const int16_t *cells,
                       int32_t cellCols, int32_t cellRows, int32_t tileColumn, int32_t tileRow);

// Weight finalisation of the two-call merge: turns the tile weights' codes into weights. Codes
// in the padded int16 weight grids: 1 (the secondary exposure is saturated), -1 (it
// disagrees), -2 (it disagrees strongly) and -3 (a region taken from one exposure). "cols" is
// also the row stride unless a stride is given.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"

// Releases the tile scratch, completes the displacement grids' borders, replicates the weight
// grids into the margins the shifted exposures do not cover, cleans and resolves the code
// regions, spreads the codes, smooths and fills the weights. With pendingStatus 5 the
// reference takes every block; with lowQuantileIndex 16 the bright exposure does and the
// displacements are zeroed. Afterwards every cell is a weight in 0..256.
// RESULT_OK; RESULT_INVALID_ARGUMENT / RESULT_UNSUPPORTED_FORMAT for inputs it does not
// handle; RESULT_OUT_OF_MEMORY when its scratch grid, a region fill or the smoothing runs out
// of memory (the grids then still hold codes and must not be fused).
int FinalizeWeightMaps(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                       int32_t count, const int32_t *globalShift);

// The code cleanup: erosion and growth of the dark and bright codes, enclosed-cell marks,
// region labelling and per-region decisions, and the final mapping of codes to weights and
// -1 marks. RESULT_OK; RESULT_INVALID_ARGUMENT without the dark or reference grid or the
// scratch; RESULT_OUT_OF_MEMORY when a region fill runs out of memory.
int ResolveCodeRegions(MemoryContext memory, HdrSession *session, int16_t *dark,
                       int16_t *reference, int16_t *bright, int16_t *scratch, int32_t cols,
                       int32_t rows, int32_t stride);

// Keeps the cells the exposure shifted by (dx, dy) covers and copies the nearest kept cell
// outward into the margins.
void ReplicateWeightGridMargins(int16_t *grid, int32_t cols, int32_t rows, int32_t meshCols,
                                int32_t meshRows, int32_t cellsAcross, int32_t cellsDown,
                                int32_t dx, int32_t dy);
// Isolated codes take their largest neighbouring weight, isolated weights among codes the
// largest neighbouring code (at least -10).
void DespeckleWeightCodes(const int16_t *source, int16_t *destination, int32_t cols, int32_t rows);
// Each cell takes the minimum of its (2 radius + 1)^2 neighbourhood (clipped to the grid)
// when that minimum is at most `level`, else keeps its value.
void ErodeGridBelowLevel(const int16_t *source, int16_t *destination, int32_t cols, int32_t rows,
                         int32_t stride, int32_t radius, int32_t level);
// Row scans that turn a weight cell closed in by codes into -3.
void MarkEnclosedDarkCells(int16_t *grid, int32_t cols, int32_t rows, int32_t stride);
void MarkEnclosedBrightCells(int16_t *grid, int32_t cols, int32_t rows, int32_t stride);

struct GridBox {
    int32_t x0, x1, y0, y1;
};
constexpr int kCompareAtLeast = 0;
constexpr int kCompareAtMost = 1;
constexpr int kCompareEqual = 2;
// Labels the start cell, then every unlabelled (0) cell reachable through cells whose value
// compares to `level` (4- or 8-connected). Returns the cell count and the bounding box; 0 for
// a null grid, another connectivity or when its queues cannot be allocated. Another comparison
// labels only the start cell and returns 0.
int32_t LabelCodeRegion(MemoryContext memory, const int16_t *values, int32_t cols, int32_t rows,
                        int32_t stride, int16_t *labels, int16_t label, int32_t startColumn,
                        int32_t startRow, int32_t connectivity, int32_t level, GridBox *box,
                        int32_t comparison);
// Negative cells of the box (clipped to the interior) whose reference block level exceeds
// max(224, sceneThresholds[1]); *ring is 1 when the box's grown rim holds only weights.
int32_t MeasureCodeRegionBox(const HdrSession *session, const int16_t *grid, int32_t cols,
                             int32_t rows, int32_t stride, const GridBox &box, int32_t *ring);
// Mode 1: cells equal to 1 in the box. Mode 0: also counts the -2 cells and, of the cells whose
// reference level is below min(sceneThresholds[4], 8), those of `label` (result) and of other
// labels. Other modes 0. RESULT_INVALID_ARGUMENT (2) for a null grid.
int32_t CountRegionCells(const HdrSession *session, const int16_t *grid, int32_t cols,
                         int32_t rows, int32_t stride, const int16_t *labels, int16_t label,
                         const GridBox &box, int32_t *ones, int32_t *minusTwos,
                         int32_t *otherLabels, int32_t mode);
// When the region has a cell below -1 in the box: value -3 turns every region cell and every
// negative cell of the box to -3 (taking the label); another value paints the region's cells.
void RepaintCodeRegion(int16_t *grid, int32_t stride, int16_t *labels, int16_t label,
                       int16_t value, const GridBox &box);
// Paints the region's cells in the box and, with `extend`, carries the paint down and up tall
// columns in stretches of 6 rows. RESULT_OK, RESULT_INVALID_ARGUMENT for a null grid,
// RESULT_OUT_OF_MEMORY without its column counters.
int PaintRegionColumns(MemoryContext memory, int16_t *grid, int32_t cols, int32_t rows,
                       int32_t stride, int16_t *labels, int16_t label, int16_t value,
                       const GridBox &box, int extend);
// Cells holding 1, -3, -2 or -1 keep them; every other cell takes values.
void RestoreCodeCells(int16_t *grid, const int16_t *values, int32_t cols, int32_t rows,
                      int32_t stride);
// Mode 0: cells holding 1, -1 or -3 keep them. Mode 1: cells holding -1 or 1 keep them (those
// whose value is -3 are added to *count) and where a taken value is -3 the scratch cell
// becomes 256. Other modes change nothing.
void RestoreCodeCellsVariant(int16_t *grid, const int16_t *values, int16_t *scratch, int32_t cols,
                             int32_t rows, int32_t stride, int32_t mode, int32_t *count);

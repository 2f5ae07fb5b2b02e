// Registration of the two-call merge at full resolution: a global offset per exposure from the
// strided pyramid aligner on the whole frame, then per-tile displacements measured down the
// left and right tile columns and spread over the tile grid by robust line fits.
//
// A displacement is subtracted from a reference position to find the same content in the
// exposure. The four displacement grids (meshCols x meshRows, one border cell per side; tile
// (i, j) at cell (i + 1, j + 1)) are offsetGridX[0], offsetGridY[0] (dark) and offsetGridX[1],
// offsetGridY[1] (bright).
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"

// Measures the displacements of the three inputs (count 3, an accepted format) ordered by the
// preparation and writes dark dx, dark dy, bright dx, bright dy to globalShift. RESULT_OK,
// RESULT_INVALID_ARGUMENT or RESULT_UNSUPPORTED_FORMAT for inputs it does not handle, else
// what MeasureLocalDisplacements returns.
int RunLocalAlignment(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                      int32_t count, int32_t *globalShift, ProgressCallback progress, void *user);

// The measurement on first planes of one format, width, height and pitch (bright may be
// null), with the scene statistics the preparation left in the session. Sets pendingStatus
// to RESULT_EXCESSIVE_MOTION when the global offsets exceed the pyramid's reach and goes on.
// Leaves alignStridedPyramid 0 on every return. RESULT_OK, RESULT_OUT_OF_MEMORY (earlier grids
// kept), RESULT_CANCELLED or the aligner's code.
int MeasureLocalDisplacements(MemoryContext memory, HdrSession *session, uint8_t *reference,
                              uint8_t *dark, uint8_t *bright, uint32_t format, int32_t width,
                              int32_t height, int32_t pitch, int32_t *darkDx, int32_t *darkDy,
                              int32_t *brightDx, int32_t *brightDy, ProgressCallback progress,
                              void *user);

// The reference's block-level range over every 256-pixel tile (16 block cells a side, rows
// and columns 1..14 of it inside the block grid) into tileLevelMin and tileLevelMax. Flags:
// bit 0 when a tile's maximum exceeds sceneThresholds[1], bit 1 when a tile's minimum is below
// sceneThresholds[4]; a tile with no block cell has range 0..0 and sets no flag. The flags go
// to *flags and localAlignSet. RESULT_OK or RESULT_OUT_OF_MEMORY (old grids kept).
int MeasureTileLevelRange(MemoryContext memory, HdrSession *session, int32_t *flags);

// Fits the measured rows 1..rows - 3 of the left (1) and right (columns - 3) grid columns with
// outlier-replaced least-squares lines and fills columns 1..columns - 3 of those rows between
// them. middleColumn adds a third line at columns / 2 and fills piecewise where the straight
// fill misses it by more than 1. The slopes of the first fit go to leftSlope and rightSlope
// when given. When the second fit has fewer than two rows, the line is flat at the mean of the
// measured rows, so a frame with few tile rows keeps what it measured.
void FitDisplacementGridColumns(int32_t *grid, int32_t columns, int32_t rows, int middleColumn,
                                double *leftSlope, double *rightSlope);

// Fills the five tile buffers of `set` for tile (tileColumn, tileRow): reference, dark and
// bright block levels from blockStats and the dark-minus-reference U and V from the padded
// chroma planes, zero for cells outside the block grid. *flag (when given) is 1 when more than
// 60 cells have a reference level above sceneThresholds[1] or the tile's level minimum is
// above it. RESULT_OK; RESULT_INVALID_ARGUMENT without block statistics or scratch.
int LoadTileFromSessionPlanes(HdrSession *session, int32_t cellsAcross, int32_t cellsDown,
                              int32_t tileColumn, int32_t tileRow, int32_t *flag, int set);

// How a row driver cuts a row: the merge of the dark and bright run lists into typed spans,
// the tiles over which the motion mesh is linear, the re-laying of RunningWeights at a change
// of span type, and the mesh displacement of a tile.
#pragma once

#include <cstdint>

#include "fusion/fusion_types.h"

// Merges the run lists (entry 0 the first x, then the switch positions, then the end; run i
// non-zero when i is odd) into span bounds b0 = x0 < ... <= bK = x1 and K span types, each
// typed with the state of both secondaries to its right; at one x a dark switch comes before
// a bright one (the span between them is empty). The first span is SPAN_REFERENCE_ONLY (empty
// when a secondary weighs from x0). bounds needs darkCount + brightCount - 2 entries, types one
// fewer. Returns K.
int32_t MergeRunLists(const int32_t *dark, int32_t darkCount, const int32_t *bright,
                      int32_t brightCount, int32_t x0, int32_t x1, int32_t *bounds,
                      int32_t *types);

// Moves RunningWeights from the layout of span type `from` to that of `to` (through the order
// dark, bright, reference; a reference-only span drops the weights to {0, 0, 0x8000}).
void ReLayRunningWeights(RunningWeights *weights, int32_t from, int32_t to);

// End of the tile that starts at a inside a span ending at e: tiles never cross
// x = 128 + 256k, where the mesh cell changes.
int32_t TileEnd(int32_t a, int32_t e);

// Displacement of pixel a on a mesh row, in 1/65536 pixel, and its change per four pixels.
struct MeshDisplacement {
    int32_t disp;
    int32_t step;
};

// Interpolates one mesh grid (offsets in pixels times 256, slopes in pixels) at row meshRow
// with vertical weight meshFrac (0..255) for pixel a. Node and row indices are held inside the
// meshCols x meshRows grid; null grids give no displacement.
MeshDisplacement InterpolateMesh(const int32_t *offsets, const int32_t *slopes, int32_t meshCols,
                                 int32_t meshRows, int32_t meshRow, int32_t meshFrac, int32_t a);

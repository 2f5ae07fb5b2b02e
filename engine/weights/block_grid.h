// The 32-pixel block grid of the merge plan, its three block-weight grids and four ghost
// masks, and the completion of the weight grids.
#pragma once

#include <cstdint>

#include "core/hdr_engine.h"
#include "core/session.h"

// Blocks of 32 x 32 full-resolution pixels (4 x 4 thumbnail pixels) with a one-cell frame:
// padded cell (r + 1, c + 1) is block (r, c).
struct WeightBlockGrid {
    int32_t blocksAcross;
    int32_t blocksDown;
    int32_t paddedAcross;
    int32_t paddedDown;
    int64_t cells;  // paddedAcross x paddedDown
};

WeightBlockGrid BlockGridForFrame(int32_t width, int32_t height);

// Bytes of the block that holds the three Q8 weight grids and the four masks: 10 per cell.
int64_t WeightBlockBytes(int64_t cells);

// Order of the ghost masks inside the block, after the three weight grids.
enum GhostMaskIndex {
    kGhostReference = 0,        // cells given to the reference
    kGhostDark = 1,             // cells given to the darkest exposure
    kGhostBrightReplaced = 2,   // cells where the reference replaces the brightest exposure
    kGhostBright = 3,           // cells given to the brightest exposure
};

// Makes a zero-filled block for the session's padded grid and, only when that succeeds, frees
// the previous block and points blockWeights and ghostMasks into the new one (reference, dark
// and bright grids, then masks 1, 0, 2, 3). RESULT_OK or RESULT_OUT_OF_MEMORY (nothing changed).
int ReplaceWeightBlock(MemoryContext memory, HdrSession *session);

// which 0: grid 0 = 256; 1: grid 1 = 256; otherwise grid 2 = 256; the other two grids 0.
void SetSingleExposureWeights(int16_t *grid0, int16_t *grid1, int16_t *grid2, int32_t width,
                              int32_t height, int32_t which);

// Completes the Q8 grids in place: negative weights become 0, cells without any weight take
// the strongest neighbouring secondary weight and a reference weight of 256, well-inside cells
// get the reference share that completes 256, and the last four rows repeat row height - 5
// (grids of fewer than five rows keep their rows). bright may be null (two-grid form).
void FillWeightGridHoles(int16_t *reference, int16_t *dark, int16_t *bright, int32_t width,
                         int32_t height);

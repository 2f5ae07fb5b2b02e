// Stage 3 of a merge: the share of each exposure in every 32 x 32 block, with ghost regions
// handed to one exposure and the grids completed.
#pragma once

#include <cstdint>

#include "core/session.h"

// Pads the block-luma planes of blockStats (by exposure index) in place, makes the block of
// blockWeights and ghostMasks, sets the weights from the reference's block luma, runs the ghost
// detection and completes the grids. A ghost region too large sets pendingStatus and the stage
// still succeeds. RESULT_OK; RESULT_INVALID_ARGUMENT for a null session, missing block
// statistics, a padded grid that is not the block grid plus its frame or exposure indices
// outside 0..2 (and what the ghost detection refuses); RESULT_OUT_OF_MEMORY.
int BuildExposureWeightMaps(MemoryContext memory, HdrSession *session, int64_t unused);

// The block weights (reference, dark, bright) for reference, bright and dark block luma f, b, d.
void BlockLumaWeights(int32_t f, int32_t b, int32_t d, int32_t *reference, int32_t *dark,
                      int32_t *bright);

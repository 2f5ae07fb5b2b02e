// Ghost detection on the block grid: where an aligned exposure disagrees with the reference
// by more than the exposure difference explains, regions of blocks go to one exposure.
#pragma once

#include <cstdint>

#include "core/session.h"

// Modifies the three Q8 weight grids (padded block grid, width x height cells) and the
// session's ghostMasks, movingRegionMode, droppedExposure, misaligned, pendingStatus and
// resultOverrideFlag. Reads ghostLevel, smallImages, alignedSmall and overlapBounds.
// RESULT_OK; RESULT_INVALID_ARGUMENT for missing thumbnails, grids or masks;
// RESULT_OUT_OF_MEMORY (nothing changed when the working planes cannot be made).
int DetectGhosts(MemoryContext memory, HdrSession *session, const int16_t *darkLuma,
                 const int16_t *referenceLuma, const int16_t *brightLuma, int32_t width,
                 int32_t height, int16_t *darkWeights, int16_t *brightWeights,
                 int16_t *referenceWeights);

// Interior cells whose 4 x 4 block lies in the plane: the mean of block rows 0 and 2
// (ReduceBlocksMean) or the largest 2 x 2 sum of the block divided by 4 (ReduceBlocksMax).
// Other cells are not written.
void ReduceBlocksMean(const uint8_t *plane, int32_t width, int32_t height, int32_t pitch,
                      uint8_t *grid, int32_t gridWidth, int32_t gridHeight, int32_t gridPitch);
void ReduceBlocksMax(const uint8_t *plane, int32_t width, int32_t height, int32_t pitch,
                     uint8_t *grid, int32_t gridWidth, int32_t gridHeight, int32_t gridPitch);

// Copies source to destination, then clears the interior cells set in source that have fewer
// than two set 4-neighbours there. 0.
int RemoveIsolatedCells(const uint8_t *source, uint8_t *destination, int32_t width, int32_t height);

// Thresholds at ghost level L: a pixel differs when its difference is above
// PixelGhostThreshold(R, L); a block is strong when its mean difference is above
// StrongCellThreshold(x, L) and weak dark above WeakCellThreshold(x, L).
int32_t PixelGhostThreshold(int32_t referenceLuma, int32_t level);
int32_t StrongCellThreshold(int32_t blockLuma, int32_t level);
int32_t WeakCellThreshold(int32_t blockLuma, int32_t level);

// Block planes lined up with the reference: the dark and bright block statistics move by
// their global shifts, and padded copies (one replicated cell on every side) are made for
// the planning and fusion stages. Block cells are 32 x 32 pixels.
#pragma once

#include <cstdint>

#include "core/hdr_engine.h"

// blockStats planes this stage reads and writes.
constexpr int kBlockPlaneReferenceU = 3;
constexpr int kBlockPlaneReferenceV = 4;
constexpr int kBlockPlanePaddedDark = 5;
constexpr int kBlockPlanePaddedReference = 6;
constexpr int kBlockPlaneReferenceCopy = 7;
constexpr int kBlockPlaneDarkU = 8;
constexpr int kBlockPlaneDarkV = 9;
constexpr int kBlockPlaneScratch = 11;

// The end of the first run stage: sizes the motion mesh from the first input, switches the
// aligner to gradient codes, moves the block planes by darkBrightShift and gives the session
// three fresh zeroed fusionWeightGrids. The scene statistics are the driver's, taken before.
// RESULT_OK, RESULT_OUT_OF_MEMORY (the old weight grids are kept), or RESULT_INVALID_ARGUMENT
// for a session without inputs, block statistics or a consistent block grid.
int PrepareAlignedPlanes(MemoryContext memory, HdrSession *session);

// Points paddedBlockPlanes at blockStats planes 5, 6, 7, 3, 4, 8, 9; shifts the dark block
// luma and the dark U and V planes by (darkDx, darkDy) and the bright block luma by
// (brightDx, brightDy) pixels; pads the dark and reference luma into planes 5 and 6 (7 is a
// copy of 6) and planes 3, 4, 8, 9 in place; with offsetFadeEnabled, the dark U and V become
// dark minus reference.
int ApplyGlobalOffsets(MemoryContext memory, HdrSession *session, int32_t darkDx, int32_t darkDy,
                       int32_t brightDx, int32_t brightDy);

// Moves an unpadded blocksAcross x blocksDown plane by (dx, dy) pixels: the interior is
// sampled bilinearly at (x - dx / 32, y - dy / 32) in 1/32 steps; the cells the shift leaves
// without a source on either side keep their values.
int ShiftBlockPlane(MemoryContext memory, HdrSession *session, int16_t *plane, int32_t dx,
                    int32_t dy);
// ShiftBlockPlane on the dark block luma and the dark U and V planes.
int ShiftDarkBlockPlanes(MemoryContext memory, HdrSession *session, int32_t dx, int32_t dy);
// ShiftBlockPlane on the bright block luma.
int ShiftBrightBlockPlane(MemoryContext memory, HdrSession *session, int32_t dx, int32_t dy);
// q -= p over width x rows values (16-bit wrap).
int SubtractPlane(const int16_t *p, int16_t *q, int32_t width, int32_t rows);

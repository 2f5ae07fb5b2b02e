// Hand-off from the planning stages to the full-resolution band pass: motion grids in the
// renderers' fixed-point form with their slopes, the fusion tables, the block level planes,
// the weight grids, the output planes and the per-worker row buffers. Runs on the caller's
// thread before any worker starts; everything it makes belongs to the session.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/fusion_table_layout.h"

// PrepareBandPassInputs with the plane-0 pointers of the session's exposureCount inputs and
// the first input's width, then the buffers of workers 1 to 3.
// RESULT_OK, RESULT_OUT_OF_MEMORY, or RESULT_INVALID_ARGUMENT for missing inputs or outputs.
int BuildMotionFields(MemoryContext memory, HdrSession *session, ImageDesc *outputs,
                      int32_t outputIndex, const RegionRect *processRect, int64_t ignored,
                      const int32_t *shiftList);

// Fills what the band renderers read (worker 0's buffers included):
// - each slot's motion grids get the slot's (dx, dy) from shiftList, then slopeGridX/Y hold
//   node (r, c + 1) minus node (r, c) (last column 0) and every node is scaled by 256;
// - fusionTable: dark, bright and reference level tables (exposureLuts through
//   gammaExpandTable; dark scaled by 2^valueShift, reference by
//   2^(valueShift - referenceValueShift) except with two exposures), weightTable, and the low
//   16 bits of 256 x count reciprocals; localCurveFusionTable the same with the level part
//   0, 4 x gammaExpandTable and 16380 when lowResMapsReady is set;
// - paddedBlockPlanes[0] becomes the block level difference plane and [2] the highlight
//   excess (with fewer than three exposures [2] is zero); recoveryMaskGrid when
//   offsetFadeEnabled is set; fusionWeightGrids receive the blockWeights;
// - outputPlanes point at the output image at referenceIndex, alternativeOutputPlanes at
//   outputs 0 and (when outputIndex is 2) 1; planeWidths[0] = width.
// RESULT_OUT_OF_MEMORY when a table, plane or grid it needs is missing or an allocation
// fails; RESULT_INVALID_ARGUMENT for null outputs, shifts or process rectangle, a count
// outside 1..3, or a width below 1.
int PrepareBandPassInputs(MemoryContext memory, HdrSession *session, uint8_t *const *inputPlanes,
                          int32_t count, ImageDesc *outputs, int32_t outputIndex, int32_t width,
                          int64_t ignored1, int64_t ignored2, const RegionRect *processRect,
                          int64_t ignored3, const int32_t *shiftList);

// The per-worker buffers of one band worker, each zero-filled and replacing any previous one:
// a run-list block of 10 x paddedBlocksAcross int32 (run lists at 0 and c, span bounds at 2c,
// span types at 4c), offsetRows of 4 x width + 256 int16, four workerRows of
// processRight int16 and a warpBuffer of (width + 64) x 16 bytes.
int AllocateBandWorkerBuffers(MemoryContext memory, HdrSession *session, int32_t worker,
                              int32_t width, int32_t processRight);

// The run driver: the preparation of the exposures and the fixed order of the merge's stages.
#pragma once

#include <cstdint>

#include "core/session.h"

// Reports to the caller between groups of stages and through the band pass.
constexpr int32_t kProgressStep = 5;

// Thumbnail width or height of a full-resolution side: side / 8, rounded down to even.
inline int32_t ThumbnailSide(int32_t side) { return (side / 16) * 2; }

// Grid, thumbnails, histograms and level tables for a frame the size of inputs[0].
// Everything already present is kept. RESULT_OK or RESULT_OUT_OF_MEMORY.
int PrepareBlockGrid(MemoryContext memory, HdrSession *session, const ImageDesc *inputs);

// Feature block, registration grids, work image and the feature tracker on the reference
// thumbnail. RESULT_OK or RESULT_OUT_OF_MEMORY.
int BuildReferenceFeatures(MemoryContext memory, HdrSession *session, const ImageDesc *reference);

// Thumbnails, exposure gains, ordering, reference features and the registration of the
// darkest and brightest exposure.
int PrepareExposures(MemoryContext memory, HdrSession *session, ImageDesc *inputs, int32_t count,
                     ProgressCallback progress, void *user);

// Stage 1, on exposures the preparation or RunHdrMerge has ordered: the order check, block
// chroma means, the global shift lists, the scene statistics and the shifted planes.
int CheckExposureSetAndShifts(MemoryContext memory, HdrSession *session, ImageDesc *inputs);

// Stage 6: rectangles, motion fields, the workers' 16-bit rows and the tone set-up.
int PrepareFullResolutionPass(MemoryContext memory, HdrSession *session, ImageDesc *inputs,
                              int32_t count, ImageDesc *outputs, int32_t outputIndex);

// Stage 7: a one-sample border on each of the nine correction maps, and the workers' nine
// line buffers. RESULT_OK or RESULT_OUT_OF_MEMORY.
int PadMapsAndAllocateLineBuffers(MemoryContext memory, HdrSession *session);

// Every stage after the preparation, in order; the run's buffers stay for RunHdrMerge to
// release. Returns RESULT_OK, the first failing stage's code, RESULT_CANCELLED, or a status
// still pending after the planning stages.
int RunMergePipeline(MemoryContext memory, HdrSession *session, ImageDesc *inputs, void *scratch,
                     int32_t count, ImageDesc *outputs, int32_t outputIndex, int64_t ignored,
                     void *buffer, ProgressCallback progress, void *user, int32_t toneLength,
                     int32_t brightness, int32_t toneSaturation);


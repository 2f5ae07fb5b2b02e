// One-pass renders of the whole process rectangle of the semi-planar formats straight into
// 8-bit output, on the calling thread with worker 0's buffers: semi-planar 4:2:2
// (PIXEL_FORMAT_NV16) and semi-planar 4:2:0 (PIXEL_FORMAT_NV12 and PIXEL_FORMAT_NV21, alike).
// They use the semi-planar row drivers of the band workers (band_planar.h) and walk their rows
// as direct_output_rows.h tells: normal mode with the plain fusion table whatever
// lowResMapsReady holds, even-row refreshes, the fade rows only with offsetFadeEnabled. The
// fade's refinement: semi-planar 4:2:2 fades the chroma highlight rows only
// (FadeRecoveryChromaOffsetsRowSemiPlanar422; the luma highlight row is never faded), 4:2:0
// runs RefineRecoveryOffsetsRowSemiPlanar420 on all three. Both rows of a 4:2:0 pair fuse the
// chroma row they share and the odd row's result is the one that stays.
//
// Arguments: the memory context (the gain row, freed on every path), the session, the inputs'
// luma planes, an ignored count, input 0's width and height, the luma pitch, the inputs'
// chroma planes, the chroma pitch, the session's processRect, the gains and global shifts (not
// read), the progress callback and its user pointer. Output goes to outputPlanes[0] and [1]
// with the inputs' pitches; rendered in place, the border estimates read the luma copy of
// CopyReferenceLumaPlaneForBandPass. With a callback, row r % 32 = 0 reports progressBase +
// 25 r / processRect.height.
// Results: RESULT_OK (also for a process rectangle without rows, after the checks),
// RESULT_INVALID_ARGUMENT (null arguments or planes), RESULT_OUT_OF_MEMORY (the gain row
// cannot be had, or a buffer, grid or table the render reads is missing; before any row),
// RESULT_CANCELLED (rows written stay).
#pragma once

#include <cstdint>

#include "core/engine_types.h"

struct HdrSession;

int RenderFusedImageSemiPlanar422(MemoryContext memory, HdrSession *session,
                                  uint8_t *const *firstPlanes, int32_t ignored, int32_t width,
                                  int32_t height, int32_t pitch0, uint8_t *const *secondPlanes,
                                  int32_t pitch1, const RegionRect *processRect,
                                  const int32_t *gains, const int32_t *shifts,
                                  ProgressCallback callback, void *user);
int RenderFusedImageSemiPlanar420(MemoryContext memory, HdrSession *session,
                                  uint8_t *const *firstPlanes, int32_t ignored, int32_t width,
                                  int32_t height, int32_t pitch0, uint8_t *const *secondPlanes,
                                  int32_t pitch1, const RegionRect *processRect,
                                  const int32_t *gains, const int32_t *shifts,
                                  ProgressCallback callback, void *user);

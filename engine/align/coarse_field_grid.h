// An exposure's full-resolution motion grids made from two coarse float motion fields instead
// of a projective transform, smoothed into a ramp between their first and last node rows.
#pragma once

#include "core/session.h"

// Samples registrationGrids[2] (x) and [3] (y), float fields in thumbnail pixels with cells of
// 2^registrationSetting thumbnail pixels, at the centre of every 256-pixel block of input i,
// removes the global shift taken from globalOffsetEstimate and stores the grids in
// offsetGridX[k], offsetGridY[k] (k = i - 1, 0 for i = 0), replacing (and freeing) what the
// slot held. RESULT_OK, RESULT_OUT_OF_MEMORY, RESULT_CANCELLED when the callback answers
// PROGRESS_CANCEL (the grids are stored by then), or RESULT_INVALID_ARGUMENT for a session
// without the inputs, thumbnails or fields the sampling reads.
int BuildMotionGridFromCoarseField(MemoryContext memory, HdrSession *session, int32_t exposure,
                                   ProgressCallback progress, void *user);

// The answer to a merge that cannot be trusted: one exposure rendered alone.
#pragma once

#include <cstdint>

#include "core/session.h"

// Gives all block weight to the existing exposure whose gain is closest to 1 (the reference
// when that is the darkest), makes the ghost masks zero and the difference maps neutral, zeroes
// the global shifts, motion grids and paddedBlockPlanes[2], decimates the chosen input into its
// thumbnail and previewImage, adds 20 to toneLength and clears pendingStatus.
// RESULT_OK; RESULT_INVALID_ARGUMENT (nothing changed) for an exposure count outside 1..3 or a
// missing block grid, input, thumbnail or preview; RESULT_OUT_OF_MEMORY (nothing changed).
int SingleExposureFallback(MemoryContext memory, HdrSession *session);

// Index among the first count gains whose distance to 1 is smallest (the first on ties), the
// first exposure's distance capped at 10.
int32_t ChooseFallbackExposure(const double *gains, int32_t count);

#include "registration_buffers.h"

#include "core/image.h"
#include "core/memory.h"
#include "feature_tracker.h"

int ReleaseRegistrationBuffers(MemoryContext memory, HdrSession *s) {
    if (!s) return RESULT_INVALID_ARGUMENT;
    // featureY and both featureArrays lie in the block that starts at featureX.
    FreeAndClear(memory, s->featureX);
    s->featureY = nullptr;
    s->featureArrays[0] = s->featureArrays[1] = nullptr;
    for (float *&grid : s->registrationGrids) FreeAndClear(memory, grid);
    DestroyFeatureTracker(memory, &s->tracker);
    DestroyImage(&s->workImage, memory);
    return RESULT_OK;
}

#include "session_lifecycle.h"

#include "align/registration_buffers.h"
#include "alt/intermediate_image.h"
#include "core/memory.h"
#include "core/tone_tables.h"

namespace {

constexpr int kDefaultLevel = 30;

}  // namespace

int ReleasePipelineBuffers(MemoryContext memory, HdrSession *s) {
    if (!s) return RESULT_OUT_OF_MEMORY;
    ReleaseRegistrationBuffers(memory, s);
    ReleaseSessionRunBuffers(memory, s);
    // The intermediate's planes belong to the caller: forgotten, never freed.
    ClearIntermediateImage(s);
    return RESULT_OK;
}

int CreateHdrSession(MemoryContext memory, int32_t option, HdrSession **outSession) {
    if (!outSession) return RESULT_INVALID_ARGUMENT;
    auto *s = static_cast<HdrSession *>(AllocateMemory(memory, sizeof(HdrSession)));
    if (!s) return RESULT_OUT_OF_MEMORY;
    FillBytes(s, 0, sizeof(HdrSession));
    *outSession = s;
    const int result = SetUpSession(memory, s, option);
    if (result != RESULT_OK) return result;
    BuildContrastCurve(s, 0, kDefaultLevel);
    BuildSaturationTable(s, 0, kDefaultLevel);
    return RESULT_OK;
}

int DestroyHdrSession(MemoryContext memory, HdrSession *s) {
    if (!s) return RESULT_OUT_OF_MEMORY;
    ReleasePipelineBuffers(memory, s);
    ReleaseSessionTables(memory, s);
    FreeMemory(memory, s);
    return RESULT_OK;
}

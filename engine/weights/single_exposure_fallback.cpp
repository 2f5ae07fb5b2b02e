#include "single_exposure_fallback.h"

#include <cmath>
#include <initializer_list>

#include "align/decimate.h"
#include "core/image.h"
#include "core/memory.h"
#include "weights/block_grid.h"

int32_t ChooseFallbackExposure(const double *gains, int32_t count) {
    int32_t chosen = 0;
    float best = 0;
    for (int32_t i = 0; i < count; ++i) {
        float d = std::fabs(static_cast<float>(gains[i]) - 1.0f);
        if (i == 0 && d > 10.0f) d = 10.0f;
        if (i == 0 || d < best) {
            best = d;
            chosen = i;
        }
    }
    return chosen;
}

namespace {

bool ValidSession(const HdrSession *s) {
    if (!s || s->exposureCount < 1 || s->exposureCount > kMaxExposures || !s->inputImages ||
        s->paddedBlocksAcross < 1 || s->paddedBlocksDown < 1 || !s->previewImage || !s->smallImages[0])
        return false;
    for (int32_t i : {s->darkIndex, s->brightIndex, s->referenceIndex})
        if (i < 0 || i >= s->exposureCount) return false;
    for (int32_t i = 0; i < s->exposureCount; ++i)
        if (!s->smallImages[i]) return false;
    return true;
}

void NeutralDifferenceMaps(HdrSession *s) {
    const ImageDesc *thumb = s->smallImages[0];
    int64_t n = static_cast<int64_t>(thumb->i32Width) * thumb->i32Height;
    const int64_t held = static_cast<int64_t>(s->fineGridStride + 2) * (s->fineGridRows + 2);
    if (n > held) n = held;
    for (int k = 0; k < kFineGridCount; ++k) {
        int16_t *map = s->fineGrids[k];
        if (!map) continue;
        for (int64_t i = 0; i < n; ++i) map[i] = static_cast<int16_t>(k < 3 ? 256 : 0);
    }
}

void StopMotion(HdrSession *s) {
    const int64_t cells = static_cast<int64_t>(s->paddedBlocksAcross) * s->paddedBlocksDown;
    if (s->paddedBlockPlanes[2]) FillBytes(s->paddedBlockPlanes[2], 0, sizeof(int16_t) * cells);
    for (int i = 0; i < 6; ++i) s->globalShift[i] = 0;
    const int64_t nodes = static_cast<int64_t>(s->meshCols) * s->meshRows;
    for (int32_t e = 0; e < s->exposureCount && nodes > 0; ++e) {
        if (s->offsetGridX[e]) FillBytes(s->offsetGridX[e], 0, sizeof(int32_t) * nodes);
        if (s->offsetGridY[e]) FillBytes(s->offsetGridY[e], 0, sizeof(int32_t) * nodes);
    }
}

}  // namespace

int SingleExposureFallback(MemoryContext memory, HdrSession *s) {
    if (!ValidSession(s)) return RESULT_INVALID_ARGUMENT;
    int32_t chosen = ChooseFallbackExposure(s->exposureGain, s->exposureCount);
    if (chosen == s->darkIndex) chosen = s->referenceIndex;
    if (!s->inputImages[chosen].ppu8Plane[0]) return RESULT_INVALID_ARGUMENT;
    if (ReplaceWeightBlock(memory, s) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    NeutralDifferenceMaps(s);
    StopMotion(s);
    const int32_t which = chosen == s->referenceIndex ? 0 : 2;
    SetSingleExposureWeights(s->blockWeights[kWeightReference], s->blockWeights[kWeightDark],
                             s->blockWeights[kWeightBright], s->paddedBlocksAcross,
                             s->paddedBlocksDown, which);
    const int decimated = DecimateThumbnail(&s->inputImages[chosen], s->smallImages[chosen]);
    if (decimated == RESULT_OK) CopyImage(s->previewImage, s->smallImages[chosen]);
    s->toneLength += 20;
    s->pendingStatus = 0;
    return decimated == RESULT_OUT_OF_MEMORY ? decimated : RESULT_OK;
}

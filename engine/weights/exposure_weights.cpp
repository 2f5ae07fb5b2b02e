#include "exposure_weights.h"

#include <initializer_list>

#include "core/memory.h"
#include "core/plane_border.h"
#include "weights/block_grid.h"
#include "weights/ghost_detection.h"

void BlockLumaWeights(int32_t f, int32_t b, int32_t d, int32_t *reference, int32_t *dark,
                      int32_t *bright) {
    *reference = *dark = *bright = 0;
    if (f < 32) {
        *bright = 256;
    } else if (f < 64) {
        *reference = 8 * f - 256;
        *bright = 8 * (64 - f);
    } else if (f <= 160) {
        *reference = 256;
    } else if (f <= 192) {
        *reference = 1536 - 8 * f;
        *dark = 8 * f - 1280;
    } else {
        *dark = 256;
        if (d < 64) {
            *reference = 256;
            *dark = 0;
        }
        return;
    }
    // Both clipped in the shadows: the reference keeps the block.
    if (f < 64 && b > 192) {
        *reference = 256;
        *bright = 0;
    }
}

namespace {

bool ValidSession(const HdrSession *s) {
    if (!s || !s->blockStats || s->blocksAcross < 1 || s->blocksDown < 1 ||
        s->paddedBlocksAcross != s->blocksAcross + 2 || s->paddedBlocksDown != s->blocksDown + 2)
        return false;
    for (int32_t i : {s->darkIndex, s->brightIndex, s->referenceIndex})
        if (i < 0 || i >= kMaxExposures) return false;
    return true;
}

// Pads every block-luma plane the stage reads once, even when two roles share an exposure.
void PadBlockLuma(HdrSession *s, int16_t *scratch, int64_t n) {
    bool done[kMaxExposures] = {};
    for (int32_t e : {s->darkIndex, s->brightIndex, s->referenceIndex}) {
        if (done[e]) continue;
        done[e] = true;
        int16_t *plane = s->blockStats + e * n;
        PadPlane16(plane, scratch, s->blocksAcross, s->blocksDown);
        CopyBytes(plane, scratch, sizeof(int16_t) * static_cast<size_t>(n));
    }
}

void SetLumaWeights(HdrSession *s, const int16_t *f, const int16_t *b, const int16_t *d) {
    const int32_t gw = s->paddedBlocksAcross, gh = s->paddedBlocksDown;
    int16_t *ref = s->blockWeights[kWeightReference], *dark = s->blockWeights[kWeightDark];
    int16_t *bright = s->blockWeights[kWeightBright];
    for (int32_t r = 1; r < gh - 1; ++r)
        for (int32_t c = 1; c < gw - 1; ++c) {
            const size_t i = static_cast<size_t>(r) * gw + c;
            int32_t wr, wd, wb;
            BlockLumaWeights(f[i], b[i], d[i], &wr, &wd, &wb);
            ref[i] = static_cast<int16_t>(wr);
            dark[i] = static_cast<int16_t>(wd);
            bright[i] = static_cast<int16_t>(wb);
        }
}

}  // namespace

int BuildExposureWeightMaps(MemoryContext memory, HdrSession *s, int64_t) {
    if (!ValidSession(s)) return RESULT_INVALID_ARGUMENT;
    const int32_t gw = s->paddedBlocksAcross, gh = s->paddedBlocksDown;
    const int64_t n = static_cast<int64_t>(gw) * gh;
    auto *scratch = AllocateZeroed<int16_t>(memory, static_cast<uint64_t>(n));
    if (!scratch) return RESULT_OUT_OF_MEMORY;
    if (ReplaceWeightBlock(memory, s) != RESULT_OK) {
        FreeMemory(memory, scratch);
        return RESULT_OUT_OF_MEMORY;
    }
    PadBlockLuma(s, scratch, n);
    FreeMemory(memory, scratch);
    const int16_t *dark = s->blockStats + s->darkIndex * n;
    const int16_t *ref = s->blockStats + s->referenceIndex * n;
    const int16_t *bright = s->blockStats + s->brightIndex * n;
    SetLumaWeights(s, ref, bright, dark);
    const int result = DetectGhosts(memory, s, dark, ref, bright, gw, gh, s->blockWeights[kWeightDark],
                                    s->blockWeights[kWeightBright], s->blockWeights[kWeightReference]);
    if (result != RESULT_OK) return result;
    FillWeightGridHoles(s->blockWeights[kWeightReference], s->blockWeights[kWeightDark],
                        s->blockWeights[kWeightBright], gw, gh);
    return RESULT_OK;
}

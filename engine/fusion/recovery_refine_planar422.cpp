#include "recovery_refine_planar422.h"

#include "fusion/recovery_refine_common.h"

void RefineRecoveryOffsetsRowPlanar422(const HdrSession *s, const int16_t *mask, int32_t y,
                                       const uint8_t *darkY, const uint8_t *darkU,
                                       const uint8_t *darkV, const uint8_t *referenceU,
                                       const uint8_t *referenceV, int16_t *lumaRow,
                                       int16_t *uRow, int16_t *vRow) {
    const int32_t oy = s->overlapRect.y, h = s->overlapRect.height;
    if (static_cast<int32_t>(s->overlapRect.width) <= 0 || y < oy || y > oy + h) return;
    const int32_t left = static_cast<int32_t>(s->processRect.x);
    refine_detail::RefineGroups(
        s, mask, lumaRow, uRow, vRow, [&](int32_t x, int32_t k) { return darkY[x - left + k]; },
        [&](int32_t x, int32_t *t, int32_t *u) {
            const int32_t c = (x - left) >> 1;
            *t = refine_detail::Distance(referenceU[c], referenceV[c]);
            *u = refine_detail::Distance(darkU[c], darkV[c]);
        },
        refine_detail::FadeChromaKeepingWeak);
}

#include "recovery_refine_packed422.h"

#include "fusion/recovery_refine_common.h"

void RefineRecoveryOffsetsRowPacked422(const HdrSession *session, const int16_t *mask, int32_t y,
                                       const uint8_t *dark, const uint8_t *reference,
                                       int16_t *lumaRow, int16_t *uRow, int16_t *vRow) {
    const RegionRect &overlap = session->overlapRect;
    const int32_t dy = session->globalShift[1];
    if (static_cast<int32_t>(overlap.width) <= 0 || y < dy + 4 || y > dy + overlap.height - 4)
        return;
    const int32_t left = static_cast<int32_t>(session->processRect.x);
    refine_detail::RefineGroups(
        session, mask, lumaRow, uRow, vRow,
        [&](int32_t x, int32_t k) { return dark[2 * (x - left) + 2 * k]; },
        [&](int32_t x, int32_t *t, int32_t *u) {
            const uint8_t *r = reference + 2 * (x - left);
            const uint8_t *d = dark + 2 * (x - left);
            *t = refine_detail::Distance(r[1], r[3]);
            *u = refine_detail::Distance(d[1], d[3]);
        });
}

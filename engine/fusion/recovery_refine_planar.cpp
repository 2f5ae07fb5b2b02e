#include "recovery_refine_planar.h"

#include <cstdlib>

#include "fusion/recovery_refine_common.h"

using refine_detail::Distance;
using refine_detail::RefineGroups;

namespace {

int32_t Left(const HdrSession *s) { return static_cast<int32_t>(s->processRect.x); }

bool OverlapEmpty(const HdrSession *s) { return static_cast<int32_t>(s->overlapRect.width) <= 0; }

// Rows dy + 4 <= y <= dy + H - 4: the window of the packed and semi-planar 4:2:2 members.
bool InShiftedWindow(const HdrSession *s, int32_t y) {
    const int32_t dy = s->globalShift[1];
    return y >= dy + 4 && y <= dy + s->overlapRect.height - 4;
}

// The pair at byte 2q of an interleaved chroma row.
int32_t PairDistance(const uint8_t *chroma, int32_t at) {
    return Distance(chroma[at], chroma[at + 1]);
}

}  // namespace

void RefineRecoveryOffsetsRowPlanar420(const HdrSession *s, const int16_t *mask, int32_t y,
                                       const uint8_t *darkY, const uint8_t *darkU,
                                       const uint8_t *darkV, const uint8_t *referenceU,
                                       const uint8_t *referenceV, int16_t *lumaRow,
                                       int16_t *uRow, int16_t *vRow) {
    const int32_t oy = s->overlapRect.y, h = s->overlapRect.height, dy = s->globalShift[1];
    if (OverlapEmpty(s) || y < oy + dy || y > oy + h - std::abs(dy)) return;
    const int32_t left = Left(s);
    RefineGroups(
        s, mask, lumaRow, uRow, vRow, [&](int32_t x, int32_t k) { return darkY[x - left + k]; },
        [&](int32_t x, int32_t *t, int32_t *u) {
            const int32_t c = (x - left) >> 1;
            *t = Distance(referenceU[c], referenceV[c]);
            *u = Distance(darkU[c], darkV[c]);
        });
}

void RefineRecoveryOffsetsRowSemiPlanar420(const HdrSession *s, const int16_t *mask, int32_t y,
                                           const uint8_t *darkY, const uint8_t *darkChroma,
                                           const uint8_t *referenceChroma, int16_t *lumaRow,
                                           int16_t *uRow, int16_t *vRow) {
    const int32_t oy = s->overlapRect.y, h = s->overlapRect.height;
    if (OverlapEmpty(s) || y < oy + 4 || y > oy + h - 4) return;
    const int32_t left = Left(s);
    RefineGroups(
        s, mask, lumaRow, uRow, vRow, [&](int32_t x, int32_t k) { return darkY[x - left + k]; },
        [&](int32_t x, int32_t *t, int32_t *u) {
            *t = PairDistance(referenceChroma, x - left);
            *u = PairDistance(darkChroma, x - left);
        });
}

void FadeRecoveryLumaOffsetRowSemiPlanar422(const HdrSession *s, const int16_t *mask, int32_t y,
                                            const uint8_t *darkY, int16_t *lumaRow) {
    if (OverlapEmpty(s) || !InShiftedWindow(s, y)) return;
    const int32_t left = Left(s);
    RefineGroups(
        s, mask, lumaRow, nullptr, nullptr,
        [&](int32_t x, int32_t k) { return darkY[x - left + k]; },
        [](int32_t, int32_t *, int32_t *) {});
}

void FadeRecoveryChromaOffsetsRowSemiPlanar422(const HdrSession *s, const int16_t *mask,
                                               int32_t y, const uint8_t *darkChroma,
                                               const uint8_t *referenceChroma, int16_t *uRow,
                                               int16_t *vRow) {
    if (OverlapEmpty(s) || !InShiftedWindow(s, y)) return;
    const int32_t left = Left(s);
    RefineGroups(
        s, mask, nullptr, uRow, vRow, [](int32_t, int32_t) { return 0; },
        [&](int32_t x, int32_t *t, int32_t *u) {
            *t = PairDistance(referenceChroma, x - left);
            *u = PairDistance(darkChroma, x - left);
        });
}

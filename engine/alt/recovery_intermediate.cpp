#include "recovery_intermediate.h"

#include <algorithm>

#include "core/session.h"
#include "fusion/recovery_refine_common.h"
#include "fusion/recovery_refine_planar.h"

namespace {

// The intermediate keeps the chroma corrections of moderately saturated highlights (t up to
// 32) that the 8-bit refinement drops.
int32_t FadeChromaIntermediate(int32_t value, int32_t t, int32_t u) {
    if (t <= 7 && u < 32) return (value * (t + (u >> 2))) >> 4;
    if (t <= 32) return value;
    if (t > 64) return 0;
    return (value * (64 - t)) >> 5;
}

// In 64 bits: the table is the caller's and may hold any value.
int32_t AdjustOne(int32_t c, int64_t b, int32_t k) {
    const int64_t factor = ((b * k) >> 10) + 256;
    return static_cast<int32_t>(std::clamp<int64_t>(128 + (((c - 128) * factor) >> 8), 0, 255));
}

}  // namespace

void RefineRecoveryOffsetsRowIntermediatePacked422(const HdrSession *s, const int16_t *mask,
                                                   int32_t y, const uint8_t *darkPlane,
                                                   const uint8_t *referencePlane, int32_t pitch,
                                                   int16_t *lumaRow, int16_t *uRow,
                                                   int16_t *vRow) {
    const RegionRect &overlap = s->overlapRect;
    const int32_t oy = static_cast<int32_t>(overlap.y);
    const int32_t w = s->frameWidth, h = s->frameHeight;
    if (static_cast<int32_t>(overlap.width) <= 0 || y < oy || y >= oy + overlap.height || w < 2 ||
        h < 1)
        return;
    const int32_t dx = s->globalShift[0], dy = s->globalShift[1];
    const uint8_t *dark = darkPlane + static_cast<int64_t>(std::clamp(y - dy, 0, h - 1)) * pitch;
    const uint8_t *reference = referencePlane + static_cast<int64_t>(y) * pitch;
    // Pixel columns held to the frame; a pair's chroma read from a column that leaves room for
    // the pair's second byte.
    const auto column = [&](int32_t x) { return std::clamp(x, 0, w - 1); };
    const auto pairColumn = [&](int32_t x) { return std::clamp(x, 0, w - 2); };
    refine_detail::RefineGroupsWith(
        s, mask, lumaRow, uRow, vRow, FadeChromaIntermediate,
        [&](int32_t x, int32_t k) { return dark[2 * column(x - dx + k)]; },
        [&](int32_t x, int32_t *t, int32_t *u) {
            const uint8_t *r = reference + 2 * pairColumn(x);
            const uint8_t *d = dark + 2 * pairColumn(x - dx);
            *t = refine_detail::Distance(r[1], r[3]);
            *u = refine_detail::Distance(d[1], d[3]);
        });
}

void FadeRecoveryLumaOffsetRowLumaPlane(const HdrSession *s, const int16_t *mask, int32_t y,
                                        const uint8_t *darkY, int16_t *lumaRow) {
    FadeRecoveryLumaOffsetRowSemiPlanar422(s, mask, y, darkY, lumaRow);
}

void AdjustChromaByLumaPlanar420(int32_t xStart, int32_t xEnd, const uint8_t *luma, uint8_t *u,
                                 uint8_t *v, int32_t shift, const int32_t *table) {
    if (!luma || !u || !v || !table) return;
    shift = std::clamp(shift, 0, 31);
    for (int32_t x = xStart; x < xEnd; x += 2) {
        const int64_t level = table[luma[x]] >> 4;
        const int64_t b = ((98304 - 128 * level) >> shift) - 256;
        u[x / 2] = static_cast<uint8_t>(AdjustOne(u[x / 2], b, 578));
        v[x / 2] = static_cast<uint8_t>(AdjustOne(v[x / 2], b, 730));
    }
}

void AdjustChromaByLumaPlanar422(int32_t xStart, int32_t xEnd, const uint8_t *luma, uint8_t *u,
                                 uint8_t *v, int32_t shift, const int32_t *table) {
    AdjustChromaByLumaPlanar420(xStart, xEnd, luma, u, v, shift, table);
}

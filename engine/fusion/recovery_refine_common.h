// The group steps the recovery-offset refinements of every pixel format share: the chroma
// factor from the reference's and the dark exposure's distance from neutral, the luma fade where
// the dark exposure nears clipping, and the mask. The members pass the row window test and
// their addressing.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "core/session.h"

namespace refine_detail {

// Distance of a chroma pair from neutral: |U - 128| + |V - 128|.
inline int32_t Distance(int32_t u, int32_t v) { return std::abs(u - 128) + std::abs(v - 128); }

// The chroma factor of a group from the reference's and the dark exposure's distances t, u.
inline int32_t FadeChroma(int32_t value, int32_t t, int32_t u) {
    if (t <= 7 && u < 32) return (value * (t + (u >> 2))) >> 4;
    if (t <= 32 || t > 64) return 0;
    return (value * (64 - t)) >> 5;
}

// The chroma factor of planar 4:2:2: as FadeChroma, but the corrections stay as they are
// where the reference's highlight is weakly coloured (8 <= t <= 32) and where it is nearly
// neutral over a strongly coloured dark exposure (t <= 7, u >= 32).
inline int32_t FadeChromaKeepingWeak(int32_t value, int32_t t, int32_t u) {
    if (t <= 7 && u < 32) return (value * (t + (u >> 2))) >> 4;
    if (t <= 32) return value;
    if (t > 64) return 0;
    return (value * (64 - t)) >> 5;
}

// Groups x = ox, ox + 4, ... < ox + ow of the overlap with a non-zero mask value at x. The luma
// part runs when lumaRow is set: darkLuma(x, k) is the dark exposure's luma of pixel x + k. The
// chroma part runs when uRow and vRow are set: distances(x, &t, &u) gives the reference's and
// the dark exposure's distance of the group's first pair.
// fade(value, t, u) is the chroma factor's rule (FadeChroma, or the intermediate's own).
template <class Fade, class DarkLuma, class Distances>
void RefineGroupsWith(const HdrSession *session, const int16_t *mask, int16_t *lumaRow,
                      int16_t *uRow, int16_t *vRow, Fade fade, DarkLuma darkLuma,
                      Distances distances) {
    const int32_t ox = static_cast<int32_t>(session->overlapRect.x);
    const int32_t ow = static_cast<int32_t>(session->overlapRect.width);
    const bool chroma = uRow && vRow;
    for (int32_t x = ox; x < ox + ow; x += 4) {
        const int32_t m = mask[x];
        if (m == 0) continue;
        if (chroma) {
            int32_t t = 0, u = 0;
            distances(x, &t, &u);
            for (int16_t *row : {uRow, vRow})
                for (int32_t at : {x, x + 2})
                    row[at] = static_cast<int16_t>((fade(row[at], t, u) * m) >> 8);
        }
        if (lumaRow)
            for (int32_t k = 0; k < 4; ++k) {
                const int32_t luma = darkLuma(x, k);
                if (luma > 240)
                    lumaRow[x + k] = static_cast<int16_t>((lumaRow[x + k] * (256 - luma)) >> 4);
            }
    }
}

// The 8-bit refinements: FadeChroma unless a format keeps its own rule.
template <class DarkLuma, class Distances, class Fade = decltype(&FadeChroma)>
void RefineGroups(const HdrSession *session, const int16_t *mask, int16_t *lumaRow,
                  int16_t *uRow, int16_t *vRow, DarkLuma darkLuma, Distances distances,
                  Fade fade = FadeChroma) {
    RefineGroupsWith(session, mask, lumaRow, uRow, vRow, fade, darkLuma, distances);
}

}  // namespace refine_detail

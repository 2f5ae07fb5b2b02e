#include "recovery_refine_packed422.h"

#include <cstdlib>
#include <initializer_list>

#include "core/session.h"

namespace {

// The chroma factor of a group from the reference's and the dark exposure's distance from
// neutral (t and u, each |U - 128| + |V - 128|).
int32_t FadeChroma(int32_t value, int32_t t, int32_t u) {
    if (t <= 7 && u < 32) return (value * (t + (u >> 2))) >> 4;
    if (t <= 32 || t > 64) return 0;
    return (value * (64 - t)) >> 5;
}

int32_t Distance(const uint8_t *pair) { return std::abs(pair[1] - 128) + std::abs(pair[3] - 128); }

}  // namespace

void RefineRecoveryOffsetsRowPacked422(const HdrSession *session, const int16_t *mask, int32_t y,
                                       const uint8_t *dark, const uint8_t *reference,
                                       int16_t *lumaRow, int16_t *uRow, int16_t *vRow) {
    const RegionRect &overlap = session->overlapRect;
    const int32_t dy = session->globalShift[1];
    const int32_t ox = static_cast<int32_t>(overlap.x);
    const int32_t ow = static_cast<int32_t>(overlap.width);
    if (ow <= 0 || y < dy + 4 || y > dy + overlap.height - 4) return;
    const bool chroma = uRow && vRow;
    const int32_t left = static_cast<int32_t>(session->processRect.x);
    for (int32_t x = ox; x < ox + ow; x += 4) {
        const int32_t m = mask[x];
        if (m == 0) continue;
        const uint8_t *darkGroup = dark + 2 * (x - left);
        if (chroma) {
            const int32_t t = Distance(reference + 2 * (x - left));
            const int32_t u = Distance(darkGroup);
            for (int16_t *row : {uRow, vRow})
                for (int32_t at : {x, x + 2})
                    row[at] = static_cast<int16_t>((FadeChroma(row[at], t, u) * m) >> 8);
        }
        if (lumaRow)
            for (int32_t k = 0; k < 4; ++k) {
                const int32_t luma = darkGroup[2 * k];
                if (luma > 240) lumaRow[x + k] = static_cast<int16_t>((lumaRow[x + k] * (256 - luma)) >> 4);
            }
    }
}

// The re-fusion of the preview after deghosting against its per-pixel definition: random
// maps and weights, every dropped exposure, a row that ends inside a block cell, and cell
// grids narrower than the preview (the last cell then covers the columns past it).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "planning_session_support.h"
#include "weights/deghost.h"

namespace {

using planning::PlanningSession;

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

uint8_t At(const ImageDesc *image, int plane, int32_t x, int32_t y) {
    return image->ppu8Plane[plane][static_cast<size_t>(y) * image->pi32Pitch[plane] + x];
}

// The preview pixel (x, y) by definition: luma from the maps' shifted exposures weighted by the
// block cell's weights, chroma from the contrast weights, those of the darkest and brightest
// exposures faded by their luma over the reference's mid tones.
std::array<uint8_t, 3> Expected(const HdrSession *s, int32_t x, int32_t y) {
    const ImageDesc *ref = s->smallImages[s->referenceIndex], *dark = s->smallImages[s->darkIndex];
    const ImageDesc *bright = s->smallImages[s->brightIndex];
    const int32_t w = ref->i32Width, gw = s->paddedBlocksAcross, gh = s->paddedBlocksDown;
    const size_t cell = static_cast<size_t>(Clamp((y + 2) / 4, 0, gh - 1)) * gw + Clamp((x + 2) / 4, 0, gw - 1);
    const size_t i = static_cast<size_t>(y) * w + x;
    const int64_t wR = s->blockWeights[kWeightReference][cell], wD = s->blockWeights[kWeightDark][cell];
    const int64_t wB = s->blockWeights[kWeightBright][cell];
    const int32_t R = At(ref, 0, x, y), D = At(dark, 0, x, y), B = At(bright, 0, x, y);
    const int64_t sR = Clamp(s->fineGrids[0][i] + R - 256, 0, 255), sD = Clamp(s->fineGrids[1][i] + D - 256, 0, 255);
    const int64_t sB = Clamp(s->fineGrids[2][i] + B - 256, 0, 255);
    const int32_t *rt = s->reciprocalTable;
    const int64_t v = (wR * sR + wD * sD + wB * sB) * rt[Clamp(static_cast<int32_t>(wR + wD + wB), 0, kReciprocalTableSize - 1)];
    std::array<uint8_t, 3> out{};
    out[0] = v < 0 ? 0 : (v >= (int64_t{1} << 23) ? 255 : static_cast<uint8_t>(v >> 15));
    const int64_t cR = s->contrastWeightMaps[kContrastReference][i];
    int64_t cD = s->droppedExposure == 1 ? 0 : s->contrastWeightMaps[kContrastDark][i];
    int64_t cB = s->droppedExposure == 2 ? 0 : s->contrastWeightMaps[kContrastBright][i];
    if (R >= 32 && R <= 224) {
        const int64_t fB = B > 128 ? 0 : (B < 65 ? cB : ((128 - B) * cB) >> 6);
        const int64_t fD = D < 64 ? 0 : (D >= 128 ? cD : (cD * (D - 64)) >> 6);
        if (R <= 63) {
            cB = (fB * (R - 32) + (64 - R) * cB + 16) >> 5;
            cD = (fD * (R - 32) + (64 - R) * cD + 16) >> 5;
        } else if (R <= 192) {
            cB = fB;
            cD = fD;
        } else {
            cB = ((224 - R) * fB + (R - 192) * cB + 16) >> 5;
            cD = ((224 - R) * fD + (R - 192) * cD + 16) >> 5;
        }
    }
    const int64_t k = rt[Clamp(static_cast<int32_t>(cR + cD + cB), 0, kReciprocalTableSize - 1)];
    for (int p = 1; p <= 2; ++p) {
        const int64_t u = k * (cR * At(ref, p, x, y) + cD * At(dark, p, x, y) + cB * At(bright, p, x, y));
        out[p] = u <= 0 ? 128 : static_cast<uint8_t>(std::min<int64_t>((u + 16384) >> 15, 255));
    }
    return out;
}

TEST(PreviewRefusion, MatchesTheDefinitionPerPixel) {
    for (const int dropped : {0, 1, 2})
        for (const int32_t narrowGrid : {0, 3}) {
            // 124 x 92 thumbnails: rows end two columns into a cell.
            PlanningSession ps(1000, 744, planning::SameInAll(), nullptr, false);
            ASSERT_TRUE(ps.ok());
            HdrSession *s = ps.session();
            ASSERT_EQ(ps.RunThroughPreview(nullptr), RESULT_OK);
            std::mt19937 rng(21 + dropped);
            std::uniform_int_distribution<int> map(-200, 700), weight(0, 9000), byte(0, 255);
            const int32_t w = ps.thumbWidth(), h = ps.thumbHeight();
            for (int k = 0; k < 3; ++k) {
                for (int32_t i = 0; i < w * h; ++i) {
                    s->fineGrids[k][i] = static_cast<int16_t>(map(rng));
                    s->contrastWeightMaps[k][i] = static_cast<int16_t>(weight(rng));
                }
                for (int64_t c = 0; c < ps.cells(); ++c) s->blockWeights[k][c] = static_cast<int16_t>(weight(rng));
                ImageDesc *t = s->smallImages[k];
                for (int32_t y = 0; y < h; ++y)
                    for (int32_t x = 0; x < w; ++x)
                        for (int p = 0; p < 3; ++p)
                            t->ppu8Plane[p][static_cast<size_t>(y) * t->pi32Pitch[p] + x] = static_cast<uint8_t>(byte(rng));
            }
            s->droppedExposure = dropped;
            const int32_t gw = s->paddedBlocksAcross, gh = s->paddedBlocksDown;
            if (narrowGrid) s->paddedBlocksAcross = s->paddedBlocksDown = narrowGrid;
            std::vector<std::array<uint8_t, 3>> expected;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x) expected.push_back(Expected(s, x, y));
            ASSERT_EQ(RefuseLowResPreview(nullptr, s), RESULT_OK);
            s->paddedBlocksAcross = gw;
            s->paddedBlocksDown = gh;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    for (int p = 0; p < 3; ++p)
                        ASSERT_EQ(At(s->previewImage, p, x, y), expected[static_cast<size_t>(y) * w + x][p])
                            << "dropped " << dropped << " grid " << narrowGrid << " plane " << p << " at " << x
                            << ", " << y;
        }
}

}  // namespace

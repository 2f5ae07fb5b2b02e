#include <gtest/gtest.h>

#include <cstdlib>

#include "planning_session_support.h"
#include "weights/block_grid.h"
#include "weights/deghost.h"
#include "weights/ghost_detection.h"
#include "weights/single_exposure_fallback.h"

namespace {

using planning::PlanningSession;

int64_t SetCells(const uint8_t *mask, int64_t n) {
    int64_t set = 0;
    for (int64_t i = 0; i < n; ++i) set += mask[i] != 0;
    return set;
}

void ExpectMapsNear256(const HdrSession *s, int64_t pixels, int tolerance) {
    for (int k = 0; k < 3; ++k)
        for (int64_t i = 0; i < pixels; ++i)
            ASSERT_LE(std::abs(s->fineGrids[k][i] - 256), tolerance) << "map " << k << " at " << i;
}

TEST(PlanningStages, IdenticalExposuresGiveNoGhostsAndNeutralMaps) {
    PlanningSession ps(1024, 768, planning::SameInAll());
    ASSERT_TRUE(ps.ok());
    HdrSession *s = ps.session();
    s->ghostLevel = 6;
    ASSERT_EQ(ps.RunThroughPreview(nullptr), RESULT_OK);
    for (uint8_t *mask : s->ghostMasks) EXPECT_EQ(SetCells(mask, ps.cells()), 0);
    EXPECT_EQ(s->movingRegionMode, 0);
    EXPECT_EQ(s->pendingStatus, 0u);
    EXPECT_EQ(s->lowResMapsReady, 1);
    const int64_t pixels = int64_t{ps.thumbWidth()} * ps.thumbHeight();
    ExpectMapsNear256(s, pixels, 2);
    // Mid-grey blocks belong to the reference alone.
    const int32_t gw = s->paddedBlocksAcross;
    EXPECT_EQ(s->blockWeights[kWeightDark][10 * gw + 10], 0);
    EXPECT_EQ(s->blockWeights[kWeightBright][10 * gw + 10], 0);
    EXPECT_EQ(s->blockWeights[kWeightReference][10 * gw + 10], 256);
    ASSERT_EQ(DeghostLowRes(nullptr, s), RESULT_OK);
    // Two more blends, each rounding down, may take one more level off.
    ExpectMapsNear256(s, pixels, 3);
    for (ImageDesc *image : s->alignedSmall) EXPECT_EQ(image, nullptr);
    for (int16_t *map : s->contrastWeightMaps) EXPECT_EQ(map, nullptr);
}

// The darkest exposure alone shows a square 19 levels brighter than the others: a difference
// the thresholds of level 6 see and those of level 0 do not.
planning::Thumbnail SquareInDarkOnly() {
    return [](int e, int32_t x, int32_t y) {
        const uint8_t v = planning::Texture(x, y);
        const bool inSquare = x >= 56 && x < 72 && y >= 40 && y < 56;
        return static_cast<uint8_t>(e == 0 && inSquare ? v + 19 : v);
    };
}

TEST(PlanningStages, SquareInOneExposureBecomesAGhostRegionAtLevelSixOnly) {
    for (int level : {0, 6}) {
        PlanningSession ps(1024, 768, SquareInDarkOnly());
        ASSERT_TRUE(ps.ok());
        HdrSession *s = ps.session();
        s->ghostLevel = level;
        ASSERT_EQ(ps.RunThroughPreview(nullptr), RESULT_OK);
        const int32_t gw = s->paddedBlocksAcross;
        const int64_t centre = (48 / 4 + 1) * gw + (64 / 4 + 1);
        int masksUsed = 0;
        for (int m : {kGhostReference, kGhostDark, kGhostBright})
            masksUsed += SetCells(s->ghostMasks[m], ps.cells()) > 0;
        EXPECT_EQ(s->pendingStatus, 0u) << "level " << level;
        if (level == 0) {
            EXPECT_EQ(masksUsed, 0);
            EXPECT_EQ(s->movingRegionMode, 0);
            continue;
        }
        EXPECT_EQ(masksUsed, 1);
        EXPECT_EQ(s->ghostMasks[kGhostReference][centre], 255);
        EXPECT_EQ(s->blockWeights[kWeightDark][centre], 0);
        EXPECT_EQ(s->movingRegionMode, 1);
        // Far from the square nothing is marked.
        EXPECT_EQ(s->ghostMasks[kGhostReference][5 * gw + 28], 0);
        ASSERT_EQ(DeghostLowRes(nullptr, s), RESULT_OK);
    }
}

TEST(PlanningStages, PendingStatusRunsTheFallbackAndClearsIt) {
    for (uint64_t status : {uint64_t{RESULT_EXCESSIVE_MOTION}, uint64_t{RESULT_ALIGNMENT_FAILED}}) {
        PlanningSession ps(1024, 768, SquareInDarkOnly());
        ASSERT_TRUE(ps.ok());
        HdrSession *s = ps.session();
        s->ghostLevel = 6;
        s->toneLength = 45;
        ASSERT_EQ(ps.RunThroughPreview(nullptr), RESULT_OK);
        s->pendingStatus = status;
        s->globalShift[0] = 3;
        ASSERT_EQ(DeghostLowRes(nullptr, s), RESULT_OK);
        EXPECT_EQ(s->pendingStatus, 0u);
        EXPECT_EQ(s->toneLength, 65);
        EXPECT_EQ(s->globalShift[0], 0);
        for (uint8_t *mask : s->ghostMasks) EXPECT_EQ(SetCells(mask, ps.cells()), 0);
        // Gains 4, 1 and 0.25: the reference is rendered alone.
        for (int64_t i = 0; i < ps.cells(); ++i) {
            ASSERT_EQ(s->blockWeights[kWeightReference][i], 256);
            ASSERT_EQ(s->blockWeights[kWeightDark][i] | s->blockWeights[kWeightBright][i], 0);
        }
        const int64_t pixels = int64_t{ps.thumbWidth()} * ps.thumbHeight();
        ExpectMapsNear256(s, pixels, 0);
        // The preview is the reference's thumbnail decimated afresh from its input.
        const ImageDesc *p = s->previewImage, *t = s->smallImages[s->referenceIndex];
        EXPECT_EQ(p->ppu8Plane[0][20 * p->pi32Pitch[0] + 30], t->ppu8Plane[0][20 * t->pi32Pitch[0] + 30]);
        EXPECT_NEAR(p->ppu8Plane[0][20 * p->pi32Pitch[0] + 30], planning::Texture(30, 20), 1);
    }
}

TEST(SingleExposureFallback, ChoiceOfExposure) {
    const struct {
        double gains[3];
        int32_t count, chosen;
    } cases[] = {{{4.0, 1.0, 0.25}, 3, 1}, {{1.5, 0.5, 4.0}, 3, 0}, {{32.0, 12.0, 16.0}, 3, 0},
                 {{2.0, 0.9, 1.05}, 3, 2}, {{3.0, 2.0, 0.0}, 2, 1},   {{3.0, 1.0, 1.0}, 1, 0}};
    for (const auto &c : cases)
        EXPECT_EQ(ChooseFallbackExposure(c.gains, c.count), c.chosen) << c.gains[0] << " " << c.count;
}

TEST(SingleExposureFallback, ChosenDarkestIsReplacedByTheReference) {
    PlanningSession ps(512, 384, planning::SameInAll());
    ASSERT_TRUE(ps.ok());
    HdrSession *s = ps.session();
    s->exposureGain[0] = 1.0;  // the darkest is closest to 1
    ASSERT_EQ(ReplaceWeightBlock(nullptr, s), RESULT_OK);
    ASSERT_EQ(SingleExposureFallback(nullptr, s), RESULT_OK);
    EXPECT_EQ(s->blockWeights[kWeightReference][0], 256);
    // The brightest closest to 1 takes the block weights.
    s->exposureGain[2] = 1.0;
    s->exposureGain[0] = 4.0;
    s->exposureGain[1] = 1.5;
    ASSERT_EQ(SingleExposureFallback(nullptr, s), RESULT_OK);
    EXPECT_EQ(s->blockWeights[kWeightBright][0], 256);
    EXPECT_EQ(s->blockWeights[kWeightReference][0], 0);
}

TEST(GhostDetection, LevelThresholds) {
    const int cases[][5] = {// R or x, L, pixel, strong, weak
                            {100, 0, 22, 22, 14},
                            {100, 10, 12, 12, 9},
                            {0, 6, 10, 10, 5},
                            {255, 6, 25, 25, 20}};
    for (const auto &c : cases) {
        EXPECT_EQ(PixelGhostThreshold(c[0], c[1]), c[2]);
        EXPECT_EQ(StrongCellThreshold(c[0], c[1]), c[3]);
        EXPECT_EQ(WeakCellThreshold(c[0], c[1]), c[4]);
    }
}

TEST(GhostDetection, BlockReductions) {
    // An 8 x 4 plane: block 0 has one masked 2 x 2 quarter plus a single pixel, block 1 none.
    uint8_t plane[4 * 8] = {};
    plane[0] = plane[1] = plane[8] = plane[9] = 255;
    plane[3 * 8 + 3] = 255;
    uint8_t grid[4 * 3] = {};
    ReduceBlocksMax(plane, 8, 4, 8, grid, 4, 3, 4);
    EXPECT_EQ(grid[1 * 4 + 1], 255);
    EXPECT_EQ(grid[1 * 4 + 2], 0);
    plane[0] = plane[1] = plane[8] = plane[9] = 0;
    ReduceBlocksMax(plane, 8, 4, 8, grid, 4, 3, 4);
    EXPECT_EQ(grid[1 * 4 + 1], 63);
    ReduceBlocksMean(plane, 8, 4, 8, grid, 4, 3, 4);
    EXPECT_EQ(grid[1 * 4 + 1], 0);  // rows 1 and 3 are not read
    // A block cut after its third row is not written by the maximum.
    uint8_t cut[3 * 8];
    for (uint8_t &v : cut) v = 255;
    uint8_t cutGrid[4 * 3] = {};
    ReduceBlocksMax(cut, 8, 3, 8, cutGrid, 4, 3, 4);
    ReduceBlocksMean(cut, 8, 3, 8, cutGrid, 4, 3, 4);
    EXPECT_EQ(cutGrid[1 * 4 + 1], 255);
}

TEST(Deghosting, FullyMaskedRegionFollowsTheChosenExposure) {
    ImageDesc *a = nullptr, *b = nullptr;
    ASSERT_EQ(CreateImage(&a, 8, 8, PIXEL_FORMAT_GRAY8, nullptr), RESULT_OK);
    ASSERT_EQ(CreateImage(&b, 8, 8, PIXEL_FORMAT_GRAY8, nullptr), RESULT_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            a->ppu8Plane[0][y * a->pi32Pitch[0] + x] = 100;
            b->ppu8Plane[0][y * b->pi32Pitch[0] + x] = 60;
        }
    int16_t mapA[64], mapB[64];
    for (int i = 0; i < 64; ++i) {
        mapA[i] = 300;
        mapB[i] = 200;
    }
    uint8_t mask[4 * 4];
    for (uint8_t &m : mask) m = 255;
    MatchDifferenceMapsInMask(mask, 4, 4, a, mapA, b, mapB);
    // (255 (300 + 100 - 60) + 1 * 200) >> 8
    EXPECT_EQ(mapB[0], (255 * 340 + 200) >> 8);
    for (uint8_t &m : mask) m = 0;
    mapB[0] = 200;
    MatchDifferenceMapsInMask(mask, 4, 4, a, mapA, b, mapB);
    EXPECT_EQ(mapB[0], 200);
    DestroyImage(&a, nullptr);
    DestroyImage(&b, nullptr);
}

TEST(Deghosting, QuarterGridSizes) {
    const int cases[][4] = {{128, 96, 32, 24}, {124, 86, 32, 24}, {12, 12, 4, 4}, {14, 10, 4, 4}};
    for (const auto &c : cases) {
        int32_t qw, qh;
        QuarterGridSize(c[0], c[1], &qw, &qh);
        EXPECT_EQ(qw, c[2]);
        EXPECT_EQ(qh, c[3]);
    }
}

}  // namespace

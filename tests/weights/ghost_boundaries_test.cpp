// The ghost stages at the edges of their thresholds: one level either side of each limit.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "planning_session_support.h"
#include "weights/block_grid.h"
#include "weights/deghost.h"
#include "weights/ghost_regions.h"

namespace {

using planning::PlanningSession;

constexpr uint8_t kGrey = 100;  // every threshold below is taken at this reference luma

int64_t MaskedCells(const HdrSession *s, int64_t cells) {
    int64_t set = 0;
    for (const uint8_t *mask : s->ghostMasks)
        for (int64_t i = 0; i < cells; ++i) set += mask[i] != 0;
    return set;
}

// A flat grey scene; exposure `e` is `step` levels brighter inside the thumbnail rectangle
// [x0, x1) x [y0, y1).
planning::Thumbnail GreyWithStep(int e, int step, int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
    return [=](int exposure, int32_t x, int32_t y) {
        const bool inside = x >= x0 && x < x1 && y >= y0 && y < y1;
        return static_cast<uint8_t>(exposure == e && inside ? kGrey + step : kGrey);
    };
}

// At level 6 and luma 100 the pixel threshold (R >> 4) + 16 - L and the strong cell threshold
// x / 16 + 16 - L are both 16: a difference of exactly 16 in the darkest or the brightest
// exposure is no ghost, 17 is.
TEST(GhostBoundaries, PixelDifferenceMustExceedItsThreshold) {
    for (int exposure : {0, 2})
        for (int step : {16, 17}) {
            PlanningSession ps(1024, 768, GreyWithStep(exposure, step, 32, 48, 24, 40));
            ASSERT_TRUE(ps.ok());
            HdrSession *s = ps.session();
            s->ghostLevel = 6;
            ASSERT_EQ(ps.RunThroughPreview(nullptr), RESULT_OK);
            EXPECT_EQ(MaskedCells(s, ps.cells()) > 0, step == 17) << exposure << " step " << step;
            EXPECT_EQ(s->pendingStatus, 0u) << exposure << " step " << step;
        }
}

// The wide bright mask takes cells whose mean bright difference exceeds x / 8 + 2 (14 at luma
// 100), below the strong threshold of 16. A frame-wide difference of 12 or 14 is nothing; 15
// makes one region as large as the frame, too large for the ghost handling.
TEST(GhostBoundaries, WideBrightCellsStartAboveAnEighthOfTheLumaPlusTwo) {
    for (int step : {12, 14, 15}) {
        PlanningSession ps(1024, 768, GreyWithStep(2, step, 0, 1 << 20, 0, 1 << 20));
        ASSERT_TRUE(ps.ok());
        HdrSession *s = ps.session();
        s->ghostLevel = 6;
        ASSERT_EQ(ps.RunThroughPreview(nullptr), RESULT_OK);
        const uint64_t expected = step == 15 ? RESULT_EXCESSIVE_MOTION : 0;
        EXPECT_EQ(s->pendingStatus, expected) << "step " << step;
        if (step != 15) {
            EXPECT_EQ(MaskedCells(s, ps.cells()), 0) << "step " << step;
        }
    }
}

// On the 34 x 26 grid of a 1024 x 768 frame at level 6 a wide bright region is too large when
// its box is wider than 12 and higher than 10 cells. The refinement dilates the mask once, so
// a rectangle of a x b cells has a box of (a + 2) x (b + 2).
TEST(GhostBoundaries, WideBrightRegionIsTooLargeOnlyPastBothSideLimits) {
    const struct {
        int32_t width, height;
        uint64_t status;
    } cases[] = {{10, 9, 0}, {11, 8, 0}, {11, 9, RESULT_EXCESSIVE_MOTION}};
    for (const auto &c : cases) {
        PlanningSession ps(1024, 768, planning::SameInAll());
        ASSERT_TRUE(ps.ok());
        HdrSession *s = ps.session();
        s->ghostLevel = 6;
        ASSERT_EQ(ReplaceWeightBlock(nullptr, s), RESULT_OK);
        const int32_t gw = s->paddedBlocksAcross, gh = s->paddedBlocksDown;
        ASSERT_EQ(WideRegionSideLimit(gw, 6), 12);
        ASSERT_EQ(WideRegionSideLimit(gh, 6), 10);
        const size_t n = static_cast<size_t>(gw) * gh;
        std::vector<int16_t> luma(n, kGrey), dark(n, 0), bright(n, 0), reference(n, 256);
        std::vector<std::vector<uint8_t>> masks(5, std::vector<uint8_t>(n, 0));
        for (int32_t y = 5; y < 5 + c.height; ++y)
            for (int32_t x = 5; x < 5 + c.width; ++x) masks[3][static_cast<size_t>(y) * gw + x] = 255;
        const GhostCandidates candidates{masks[0].data(), masks[1].data(), masks[2].data(),
                                         masks[3].data(), masks[4].data()};
        ASSERT_EQ(RefineGhostRegions(nullptr, s, luma.data(), luma.data(), gw, gh, dark.data(),
                                     bright.data(), reference.data(), candidates),
                  RESULT_OK);
        EXPECT_EQ(s->pendingStatus, c.status) << c.width << " x " << c.height;
    }
}

// An exposure moved by two thumbnail pixels leaves a strip of two columns or rows uncovered; its
// window then starts one further in, behind a ring. A difference of 60 along the window's first
// column or row (a bright blob's edge, the same in the still bracket) is below the strong cell
// threshold in a still bracket's cell, which averages it with three unchanged columns or with
// another row. The strip and its ring must not lift that cell: every ghost cell of the moved
// exposure is one of the still bracket's, whichever exposure moved and to which side.
TEST(GhostBoundaries, TheStripAMoveUncoversAddsNoGhostCell) {
    const int32_t tw = 128, th = 96;  // thumbnails of the 1024 x 768 frame
    const struct {
        const char *side;
        int32_t lineX, lineY;  // the window's first column or row beside the strip (-1: none)
        PixelRect covered;
    } moves[] = {{"left", 3, -1, {2, 0, tw, th}},
                 {"right", tw - 4, -1, {0, 0, tw - 2, th}},
                 {"top", -1, 3, {0, 2, tw, th}},
                 {"bottom", -1, th - 4, {0, 0, tw, th - 2}}};
    for (int exposure : {0, 2})
        for (const auto &m : moves) {
            const planning::Thumbnail luma = [&m, exposure](int e, int32_t x, int32_t y) {
                const bool line = x == m.lineX || y == m.lineY;
                return static_cast<uint8_t>(e == exposure && line ? kGrey + 60 : kGrey);
            };
            std::vector<uint8_t> still[4];
            for (bool moved : {false, true}) {
                PlanningSession ps(1024, 768, luma);
                ASSERT_TRUE(ps.ok());
                HdrSession *s = ps.session();
                s->ghostLevel = 6;
                if (moved) s->overlapBounds[exposure] = m.covered;
                ASSERT_EQ(ps.RunThroughPreview(nullptr), RESULT_OK);
                EXPECT_EQ(s->pendingStatus, 0u) << exposure << " " << m.side;
                int added = 0;
                for (int k = 0; k < 4; ++k) {
                    const uint8_t *mask = s->ghostMasks[k];
                    if (!moved) still[k].assign(mask, mask + ps.cells());
                    for (int64_t i = 0; moved && i < ps.cells(); ++i) added += mask[i] != 0 && still[k][i] == 0;
                }
                EXPECT_EQ(added, 0) << "exposure " << exposure << " moved from the " << m.side;
            }
        }
}

// Inside a ghost region the spread mask is interpolated between cells with rounding: a cell of
// 8 gives 9/16 of 8 (4.5, so 5) one pixel in, and 1/16 of 8 (0.5, so 1) three pixels in.
TEST(GhostBoundaries, SpreadMaskIsInterpolatedWithRounding) {
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
        mapB[i] = 0;
    }
    uint8_t mask[4 * 4] = {};
    mask[0] = 8;
    MatchDifferenceMapsInMask(mask, 4, 4, a, mapA, b, mapB);
    // Map B moves toward 300 + 100 - 60 = 340 by m / 256.
    EXPECT_EQ(mapB[0], 340 * 8 >> 8);
    EXPECT_EQ(mapB[1 * 8 + 1], 340 * 5 >> 8);
    EXPECT_EQ(mapB[3 * 8 + 3], 340 * 1 >> 8);
    EXPECT_EQ(mapB[4 * 8 + 4], 0);
    DestroyImage(&a, nullptr);
    DestroyImage(&b, nullptr);
}

}  // namespace

#include "align/aligned_block_planes.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "align/handoff_session_support.h"

namespace {

using handoff_test::HandoffSession;

// A frame of five by three blocks.
constexpr int kW = 160, kH = 96;

TEST(ShiftBlockPlane, WholeAndHalfCellShifts) {
    HandoffSession h(kW, kH);
    std::mt19937 rng(5);
    std::vector<int16_t> source(15);
    for (auto &v : source) v = static_cast<int16_t>(rng() % 256);
    auto at = [&](int x, int y) { return source[y * 5 + x]; };
    struct Case {
        int dx, dy;
        // Expected cell (x, y), or the source cell when it is left unshifted.
        int (*expect)(decltype(at) &, int, int);
    };
    const Case cases[] = {
        {0, 0, [](decltype(at) &a, int x, int y) { return int{a(x, y)}; }},
        // Moving right by one cell: shifted cells (x = 1..2, rows 0..1) take the left neighbour.
        {32, 0,
         [](decltype(at) &a, int x, int y) {
             return int{(x >= 1 && x <= 2 && y <= 1) ? a(x - 1, y) : a(x, y)};
         }},
        {-32, 0,
         [](decltype(at) &a, int x, int y) {
             return int{(x >= 1 && x <= 2 && y <= 1) ? a(x + 1, y) : a(x, y)};
         }},
        // A whole cell down leaves no row of a three-row plane with a source on both sides.
        {0, 32, [](decltype(at) &a, int x, int y) { return int{a(x, y)}; }},
    };
    for (const Case &c : cases) {
        std::vector<int16_t> plane = source;
        ASSERT_EQ(ShiftBlockPlane(nullptr, h.s, plane.data(), c.dx, c.dy), RESULT_OK);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(plane[y * 5 + x], c.expect(at, x, y))
                    << c.dx << "," << c.dy << " at " << x << "," << y;
    }
}

TEST(ShiftBlockPlane, HalfCellShiftOfARamp) {
    HandoffSession h(kW, kH);
    std::vector<int16_t> plane;
    for (int y = 0; y < 3; ++y)
        for (int v : {0, 64, 128, 192, 255}) plane.push_back(static_cast<int16_t>(v));
    ASSERT_EQ(ShiftBlockPlane(nullptr, h.s, plane.data(), 16, 0), RESULT_OK);
    const int16_t shifted[5] = {0, 32, 96, 192, 255};
    const int16_t kept[5] = {0, 64, 128, 192, 255};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(plane[y * 5 + x], y < 2 ? shifted[x] : kept[x]) << x << "," << y;
}

TEST(PrepareAlignedPlanes, ShiftsPadsAndGivesFreshWeightGrids) {
    HandoffSession h(1000, 600);
    HdrSession *s = h.s;
    s->exposureCount = 1;  // the statistics then only set the value shift
    s->meshCols = s->meshRows = 0;
    const int e = s->blocksAcross, f = s->blocksDown;
    // Unpadded planes: dark luma (0) and reference luma (1) are x + 2y ramps, bright (2) 7x.
    s->darkIndex = 0, s->referenceIndex = 1, s->brightIndex = 2;
    for (int y = 0; y < f; ++y)
        for (int x = 0; x < e; ++x) {
            h.Plane(0)[y * e + x] = static_cast<int16_t>(x + 2 * y);
            h.Plane(1)[y * e + x] = static_cast<int16_t>(100 + x);
            h.Plane(2)[y * e + x] = static_cast<int16_t>(7 * x);
            h.Plane(3)[y * e + x] = 10;
            h.Plane(8)[y * e + x] = 25;
        }
    // Stored as (dark dx, bright dx, dark dy, bright dy): the dark plane moves one cell right,
    // the bright one one cell left.
    s->darkBrightShift[0] = 32;
    s->darkBrightShift[1] = -32;
    s->darkBrightShift[2] = 0;
    s->darkBrightShift[3] = 0;
    int16_t *stale = AllocateZeroed<int16_t>(nullptr, h.Cells());
    s->fusionWeightGrids[kWeightDark] = stale;
    stale[0] = 9;
    ASSERT_EQ(PrepareAlignedPlanes(nullptr, s), RESULT_OK);

    EXPECT_EQ(s->meshCols, 6);
    EXPECT_EQ(s->meshRows, 5);
    EXPECT_EQ(s->alignGradientMode, 1);
    EXPECT_EQ(s->valueShift, 2);
    const int pw = s->paddedBlocksAcross;
    EXPECT_EQ(s->paddedBlockPlanes[0], h.Plane(5));
    EXPECT_EQ(s->paddedBlockPlanes[1], h.Plane(6));
    EXPECT_EQ(s->paddedBlockPlanes[3], h.Plane(3));
    EXPECT_EQ(s->paddedBlockPlanes[6], h.Plane(9));
    // Padded dark luma: cell (x, y) of the shifted plane sits at (x + 1, y + 1).
    EXPECT_EQ(s->paddedBlockPlanes[0][(1 + 1) * pw + 1 + 3], 2 + 2 * 1);  // took x = 2
    EXPECT_EQ(s->paddedBlockPlanes[0][0], 0);  // corner replicates (0, 0)
    EXPECT_EQ(h.Plane(2)[0 * e + 3], 7 * 4);   // bright took x = 4
    EXPECT_EQ(s->paddedBlockPlanes[1][1 * pw + 1], 100);
    EXPECT_EQ(s->paddedBlockPlanes[1][0], 100);
    for (size_t i = 0; i < h.Cells(); ++i) {
        ASSERT_EQ(s->paddedBlockPlanes[2][i], s->paddedBlockPlanes[1][i]);
        ASSERT_EQ(s->paddedBlockPlanes[3][i], 10);
        ASSERT_EQ(s->paddedBlockPlanes[5][i], 15);  // dark U minus reference U
    }
    for (int k = 0; k < 3; ++k) {
        ASSERT_NE(s->fusionWeightGrids[k], nullptr);
        for (size_t i = 0; i < h.Cells(); ++i) ASSERT_EQ(s->fusionWeightGrids[k][i], 0);
    }
}

TEST(PrepareAlignedPlanes, RefusesASessionWithoutBlockGrid) {
    HandoffSession h(160, 96);
    EXPECT_EQ(PrepareAlignedPlanes(nullptr, nullptr), RESULT_INVALID_ARGUMENT);
    h.s->paddedBlocksAcross = h.s->blocksAcross;  // not a padded grid
    EXPECT_EQ(PrepareAlignedPlanes(nullptr, h.s), RESULT_INVALID_ARGUMENT);
}

}  // namespace

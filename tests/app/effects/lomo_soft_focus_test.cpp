// The pyramid soft focus: its documented cases, its pyramid, and a model of the whole effect.
#include <gtest/gtest.h>

#include "app/effects/lomo_allocations.h"
#include "app/effects/lomo_warp_models.h"
#include "effects/lomo_warp_kernels.h"

namespace {

LomoPicture Destination(const LomoPicture &like) {
    LomoPicture d = like;
    std::fill(d.bytes.begin(), d.bytes.end(), 0x5A);
    return d;
}

bool SamePixels(const LomoPicture &a, const LomoPicture &b) {
    for (int32_t y = 0; y < a.height; ++y)
        if (!std::equal(a.pixel(0, y), a.pixel(0, y) + 3 * a.width, b.pixel(0, y))) return false;
    return true;
}

TEST(LomoPyramidSoftFocus, OneLevelReturnsTheSource) {
    for (const int32_t s : {0, 50, 100}) {
        const LomoPicture src = RandomLomoPicture(45, 30, 3 * 45 + 3, 21);
        LomoPicture dst = Destination(src);
        ASSERT_EQ(LomoPyramidSoftFocus(src.bytes.data(), 45, 30, src.lineBytes, dst.data(), 1, s), 1);
        EXPECT_TRUE(SamePixels(dst, src)) << s;
    }
}

TEST(LomoPyramidSoftFocus, NoLevelOrUnderTwoByTwoCopiesTheWholeBuffer) {
    const struct {
        int32_t w, h, levels;
    } cases[] = {{20, 20, 0}, {20, 20, -3}, {1, 9, 3}, {9, 1, 8}, {1, 1, 2}};
    for (const auto &c : cases) {
        const LomoPicture src = RandomLomoPicture(c.w, c.h, 3 * c.w + 2, 22);
        LomoPicture dst = Destination(src);
        ASSERT_EQ(LomoPyramidSoftFocus(src.bytes.data(), c.w, c.h, src.lineBytes, dst.data(), c.levels, 50), 1);
        EXPECT_EQ(dst.bytes, src.bytes) << c.w << "x" << c.h << " levels " << c.levels;
    }
}

// A 4 x 100 picture asked for 8 levels: the pyramid stops after its first level narrower than
// 4, so the buffers are those of 4 x 100 and 2 x 50 (plane, expanded, difference) and the
// coarsest plane of 1 x 25, then the weight grid.
TEST(LomoPyramidSoftFocus, FourByHundredBuildsThreeLevels) {
    const LomoPicture src = RandomLomoPicture(4, 100, 12, 23);
    LomoPicture dst = Destination(src);
    lomo_alloc::Reset();
    ASSERT_EQ(LomoPyramidSoftFocus(src.bytes.data(), 4, 100, 12, dst.data(), 8, 50), 1);
    const std::vector<size_t> want = {400, 400, 800, 100, 100, 200, 25, 2 * 8 * sizeof(int32_t)};
    EXPECT_EQ(lomo_alloc::Sizes(), want);
    const auto sizes = lomo_model::PyramidSizes(4, 100, 8);
    const std::vector<std::pair<int32_t, int32_t>> levels = {{4, 100}, {2, 50}, {1, 25}};
    EXPECT_EQ(sizes, levels);
    EXPECT_EQ(dst.bytes, lomo_model::SoftFocus(src, Destination(src), 8, 50).bytes);
}

TEST(LomoPyramidSoftFocus, AgreesWithTheModel) {
    const int32_t sizes[][2] = {{2, 2}, {3, 2}, {2, 5}, {4, 4}, {5, 3}, {17, 9}, {33, 17}, {64, 48}, {150, 41}};
    for (const auto &size : sizes)
        for (const int32_t levels : {2, 3, 5, 8, 12})
            for (const int32_t s : {0, 50, 100}) {
                const int32_t w = size[0], h = size[1];
                const LomoPicture src = RandomLomoPicture(w, h, 3 * w + 1, w * 13 + h * 3 + levels + s);
                LomoPicture dst = Destination(src);
                ASSERT_EQ(LomoPyramidSoftFocus(src.bytes.data(), w, h, src.lineBytes, dst.data(), levels, s), 1);
                const LomoPicture want = lomo_model::SoftFocus(src, Destination(src), levels, s);
                ASSERT_EQ(dst.bytes, want.bytes) << w << "x" << h << " levels " << levels << " strength " << s;
            }
}

TEST(LomoPyramidSoftFocus, NegativeStrengthCountsAsZero) {
    const LomoPicture src = RandomLomoPicture(40, 33, 3 * 40, 24);
    LomoPicture a = Destination(src), b = Destination(src);
    ASSERT_EQ(LomoPyramidSoftFocus(src.bytes.data(), 40, 33, src.lineBytes, a.data(), 4, -30), 1);
    ASSERT_EQ(LomoPyramidSoftFocus(src.bytes.data(), 40, 33, src.lineBytes, b.data(), 4, 0), 1);
    EXPECT_EQ(a.bytes, b.bytes);
}

}  // namespace

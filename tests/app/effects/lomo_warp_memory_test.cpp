// Every allocation of the whole-picture effects failed in turn, and every path releasing what it
// took; then all three effects over every small size, sigma and strength against their models.
#include <gtest/gtest.h>

#include <functional>

#include "app/effects/lomo_allocations.h"
#include "app/effects/lomo_warp_models.h"
#include "effects/lomo_warp_kernels.h"

namespace {

using Effect = std::function<int(const uint8_t *, uint8_t *)>;

LomoPicture Destination(const LomoPicture &like) {
    LomoPicture d = like;
    std::fill(d.bytes.begin(), d.bytes.end(), 0x5A);
    return d;
}

// Runs the effect once to count its allocations, then fails each in turn: the call returns 0,
// leaves the destination as it was and holds nothing afterwards.
void FailEachAllocation(const LomoPicture &src, const Effect &effect, int expectedCalls) {
    const int before = lomo_alloc::Outstanding();
    LomoPicture dst = Destination(src);
    lomo_alloc::Reset();
    ASSERT_EQ(effect(src.bytes.data(), dst.data()), 1);
    const int calls = lomo_alloc::Calls();
    EXPECT_EQ(calls, expectedCalls);
    EXPECT_EQ(lomo_alloc::Outstanding(), before);
    for (int failAt = 0; failAt < calls; ++failAt) {
        LomoPicture d = Destination(src);
        lomo_alloc::Reset(failAt);
        EXPECT_EQ(effect(src.bytes.data(), d.data()), 0) << failAt;
        EXPECT_EQ(d.bytes, Destination(src).bytes) << failAt;
        EXPECT_EQ(lomo_alloc::Outstanding(), before) << failAt;
    }
    lomo_alloc::Reset();
}

TEST(LomoWarpMemory, EveryFailedAllocationReturnsZeroAndLeaksNothing) {
    const LomoPicture src = RandomLomoPicture(70, 50, 3 * 70 + 2, 31);
    const int32_t lb = src.lineBytes;
    FailEachAllocation(src, [lb](const uint8_t *s, uint8_t *d) { return LomoLensWarp(s, 70, 50, lb, d, 60); }, 1);
    FailEachAllocation(src, [lb](const uint8_t *s, uint8_t *d) { return LomoRadialBlur(s, 70, 50, lb, d, 60, 2.0); }, 3);
    // Levels 70 x 50, 35 x 25, 18 x 13, 9 x 7 and the coarsest 5 x 4, then the grid.
    FailEachAllocation(src, [lb](const uint8_t *s, uint8_t *d) { return LomoPyramidSoftFocus(s, 70, 50, lb, d, 5, 60); }, 14);
    FailEachAllocation(src, [lb](const uint8_t *s, uint8_t *d) { return LomoPyramidSoftFocus(s, 70, 50, lb, d, 1, 60); }, 2);
}

// Every size from 1 x 1 to 33 x 17 in steps that take in odd and even sizes and the 16-pixel
// cells' edges, with the sigmas and strengths the effects must take, against the models; the
// sanitizer builds run this too.
TEST(LomoWarpMemory, SmallSizesSigmasAndStrengthsAgreeWithTheModels) {
    const int32_t widths[] = {1, 2, 3, 4, 5, 7, 8, 15, 16, 17, 31, 32, 33};
    const int32_t heights[] = {1, 2, 3, 4, 5, 8, 9, 16, 17};
    const int before = lomo_alloc::Outstanding();
    for (const int32_t w : widths)
        for (const int32_t h : heights) {
            const LomoPicture src = RandomLomoPicture(w, h, 3 * w + 2, w * 64 + h);
            for (const int32_t s : {0, 50, 100}) {
                LomoPicture dst = Destination(src);
                ASSERT_EQ(LomoLensWarp(src.bytes.data(), w, h, src.lineBytes, dst.data(), s), 1);
                ASSERT_EQ(dst.bytes, lomo_model::LensWarp(src, Destination(src), s).bytes) << w << "x" << h;
                for (const double sigma : {0.0, 0.3, 1.0, 4.0, 99.0}) {
                    dst = Destination(src);
                    ASSERT_EQ(LomoRadialBlur(src.bytes.data(), w, h, src.lineBytes, dst.data(), s, sigma), 1);
                    const LomoPicture want = sigma > 0 ? lomo_model::RadialBlur(src, Destination(src), s, sigma).out : src;
                    ASSERT_EQ(dst.bytes, want.bytes) << w << "x" << h << " sigma " << sigma << " strength " << s;
                }
                for (const int32_t levels : {0, 1, 2, 3, 8}) {
                    dst = Destination(src);
                    ASSERT_EQ(LomoPyramidSoftFocus(src.bytes.data(), w, h, src.lineBytes, dst.data(), levels, s), 1);
                    const bool copies = levels == 0 || w < 2 || h < 2;
                    const LomoPicture want = copies ? src : lomo_model::SoftFocus(src, Destination(src), levels, s);
                    ASSERT_EQ(dst.bytes, want.bytes) << w << "x" << h << " levels " << levels << " strength " << s;
                }
            }
        }
    EXPECT_EQ(lomo_alloc::Outstanding(), before);
}

// Every size from 1 x 1 to 33 x 17: each effect runs, writes no byte past a row's pixels (the
// whole-buffer copies aside) and releases everything it allocated.
TEST(LomoWarpMemory, EverySmallSizeRunsAndReleasesItsBuffers) {
    const int before = lomo_alloc::Outstanding();
    for (int32_t w = 1; w <= 33; ++w)
        for (int32_t h = 1; h <= 17; ++h) {
            const LomoPicture src = RandomLomoPicture(w, h, 3 * w + 1, w * 17 + h);
            auto tailsKept = [&](const LomoPicture &d) {
                for (int32_t y = 0; y < h; ++y)
                    if (d.bytes[static_cast<size_t>(y) * d.lineBytes + 3 * w] != 0x5A) return false;
                return true;
            };
            for (const int32_t s : {0, 50, 100}) {
                LomoPicture dst = Destination(src);
                ASSERT_EQ(LomoLensWarp(src.bytes.data(), w, h, src.lineBytes, dst.data(), s), 1);
                ASSERT_TRUE(s == 0 || tailsKept(dst)) << w << "x" << h;
                for (const double sigma : {0.3, 1.0, 4.0, 99.0}) {
                    dst = Destination(src);
                    ASSERT_EQ(LomoRadialBlur(src.bytes.data(), w, h, src.lineBytes, dst.data(), s, sigma), 1);
                    ASSERT_TRUE(tailsKept(dst)) << w << "x" << h << " sigma " << sigma;
                }
                for (const int32_t levels : {2, 5, 8}) {
                    dst = Destination(src);
                    ASSERT_EQ(LomoPyramidSoftFocus(src.bytes.data(), w, h, src.lineBytes, dst.data(), levels, s), 1);
                    ASSERT_TRUE(w < 2 || h < 2 || tailsKept(dst)) << w << "x" << h << " levels " << levels;
                }
            }
        }
    EXPECT_EQ(lomo_alloc::Outstanding(), before);
}

}  // namespace

// The lens warp and the radial blur: their factors, the documented cases and a model of each.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/effects/lomo_warp_models.h"
#include "effects/lomo_memory.h"
#include "effects/lomo_warp_kernels.h"
#include "effects/lomo_warp_tables.h"

namespace {

// A destination whose bytes, tails included, differ from anything a kernel writes by chance.
LomoPicture Destination(const LomoPicture &like) {
    LomoPicture d = like;
    std::fill(d.bytes.begin(), d.bytes.end(), 0x5A);
    return d;
}

// Tail bytes are left as they were.
void ExpectTailsKept(const LomoPicture &p, uint8_t fill) {
    for (int32_t y = 0; y < p.height; ++y)
        for (int32_t b = 3 * p.width; b < p.lineBytes; ++b)
            ASSERT_EQ(p.bytes[static_cast<size_t>(y) * p.lineBytes + b], fill) << y;
}

TEST(LomoRadialWeights, CentreAndCornerValues) {
    const struct {
        double corner;
        int32_t at0, at50, at100;
    } cases[] = {{kLomoBlurCornerValue, 205, 128, 51}, {kLomoSoftFocusCornerValue, 230, 141, 51}};
    for (const auto &c : cases) {
        EXPECT_EQ(LomoRadialNodeWeight(0.0, 0, c.corner), c.at0);
        EXPECT_EQ(LomoRadialNodeWeight(0.0, 50, c.corner), c.at50);
        EXPECT_EQ(LomoRadialNodeWeight(0.0, 100, c.corner), c.at100);
        for (const int32_t s : {0, 50, 100}) EXPECT_EQ(LomoRadialNodeWeight(1.0, s, c.corner), c.at0);
    }
    // The grid of a 64 x 64 picture has a node on the centre (32, 32) and one on the corner.
    for (const int32_t s : {0, 50, 100}) {
        const LomoWeightGrid g = BuildLomoWeightGrid(64, 64, s, kLomoBlurCornerValue);
        ASSERT_NE(g.weights, nullptr);
        EXPECT_EQ(g.nodesPerRow, 5);
        EXPECT_EQ(g.nodeRows, 5);
        EXPECT_EQ(g.weights[2 * 5 + 2], LomoRadialNodeWeight(0.0, s, 0.8));
        EXPECT_EQ(g.weights[0], 205);
        for (int32_t i = 0; i < 25; ++i)
            EXPECT_EQ(g.weights[i], lomo_model::RadialWeight(i % 5, i / 5, 64, 64, s, 0.8)) << i;
        LomoFree(g.weights);
    }
}

TEST(LomoBlurKernel, TapsAndLimits) {
    LomoBlurKernel k;
    ASSERT_EQ(BuildLomoBlurKernel(1.0, &k), 1);
    EXPECT_EQ(k.radius, 2);
    const int32_t want[] = {35, 155, 256, 155, 35};
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(k.taps[i], want[i]) << i;
    EXPECT_EQ(k.tapSum, 636u);
    EXPECT_EQ(k.shift, 0);  // 636^2 is under 2^24 + 256
    EXPECT_EQ(k.reciprocal, (1u << 24) / (636u * 636u >> 8));
    ASSERT_EQ(BuildLomoBlurKernel(0.3, &k), 1);
    EXPECT_EQ(k.radius, 1);
    EXPECT_EQ(k.taps[0], 1);
    ASSERT_EQ(BuildLomoBlurKernel(8.0, &k), 1);
    EXPECT_EQ(k.radius, 16);
    EXPECT_EQ(k.shift, 8);  // a tap sum of 4932 squares past 2^24 + 256
    EXPECT_EQ(k.reciprocal, (1u << 24) / (((4932u * 4932u >> 8) + 128) >> 8));
    ASSERT_EQ(BuildLomoBlurKernel(99.0, &k), 1);
    EXPECT_LE(k.tapSum, 65535u);
    // Past about 107 the tap sum no longer fits the 16-bit planes.
    ASSERT_EQ(BuildLomoBlurKernel(106.0, &k), 1);
    EXPECT_LE(k.tapSum, 65535u);
    EXPECT_EQ(BuildLomoBlurKernel(108.0, &k), 0);
    EXPECT_EQ(BuildLomoBlurKernel(1e9, &k), 0);
}

TEST(LomoLensWarp, StrengthZeroCopiesTheWholeBuffer) {
    for (const int32_t s : {0, -40}) {
        const LomoPicture src = RandomLomoPicture(37, 21, 3 * 37 + 5, 11);
        LomoPicture dst = Destination(src);
        ASSERT_EQ(LomoLensWarp(src.bytes.data(), 37, 21, src.lineBytes, dst.data(), s), 1);
        EXPECT_EQ(dst.bytes, src.bytes) << s;
    }
}

// Strength 100 on a square: the lens is the inscribed circle, everything outside it is black,
// and about the centre each destination step moves half a step in the source.
TEST(LomoLensWarp, StrengthHundredMagnifiesTheCentreTwiceInsideTheInscribedCircle) {
    constexpr int32_t n = 200, c = 100;
    LomoPicture src = FlatLomoPicture(n, n, 0, 0, 0);
    for (int32_t y = 0; y < n; ++y)
        for (int32_t x = 0; x < n; ++x) {
            src.pixel(x, y)[0] = static_cast<uint8_t>(1 + x);
            src.pixel(x, y)[1] = static_cast<uint8_t>(1 + y);
            src.pixel(x, y)[2] = 128;
        }
    LomoPicture dst = Destination(src);
    ASSERT_EQ(LomoLensWarp(src.bytes.data(), n, n, src.lineBytes, dst.data(), 100), 1);
    int32_t inside = 0;
    for (int32_t y = 0; y < n; ++y)
        for (int32_t x = 0; x < n; ++x) {
            const uint8_t *p = dst.pixel(x, y);
            const int32_t d2 = (x - c) * (x - c) + (y - c) * (y - c);
            if (d2 > c * c) {
                ASSERT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0) << x << "," << y;
            } else if (d2 < 90 * 90) {
                ASSERT_EQ(p[2], 128) << x << "," << y;  // a source pixel, not the surround
                ++inside;
            }
        }
    EXPECT_GT(inside, 25000);
    // The source column read at centre + dx is about centre + dx * (0.5 + 0.5 |dx| / 100).
    for (const int32_t dx : {-8, -4, -2, 2, 4, 8}) {
        const double f = 0.5 + 0.5 * std::abs(dx) / 100.0;
        EXPECT_NEAR(dst.pixel(c + dx, c)[0] - 1, c + dx * f, 1.0) << dx;
        EXPECT_NEAR(dst.pixel(c, c + dx)[1] - 1, c + dx * f, 1.0) << dx;
    }
    EXPECT_NEAR(dst.pixel(c, c)[0] - 1, c, 1.0);
    ExpectTailsKept(dst, 0x5A);
}

TEST(LomoLensWarp, AgreesWithTheModel) {
    const int32_t sizes[][2] = {{1, 1}, {2, 3}, {5, 4}, {16, 16}, {17, 9}, {33, 17}, {40, 70}, {120, 35}};
    for (const auto &size : sizes)
        for (const int32_t s : {1, 37, 50, 100}) {
            const int32_t w = size[0], h = size[1];
            const LomoPicture src = RandomLomoPicture(w, h, 3 * w + 4, w * 100 + h + s);
            LomoPicture dst = Destination(src);
            ASSERT_EQ(LomoLensWarp(src.bytes.data(), w, h, src.lineBytes, dst.data(), s), 1);
            const LomoPicture want = lomo_model::LensWarp(src, Destination(src), s);
            ASSERT_EQ(dst.bytes, want.bytes) << w << "x" << h << " strength " << s;
        }
}

// The lens circle's edge: a pixel is black past the squared radius rounded to the nearest
// whole number. The counts of black pixels of a white picture hold that edge at sizes and
// strengths whose squared radius has a fraction on either side of one half.
TEST(LomoLensWarp, BlackRimCounts) {
    const struct {
        int32_t w, h, strength;
        int64_t black;
    } cases[] = {
        {101, 77, 10, 962},  {101, 77, 39, 1576}, {64, 48, 70, 954},
        {120, 35, 63, 1960}, {33, 17, 70, 215},   {200, 150, 25, 5260},
    };
    for (const auto &c : cases) {
        const LomoPicture src = FlatLomoPicture(c.w, c.h, 255, 255, 255);
        LomoPicture dst = Destination(src);
        ASSERT_EQ(LomoLensWarp(src.bytes.data(), c.w, c.h, src.lineBytes, dst.data(), c.strength),
                  1);
        int64_t black = 0;
        for (int32_t y = 0; y < c.h; ++y)
            for (int32_t x = 0; x < c.w; ++x) {
                const uint8_t *p = dst.pixel(x, y);
                black += p[0] == 0 && p[1] == 0 && p[2] == 0;
            }
        EXPECT_EQ(black, c.black) << c.w << "x" << c.h << " strength " << c.strength;
    }
}

// Past 32,767 pixels the mesh's fixed-point sums need more than 32 bits: a picture 70,000
// pixels wide still warps as the model says, and its centre reads the centre of the source.
TEST(LomoLensWarp, VeryWidePicturesKeepTheirMeshSumsExact) {
    constexpr int32_t w = 70000, h = 3;
    LomoPicture src = FlatLomoPicture(w, h, 0, 0, 0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            src.pixel(x, y)[0] = static_cast<uint8_t>(x);
            src.pixel(x, y)[1] = static_cast<uint8_t>(x >> 8);
            src.pixel(x, y)[2] = 200;
        }
    for (const int32_t s : {30, 100}) {
        LomoPicture dst = Destination(src);
        ASSERT_EQ(LomoLensWarp(src.bytes.data(), w, h, src.lineBytes, dst.data(), s), 1);
        const LomoPicture want = lomo_model::LensWarp(src, Destination(src), s);
        ASSERT_EQ(dst.bytes, want.bytes) << s;
        const uint8_t *centre = dst.pixel(w / 2, 1);
        EXPECT_EQ(centre[2], 200) << s;
        EXPECT_NEAR(centre[0] + 256 * centre[1], w / 2, 2) << s;
    }
}

TEST(LomoRadialBlur, StrengthZeroBlendsTheBlurAt205Everywhere) {
    const LomoPicture src = RandomLomoPicture(70, 45, 3 * 70 + 2, 5);
    LomoPicture dst = Destination(src);
    ASSERT_EQ(LomoRadialBlur(src.bytes.data(), 70, 45, src.lineBytes, dst.data(), 0, 1.5), 1);
    const lomo_model::BlurResult model = lomo_model::RadialBlur(src, Destination(src), 0, 1.5);
    for (int32_t y = 0; y < 45; ++y)
        for (int32_t b = 0; b < 3 * 70; ++b) {
            const int32_t s = src.bytes[y * src.lineBytes + b];
            ASSERT_EQ(dst.bytes[y * dst.lineBytes + b], (model.blurred.at(b, y) * 205 + s * 51) >> 8)
                << b << "," << y;
        }
    ExpectTailsKept(dst, 0x5A);
}

TEST(LomoRadialBlur, StrengthHundredKeeps205OfTheSourceInTheCentreCell) {
    const LomoPicture src = RandomLomoPicture(64, 64, 3 * 64, 6);
    LomoPicture dst = Destination(src);
    ASSERT_EQ(LomoRadialBlur(src.bytes.data(), 64, 64, src.lineBytes, dst.data(), 100, 2.0), 1);
    const lomo_model::BlurResult model = lomo_model::RadialBlur(src, Destination(src), 100, 2.0);
    // The node at the centre (32, 32) serves the cell 32..47 x 32..47.
    for (int32_t y = 32; y < 48; ++y)
        for (int32_t b = 3 * 32; b < 3 * 48; ++b) {
            const int32_t s = src.bytes[y * src.lineBytes + b];
            ASSERT_EQ(dst.bytes[y * dst.lineBytes + b], (model.blurred.at(b, y) * 51 + s * 205) >> 8);
        }
}

TEST(LomoRadialBlur, AgreesWithTheModel) {
    const int32_t sizes[][2] = {{1, 1}, {2, 3}, {5, 4}, {9, 17}, {17, 9}, {33, 17}, {50, 40}, {170, 23}};
    for (const auto &size : sizes)
        for (const double sigma : {0.3, 1.0, 2.6, 4.0})
            for (const int32_t s : {0, 50, 100}) {
                const int32_t w = size[0], h = size[1];
                const LomoPicture src = RandomLomoPicture(w, h, 3 * w + 3, w * 7 + h + s);
                LomoPicture dst = Destination(src);
                ASSERT_EQ(LomoRadialBlur(src.bytes.data(), w, h, src.lineBytes, dst.data(), s, sigma), 1);
                const lomo_model::BlurResult want = lomo_model::RadialBlur(src, Destination(src), s, sigma);
                ASSERT_EQ(dst.bytes, want.out.bytes) << w << "x" << h << " sigma " << sigma << " strength " << s;
            }
}

// No blur (sigma 0 or less) is the picture itself: the destination becomes a copy instead of
// being left as it was.
TEST(LomoRadialBlur, SigmaZeroOrLessCopiesTheSource) {
    for (const double sigma : {0.0, -0.0, -0.2, -5.0}) {
        const LomoPicture src = RandomLomoPicture(23, 19, 3 * 23 + 1, 9);
        LomoPicture dst = Destination(src);
        ASSERT_EQ(LomoRadialBlur(src.bytes.data(), 23, 19, src.lineBytes, dst.data(), 50, sigma), 1);
        EXPECT_EQ(dst.bytes, src.bytes) << sigma;
    }
}

// A sigma whose tap sums overflow the 16-bit working planes, or no number at all, is refused
// and the destination left alone.
TEST(LomoRadialBlur, OverflowingSigmaIsRefused) {
    const LomoPicture src = RandomLomoPicture(40, 30, 3 * 40, 10);
    for (const double sigma : {108.0, 150.0, 1e300, std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()}) {
        LomoPicture dst = Destination(src);
        EXPECT_EQ(LomoRadialBlur(src.bytes.data(), 40, 30, src.lineBytes, dst.data(), 50, sigma), 0) << sigma;
        EXPECT_EQ(dst.bytes, Destination(src).bytes) << sigma;
    }
    LomoPicture dst = Destination(src);
    EXPECT_EQ(LomoRadialBlur(src.bytes.data(), 40, 30, src.lineBytes, dst.data(), 50, 99.0), 1);
}

// The edge quotient is clamped to 255 instead of keeping its low 8 bits (256 would become a
// black byte); a weight under 256 keeps the source byte.
TEST(LomoRadialBlur, EdgeQuotientIsClampedTo255) {
    EXPECT_EQ(LomoBlurEdgeQuotient(256 * 300, 300 << 8, 7), 255);
    EXPECT_EQ(LomoBlurEdgeQuotient(4000 * 300, 300 << 8, 7), 255);
    EXPECT_EQ(LomoBlurEdgeQuotient(255 * 300 + 299, (300 << 8) + 255, 7), 255);
    EXPECT_EQ(LomoBlurEdgeQuotient(100 * 300, 300 << 8, 7), 100);
    EXPECT_EQ(LomoBlurEdgeQuotient(5000, 255, 7), 7);
    // In the blur itself the truncating horizontal pass keeps every edge quotient within 255: a
    // white picture stays white at the edges too, whatever the sigma.
    for (const double sigma : {0.3, 0.6, 1.0, 2.6, 4.0, 7.3, 30.0}) {
        const LomoPicture src = FlatLomoPicture(41, 29, 255, 255, 255);
        LomoPicture dst = Destination(src);
        ASSERT_EQ(LomoRadialBlur(src.bytes.data(), 41, 29, src.lineBytes, dst.data(), 60, sigma), 1);
        const lomo_model::BlurResult model = lomo_model::RadialBlur(src, Destination(src), 60, sigma);
        EXPECT_EQ(model.quotientsOver255, 0);
        EXPECT_EQ(dst.bytes, model.out.bytes) << sigma;
        for (int32_t y = 0; y < 29; ++y)
            for (int32_t x = 0; x < 41; ++x)
                for (int c = 0; c < 3; ++c) ASSERT_GE(dst.pixel(x, y)[c], 250) << sigma << " " << x << "," << y;
    }
}

TEST(LomoWarpKernels, NegativeStrengthsCountAsZeroAndOverHundredAsHundred) {
    const LomoPicture src = RandomLomoPicture(30, 20, 3 * 30, 12);
    LomoPicture a = Destination(src), b = Destination(src);
    ASSERT_EQ(LomoRadialBlur(src.bytes.data(), 30, 20, src.lineBytes, a.data(), -70, 1.0), 1);
    ASSERT_EQ(LomoRadialBlur(src.bytes.data(), 30, 20, src.lineBytes, b.data(), 0, 1.0), 1);
    EXPECT_EQ(a.bytes, b.bytes);
    ASSERT_EQ(LomoRadialBlur(src.bytes.data(), 30, 20, src.lineBytes, a.data(), 250, 1.0), 1);
    ASSERT_EQ(LomoRadialBlur(src.bytes.data(), 30, 20, src.lineBytes, b.data(), 100, 1.0), 1);
    EXPECT_EQ(a.bytes, b.bytes);
    ASSERT_EQ(LomoLensWarp(src.bytes.data(), 30, 20, src.lineBytes, a.data(), 400), 1);
    ASSERT_EQ(LomoLensWarp(src.bytes.data(), 30, 20, src.lineBytes, b.data(), 100), 1);
    EXPECT_EQ(a.bytes, b.bytes);
}

TEST(LomoWarpKernels, RefuseBadPictures) {
    LomoPicture src = RandomLomoPicture(10, 10, 30, 13);
    LomoPicture dst = Destination(src);
    const uint8_t *s = src.bytes.data();
    EXPECT_EQ(LomoLensWarp(nullptr, 10, 10, 30, dst.data(), 50), 0);
    EXPECT_EQ(LomoLensWarp(s, 10, 10, 30, nullptr, 50), 0);
    EXPECT_EQ(LomoLensWarp(s, 10, 10, 29, dst.data(), 50), 0);
    EXPECT_EQ(LomoRadialBlur(s, 10, 10, 30, src.data(), 50, 1.0), 0);        // in place
    EXPECT_EQ(LomoRadialBlur(s, 10, 10, 30, src.data() + 30, 50, 1.0), 0);   // overlapping
    EXPECT_EQ(LomoPyramidSoftFocus(s, 10, 10, 30, src.data() + 297, 3, 50), 0);
    EXPECT_EQ(dst.bytes, Destination(src).bytes);
    EXPECT_EQ(LomoLensWarp(s, 0, 10, 30, dst.data(), 50), 1);  // nothing to do
    EXPECT_EQ(LomoRadialBlur(s, 10, -1, 30, dst.data(), 50, 1.0), 1);
    EXPECT_EQ(dst.bytes, Destination(src).bytes);
}

}  // namespace

// Greyscale, lens tint and vignette: their factors and what they do to known pixels.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/effects/lomo_support.h"
#include "effects/lomo_kernels.h"
#include "effects/lomo_tables.h"

namespace {

// Every (B, G, R) on a coarse grid of levels, ends included.
LomoPicture ColourSweep() {
    constexpr int32_t kSteps = 18;  // levels 0, 15, ..., 255
    LomoPicture p = FlatLomoPicture(kSteps * kSteps, kSteps, 0, 0, 0);
    for (int32_t i = 0; i < kSteps * kSteps * kSteps; ++i) {
        uint8_t *px = p.pixel(i % (kSteps * kSteps), i / (kSteps * kSteps));
        px[0] = static_cast<uint8_t>(15 * (i % kSteps));
        px[1] = static_cast<uint8_t>(15 * (i / kSteps % kSteps));
        px[2] = static_cast<uint8_t>(15 * (i / (kSteps * kSteps)));
    }
    return p;
}

TEST(LomoGrayscale, WhiteStaysWhiteAndGreysKeepTheirLevel) {
    LomoPicture p = FlatLomoPicture(256, 1, 0, 0, 0);
    for (int32_t x = 0; x < 256; ++x) std::fill(p.pixel(x, 0), p.pixel(x, 0) + 3, x);
    const LomoPicture before = p;
    ASSERT_EQ(LomoGrayscale(p.data(), 256, 1, p.lineBytes), 1);
    EXPECT_EQ(p.bytes, before.bytes);  // 255 included
}

TEST(LomoLensTint, OpacityWeight) {
    const struct {
        int32_t opacity, weight;
    } cases[] = {{0, 0}, {1, 10}, {50, 512}, {99, 1014}, {100, 1024}, {150, 1024}, {-5, 0}};
    for (const auto &c : cases) EXPECT_EQ(LomoTintOpacityWeight(c.opacity), c.weight) << c.opacity;
}

TEST(LomoLensTint, OpacityZeroNeverTints) {
    for (const int32_t keep : {0, 1}) {
        LomoPicture p = ColourSweep();
        const LomoPicture before = p;
        ASSERT_EQ(LomoLensTint(p.data(), p.width, p.height, p.lineBytes, 255, 0, 0, 0, keep), 1);
        ASSERT_EQ(LomoLensTint(p.data(), p.width, p.height, p.lineBytes, 0, 90, 200, -20, keep), 1);
        EXPECT_EQ(p.bytes, before.bytes) << keep;
    }
}

TEST(LomoLensTint, KeepLumaWeight) {
    for (int32_t y = 0; y <= 85; ++y) EXPECT_EQ(LomoKeepLumaWeight(y), 0) << y;
    EXPECT_EQ(LomoKeepLumaWeight(86), 1);
    EXPECT_EQ(LomoKeepLumaWeight(255), 254);
}

// Keep-luminosity moves each pixel's luma only by the floors of the three output channels:
// by at most 1 for all but a few strongly recoloured pixels, never by more than 2, unless a
// channel was clipped. Without it a dark lens darkens the picture.
TEST(LomoLensTint, KeepLuminosityKeepsTheLuma) {
    const uint8_t lenses[][3] = {{255, 128, 0}, {0, 0, 255}, {10, 200, 90}, {0, 0, 0}};
    for (const auto &lens : lenses)
        for (const int32_t opacity : {50, 100}) {
            LomoPicture p = ColourSweep();
            const LomoPicture before = p;
            ASSERT_EQ(LomoLensTint(p.data(), p.width, p.height, p.lineBytes, lens[0], lens[1],
                                   lens[2], opacity, 1),
                      1);
            int32_t unclipped = 0, offByTwo = 0;
            for (int32_t y = 0; y < p.height; ++y)
                for (int32_t x = 0; x < p.width; ++x) {
                    const uint8_t *px = p.pixel(x, y);
                    if (px[0] == 0 || px[0] == 255 || px[1] == 0 || px[1] == 255 || px[2] == 0 ||
                        px[2] == 255)
                        continue;
                    ++unclipped;
                    const int32_t d = std::abs(LomoLuma(px) - LomoLuma(before.pixel(x, y)));
                    ASSERT_LE(d, 2) << x << "," << y;
                    offByTwo += d == 2;
                }
            EXPECT_GT(unclipped, 1000);
            EXPECT_LE(offByTwo * 200, unclipped) << int(lens[0]) << "," << int(lens[1]) << ","
                                                 << int(lens[2]) << " at " << opacity;
        }

    LomoPicture grey = FlatLomoPicture(1, 1, 200, 200, 200);
    ASSERT_EQ(LomoLensTint(grey.data(), 1, 1, grey.lineBytes, 0, 0, 0, 50, 0), 1);
    EXPECT_LT(LomoLuma(grey.pixel(0, 0)), 110);  // half the light of a black lens
}

// A white pixel keeps almost its own chroma: it stays white within two levels whatever the lens.
TEST(LomoLensTint, WhiteStaysWhiteWithKeepLuminosity) {
    const uint8_t lenses[][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 0, 0}};
    for (const auto &lens : lenses) {
        LomoPicture p = FlatLomoPicture(1, 1, 255, 255, 255);
        ASSERT_EQ(LomoLensTint(p.data(), 1, 1, p.lineBytes, lens[0], lens[1], lens[2], 100, 1), 1);
        for (int c = 0; c < 3; ++c) EXPECT_GE(p.pixel(0, 0)[c], 253) << int(lens[0]) << "," << int(lens[1]);
    }
}

TEST(LomoVignette, CentreAndCornerGains) {
    // 9 x 9: centre (5, 5), squared corner distance 50 < 4096, so no shift and the corner entry
    // stands for the full corner distance.
    const struct {
        int32_t strength, corner;
    } cases[] = {{25, 512}, {50, 256}, {100, 64}};
    for (const auto &c : cases) {
        uint32_t gains[kLomoVignetteGainCount];
        const LomoVignetteGeometry g = BuildLomoVignetteGains(9, 9, c.strength, gains);
        EXPECT_EQ(g.cx, 5);
        EXPECT_EQ(g.cy, 5);
        EXPECT_EQ(g.shift, 0);
        ASSERT_EQ(g.lastIndex, 50);
        EXPECT_EQ(gains[0], 1024);
        EXPECT_EQ(gains[50], c.corner) << c.strength;
    }
    // 12 MP: the squared corner distance is scaled into the table.
    uint32_t gains[kLomoVignetteGainCount];
    const LomoVignetteGeometry g = BuildLomoVignetteGains(4032, 3024, 50, gains);
    EXPECT_EQ(g.shift, 11);
    EXPECT_EQ(g.lastIndex, (2016 * 2016 + 1512 * 1512) >> 11);
    EXPECT_EQ(gains[0], 1024);
    EXPECT_EQ(gains[g.lastIndex], 256);
}

TEST(LomoVignette, CentreKeepsItsValueAndCornersDarken) {
    LomoPicture p = FlatLomoPicture(9, 9, 200, 200, 200);
    ASSERT_EQ(LomoVignette(p.data(), 9, 9, p.lineBytes, 50), 1);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(p.pixel(5, 5)[c], 200);
        EXPECT_EQ(p.pixel(0, 0)[c], 50);  // a quarter
    }
}

TEST(LomoVignette, ZeroOrNegativeStrengthChangesNothing) {
    for (const int32_t strength : {0, -1, -100}) {
        LomoPicture p = RandomLomoPicture(7, 5, 23, 4);
        const LomoPicture before = p;
        EXPECT_EQ(LomoVignette(p.data(), 7, 5, 23, strength), 1);
        EXPECT_EQ(p.bytes, before.bytes) << strength;
    }
}

}  // namespace

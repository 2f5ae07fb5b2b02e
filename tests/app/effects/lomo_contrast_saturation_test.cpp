// Contrast curve and saturation: the figures of the curve, its fixed levels, and what
// saturation does to coloured and grey pixels.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/effects/lomo_support.h"
#include "effects/lomo_kernels.h"
#include "effects/lomo_tables.h"

namespace {

TEST(LomoContrastTable, KnownEntries) {
    const struct {
        int32_t contrast, level, value;
    } cases[] = {{50, 32, 24},   {50, 64, 48},   {50, 96, 88},  {50, 160, 168},
                 {50, 192, 208}, {50, 224, 232}, {-50, 64, 80}, {-50, 192, 176}};
    for (const auto &c : cases) {
        int32_t table[256];
        BuildLomoContrastTable(c.contrast, table);
        EXPECT_EQ(table[c.level], c.value) << c.contrast << " at " << c.level;
    }
}

// Every contrast the kernels accept gives a non-decreasing curve within 0..255 that keeps
// 0, 127, 128 and 255; values beyond the range act as its ends.
TEST(LomoContrastTable, FixedLevelsAndRangeForEveryContrast) {
    for (int32_t contrast = -200; contrast <= 199; ++contrast) {
        int32_t table[256];
        BuildLomoContrastTable(contrast, table);
        // At -200 (k = -1) the curve folds onto 128, so 127 moves.
        if (contrast > -200) {
            for (const int32_t level : {0, 127, 128, 255}) EXPECT_EQ(table[level], level) << contrast;
        }
        EXPECT_GE(table[0], 0) << contrast;
        EXPECT_LE(table[255], 255) << contrast;
        for (int32_t i = 1; i < 256; ++i) ASSERT_GE(table[i], table[i - 1]) << contrast << " at " << i;
    }
    const struct {
        int32_t given, acts;
    } clamped[] = {{200, 199}, {1000, 199}, {-201, -200}, {-100000, -200}};
    for (const auto &c : clamped) {
        int32_t given[256], acts[256];
        BuildLomoContrastTable(c.given, given);
        BuildLomoContrastTable(c.acts, acts);
        EXPECT_TRUE(std::equal(given, given + 256, acts)) << c.given;
    }
}

// The kernel keeps the fixed levels in every channel, whatever the contrast.
TEST(LomoContrastSaturation, ContrastKeepsFixedLevels) {
    LomoPicture p = FlatLomoPicture(4, 1, 0, 0, 0);
    const uint8_t levels[4][3] = {{0, 127, 128}, {255, 0, 127}, {128, 255, 0}, {127, 128, 255}};
    for (int32_t contrast = -199; contrast <= 199; ++contrast) {
        for (int x = 0; x < 4; ++x) std::copy(levels[x], levels[x] + 3, p.pixel(x, 0));
        ASSERT_EQ(LomoContrastSaturation(p.data(), 4, 1, p.lineBytes, contrast, 0), 1);
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(p.pixel(x, 0)[c], levels[x][c]) << contrast;
    }
}

TEST(LomoContrastSaturation, MinusHundredGivesTheGreyOfTheBrightestChannel) {
    LomoPicture p = RandomLomoPicture(31, 7, 95, 3);
    LomoPicture before = p;
    ASSERT_EQ(LomoContrastSaturation(p.data(), p.width, p.height, p.lineBytes, 0, -100), 1);
    for (int32_t y = 0; y < p.height; ++y)
        for (int32_t x = 0; x < p.width; ++x) {
            const uint8_t *was = before.pixel(x, y);
            const uint8_t m = std::max({was[0], was[1], was[2]});
            for (int c = 0; c < 3; ++c) ASSERT_EQ(p.pixel(x, y)[c], m) << x << "," << y;
        }
}

TEST(LomoContrastSaturation, GreyPixelsKeepTheirLevel) {
    for (const int32_t saturation : {-100, -37, 1, 50, 100}) {
        LomoPicture p = FlatLomoPicture(256, 1, 0, 0, 0);
        for (int32_t x = 0; x < 256; ++x) std::fill(p.pixel(x, 0), p.pixel(x, 0) + 3, x);
        const LomoPicture before = p;
        ASSERT_EQ(LomoContrastSaturation(p.data(), 256, 1, p.lineBytes, 0, saturation), 1);
        EXPECT_EQ(p.bytes, before.bytes) << saturation;
    }
}

// Positive saturation pushes the weaker channels away from the brightest one.
TEST(LomoContrastSaturation, PositiveSaturationSpreadsTheChannels) {
    LomoPicture p = FlatLomoPicture(1, 1, 100, 150, 200);
    ASSERT_EQ(LomoContrastSaturation(p.data(), 1, 1, p.lineBytes, 0, 100), 1);
    EXPECT_EQ(p.pixel(0, 0)[0], 0);    // 100 + (100 - 200)
    EXPECT_EQ(p.pixel(0, 0)[1], 100);  // 150 + (150 - 200)
    EXPECT_EQ(p.pixel(0, 0)[2], 200);
}

// A saturation outside -100..100 is refused after the contrast step, which still applies.
TEST(LomoContrastSaturation, OutOfRangeSaturationKeepsTheContrast) {
    for (const int32_t saturation : {150, -101}) {
        LomoPicture p = RandomLomoPicture(9, 5, 30, 8);
        LomoPicture contrastOnly = p;
        EXPECT_EQ(LomoContrastSaturation(p.data(), 9, 5, 30, 50, saturation), 0);
        EXPECT_EQ(LomoContrastSaturation(contrastOnly.data(), 9, 5, 30, 50, 0), 1);
        EXPECT_EQ(p.bytes, contrastOnly.bytes) << saturation;
    }
}

}  // namespace

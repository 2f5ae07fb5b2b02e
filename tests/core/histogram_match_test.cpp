// Histogram matching table, slope limiter, clip points and end shares.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "core/histogram_match.h"

namespace {

struct Histogram {
    int32_t bins[256] = {};
    Histogram &Add(int level, int32_t count) {
        bins[level] += count;
        return *this;
    }
};

// 100 pixels at each of the ten levels: the deciles are exactly those levels.
Histogram TenLevels(std::initializer_list<int> levels) {
    Histogram h;
    for (int level : levels) h.Add(level, 100);
    return h;
}

Histogram Uniform(int last, int32_t perLevel) {
    Histogram h;
    for (int v = 0; v <= last; ++v) h.Add(v, perLevel);
    return h;
}

std::vector<uint8_t> Match(const Histogram &source, const Histogram &target, int64_t n,
                           int32_t topFlag = 0, int32_t mode = 0) {
    std::vector<uint8_t> table(256, 0xEE);
    EXPECT_EQ(BuildHistogramMatchTable(table.data(), source.bins, target.bins, n, mode, topFlag),
              RESULT_OK);
    return table;
}

TEST(HistogramMatchTest, EqualHistogramsGiveTheIdentityUpToTheLastDecile) {
    const Histogram h = Uniform(199, 5);  // deciles 19, 39, ..., 199
    const std::vector<uint8_t> t = Match(h, h, 1000);
    for (int v = 0; v <= 199; ++v) EXPECT_EQ(t[v], v);
    for (int v = 200; v < 256; ++v) EXPECT_EQ(t[v], 199);
}

// All pixels at level 100: the knots still increase, 100..109, not ten times 100.
TEST(HistogramMatchTest, OneLevelSpikeGivesIncreasingKnots) {
    Histogram spike;
    spike.Add(100, 1000);
    const std::vector<uint8_t> t = Match(spike, spike, 1000);
    for (int v = 0; v <= 109; ++v) EXPECT_EQ(t[v], v);
    EXPECT_EQ(t[255], 109);
}

// Half the pixels at level 10 and half at 255: knots 10..14, then 255 for every later one, so
// one segment runs from 14 to 255; the darkest levels continue segment 2, cut at 0.
TEST(HistogramMatchTest, KnotsStayAt255OnceReached) {
    Histogram source;
    source.Add(10, 500).Add(255, 500);
    const Histogram target = Uniform(249, 4);  // T[k] = 25k - 1
    const std::vector<uint8_t> t = Match(source, target, 1000);
    EXPECT_EQ(t[14], 124);
    EXPECT_EQ(t[254], 124 + (240 * 25) / 241);
    EXPECT_EQ(t[255], 249);
    for (int v = 0; v < 10; ++v) EXPECT_EQ(t[v], 0) << v;  // 24 - (10 - v) x 25 <= 0
}

TEST(HistogramMatchTest, DarkestSegmentFollowsTheSecondSegment) {
    const Histogram source = TenLevels({20, 40, 60, 80, 100, 120, 140, 160, 180, 200});
    const Histogram target = TenLevels({30, 50, 70, 90, 110, 130, 150, 170, 190, 210});
    const std::vector<uint8_t> t = Match(source, target, 1000);
    for (int v = 0; v < 20; ++v) EXPECT_EQ(t[v], 10 + v) << v;  // not 3v / 2 from (0, 0)
    EXPECT_EQ(t[20], 30);
    EXPECT_EQ(t[30], 40);
}

// Last source knot under 240 is S[8] = 200 with the target below it (160): with the top flag
// the table heads for the identity at S[9] = 245, without it along the target's segment.
TEST(HistogramMatchTest, TopPartWithAndWithoutTheFlag) {
    const Histogram source = TenLevels({25, 50, 75, 100, 125, 150, 175, 200, 245, 250});
    const Histogram target = TenLevels({20, 40, 60, 80, 100, 120, 140, 160, 180, 200});
    const std::vector<uint8_t> toIdentity = Match(source, target, 1000, 1);
    const std::vector<uint8_t> alongTarget = Match(source, target, 1000, 0);
    EXPECT_EQ(toIdentity[245], 245);
    EXPECT_EQ(toIdentity[249], 160 + 49 * 85 / 45);
    EXPECT_EQ(alongTarget[245], 180);
    EXPECT_EQ(alongTarget[249], 160 + 49 * 20 / 45);
    for (int v : {250, 255}) {
        EXPECT_EQ(toIdentity[v], 200);
        EXPECT_EQ(alongTarget[v], 200);
    }
    EXPECT_EQ(toIdentity[199], alongTarget[199]);  // below S[8] both are the plain line
}

// 10% of the pixels at 0, 10% at 1 and the rest at 255: the knot after S[2] = 1 is 255 and
// so is the next, a segment of zero width. The darkest levels then continue the segment that
// ends at the first knot at or above 4, instead of dividing by zero.
TEST(HistogramMatchTest, ZeroWidthSegmentUsesItsNeighboursSlope) {
    Histogram source;
    source.Add(0, 100).Add(1, 100).Add(255, 800);
    const Histogram target = Uniform(249, 4);  // T[1..3] = 24, 49, 74
    const std::vector<uint8_t> t = Match(source, target, 1000);
    EXPECT_EQ(t[0], 74 - (255 * 25) / 254);
    EXPECT_EQ(t[254], 74);
    EXPECT_EQ(t[255], 249);
    for (int v = 1; v < 256; ++v) EXPECT_GE(t[v], t[v - 1]) << v;
}

TEST(HistogramMatchTest, SlopeLimitsHoldSegmentsBetweenAQuarterAndFour) {
    int32_t s[11] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    int32_t t[11] = {0, 50, 52, 60, 70, 80, 90, 100, 110, 120, 130};
    ASSERT_EQ(LimitMatchSlopes(s, t, 0), RESULT_OK);  // forward pass
    EXPECT_EQ(t[1], 40);                              // rise 50 over 10: lowered to 4 x 10
    EXPECT_EQ(s[2], 20);                              // rise 12 over 10: within the limits
    int32_t s2[11] = {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    int32_t t2[11] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 60};
    ASSERT_EQ(LimitMatchSlopes(s2, t2, 2), RESULT_OK);  // backward pass
    EXPECT_EQ(t2[9], 20);                               // rise 51 over 10: raised to 60 - 4 x 10
    EXPECT_EQ(s2[7], 76);  // rise 1 over 10: shortened to 4 x 1, and so on down to S[0]
    EXPECT_EQ(s2[0], 48);
    // Mode 2 in the table: the backward pass raises S[0] to 100 here; the levels below it
    // take T[0] instead of staying unwritten.
    const Histogram even = TenLevels({20, 40, 60, 80, 100, 120, 140, 160, 180, 200});
    const Histogram steep = TenLevels({1, 2, 3, 4, 5, 6, 7, 8, 9, 250});
    const std::vector<uint8_t> table = Match(even, steep, 1000, 0, 2);
    for (int v = 0; v < 100; ++v) EXPECT_EQ(table[v], 0) << v;
    for (int v = 1; v < 256; ++v) EXPECT_GE(table[v], table[v - 1]) << v;
}

TEST(HistogramSummaryTest, ClipPointsAndEndShares) {
    const ImageDesc image = {PIXEL_FORMAT_GRAY8, 64, 64, {}, {}};  // L = 1
    Histogram h;
    h.Add(3, 1).Add(7, 10).Add(200, 4084).Add(250, 1);
    int32_t high = -1, low = -1;
    ASSERT_EQ(FindHistogramClipPoints(&image, h.bins, &high, &low), RESULT_OK);
    EXPECT_EQ(low, 7);  // the single darkest pixel does not exceed L
    EXPECT_EQ(high, 200);
    Histogram empty;
    ASSERT_EQ(FindHistogramClipPoints(&image, empty.bins, &high, &low), RESULT_OK);
    EXPECT_EQ(high, 0);
    EXPECT_EQ(low, 0);
    ASSERT_EQ(ComputeHistogramEndShares(&image, h.bins, &high, &low), RESULT_OK);
    EXPECT_EQ(low, 100 * 11 / 4096);
    EXPECT_EQ(high, 100 * 4085 / 4096);
    // 48 million pixels: 100 x count passes 2^31.
    const ImageDesc large = {PIXEL_FORMAT_GRAY8, 8000, 6000, {}, {}};
    Histogram white;
    white.Add(255, 48000000);
    ASSERT_EQ(ComputeHistogramEndShares(&large, white.bins, &high, &low), RESULT_OK);
    EXPECT_EQ(high, 100);
    EXPECT_EQ(low, 0);
}

}  // namespace

// Exposure statistics: quantile levels, scene class and flags, ramps, tone tables and the
// chroma offsets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "core/exposure_stats.h"
#include "exposure_support.h"

namespace {

using exposure_test::Spike;
using exposure_test::TestSession;

const uint16_t *G = kGammaExpandTable;

// Three exposures on a 640 x 480 frame: N = 4800 samples, the thumbnail's total. Gains in
// Q10: darkest 4096, reference 1024, brightest 256 (no gain override fires).
struct StatsFixture : ::testing::Test {
    TestSession ts{640, 480};
    static constexpr int32_t kSamples = 4800;

    void SetUp() override {
        ts->exposureGainQ10[0] = 4096;
        ts->exposureGainQ10[1] = 1024;
        ts->exposureGainQ10[2] = 256;
    }
    void Histograms(std::initializer_list<int> dark, std::initializer_list<int> reference,
                    std::initializer_list<int> bright) {
        Spike(ts.Luma(0), dark, kSamples / static_cast<int32_t>(dark.size()));
        Spike(ts.Luma(1), reference, kSamples / static_cast<int32_t>(reference.size()));
        Spike(ts.Luma(2), bright, kSamples / static_cast<int32_t>(bright.size()));
    }
    int Run() { return ComputeExposureStatistics(0, ts.get()); }
    const int32_t *Thresholds() { return ts->sceneThresholds; }
};

TEST_F(StatsFixture, OneExposureWritesOnlyTheValueShift) {
    ts->exposureCount = 1;
    ts->sceneThresholds[0] = 77;
    ts->sceneClass = 2;
    ts->valueShift = 0;
    ASSERT_EQ(Run(), RESULT_OK);
    EXPECT_EQ(ts->valueShift, 2);
    EXPECT_EQ(ts->sceneThresholds[0], 77);
    EXPECT_EQ(ts->sceneClass, 2);
    EXPECT_EQ(ts.luts[0][100], 100);
}

// Independent normalized reference level k for a reference with QR[0] = 0 (16-quantiles).
uint32_t NormalizedReference(const int32_t *qr, int k) {
    const uint32_t top = (static_cast<uint32_t>(qr[16]) + 4095) >> 1;
    const uint32_t s = (top << 16) / static_cast<uint32_t>(qr[16]);
    const uint32_t factor = (static_cast<uint32_t>(k) * s + (17 - k) * 65536u) / 17;
    return (static_cast<uint32_t>(qr[k]) * factor) >> 16;
}

// Three identical mid-grey histograms: no scene class (the darkest levels are not low), the
// highlight flag set, the high index 16, and every table maps its quantile levels onto the
// reference's normalized curve (the brightest's on a scale of 4).
TEST_F(StatsFixture, IdenticalMidGreyHistograms) {
    Histograms({128}, {128}, {128});
    ASSERT_EQ(Run(), RESULT_OK);
    EXPECT_EQ(ts->sceneClass, 0);
    EXPECT_EQ(ts->statsLevelFlag, 0);
    EXPECT_EQ(ts->darkLacksHighlights, 1);
    EXPECT_EQ(ts->highQuantileIndex, 16);
    EXPECT_EQ(ts->valueShift, 2);
    EXPECT_EQ(ts->referenceValueShift, 0);
    EXPECT_EQ(Thresholds()[0], 224);  // the highlight flag: max(C[NR[15]], 224)
    EXPECT_EQ(Thresholds()[1], 224);
    int32_t qr[17] = {0};
    for (int k = 1; k <= 16; ++k) qr[k] = G[128 + k - 1];  // one level per quantile
    for (int k = 1; k <= 15; ++k) {
        const uint32_t nr = NormalizedReference(qr, k);
        EXPECT_EQ(ts.luts[1][qr[k]], nr) << k;
        EXPECT_EQ(ts.luts[0][qr[k]], nr) << k;
        EXPECT_EQ(ts.luts[2][qr[k]], 4 * nr) << k;
    }
    for (int e = 0; e < 3; ++e)
        for (int j = 1; j < 4096; ++j) ASSERT_GE(ts.luts[e][j], ts.luts[e][j - 1]) << e << " " << j;
}

TEST_F(StatsFixture, NearBlackDarkestSetsTheLevelFlag) {
    Spike(ts.Luma(0), {0}, 0);
    ts.Luma(0)[0] = kSamples * 9 / 10;
    ts.Luma(0)[1] = kSamples / 10;
    Spike(ts.Luma(1), {128}, kSamples);
    Spike(ts.Luma(2), {200}, kSamples);
    ASSERT_EQ(Run(), RESULT_OK);
    EXPECT_EQ(ts->statsLevelFlag, 1);
}

// A reference whose 15th quantile is above 223: no highlight flag, and the high ramp starts
// at the last reference quantile not above level 240 (quantile 11, level 240).
TEST_F(StatsFixture, BrightReferenceClearsTheHighlightFlag) {
    Histograms({60}, {230}, {20});
    ASSERT_EQ(Run(), RESULT_OK);
    EXPECT_EQ(ts->highQuantileIndex, 11);
    EXPECT_EQ(Thresholds()[0], 240);
    EXPECT_EQ(Thresholds()[1], 224);
    EXPECT_EQ(Thresholds()[2], 16);
}

TEST_F(StatsFixture, CloseReferenceAndDarkestGainsRaiseTheHighRamp) {
    Histograms({128}, {128}, {128});
    ts->exposureGainQ10[1] = 800;  // 12 x 800 > 10 x 900 and 800 > 768
    ts->exposureGainQ10[0] = 900;
    ASSERT_EQ(Run(), RESULT_OK);
    EXPECT_EQ(Thresholds()[0], 256);
    EXPECT_EQ(Thresholds()[1], 256);
}

// On frames of at most 199999 samples, large chroma offsets between the reference and the
// brightest exposure clear the low ramp and the offsets; small ones are kept.
TEST_F(StatsFixture, ChromaOffsetsOnSmallFrames) {
    Histograms({128}, {128}, {20, 200});  // a brightest floor low enough to keep the low ramp
    Spike(ts.histograms[1][1], {150}, kSamples);
    Spike(ts.histograms[2][1], {120}, kSamples);
    ASSERT_EQ(Run(), RESULT_OK);
    EXPECT_EQ(ts->refBrightChromaOffsetU, 0);
    EXPECT_EQ(ts->refBrightChromaOffsetV, 0);
    EXPECT_EQ(Thresholds()[3], 0);
    EXPECT_EQ(Thresholds()[4], 0);

    Spike(ts.histograms[1][1], {130}, kSamples);
    Spike(ts.histograms[2][1], {128}, kSamples);
    Spike(ts.histograms[1][2], {100}, kSamples);
    Spike(ts.histograms[2][2], {103}, kSamples);
    ASSERT_EQ(Run(), RESULT_OK);
    EXPECT_EQ(ts->refBrightChromaOffsetU, 2);
    EXPECT_EQ(ts->refBrightChromaOffsetV, -3);
    EXPECT_EQ(Thresholds()[3], 128);  // C[QR[1]]: the reference's first quantile
    EXPECT_EQ(Thresholds()[4], 160);
}

// Empty U and V histograms (as the preparation leaves them) give offsets of 0.
TEST_F(StatsFixture, EmptyChromaHistogramsGiveZeroOffsets) {
    Histograms({128}, {128}, {128});
    ts->refBrightChromaOffsetU = 55;
    ASSERT_EQ(Run(), RESULT_OK);
    EXPECT_EQ(ts->refBrightChromaOffsetU, 0);
    EXPECT_EQ(ts->refBrightChromaOffsetV, 0);
}

// Deep shadows whose low ramp would end at level 0: the ramp keeps a length of one level
// (step 256) instead of shifting by a negative amount.
TEST_F(StatsFixture, DeepShadowRampAtLevelZero) {
    Spike(ts.Luma(0), {0, 255}, kSamples / 2);
    Spike(ts.Luma(1), {0}, kSamples);
    Spike(ts.Luma(2), {200}, kSamples);
    ASSERT_EQ(Run(), RESULT_OK);
    EXPECT_EQ(ts->deepShadowFlag, 0);  // 2, then cleared by the ramp
    EXPECT_EQ(Thresholds()[4], 0);
    EXPECT_EQ(Thresholds()[3], -1);
    EXPECT_EQ(ts->lowRampStep, 256);
    EXPECT_EQ(ts->lowQuantileIndex, 0);
}

// The deep-shadow test looks at the darkest's sixth normalized quantile: with 6/16 of the
// samples black it is black and the low ramp takes the deep-shadow form (its step from the
// bits of its level); with 5/16 only the fifth is black and the ramp keeps its plain step 8.
TEST_F(StatsFixture, DeepShadowLooksAtTheSixthQuantile) {
    for (const int32_t blackSixteenths : {5, 6}) {
        std::fill_n(ts.Luma(0), 256, 0);
        ts.Luma(0)[0] = kSamples / 16 * blackSixteenths;
        ts.Luma(0)[200] = kSamples - ts.Luma(0)[0];
        Spike(ts.Luma(1), {128}, kSamples);
        Spike(ts.Luma(2), {200}, kSamples);
        ts->sceneClass = 0;
        ts->deepShadowFlag = 0;
        ASSERT_EQ(Run(), RESULT_OK);
        EXPECT_EQ(ts->sceneClass, 0);
        if (blackSixteenths == 5) {
            EXPECT_EQ(ts->lowRampStep, 8);
            EXPECT_EQ(Thresholds()[4], Thresholds()[3] + 32);
        } else {
            EXPECT_NE(ts->lowRampStep, 8) << Thresholds()[3] << " " << Thresholds()[4];
        }
    }
}

// A scene class 3 left from an earlier run with a low index of 0: the low ramp's quantile is
// held at 0 instead of -1.
TEST_F(StatsFixture, StaleClassThreeKeepsTheLowIndexInRange) {
    ts->sceneClass = 3;
    Histograms({128}, {128}, {200});
    ASSERT_EQ(Run(), RESULT_OK);
    EXPECT_EQ(ts->lowQuantileIndex, 0);
    EXPECT_EQ(Thresholds()[3], 0);
    EXPECT_EQ(Thresholds()[4], 64);
    EXPECT_EQ(ts->lowRampStep, 4);
    EXPECT_EQ(ts->sceneClass, 1);  // small frame: class 3 becomes 1
}

TEST_F(StatsFixture, ArgumentChecks) {
    Histograms({128}, {128}, {128});
    ts->brightIndex = 3;
    EXPECT_EQ(Run(), RESULT_INVALID_ARGUMENT);
    ts->brightIndex = 2;
    ts->histograms[1] = nullptr;
    EXPECT_EQ(Run(), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ComputeExposureStatistics(0, nullptr), RESULT_INVALID_ARGUMENT);
}

// The scan for the first quantile starts at level 0; a quantile the running count never
// reaches (the histogram holds fewer samples than N) takes level 255.
TEST(QuantileLevelsTest, ScanStartsAtZeroAndUnreachedLevelsAre255) {
    int32_t h[256];
    int32_t levels[17];
    Spike(h, {0}, 1000);
    ASSERT_EQ(FindQuantileLevels(levels, 16, h, 1000), RESULT_OK);
    for (int k = 1; k <= 16; ++k) EXPECT_EQ(levels[k], k - 1);
    // 144 samples against N = 156 (a 100 x 100 frame): quantile 15 needs 146.
    Spike(h, {100}, 144);
    ASSERT_EQ(FindQuantileLevels(levels, 16, h, 156), RESULT_OK);
    for (int k = 1; k <= 14; ++k) EXPECT_EQ(levels[k], 99 + k);
    EXPECT_EQ(levels[15], 255);
    EXPECT_EQ(levels[16], 255);
}

// A caller's pixel count may exceed what the histogram can hold, up to the largest int64:
// the thresholds are computed without overflow and are then out of reach.
TEST(QuantileLevelsTest, HugePixelCountsReachNoThreshold) {
    int32_t h[256];
    std::fill(std::begin(h), std::end(h), INT32_MAX);
    for (int64_t n : {(int64_t{1} << 59) + 1, int64_t{1} << 62, INT64_MAX}) {
        int32_t levels[21];
        ASSERT_EQ(FindQuantileLevels(levels, 20, h, n), RESULT_OK);
        EXPECT_EQ(levels[0], 0);
        for (int k = 1; k <= 20; ++k) EXPECT_EQ(levels[k], 255) << n << " " << k;
    }
    // Exact floors where the product would still fit: 7 x 3 / 4 = 5 samples for k = 3.
    std::fill(std::begin(h), std::end(h), 1);
    int32_t levels[5];
    ASSERT_EQ(FindQuantileLevels(levels, 4, h, 7), RESULT_OK);
    EXPECT_EQ(std::vector<int32_t>(levels, levels + 5), (std::vector<int32_t>{0, 0, 2, 4, 6}));
}

TEST(QuantileLevelsTest, CeilLog2) {
    const int32_t n[] = {-5, 0, 1, 2, 3, 4, 5, 255, 256, 257};
    const int32_t want[] = {0, 0, 0, 1, 2, 2, 3, 8, 8, 9};
    for (size_t i = 0; i < std::size(n); ++i) EXPECT_EQ(CeilLog2(n[i]), want[i]) << n[i];
}

TEST(QuantileLevelsTest, NormalizedCurves) {
    int32_t out[3];
    const int32_t plain[3] = {0, 1000, 2000};
    ASSERT_EQ(NormalizeQuantileLevels(out, plain, 2, 0), RESULT_OK);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 1174);  // 1000 x ((99844 + 2 x 65536) / 3) >> 16
    EXPECT_EQ(out[2], 3047);  // halfway between 2000 and 4095
    const int32_t based[3] = {400, 1000, 2000};
    ASSERT_EQ(NormalizeQuantileLevels(out, based, 2, 1), RESULT_OK);
    EXPECT_EQ(out[0], 200);
    EXPECT_EQ(out[1], 780);
    const int32_t high[3] = {3000, 3001, 4000};
    ASSERT_EQ(NormalizeQuantileLevels(out, high, 2, 1), RESULT_OK);
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[0], 1);  // half of 3000 lies above quantile 1: becomes half of it
}

TEST(QuantileLevelsTest, ToneTableBetweenLevels) {
    std::vector<uint16_t> t(4096, 0xFFFF);
    const int32_t levels[3] = {10, 20, 30};
    const int32_t targets[3] = {0, 100, 200};
    ASSERT_EQ(BuildQuantileToneTable(t.data(), levels, targets, 2, 0), RESULT_OK);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[9], 0);
    EXPECT_EQ(t[15], 50);
    EXPECT_EQ(t[20], 100);
    EXPECT_EQ(t[29], 190);
    EXPECT_EQ(t[30], 190);
    EXPECT_EQ(t[4095], 190);
    ASSERT_EQ(BuildQuantileToneTable(t.data(), levels, targets, 2, 2), RESULT_OK);
    EXPECT_EQ(t[15], 200);
}

TEST(QuantileLevelsTest, ChromaMeans) {
    TestSession ts(96, 96);
    int32_t dark[256], reference[256];
    Spike(dark, {100}, 10);
    Spike(reference, {150, 151}, 10);  // mean 150 (unsigned division)
    const int32_t *const histograms[3] = {dark, reference, nullptr};
    int32_t minusDark = 0, minusBright = 0, zero = 9;
    ASSERT_EQ(CompareChromaMeans(ts.get(), histograms, 0, &minusDark, &minusBright, &zero),
              RESULT_OK);
    EXPECT_EQ(minusDark, 50);
    EXPECT_EQ(minusBright, 150);
    EXPECT_EQ(zero, 0);
}

}  // namespace

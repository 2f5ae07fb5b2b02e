#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "alt/block_exposure_map.h"
#include "core/constant_tables.h"
#include "core/memory.h"

namespace {

TEST(BlockExposureMap, Log2TableRecomputed) {
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(log2Table[i], std::floor(1e6 * std::log2(1 + i / 255.0) + 0.5) / 1e6) << i;
    EXPECT_EQ(log2Table[0], 0.0);
    EXPECT_EQ(log2Table[255], 1.0);
}

TEST(BlockExposureMap, Log2Clamped) {
    EXPECT_EQ(Log2Clamped(1.0), 0.0);
    EXPECT_EQ(Log2Clamped(2.0), 1.0);
    EXPECT_EQ(Log2Clamped(0.5), -1.0);
    EXPECT_EQ(Log2Clamped(1000.0), 4.0);  // held at 16
    EXPECT_EQ(Log2Clamped(0.0), -4.0);
    EXPECT_NEAR(Log2Clamped(3.0), std::log2(3.0), 0.004);
}

// Stops of single blocks with fused mean F (bright and dark means beside it).
double StopsOf(int32_t f, int32_t bright, int32_t dark, int32_t toneExcess, int32_t sceneClass) {
    HdrSession s{};
    s.sceneClass = sceneClass;
    int32_t fused[1] = {f}, b[1] = {bright}, d[1] = {dark};
    double stops = 99;
    ComputeBlockStops(&s, BlockSums{fused, b, d}, &stops, 1, 1, toneExcess);
    return stops;
}

TEST(BlockExposureMap, StopsOfTheWorkedBlocks) {
    const struct {
        int32_t f;
        double stops;
    } cases[] = {{879, 0.0}, {0, 4.0}, {440, 1.0}, {1760, -0.95}, {4095, -2.15}};
    for (const auto &c : cases) EXPECT_DOUBLE_EQ(StopsOf(c.f, 0, 0, 10, 0), c.stops) << c.f;
    // Short tone lengths aim at the bright exposure's mean (scene class 0, bright mean at most
    // 880) and, for blocks at or above mid-grey, at the dark exposure's.
    EXPECT_DOUBLE_EQ(StopsOf(439, 880, 0, 0, 0), 1.0);
    EXPECT_DOUBLE_EQ(StopsOf(439, 220, 0, 0, 0), -0.95);
    EXPECT_DOUBLE_EQ(StopsOf(439, 220, 0, 0, 1), 1.0);
    EXPECT_DOUBLE_EQ(StopsOf(1759, 220, 880, -10, 0), -0.95);
}

TEST(BlockExposureMap, AllZeroWeightBlockCountsAsSaturated) {
    uint16_t curves[3 * 256];
    for (int i = 0; i < 3 * 256; ++i) curves[i] = uint16_t(i % 256);
    std::vector<uint8_t> plane(64 * 64, 100);
    const BlockSource src[3] = {{plane.data(), 0, 0}, {plane.data(), 0, 0}, {plane.data(), 0, 0}};
    std::vector<int32_t> reciprocals(kReciprocalTableSize, 0);
    for (int i = 1; i < kReciprocalTableSize; ++i) reciprocals[i] = 32768 / i;
    const BlockTotals t = AccumulateBlockRowsPlanar(curves, src, BlockFrame{64, 64, 64, 0, 1}, 32,
                                                    32, 0, 0, false, kGammaExpandTable,
                                                    reciprocals.data(), 0, 0, 0);
    EXPECT_EQ(t.lowerCount, 0);
    EXPECT_EQ(t.upperCount, 64);  // 8 rows x 4 steps x 2 samples
    EXPECT_EQ(t.upperSum / t.upperCount, 4095);
    EXPECT_DOUBLE_EQ(StopsOf(4095, 0, 0, 10, 0), -2.15);
    // One exposure's weight alone gives its curve value: code 100 -> 100.
    const BlockTotals one = AccumulateBlockRowsPlanar(curves, src, BlockFrame{64, 64, 64, 0, 1},
                                                      32, 32, 0, 0, false, kGammaExpandTable,
                                                      reciprocals.data(), 0, 0, 256);
    EXPECT_EQ(one.lowerSum / one.lowerCount, 100);
    EXPECT_EQ(one.rawDark / 64, kGammaExpandTable[100]);
}

TEST(BlockExposureMap, ReadsAtTheFrameEdgeStayInTheFrame) {
    // A 40 x 40 frame with no margin at all: the shifted reads of every block are held inside.
    uint16_t curves[3 * 256] = {};
    std::vector<uint8_t> plane(40 * 40, 7);
    const BlockSource src[3] = {{plane.data(), -54, 54}, {plane.data(), 54, -54},
                                {plane.data(), 0, 0}};
    std::vector<int32_t> reciprocals(kReciprocalTableSize, 128);
    for (bool aligned : {false, true})
        for (int32_t y : {0, 32})
            for (int32_t x : {0, 32}) {
                const BlockTotals t = AccumulateBlockRowsPacked422(
                    curves, src, BlockFrame{20, 40, 40, 0, 2}, 32, 32, x / 2, y, aligned,
                    kGammaExpandTable, reciprocals.data(), 256, 0, 0);
                EXPECT_EQ(t.rawDark, kGammaExpandTable[7] * (t.lowerCount + t.upperCount));
            }
}

TEST(BlockExposureMap, UniformPlusOneStopMapGoesToTheTopLevel) {
    const std::vector<double> stops(12, 1.0);
    double lo, hi;
    FindStopRange(stops.data(), 12, &lo, &hi);
    EXPECT_EQ(lo, 1.0);
    EXPECT_EQ(hi, 1.0);
    std::vector<uint8_t> levels(12);
    std::vector<double> table(255);
    QuantiseStopMap(stops.data(), levels.data(), 12, 255, table.data(), lo, 0.0, hi);
    for (uint8_t l : levels) EXPECT_EQ(l, 254);
    EXPECT_EQ(table[127], 0.0);
    EXPECT_DOUBLE_EQ(table[254], 1.0);
}

TEST(BlockExposureMap, QuantisationMapsTheRangeOntoTheLevels) {
    const double stops[] = {-2.0, 0.0, 3.0, -1.0, 1.5};
    double lo, hi;
    FindStopRange(stops, 5, &lo, &hi);
    uint8_t levels[5];
    std::vector<double> table(255);
    QuantiseStopMap(stops, levels, 5, 255, table.data(), lo, 0.0, hi);
    EXPECT_EQ(levels[0], 0);
    EXPECT_EQ(levels[1], 127);
    EXPECT_EQ(levels[2], 254);
    EXPECT_NEAR(levels[3], 64, 1);
    EXPECT_NEAR(levels[4], 191, 1);
    EXPECT_DOUBLE_EQ(table[0], -2.0);
}

TEST(BlockExposureMap, SpreadCases) {
    // Corner 230 with three neighbours of 200: 4 cells above 198, nearest-to-middle 200.
    std::vector<uint8_t> in(9, 200), out(9);
    in[0] = 230;
    SpreadBrightLevels(in.data(), out.data(), 3, 3, 3, 1, 224);
    EXPECT_EQ(out[0], 200);
    // Inside among eight 200s: 9 cells above 198, kept.
    in.assign(9, 200);
    in[4] = 230;
    SpreadBrightLevels(in.data(), out.data(), 3, 3, 3, 1, 224);
    EXPECT_EQ(out[4], 230);
    // Nearest-to-middle 150 is too close to the middle: kept.
    in.assign(9, 200);
    in[0] = 230;
    in[4] = 150;
    SpreadBrightLevels(in.data(), out.data(), 3, 3, 3, 1, 224);
    EXPECT_EQ(out[0], 230);
    EXPECT_EQ(out[4], 150);
}

TEST(BlockExposureMap, SmoothingConstants) {
    uint8_t one = 77, smoothed = 0;
    ASSERT_EQ(SmoothLevelMap5Tap(nullptr, &one, &smoothed, 1, 1), RESULT_OK);
    EXPECT_EQ(smoothed, 77);
    // A single 254 among zeros: the centre keeps 254 x 256^2 / 636^2, rounded half up.
    std::vector<uint8_t> in(25, 0), out(25);
    in[12] = 254;
    ASSERT_EQ(SmoothLevelMap5Tap(nullptr, in.data(), out.data(), 5, 5), RESULT_OK);
    EXPECT_EQ(out[12], (2 * 256 * 256 * 254 + 404496) / 808992);
    // A uniform map stays uniform everywhere, edges included.
    in.assign(35, 90);
    out.assign(35, 0);
    ASSERT_EQ(SmoothLevelMap5Tap(nullptr, in.data(), out.data(), 7, 5), RESULT_OK);
    for (uint8_t v : out) EXPECT_EQ(v, 90);
}

// Both divisions round half up: a lone 4 among zeros leaves 4 x 256^2 / 636^2 = 0.65 at its
// cell, which is 1; at a corner, where the taps that fall outside drop out, a lone 2 leaves
// 2 x 256^2 / 446^2 = 0.66, also 1. One level less gives 0 in both places.
TEST(BlockExposureMap, SmoothingRoundsHalfUp) {
    struct Case {
        int cell;  // of a 5 x 5 map
        uint8_t value, expected;
    };
    const Case cases[] = {{12, 4, 1}, {12, 3, 0}, {0, 2, 1}, {0, 1, 0}, {24, 2, 1}};
    for (const Case &c : cases) {
        std::vector<uint8_t> in(25, 0), out(25, 99);
        in[c.cell] = c.value;
        ASSERT_EQ(SmoothLevelMap5Tap(nullptr, in.data(), out.data(), 5, 5), RESULT_OK);
        EXPECT_EQ(out[c.cell], c.expected) << "cell " << c.cell << " value " << int(c.value);
    }
}

TEST(BlockExposureMap, BorderRepeatsEdgesAndStopTableRises) {
    const uint8_t map[6] = {1, 2, 3, 4, 5, 6};  // 3 x 2
    uint8_t b[20] = {};
    BorderLevelMap(map, 3, 2, b);
    const uint8_t expected[20] = {1, 1, 2, 3, 3, 1, 1, 2, 3, 3, 4, 4, 5, 6, 6, 4, 4, 5, 6, 6};
    for (int i = 0; i < 20; ++i) EXPECT_EQ(b[i], expected[i]) << i;
    double table[255];
    for (int32_t t : {30, 80, 81, 100}) {
        FillStopTable(table, -2.0, 3.0, t, 1);
        EXPECT_EQ(table[127], 0.0);
        for (int l = 1; l < 255; ++l) EXPECT_GE(table[l], table[l - 1]) << t << " " << l;
    }
    FillStopTable(table, -2.0, 3.0, 100, 0);
    EXPECT_DOUBLE_EQ(table[0], -2.0 * 0.02 * 20);
    EXPECT_DOUBLE_EQ(table[254], 3.0 * 0.01 * 100);
}

}  // namespace

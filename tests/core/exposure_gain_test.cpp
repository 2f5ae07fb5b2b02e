// Exposure measurement: gains, block means with their partial-edge copies, histograms and
// the level curve.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "core/exposure_gain.h"
#include "core/memory.h"
#include "exposure_support.h"

namespace {

using exposure_test::Planar444;
using exposure_test::TestSession;

double MeasureFlat(TestSession &ts, int32_t width, int32_t height, uint8_t value) {
    Planar444 thumb(width, height, value);
    return MeasureExposureGain(ts.get(), &thumb.desc, ts.Luma(0), 0, kGammaExpandTable);
}

TEST(ExposureGainTest, GainsOfFlatThumbnails) {
    TestSession ts(900, 600);
    EXPECT_EQ(MeasureFlat(ts, 112, 74, 0), 32.0);  // black: mean 0
    EXPECT_EQ(MeasureFlat(ts, 112, 74, 1), 16.0);  // mean 1: 880.64 capped at 16
    EXPECT_DOUBLE_EQ(MeasureFlat(ts, 112, 74, 128), 880.64 / 884.0);
    EXPECT_EQ(ts.Luma(0)[128], 112 * 74);
    Planar444 empty(0, 0);
    EXPECT_EQ(MeasureExposureGain(ts.get(), &empty.desc, ts.Luma(0), 0, kGammaExpandTable), 32.0);
    EXPECT_EQ(ts.Luma(0)[128], 0);  // the histogram was cleared
}

// A 48 MP frame's thumbnail of white samples: the linear sum passes 2^31.
TEST(ExposureGainTest, LargeThumbnailSumsInSixtyFourBits) {
    TestSession ts(8000, 6000);
    EXPECT_DOUBLE_EQ(MeasureFlat(ts, 1000, 750, 255), 880.64 / 4095.0);
}

TEST(ExposureGainTest, OnlyPlanarThumbnailsAreSampled) {
    TestSession ts(128, 96);
    Planar444 thumb(16, 12, 200);
    thumb.desc.u32PixelArrayFormat = PIXEL_FORMAT_I420;
    ts.blockStats.assign(ts.blockStats.size(), 99);
    EXPECT_EQ(MeasureExposureGain(ts.get(), &thumb.desc, ts.Luma(0), 0, kGammaExpandTable), 32.0);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(ts.Luma(0)[v], 0);
    EXPECT_EQ(ts.Block(0, 3, 2), 0);  // the plane was cleared and averaged
}

// Block (c, r) holds base + 1: half its samples are base, half base + 2.
int BlockBase(int c, int r) { return 10 * c + 50 * r; }

void FillBlocks(Planar444 &thumb, int32_t wholeColumns) {
    for (int y = 0; y < thumb.desc.i32Height; ++y)
        for (int x = 0; x < thumb.desc.i32Width; ++x)
            thumb.Y(x, y) = x < wholeColumns
                                ? static_cast<uint8_t>(BlockBase(x / 4, y / 4) + ((x + y) % 2) * 2)
                                : 255;
}

// A 144 x 100 frame: its 18 x 12 thumbnail covers 4 of 5 block columns and 3 of 4 block rows.
// The last column and row copy their neighbours; the two leftover columns count only in the
// histogram; only the unpadded part of the plane is written.
TEST(ExposureGainTest, PartialLastBlockColumnAndRowCopyTheirNeighbours) {
    TestSession ts(144, 100);
    ts.blockStats.assign(ts.blockStats.size(), 777);
    Planar444 thumb(18, 12);
    FillBlocks(thumb, 16);
    MeasureExposureGain(ts.get(), &thumb.desc, ts.Luma(1), 1, kGammaExpandTable);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(ts.Block(1, c, r), BlockBase(c, r) + 1) << c << r;
    for (int r = 0; r < 3; ++r) EXPECT_EQ(ts.Block(1, 4, r), ts.Block(1, 3, r)) << r;
    for (int c = 0; c < 5; ++c) EXPECT_EQ(ts.Block(1, c, 3), ts.Block(1, c, 2)) << c;
    EXPECT_EQ(ts.Luma(1)[255], 2 * 12);
    const size_t plane = static_cast<size_t>(ts->paddedBlocksAcross) * ts->paddedBlocksDown;
    EXPECT_EQ(ts.blockStats[plane + 5 * 4], 777);  // past blocksAcross x blocksDown
    EXPECT_EQ(ts.blockStats[0], 777);              // plane 0 untouched
}

TEST(ExposureGainTest, WholeBlockColumnsAreMeasuredLikeTheOthers) {
    TestSession ts(128, 96);
    Planar444 thumb(16, 12);
    FillBlocks(thumb, 16);
    MeasureExposureGain(ts.get(), &thumb.desc, ts.Luma(0), 0, kGammaExpandTable);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(ts.Block(0, c, r), BlockBase(c, r) + 1);
}

// Means round half up: block c has kAbove[c] of its 16 samples at 41 and the rest at 40, so
// its sum is 640 + kAbove[c] and the mean is 41 from 8 samples above on.
TEST(ExposureGainTest, BlockMeansRoundToNearest) {
    const int kAbove[4] = {0, 7, 8, 15};
    TestSession ts(128, 32);
    Planar444 thumb(16, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 16; ++x)
            thumb.Y(x, y) = static_cast<uint8_t>(40 + (4 * y + x % 4 < kAbove[x / 4]));
    MeasureExposureGain(ts.get(), &thumb.desc, ts.Luma(0), 0, kGammaExpandTable);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(ts.Block(0, c, 0), 40 + (kAbove[c] >= 8)) << c;
}

// Full resolution: one pixel in 64 is measured; the 200 x 72 frame's seventh block column
// (x 192..223) is partial, as is its third block row.
TEST(ExposureGainTest, FullResolutionSamplesEveryEighthPixel) {
    TestSession ts(200, 72);
    const int32_t pitch = 400;
    std::vector<uint8_t> yuyv(static_cast<size_t>(pitch) * 72, 255);  // unsampled bytes: 255
    uint64_t linear = 0;
    for (int y = 0; y < 72; y += 8)
        for (int x = 0; x < 200; x += 8) {
            const uint8_t v = static_cast<uint8_t>(BlockBase(x / 32, y / 32));
            yuyv[y * pitch + 2 * x] = v;
            linear += kGammaExpandTable[v];
        }
    ImageDesc inputs[3] = {};
    inputs[2] = {PIXEL_FORMAT_YUYV, 200, 72, {yuyv.data()}, {pitch}};
    const double gain = MeasureExposureGainFullRes(ts.get(), inputs, 2, kGammaExpandTable);
    EXPECT_DOUBLE_EQ(gain, std::min(16.0, 880.64 / (64.0 * linear / (200.0 * 72.0))));
    int64_t total = 0;
    for (int v = 0; v < 256; ++v) total += ts.Luma(2)[v];
    EXPECT_EQ(total, 25 * 9);
    EXPECT_EQ(ts.Luma(2)[255], 0);
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 6; ++c) EXPECT_EQ(ts.Block(2, c, r), BlockBase(c, r));
        EXPECT_EQ(ts.Block(2, 6, r), ts.Block(2, 5, r));
    }
    for (int c = 0; c < 7; ++c) EXPECT_EQ(ts.Block(2, c, 2), ts.Block(2, c, 1));
}

// The caller-buffer forms have no cap and give 1.0 for black; the packed and planar forms
// agree on the same luma.
TEST(ExposureGainTest, CallerBufferForms) {
    std::vector<uint8_t> planar(64 * 64, 1);
    std::vector<uint8_t> packed(128 * 64, 1);
    int32_t histogram[256];
    std::vector<int16_t> gridA(4, -1), gridB(4, -1);
    EXPECT_DOUBLE_EQ(MeasureExposureGainPlanar(0, histogram, kGammaExpandTable, planar.data(), 64,
                                               64, 64, gridA.data(), 2, 2),
                     880.64);
    EXPECT_DOUBLE_EQ(MeasureExposureGainPacked(0, histogram, kGammaExpandTable, packed.data(), 64,
                                               64, 128, gridB.data(), 2, 2),
                     880.64);
    EXPECT_EQ(gridA, gridB);
    EXPECT_EQ(gridA[3], 1);
    EXPECT_DOUBLE_EQ(
        EstimateExposureGainPacked(0, histogram, kGammaExpandTable, packed.data(), 64, 64, 128),
        880.64);
    std::fill(planar.begin(), planar.end(), 0);
    EXPECT_EQ(MeasureExposureGainPlanar(0, histogram, kGammaExpandTable, planar.data(), 64, 64, 64,
                                        gridA.data(), 2, 2),
              1.0);
    EXPECT_EQ(EstimateExposureGainPacked(0, histogram, kGammaExpandTable, packed.data(), 0, 0, 128),
              1.0);
}

TEST(ComputeLumaHistogramTest, CountsLumaByFormat) {
    // 3 x 2 packed image: luma at bytes 0, 2, 4 of each row.
    std::vector<uint8_t> yuyv = {7, 1, 7, 2, 9, 3, 0, 0, 7, 4, 9, 5, 9, 6, 0, 0};
    ImageDesc image = {PIXEL_FORMAT_YUYV, 3, 2, {yuyv.data()}, {8}};
    int32_t histogram[256];
    ASSERT_EQ(ComputeLumaHistogram(nullptr, &image, histogram), RESULT_OK);
    EXPECT_EQ(histogram[7], 3);
    EXPECT_EQ(histogram[9], 3);
    EXPECT_EQ(histogram[1] + histogram[2] + histogram[3], 0);
    for (uint32_t unread : {uint32_t{PIXEL_FORMAT_NV16}, uint32_t{PIXEL_FORMAT_UYVY}}) {
        image.u32PixelArrayFormat = unread;
        ASSERT_EQ(ComputeLumaHistogram(nullptr, &image, histogram), RESULT_OK);
        for (int v = 0; v < 256; ++v) EXPECT_EQ(histogram[v], 0);
    }
    EXPECT_EQ(ComputeLumaHistogram(nullptr, nullptr, histogram), RESULT_INVALID_ARGUMENT);
}

TEST(ComputeLumaHistogramTest, FailedScratchLeavesTheOutputUntouched) {
    alignas(16) static uint8_t pool[512];  // less than the 1024-byte scratch histogram
    MemoryContext small = InitMemoryPool(pool, sizeof pool);
    ASSERT_NE(small, nullptr);
    Planar444 image(4, 4, 3);
    int32_t histogram[256];
    std::fill(histogram, histogram + 256, -5);
    EXPECT_EQ(ComputeLumaHistogram(small, &image.desc, histogram), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(histogram[3], -5);
}

TEST(ExposureLevelCurveTest, IdentityAndTheHalfGainCurve) {
    std::vector<uint16_t> curve(4096);
    for (double g : {1.0, 2.5, std::numeric_limits<double>::quiet_NaN()}) {
        ASSERT_EQ(BuildExposureLevelCurve(0, curve.data(), g), RESULT_OK);
        for (int i = 0; i < 4096; ++i) ASSERT_EQ(curve[i], i) << g;
    }
    ASSERT_EQ(BuildExposureLevelCurve(0, curve.data(), 0.5), RESULT_OK);
    EXPECT_EQ(curve[1023], 512);  // 511.5 rounded up
    EXPECT_EQ(curve[1024], 512);
    EXPECT_EQ(curve[4095], 4095);
    EXPECT_EQ(curve[100], 50);
    for (double g : {0.5, 0.1, 0.0, -3.0}) {
        ASSERT_EQ(BuildExposureLevelCurve(0, curve.data(), g), RESULT_OK);
        for (int i = 1; i < 4096; ++i) ASSERT_GE(curve[i], curve[i - 1]) << g << " " << i;
        EXPECT_EQ(curve[4095], 4095) << g;
    }
}

}  // namespace

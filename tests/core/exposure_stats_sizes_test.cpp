// The exposure analysis end to end on the frame sizes that stress it: the smallest accepted
// frames (where the thumbnail holds fewer samples than the frame's sample count, so high
// quantiles are never reached), a mid size and a 48 MP frame (sums past 2^31). Thumbnails of
// several scenes are measured into the session, ordered, and analysed twice on the same
// session; every table must stay ordered and in range.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/exposure_gain.h"
#include "core/exposure_order.h"
#include "core/exposure_stats.h"
#include "exposure_support.h"

namespace {

using exposure_test::Planar444;
using exposure_test::TestSession;

enum class Scene { kGradient, kDarkCorner, kBlackAndWhite, kNoise, kFlat };

// Luma of one exposure: the scene scaled by the exposure's brightness, clipped to 0..255.
uint8_t SceneLuma(Scene scene, int x, int y, int w, int h, double exposure, std::mt19937 &rng) {
    double v = 0;
    switch (scene) {
    case Scene::kGradient: v = 255.0 * (x + y) / (w + h); break;
    case Scene::kDarkCorner: v = (x < w / 3 && y < h / 3) ? 2 : 180; break;
    case Scene::kBlackAndWhite: v = ((x / 4 + y / 4) % 2) ? 255 : 0; break;
    case Scene::kNoise: v = static_cast<double>(rng() % 256); break;
    case Scene::kFlat: v = 100; break;
    }
    return static_cast<uint8_t>(std::clamp(v * exposure, 0.0, 255.0));
}

void CheckResults(const HdrSession &s) {
    for (int e = 0; e < 3; ++e) {
        const uint16_t *t = s.exposureLuts[e];
        const int limit = e == s.brightIndex ? 4 * 4095 : 4095;
        for (int j = 0; j < 4096; ++j) {
            ASSERT_LE(t[j], limit) << e << " " << j;
            if (j > 0) { ASSERT_GE(t[j], t[j - 1]) << e << " " << j; }
        }
    }
    EXPECT_GE(s.highQuantileIndex, 1);
    EXPECT_LE(s.highQuantileIndex, 16);
    EXPECT_GE(s.lowQuantileIndex, 0);
    EXPECT_LE(s.lowQuantileIndex, 15);
    for (int i = 0; i < 5; ++i) {
        EXPECT_GE(s.sceneThresholds[i], -32) << i;
        EXPECT_LE(s.sceneThresholds[i], 320) << i;
    }
    EXPECT_GE(s.sceneClass, 0);
    EXPECT_LE(s.sceneClass, 3);
    EXPECT_EQ(s.valueShift, 2);
}

void RunScene(int32_t width, int32_t height, Scene scene) {
    TestSession ts(width, height);
    const int32_t tw = width / 16 * 2;
    const int32_t th = height / 16 * 2;
    const double exposures[3] = {0.25, 1.0, 4.0};
    std::mt19937 rng(width * 31 + height);
    for (int e = 0; e < 3; ++e) {
        Planar444 thumb(tw, th);
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x)
                thumb.Y(x, y) = SceneLuma(scene, x, y, tw, th, exposures[e], rng);
        ts->exposureGain[e] =
            MeasureExposureGain(ts.get(), &thumb.desc, ts.Luma(e), e, kGammaExpandTable);
        ts->exposureGainQ10[e] = static_cast<int32_t>(ts->exposureGain[e] * 1024 + 0.5);
    }
    ASSERT_EQ(OrderExposures(ts.get(), ts->exposureGain, 3), RESULT_OK);
    for (int run = 0; run < 2; ++run) {  // the second run sees the first run's scalars
        ASSERT_EQ(ComputeExposureStatistics(0, ts.get()), RESULT_OK);
        CheckResults(*ts.get());
        for (int e = 0; e < 3; ++e)
            for (int i = 0; i < 4096; ++i) ts.luts[e][i] = static_cast<uint16_t>(i);
    }
}

struct FrameSize {
    int32_t width, height;
};

TEST(ExposureStatsSizesTest, SmallMidAndLargeFramesStayInRange) {
    for (const FrameSize size :
         {FrameSize{96, 96}, FrameSize{100, 100}, FrameSize{300, 300}, FrameSize{8000, 6000}})
        for (Scene scene : {Scene::kGradient, Scene::kDarkCorner, Scene::kBlackAndWhite,
                            Scene::kNoise, Scene::kFlat}) {
            SCOPED_TRACE(testing::Message() << size.width << "x" << size.height << " scene "
                                            << static_cast<int>(scene));
            RunScene(size.width, size.height, scene);
        }
}

// A 100 x 100 frame: 144 thumbnail samples against N = 156. Hand-made histograms that end
// short of the 15th quantile still give ordered tables.
TEST(ExposureStatsSizesTest, UnreachedQuantilesOnASmallFrame) {
    TestSession ts(100, 100);
    ASSERT_EQ(ts.ThumbnailSamples(), 144);
    exposure_test::Spike(ts.Luma(0), {0, 10, 20}, 48);
    exposure_test::Spike(ts.Luma(1), {60, 90, 120}, 48);
    exposure_test::Spike(ts.Luma(2), {200, 230, 250}, 48);
    ASSERT_EQ(ComputeExposureStatistics(0, ts.get()), RESULT_OK);
    CheckResults(*ts.get());
    // Quantiles 15 and 16 are never reached and take level 255, so the last reference
    // quantile below the top is 14 (level 124): the table is held flat from there, at the
    // value just below it, instead of from a quantile at level 0 (index -1).
    const int32_t q14 = kGammaExpandTable[124];
    EXPECT_GT(ts.luts[1][q14 - 1], ts.luts[1][kGammaExpandTable[60]]);
    for (int j = q14; j < 4096; ++j) ASSERT_EQ(ts.luts[1][j], ts.luts[1][q14 - 1]) << j;
}

}  // namespace

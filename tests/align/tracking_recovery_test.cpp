// Feature tracking plus the projective fit recover known transforms between synthetic
// exposures of different brightness.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "align/feature_tracker.h"
#include "align/projective_fit.h"
#include "align/transform_warp.h"
#include "tracking_scene_support.h"

namespace {

using namespace tracking_test;

constexpr int32_t kWidth = 500;
constexpr int32_t kHeight = 374;

struct Matches {
    std::vector<float> refX, refY, curX, curY;
};

// Tracks the reference features into the exposure and keeps those whose status, read as
// unsigned, is at most 44 (a lost feature's -1 is dropped).
Matches TrackAndKeep(FeatureTracker *tracker, const GrayImage &exposure) {
    std::vector<float> x(tracker->capacity), y(tracker->capacity);
    TrackFeatures(tracker, exposure.image(), x.data(), y.data(), 0);
    Matches m;
    for (int32_t j = 0; j < tracker->count; ++j) {
        if (static_cast<uint32_t>(tracker->trackedStatus[j]) > 44) continue;
        m.refX.push_back(tracker->referenceX[j]);
        m.refY.push_back(tracker->referenceY[j]);
        m.curX.push_back(x[j]);
        m.curY.push_back(y[j]);
    }
    return m;
}

struct FitOutcome {
    int result;
    ProjectiveTransform transform;
    int32_t matches;
};

FitOutcome TrackAndFit(const GrayImage &reference, const GrayImage &exposure) {
    FeatureTracker *tracker = CreateFeatureTrackerSingle(nullptr, reference.image(), 5, 4, 5, 128,
                                                         nullptr, nullptr);
    EXPECT_NE(tracker, nullptr);
    FitOutcome outcome{};
    const Matches m = TrackAndKeep(tracker, exposure);
    ProjectiveTransform &t = outcome.transform;
    outcome.matches = static_cast<int32_t>(m.refX.size());
    outcome.result = FitProjectiveRansacAlloc(nullptr, reference.width, reference.height,
                                              m.refX.data(), m.refY.data(), m.curX.data(),
                                              m.curY.data(), outcome.matches, t.matrix,
                                              t.translation, t.perspective);
    DestroyFeatureTracker(nullptr, &tracker);
    return outcome;
}

double CornerError(const ProjectiveTransform &fit, const ProjectiveTransform &truth) {
    double worst = 0.0;
    for (double x : {0.0, double(kWidth)})
        for (double y : {0.0, double(kHeight)}) {
            double fx, fy, tx, ty;
            ApplyTransform(fit, x, y, &fx, &fy);
            ApplyTransform(truth, x, y, &tx, &ty);
            worst = std::max(worst, std::hypot(fx - tx, fy - ty));
        }
    return worst;
}

// The transform at full resolution (8 times the thumbnail).
ProjectiveTransform FullSize(const ProjectiveTransform &t) {
    ProjectiveTransform f = t;
    f.translation[0] *= 8.0;
    f.translation[1] *= 8.0;
    f.perspective[0] *= 0.125;
    f.perspective[1] *= 0.125;
    return f;
}

struct RecoveryCase {
    const char *name;
    ProjectiveTransform truth;
    double gain;
};

// Keeps the test log readable: the case's name instead of its bytes.
void PrintTo(const RecoveryCase &c, std::ostream *out) { *out << c.name; }

class TrackingRecovery : public ::testing::TestWithParam<RecoveryCase> {};

TEST_P(TrackingRecovery, RecoversTransformAndMotionGrid) {
    const RecoveryCase &c = GetParam();
    const SceneTexture scene(kWidth, kHeight, 7);
    const GrayImage reference = RenderView(scene, kWidth, kHeight, Identity(), 1.0);
    GrayImage exposure = RenderView(scene, kWidth, kHeight, c.truth, c.gain);
    MatchLevels(exposure, reference);
    const FitOutcome outcome = TrackAndFit(reference, exposure);
    ASSERT_EQ(outcome.result, FIT_OK) << outcome.matches << " matches";
    EXPECT_LE(CornerError(outcome.transform, c.truth), 1.0);

    // Full-resolution grid of a 4000 x 2992 frame: nodes 256 apart, one ring outside.
    const int32_t cols = (4000 + 255) / 256 + 2, rows = (2992 + 255) / 256 + 2;
    const ProjectiveTransform fitted = FullSize(outcome.transform);
    const ProjectiveTransform truth = FullSize(c.truth);
    std::vector<int32_t> gx(cols * rows), gy(cols * rows), ex(cols * rows), ey(cols * rows);
    ASSERT_EQ(BuildMotionGridFromTransform(fitted.matrix, fitted.translation, fitted.perspective,
                                           gx.data(), gy.data(), 8, cols, rows), 0);
    // Every node, the outer ring half a block outside the frame included, within one pixel of
    // round(p - H(p)) of the true transform.
    int32_t worst = 0;
    for (int32_t i = 0; i < rows; ++i)
        for (int32_t j = 0; j < cols; ++j) {
            double X, Y;
            const double x = 256.0 * j - 128.0, y = 256.0 * i - 128.0;
            ApplyTransform(truth, x, y, &X, &Y);
            worst = std::max({worst, std::abs(gx[i * cols + j] - int32_t(std::lround(x - X))),
                              std::abs(gy[i * cols + j] - int32_t(std::lround(y - Y)))});
        }
    EXPECT_LE(worst, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Exposures, TrackingRecovery,
    ::testing::Values(RecoveryCase{"identity_bright", Identity(), 4.0},
                      RecoveryCase{"shift_bright", Translation(3.0, -2.0), 4.0},
                      RecoveryCase{"subpixel_shift_dark", Translation(-6.5, 4.25), 0.25},
                      RecoveryCase{"rotation_scale_bright",
                                   RotationScale(1.0, 1.02, 250.0, 187.0, 2.0, 1.0), 4.0},
                      RecoveryCase{"rotation_scale_dark",
                                   RotationScale(-1.0, 0.98, 250.0, 187.0, -1.5, 2.0), 0.25},
                      RecoveryCase{"perspective_bright",
                                   ProjectiveTransform{{1.0, 0.0, 0.0, 1.0}, {1.0, -1.0},
                                                       {4.0e-5, -3.0e-5}},
                                   4.0}),
    [](const ::testing::TestParamInfo<RecoveryCase> &info) { return std::string(info.param.name); });

}  // namespace

namespace {

TEST(TrackingFailure, RotationBeyondPlausibleFailsWithNoHypothesis) {
    const SceneTexture scene(kWidth, kHeight, 7);
    const GrayImage reference = RenderView(scene, kWidth, kHeight, Identity(), 1.0);
    GrayImage exposure =
        RenderView(scene, kWidth, kHeight, RotationScale(5.0, 1.0, 250.0, 187.0), 4.0);
    MatchLevels(exposure, reference);
    const FitOutcome outcome = TrackAndFit(reference, exposure);
    EXPECT_GE(outcome.matches, 5);
    EXPECT_EQ(outcome.result, FIT_NO_HYPOTHESIS);
    // Whatever is left for the warps is plausible.
    const ProjectiveTransform &t = outcome.transform;
    EXPECT_EQ(IsPlausibleProjective(kWidth, kHeight, t.matrix, t.translation[0],
                                    t.translation[1], t.perspective[0], t.perspective[1]),
              1);
}

TEST(TrackingFailure, FeaturelessImageFailsWithTooFewPoints) {
    GrayImage flat(kWidth, kHeight);
    std::fill(flat.pixels.begin(), flat.pixels.end(), uint8_t{90});
    GrayImage brighter(flat);
    std::fill(brighter.pixels.begin(), brighter.pixels.end(), uint8_t{200});
    const FitOutcome outcome = TrackAndFit(flat, brighter);
    EXPECT_EQ(outcome.matches, 0);
    EXPECT_EQ(outcome.result, FIT_TOO_FEW_POINTS);
    const ProjectiveTransform identity = Identity();
    EXPECT_EQ(std::memcmp(&outcome.transform, &identity, sizeof identity), 0);
}

TEST(TrackingDeterminism, TwoRunsGiveIdenticalTransforms) {
    const SceneTexture scene(kWidth, kHeight, 11);
    const GrayImage reference = RenderView(scene, kWidth, kHeight, Identity(), 1.0);
    GrayImage exposure = RenderView(
        scene, kWidth, kHeight, RotationScale(0.7, 1.01, 240.0, 180.0, 1.25, -0.5), 0.25);
    MatchLevels(exposure, reference);
    const FitOutcome first = TrackAndFit(reference, exposure);
    const FitOutcome second = TrackAndFit(reference, exposure);
    ASSERT_EQ(first.result, FIT_OK);
    EXPECT_EQ(second.result, FIT_OK);
    EXPECT_EQ(std::memcmp(&first.transform, &second.transform, sizeof first.transform), 0);
}

}  // namespace

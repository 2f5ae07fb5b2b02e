#include "align/projective_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "align/ransac_sampler.h"
#include "match_set_support.h"
#include "tracking_scene_support.h"

namespace {

using tracking_test::ApplyTransform;
using tracking_test::Identity;
using tracking_test::MoveFar;
using tracking_test::RotationScale;
using match_test::MatchSet;

// Matches of a transform at random positions of a 500 x 374 thumbnail; `outliers` of them are
// moved by 20 to 60 pixels in random directions.
MatchSet Matches(const ProjectiveTransform &t, int32_t n, int32_t outliers, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> px(10.0, 490.0), py(10.0, 364.0), unit(0.0, 1.0);
    MatchSet m;
    for (int32_t k = 0; k < n; ++k) {
        const double x = std::round(px(random)), y = std::round(py(random));
        double X, Y;
        ApplyTransform(t, x, y, &X, &Y);
        if (k < outliers) MoveFar(random, unit, &X, &Y);
        m.Add(x, y, X, Y);
    }
    return m;
}

struct Fit {
    int result;
    ProjectiveTransform t;
};

Fit RunFit(const MatchSet &m, int32_t width = 500, int32_t height = 374) {
    std::vector<uint32_t> scratch(5 * std::max(m.n(), 1));
    Fit f{};
    f.result = FitProjectiveRansac(scratch.data(), width, height, m.refX.data(), m.refY.data(),
                                   m.curX.data(), m.curY.data(), m.n(), f.t.matrix,
                                   f.t.translation, f.t.perspective);
    return f;
}

void ExpectTransformNear(const ProjectiveTransform &got, const ProjectiveTransform &want,
                         double pixels) {
    for (double x : {0.0, 250.0, 500.0})
        for (double y : {0.0, 187.0, 374.0}) {
            double gx, gy, wx, wy;
            ApplyTransform(got, x, y, &gx, &gy);
            ApplyTransform(want, x, y, &wx, &wy);
            EXPECT_NEAR(gx, wx, pixels) << x << "," << y;
            EXPECT_NEAR(gy, wy, pixels) << x << "," << y;
        }
}

bool Plausible(const ProjectiveTransform &t, int32_t w = 500, int32_t h = 374) {
    return IsPlausibleProjective(w, h, t.matrix, t.translation[0], t.translation[1],
                                 t.perspective[0], t.perspective[1]) == 1;
}

const ProjectiveTransform kMildProjective = {
    {1.004, 0.012, -0.01, 0.995}, {3.25, -2.5}, {2.0e-5, -1.5e-5}};

TEST(RansacGenerator, FirstStatesFromAllBitsSet) {
    uint64_t state = kRansacSeed;
    EXPECT_EQ(AdvanceRansacState(&state), 130063605u);
    EXPECT_EQ(AdvanceRansacState(&state), 3263422610u);
    EXPECT_EQ(AdvanceRansacState(&state), 1416740647u);
}

TEST(RansacTables, RecomputeFromTheirFormulas) {
    auto entry = [](int i, int offset, int power) {
        const double w = (i + offset) / 200.0;
        if (w >= 1.0) return 0;
        return static_cast<int>(std::floor(std::log(0.01) / std::log(1.0 - std::pow(w, power))));
    };
    for (int i = 0; i < kRansacIterations5Size; ++i)
        EXPECT_EQ(kRansacIterations5[i], entry(i, 50, 5)) << i;
    for (int i = 0; i < kRansacIterations4Size; ++i)
        EXPECT_EQ(kRansacIterations4[i], entry(i, 35, 4)) << i;
    const std::pair<int, int> five[] = {{19, 939}, {50, 145}, {100, 16}, {130, 5},
                                        {149, 1},  {150, 0},  {151, 0}};
    for (auto [i, v] : five) EXPECT_EQ(kRansacIterations5[i], v);
    const std::pair<int, int> four[] = {{18, 931}, {40, 230}, {65, 71}, {100, 19},
                                        {140, 5},  {160, 1},  {165, 0}};
    for (auto [i, v] : four) EXPECT_EQ(kRansacIterations4[i], v);
}

TEST(RansacTables, LimitFollowsTheBestInlierRatio) {
    EXPECT_EQ(RansacIterationLimit5(40, 100), 447);  // idx 30
    EXPECT_EQ(RansacIterationLimit5(75, 100), 16);
    EXPECT_EQ(RansacIterationLimit5(34, 100), kRansacMaxIterations);  // idx 18
    EXPECT_EQ(RansacIterationLimit5(0, 100), kRansacMaxIterations);
    EXPECT_EQ(RansacIterationLimit5(100, 100), 0);
    EXPECT_EQ(RansacIterationLimit4(50, 100), 71);  // idx 65
    EXPECT_EQ(RansacIterationLimit4(26, 100), kRansacMaxIterations);  // idx 17
}

TEST(DrawRansacSample, SkipsClosePointsAndNearlyCollinearOnes) {
    // Points 1 and 2 lie within the spacing of point 0; 3 and 4 continue the line 0-5.
    const float x[6] = {100, 103, 100, 200, 300, 150}, y[6] = {100, 100, 104, 100, 101, 100};
    int32_t permutation[6] = {0, 1, 2, 3, 4, 5};
    float sx[6], sy[6], cx[6], cy[6];
    uint64_t state = kRansacSeed;
    const int32_t drawn = DrawRansacSample(permutation, x, y, x, y, 6, sx, sy, cx, cy, 5, &state,
                                           10);
    EXPECT_EQ(drawn, 2);  // one point of {0, 1, 2} and one of the nearly collinear rest
    EXPECT_NE(state, kRansacSeed);
    uint64_t untouched = 42;
    EXPECT_EQ(DrawRansacSample(permutation, x, y, x, y, 0, sx, sy, cx, cy, 5, &untouched, 10), 0);
    EXPECT_EQ(untouched, 42u);
    EXPECT_EQ(MinimumSampleSpacing(500, 374), 23);
    EXPECT_EQ(MinimumSampleSpacing(79, 500), 4);
}

TEST(SolveProjectiveLeastSquares, RecoversExactDataAndReportsDegenerateSets) {
    const MatchSet exact = Matches(kMildProjective, 6, 0, 3);
    ProjectiveTransform t = Identity();
    ASSERT_EQ(SolveProjectiveLeastSquares(exact.refX.data(), exact.refY.data(), exact.curX.data(),
                                          exact.curY.data(), 6, t.matrix, t.translation,
                                          t.perspective),
              FIT_OK);
    ExpectTransformNear(t, kMildProjective, 2e-3);  // float coordinates

    const ProjectiveTransform affine = {{1.01, 0.02, -0.015, 0.99}, {4.0, -3.0}, {0.0, 0.0}};
    const MatchSet affineSet = Matches(affine, 12, 0, 4);
    SolveProjectiveLeastSquares(affineSet.refX.data(), affineSet.refY.data(),
                                affineSet.curX.data(), affineSet.curY.data(), 12, t.matrix,
                                t.translation, t.perspective);
    EXPECT_NEAR(t.perspective[0], 0.0, 1e-8);
    EXPECT_NEAR(t.matrix[1], 0.02, 1e-5);

    ProjectiveTransform untouched = kMildProjective;
    EXPECT_EQ(SolveProjectiveLeastSquares(exact.refX.data(), exact.refY.data(),
                                          exact.curX.data(), exact.curY.data(), 3,
                                          untouched.matrix, untouched.translation,
                                          untouched.perspective),
              FIT_TOO_FEW_POINTS);
    EXPECT_EQ(std::memcmp(&untouched, &kMildProjective, sizeof untouched), 0);

    MatchSet same;
    for (int i = 0; i < 5; ++i) same.Add(40.0, 50.0, 43.0 + i, 49.0);
    EXPECT_EQ(SolveProjectiveLeastSquares(same.refX.data(), same.refY.data(), same.curX.data(),
                                          same.curY.data(), 5, t.matrix, t.translation,
                                          t.perspective),
              FIT_DEGENERATE);
    const ProjectiveTransform expected = {{1, 0, 0, 1}, {5.0, -1.0}, {0, 0}};
    EXPECT_EQ(std::memcmp(&t, &expected, sizeof t), 0);
}

TEST(IsPlausibleProjective, AcceptsNearIdentityTransformsOnly) {
    struct Case {
        ProjectiveTransform t;
        int expected;
    } cases[] = {
        {Identity(), 1},
        {tracking_test::Translation(-480.0, 300.0), 1},  // any pure translation
        {RotationScale(3.5, 1.0, 250, 187), 1},
        {RotationScale(-3.9, 1.0, 250, 187), 1},
        {RotationScale(4.1, 1.0, 250, 187), 0},
        {RotationScale(0.0, 1.04, 250, 187), 1},
        {RotationScale(0.0, 1.06, 250, 187), 0},
        {RotationScale(0.0, 0.94, 250, 187), 0},
        {kMildProjective, 1},
        {{{1, 0, 0, 1}, {0, 0}, {2.0e-4, 0.0}}, 0},  // 10 % narrower at the right edge
        {{{1, 0.08, 0, 1}, {0, 0}, {0, 0}}, 0},       // shear beyond about 4 degrees
        {{{1, 0, 0, 1}, {NAN, 0}, {0, 0}}, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(Plausible(c.t), c.expected == 1);
}

TEST(FitProjectiveRansac, FewerThanFiveMatchesGiveTheirMeanDisplacement) {
    MatchSet m;
    const double d[4][2] = {{1, 2}, {3, 2}, {1, 0}, {3, 0}};
    for (int i = 0; i < 4; ++i) m.Add(50.0 * i, 30.0 + 20.0 * i, 50.0 * i + d[i][0], 30.0 + 20.0 * i + d[i][1]);
    const Fit f = RunFit(m);
    EXPECT_EQ(f.result, FIT_TOO_FEW_POINTS);
    const ProjectiveTransform expected = {{1, 0, 0, 1}, {2.0, 1.0}, {0, 0}};
    EXPECT_EQ(std::memcmp(&f.t, &expected, sizeof f.t), 0);
}

TEST(FitProjectiveRansac, RecoversExactAndOutlierRiddenData) {
    for (int32_t outliers : {0, 38, 51}) {  // of 128
        const MatchSet m = Matches(kMildProjective, 128, outliers, 10 + outliers);
        const Fit f = RunFit(m);
        EXPECT_EQ(f.result, FIT_OK) << outliers;
        ExpectTransformNear(f.t, kMildProjective, 2e-3);
    }
}

TEST(FitProjectiveRansac, NearlyCollinearMatchesCannotGiveFivePoints) {
    MatchSet m;
    for (int i = 0; i < 9; ++i) m.Add(30.0 + 45.0 * i, 40.0 + 30.0 * i, 32.0 + 45.0 * i, 41.0 + 30.0 * i);
    m.Add(400.0, 60.0, 402.0, 61.0);
    EXPECT_EQ(RunFit(m).result, FIT_TOO_FEW_POINTS);
}

TEST(FitProjectiveRansac, ImplausibleMotionEndsWithNoHypothesisAndTheIdentity) {
    for (const ProjectiveTransform &t :
         {RotationScale(5.0, 1.0, 250, 187), RotationScale(0.0, 1.06, 250, 187)}) {
        const Fit f = RunFit(Matches(t, 60, 0, 5));
        EXPECT_EQ(f.result, FIT_NO_HYPOTHESIS);
        const ProjectiveTransform identity = Identity();
        EXPECT_EQ(std::memcmp(&f.t, &identity, sizeof f.t), 0);
    }
}

TEST(FitProjectiveRansac, AHypothesisOfFewerThanFiveInliersIsNoFit) {
    // Four matches agree on a shift of (3, -2), four scatter. The best plausible hypothesis has
    // fewer than five inliers: refitting it on the last five points drawn would report success.
    const float data[8][4] = {{52.5f, 297.2f, 3.0f, -2.0f},  {75.8f, 207.9f, 3.0f, -2.0f},
                              {221.0f, 26.2f, 3.0f, -2.0f},  {38.7f, 101.8f, 3.0f, -2.0f},
                              {63.0f, 249.3f, -21.3f, -2.8f}, {119.2f, 136.8f, -0.4f, 24.8f},
                              {372.3f, 341.3f, -5.9f, 3.2f}, {160.9f, 213.6f, -13.5f, -2.7f}};
    MatchSet m;
    for (const auto &d : data) m.Add(d[0], d[1], d[0] + d[2], d[1] + d[3]);
    const Fit f = RunFit(m);
    EXPECT_EQ(f.result, FIT_NO_HYPOTHESIS);
    // The outputs hold that best hypothesis, which is plausible, not the identity.
    EXPECT_TRUE(Plausible(f.t));
    int32_t inliers = 0;
    for (int32_t k = 0; k < m.n(); ++k)
        inliers += IsProjectiveInlier(f.t.matrix, f.t.translation, f.t.perspective, m.refX[k],
                                      m.refY[k], m.curX[k], m.curY[k]);
    EXPECT_GE(inliers, 1);
    EXPECT_LE(inliers, 4);
}

TEST(FitProjectiveRansac, ADrawFailingMidSearchLeavesAPlausibleTransform) {
    // A later draw finds fewer than five acceptable points; the hypothesis fitted just before it
    // is implausible, so the outputs fall back to the best plausible one (or the identity).
    const float data[6][4] = {{80, 170, 5, 5},   {320, 20, 5, 3},   {290, 195, -5, 0},
                              {50, 170, 1, -3},  {230, 245, -6, -3}, {140, 320, -3, 5}};
    MatchSet m;
    for (const auto &d : data) m.Add(d[0], d[1], d[0] + d[2], d[1] + d[3]);
    const Fit f = RunFit(m);
    EXPECT_EQ(f.result, FIT_TOO_FEW_POINTS);
    EXPECT_TRUE(Plausible(f.t));
}

TEST(FitProjectiveRansac, TwoCallsGiveBitIdenticalTransforms) {
    const MatchSet m = Matches(RotationScale(1.5, 1.015, 240, 170, 2.0, -1.0), 100, 35, 23);
    const Fit a = RunFit(m), b = RunFit(m);
    EXPECT_EQ(a.result, FIT_OK);
    EXPECT_EQ(a.result, b.result);
    EXPECT_EQ(std::memcmp(&a.t, &b.t, sizeof a.t), 0);
}

TEST(FitProjectiveRansacAlloc, ReportsAMissingScratchAndLeavesTheOutputs) {
    const MatchSet m = Matches(kMildProjective, 100, 10, 8);
    uint8_t buffer[512];
    MemoryContext tiny = InitMemoryPool(buffer, sizeof buffer);
    ProjectiveTransform t = kMildProjective;
    EXPECT_EQ(FitProjectiveRansacAlloc(tiny, 500, 374, m.refX.data(), m.refY.data(),
                                       m.curX.data(), m.curY.data(), m.n(), t.matrix,
                                       t.translation, t.perspective),
              RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(std::memcmp(&t, &kMildProjective, sizeof t), 0);
    EXPECT_EQ(FitProjectiveRansacAlloc(nullptr, 500, 374, m.refX.data(), m.refY.data(),
                                       m.curX.data(), m.curY.data(), m.n(), t.matrix,
                                       t.translation, t.perspective),
              FIT_OK);
}

}  // namespace

#include "align/ransac_variants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "match_set_support.h"

namespace {

using match_test::MatchSet;

const double kAffine[6] = {1.01, 0.015, -0.02, 0.985, 4.0, -2.5};  // a00 a01 a10 a11 tx ty

// Matches of the affine transform on a scattered grid; every `outlierEvery`-th is moved far.
MatchSet AffineMatches(int32_t n, int32_t outlierEvery) {
    MatchSet m;
    for (int32_t k = 0; k < n; ++k) {
        const double x = 20.0 + (k * 137) % 460, y = 15.0 + (k * 89) % 340;
        double X = kAffine[0] * x + kAffine[1] * y + kAffine[4];
        double Y = kAffine[2] * x + kAffine[3] * y + kAffine[5];
        if (outlierEvery > 0 && k % outlierEvery == outlierEvery - 1) {
            X += 25.0 + k;
            Y -= 18.0;
        }
        m.Add(x, y, X, Y);
    }
    return m;
}

int RunAffine(const MatchSet &m, double *matrix, double *translation) {
    std::vector<uint32_t> scratch(5 * std::max(m.n(), 1));
    return FitAffineRansac(scratch.data(), 500, 374, m.refX.data(), m.refY.data(), m.curX.data(),
                           m.curY.data(), m.n(), matrix, translation);
}

TEST(FitAffineRansac, RecoversTheTransformDespiteOutliers) {
    const MatchSet m = AffineMatches(40, 4);
    double matrix[4], translation[2];
    ASSERT_EQ(RunAffine(m, matrix, translation), AFFINE_FIT_OK);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(matrix[i], kAffine[i], 1e-5);
    EXPECT_NEAR(translation[0], kAffine[4], 2e-3);
    EXPECT_NEAR(translation[1], kAffine[5], 2e-3);
}

TEST(FitAffineRansac, SixInliersOfNineAreBelowTheMinimumButLeaveTheTransform) {
    const MatchSet m = AffineMatches(9, 3);  // matches 2, 5 and 8 are outliers
    double matrix[4], translation[2];
    EXPECT_EQ(RunAffine(m, matrix, translation), AFFINE_FIT_FAILED);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(matrix[i], kAffine[i], 1e-4);
    EXPECT_NEAR(translation[0], kAffine[4], 2e-2);
}

TEST(FitAffineRansac, ThreeMatchesGiveTheirMeanDisplacement) {
    MatchSet m;
    m.Add(10, 10, 12, 11);
    m.Add(100, 40, 104, 41);
    m.Add(50, 200, 50, 204);
    double matrix[4], translation[2];
    EXPECT_EQ(RunAffine(m, matrix, translation), AFFINE_FIT_TOO_FEW_POINTS);
    EXPECT_EQ(matrix[0], 1.0);
    EXPECT_EQ(matrix[1], 0.0);
    EXPECT_DOUBLE_EQ(translation[0], 2.0);
    EXPECT_DOUBLE_EQ(translation[1], 2.0);
    const MatchSet big = AffineMatches(40, 0);
    uint8_t buffer[256];
    EXPECT_EQ(FitAffineRansacAlloc(InitMemoryPool(buffer, sizeof buffer), 500, 374,
                                   big.refX.data(), big.refY.data(), big.curX.data(),
                                   big.curY.data(), big.n(), matrix, translation),
              RESULT_OUT_OF_MEMORY);
}

// (a, b, c, s), (tx, ty): X = (x - s y + tx) / (a x + b y + c), Y = (s x + y + ty) / (...).
const double kModel[6] = {1.5e-5, -2.0e-5, 1.01, 0.012, 2.0, -3.0};

MatchSet ModelMatches(int32_t n) {
    MatchSet m;
    for (int32_t k = 0; k < n; ++k) {
        const double x = 20.0 + (k * 173) % 460, y = 15.0 + (k * 71) % 340;
        const double den = kModel[0] * x + kModel[1] * y + kModel[2];
        m.Add(x, y, (x - kModel[3] * y + kModel[4]) / den, (kModel[3] * x + y + kModel[5]) / den);
    }
    return m;
}

TEST(FitSimilarityPerspectiveRansac, RecoversItsModel) {
    MatchSet m = ModelMatches(50);
    m.curX[7] += 30.0f;  // one gross outlier
    std::vector<uint32_t> scratch(5 * 50);
    double params[4], translation[2], perspective[2];
    ASSERT_EQ(FitSimilarityPerspectiveRansac(scratch.data(), 500, 374, m.refX.data(),
                                             m.refY.data(), m.curX.data(), m.curY.data(), 50,
                                             params, translation, perspective),
              FIT_OK);
    EXPECT_NEAR(params[2], kModel[2], 1e-4);
    EXPECT_NEAR(params[3], kModel[3], 1e-4);
    EXPECT_NEAR(translation[0], kModel[4], 5e-3);
    EXPECT_EQ(perspective[0], params[0]);
    EXPECT_EQ(perspective[1], params[1]);
}

TEST(FitSimilarityPerspectiveRansac, ThreeMatchesGiveTheIdentity) {
    const MatchSet m = ModelMatches(3);
    std::vector<uint32_t> scratch(15);
    double params[4] = {9, 9, 9, 9}, translation[2] = {9, 9}, perspective[2] = {9, 9};
    EXPECT_EQ(FitSimilarityPerspectiveRansac(scratch.data(), 500, 374, m.refX.data(),
                                             m.refY.data(), m.curX.data(), m.curY.data(), 3,
                                             params, translation, perspective),
              FIT_TOO_FEW_POINTS);
    const double identity[4] = {0.0, 0.0, 1.0, 0.0};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(params[i], identity[i]);
    EXPECT_EQ(translation[0], 0.0);
    EXPECT_EQ(perspective[1], 0.0);
    EXPECT_EQ(SolveSimilarityPerspectiveLeastSquares(m.refX.data(), m.refY.data(), m.curX.data(),
                                                     m.curY.data(), 3, params, translation,
                                                     perspective),
              FIT_TOO_FEW_POINTS);
}

struct Tracks {
    std::vector<float> c[6];
    int32_t n() const { return static_cast<int32_t>(c[0].size()); }
    int Find(std::vector<uint8_t> &flags) const {
        flags.assign(std::max(n(), 1), 7);
        return FindThreeViewInliers(c[0].data(), c[1].data(), c[2].data(), c[3].data(),
                                    c[4].data(), c[5].data(), n(), flags.data());
    }
};

// Three affine views of scattered 3-D points.
Tracks RigidTracks(int32_t n) {
    const double views[3][2][4] = {{{1.0, 0.0, 0.2, 10.0}, {0.0, 1.0, -0.1, 5.0}},
                                   {{0.98, 0.05, 0.3, 14.0}, {-0.04, 1.01, 0.1, 2.0}},
                                   {{1.02, -0.03, -0.25, 7.0}, {0.05, 0.97, 0.2, 9.0}}};
    std::mt19937 random(4);
    std::uniform_real_distribution<double> coordinate(0.0, 300.0);
    Tracks t;
    for (int32_t k = 0; k < n; ++k) {
        const double p[3] = {coordinate(random), coordinate(random), coordinate(random) * 0.3};
        for (int v = 0; v < 3; ++v)
            for (int axis = 0; axis < 2; ++axis) {
                const double *r = views[v][axis];
                t.c[2 * v + axis].push_back(
                    static_cast<float>(r[0] * p[0] + r[1] * p[1] + r[2] * p[2] + r[3]));
            }
    }
    return t;
}

TEST(FindThreeViewInliers, FlagsRigidTracksButNotADisplacedOne) {
    Tracks t = RigidTracks(30);
    t.c[3][11] += 20.0f;  // y in image 2
    std::vector<uint8_t> flags;
    EXPECT_EQ(t.Find(flags), THREE_VIEW_OK);
    for (int32_t k = 0; k < 30; ++k) EXPECT_EQ(flags[k], k == 11 ? 0 : 1) << k;
}

TEST(FindThreeViewInliers, FourConsistentTracksAreBelowTheMinimum) {
    const Tracks t = RigidTracks(4);
    std::vector<uint8_t> flags;
    EXPECT_EQ(t.Find(flags), THREE_VIEW_FAILED);
    for (int32_t k = 0; k < 4; ++k) EXPECT_EQ(flags[k], 1);
}

TEST(FindThreeViewInliers, RejectsTrackCountsOutside4To128) {
    const Tracks t = RigidTracks(129);
    std::vector<uint8_t> flags;
    EXPECT_EQ(t.Find(flags), THREE_VIEW_INVALID);
    for (uint8_t f : flags) EXPECT_EQ(f, 0);
    const Tracks three = RigidTracks(3);
    EXPECT_EQ(three.Find(flags), THREE_VIEW_INVALID);
}

}  // namespace

#include "align/projective_fit.h"

#include <cmath>
#include <initializer_list>

#include "align/match_means.h"
#include "align/ransac_sampler.h"
#include "align/ransac_scratch.h"
#include "align/reduced_least_squares.h"

namespace {

// Shear or rotation limit (about 4 degrees) and scale limit of a plausible transform.
constexpr double kShearLimit = 0.06977777777777779;
constexpr double kScaleLower = 0.95;
constexpr double kScaleUpper = 1.0526315789473684;
constexpr double kDenominatorFloor = 0.05;

constexpr int32_t kProjectiveSample = 5;

void CopyTransform(const ProjectiveTransform &from, double *matrix, double *translation,
                   double *perspective) {
    for (int32_t i = 0; i < 4; ++i) matrix[i] = from.matrix[i];
    for (int32_t i = 0; i < 2; ++i) {
        translation[i] = from.translation[i];
        perspective[i] = from.perspective[i];
    }
}

ProjectiveTransform ReadTransform(const double *matrix, const double *translation,
                                  const double *perspective) {
    return {{matrix[0], matrix[1], matrix[2], matrix[3]},
            {translation[0], translation[1]},
            {perspective[0], perspective[1]}};
}

// Identity with the mean displacement of the set.
void SetMeanTranslation(const float *refX, const float *refY, const float *curX,
                        const float *curY, int32_t count, double *matrix, double *translation,
                        double *perspective) {
    SetIdentityProjective(matrix, translation, perspective);
    if (count <= 0) return;
    MeanMatchDisplacement(refX, refY, curX, curY, count, &translation[0], &translation[1]);
}

}  // namespace

void SetIdentityProjective(double *matrix, double *translation, double *perspective) {
    matrix[0] = 1.0;
    matrix[1] = 0.0;
    matrix[2] = 0.0;
    matrix[3] = 1.0;
    translation[0] = translation[1] = 0.0;
    perspective[0] = perspective[1] = 0.0;
}

int SolveProjectiveLeastSquares(const float *refX, const float *refY, const float *curX,
                                const float *curY, int32_t count, double *matrix,
                                double *translation, double *perspective) {
    if (count < 4) return FIT_TOO_FEW_POINTS;
    const MatchMeans m = ComputeMatchMeans(refX, refY, curX, curY, count);
    // Centring each equation's columns removes tx (first equation) and ty (second) exactly.
    ReducedNormalSystem system;
    ClearReducedSystem(&system, 4);
    for (int32_t k = 0; k < count; ++k) {
        const double x = refX[k], y = refY[k], X = curX[k], Y = curY[k];
        const double cx = x - m.x, cy = y - m.y;
        const double first[4] = {cx, cy, 0.0, 0.0};
        const double second[4] = {0.0, 0.0, cx, cy};
        AddReducedRow(&system, first, x * X - m.xX, y * X - m.yX, X - m.X);
        AddReducedRow(&system, second, x * Y - m.xY, y * Y - m.yY, Y - m.Y);
    }
    ScaleReducedSystem(&system, count);
    const double spread = ReducedQSpread(system);
    double q[4], p[2];
    if (std::fabs(spread) <= 1e-12 || !SolveReducedSystem(system, q, p)) {
        SetMeanTranslation(refX, refY, curX, curY, count, matrix, translation, perspective);
        return FIT_DEGENERATE;
    }
    const double tx = m.X - q[0] * m.x - q[1] * m.y - p[0] * m.xX - p[1] * m.yX;
    const double ty = m.Y - q[2] * m.x - q[3] * m.y - p[0] * m.xY - p[1] * m.yY;
    if (!std::isfinite(tx) || !std::isfinite(ty)) {
        SetMeanTranslation(refX, refY, curX, curY, count, matrix, translation, perspective);
        return FIT_DEGENERATE;
    }
    for (int32_t i = 0; i < 4; ++i) matrix[i] = q[i];
    translation[0] = tx;
    translation[1] = ty;
    perspective[0] = p[0];
    perspective[1] = p[1];
    return FIT_OK;
}

int IsPlausibleProjective(int32_t width, int32_t height, const double *matrix, double tx,
                          double ty, double g, double h) {
    for (double v : {matrix[0], matrix[1], matrix[2], matrix[3], tx, ty, g, h})
        if (!std::isfinite(v)) return 0;
    const double W = width, H = height;
    const double m0 = matrix[0], m1 = matrix[1], m2 = matrix[2], m3 = matrix[3];
    const double wx = 1.0 - W * g;  // denominator at (W, 0)
    const double wy = 1.0 - H * h;  // at (0, H)
    const double wxy = wx + wy - 1.0;  // at (W, H)
    // Jacobian entries at the origin and numerators of the Jacobian at (W, 0) and (0, H).
    const double p0 = m0 + g * tx, p3 = m3 + h * ty;
    const double q1 = m3 * wx + h * (W * m2 + ty);
    const double q2 = m0 * wy + g * (H * m1 + tx);
    const double c0 = m1 + h * tx, d0 = m2 + g * ty;
    const double cW = wx * m1 + h * (W * m0 + tx);
    const double dH = wy * m2 + g * (H * m3 + ty);
    const bool implausible =
        wx <= kDenominatorFloor || wy <= kDenominatorFloor || wx * wxy <= kDenominatorFloor ||
        wxy * wy <= kDenominatorFloor || p0 <= 0.0 || p3 <= 0.0 || q1 <= 0.0 || q2 <= 0.0 ||
        std::fabs(c0) > kShearLimit * p3 || std::fabs(d0) > kShearLimit * p0 ||
        std::fabs(dH) > kShearLimit * q2 || std::fabs(cW) > kShearLimit * q2 ||
        p0 <= kScaleLower * wx || p0 >= kScaleUpper * wx || p3 <= kScaleLower * wy ||
        p3 >= kScaleUpper * wy || q1 <= kScaleLower * (wx * wxy) ||
        q1 >= kScaleUpper * (wx * wxy) || q2 <= kScaleLower * (wxy * wy) ||
        q2 >= kScaleUpper * (wxy * wy);
    return implausible ? 0 : 1;
}

bool IsProjectiveInlierWithin(const double *matrix, const double *translation,
                              const double *perspective, float x, float y, float X, float Y,
                              double radius) {
    const double w = 1.0 - perspective[0] * x - perspective[1] * y;
    if (std::fabs(w) < 1e-12) return false;
    const double mappedX = (matrix[0] * x + matrix[1] * y + translation[0]) / w;
    const double mappedY = (matrix[2] * x + matrix[3] * y + translation[1]) / w;
    const double dx = mappedX - X, dy = mappedY - Y;
    return dx * dx + dy * dy <= radius * radius;
}

bool IsProjectiveInlier(const double *matrix, const double *translation,
                        const double *perspective, float x, float y, float X, float Y) {
    return IsProjectiveInlierWithin(matrix, translation, perspective, x, y, X, Y, 1.0);
}

namespace {

// The inlier test of one hypothesis, as the consensus helpers call it.
auto InlierTest(const ProjectiveTransform &t) {
    return [&t](float x, float y, float X, float Y) {
        return IsProjectiveInlier(t.matrix, t.translation, t.perspective, x, y, X, Y);
    };
}

}  // namespace

int FitProjectiveRansac(void *scratch, int32_t width, int32_t height, const float *refX,
                        const float *refY, const float *curX, const float *curY, int32_t n,
                        double *matrix, double *translation, double *perspective) {
    SetIdentityProjective(matrix, translation, perspective);
    if (n < kProjectiveSample) {
        SetMeanTranslation(refX, refY, curX, curY, n, matrix, translation, perspective);
        return FIT_TOO_FEW_POINTS;
    }
    ProjectiveTransform best = ReadTransform(matrix, translation, perspective);
    int32_t bestCount = 0;
    int32_t limit = kRansacMaxIterations;
    const RansacScratch s = CarveRansacScratch(scratch, n);
    ResetPermutation(s.permutation, n);
    uint64_t state = kRansacSeed;
    const int32_t minSpacing = MinimumSampleSpacing(width, height);
    // Every failure leaves the best plausible hypothesis (the identity when there is none).
    auto fail = [&](int result) {
        CopyTransform(best, matrix, translation, perspective);
        return result;
    };
    for (int32_t iteration = 0; iteration < limit; ++iteration) {
        const int32_t drawn = DrawRansacSample(s.permutation, refX, refY, curX, curY, n, s.refX,
                                               s.refY, s.curX, s.curY, kProjectiveSample, &state,
                                               minSpacing);
        if (drawn < kProjectiveSample) return fail(FIT_TOO_FEW_POINTS);
        const int solved = SolveProjectiveLeastSquares(s.refX, s.refY, s.curX, s.curY, drawn,
                                                       matrix, translation, perspective);
        if (solved != FIT_OK) return fail(solved);
        const ProjectiveTransform hypothesis = ReadTransform(matrix, translation, perspective);
        const int32_t count = CountMatches(refX, refY, curX, curY, n, InlierTest(hypothesis));
        if (count <= bestCount ||
            !IsPlausibleProjective(width, height, matrix, translation[0], translation[1],
                                   perspective[0], perspective[1]))
            continue;
        best = ReadTransform(matrix, translation, perspective);
        bestCount = count;
        if (count == n) break;
        limit = RansacIterationLimit5(count, n);
    }
    // A hypothesis that fewer than five matches support is no fit: five points always fit.
    if (bestCount < kProjectiveSample) return fail(FIT_NO_HYPOTHESIS);
    const int32_t inliers = CollectMatches(refX, refY, curX, curY, n, s, InlierTest(best));
    const int refit = SolveProjectiveLeastSquares(s.refX, s.refY, s.curX, s.curY, inliers, matrix,
                                                  translation, perspective);
    if (refit != FIT_OK) return fail(refit);
    if (!IsPlausibleProjective(width, height, matrix, translation[0], translation[1],
                               perspective[0], perspective[1]))
        CopyTransform(best, matrix, translation, perspective);
    return FIT_OK;
}

int FitProjectiveRansacAlloc(MemoryContext memory, int32_t width, int32_t height,
                             const float *refX, const float *refY, const float *curX,
                             const float *curY, int32_t n, double *matrix, double *translation,
                             double *perspective) {
    void *scratch = AllocateMemory(memory, RansacScratchBytes(n));
    if (!scratch) return RESULT_OUT_OF_MEMORY;
    const int result = FitProjectiveRansac(scratch, width, height, refX, refY, curX, curY, n,
                                           matrix, translation, perspective);
    FreeMemory(memory, scratch);
    return result;
}

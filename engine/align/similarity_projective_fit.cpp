#include <algorithm>
#include <cmath>

#include "align/match_means.h"
#include "align/ransac_sampler.h"
#include "align/ransac_scratch.h"
#include "align/ransac_variants.h"
#include "align/reduced_least_squares.h"

namespace {

constexpr int32_t kSimilaritySample = 4;
// A best hypothesis supported by fewer matches is no fit (four points always fit).
constexpr int32_t kSimilarityMinimumSupport = 5;

struct SimilarityPerspective {
    double params[4];  // a, b, c, s
    double translation[2];
};

const SimilarityPerspective kSimilarityIdentity = {{0.0, 0.0, 1.0, 0.0}, {0.0, 0.0}};

void WriteModel(const SimilarityPerspective &m, double *params, double *translation,
                double *perspective) {
    std::copy(m.params, m.params + 4, params);
    std::copy(m.translation, m.translation + 2, translation);
    perspective[0] = m.params[0];
    perspective[1] = m.params[1];
}

SimilarityPerspective ReadModel(const double *params, const double *translation) {
    return {{params[0], params[1], params[2], params[3]}, {translation[0], translation[1]}};
}

bool IsSimilarityInlier(const SimilarityPerspective &m, float x, float y, float X, float Y) {
    const double a = m.params[0], b = m.params[1], c = m.params[2], s = m.params[3];
    const double den = a * x + b * y + c;
    if (std::fabs(den) < 1e-12) return false;
    const double mappedX = (x - s * y + m.translation[0]) / den;
    const double mappedY = (s * x + y + m.translation[1]) / den;
    const double dx = mappedX - X, dy = mappedY - Y;
    return dx * dx + dy * dy <= 1.0;
}

// The inlier test of one hypothesis, as the consensus helpers call it.
auto InlierTest(const SimilarityPerspective &m) {
    return [&m](float x, float y, float X, float Y) { return IsSimilarityInlier(m, x, y, X, Y); };
}

}  // namespace

int SolveSimilarityPerspectiveLeastSquares(const float *refX, const float *refY,
                                           const float *curX, const float *curY, int32_t count,
                                           double *params, double *translation,
                                           double *perspective) {
    if (count < 4) return FIT_TOO_FEW_POINTS;
    const MatchMeans m = ComputeMatchMeans(refX, refY, curX, curY, count);
    // q = (c, s), p = (a, b); centring removes tx and ty.
    ReducedNormalSystem system;
    ClearReducedSystem(&system, 2);
    for (int32_t k = 0; k < count; ++k) {
        const double x = refX[k], y = refY[k], X = curX[k], Y = curY[k];
        const double first[2] = {X - m.X, y - m.y};
        const double second[2] = {Y - m.Y, -(x - m.x)};
        AddReducedRow(&system, first, x * X - m.xX, y * X - m.yX, x - m.x);
        AddReducedRow(&system, second, x * Y - m.xY, y * Y - m.yY, y - m.y);
    }
    ScaleReducedSystem(&system, count);
    const double spread = ReducedQSpread(system);
    double q[2], p[2];
    bool solved = std::fabs(spread) > 1e-12 && SolveReducedSystem(system, q, p);
    SimilarityPerspective model = kSimilarityIdentity;
    if (solved) {
        model.params[0] = p[0];
        model.params[1] = p[1];
        model.params[2] = q[0];
        model.params[3] = q[1];
        model.translation[0] = p[0] * m.xX + p[1] * m.yX + q[0] * m.X + q[1] * m.y - m.x;
        model.translation[1] = p[0] * m.xY + p[1] * m.yY + q[0] * m.Y - q[1] * m.x - m.y;
        solved = std::isfinite(model.translation[0]) && std::isfinite(model.translation[1]);
    }
    if (!solved) {
        model = kSimilarityIdentity;
        model.translation[0] = m.X - m.x;
        model.translation[1] = m.Y - m.y;
        WriteModel(model, params, translation, perspective);
        return FIT_DEGENERATE;
    }
    WriteModel(model, params, translation, perspective);
    return FIT_OK;
}

int FitSimilarityPerspectiveRansac(void *scratch, int32_t width, int32_t height,
                                   const float *refX, const float *refY, const float *curX,
                                   const float *curY, int32_t n, double *params,
                                   double *translation, double *perspective) {
    SimilarityPerspective best = kSimilarityIdentity;
    WriteModel(best, params, translation, perspective);
    const RansacScratch s = CarveRansacScratch(scratch, std::max(n, 0));
    ResetPermutation(s.permutation, n);
    uint64_t state = kRansacSeed;
    const int32_t minSpacing = MinimumSampleSpacing(width, height);
    int32_t bestCount = 0, limit = kRansacMaxIterations;
    auto fail = [&](int result) {
        WriteModel(best, params, translation, perspective);
        return result;
    };
    for (int32_t iteration = 0; iteration < limit; ++iteration) {
        const int32_t drawn = DrawRansacSample(s.permutation, refX, refY, curX, curY, n, s.refX,
                                               s.refY, s.curX, s.curY, kSimilaritySample, &state,
                                               minSpacing);
        if (drawn < kSimilaritySample) return fail(FIT_TOO_FEW_POINTS);
        const int solved = SolveSimilarityPerspectiveLeastSquares(
            s.refX, s.refY, s.curX, s.curY, drawn, params, translation, perspective);
        if (solved != FIT_OK) return solved;
        const SimilarityPerspective hypothesis = ReadModel(params, translation);
        const int32_t count = CountMatches(refX, refY, curX, curY, n, InlierTest(hypothesis));
        if (count <= bestCount) continue;
        best = hypothesis;
        bestCount = count;
        if (count == n) break;
        limit = RansacIterationLimit4(count, n);
    }
    if (bestCount < kSimilarityMinimumSupport) return fail(FIT_NO_HYPOTHESIS);
    const int32_t inliers = CollectMatches(refX, refY, curX, curY, n, s, InlierTest(best));
    return SolveSimilarityPerspectiveLeastSquares(s.refX, s.refY, s.curX, s.curY, inliers, params,
                                                  translation, perspective);
}

int FitSimilarityPerspectiveRansacAlloc(MemoryContext memory, int32_t width, int32_t height,
                                        const float *refX, const float *refY, const float *curX,
                                        const float *curY, int32_t n, double *params,
                                        double *translation, double *perspective) {
    void *scratch = AllocateMemory(memory, RansacScratchBytes(n));
    if (!scratch) return RESULT_OUT_OF_MEMORY;
    const int result = FitSimilarityPerspectiveRansac(scratch, width, height, refX, refY, curX,
                                                      curY, n, params, translation, perspective);
    FreeMemory(memory, scratch);
    return result;
}

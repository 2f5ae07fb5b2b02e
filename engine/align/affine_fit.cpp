#include <algorithm>
#include <cmath>

#include "align/match_means.h"
#include "align/ransac_sampler.h"
#include "align/ransac_scratch.h"
#include "align/ransac_variants.h"

namespace {

constexpr int32_t kAffineSample = 5;

struct Affine {
    double m[4];
    double t[2];
};

const Affine kAffineIdentity = {{1.0, 0.0, 0.0, 1.0}, {0.0, 0.0}};

void WriteAffine(const Affine &a, double *matrix, double *translation) {
    std::copy(a.m, a.m + 4, matrix);
    std::copy(a.t, a.t + 2, translation);
}

// Identity with the mean displacement (zero for an empty set).
Affine MeanDisplacement(const float *refX, const float *refY, const float *curX,
                        const float *curY, int32_t count) {
    Affine a = kAffineIdentity;
    if (count > 0) MeanMatchDisplacement(refX, refY, curX, curY, count, &a.t[0], &a.t[1]);
    return a;
}

// Least squares from the (co)variances; products of two coordinates are formed in single
// precision and summed in double. False when |var x var y - cov(x, y)^2| < 1e-12.
bool SolveAffine(const float *refX, const float *refY, const float *curX, const float *curY,
                 int32_t count, Affine *out) {
    double sx = 0, sy = 0, sX = 0, sY = 0, sxx = 0, syy = 0, sxy = 0;
    double sxX = 0, syX = 0, sxY = 0, syY = 0;
    for (int32_t k = 0; k < count; ++k) {
        const float x = refX[k], y = refY[k], X = curX[k], Y = curY[k];
        sx += x;
        sy += y;
        sX += X;
        sY += Y;
        sxx += x * x;
        syy += y * y;
        sxy += x * y;
        sxX += x * X;
        syX += y * X;
        sxY += x * Y;
        syY += y * Y;
    }
    const double n = count;
    const double mx = sx / n, my = sy / n, mX = sX / n, mY = sY / n;
    const double vx = sxx / n - mx * mx, vy = syy / n - my * my, cxy = sxy / n - mx * my;
    const double d = vx * vy - cxy * cxy;
    if (!(std::fabs(d) >= 1e-12)) return false;
    const double cxX = sxX / n - mx * mX, cyX = syX / n - my * mX;
    const double cxY = sxY / n - mx * mY, cyY = syY / n - my * mY;
    out->m[0] = (cxX * vy - cyX * cxy) / d;
    out->m[1] = (cyX * vx - cxX * cxy) / d;
    out->m[2] = (cxY * vy - cyY * cxy) / d;
    out->m[3] = (cyY * vx - cxY * cxy) / d;
    out->t[0] = mX - (out->m[0] * mx + out->m[1] * my);
    out->t[1] = mY - (out->m[2] * mx + out->m[3] * my);
    return true;
}

bool IsAffineInlier(const Affine &a, float x, float y, float X, float Y) {
    const double mappedX = a.m[0] * x + a.m[1] * y + a.t[0];
    const double mappedY = a.m[2] * x + a.m[3] * y + a.t[1];
    return std::fabs(mappedX - X) + std::fabs(mappedY - Y) <= 1.0;
}

// The inlier test of one hypothesis, as the consensus helpers call it.
auto InlierTest(const Affine &a) {
    return [&a](float x, float y, float X, float Y) { return IsAffineInlier(a, x, y, X, Y); };
}

}  // namespace

int FitAffineRansac(void *scratch, int32_t width, int32_t height, const float *refX,
                    const float *refY, const float *curX, const float *curY, int32_t n,
                    double *matrix, double *translation) {
    if (n < 4) {
        WriteAffine(MeanDisplacement(refX, refY, curX, curY, n), matrix, translation);
        return AFFINE_FIT_TOO_FEW_POINTS;
    }
    const RansacScratch s = CarveRansacScratch(scratch, n);
    ResetPermutation(s.permutation, n);
    uint64_t state = kRansacSeed;
    const int32_t minSpacing = MinimumSampleSpacing(width, height);
    Affine best = kAffineIdentity;
    int32_t bestCount = 0, limit = kRansacMaxIterations;
    for (int32_t iteration = 0; iteration < limit; ++iteration) {
        const int32_t drawn = DrawRansacSample(s.permutation, refX, refY, curX, curY, n, s.refX,
                                               s.refY, s.curX, s.curY, kAffineSample, &state,
                                               minSpacing);
        if (drawn < kAffineSample) {
            WriteAffine(best, matrix, translation);
            return AFFINE_FIT_FAILED;
        }
        Affine hypothesis;
        if (!SolveAffine(s.refX, s.refY, s.curX, s.curY, drawn, &hypothesis)) {
            WriteAffine(MeanDisplacement(s.refX, s.refY, s.curX, s.curY, drawn), matrix,
                        translation);
            return AFFINE_FIT_FAILED;
        }
        const int32_t count = CountMatches(refX, refY, curX, curY, n, InlierTest(hypothesis));
        if (count <= bestCount) continue;
        best = hypothesis;
        bestCount = count;
        if (count == n) break;
        limit = RansacIterationLimit5(count, n);
    }
    if (bestCount < std::max(8, static_cast<int32_t>(0.2 * n))) {
        WriteAffine(best, matrix, translation);
        return AFFINE_FIT_FAILED;
    }
    const int32_t inliers = CollectMatches(refX, refY, curX, curY, n, s, InlierTest(best));
    if (inliers < 3) {
        WriteAffine(kAffineIdentity, matrix, translation);
        return AFFINE_FIT_FAILED;
    }
    Affine refit;
    if (!SolveAffine(s.refX, s.refY, s.curX, s.curY, inliers, &refit)) {
        WriteAffine(MeanDisplacement(s.refX, s.refY, s.curX, s.curY, inliers), matrix,
                    translation);
        return AFFINE_FIT_FAILED;
    }
    WriteAffine(refit, matrix, translation);
    return AFFINE_FIT_OK;
}

int FitAffineRansacAlloc(MemoryContext memory, int32_t width, int32_t height, const float *refX,
                         const float *refY, const float *curX, const float *curY, int32_t n,
                         double *matrix, double *translation) {
    void *scratch = AllocateMemory(memory, RansacScratchBytes(n));
    if (!scratch) return RESULT_OUT_OF_MEMORY;
    const int result = FitAffineRansac(scratch, width, height, refX, refY, curX, curY, n, matrix,
                                       translation);
    FreeMemory(memory, scratch);
    return result;
}

// Further consensus routines beside the projective fit; nothing in the engine's merge calls
// them. The two transform fits share the projective fit's sampler, generator (reseeded on every
// call), best-hypothesis rule and iteration-limit rule; a count equal to n ends a search at once.
#pragma once

#include <cstdint>

#include "align/projective_fit.h"

// Result codes of the affine fit and of the three-view inlier search.
enum {
    AFFINE_FIT_OK = 0,
    AFFINE_FIT_TOO_FEW_POINTS = 2,  // fewer than four matches / tracks outside 4..128
    AFFINE_FIT_FAILED = 3           // draw failure, degenerate set, too few inliers
};
enum {
    THREE_VIEW_OK = 0,
    THREE_VIEW_INVALID = 2,  // track count outside 4..128, or a singular sample
    THREE_VIEW_FAILED = 3    // draw failure or fewer inliers than the minimum
};

// Affine fit X = a00 x + a01 y + tx, Y = a10 x + a11 y + ty on 5-point samples; a match is an
// inlier when |X' - X| + |Y' - Y| <= 1; no plausibility test. scratch: 5 * n words.
// - n < 4: identity with the mean displacement, AFFINE_FIT_TOO_FEW_POINTS;
// - a best count below max(8, (int)(0.2 n)): the best hypothesis, AFFINE_FIT_FAILED;
// - a degenerate sample: identity with the sample's mean displacement, AFFINE_FIT_FAILED;
// - a draw of fewer than five points: the best hypothesis so far, AFFINE_FIT_FAILED;
// - otherwise the refit on the best's inliers and AFFINE_FIT_OK (a degenerate refit gives the
//   identity with the inliers' mean displacement and AFFINE_FIT_FAILED).
int FitAffineRansac(void *scratch, int32_t width, int32_t height, const float *refX,
                    const float *refY, const float *curX, const float *curY, int32_t n,
                    double *matrix, double *translation);
// With an n * 20-byte scratch; RESULT_OUT_OF_MEMORY (4) when it cannot be allocated.
int FitAffineRansacAlloc(MemoryContext memory, int32_t width, int32_t height, const float *refX,
                         const float *refY, const float *curX, const float *curY, int32_t n,
                         double *matrix, double *translation);

// Rotation-scale-perspective model: params (a, b, c, s), translation (tx, ty):
// X = (x - s y + tx) / (a x + b y + c), Y = (s x + y + ty) / (a x + b y + c); perspective
// receives a copy of (a, b). The identity is params (0, 0, 1, 0).
// Least squares on the linearised equations a x X + b y X + c X + s y - tx = x and
// a x Y + b y Y + c Y - s x - ty = y. Returns FIT_OK; FIT_TOO_FEW_POINTS (outputs untouched)
// for count < 4; FIT_DEGENERATE (identity with the mean displacement) when
// |(var X + var Y)(var x + var y) - (cov(y, X) - cov(x, Y))^2| <= 1e-12 or the solution is not
// finite.
int SolveSimilarityPerspectiveLeastSquares(const float *refX, const float *refY,
                                           const float *curX, const float *curY, int32_t count,
                                           double *params, double *translation,
                                           double *perspective);
// Consensus fit of that model on 4-point samples; inliers within one pixel (squared distance),
// a denominator below 1e-12 is never an inlier. Results as FitProjectiveRansac without the
// plausibility test: FIT_TOO_FEW_POINTS when a draw finds fewer than four points,
// FIT_NO_HYPOTHESIS (best hypothesis in the outputs) when no hypothesis had at least five
// inliers, else the refit's result with the refit in the outputs.
int FitSimilarityPerspectiveRansac(void *scratch, int32_t width, int32_t height,
                                   const float *refX, const float *refY, const float *curX,
                                   const float *curY, int32_t n, double *params,
                                   double *translation, double *perspective);
// With a max(20, n * 20)-byte scratch; RESULT_OUT_OF_MEMORY (4) when it cannot be allocated.
int FitSimilarityPerspectiveRansacAlloc(MemoryContext memory, int32_t width, int32_t height,
                                        const float *refX, const float *refY, const float *curX,
                                        const float *curY, int32_t n, double *params,
                                        double *translation, double *perspective);

// Flags (1 or 0 in flags[k]) the largest set of tracks over three images consistent with one
// rank-3 linear model of the centred 6-vectors (x1, y1, x2, y2, x3, y3): each 4-track sample's
// span, a track being an inlier when every component of its distance to that span is below 1.5.
// Returns THREE_VIEW_OK; THREE_VIEW_INVALID for n outside 4..128 or a singular sample;
// THREE_VIEW_FAILED for a draw failure or fewer inliers than max(8, (int)(0.2 n)). The flags
// hold the best sample's inliers found so far (all zero when none).
int FindThreeViewInliers(const float *x1, const float *y1, const float *x2, const float *y2,
                         const float *x3, const float *y3, int32_t n, uint8_t *flags);

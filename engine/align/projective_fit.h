// Projective transforms fitted to point matches by random-sample consensus.
//
// A transform maps a reference point (x, y) to (X, Y) = ((a00 x + a01 y + tx) / w,
// (a10 x + a11 y + ty) / w) with w = 1 - g x - h y. To use it at another scale s (thumbnail to
// full size: s = 8) multiply the translation by s and the perspective by 1 / s.
//
// The fit draws five well-spread matches, solves a least-squares projective fit on them, counts
// the matches it maps within one pixel, keeps the best hypothesis that is also plausible (near
// the identity: rotation and shear below about 4 degrees, scale change within 5 %, mild
// perspective), stops after an iteration bound set by the best inlier ratio, and refits on all
// inliers of the best hypothesis. The generator is reseeded on every call: equal inputs give
// bit-identical transforms. Nothing is allocated (the caller hands in scratch) and nothing is
// kept between calls.
#pragma once

#include <cstdint>

#include "core/memory.h"

// The fits' own result codes (distinct from the engine's RESULT_ codes); any non-zero code means
// the images could not be aligned.
enum {
    FIT_OK = 0,
    FIT_NO_HYPOTHESIS = -1,
    FIT_TOO_FEW_POINTS = -2,
    FIT_DEGENERATE = -3
};

struct ProjectiveTransform {
    double matrix[4];       // a00, a01, a10, a11
    double translation[2];  // tx, ty
    double perspective[2];  // g, h
};

// Writes the identity into the three arrays.
void SetIdentityProjective(double *matrix, double *translation, double *perspective);

// Exact least-squares solution of the equations linear in the eight parameters, two per point:
// X = a00 x + a01 y + tx + g x X + h y X and Y = a10 x + a11 y + ty + g x Y + h y Y.
// Returns FIT_OK; FIT_TOO_FEW_POINTS (outputs untouched) for count < 4; FIT_DEGENERATE when the
// reference points have no 2-D spread (|var x var y - cov^2| <= 1e-12) or the solution is not
// finite, with the identity and the mean displacement as translation in the outputs. When the
// reduced 2 x 2 system in (g, h) is singular the fit is affine (g = h = 0).
int SolveProjectiveLeastSquares(const float *refX, const float *refY, const float *curX,
                                const float *curY, int32_t count, double *matrix,
                                double *translation, double *perspective);

// 1 when the transform is near enough the identity over a width x height image (corner
// denominators above 0.05, Jacobians at the origin and the far corners positive, shears within
// 4 x 3.14 / 180 and scales within (0.95, 1 / 0.95) after the perspective), else 0. Any pure
// translation passes; a non-finite parameter fails.
int IsPlausibleProjective(int32_t width, int32_t height, const double *matrix, double tx,
                          double ty, double g, double h);

// True when the transform maps (x, y) within one pixel of (X, Y) (squared distance <= 1);
// |w| < 1e-12 is never an inlier.
bool IsProjectiveInlier(const double *matrix, const double *translation,
                        const double *perspective, float x, float y, float X, float Y);
// The same test within the given radius.
bool IsProjectiveInlierWithin(const double *matrix, const double *translation,
                              const double *perspective, float x, float y, float X, float Y,
                              double radius);

// Fits the n matches (refX[k], refY[k]) -> (curX[k], curY[k]) from a width x height thumbnail.
// scratch holds at least 5 * n 32-bit words. Returns:
// - FIT_OK: the refit on the best hypothesis's inliers (or the best hypothesis itself when the
//   refit is implausible) is in the outputs;
// - FIT_TOO_FEW_POINTS for n < 5: the identity with the mean displacement as translation;
// - FIT_NO_HYPOTHESIS when no plausible hypothesis had at least 5 inliers;
// - FIT_TOO_FEW_POINTS when a draw found fewer than five acceptable points, FIT_DEGENERATE for a
//   degenerate sample or refit set.
// After any failure other than n < 5 the outputs hold the best plausible hypothesis found, the
// identity when there is none, so they always hold a usable transform.
int FitProjectiveRansac(void *scratch, int32_t width, int32_t height, const float *refX,
                        const float *refY, const float *curX, const float *curY, int32_t n,
                        double *matrix, double *translation, double *perspective);

// FitProjectiveRansac with an n * 20-byte scratch from the memory services; RESULT_OUT_OF_MEMORY
// (4, outputs untouched) when it cannot be allocated, else the fit's result.
int FitProjectiveRansacAlloc(MemoryContext memory, int32_t width, int32_t height,
                             const float *refX, const float *refY, const float *curX,
                             const float *curY, int32_t n, double *matrix, double *translation,
                             double *perspective);

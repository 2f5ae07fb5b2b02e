// The random sampling shared by the consensus fits: a seeded multiply-with-carry generator and a
// partial shuffle that draws well-spread, non-collinear points.
//
// Every fit restarts the generator from kRansacSeed, so equal inputs always give equal results.
#pragma once

#include <cstdint>

constexpr uint64_t kRansacSeed = ~uint64_t{0};
// Iterations never exceed this; it is also the limit until an inlier ratio sets a smaller one.
constexpr int32_t kRansacMaxIterations = 1000;
// tan of about one degree (3.14 / 180): a candidate this close to the line of two sample points
// (either direction) is rejected.
constexpr double kCollinearityTolerance = 0.017444444444444446;

// Iteration limits for 5-point samples: entry i = floor(ln 0.01 / ln(1 - w^5)), w = (i + 50) / 200,
// 0 for w >= 1. The draws needed for a 99 % chance of one all-inlier sample.
constexpr int32_t kRansacIterations5Size = 152;
extern const int32_t kRansacIterations5[kRansacIterations5Size];
// The same for 4-point samples: w = (i + 35) / 200.
constexpr int32_t kRansacIterations4Size = 168;
extern const int32_t kRansacIterations4[kRansacIterations4Size];

// Advances the generator (state = lo * 4164903690 + hi with lo the sign-extended low word,
// modulo 2^64) and returns the low 32 bits of the new state.
uint32_t AdvanceRansacState(uint64_t *state);

// min(width, height) / 16 when min(width, height) >= 80, else 4.
int32_t MinimumSampleSpacing(int32_t width, int32_t height);

// The limit after a best hypothesis with `count` of n inliers for 5-point samples:
// kRansacIterations5[idx] with idx = (int)(count / n * 200 + 0.5) - 50 when 19 <= idx <= 150,
// else kRansacMaxIterations.
int32_t RansacIterationLimit5(int32_t count, int32_t n);
// For 4-point samples: idx = (int)(200 * count / n + 0.5) - 35, used when 18 <= idx <= 165.
int32_t RansacIterationLimit4(int32_t count, int32_t n);

// True when the candidate c lies within about one degree of the line through p and q, seen from
// p (u = c - p, v = q - p: |u x v| < |u . v| * tolerance).
bool NearlyCollinear(float cx, float cy, float px, float py, float qx, float qy);

// Draws up to min(wanted, n) matches into the sample arrays. Visits position j = 0..n-1 once:
// swaps permutation[j] with a random later entry and tests the match it now names. A candidate is
// rejected when its L1 distance to a sample point is at most minSpacing (reference or current
// coordinates), or, from the third point on, when it is nearly collinear with any pair of sample
// points (reference coordinates, then current). Updates the permutation and the state; returns
// the number drawn (0 with the state untouched for n <= 0).
int32_t DrawRansacSample(int32_t *permutation, const float *refX, const float *refY,
                         const float *curX, const float *curY, int32_t n, float *sampleRefX,
                         float *sampleRefY, float *sampleCurX, float *sampleCurY, int32_t wanted,
                         uint64_t *state, int32_t minSpacing);

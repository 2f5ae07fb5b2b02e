#include <algorithm>
#include <cmath>

#include "align/ransac_sampler.h"
#include "align/ransac_variants.h"

namespace {

constexpr int32_t kMaxTracks = 128;
constexpr int32_t kTrackSample = 4;
constexpr int32_t kFirstLimit = 200;
constexpr double kTrackResidualLimit = 1.5;

using Vector6 = double[6];

struct TrackSet {
    const float *coords[6];  // x1, y1, x2, y2, x3, y3
    int32_t n;
    void Read(int32_t k, Vector6 out) const {
        for (int32_t i = 0; i < 6; ++i) out[i] = coords[i][k];
    }
};

// The partial shuffle of the projective sampler without the spacing test; from the third track
// on, a track nearly collinear with a pair of drawn tracks in any image is rejected.
int32_t DrawTracks(const TrackSet &set, int32_t *permutation, uint64_t *state,
                   int32_t *drawn) {
    int32_t count = 0;
    for (int32_t j = 0; j < set.n && count < kTrackSample; ++j) {
        const uint32_t random = AdvanceRansacState(state);
        const int32_t pick = j + static_cast<int32_t>(random % static_cast<uint32_t>(set.n - j));
        std::swap(permutation[j], permutation[pick]);
        const int32_t c = permutation[j];
        bool rejected = false;
        for (int32_t image = 0; image < 3 && count >= 2 && !rejected; ++image) {
            const float *xs = set.coords[2 * image], *ys = set.coords[2 * image + 1];
            for (int32_t p = 0; p < count && !rejected; ++p)
                for (int32_t q = p + 1; q < count && !rejected; ++q)
                    rejected = NearlyCollinear(xs[c], ys[c], xs[drawn[p]], ys[drawn[p]],
                                               xs[drawn[q]], ys[drawn[q]]);
        }
        if (!rejected) drawn[count++] = c;
    }
    return count;
}

// Columns of A that get a pivot in a Gauss-Jordan elimination with partial pivoting; entries
// below the threshold (1e-14, then 1e-14 times the latest pivot) count as zero.
int32_t BasisColumns(const double a[6][3], int32_t *columns) {
    double m[6][3];
    std::copy(&a[0][0], &a[0][0] + 18, &m[0][0]);
    double threshold = 1e-14;
    int32_t rank = 0;
    for (int32_t col = 0; col < 3; ++col) {
        int32_t best = -1;
        for (int32_t row = rank; row < 6; ++row) {
            if (std::fabs(m[row][col]) < threshold) {
                m[row][col] = 0.0;
            } else if (best < 0 || std::fabs(m[row][col]) > std::fabs(m[best][col])) {
                best = row;
            }
        }
        if (best < 0) continue;
        const double pivot = m[best][col];
        for (int32_t j = 0; j < 3; ++j) std::swap(m[best][j], m[rank][j]);
        for (int32_t j = 0; j < 3; ++j) m[rank][j] /= pivot;
        for (int32_t row = 0; row < 6; ++row) {
            if (row == rank) continue;
            const double factor = m[row][col];
            for (int32_t j = 0; j < 3; ++j) m[row][j] -= factor * m[rank][j];
        }
        threshold = 1e-14 * std::fabs(pivot);
        columns[rank++] = col;
    }
    return rank;
}

// Inverse of the r x r Gram matrix; false when it is singular.
bool InvertGram(const double g[3][3], int32_t r, double inverse[3][3]) {
    if (r == 1) {
        if (std::fabs(g[0][0]) <= 1e-15) return false;
        inverse[0][0] = 1.0 / g[0][0];
        return true;
    }
    if (r == 2) {
        const double det = g[0][0] * g[1][1] - g[0][1] * g[1][0];
        if (std::fabs(det) <= 1e-15) return false;
        inverse[0][0] = g[1][1] / det;
        inverse[0][1] = -g[0][1] / det;
        inverse[1][0] = -g[1][0] / det;
        inverse[1][1] = g[0][0] / det;
        return true;
    }
    if (r != 3) return false;
    const double c00 = g[1][1] * g[2][2] - g[1][2] * g[2][1];
    const double c01 = g[1][0] * g[2][2] - g[1][2] * g[2][0];
    const double c02 = g[1][0] * g[2][1] - g[1][1] * g[2][0];
    const double t0 = g[0][0] * c00, t1 = g[0][1] * c01, t2 = g[0][2] * c02;
    const double det = t0 - t1 + t2;
    if (std::fabs(det) <= 1e-15 * (std::fabs(t0) + std::fabs(t1) + std::fabs(t2))) return false;
    inverse[0][0] = c00 / det;
    inverse[1][0] = -c01 / det;
    inverse[2][0] = c02 / det;
    inverse[0][1] = -(g[0][1] * g[2][2] - g[0][2] * g[2][1]) / det;
    inverse[1][1] = (g[0][0] * g[2][2] - g[0][2] * g[2][0]) / det;
    inverse[2][1] = -(g[0][0] * g[2][1] - g[0][1] * g[2][0]) / det;
    inverse[0][2] = (g[0][1] * g[1][2] - g[0][2] * g[1][1]) / det;
    inverse[1][2] = -(g[0][0] * g[1][2] - g[0][2] * g[1][0]) / det;
    inverse[2][2] = (g[0][0] * g[1][1] - g[0][1] * g[1][0]) / det;
    return true;
}

// The orthogonal projector onto the span of the centred sample, and the centroid; false for a
// singular sample.
bool SampleProjector(const TrackSet &set, const int32_t *drawn, Vector6 centroid,
                     double projector[6][6]) {
    Vector6 v[kTrackSample];
    for (int32_t k = 0; k < kTrackSample; ++k) set.Read(drawn[k], v[k]);
    for (int32_t i = 0; i < 6; ++i)
        centroid[i] = (v[0][i] + v[1][i] + v[2][i] + v[3][i]) * 0.25;
    double a[6][3];
    for (int32_t i = 0; i < 6; ++i)
        for (int32_t k = 0; k < 3; ++k) a[i][k] = v[k][i] - centroid[i];
    int32_t columns[3];
    const int32_t r = BasisColumns(a, columns);
    double gram[3][3] = {}, inverse[3][3] = {};
    for (int32_t i = 0; i < r; ++i)
        for (int32_t j = 0; j < r; ++j)
            for (int32_t row = 0; row < 6; ++row)
                gram[i][j] += a[row][columns[i]] * a[row][columns[j]];
    if (!InvertGram(gram, r, inverse)) return false;
    // P = B G^-1 B^T.
    for (int32_t i = 0; i < 6; ++i)
        for (int32_t j = 0; j < 6; ++j) {
            double sum = 0.0;
            for (int32_t k = 0; k < r; ++k)
                for (int32_t l = 0; l < r; ++l)
                    sum += a[i][columns[k]] * inverse[k][l] * a[j][columns[l]];
            projector[i][j] = sum;
        }
    return true;
}

// Flags the tracks whose centred 6-vector lies within 1.5 of the span in every component.
int32_t FlagInliers(const TrackSet &set, const Vector6 centroid, const double projector[6][6],
                    uint8_t *flags) {
    int32_t count = 0;
    for (int32_t k = 0; k < set.n; ++k) {
        Vector6 v;
        set.Read(k, v);
        for (int32_t i = 0; i < 6; ++i) v[i] -= centroid[i];
        double residual = 0.0;
        for (int32_t i = 0; i < 6; ++i) {
            double projected = 0.0;
            for (int32_t j = 0; j < 6; ++j) projected += projector[i][j] * v[j];
            residual = std::max(residual, std::fabs(projected - v[i]));
        }
        flags[k] = residual < kTrackResidualLimit ? 1 : 0;
        count += flags[k];
    }
    return count;
}

}  // namespace

int FindThreeViewInliers(const float *x1, const float *y1, const float *x2, const float *y2,
                         const float *x3, const float *y3, int32_t n, uint8_t *flags) {
    if (n > 0 && flags) std::fill(flags, flags + n, uint8_t{0});
    if (n < kTrackSample || n > kMaxTracks || !flags) return THREE_VIEW_INVALID;
    const TrackSet set = {{x1, y1, x2, y2, x3, y3}, n};
    const int32_t minimum = std::max(8, static_cast<int32_t>(0.2 * n));
    int32_t permutation[kMaxTracks];
    for (int32_t k = 0; k < n; ++k) permutation[k] = k;
    uint8_t current[kMaxTracks];
    uint64_t state = kRansacSeed;
    int32_t best = 0, limit = kFirstLimit;
    for (int32_t iteration = 0; iteration < limit; ++iteration) {
        int32_t drawn[kTrackSample];
        if (DrawTracks(set, permutation, &state, drawn) < kTrackSample) return THREE_VIEW_FAILED;
        Vector6 centroid;
        double projector[6][6];
        if (!SampleProjector(set, drawn, centroid, projector)) return THREE_VIEW_INVALID;
        const int32_t count = FlagInliers(set, centroid, projector, current);
        if (count <= best) continue;
        std::copy(current, current + n, flags);
        best = count;
        if (count == n) break;
        limit = RansacIterationLimit4(count, n);
    }
    return best < minimum ? THREE_VIEW_FAILED : THREE_VIEW_OK;
}

#include "align/reduced_least_squares.h"

#include <cmath>
#include <utility>

void ClearReducedSystem(ReducedNormalSystem *system, int32_t qCount) {
    system->qCount = qCount;
    for (auto &row : system->gram)
        for (double &v : row) v = 0.0;
}

void AddReducedRow(ReducedNormalSystem *system, const double *q, double p0, double p1,
                   double target) {
    const int32_t k = system->qCount;
    double row[kReducedColumns];
    for (int32_t i = 0; i < k; ++i) row[i] = q[i];
    row[k] = p0;
    row[k + 1] = p1;
    row[k + 2] = target;
    for (int32_t i = 0; i < k + 3; ++i)
        for (int32_t j = 0; j < k + 3; ++j) system->gram[i][j] += row[i] * row[j];
}

void ScaleReducedSystem(ReducedNormalSystem *system, double count) {
    for (auto &row : system->gram)
        for (double &v : row) v /= count;
}

double ReducedQEntry(const ReducedNormalSystem &system, int32_t i, int32_t j) {
    return system.gram[i][j];
}

double ReducedQSpread(const ReducedNormalSystem &system) {
    return ReducedQEntry(system, 0, 0) * ReducedQEntry(system, 1, 1) -
           ReducedQEntry(system, 0, 1) * ReducedQEntry(system, 0, 1);
}

namespace {

// Solves Nqq * Z = [Nqp0 Nqp1 Nqt] by Gaussian elimination with partial pivoting.
bool SolveQBlock(const ReducedNormalSystem &s, double z[kMaxReducedQ][3]) {
    const int32_t k = s.qCount;
    double a[kMaxReducedQ][kMaxReducedQ + 3];
    for (int32_t i = 0; i < k; ++i) {
        for (int32_t j = 0; j < k; ++j) a[i][j] = s.gram[i][j];
        for (int32_t r = 0; r < 3; ++r) a[i][k + r] = s.gram[i][k + r];
    }
    for (int32_t col = 0; col < k; ++col) {
        int32_t pivot = col;
        for (int32_t i = col + 1; i < k; ++i)
            if (std::fabs(a[i][col]) > std::fabs(a[pivot][col])) pivot = i;
        if (a[pivot][col] == 0.0) return false;
        if (pivot != col)
            for (int32_t j = 0; j < k + 3; ++j) std::swap(a[pivot][j], a[col][j]);
        for (int32_t i = col + 1; i < k; ++i) {
            const double factor = a[i][col] / a[col][col];
            for (int32_t j = col; j < k + 3; ++j) a[i][j] -= factor * a[col][j];
        }
    }
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t i = k - 1; i >= 0; --i) {
            double v = a[i][k + r];
            for (int32_t j = i + 1; j < k; ++j) v -= a[i][j] * z[j][r];
            z[i][r] = v / a[i][i];
        }
    return true;
}

}  // namespace

bool SolveReducedSystem(const ReducedNormalSystem &s, double *q, double *p) {
    const int32_t k = s.qCount;
    double z[kMaxReducedQ][3];
    if (!SolveQBlock(s, z)) return false;
    // Reduced system in p: S p = rhs.
    double m[2][2], rhs[2];
    for (int32_t i = 0; i < 2; ++i) {
        for (int32_t j = 0; j < 2; ++j) {
            double v = s.gram[k + i][k + j];
            for (int32_t l = 0; l < k; ++l) v -= s.gram[l][k + i] * z[l][j];
            m[i][j] = v;
        }
        double v = s.gram[k + i][k + 2];
        for (int32_t l = 0; l < k; ++l) v -= s.gram[l][k + i] * z[l][2];
        rhs[i] = v;
    }
    const double det = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    if (std::fabs(det) < 1e-12) {
        p[0] = 0.0;
        p[1] = 0.0;
    } else {
        p[0] = (rhs[0] * m[1][1] - m[0][1] * rhs[1]) / det;
        p[1] = (m[0][0] * rhs[1] - rhs[0] * m[1][0]) / det;
    }
    bool finite = std::isfinite(p[0]) && std::isfinite(p[1]);
    for (int32_t i = 0; i < k; ++i) {
        q[i] = z[i][2] - z[i][0] * p[0] - z[i][1] * p[1];
        finite = finite && std::isfinite(q[i]);
    }
    return finite;
}

#include "quantile_curve.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/exposure_stats.h"
#include "core/hdr_engine.h"

namespace {

constexpr int kQuantiles = 21;
constexpr int kTerms = 5;

// Solves a x = b by Gaussian elimination with complete pivoting; false when singular.
bool SolveCompletePivoting(double a[kTerms][kTerms], double b[kTerms], double x[kTerms]) {
    int column[kTerms];
    for (int k = 0; k < kTerms; ++k) column[k] = k;
    for (int k = 0; k < kTerms - 1; ++k) {
        int pivotRow = k;
        int pivotCol = k;
        double largest = 0;
        for (int i = k; i < kTerms; ++i)
            for (int j = k; j < kTerms; ++j)
                if (std::fabs(a[i][j]) > largest) {
                    largest = std::fabs(a[i][j]);
                    pivotRow = i;
                    pivotCol = j;
                }
        if (largest < 1e-14) return false;
        if (pivotRow != k) {
            for (int j = 0; j < kTerms; ++j) std::swap(a[k][j], a[pivotRow][j]);
            std::swap(b[k], b[pivotRow]);
        }
        if (pivotCol != k) {
            for (int i = 0; i < kTerms; ++i) std::swap(a[i][k], a[i][pivotCol]);
            std::swap(column[k], column[pivotCol]);
        }
        for (int i = k + 1; i < kTerms; ++i) {
            const double factor = a[i][k] / a[k][k];
            for (int j = k; j < kTerms; ++j) a[i][j] -= factor * a[k][j];
            b[i] -= factor * b[k];
        }
    }
    if (a[kTerms - 1][kTerms - 1] == 0) return false;
    double solution[kTerms];
    for (int i = kTerms - 1; i >= 0; --i) {
        if (a[i][i] == 0) return false;
        double sum = b[i];
        for (int j = i + 1; j < kTerms; ++j) sum -= a[i][j] * solution[j];
        solution[i] = sum / a[i][i];
    }
    // Undo the column swaps: solution[k] belongs to the unknown that column k now holds.
    for (int k = 0; k < kTerms; ++k) x[column[k]] = solution[k];
    return true;
}

}  // namespace

void FindQuantileLevels(const int32_t histogram[256], int64_t n, int32_t levels[21]) {
    FindQuantileLevels(levels, kQuantiles - 1, histogram, n);
}

int FitQuantileCurveLut(uint8_t out[256], const int32_t exposureHistogram[256],
                        const int32_t referenceHistogram[256], int64_t n) {
    if (!out || !exposureHistogram || !referenceHistogram) return RESULT_INVALID_ARGUMENT;
    int32_t xLevels[kQuantiles];
    int32_t yLevels[kQuantiles];
    FindQuantileLevels(exposureHistogram, n, xLevels);
    FindQuantileLevels(referenceHistogram, n, yLevels);
    double normal[kTerms][kTerms] = {};
    double rhs[kTerms] = {};
    for (int j = 0; j < kQuantiles; ++j) {
        const double x = xLevels[j] / 255.0;
        const double y = yLevels[j] / 255.0;
        double powers[2 * kTerms - 1];
        powers[0] = 1;
        for (int p = 1; p < 2 * kTerms - 1; ++p) powers[p] = powers[p - 1] * x;
        for (int a = 0; a < kTerms; ++a) {
            for (int b = 0; b < kTerms; ++b) normal[a][b] += powers[a + b];
            rhs[a] += powers[a] * y;
        }
    }
    double c[kTerms] = {};
    if (!SolveCompletePivoting(normal, rhs, c))
        for (double &coefficient : c) coefficient = 0;
    for (int m = 0; m < 256; ++m) {
        const double x = m / 255.0;
        const double p = c[0] + c[1] * x + c[2] * x * x + c[3] * x * x * x + c[4] * x * x * x * x;
        const double value = std::trunc(255 * p + 0.5);
        out[m] = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
        // A quartic turns back past the last quantile it was fitted to: brighter levels must
        // never map darker, so the curve holds its highest value from there on.
        if (m > 0 && out[m] < out[m - 1]) out[m] = out[m - 1];
    }
    return 0;
}

// Robust line fits that spread the per-tile displacements of two measured grid columns over
// the whole tile grid.
#include <cmath>
#include <cstdlib>

#include "local_alignment.h"

namespace {

struct Line {
    double slope;
    double intercept;  // value at row 1
    double At(int32_t row) const { return slope * (row - 1) + intercept; }
};

struct Column {
    int32_t *grid;
    int32_t stride;
    int32_t column;
    int32_t &operator[](int32_t row) const { return grid[row * stride + column]; }
};

// Least-squares slope of value against row over rows first..last; 0 without a spread.
double FitSlope(const Column &c, int32_t first, int32_t last) {
    const double n = last - first + 1;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int32_t r = first; r <= last; ++r) {
        sx += r;
        sy += c[r];
        sxx += double(r) * r;
        sxy += double(r) * c[r];
    }
    const double denominator = n * sxx - sx * sx;
    return denominator > 0 ? (n * sxy - sx * sy) / denominator : 0.0;
}

// One column: outlier replacement, then the line through the rows after the first usable one.
// `scaled` selects the bound sum |B v - S| (left column) instead of sum |v - S|.
Line FitColumn(const Column &c, int32_t rows, bool scaled, bool left, double *slopeOut) {
    const int32_t B = rows - 3;
    int32_t first = 1;
    if (rows == 8)
        for (int32_t k = 1; k <= B - 1; ++k)
            if (c[k + 1] <= 7) {
                first = k;
                break;
            }
    int64_t S = 0;
    for (int32_t r = 1; r <= B; ++r) S += c[r];
    if (slopeOut) *slopeOut = FitSlope(c, 1, B);

    int64_t bound = 0;
    for (int32_t r = 1; r <= B; ++r)
        bound += scaled ? std::llabs(int64_t{B} * c[r] - S) : std::llabs(int64_t{c[r]} - S);
    if (rows >= 4) bound = 3 * bound / (2 * B);
    auto outlier = [&](int32_t r) { return std::llabs(int64_t{B} * c[r] - S) > bound; };
    for (int32_t r = 2; r <= B - 1; ++r) {
        const bool forced = rows == 8 && (left ? c[r] != 0 : std::abs(c[r]) >= 8);
        if (outlier(r) || forced) c[r] = (c[r - 1] + c[r + 1] + 1) >> 1;
    }
    if (B >= 2) {
        if (outlier(1)) c[1] = c[2];
        if (outlier(B)) c[B] = c[B - 1];
    }

    // Second fit over rows first + 1 .. B, centred on the sum of (r - 1) over rows 2 .. B.
    const int32_t n = B - first;
    double sx = 0, sy = 0, sxx = 0, sxy = 0, centre = 0;
    for (int32_t r = first + 1; r <= B; ++r) {
        const double x = r - 1;
        sx += x;
        sy += c[r];
        sxx += x * x;
        sxy += x * c[r];
    }
    for (int32_t r = 2; r <= B; ++r) centre += r - 1;
    const double denominator = n * sxx - sx * sx;
    if (n < 2 || denominator <= 0) {
        // Too few rows for a line: keep the measured level rather than dropping it to 0.
        double mean = 0;
        for (int32_t r = 1; r <= B; ++r) mean += c[r];
        return {0.0, mean / B};
    }
    const double slope = (n * sxy - sx * sy) / denominator;
    return {slope, (sy - centre * slope) / n};
}

// Half away from zero on both sides: adding a half and truncating would lift every negative
// displacement by one pixel and leave the band pass working off by one.
int32_t RoundedHalfAway(double v) { return static_cast<int32_t>(std::lround(v)); }

// Value at column k of the line between (k0, a) and (k1, b).
double Between(double a, double b, int32_t k0, int32_t k1, int32_t k) {
    return ((k - k0) * b + (k1 - k) * a) / (k1 - k0);
}

}  // namespace

void FitDisplacementGridColumns(int32_t *grid, int32_t columns, int32_t rows, int middleColumn,
                                double *leftSlope, double *rightSlope) {
    const int32_t B = rows - 3;
    const int32_t right = columns - 3;
    if (!grid || B < 1 || right < 0 || columns < 1) return;
    const Line leftLine = FitColumn({grid, columns, 1}, rows, true, true, leftSlope);
    const Line rightLine = FitColumn({grid, columns, right}, rows, false, false, rightSlope);
    const int32_t middle = columns / 2;
    Line middleLine{};
    const bool withMiddle = middleColumn && middle > 1 && middle < right;
    if (withMiddle) middleLine = FitColumn({grid, columns, middle}, rows, false, false, nullptr);
    if (columns < 5) return;

    for (int32_t U = 1; U <= B; ++U) {
        int32_t *row = grid + U * columns;
        const double L = leftLine.At(U);
        const double R = rightLine.At(U);
        const bool straight =
            !withMiddle || std::fabs(middleLine.At(U) - Between(L, R, 1, right, middle)) <= 1.0;
        if (!withMiddle) {
            for (int32_t k = 1; k <= right; ++k)
                row[k] = RoundedHalfAway(((k - 1) * R + (right - k) * L) / (columns - 4));
        } else if (straight) {
            for (int32_t k = 1; k <= right; ++k) row[k] = RoundedHalfAway(Between(L, R, 1, right, k));
        } else {
            const double M = middleLine.At(U);
            for (int32_t k = 1; k < middle; ++k) row[k] = RoundedHalfAway(Between(L, M, 1, middle, k));
            for (int32_t k = middle; k <= columns - 4; ++k)
                row[k] = RoundedHalfAway(Between(M, R, middle, right, k));
        }
    }
}

#include <cmath>

#include "align/checked_rounding.h"
#include "align/transform_warp.h"

namespace {

// Near the horizon line of the transform the denominator is held at this value.
constexpr double kSmallestDenominator = 1e-10;

double GuardedDenominator(const double *perspective, double x, double y) {
    const double w = (1.0 - perspective[0] * x) - perspective[1] * y;
    return std::fabs(w) < kSmallestDenominator ? kSmallestDenominator : w;
}

}  // namespace

int BuildMotionGridFromTransform(const double *matrix, const double *translation,
                                 const double *perspective, int32_t *gridX, int32_t *gridY,
                                 int32_t nodeShift, int32_t cols, int32_t rows) {
    if (!matrix || !translation || !perspective || !gridX || !gridY) return 2;
    if (nodeShift < 1 || nodeShift > 30 || cols < 0 || rows < 0) return 2;
    for (int32_t i = 0; i < rows; ++i)
        for (int32_t j = 0; j < cols; ++j) {
            const int64_t nodeX = (int64_t{j} << nodeShift) - (int64_t{1} << (nodeShift - 1));
            const int64_t nodeY = (int64_t{i} << nodeShift) - (int64_t{1} << (nodeShift - 1));
            const double x = static_cast<double>(nodeX), y = static_cast<double>(nodeY);
            const double w = GuardedDenominator(perspective, x, y);
            const double mappedX = (matrix[0] * x + matrix[1] * y + translation[0]) / w;
            const double mappedY = (matrix[2] * x + matrix[3] * y + translation[1]) / w;
            const int64_t node = static_cast<int64_t>(i) * cols + j;
            gridX[node] = RoundHalfAway(x - mappedX);
            gridY[node] = RoundHalfAway(y - mappedY);
        }
    return 0;
}

int ComputeMatchResiduals(const float *refX, const float *refY, float *curX, float *curY,
                          int32_t n, const double *matrix, const double *translation,
                          const double *perspective) {
    for (int32_t k = 0; k < n; ++k) {
        const double x = refX[k], y = refY[k];
        const double w = GuardedDenominator(perspective, x, y);
        curX[k] = static_cast<float>(static_cast<double>(curX[k]) -
                                     (matrix[0] * x + matrix[1] * y + translation[0]) / w);
        curY[k] = static_cast<float>(static_cast<double>(curY[k]) -
                                     (matrix[2] * x + matrix[3] * y + translation[1]) / w);
    }
    return 1;
}

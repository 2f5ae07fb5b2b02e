// Means over a set of point matches (x, y) -> (X, Y), shared by the least-squares fits.
#pragma once

#include <cstdint>

// The means of the coordinates and of the cross products the centred fit equations use.
struct MatchMeans {
    double x, y, X, Y, xX, yX, xY, yY;
};

// Each coordinate is widened to double before the products are formed; count must be positive.
inline MatchMeans ComputeMatchMeans(const float *refX, const float *refY, const float *curX,
                                    const float *curY, int32_t count) {
    MatchMeans m = {0, 0, 0, 0, 0, 0, 0, 0};
    for (int32_t k = 0; k < count; ++k) {
        const double x = refX[k], y = refY[k], X = curX[k], Y = curY[k];
        m.x += x;
        m.y += y;
        m.X += X;
        m.Y += Y;
        m.xX += x * X;
        m.yX += y * X;
        m.xY += x * Y;
        m.yY += y * Y;
    }
    const double n = count;
    return {m.x / n, m.y / n, m.X / n, m.Y / n, m.xX / n, m.yX / n, m.xY / n, m.yY / n};
}

// The mean displacement of the set, each difference taken in single precision (the fallback
// translation of a fit that cannot solve); count must be positive.
inline void MeanMatchDisplacement(const float *refX, const float *refY, const float *curX,
                                  const float *curY, int32_t count, double *tx, double *ty) {
    double sumX = 0.0, sumY = 0.0;
    for (int32_t k = 0; k < count; ++k) {
        sumX += curX[k] - refX[k];
        sumY += curY[k] - refY[k];
    }
    *tx = sumX / count;
    *ty = sumY / count;
}

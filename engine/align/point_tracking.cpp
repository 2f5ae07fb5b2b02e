#include "align/point_tracking.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "align/checked_rounding.h"
#include "align/corner_detector.h"
#include "align/keypoint_descriptor.h"
#include "align/tracker_pyramid.h"
#include "core/memory.h"

int32_t SixteenthStep(double delta) { return TruncateToInt(16.0 * delta + 0.5); }

void ComputeStructureTensor(const Plane8 *gradientX, const int8_t *gradientYData, int32_t x,
                            int32_t y, int32_t radius, StructureTensor *out) {
    const int64_t y0 = std::max<int64_t>(int64_t{y} - radius, 0);
    const int64_t y1 = std::min<int64_t>(int64_t{y} + radius, gradientX->height - 1);
    const int64_t x0 = std::max<int64_t>(int64_t{x} - radius, 0);
    const int64_t x1 = std::min<int64_t>(int64_t{x} + radius, gradientX->width - 1);
    *out = StructureTensor{0.0, 0.0, 0.0, 0.0};
    if (y1 < y0 || x1 < x0) return;
    int64_t sxx = 0, sxy = 0, syy = 0;
    for (int64_t row = y0; row <= y1; ++row) {
        const int8_t *gx = GradientRow(gradientX, static_cast<int32_t>(row));
        const int8_t *gy = gradientYData + row * gradientX->stride;
        for (int64_t col = x0; col <= x1; ++col) {
            sxx += gx[col] * gx[col];
            sxy += gx[col] * gy[col];
            syy += gy[col] * gy[col];
        }
    }
    const double count = static_cast<double>((y1 - y0 + 1) * (x1 - x0 + 1));
    out->gxx = static_cast<double>(sxx) / count;
    out->gxy = static_cast<double>(sxy) / count;
    out->gyx = out->gxy;
    out->gyy = static_cast<double>(syy) / count;
}

namespace {

// Everything one level's iterations need.
struct LevelView {
    const Plane8 *reference;
    const Plane8 *gradientX;
    const Plane8 *gradientY;
    const Plane8 *frame;
};

LevelView ViewOfLevel(const Plane8 *const *referencePyramid, const Plane8 *const *gradientX,
                      const Plane8 *const *gradientY, const Plane8 *const *framePyramid,
                      int32_t level) {
    return {referencePyramid[level], gradientX[level], gradientY[level], framePyramid[level]};
}

// The determinant of the tensor, also reported (truncated magnitude) through outDeterminant.
double TensorDeterminant(const StructureTensor &t, int32_t *outDeterminant) {
    const double det = t.gxx * t.gyy - t.gxy * t.gyx;
    *outDeterminant = TruncateToInt(std::fabs(det));
    return det;
}

// The Lucas-Kanade step for a mismatch vector.
void SolveStep(const StructureTensor &t, double det, double bx, double by, double *dx,
               double *dy) {
    *dx = (t.gyy * bx - t.gxy * by) / det;
    *dy = (t.gxx * by - t.gyx * bx) / det;
}

// Clipped window bounds [lo, hi] along one axis: around centre with the radius, inside the
// reference plane of size extent, and with p + shift inside the frame range [0, frameLimit].
void ClipWindow(int64_t centre, int32_t radius, int32_t extent, int64_t shift, int64_t frameLimit,
                int64_t *lo, int64_t *hi) {
    *lo = std::max({centre - radius, int64_t{0}, -shift});
    *hi = std::min({centre + radius, int64_t{extent} - 1, frameLimit - shift});
}

// Mean of (reference - frame at p + shift) times the gradients over the clipped window of a
// coarse level, comparing whole pixels. False when the window is empty.
bool CoarseMismatch(const LevelView &view, int64_t n, int64_t m, int32_t radius, int64_t shiftX,
                    int64_t shiftY, double *bx, double *by) {
    int64_t x0, x1, y0, y1;
    ClipWindow(n, radius, view.reference->width, shiftX, view.frame->width - 1, &x0, &x1);
    ClipWindow(m, radius, view.reference->height, shiftY, view.frame->height - 1, &y0, &y1);
    if (x1 < x0 || y1 < y0) return false;
    int64_t sumX = 0, sumY = 0;
    for (int64_t py = y0; py <= y1; ++py) {
        const uint8_t *ref = PlaneRow(view.reference, static_cast<int32_t>(py));
        const uint8_t *frame = PlaneRow(view.frame, static_cast<int32_t>(py + shiftY));
        const int8_t *gx = GradientRow(view.gradientX, static_cast<int32_t>(py));
        const int8_t *gy = GradientRow(view.gradientY, static_cast<int32_t>(py));
        for (int64_t px = x0; px <= x1; ++px) {
            const int32_t diff = ref[px] - frame[px + shiftX];
            sumX += diff * gx[px];
            sumY += diff * gy[px];
        }
    }
    const double count = static_cast<double>((x1 - x0 + 1) * (y1 - y0 + 1));
    *bx = static_cast<double>(sumX) / count;
    *by = static_cast<double>(sumY) / count;
    return true;
}

// The same on level 0 with the frame sampled at p + (R, Q)/16 by bilinear interpolation in
// sixteenths; the window is clipped so that every sample read (also at u + 1, v + 1) exists.
bool FineMismatch(const LevelView &view, int64_t xr, int64_t yr, int32_t radius, int32_t r,
                  int32_t q, double *bx, double *by) {
    const int64_t shiftX = r >> 4, shiftY = q >> 4;
    const int32_t fx = r & 15, fy = q & 15;
    int64_t x0, x1, y0, y1;
    ClipWindow(xr, radius, view.reference->width, shiftX, view.frame->width - 2, &x0, &x1);
    ClipWindow(yr, radius, view.reference->height, shiftY, view.frame->height - 2, &y0, &y1);
    if (x1 < x0 || y1 < y0) return false;
    int64_t sumX = 0, sumY = 0;
    for (int64_t py = y0; py <= y1; ++py) {
        const uint8_t *ref = PlaneRow(view.reference, static_cast<int32_t>(py));
        const uint8_t *top = PlaneRow(view.frame, static_cast<int32_t>(py + shiftY));
        const uint8_t *bottom = top + view.frame->stride;
        const int8_t *gx = GradientRow(view.gradientX, static_cast<int32_t>(py));
        const int8_t *gy = GradientRow(view.gradientY, static_cast<int32_t>(py));
        for (int64_t px = x0; px <= x1; ++px) {
            const int64_t u = px + shiftX;
            const int32_t upper = 16 * top[u] + (top[u + 1] - top[u]) * fx;
            const int32_t lower = 16 * bottom[u] + (bottom[u + 1] - bottom[u]) * fx;
            const int32_t sample16 = (16 * upper + (lower - upper) * fy + 8) >> 4;
            const int32_t diff = 16 * ref[px] - sample16;
            sumX += diff * gx[px];
            sumY += diff * gy[px];
        }
    }
    const double count = static_cast<double>((x1 - x0 + 1) * (y1 - y0 + 1));
    *bx = static_cast<double>(sumX) / 16.0 / count;
    *by = static_cast<double>(sumY) / 16.0 / count;
    return true;
}

// The start test: inside the 2-pixel margin and a smaller tensor eigenvalue of at least 10.
bool PassesStartTest(const LevelView &view, int32_t xr, int32_t yr, int32_t radius) {
    const int32_t width = view.reference->width, height = view.reference->height;
    if (xr < 2 || xr >= width - 2 || yr < 2 || yr > height - 2) return false;
    StructureTensor t;
    ComputeStructureTensor(view.gradientX, GradientRow(view.gradientY, 0), xr, yr, radius, &t);
    const int32_t a = TruncateToInt(t.gxx), b = TruncateToInt(t.gxy), c = TruncateToInt(t.gyy);
    const int32_t sum = a + c;
    const int32_t h = ApproximateHypotenuse(std::abs(a - c), std::abs(2 * b));
    return ((sum - std::min(h, sum)) >> 1) >= 10;
}

// Whole-pixel iterations on coarse level `level`; (h, j) enters doubled from the coarser level.
bool TrackCoarseLevel(const LevelView &view, int32_t level, int32_t xr, int32_t yr,
                      int32_t radius, int32_t *h, int32_t *j, int32_t *outDeterminant) {
    const int64_t n = xr >> level, m = yr >> level;
    StructureTensor t;
    ComputeStructureTensor(view.gradientX, GradientRow(view.gradientY, 0),
                           static_cast<int32_t>(n), static_cast<int32_t>(m), radius, &t);
    const double det = TensorDeterminant(t, outDeterminant);
    if (std::fabs(det) < 1024.0) return false;
    const int32_t startH = *h, startJ = *j;
    const int32_t frameWidth = view.frame->width, frameHeight = view.frame->height;
    auto inside = [&]() {
        return 0 < n + *h && n + *h < frameWidth - 1 && 0 < m + *j && m + *j <= frameHeight - 1;
    };
    for (int32_t iteration = 0; iteration < kTrackIterations; ++iteration) {
        double bx, by, dx, dy;
        if (!CoarseMismatch(view, n, m, radius, *h, *j, &bx, &by)) return false;
        SolveStep(t, det, bx, by, &dx, &dy);
        *h = RoundHalfAway(*h + dx);
        *j = RoundHalfAway(*j + dy);
        if (std::fabs(dx) < 0.4 && std::fabs(dy) < 0.4) break;
        if (!inside()) break;
    }
    if (!inside()) return false;
    const bool smallStep = std::abs(*h - startH) < radius && std::abs(*j - startJ) < radius;
    const bool smallTotal = std::abs(*h) < radius && std::abs(*j) < radius;
    return smallStep || smallTotal;
}

// Sixteenth-pixel iterations on level 0; (r, q) enters as the start displacement.
bool TrackFineLevel(const LevelView &view, int32_t xr, int32_t yr, int32_t radius, int32_t *r,
                    int32_t *q, int32_t *outDeterminant) {
    StructureTensor t;
    ComputeStructureTensor(view.gradientX, GradientRow(view.gradientY, 0), xr, yr, radius, &t);
    const double det = TensorDeterminant(t, outDeterminant);
    if (std::fabs(det) < 1024.0) return false;
    const int32_t startR = *r, startQ = *q;
    const int32_t frameWidth = view.frame->width, frameHeight = view.frame->height;
    auto inside = [&]() {
        const int64_t xi = (16 * int64_t{xr} + *r) >> 4;
        const int64_t yi = (16 * int64_t{yr} + *q) >> 4;
        return 3 <= xi && xi < frameWidth - 3 && 3 <= yi && yi <= frameHeight - 3;
    };
    for (int32_t iteration = 0; iteration < kTrackIterations; ++iteration) {
        double bx, by, dx, dy;
        if (!FineMismatch(view, xr, yr, radius, *r, *q, &bx, &by)) return false;
        SolveStep(t, det, bx, by, &dx, &dy);
        *r += SixteenthStep(dx);
        *q += SixteenthStep(dy);
        if (std::fabs(dx) < 0.04 && std::fabs(dy) < 0.04) break;
        if (!inside()) break;
    }
    if (!inside()) return false;
    const bool smallStep = std::abs((*r - startR) >> 4) < radius &&
                           std::abs((*q - startQ) >> 4) < radius;
    const bool smallTotal = std::abs(*r >> 4) < radius && std::abs(*q >> 4) < radius;
    return smallStep || smallTotal;
}

// Coordinates beyond this cannot be tracked (and would not round to an int).
constexpr double kLargestTrackableCoordinate = 1.0e8;

}  // namespace

int32_t TrackPointPyramid(const Plane8 *const *referencePyramid, const Plane8 *const *gradientX,
                          const Plane8 *const *gradientY, const Plane8 *const *framePyramid,
                          int32_t levels, int32_t radius, float x, float y, float *outX,
                          float *outY, const uint8_t *referenceDescriptor,
                          uint8_t *descriptorScratch, int32_t *outDeterminant) {
    *outDeterminant = 0;
    *outX = x;
    *outY = y;
    if (levels < 1 || !(std::fabs(x) < kLargestTrackableCoordinate) ||
        !(std::fabs(y) < kLargestTrackableCoordinate))
        return -1;
    const int32_t xr = RoundHalfAway(x), yr = RoundHalfAway(y);
    const LevelView base = ViewOfLevel(referencePyramid, gradientX, gradientY, framePyramid, 0);
    if (!PassesStartTest(base, xr, yr, radius)) return -1;
    int32_t h = 0, j = 0;
    for (int32_t level = levels - 1; level >= 1; --level) {
        const LevelView view =
            ViewOfLevel(referencePyramid, gradientX, gradientY, framePyramid, level);
        h *= 2;
        j *= 2;
        if (!TrackCoarseLevel(view, level, xr, yr, radius, &h, &j, outDeterminant)) return -1;
    }
    // Level 1's whole pixels are two level-0 pixels, 32 sixteenths.
    int32_t r = levels > 1 ? 32 * h : 0;
    int32_t q = levels > 1 ? 32 * j : 0;
    if (!TrackFineLevel(base, xr, yr, radius, &r, &q, outDeterminant)) return -1;
    *outX = x + static_cast<float>(r) / 16.0f;
    *outY = y + static_cast<float>(q) / 16.0f;
    if (!referenceDescriptor || !descriptorScratch) return 0;
    const int32_t xi = static_cast<int32_t>((16 * int64_t{xr} + r) >> 4);
    const int32_t yi = static_cast<int32_t>((16 * int64_t{yr} + q) >> 4);
    const Plane8 *frame = base.frame;
    return DescriptorDistance(
        referenceDescriptor, ComputeKeypointDescriptor(frame->data, frame->stride, frame->width,
                                                       frame->height, xi, yi, descriptorScratch));
}

int32_t TrackPointsPyramid(const Plane8 *const *referencePyramid, const Plane8 *const *gradientX,
                           const Plane8 *const *gradientY, const Plane8 *const *framePyramid,
                           int32_t levels, int32_t radius, const float *x, const float *y,
                           int32_t count, float *outX, float *outY, int32_t *outStatus,
                           const uint8_t *referenceDescriptors, uint8_t *descriptorScratch) {
    const bool withDescriptors = referenceDescriptors && descriptorScratch;
    int32_t tracked = 0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t determinant;
        const int64_t slot = static_cast<int64_t>(i) * kDescriptorBytes;
        const int32_t status = TrackPointPyramid(
            referencePyramid, gradientX, gradientY, framePyramid, levels, radius, x[i], y[i],
            &outX[i], &outY[i], withDescriptors ? referenceDescriptors + slot : nullptr,
            withDescriptors ? descriptorScratch + slot : nullptr, &determinant);
        if (outStatus) outStatus[i] = status;
        if (status >= 0) ++tracked;
    }
    return tracked;
}

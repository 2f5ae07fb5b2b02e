#include "align/thumbnail_agreement.h"

#include <cmath>

namespace {

constexpr int32_t kMaxCandidates = 8;

uint8_t LumaAt(const ImageDesc *image, int32_t x, int32_t y) {
    return image->ppu8Plane[0][static_cast<int64_t>(y) * image->pi32Pitch[0] + x];
}

bool IsClipped(uint8_t v) { return v >= kClippedHigh || v <= kClippedLow; }

// Where one candidate reads the exposure for reference pixel p.
struct Source {
    int32_t x, y;
    double fx, fy;
};

// A candidate that only shifts (two of the three registration weighs) needs no division: with
// a unit matrix and no perspective the general formula gives x + tx and y + ty exactly, as
// 1 * x, 0 * y and the division by 1 are exact.
bool IsShiftOnly(const ProjectiveTransform &t) {
    return t.matrix[0] == 1.0 && t.matrix[1] == 0.0 && t.matrix[2] == 0.0 &&
           t.matrix[3] == 1.0 && t.perspective[0] == 0.0 && t.perspective[1] == 0.0;
}

// The candidate's source for p, when it lies inside the frame with its four neighbours
// unclipped in own.
bool FindSource(const ProjectiveTransform &t, bool shiftOnly, const ImageDesc *own, int32_t x,
                int32_t y, Source *source) {
    double X, Y;
    if (shiftOnly) {
        X = x + t.translation[0];
        Y = y + t.translation[1];
    } else {
        const double w = 1.0 - t.perspective[0] * x - t.perspective[1] * y;
        if (!(w > 0.0)) return false;
        X = (t.matrix[0] * x + t.matrix[1] * y + t.translation[0]) / w;
        Y = (t.matrix[2] * x + t.matrix[3] * y + t.translation[1]) / w;
    }
    if (!(X >= 0.0 && Y >= 0.0 && X < own->i32Width - 1 && Y < own->i32Height - 1)) return false;
    source->x = static_cast<int32_t>(X);
    source->y = static_cast<int32_t>(Y);
    source->fx = X - source->x;
    source->fy = Y - source->y;
    for (int32_t dy = 0; dy < 2; ++dy)
        for (int32_t dx = 0; dx < 2; ++dx)
            if (IsClipped(LumaAt(own, source->x + dx, source->y + dy))) return false;
    return true;
}

double SampleBilinear(const ImageDesc *image, const Source &s) {
    const double top = (1.0 - s.fx) * LumaAt(image, s.x, s.y) + s.fx * LumaAt(image, s.x + 1, s.y);
    const double bottom =
        (1.0 - s.fx) * LumaAt(image, s.x, s.y + 1) + s.fx * LumaAt(image, s.x + 1, s.y + 1);
    return (1.0 - s.fy) * top + s.fy * bottom;
}

}  // namespace

int64_t MeasureThumbnailDisagreement(const ImageDesc *reference, const ImageDesc *mapped,
                                     const ImageDesc *own,
                                     const ProjectiveTransform *candidates, int32_t count,
                                     double *errors) {
    if (count < 1 || count > kMaxCandidates) return 0;
    for (int32_t k = 0; k < count; ++k) errors[k] = 0.0;
    int64_t measured = 0;
    Source sources[kMaxCandidates];
    bool shiftOnly[kMaxCandidates];
    for (int32_t k = 0; k < count; ++k) shiftOnly[k] = IsShiftOnly(candidates[k]);
    for (int32_t y = 1; y < reference->i32Height - 1; ++y)
        for (int32_t x = 1; x < reference->i32Width - 1; ++x) {
            const uint8_t r = LumaAt(reference, x, y);
            if (IsClipped(r)) continue;
            bool usable = true;
            for (int32_t k = 0; k < count && usable; ++k)
                usable = FindSource(candidates[k], shiftOnly[k], own, x, y, &sources[k]);
            if (!usable) continue;
            for (int32_t k = 0; k < count; ++k)
                errors[k] += std::fabs(SampleBilinear(mapped, sources[k]) - r);
            ++measured;
        }
    if (measured == 0) return 0;
    for (int32_t k = 0; k < count; ++k) errors[k] /= static_cast<double>(measured);
    return measured;
}

// Standalone two-image tracking: builds its own pyramids, so it allocates per call.
#include <algorithm>

#include "align/checked_rounding.h"
#include "align/keypoint_descriptor.h"
#include "align/point_tracking.h"
#include "align/tracker_pyramid.h"
#include "core/memory.h"

namespace {

constexpr int32_t kImageLevels = 3;
constexpr int32_t kImageRadius = 8;

struct PyramidPair {
    Plane8 *reference[kImageLevels] = {};
    Plane8 *gradientX[kImageLevels] = {};
    Plane8 *gradientY[kImageLevels] = {};
    Plane8 *frame[kImageLevels] = {};
    int32_t *scratch = nullptr;
};

void ReleasePyramids(MemoryContext memory, PyramidPair &p) {
    for (int32_t level = 0; level < kImageLevels; ++level) {
        DestroyPlane8(memory, p.reference[level]);
        DestroyGradientPlane(memory, p.gradientX[level]);
        DestroyGradientPlane(memory, p.gradientY[level]);
        DestroyPlane8(memory, p.frame[level]);
    }
    FreeAndClear(memory, p.scratch);
}

bool AllocatePyramids(MemoryContext memory, int32_t width, int32_t height, PyramidPair &p) {
    for (int32_t level = 0; level < kImageLevels; ++level) {
        const int32_t w = width >> level, h = height >> level;
        p.reference[level] = CreatePlane8(memory, w, h);
        p.gradientX[level] = CreateGradientPlane(memory, w, h);
        p.gradientY[level] = CreateGradientPlane(memory, w, h);
        p.frame[level] = CreatePlane8(memory, w, h);
        if (!p.reference[level] || !p.gradientX[level] || !p.gradientY[level] || !p.frame[level])
            return false;
    }
    // 12 * width bytes: three rows of 32-bit sums for the gradients.
    p.scratch = AllocateZeroed<int32_t>(memory, 3 * static_cast<uint64_t>(width));
    return p.scratch != nullptr;
}

void CopyPlaneZero(const ImageDesc *image, Plane8 *level) {
    for (int32_t y = 0; y < level->height; ++y)
        CopyBytes(PlaneRow(level, y),
                  image->ppu8Plane[0] + static_cast<int64_t>(y) * image->pi32Pitch[0],
                  static_cast<size_t>(level->width));
}

bool UsablePlaneZero(const ImageDesc *image) {
    return image && image->ppu8Plane[0] && image->i32Width > 0 && image->i32Height > 0 &&
           image->pi32Pitch[0] >= image->i32Width;
}

void ReportAllLost(const float *x, const float *y, float *outX, float *outY, int32_t *status,
                   int32_t *outDeterminant, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        outX[i] = x[i];
        outY[i] = y[i];
        if (status) status[i] = -1;
        outDeterminant[i] = 0;
    }
}

}  // namespace

int32_t TrackPointsBetweenImages(MemoryContext memory, const ImageDesc *a, const ImageDesc *b,
                                 const float *x, const float *y, float *outX, float *outY,
                                 int32_t *status, int32_t *outDeterminant, int32_t count) {
    if (!x || !y || !outX || !outY || !outDeterminant || count <= 0) return 0;
    const bool usable = UsablePlaneZero(a) && UsablePlaneZero(b) &&
                        a->i32Width == b->i32Width && a->i32Height == b->i32Height;
    PyramidPair p;
    if (!usable || !AllocatePyramids(memory, a->i32Width, a->i32Height, p)) {
        ReleasePyramids(memory, p);
        ReportAllLost(x, y, outX, outY, status, outDeterminant, count);
        return 0;
    }
    CopyPlaneZero(a, p.reference[0]);
    CopyPlaneZero(b, p.frame[0]);
    for (int32_t level = 0; level < kImageLevels; ++level)
        ComputeGradients8(p.scratch, p.reference[level], p.gradientX[level], p.gradientY[level],
                          level + 1 < kImageLevels ? p.reference[level + 1] : nullptr);
    for (int32_t level = 1; level < kImageLevels; ++level)
        ReducePlane8(p.scratch, p.frame[level - 1], p.frame[level]);
    int32_t tracked = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t result = TrackPointPyramid(p.reference, p.gradientX, p.gradientY, p.frame,
                                                 kImageLevels, kImageRadius, x[i], y[i],
                                                 &outX[i], &outY[i], nullptr, nullptr,
                                                 &outDeterminant[i]);
        if (result >= 0) ++tracked;
        if (!status) continue;
        status[i] = result;
        if (result < 0) continue;
        const Plane8 *ref = p.reference[0];
        const Plane8 *frame = p.frame[0];
        status[i] = DescriptorDistanceAt(ref->data, ref->stride, ref->width, ref->height,
                                         frame->data, frame->stride, frame->width, frame->height,
                                         RoundHalfAway(x[i]), RoundHalfAway(y[i]),
                                         RoundHalfAway(outX[i]), RoundHalfAway(outY[i]));
    }
    ReleasePyramids(memory, p);
    return tracked;
}

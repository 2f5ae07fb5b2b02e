#include "ghost_regions.h"

#include <initializer_list>
#include <cmath>

#include "align/block_residual_check.h"
#include "core/histogram_match.h"
#include "core/memory.h"
#include "core/plane_border.h"
#include "filters/box_filter.h"
#include "filters/mask_morphology.h"
#include "weights/block_grid.h"

int64_t StrongRegionAreaLimit(int64_t cells, int32_t level) { return cells / 2 - cells * level / 30; }

int32_t WideRegionSideLimit(int32_t side, int32_t level) { return 2 * side / 3 - level * side / 20; }

namespace {

constexpr int32_t kCapacity = COMPONENT_CAPACITY;

size_t At(int32_t x, int32_t y, int32_t width) { return static_cast<size_t>(y) * width + x; }

template <typename Visit>
void ForBoxCells(const ComponentRecord &r, int32_t width, Visit visit) {
    for (int32_t y = r.y0; y <= r.y1; ++y)
        for (int32_t x = r.x0; x <= r.x1; ++x) visit(At(x, y, width));
}

int Label(MemoryContext memory, ComponentList &list, const uint8_t *mask, int32_t connectivity) {
    return LabelComponents(memory, &list, mask, connectivity, 255, 1) < 0 ? RESULT_OUT_OF_MEMORY
                                                                           : RESULT_OK;
}

// Region sizes on a grid without a one-row or one-column box.
bool IsLargeForRowFill(const ComponentRecord &r, int32_t width, int32_t height) {
    const int32_t w = r.x1 - r.x0, h = r.y1 - r.y0;
    return (w > 2 * width / 3 && h > height / 4) || (h > 2 * height / 3 && w > width / 4);
}

int RowFill(MemoryContext memory, uint8_t *mask, int32_t width, int32_t height) {
    ComponentList list;
    CreateComponentList(memory, &list, 0, 0, width, height, width, height, kCapacity);
    int result = Label(memory, list, mask, 4);
    for (int32_t k = 0; result == RESULT_OK && k < list.count; ++k) {
        const ComponentRecord &r = list.items[k];
        if (!IsLargeForRowFill(r, width, height)) continue;
        for (int32_t y = r.y0; y <= r.y1; ++y) {
            int32_t first = -1, last = -1;
            for (int32_t x = r.x0; x <= r.x1; ++x)
                if (mask[At(x, y, width)] == 255) {
                    if (first < 0) first = x;
                    last = x;
                }
            for (int32_t x = first; first >= 0 && x <= last; ++x) mask[At(x, y, width)] = 255;
        }
    }
    DestroyComponentList(memory, &list);
    return result;
}

}  // namespace

int FillMaskHoles(MemoryContext memory, int16_t *holeLabels, uint8_t *mask, int32_t width,
                  int32_t height, int64_t holeLimit, int32_t rowFill) {
    if (!holeLabels || !mask || width < 3 || height < 3) return RESULT_INVALID_ARGUMENT;
    if (rowFill && RowFill(memory, mask, width, height) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    FillBorder8(mask, width, height);
    FillBytes(holeLabels, 0, sizeof(int16_t) * static_cast<size_t>(width) * height);
    int32_t label = 1;
    for (int32_t y = 1; y < height - 1; ++y) {
        for (int32_t x = 1; x < width - 1; ++x) {
            const size_t i = At(x, y, width);
            if (mask[i] != 0 || holeLabels[i] != 0) continue;
            int32_t x0, x1, y0, y1;
            const int64_t area = FloodFillRegion(memory, mask, width, height, width, holeLabels,
                                                 static_cast<int16_t>(label), x, y, 4, 0, &x0,
                                                 &x1, &y0, &y1);
            if (area < 0) return RESULT_OUT_OF_MEMORY;
            // A large hole reaching any side of the interior is open background: which sides
            // count must not depend on which way the photo is turned. An open hole keeps a
            // label of its own, so that filling a later hole's box never fills it too.
            const bool reachesSide = x0 == 1 || y0 == 1 || x1 == width - 3 || y1 == height - 3;
            const bool open = reachesSide && area >= 4 * holeLimit;
            for (int32_t fy = y0; !open && fy <= y1; ++fy)
                for (int32_t fx = x0; fx <= x1; ++fx)
                    if (holeLabels[At(fx, fy, width)] == label) mask[At(fx, fy, width)] = 255;
            if (label < INT16_MAX) ++label;
        }
    }
    ReplicateBorder8(mask, width, height);
    return RESULT_OK;
}

void LinkRegions(const ComponentList *a, uint8_t *output, int32_t width, int32_t height,
                 const ComponentList *b, const uint8_t *data, int32_t keepExtent,
                 int32_t brightness, const int16_t *brightLuma) {
    if (!a || !b || !output || !a->labels || !b->labels) return;
    for (int32_t ka = 0; ka < a->count; ++ka) {
        const ComponentRecord &ra = a->items[ka];
        if (ra.area < 500) continue;
        const int16_t labelA = static_cast<int16_t>(ra.index + 1);
        for (int32_t kb = 0; kb < b->count; ++kb) {
            const ComponentRecord &rb = b->items[kb];
            if (rb.area < 100) continue;
            const int16_t labelB = static_cast<int16_t>(rb.index + 1);
            bool shared = false;
            ForBoxCells(ra, width, [&](size_t i) {
                shared = shared || (a->labels[i] == labelA && b->labels[i] == labelB);
            });
            if (!shared) continue;
            int32_t x0 = rb.x0, x1 = rb.x1, y0 = rb.y0, y1 = rb.y1;
            if (!keepExtent) {
                // Limit B to A's extent, widened along A's shorter side.
                const int32_t widen = data ? 6 : 2;
                if (ra.x1 - ra.x0 < ra.y1 - ra.y0) {
                    x0 = x0 > ra.x0 - widen ? x0 : ra.x0 - widen;
                    x1 = x1 < ra.x1 + widen ? x1 : ra.x1 + widen;
                } else {
                    y0 = y0 > ra.y0 - widen ? y0 : ra.y0 - widen;
                    y1 = y1 < ra.y1 + widen ? y1 : ra.y1 + widen;
                }
                x0 = x0 < 0 ? 0 : x0;
                y0 = y0 < 0 ? 0 : y0;
                x1 = x1 >= width ? width - 1 : x1;
                y1 = y1 >= height ? height - 1 : y1;
            }
            for (int32_t y = y0; y <= y1; ++y)
                for (int32_t x = x0; x <= x1; ++x) {
                    const size_t i = At(x, y, width);
                    if (data ? data[i] != 0 : b->labels[i] == labelB) output[i] = 255;
                }
        }
    }
    if (!brightness || !brightLuma || !data) return;
    for (int32_t kb = 0; kb < b->count; ++kb) {
        const ComponentRecord &rb = b->items[kb];
        if (rb.area < 500) continue;
        int64_t clipped = 0;
        ForBoxCells(rb, width, [&](size_t i) { clipped += data[i] != 0 && brightLuma[i] > 252; });
        if (clipped >= rb.area / 100) continue;
        ForBoxCells(rb, width, [&](size_t i) {
            if (data[i] != 0) output[i] = 255;
        });
    }
}

int GrowIntoMask(uint8_t *mask, const uint8_t *source, int32_t width, int32_t height,
                 MemoryContext memory) {
    const size_t n = static_cast<size_t>(width) * height;
    auto *near = AllocateZeroed<uint8_t>(memory, n);
    if (!near) return RESULT_OUT_OF_MEMORY;
    CopyBytes(near, mask, n);
    DilateMask(near, width, width, height, 2);
    for (size_t i = 0; i < n; ++i) near[i] = near[i] != 0 ? source[i] : 0;
    DilateMask(near, width, width, height, 4);
    for (size_t i = 0; i < n; ++i)
        if (near[i] != 0) mask[i] = 255;
    FreeMemory(memory, near);
    return RESULT_OK;
}

void ApplyDarkMask(int32_t auxMode, int16_t *referenceWeights, int16_t *darkWeights,
                   const uint8_t *mask, int32_t width, int32_t height, int32_t mode) {
    const size_t n = static_cast<size_t>(width) * height;
    if (auxMode == 0 || mode == 1) {
        for (size_t i = 0; i < n; ++i)
            if (mask[i] != 0) darkWeights[i] = 0;
    } else if (mode == 2) {
        for (size_t i = 0; i < n; ++i)
            if (mask[i] != 0) {
                darkWeights[i] = 255;
                referenceWeights[i] = 0;
            }
    }
}

namespace {

// Halves round away from zero.
int32_t RoundHalfAway(float v) { return static_cast<int32_t>(v < 0 ? v - 0.5f : v + 0.5f); }

// Mean displacement of the darkest exposure over the features inside the region; (0, 0) from
// two features or fewer.
void RegionMotion(const HdrSession &s, const ComponentList &list, const ComponentRecord &r,
                  double *mx, double *my) {
    *mx = *my = 0;
    const float *fx = s.matchedMotionX[s.referenceIndex], *fy = s.matchedMotionY[s.referenceIndex];
    const float *dx = s.matchedMotionX[s.darkIndex], *dy = s.matchedMotionY[s.darkIndex];
    if (!fx || !fy || !dx || !dy) return;
    const int32_t features = s.featureCount < 128 ? s.featureCount : 128;
    double sx = 0, sy = 0;
    int32_t summed = 0;
    for (int32_t k = 0; k < features; ++k) {
        const int32_t col = RoundHalfAway(fx[k]) / 4 + 1, row = RoundHalfAway(fy[k]) / 4 + 1;
        if (col < 0 || row < 0 || col >= list.width || row >= list.height) continue;
        if (list.labels[At(col, row, list.width)] != r.index + 1) continue;
        sx += dx[k];
        sy += dy[k];
        ++summed;
    }
    if (summed > 2) {
        *mx = sx / summed;
        *my = sy / summed;
    }
}

// The residual check may only fail for lack of memory as far as this stage is concerned.
int CheckResidual(MemoryContext memory, HdrSession *s, int32_t exposure, const PixelRect &rect) {
    const int r = MeasureBlockResidualShift(memory, s, exposure, &rect, nullptr, nullptr);
    return r == RESULT_OUT_OF_MEMORY ? r : RESULT_OK;
}

}  // namespace

int TestRegionMotion(MemoryContext memory, HdrSession *s, int32_t auxMode, int32_t width,
                     int32_t height, int16_t *referenceWeights, const int16_t *referenceLuma,
                     const uint8_t *weakDark, const uint8_t *, uint8_t *t0, uint8_t *t1,
                     uint8_t *t2, uint8_t *t3, int32_t *mode, int32_t *moving) {
    ComponentList list;
    CreateComponentList(memory, &list, 0, 0, width, height, width, height, kCapacity);
    int result = Label(memory, list, weakDark, 8);
    for (int32_t k = 0; result == RESULT_OK && k < list.count; ++k) {
        const ComponentRecord &r = list.items[k];
        if (r.area <= 500) continue;
        double mx, my;
        RegionMotion(*s, list, r, &mx, &my);
        int32_t b250 = 0;
        ForRegionCells(list, r, [&](size_t i) { b250 += referenceLuma[i] >= 250; });
        if (b250 > 20) {
            const PixelRect rect{4 * r.x0, 4 * r.y0, 4 * r.x1, 4 * r.y1};
            result = CheckResidual(memory, s, s->darkIndex, rect);
            if (result == RESULT_OK) result = CheckResidual(memory, s, s->brightIndex, rect);
            if (result != RESULT_OK) break;
        }
        if (std::fabs(mx) < 1.8 && std::fabs(my) < 1.8) continue;
        *moving = 1;
        if (b250 > 64) *mode = 2;
        else if (*mode == 0) *mode = 1;
        const bool darkTakes = auxMode == 1 && *mode == 2;
        ForRegionCells(list, r, [&](size_t i) {
            t0[i] = darkTakes ? 255 : 0;
            t1[i] = t2[i] = darkTakes ? 0 : 255;
            t3[i] = 0;
            if (!darkTakes) referenceWeights[i] = 256;
        });
    }
    DestroyComponentList(memory, &list);
    return result;
}

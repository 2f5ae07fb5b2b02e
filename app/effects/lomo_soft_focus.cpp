#include <algorithm>
#include <cstdint>

#include "effects/lomo_memory.h"
#include "effects/lomo_warp_kernels.h"
#include "effects/lomo_warp_tables.h"

namespace {

constexpr int32_t kMaxLevels = 8;

struct PyramidLevel {
    int32_t width;
    int32_t height;
    uint8_t *plane;
    uint8_t *expanded;     // the next level doubled back to this size
    int16_t *difference;   // this level minus its expanded plane
};

struct Pyramid {
    int32_t count;
    PyramidLevel level[kMaxLevels];
};

void FreePyramid(Pyramid &p) {
    for (int32_t k = 0; k < p.count; ++k) {
        LomoFree(p.level[k].difference);
        LomoFree(p.level[k].expanded);
        LomoFree(p.level[k].plane);
    }
}

size_t Samples(int32_t width, int32_t height) {
    return static_cast<size_t>(width) * static_cast<size_t>(height);
}

// Sets up `levels` levels (1..8) from width x height, stopping after the first level narrower or
// lower than 4. Returns 0, with everything released, when a buffer cannot be allocated.
int BuildPyramid(int32_t width, int32_t height, int32_t levels, Pyramid &p) {
    p = Pyramid{};
    int32_t w = width, h = height;
    int32_t count = levels;
    for (int32_t k = 0; k < count - 1; ++k) {
        PyramidLevel &l = p.level[k];
        p.count = k + 1;
        l.width = w;
        l.height = h;
        l.plane = static_cast<uint8_t *>(LomoAllocate(Samples(w, h)));
        if (l.plane) l.expanded = static_cast<uint8_t *>(LomoAllocate(Samples(w, h)));
        if (l.expanded) l.difference = static_cast<int16_t *>(LomoAllocate(Samples(w, h) * sizeof(int16_t)));
        if (!l.difference) {
            FreePyramid(p);
            return 0;
        }
        if (w < 4 || h < 4) count = k + 2;
        w = (w + 1) >> 1;
        h = (h + 1) >> 1;
    }
    PyramidLevel &coarsest = p.level[count - 1];
    p.count = count;
    coarsest.width = w;
    coarsest.height = h;
    coarsest.plane = static_cast<uint8_t *>(LomoAllocate(Samples(w, h)));
    if (!coarsest.plane) {
        FreePyramid(p);
        return 0;
    }
    return 1;
}

LOMO_ROW_KERNEL void ExtractChannel(const uint8_t *row, int32_t width, uint8_t *plane) {
    LOMO_SIMD
    for (int32_t x = 0; x < width; ++x) plane[x] = row[3 * x];
}

LOMO_ROW_KERNEL void InsertChannel(const uint8_t *plane, int32_t width, uint8_t *row) {
    LOMO_SIMD
    for (int32_t x = 0; x < width; ++x) row[3 * x] = plane[x];
}

// One colour channel through the pyramid: each level's detail is smoothed, then the levels are
// put back together from the coarsest up.
void SoftFocusChannel(const Pyramid &p, const uint8_t *source, uint8_t *destination,
                      int32_t lineBytes, int32_t channel) {
    const PyramidLevel &base = p.level[0];
    for (int32_t y = 0; y < base.height; ++y)
        ExtractChannel(LomoRow(const_cast<uint8_t *>(source), y, lineBytes) + channel, base.width,
                       base.plane + static_cast<int64_t>(y) * base.width);
    for (int32_t k = 0; k + 1 < p.count; ++k) {
        const PyramidLevel &l = p.level[k];
        const PyramidLevel &next = p.level[k + 1];
        LomoHalveLevel(l.plane, l.width, l.width, l.height, next.plane, next.width);
        LomoDoubleLevel(l.expanded, l.width, l.width, l.height, next.plane, next.width);
        LomoLevelDifference(l.difference, l.plane, l.expanded, 0, l.width, l.height);
        LomoSmoothDifference(l.difference, l.width, l.width, l.height);
    }
    for (int32_t k = p.count - 2; k >= 0; --k) {
        const PyramidLevel &l = p.level[k];
        LomoAddDifference(l.difference, l.expanded, l.plane, 0, l.width, l.height);
        if (k >= 1) {
            const PyramidLevel &finer = p.level[k - 1];
            LomoDoubleLevel(finer.expanded, finer.width, finer.width, finer.height, l.plane, l.width);
        }
    }
    for (int32_t y = 0; y < base.height; ++y)
        InsertChannel(base.plane + static_cast<int64_t>(y) * base.width, base.width,
                      LomoRow(destination, y, lineBytes) + channel);
}

}  // namespace

int LomoPyramidSoftFocus(const uint8_t *source, int32_t width, int32_t height, int32_t lineBytes,
                         uint8_t *destination, int32_t levels, int32_t strength) {
    const LomoRows rows = CheckLomoPictures(source, destination, width, height, lineBytes);
    if (rows != LomoRows::kProcess) return rows == LomoRows::kNothing ? 1 : 0;
    // Halving reads a 2 x 2 block, so a single row or column has no pyramid: it is copied, as
    // is a picture asked for no level at all.
    if (levels <= 0 || width < 2 || height < 2) {
        CopyLomoPicture(source, destination, height, lineBytes);
        return 1;
    }
    strength = ClampLomoStrength(strength);
    Pyramid pyramid;
    if (!BuildPyramid(width, height, std::min(levels, kMaxLevels), pyramid)) return 0;
    const LomoWeightGrid grid = BuildLomoWeightGrid(width, height, strength, kLomoSoftFocusCornerValue);
    if (!grid.weights) {
        FreePyramid(pyramid);
        return 0;
    }
    for (int32_t c = 0; c < 3; ++c) SoftFocusChannel(pyramid, source, destination, lineBytes, c);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *row = LomoRow(destination, y, lineBytes);
        BlendLomoBytes(LomoRow(const_cast<uint8_t *>(source), y, lineBytes), row, row, 0, 3 * width,
                       grid.weights + static_cast<int64_t>(y >> 4) * grid.nodesPerRow);
    }
    LomoFree(grid.weights);
    FreePyramid(pyramid);
    return 1;
}

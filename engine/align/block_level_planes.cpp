#include "block_level_planes.h"

#include <algorithm>
#include <cstddef>

#include "core/memory.h"
#include "core/session.h"
#include "filters/box_filter.h"

namespace {

constexpr int kDarkLevels = 0;
constexpr int kBrightLevels = 256;
constexpr int kReferenceLevels = 512;

struct Levels {
    const uint16_t *table;
    const uint8_t *compress;
    int32_t shift = 0;  // bright levels carry valueShift
    // The 8-bit code the level table gives code v of the table starting at base.
    int32_t Code(int base, int32_t v) const {
        const int32_t level = table[base + std::clamp(v, 0, 255)] >> shift;
        return compress[std::min(level, 4095)];
    }
};

size_t Cells(int32_t width, int32_t rows) {
    return static_cast<size_t>(width) * static_cast<size_t>(rows);
}

bool ValidPlane(const void *p, int32_t width, int32_t rows) { return p && width >= 0 && rows >= 0; }

// Smallest (or largest) of Code(base, k) - k over k in [first, last].
int32_t ExtremeOffset(const Levels &l, int base, int first, int last, bool largest) {
    int32_t e = l.Code(base, first) - first;
    for (int k = first + 1; k <= last; ++k)
        e = largest ? std::max(e, l.Code(base, k) - k) : std::min(e, l.Code(base, k) - k);
    return e;
}

// Limits of the excess: a (at least -256) the largest and b (at most 0) the smallest of
// Code(base, code) - code over count codes from first.
void ExcessLimits(const Levels &l, int base, int32_t first, int32_t count, int32_t *a, int32_t *b) {
    *a = -256;
    *b = 0;
    for (int32_t k = first; k < first + count; ++k) {
        const int32_t e = l.Code(base, k) - k;
        *a = std::max(*a, e);
        *b = std::min(*b, e);
    }
}

}  // namespace

int LimitHighlightExcess(HdrSession *, const int16_t *dark, int16_t *reference, int32_t width,
                         int32_t rows, const uint16_t *levels, const uint8_t *compress) {
    if (!ValidPlane(dark, width, rows) || !reference || !levels || !compress)
        return RESULT_INVALID_ARGUMENT;
    const Levels l{levels, compress};
    int32_t a, b;
    ExcessLimits(l, kReferenceLevels, 192, 32, &a, &b);
    const size_t n = Cells(width, rows);
    for (size_t i = 0; i < n; ++i) {
        const int32_t r = reference[i];
        int32_t e = std::max(l.Code(kDarkLevels, dark[i]), l.Code(kReferenceLevels, r)) - r;
        if (r < 192 && e > a) e = a;
        reference[i] = static_cast<int16_t>(std::max(e, b));
    }
    return RESULT_OK;
}

int LimitHighlightExcess16(HdrSession *session, const int16_t *bright, int16_t *reference,
                           int32_t width, int32_t rows, const uint16_t *levels,
                           const uint8_t *compress) {
    if (!ValidPlane(bright, width, rows) || !reference || !levels || !compress)
        return RESULT_INVALID_ARGUMENT;
    const int32_t shift = session ? std::clamp(session->valueShift, 0, 15) : 0;
    // The limits read the table as given; only the bright levels carry the extra scale.
    const Levels plain{levels, compress};
    int32_t a, b;
    ExcessLimits(plain, kReferenceLevels, 16, 16, &a, &b);
    const Levels brightLevels{levels, compress, shift};
    const size_t n = Cells(width, rows);
    for (size_t i = 0; i < n; ++i) {
        const int32_t r = reference[i];
        int32_t e =
            std::max(brightLevels.Code(kBrightLevels, bright[i]), plain.Code(kReferenceLevels, r)) -
            r;
        if (r > 32 && e > a) e = a;
        reference[i] = static_cast<int16_t>(std::max(e, b));
    }
    return RESULT_OK;
}

int DespeckleBlockPlane(const int16_t *source, int16_t *destination, int32_t width, int32_t rows) {
    if (!ValidPlane(source, width, rows) || !destination || source == destination)
        return RESULT_INVALID_ARGUMENT;
    CopyBytes(destination, source, Cells(width, rows) * sizeof(int16_t));
    for (int32_t y = 1; y + 1 < rows; ++y) {
        for (int32_t x = 1; x + 1 < width; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            if (source[i] <= 20) continue;
            const int16_t n[4] = {source[i - 1], source[i - width], source[i + 1],
                                  source[i + width]};
            const int dark = (n[0] < 10) + (n[1] < 10) + (n[2] < 10) + (n[3] < 10);
            if (dark < 2) continue;
            destination[i] = std::min<int16_t>({int16_t{-10}, n[0], n[1], n[2], n[3]});
        }
    }
    return RESULT_OK;
}

int ComputeBlockLevelDifference(int16_t *plane, const int16_t *reference, int32_t width,
                                int32_t rows, const uint16_t *levels, const uint8_t *compress,
                                int32_t mode) {
    if (!ValidPlane(plane, width, rows) || !levels || !compress) return RESULT_INVALID_ARGUMENT;
    if (mode < 0 || mode > 2 || (mode == 0 && !reference)) return RESULT_INVALID_ARGUMENT;
    const Levels l{levels, compress};
    const size_t n = Cells(width, rows);
    if (mode == 2) {
        const int32_t a = l.Code(kDarkLevels, 32) - 32;
        for (size_t i = 0; i < n; ++i) {
            const int32_t d = plane[i];
            plane[i] = static_cast<int16_t>(d < 32 ? a : std::max(a, l.Code(kDarkLevels, d) - d));
        }
        return RESULT_OK;
    }
    const int32_t k = ExtremeOffset(l, kDarkLevels, 1, 32, false);
    if (mode == 0) {
        for (size_t i = 0; i < n; ++i)
            plane[i] = static_cast<int16_t>(
                std::max(k, l.Code(kReferenceLevels, reference[i]) - plane[i]));
        return RESULT_OK;
    }
    const int32_t m = std::max(0, ExtremeOffset(l, kDarkLevels, 1, 31, true));
    for (size_t i = 0; i < n; ++i) {
        const int32_t d = plane[i];
        plane[i] = static_cast<int16_t>(std::min(m, std::max(k, l.Code(kDarkLevels, d) - d)));
    }
    return RESULT_OK;
}

int BuildRecoveryMask(MemoryContext memory, HdrSession *s, const int16_t *, const int16_t *,
                      const int16_t *, const int16_t *, const int16_t *luma, int32_t width,
                      int32_t rows) {
    if (!s || !ValidPlane(luma, width, rows) || !s->paddedBlockPlanes[2] ||
        !s->fusionWeightGrids[kWeightDark])
        return RESULT_INVALID_ARGUMENT;
    const size_t n = Cells(width, rows);
    int16_t *mask = AllocateZeroed<int16_t>(memory, n);
    if (!mask) return RESULT_OUT_OF_MEMORY;
    const int16_t *excess = s->paddedBlockPlanes[2];
    const int16_t *darkWeight = s->fusionWeightGrids[kWeightDark];
    const int32_t threshold = s->sceneThresholds[1];
    for (size_t i = 0; i < n; ++i) {
        const bool clear = luma[i] <= threshold || (darkWeight[i] != 0 && excess[i] > 15);
        mask[i] = clear ? 0 : 255;
    }
    // A 3 x 3 dilation: any marked cell in the window gives a positive mean.
    const int r = BoxFilterPlane16(memory, mask, width, rows, width, 1, 1);
    if (r != RESULT_OK) {
        FreeMemory(memory, mask);
        return r;
    }
    for (size_t i = 0; i < n; ++i) mask[i] = mask[i] > 0 ? 255 : 0;
    FreeAndClear(memory, s->recoveryMaskGrid);
    s->recoveryMaskGrid = mask;
    return RESULT_OK;
}

// RefineGhostRegions: the order of the cleaning steps on the candidate masks.
#include <initializer_list>
#include <cstddef>

#include "core/histogram_match.h"
#include "core/memory.h"
#include "filters/box_filter.h"
#include "filters/mask_morphology.h"
#include "weights/block_grid.h"
#include "weights/ghost_regions.h"

namespace {

struct Work {
    uint8_t *k0 = nullptr;  // scratch
    uint8_t *k1 = nullptr;  // cells the reference keeps
    uint8_t *t[4] = {};
    int16_t *holeLabels = nullptr;
    ComponentList a{};
    ComponentList b{};
};

void FreeWork(MemoryContext memory, Work &w) {
    FreeAndClear(memory, w.k0);
    FreeAndClear(memory, w.k1);
    for (uint8_t *&t : w.t) FreeAndClear(memory, t);
    FreeAndClear(memory, w.holeLabels);
    DestroyComponentList(memory, &w.a);
    DestroyComponentList(memory, &w.b);
}

bool AllocateWork(MemoryContext memory, int32_t width, int32_t height, Work &w) {
    const uint64_t n = static_cast<uint64_t>(width) * height;
    w.k0 = AllocateZeroed<uint8_t>(memory, n);
    w.k1 = AllocateZeroed<uint8_t>(memory, n);
    for (uint8_t *&t : w.t) t = AllocateZeroed<uint8_t>(memory, n);
    w.holeLabels = AllocateZeroed<int16_t>(memory, static_cast<uint64_t>(width + 2) * (height + 2));
    CreateComponentList(memory, &w.a, 0, 0, width, height, width, height, COMPONENT_CAPACITY);
    CreateComponentList(memory, &w.b, 0, 0, width, height, width, height, COMPONENT_CAPACITY);
    return w.k0 && w.k1 && w.t[0] && w.t[1] && w.t[2] && w.t[3] && w.holeLabels && w.a.items &&
           w.a.labels && w.b.items && w.b.labels;
}

size_t At(int32_t x, int32_t y, int32_t width) { return static_cast<size_t>(y) * width + x; }

int Label(MemoryContext memory, ComponentList &list, const uint8_t *mask) {
    return LabelComponents(memory, &list, mask, 8, 255, 1) < 0 ? RESULT_OUT_OF_MEMORY : RESULT_OK;
}

void Fold(int16_t *reference, int16_t *secondary, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const int32_t sum = reference[i] + secondary[i];
        reference[i] = static_cast<int16_t>(sum < 256 ? sum : 256);
        secondary[i] = 0;
    }
}

struct Grids {
    MemoryContext memory;
    HdrSession *s;
    const int16_t *refLuma;
    const int16_t *brightLuma;
    int32_t width, height;
    size_t n;
    int16_t *dark, *bright, *reference;
    GhostCandidates c;
    uint8_t **masks;  // the session's ghostMasks
    int32_t level;
    int32_t aux;
    int32_t mode = 0;
    bool darkRegionFound = false;
};

// Steps up to the strong-bright hand-over.
int CleanBrightCandidates(Grids &g, Work &w) {
    const int64_t holeLimit = static_cast<int64_t>(g.n) / 255;
    if (FillMaskHoles(g.memory, w.holeLabels, g.c.strongDark, g.width, g.height, holeLimit, 0) != RESULT_OK ||
        Label(g.memory, w.a, g.c.strongDark) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    // A strong dark region lying wholly in deep shadow of the reference is no ghost.
    for (int32_t k = 0; k < w.a.count; ++k) {
        const ComponentRecord &r = w.a.items[k];
        int64_t shadow = 0;
        for (int32_t y = r.y0; y <= r.y1; ++y)
            for (int32_t x = r.x0; x <= r.x1; ++x) {
                const size_t i = At(x, y, g.width);
                shadow += g.c.strongDark[i] == 255 && g.refLuma[i] < 64;
            }
        if (shadow != r.area) continue;
        for (int32_t y = r.y0; y <= r.y1; ++y)
            for (int32_t x = r.x0; x <= r.x1; ++x) g.c.strongDark[At(x, y, g.width)] = 0;
    }
    if (FillMaskHoles(g.memory, w.holeLabels, g.c.strongBright, g.width, g.height, holeLimit, 0) != RESULT_OK ||
        FillMaskHoles(g.memory, w.holeLabels, g.c.wideBright, g.width, g.height, holeLimit, 0) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    DilateMask(g.c.wideBright, g.width, g.width, g.height, 1);
    if (Label(g.memory, w.a, g.c.openedBright) != RESULT_OK || Label(g.memory, w.b, g.c.wideBright) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    const int32_t wideX = WideRegionSideLimit(g.width, g.level);
    const int32_t wideY = WideRegionSideLimit(g.height, g.level);
    for (int32_t k = 0; k < w.b.count; ++k) {
        const ComponentRecord &r = w.b.items[k];
        if (r.x1 - r.x0 + 1 > wideX && r.y1 - r.y0 + 1 > wideY) g.s->pendingStatus = RESULT_EXCESSIVE_MOTION;
    }
    CopyBytes(w.k0, g.c.wideBright, g.n);
    DilateMask(w.k0, g.width, g.width, g.height, 4);
    LinkRegions(&w.a, g.c.openedBright, g.width, g.height, &w.b, w.k0, 0, 1, g.brightLuma);
    for (size_t i = 0; i < g.n; ++i)
        if (g.c.openedBright[i] == 255) g.c.strongBright[i] = 255;
    return RESULT_OK;
}

// Strong bright regions go to the brightest exposure or are kept out of it.
int AssignStrongBright(Grids &g, Work &w) {
    CopyBytes(w.k0, g.c.strongBright, g.n);
    ErodeMask(w.k0, g.width, g.width, g.height, 4);
    if (Label(g.memory, w.a, g.c.strongBright) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    const int64_t areaLimit = StrongRegionAreaLimit(static_cast<int64_t>(g.n), g.level);
    const int64_t n = static_cast<int64_t>(g.n);
    for (int32_t k = 0; k < w.a.count; ++k) {
        const ComponentRecord &r = w.a.items[k];
        const int64_t area = r.area;
        if (area > areaLimit) g.s->pendingStatus = RESULT_EXCESSIVE_MOTION;
        int64_t sR = 0, sB = 0, sD = 0, m224 = 0, k224 = 0, b252 = 0;
        ForRegionCells(w.a, r, [&](size_t i) {
            sR += g.reference[i];
            sB += g.bright[i];
            sD += g.c.strongDark[i];
            m224 += g.refLuma[i] > 224;
            k224 += g.refLuma[i] > 224 && w.k0[i] != 0;
            b252 += g.brightLuma[i] > 252;
        });
        if (2 * sR < sB && sD == 0 && 100 * b252 < area) {
            ForRegionCells(w.a, r, [&](size_t i) {
                g.reference[i] = g.dark[i] = 0;
                g.bright[i] = 256;
                g.masks[kGhostBright][i] = 255;
            });
            continue;
        }
        ForRegionCells(w.a, r, [&](size_t i) {
            g.bright[i] = 0;
            g.masks[kGhostBrightReplaced][i] = 255;
            if (g.refLuma[i] < 192 || g.brightLuma[i] < 224) {
                w.k1[i] = 255;
                if (g.mode == 0) g.mode = 1;
            }
        });
        const bool fewHighlights = (m224 < 9 && area > 200) || m224 == 0 ||
                                   (k224 < 30 && 10 * m224 < area && n < 8 * area && g.aux == 0);
        if (fewHighlights && (8 * area <= n || m224 < 9))
            ForRegionCells(w.a, r, [&](size_t i) { w.k1[i] = 255; });
    }
    return RESULT_OK;
}

// Strong dark regions, found by flood fill, go to the reference (or the darkest exposure).
int AssignStrongDark(Grids &g, Work &w) {
    const int64_t holeLimit = static_cast<int64_t>(g.n) / 255;
    if (FillMaskHoles(g.memory, w.holeLabels, g.c.weakDark, g.width, g.height, holeLimit, 0) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    FillBytes(w.holeLabels, 0, sizeof(int16_t) * (g.width + 2) * (g.height + 2));
    const int64_t areaLimit = StrongRegionAreaLimit(static_cast<int64_t>(g.n), g.level);
    int32_t label = 0;
    for (int32_t y = 1; y < g.height - 1; ++y) {
        for (int32_t x = 1; x < g.width - 1; ++x) {
            const size_t seed = At(x, y, g.width);
            if (g.c.strongDark[seed] != 255 || w.holeLabels[seed] != 0) continue;
            if (label < INT16_MAX) ++label;
            int32_t x0, x1, y0, y1;
            const int64_t area = FloodFillRegion(g.memory, g.c.strongDark, g.width, g.height, g.width,
                                                 w.holeLabels, static_cast<int16_t>(label), x, y, 8,
                                                 255, &x0, &x1, &y0, &y1);
            if (area < 0) return RESULT_OUT_OF_MEMORY;
            g.darkRegionFound = true;
            if (area > areaLimit) g.s->pendingStatus = RESULT_EXCESSIVE_MOTION;
            auto forCells = [&](auto visit) {
                for (int32_t cy = y0; cy <= y1; ++cy)
                    for (int32_t cx = x0; cx <= x1; ++cx) {
                        const size_t i = At(cx, cy, g.width);
                        if (w.holeLabels[i] == label) visit(i);
                    }
            };
            int32_t c250 = 0;
            forCells([&](size_t i) { c250 += g.refLuma[i] > 250; });
            if (g.aux != 0 && c250 >= 65) {
                forCells([&](size_t i) {
                    g.reference[i] = g.bright[i] = 0;
                    g.dark[i] = 255;
                    g.masks[kGhostDark][i] = 255;
                    g.masks[kGhostReference][i] = g.masks[kGhostBrightReplaced][i] = 0;
                    g.masks[kGhostBright][i] = 0;
                    w.k1[i] = 0;
                });
                g.mode = 2;
                continue;
            }
            forCells([&](size_t i) {
                g.dark[i] = 0;
                const bool brightOwns = g.bright[i] == 256;
                g.masks[kGhostReference][i] = brightOwns ? 0 : 255;
                if (g.aux != 0 && brightOwns) w.k1[i] = 0;
            });
            if (g.aux == 0) {
                if (c250 >= 65) g.mode = 2;
                else if (g.mode == 0) g.mode = 1;
            }
        }
    }
    return RESULT_OK;
}

// With the auxiliary mode, a dropped reference region pulls in its neighbouring weak regions.
int LinkDarkOwnedRegions(Grids &g, Work &w) {
    if (g.aux == 0 || g.mode != 2) return RESULT_OK;
    uint8_t *darkMask = g.masks[kGhostDark];
    if (Label(g.memory, w.a, darkMask) != RESULT_OK || Label(g.memory, w.b, g.c.weakDark) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    LinkRegions(&w.a, darkMask, g.width, g.height, &w.b, nullptr, 1, 0, nullptr);
    if (Label(g.memory, w.b, g.masks[kGhostBrightReplaced]) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    LinkRegions(&w.a, darkMask, g.width, g.height, &w.b, nullptr, 1, 0, nullptr);
    DilateMask(darkMask, g.width, g.width, g.height, 4);
    for (size_t i = 0; i < g.n; ++i)
        if (darkMask[i] != 0) g.masks[kGhostReference][i] = w.k1[i] = 0;
    return RESULT_OK;
}

int SpreadAndTestMotion(Grids &g, Work &w) {
    static constexpr int kSource[4] = {kGhostDark, kGhostReference, kGhostBrightReplaced, kGhostBright};
    for (int t = 0; t < 4; ++t) {
        CopyBytes(w.t[t], g.masks[kSource[t]], g.n);
        DilateMask(w.t[t], g.width, g.width, g.height, 2);
    }
    // The reference's regions grow into weak dark cells around them.
    CopyBytes(w.k0, w.t[1], g.n);
    DilateMask(w.k0, g.width, g.width, g.height, 2);
    for (size_t i = 0; i < g.n; ++i) w.k0[i] = w.k0[i] != 0 ? g.c.weakDark[i] : 0;
    DilateMask(w.k0, g.width, g.width, g.height, 4);
    for (size_t i = 0; i < g.n; ++i)
        if (w.k0[i] != 0 && g.refLuma[i] < 250) w.t[1][i] = 255;
    const int64_t holeLimit = static_cast<int64_t>(g.n) / 255;
    if (FillMaskHoles(g.memory, w.holeLabels, g.c.weakDark, g.width, g.height, holeLimit, 1) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    DilateMask(g.c.weakDark, g.width, g.width, g.height, 2);
    int32_t moving = 0;
    if (TestRegionMotion(g.memory, g.s, g.aux, g.width, g.height, g.reference, g.refLuma, g.c.weakDark,
                         g.c.wideBright, w.t[0], w.t[1], w.t[2], w.t[3], &g.mode, &moving) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    if (moving) {
        for (size_t i = 0; i < g.n; ++i) {
            if (w.t[0][i] != 0) {
                g.masks[kGhostDark][i] = 255;
                g.masks[kGhostReference][i] = 0;
            }
            if (w.t[1][i] != 0) {
                if (g.refLuma[i] < 192 || g.brightLuma[i] < 224) g.masks[kGhostReference][i] = 255;
                g.masks[kGhostBrightReplaced][i] = 255;
                g.masks[kGhostBright][i] = 0;
            }
            if (g.masks[kGhostDark][i] != 0) w.k1[i] = 0;
        }
    }
    for (size_t i = 0; i < g.n; ++i)
        if (w.k1[i] != 0) g.masks[kGhostReference][i] = 255;
    if (GrowIntoMask(w.t[2], g.c.wideBright, g.width, g.height, g.memory) != RESULT_OK ||
        GrowIntoMask(w.t[3], g.c.wideBright, g.width, g.height, g.memory) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    for (size_t i = 0; i < g.n; ++i) {
        if (w.t[2][i] != 0) w.t[3][i] = 0;
        if (w.t[1][i] != 0) w.t[0][i] = 0;
    }
    return RESULT_OK;
}

int ApplyRegionWeights(Grids &g, Work &w) {
    if (g.mode == 2) {
        for (size_t i = 0; i < g.n; ++i)
            if (w.t[1][i] != 0) g.dark[i] = 0;
        ApplyDarkMask(g.aux, g.reference, g.dark, w.t[0], g.width, g.height, 2);
    } else {
        ApplyDarkMask(g.aux, g.reference, g.dark, w.t[1], g.width, g.height, g.mode);
    }
    for (size_t i = 0; i < g.n; ++i) {
        if (w.t[2][i] != 0) {
            g.bright[i] = 0;
            if (g.dark[i] == 0) g.reference[i] = 255;
        }
        if (w.t[3][i] != 0) {
            g.reference[i] = 0;
            g.bright[i] = 256;
        }
    }
    for (int16_t *grid : {g.dark, g.bright, g.reference})
        if (BoxFilterPlane16(g.memory, grid, g.width, g.height, g.width, 2, 1) != RESULT_OK)
            return RESULT_OUT_OF_MEMORY;
    return RESULT_OK;
}

const int32_t *ReferenceHistogram(const HdrSession &s) {
    const int32_t r = s.referenceIndex;
    return s.histograms[r] ? (*s.histograms[r])[0] : nullptr;
}

// Folds away an exposure that cannot be trusted, decides the moving-region mode.
void DropExposures(Grids &g) {
    HdrSession *s = g.s;
    const ImageDesc *thumbnail = s->smallImages[s->referenceIndex];
    const int32_t *histogram = ReferenceHistogram(*s);
    if (g.darkRegionFound && thumbnail && histogram) {
        int32_t high = 255, low = 0;
        FindHistogramClipPoints(thumbnail, histogram, &high, &low);
        if (high < 252) g.mode = 2;
    }
    s->movingRegionMode = g.mode;
    if (g.mode == 2) {
        if (g.aux == 0) {
            Fold(g.reference, g.dark, g.n);
            s->misaligned[s->darkIndex] = 1;
            s->droppedExposure = 1;
        } else {
            Fold(g.reference, g.bright, g.n);
            s->misaligned[s->brightIndex] = 1;
            s->droppedExposure = 2;
        }
    }
    const bool darkOff = s->misaligned[s->darkIndex] != 0;
    const bool brightOff = s->misaligned[s->brightIndex] != 0;
    if (brightOff && !darkOff) {
        Fold(g.reference, g.bright, g.n);
        FillBytes(g.masks[kGhostBright], 0, g.n);
        s->droppedExposure = 2;
    } else if (darkOff && !brightOff) {
        Fold(g.reference, g.dark, g.n);
        FillBytes(g.masks[kGhostDark], 0, g.n);
        s->droppedExposure = 1;
    } else if (darkOff && brightOff) {
        s->pendingStatus = RESULT_ALIGNMENT_FAILED;
    }
    if (s->exposureCount != 2) return;
    if (s->brightIndex == s->referenceIndex) {
        Fold(g.reference, g.bright, g.n);
        s->droppedExposure = 2;
        if (s->misaligned[s->darkIndex]) s->pendingStatus = RESULT_ALIGNMENT_FAILED;
    } else {
        Fold(g.reference, g.dark, g.n);
        s->droppedExposure = 1;
        if (s->misaligned[s->brightIndex]) s->pendingStatus = RESULT_ALIGNMENT_FAILED;
    }
}

}  // namespace

int RefineGhostRegions(MemoryContext memory, HdrSession *s, const int16_t *referenceLuma,
                       const int16_t *brightLuma, int32_t width, int32_t height,
                       int16_t *darkWeights, int16_t *brightWeights, int16_t *referenceWeights,
                       const GhostCandidates &candidates) {
    if (!s || !referenceLuma || !brightLuma || !darkWeights || !brightWeights || !referenceWeights ||
        width < 3 || height < 3 || !s->ghostMasks[0])
        return RESULT_INVALID_ARGUMENT;
    Work w;
    if (!AllocateWork(memory, width, height, w)) {
        FreeWork(memory, w);
        return RESULT_OUT_OF_MEMORY;
    }
    Grids g{memory, s, referenceLuma, brightLuma, width, height,
            static_cast<size_t>(width) * height, darkWeights, brightWeights, referenceWeights,
            candidates, s->ghostMasks, s->ghostLevel, s->auxMode};
    int result = CleanBrightCandidates(g, w);
    if (result == RESULT_OK) result = AssignStrongBright(g, w);
    if (result == RESULT_OK) result = AssignStrongDark(g, w);
    if (result == RESULT_OK) result = LinkDarkOwnedRegions(g, w);
    if (result == RESULT_OK) result = SpreadAndTestMotion(g, w);
    if (result == RESULT_OK) result = ApplyRegionWeights(g, w);
    if (result == RESULT_OK) DropExposures(g);
    FreeWork(memory, w);
    return result;
}

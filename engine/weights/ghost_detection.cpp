#include "ghost_detection.h"

#include <initializer_list>

#include "core/memory.h"
#include "core/plane_border.h"
#include "filters/mask_morphology.h"
#include "weights/block_grid.h"
#include "weights/components.h"
#include "weights/ghost_regions.h"

int32_t PixelGhostThreshold(int32_t r, int32_t level) { return (r >> 4) + 16 - level; }
int32_t StrongCellThreshold(int32_t x, int32_t level) { return x / 16 + 16 - level; }
int32_t WeakCellThreshold(int32_t x, int32_t level) { return x / 16 + 8 - (level >> 1); }

void ReduceBlocksMean(const uint8_t *plane, int32_t width, int32_t height, int32_t pitch,
                      uint8_t *grid, int32_t gridWidth, int32_t gridHeight, int32_t gridPitch) {
    for (int32_t r = 1; r <= gridHeight - 2 && 4 * r - 2 < height; ++r)
        for (int32_t c = 1; c <= gridWidth - 2 && 4 * c - 1 < width; ++c) {
            const uint8_t *top = plane + static_cast<size_t>(4 * (r - 1)) * pitch + 4 * (c - 1);
            const uint8_t *third = top + 2 * static_cast<size_t>(pitch);
            int32_t sum = 0;
            for (int k = 0; k < 4; ++k) sum += top[k] + third[k];
            grid[static_cast<size_t>(r) * gridPitch + c] = static_cast<uint8_t>(sum >> 3);
        }
}

// Needs the block's fourth row too, so a block cut after its third row is left alone.
void ReduceBlocksMax(const uint8_t *plane, int32_t width, int32_t height, int32_t pitch,
                     uint8_t *grid, int32_t gridWidth, int32_t gridHeight, int32_t gridPitch) {
    for (int32_t r = 1; r <= gridHeight - 2 && 4 * r - 1 < height; ++r)
        for (int32_t c = 1; c <= gridWidth - 2 && 4 * c - 1 < width; ++c) {
            const uint8_t *p = plane + static_cast<size_t>(4 * (r - 1)) * pitch + 4 * (c - 1);
            int32_t best = 0;
            for (int qy = 0; qy < 4; qy += 2)
                for (int qx = 0; qx < 4; qx += 2) {
                    const uint8_t *q = p + static_cast<size_t>(qy) * pitch + qx;
                    const int32_t sum = q[0] + q[1] + q[pitch] + q[pitch + 1];
                    if (sum > best) best = sum;
                }
            grid[static_cast<size_t>(r) * gridPitch + c] = static_cast<uint8_t>(best >> 2);
        }
}

int RemoveIsolatedCells(const uint8_t *source, uint8_t *destination, int32_t width, int32_t height) {
    const size_t n = static_cast<size_t>(width) * height;
    CopyBytes(destination, source, n);
    for (int32_t y = 1; y < height - 1; ++y)
        for (int32_t x = 1; x < width - 1; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            if (source[i] == 0) continue;
            const int32_t neighbours = (source[i - 1] != 0) + (source[i + 1] != 0) +
                                       (source[i - width] != 0) + (source[i + width] != 0);
            if (neighbours < 2) destination[i] = 0;
        }
    return 0;
}

namespace {

struct Planes {
    uint8_t *dd = nullptr, *db = nullptr, *md = nullptr, *mb = nullptr;
    uint8_t *c[4] = {};
    uint8_t *g[4] = {};
};

void FreePlanes(MemoryContext memory, Planes &p) {
    for (uint8_t **plane : {&p.dd, &p.db, &p.md, &p.mb}) FreeAndClear(memory, *plane);
    for (uint8_t *&plane : p.c) FreeAndClear(memory, plane);
    for (uint8_t *&plane : p.g) FreeAndClear(memory, plane);
}

// Zero-filled: the block reductions leave cells of blocks outside the thumbnail unwritten.
bool AllocatePlanes(MemoryContext memory, uint64_t pixels, uint64_t cells, Planes &p) {
    bool ok = true;
    for (uint8_t **plane : {&p.dd, &p.db, &p.md, &p.mb})
        ok = ok && (*plane = AllocateZeroed<uint8_t>(memory, pixels)) != nullptr;
    for (uint8_t *&plane : p.c) ok = ok && (plane = AllocateZeroed<uint8_t>(memory, cells)) != nullptr;
    for (uint8_t *&plane : p.g) ok = ok && (plane = AllocateZeroed<uint8_t>(memory, cells)) != nullptr;
    return ok;
}

struct Thumbs {
    const ImageDesc *reference, *alignedDark, *alignedBright, *plainDark, *plainBright;
    int32_t width, height;
    bool resampled;  // an exposure was moved by a fraction of a thumbnail pixel
};

int32_t Abs(int32_t v) { return v < 0 ? -v : v; }

uint8_t Luma(const ImageDesc *image, int32_t x, int32_t y) {
    return image->ppu8Plane[0][static_cast<size_t>(y) * image->pi32Pitch[0] + x];
}

// Lowest and highest reference luma of the 3 x 3 neighbourhood, inside the window.
void NeighbourRange(const ImageDesc *image, int32_t x, int32_t y, const PixelRect &win, int32_t *lo,
                    int32_t *hi) {
    *lo = 255;
    *hi = 0;
    for (int32_t ny = y - 1; ny <= y + 1; ++ny)
        for (int32_t nx = x - 1; nx <= x + 1; ++nx) {
            const int32_t cx = nx < win.x0 ? win.x0 : (nx >= win.x1 ? win.x1 - 1 : nx);
            const int32_t cy = ny < win.y0 ? win.y0 : (ny >= win.y1 ? win.y1 - 1 : ny);
            const int32_t v = Luma(image, cx, cy);
            *lo = v < *lo ? v : *lo;
            *hi = v > *hi ? v : *hi;
        }
}

// The area an aligned exposure covers, inside the thumbnail.
PixelRect Covered(const PixelRect &covered, int32_t w, int32_t h) {
    return {covered.x0 < 0 ? 0 : covered.x0, covered.y0 < 0 ? 0 : covered.y0,
            covered.x1 > w ? w : covered.x1, covered.y1 > h ? h : covered.y1};
}

// The area an aligned exposure covers, in the thumbnail, less its outer ring of pixels. Photos
// often carry a line of one or two dark pixels along an edge; the decimation puts a second
// pixel of such a line into the outermost thumbnail sample, and a warp by less than a pixel
// spreads it into the first sample inside the warp's crop. Compared there, it reads as a strip
// of ghost blocks along the edge (which the morphology thickens into a band, and which can even
// make the frame look like one wide moving region). The ring takes its neighbours' differences
// like everything outside the window, except beside a strip that a move left uncovered (see
// Counted). Each exposure keeps its own window: the strip that a move of one exposure leaves
// uncovered must not change how the other is compared, or a move to one side would find ghosts
// that a move to the other side does not.
PixelRect Inside(const PixelRect &c) { return {c.x0 + 1, c.y0 + 1, c.x1 - 1, c.y1 - 1}; }

// Where an exposure's differences count: its window, and on each side where the exposure reaches
// the thumbnail's edge also the ring and what lies beyond it, as for a still bracket. On a side
// where a move left a strip uncovered, the strip and the ring beside it differ nowhere. The ring
// copied the window's first column or row there: in a block cell that the strip cuts, that copy
// stood where the still bracket has samples of its own, and a strong difference in the window's
// first column (the edge of a bright blob, say) counted twice and made a ghost cell that the
// still bracket does not have. With no difference in the strip and the ring, a cell there holds
// at most the still bracket's differences.
PixelRect Counted(const PixelRect &covered, const PixelRect &window, int32_t w, int32_t h) {
    return {covered.x0 > 0 ? window.x0 : 0, covered.y0 > 0 ? window.y0 : 0,
            covered.x1 < w ? window.x1 : w, covered.y1 < h ? window.y1 : h};
}

// A thumbnail sample is a few sparse taps of its 8 x 8 block, and the warp resamples the moved
// exposures bilinearly between such samples. A scene moved by a fraction of a thumbnail pixel
// therefore does not resample into the reference's samples: on fine texture a still scene,
// merely moved, differs from the reference by 6 to 12 levels on average (about 1 unmoved), which
// the thresholds read as ghosts over whole regions. A bilinear sample lies at most half way
// from its nearest source sample toward a neighbour, so where an exposure was moved by a
// fraction, a difference counts only beyond half the range of the reference's 3 x 3
// neighbourhood. (The whole range would also hide a moved edge of a moving subject.) Exposures
// moved by whole thumbnail pixels, or not at all, are compared pixel to pixel.
int32_t ResamplingAllowance(const Thumbs &t, int32_t x, int32_t y, const PixelRect &win) {
    if (!t.resampled) return 0;
    int32_t lo, hi;
    NeighbourRange(t.reference, x, y, win, &lo, &hi);
    return (hi - lo) / 2;
}

bool IsEmpty(const PixelRect &r) { return r.x0 >= r.x1 || r.y0 >= r.y1; }

int32_t LessAllowance(int32_t difference, int32_t allowance) {
    return difference > allowance ? difference - allowance : 0;
}

// The darkest exposure's differences from the reference inside its window.
void DarkDifferences(const Thumbs &t, const PixelRect &win, int32_t level, Planes &p) {
    for (int32_t y = win.y0; y < win.y1; ++y)
        for (int32_t x = win.x0; x < win.x1; ++x) {
            const int32_t r = Luma(t.reference, x, y), ad = Luma(t.alignedDark, x, y);
            const int32_t pd = Luma(t.plainDark, x, y);
            int32_t dd = LessAllowance(Abs(r - ad), ResamplingAllowance(t, x, y, win));
            if (r >= 161 && ad > 128) dd = (352 - r) * dd / 192;
            else if (r < 32) dd = r < pd ? 128 : 0;
            const size_t i = static_cast<size_t>(y) * t.width + x;
            p.dd[i] = static_cast<uint8_t>(dd);
            p.md[i] = dd > PixelGhostThreshold(r, level) ? 255 : 0;
        }
}

// The brightest exposure's differences from the reference inside its window.
void BrightDifferences(const Thumbs &t, const PixelRect &win, int32_t level, Planes &p) {
    for (int32_t y = win.y0; y < win.y1; ++y)
        for (int32_t x = win.x0; x < win.x1; ++x) {
            const int32_t r = Luma(t.reference, x, y), ab = Luma(t.alignedBright, x, y);
            const int32_t pb = Luma(t.plainBright, x, y);
            int32_t db = LessAllowance(Abs(r - ab), ResamplingAllowance(t, x, y, win));
            if (r > 192 && pb > 240) db = 0;
            if (pb > 250) db = r >= ab ? 0 : (db < 16 ? db : 16);
            const size_t i = static_cast<size_t>(y) * t.width + x;
            p.db[i] = static_cast<uint8_t>(db);
            p.mb[i] = db > PixelGhostThreshold(r, level) ? 255 : 0;
        }
}

// No difference outside the part that counts.
void ClearOutside(uint8_t *plane, int32_t w, int32_t h, const PixelRect &counted) {
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            if (x < counted.x0 || x >= counted.x1 || y < counted.y0 || y >= counted.y1)
                plane[static_cast<size_t>(y) * w + x] = 0;
}

// Each secondary exposure is compared inside its own window. Its ring at the thumbnail's edges
// takes the differences of the window's nearest samples; where a move left a strip uncovered,
// the strip and the ring beside it differ nowhere.
void DifferencePlanes(const Thumbs &t, const PixelRect &darkCovered,
                      const PixelRect &brightCovered, int32_t level, Planes &p) {
    const int32_t w = t.width, h = t.height;
    const PixelRect dc = Covered(darkCovered, w, h), bc = Covered(brightCovered, w, h);
    const PixelRect d = Inside(dc), b = Inside(bc);
    if (IsEmpty(d) || IsEmpty(b)) return;
    DarkDifferences(t, d, level, p);
    BrightDifferences(t, b, level, p);
    ReplicateOutsideWindow8(p.dd, w, h, w, d.x0, d.x1, d.y0, d.y1);
    ReplicateOutsideWindow8(p.db, w, h, w, b.x0, b.x1, b.y0, b.y1);
    ClearOutside(p.dd, w, h, Counted(dc, d, w, h));
    ClearOutside(p.db, w, h, Counted(bc, b, w, h));
    for (uint8_t *mask : {p.md, p.mb}) {
        ErodeMask(mask, w, w, h, 1);
        DilateMask(mask, w, w, h, 1);
    }
}

void CellThresholds(const int16_t *refLuma, int32_t gw, int32_t gh, int32_t level, Planes &p) {
    uint8_t *c0 = p.c[0], *c1 = p.c[1], *g1 = p.g[1], *g2 = p.g[2];
    for (int32_t r = 1; r <= gh - 2; ++r)
        for (int32_t c = 1; c <= gw - 2; ++c) {
            const size_t i = static_cast<size_t>(r) * gw + c;
            const int32_t x = refLuma[i];
            if (c1[i] > x / 8 + 2) g2[i] = 255;
            c1[i] = c1[i] > StrongCellThreshold(x, level) ? 255 : 0;
            if (c0[i] > WeakCellThreshold(x, level)) g1[i] = 255;
            c0[i] = c0[i] > StrongCellThreshold(x, level) ? 255 : 0;
        }
}

// Morphology steps: positive passes dilate, negative erode, 0 removes isolated cells.
void Shape(uint8_t *mask, uint8_t *copy, int32_t gw, int32_t gh, std::initializer_list<int> steps) {
    for (int step : steps) {
        if (step > 0) DilateMask(mask, gw, gw, gh, step);
        else if (step < 0) ErodeMask(mask, gw, gw, gh, -step);
        else if (gw >= 3 && gh >= 3) {
            CopyBytes(copy, mask, static_cast<size_t>(gw) * gh);
            RemoveIsolatedCells(copy, mask, gw, gh);
        }
    }
}

// Cells where ghost masks disagree with the cleaned candidates go to one exposure each.
void AssignComponents(HdrSession *s, const ComponentList &list, const uint8_t *c2,
                      const int16_t *darkLuma, const int16_t *refLuma, const int16_t *brightLuma,
                      int16_t *dark, int16_t *bright, int16_t *reference, int64_t n) {
    const bool darkMisaligned = s->misaligned[s->darkIndex] != 0;
    const int32_t gw = list.width;
    for (int32_t k = 0; k < list.count; ++k) {
        const ComponentRecord &r = list.items[k];
        const int64_t area = r.area;
        if (2 * area > n) {
            s->pendingStatus = RESULT_EXCESSIVE_MOTION;
            break;
        }
        int64_t sD = 0, sB = 0, sR = 0, nD = 0, nR = 0, nB = 0;
        for (int32_t y = r.y0; y <= r.y1; ++y)
            for (int32_t x = r.x0; x <= r.x1; ++x) {
                const size_t i = static_cast<size_t>(y) * gw + x;
                if (c2[i] != 0) {
                    sD += dark[i];
                    sB += bright[i];
                    sR += reference[i];
                }
                nD += darkLuma[i] > 224;
                nR += refLuma[i] > 224;
                nB += brightLuma[i] > 192;
            }
        int chosen;  // WeightGridIndex
        if (nR >= 1 && (nR - nD > 96 || area > 1024 || darkMisaligned)) continue;
        if (nR >= 1 && 10 * sD > sR && area <= 127 && nD == 0) chosen = kWeightDark;
        else if (sR < sD) chosen = sD < sB && nB == 0 ? kWeightBright : kWeightDark;
        else chosen = sR < sB && nB == 0 ? kWeightBright : kWeightReference;
        uint8_t *mask = s->ghostMasks[chosen == kWeightReference ? kGhostReference
                                      : chosen == kWeightDark  ? kGhostDark
                                                               : kGhostBright];
        for (int32_t y = r.y0; y <= r.y1; ++y)
            for (int32_t x = r.x0; x <= r.x1; ++x) {
                const size_t i = static_cast<size_t>(y) * gw + x;
                if (c2[i] == 0) continue;
                reference[i] = static_cast<int16_t>(chosen == kWeightReference ? 255 : 0);
                dark[i] = static_cast<int16_t>(chosen == kWeightDark ? 255 : 0);
                bright[i] = static_cast<int16_t>(chosen == kWeightBright ? 255 : 0);
                mask[i] = 255;
            }
    }
}

// Whether the registration moved an exposure by a fraction of a thumbnail pixel anywhere: a node
// of a motion grid (full-resolution pixels) that is not a multiple of 8.
bool MovedByAFraction(const HdrSession &s) {
    const int64_t nodes = static_cast<int64_t>(s.meshCols) * s.meshRows;
    for (int k = 0; k < kMaxExposures; ++k)
        for (const int32_t *grid : {s.offsetGridX[k], s.offsetGridY[k]})
            for (int64_t i = 0; grid && i < nodes; ++i)
                if (grid[i] % 8 != 0) return true;
    return false;
}

bool GetThumbs(const HdrSession &s, Thumbs *t) {
    const ImageDesc *ref = s.smallImages[s.referenceIndex];
    *t = {s.alignedSmall[s.referenceIndex], s.alignedSmall[s.darkIndex],
          s.alignedSmall[s.brightIndex],    s.smallImages[s.darkIndex],
          s.smallImages[s.brightIndex],     ref ? ref->i32Width : 0,
          ref ? ref->i32Height : 0,        MovedByAFraction(s)};
    for (const ImageDesc *image : {t->reference, t->alignedDark, t->alignedBright, t->plainDark, t->plainBright})
        if (!image || !image->ppu8Plane[0] || image->i32Width < t->width || image->i32Height < t->height)
            return false;
    return t->width > 0 && t->height > 0;
}

bool ValidIndices(const HdrSession &s) {
    for (int32_t i : {s.darkIndex, s.brightIndex, s.referenceIndex})
        if (i < 0 || i >= kMaxExposures) return false;
    return true;
}

}  // namespace

int DetectGhosts(MemoryContext memory, HdrSession *s, const int16_t *darkLuma,
                 const int16_t *referenceLuma, const int16_t *brightLuma, int32_t gw, int32_t gh,
                 int16_t *darkWeights, int16_t *brightWeights, int16_t *referenceWeights) {
    Thumbs t;
    if (!s || !ValidIndices(*s) || !darkLuma || !referenceLuma || !brightLuma || !darkWeights ||
        !brightWeights || !referenceWeights || gw < 3 || gh < 3 || !GetThumbs(*s, &t))
        return RESULT_INVALID_ARGUMENT;
    for (uint8_t *mask : s->ghostMasks)
        if (!mask) return RESULT_INVALID_ARGUMENT;
    const int64_t n = static_cast<int64_t>(gw) * gh;
    Planes p;
    ComponentList list;
    CreateComponentList(memory, &list, 0, 0, gw, gh, gw, gh, COMPONENT_CAPACITY);
    if (!AllocatePlanes(memory, static_cast<uint64_t>(t.width) * t.height, static_cast<uint64_t>(n), p) ||
        !list.items || !list.labels) {
        FreePlanes(memory, p);
        DestroyComponentList(memory, &list);
        return RESULT_OUT_OF_MEMORY;
    }
    const int32_t level = s->ghostLevel;
    DifferencePlanes(t, s->overlapBounds[s->darkIndex], s->overlapBounds[s->brightIndex], level, p);
    s->resultOverrideFlag = 0;
    ReduceBlocksMean(p.dd, t.width, t.height, t.width, p.c[0], gw, gh, gw);
    ReduceBlocksMean(p.db, t.width, t.height, t.width, p.c[1], gw, gh, gw);
    CellThresholds(referenceLuma, gw, gh, level, p);
    ReduceBlocksMax(p.md, t.width, t.height, t.width, p.c[2], gw, gh, gw);
    ReduceBlocksMax(p.mb, t.width, t.height, t.width, p.c[3], gw, gh, gw);
    for (uint8_t *plane : {p.c[0], p.c[1], p.g[2], p.c[2], p.c[3]}) ReplicateBorder8(plane, gw, gh);
    uint8_t *copy = p.g[0];
    Shape(p.c[0], copy, gw, gh, {-1, 3, -2, 0, 4, -1});
    Shape(p.g[1], copy, gw, gh, {2, -2, 0, 4, -1});
    CopyBytes(p.g[3], p.c[1], static_cast<size_t>(n));
    Shape(p.g[3], copy, gw, gh, {-1, 3, -2, 0, 4, -1});
    Shape(p.c[1], copy, gw, gh, {2, -2, 0, 4, -1});
    Shape(p.g[2], copy, gw, gh, {-1, 2});
    const GhostCandidates candidates{p.c[0], p.c[1], p.g[1], p.g[2], p.g[3]};
    int result = RefineGhostRegions(memory, s, referenceLuma, brightLuma, gw, gh, darkWeights,
                                    brightWeights, referenceWeights, candidates);
    if (result == RESULT_OK) {
        uint8_t *c2 = p.c[2], *c3 = p.c[3];
        for (int64_t i = 0; i < n; ++i) {
            if (p.c[0][i] != 0) c2[i] = 0;
            if (p.c[1][i] != 0) c3[i] = 0;
            if (c3[i] == 255) c2[i] = 255;
        }
        DilateMask(c2, gw, gw, gh, 2);
        if (LabelComponents(memory, &list, c2, 8, 255, 1) < 0) result = RESULT_OUT_OF_MEMORY;
        else
            AssignComponents(s, list, c2, darkLuma, referenceLuma, brightLuma, darkWeights,
                             brightWeights, referenceWeights, n);
    }
    DestroyComponentList(memory, &list);
    FreePlanes(memory, p);
    return result;
}

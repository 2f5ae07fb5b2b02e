#include "preview_fusion.h"

#include <algorithm>
#include <initializer_list>

#include "core/exposure_gain.h"
#include "core/histogram_match.h"
#include "core/image.h"
#include "core/memory.h"
#include "filters/box_filter.h"
#include "filters/guided_band.h"
#include "weights/block_grid.h"
#include "weights/lowres_weight_maps.h"

int AllocateFineGrids(MemoryContext memory, HdrSession *s, int32_t width, int32_t height) {
    if (!s || width < 1 || height < 1) return RESULT_INVALID_ARGUMENT;
    const uint64_t map = static_cast<uint64_t>(width + 2) * static_cast<uint64_t>(height + 2);
    int16_t *blocks[3] = {};
    for (int16_t *&block : blocks)
        if (!(block = AllocateZeroed<int16_t>(memory, 3 * map))) {
            for (int16_t *&b : blocks) FreeAndClear(memory, b);
            return RESULT_OUT_OF_MEMORY;
        }
    for (int b = 0; b < 3; ++b) {
        FreeAndClear(memory, s->fineGrids[3 * b]);
        for (int k = 0; k < 3; ++k) s->fineGrids[3 * b + k] = blocks[b] + k * map;
    }
    s->fineGridStride = width;
    s->fineGridRows = height;
    return RESULT_OK;
}

int ComputeDarkShare(HdrSession *s, const int32_t *histogram) {
    int64_t dark = 0, all = 0;
    for (int k = 0; k < 256; ++k) {
        all += histogram[k];
        if (k >= 1 && k <= 31) dark += histogram[k];
    }
    s->darkShareQ10 = all > 0 ? static_cast<int32_t>(dark * 1024 / all) : 0;
    return 0;
}

int32_t AlignedBrightShare(double gain) {
    const float g = static_cast<float>(gain);
    const int32_t share = static_cast<int32_t>((0.5f - g) * 4 * 256 + 0.5f);
    return share < 256 ? share : 256;
}

namespace {

// Calls visit(row pointers of plane 0, x0, x1) for the pixel rows of each interior cell
// that passes the test.
template <typename Test, typename Visit>
void ForCells(ImageDesc *destination, const ImageDesc *source, const uint8_t *mask, int32_t gw,
              int32_t gh, Test test, Visit visit) {
    const int32_t w = destination->i32Width, h = destination->i32Height;
    const int32_t dp = destination->pi32Pitch[0], sp = source->pi32Pitch[0];
    for (int32_t r = 1; r <= gh - 2; ++r)
        for (int32_t c = 1; c <= gw - 2; ++c) {
            const int32_t m = mask[static_cast<size_t>(r) * gw + c];
            if (!test(m)) continue;
            const int32_t x0 = 4 * (c - 1), y0 = 4 * (r - 1);
            for (int32_t y = y0; y < y0 + 4 && y < h; ++y) {
                uint8_t *d = destination->ppu8Plane[0] + static_cast<size_t>(y) * dp;
                const uint8_t *s = source->ppu8Plane[0] + static_cast<size_t>(y) * sp;
                for (int32_t x = x0; x < x0 + 4 && x < w; ++x) d[x] = visit(d[x], s[x], m);
            }
        }
}

}  // namespace

void CopyBlocksOutsideMask(ImageDesc *destination, const ImageDesc *source, const uint8_t *mask,
                           int32_t gw, int32_t gh) {
    ForCells(destination, source, mask, gw, gh, [](int32_t m) { return m == 0; },
             [](uint8_t, uint8_t s, int32_t) { return s; });
}

void BlendBlocksByMask128(ImageDesc *destination, const ImageDesc *source, const uint8_t *mask,
                          int32_t gw, int32_t gh) {
    ForCells(destination, source, mask, gw, gh, [](int32_t m) { return m != 0; },
             [](uint8_t d, uint8_t s, int32_t m) {
                 return m > 128 ? s : static_cast<uint8_t>((m * s + (128 - m) * d) >> 7);
             });
}

void BlendBlocksByMask255(ImageDesc *destination, const ImageDesc *source, const uint8_t *mask,
                          int32_t gw, int32_t gh) {
    ForCells(destination, source, mask, gw, gh, [](int32_t m) { return m != 0; },
             [](uint8_t d, uint8_t s, int32_t m) {
                 return static_cast<uint8_t>((d * (255 - m) + s * m) >> 8);
             });
}

void BuildPreviewToneTable(int32_t loF, int32_t hiF, int32_t loR, int32_t hiR, uint8_t t[256]) {
    const int32_t lo = loF > loR ? loF : loR, hi = hiF < hiR ? hiF : hiR;
    for (int32_t k = 0; k < 256; ++k) {
        int32_t v = k;
        if (lo < hi) {
            if (k < lo) v = k * loR / lo;
            else if (k <= hi) v = loR + (k - lo) * (hiR - loR) / (hi - lo);
            else v = hiR + (k - hi) * (255 - hiR) / (255 - hi);
        }
        t[k] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
}

namespace {

uint8_t Store(int64_t v) { return v < 0 ? 0 : (v >= (int64_t{1} << 23) ? 255 : static_cast<uint8_t>(v >> 15)); }

struct Work {
    uint8_t *cells = nullptr;
    int32_t *histogram = nullptr;
    int32_t *referenceHistogram = nullptr;
    ImageDesc *bright = nullptr;       // the brightest thumbnail the preview uses
    ImageDesc *brightBased = nullptr;  // GRAY8
    ImageDesc *darkBased = nullptr;    // GRAY8
};

void FreeWork(MemoryContext memory, Work &w) {
    FreeAndClear(memory, w.cells);
    FreeAndClear(memory, w.histogram);
    FreeAndClear(memory, w.referenceHistogram);
    DestroyImage(&w.bright, memory);
    DestroyImage(&w.brightBased, memory);
    DestroyImage(&w.darkBased, memory);
}

bool AllocateWork(MemoryContext memory, int64_t cells, int32_t w, int32_t h, Work &work) {
    work.cells = AllocateZeroed<uint8_t>(memory, static_cast<uint64_t>(cells));
    work.histogram = AllocateZeroed<int32_t>(memory, 256);
    work.referenceHistogram = AllocateZeroed<int32_t>(memory, 256);
    return work.cells && work.histogram && work.referenceHistogram &&
           CreateImage(&work.bright, w, h, PIXEL_FORMAT_YUV444P, memory) == RESULT_OK &&
           CreateImage(&work.brightBased, w, h, PIXEL_FORMAT_GRAY8, memory) == RESULT_OK &&
           CreateImage(&work.darkBased, w, h, PIXEL_FORMAT_GRAY8, memory) == RESULT_OK;
}

const int32_t *LumaHistogram(const HdrSession &s, int32_t e) {
    return s.histograms[e] ? (*s.histograms[e])[0] : nullptr;
}

// The statistics window, and the clip points of the preview and of the reference inside it.
struct PreviewClipPoints {
    PixelRect window;
    int32_t lowPreview, highPreview, lowReference, highReference;
};

struct Stage {
    MemoryContext memory;
    HdrSession *s;
    ImageDesc *const *plain;
    int32_t w, h;
    Work work;
};

const uint8_t *Row(const ImageDesc *image, int plane, int32_t y) {
    return image->ppu8Plane[plane] + static_cast<size_t>(y) * image->pi32Pitch[plane];
}
uint8_t *Row(ImageDesc *image, int plane, int32_t y) {
    return image->ppu8Plane[plane] + static_cast<size_t>(y) * image->pi32Pitch[plane];
}

// The brightest thumbnail: for a very bright exposure a blend of the aligned and the plain one
// (and the level tables follow it), otherwise the plain one.
int PrepareBright(Stage &st) {
    HdrSession *s = st.s;
    const ImageDesc *plain = st.plain[s->brightIndex];
    const ImageDesc *aligned = s->alignedSmall[s->brightIndex];
    const double gain = s->exposureGain[s->brightIndex];
    if (!(gain < 0.5)) return CopyImage(st.work.bright, plain) == RESULT_OK ? RESULT_OK : RESULT_INVALID_ARGUMENT;
    if (CopyImage(st.work.bright, aligned) != RESULT_OK) return RESULT_INVALID_ARGUMENT;
    const int32_t b = AlignedBrightShare(gain);
    for (int32_t y = 0; y < st.h; ++y) {
        uint8_t *out = Row(st.work.bright, 0, y);
        const uint8_t *p = Row(plain, 0, y);
        for (int32_t x = 0; x < st.w; ++x) out[x] = static_cast<uint8_t>((out[x] * b + p[x] * (256 - b) + 128) >> 8);
    }
    if (ComputeLumaHistogram(st.memory, st.work.bright, st.work.histogram) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    const int64_t pixels = static_cast<int64_t>(st.w) * st.h;
    const int32_t *reference = LumaHistogram(*s, s->referenceIndex);
    BuildHistogramMatchTable(s->curveTables[3], reference, st.work.histogram, pixels, 0, 0);
    BuildHistogramMatchTable(s->curveTables[1], st.work.histogram, reference, pixels, 0, 1);
    return RESULT_OK;
}

void FusePixels(Stage &st) {
    HdrSession *s = st.s;
    const int32_t *r = s->reciprocalTable;
    const uint8_t *c0 = s->curveTables[0], *c1 = s->curveTables[1], *c2 = s->curveTables[2];
    const uint8_t *c3 = s->curveTables[3];
    const ImageDesc *ref = s->alignedSmall[s->referenceIndex], *dark = st.plain[s->darkIndex];
    const ImageDesc *bright = st.work.bright;
    const int16_t *mapR = s->contrastWeightMaps[kContrastReference];
    const int16_t *mapD = s->contrastWeightMaps[kContrastDark];
    const int16_t *mapB = s->contrastWeightMaps[kContrastBright];
    for (int32_t y = 0; y < st.h; ++y) {
        const uint8_t *pr[3] = {Row(ref, 0, y), Row(ref, 1, y), Row(ref, 2, y)};
        const uint8_t *pd[3] = {Row(dark, 0, y), Row(dark, 1, y), Row(dark, 2, y)};
        const uint8_t *pb[3] = {Row(bright, 0, y), Row(bright, 1, y), Row(bright, 2, y)};
        uint8_t *preview[3] = {Row(s->previewImage, 0, y), Row(s->previewImage, 1, y), Row(s->previewImage, 2, y)};
        uint8_t *work[3] = {Row(s->previewWorkImage, 0, y), Row(s->previewWorkImage, 1, y),
                            Row(s->previewWorkImage, 2, y)};
        uint8_t *brightBased = Row(st.work.brightBased, 0, y), *darkBased = Row(st.work.darkBased, 0, y);
        for (int32_t x = 0; x < st.w; ++x) {
            const size_t i = static_cast<size_t>(y) * st.w + x;
            const int64_t wR = mapR[i], wD = mapD[i], wB = mapB[i];
            const int32_t R = pr[0][x], D = pd[0][x], Bl = pb[0][x];
            const int64_t wd = s->droppedExposure == 1 ? 0 : (D > 31 ? wD : (wD * D) >> 5);
            const int64_t wb = s->droppedExposure == 2 ? 0 : wB;
            const int64_t k = r[wR + wd + wb];
            preview[0][x] = Store(k * (wR * R + wd * D + wb * Bl));
            work[0][x] = Store(k * (wR * R + wd * c2[R] + wb * c3[R]));
            brightBased[x] = Store(k * (wb * Bl + wR * c1[Bl] + wd * c2[c1[Bl]]));
            // Normalised over the two weights it uses, so it keeps the level of its twins.
            darkBased[x] = Store(r[wR + wd] * (wd * D + wR * c0[D]));
            int64_t cD = D <= 31 ? 0 : (D <= 63 ? (wD * (D - 32)) >> 5 : wD);
            if (s->droppedExposure == 1) cD = 0;
            const int64_t cB = s->droppedExposure == 2 ? 0 : wB;
            const int64_t sc = r[wR + cD + cB];
            for (int p = 1; p <= 2; ++p) {
                const uint8_t v = Store(sc * (cD * pd[p][x] + wR * pr[p][x] + cB * pb[p][x]));
                preview[p][x] = work[p][x] = v;
            }
        }
    }
}

// Box mean of a ghost mask in the cell plane; RESULT_OK or RESULT_OUT_OF_MEMORY.
int MaskMean(Stage &st, const uint8_t *mask, int32_t radius) {
    const int32_t gw = st.s->paddedBlocksAcross, gh = st.s->paddedBlocksDown;
    CopyBytes(st.work.cells, mask, static_cast<size_t>(gw) * gh);
    return BoxFilterPlane8(st.memory, st.work.cells, gw, gh, gw, radius, 1) == RESULT_OK ? RESULT_OK
                                                                                        : RESULT_OUT_OF_MEMORY;
}

// The preview takes, inside the mask, the guided smoothing of itself with the reference kept
// outside the mask as its source.
int PatchFromReference(Stage &st, const uint8_t *mask, int32_t radius, bool blend255) {
    HdrSession *s = st.s;
    const int32_t gw = s->paddedBlocksAcross, gh = s->paddedBlocksDown;
    CopyBlocksOutsideMask(s->previewWorkImage, s->previewImage, mask, gw, gh);
    const int32_t g = GuidedFilterThreaded8WithRunner(st.memory, st.plain[s->referenceIndex], s->previewWorkImage,
                                                      16, nullptr, s->previewWorkImage, 4.0, StageJobRunner(s));
    if (g == RESULT_OUT_OF_MEMORY) return g;
    if (MaskMean(st, mask, radius) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    if (blend255) BlendBlocksByMask255(s->previewImage, s->previewWorkImage, st.work.cells, gw, gh);
    else BlendBlocksByMask128(s->previewImage, s->previewWorkImage, st.work.cells, gw, gh);
    return RESULT_OK;
}

int PatchGhosts(Stage &st) {
    HdrSession *s = st.s;
    const int32_t gw = s->paddedBlocksAcross, gh = s->paddedBlocksDown;
    int result = RESULT_OK;
    const int32_t mode = s->movingRegionMode;
    if (mode == 1) {
        result = PatchFromReference(st, s->ghostMasks[kGhostReference], 4, false);
    } else if (mode == 2 && s->auxMode == 0) {
        result = PatchFromReference(st, s->ghostMasks[kGhostBrightReplaced], 2, false);
    } else if (mode == 2) {
        result = MaskMean(st, s->ghostMasks[kGhostDark], 2);
        if (result == RESULT_OK) BlendBlocksByMask255(s->previewImage, st.work.darkBased, st.work.cells, gw, gh);
        if (result == RESULT_OK) result = PatchFromReference(st, s->ghostMasks[kGhostReference], 2, true);
    }
    if (result != RESULT_OK) return result;
    if (MaskMean(st, s->ghostMasks[kGhostBright], 2) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    BlendBlocksByMask255(s->previewImage, st.work.brightBased, st.work.cells, gw, gh);
    return RESULT_OK;
}

// The preview's statistics (clip points and dark share) are taken where every exposure's
// aligned thumbnail holds the scene, less the outer ring of that area. Outside it an exposure
// moved by whole thumbnail pixels has samples of no scene, and the ring holds the photos'
// edges, where the frame's fusion weights (and any edge line) make the preview unlike the
// scene. The clip point is the fourth brightest sample or so: a few such samples would set the
// picture's tone and gains, and a move to one side would give another picture than a move to
// the other (for the same reason the clip points are taken before the ghost patches). The whole
// thumbnail when that area is empty.
PixelRect StatisticsWindow(const HdrSession &s, int32_t w, int32_t h) {
    PixelRect r{0, 0, w, h};
    for (int32_t i : {s.darkIndex, s.brightIndex, s.referenceIndex}) {
        const PixelRect &b = s.overlapBounds[i];
        r = {std::max(r.x0, b.x0), std::max(r.y0, b.y0), std::min(r.x1, b.x1),
             std::min(r.y1, b.y1)};
    }
    r = {r.x0 + 1, r.y0 + 1, r.x1 - 1, r.y1 - 1};
    if (r.x0 >= r.x1 || r.y0 >= r.y1) return PixelRect{0, 0, w, h};
    return r;
}

// Plane 0 of the image inside the window.
ImageDesc WindowOf(const ImageDesc &image, const PixelRect &window) {
    ImageDesc view = image;
    view.i32Width = window.x1 - window.x0;
    view.i32Height = window.y1 - window.y0;
    view.ppu8Plane[0] += static_cast<ptrdiff_t>(window.y0) * image.pi32Pitch[0] + window.x0;
    for (int p = 1; p < 4; ++p) view.ppu8Plane[p] = nullptr;
    return view;
}

// The clip points of the fused preview and of the reference, inside the statistics window.
// Taken before the ghost patches: a patch synthesises its samples (a guided smoothing, or
// another exposure's levels), and a handful of them, where they are the brightest or darkest
// of the window, would set the stretch and so the tone of the whole picture. A moved exposure
// that makes a patch of a few cells would then give a picture several levels lighter or darker
// than the still bracket's.
int FindPreviewClipPoints(Stage &st, PreviewClipPoints *clip) {
    HdrSession *s = st.s;
    clip->window = StatisticsWindow(*s, st.w, st.h);
    const ImageDesc preview = WindowOf(*s->previewImage, clip->window);
    const ImageDesc reference = WindowOf(*s->alignedSmall[s->referenceIndex], clip->window);
    if (ComputeLumaHistogram(st.memory, &preview, st.work.histogram) != RESULT_OK ||
        ComputeLumaHistogram(st.memory, &reference, st.work.referenceHistogram) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    FindHistogramClipPoints(&preview, st.work.histogram, &clip->highPreview, &clip->lowPreview);
    FindHistogramClipPoints(&reference, st.work.referenceHistogram, &clip->highReference,
                            &clip->lowReference);
    return RESULT_OK;
}

// Stretches the patched preview by the clip points, writes the difference maps and takes the
// dark share of the stretched preview inside the statistics window.
int StretchAndDifference(Stage &st, const PreviewClipPoints &clip) {
    HdrSession *s = st.s;
    int32_t *hist = st.work.histogram;
    const PixelRect &window = clip.window;
    uint8_t table[256];
    BuildPreviewToneTable(clip.lowPreview, clip.highPreview, clip.lowReference,
                          clip.highReference, table);
    FillBytes(hist, 0, sizeof(int32_t) * 256);
    const ImageDesc *ref = st.plain[s->referenceIndex], *dark = st.plain[s->darkIndex];
    const ImageDesc *bright = st.plain[s->brightIndex];
    for (int32_t y = 0; y < st.h; ++y) {
        uint8_t *p = Row(s->previewImage, 0, y);
        const uint8_t *pr = Row(ref, 0, y), *pd = Row(dark, 0, y), *pb = Row(bright, 0, y);
        const size_t row = static_cast<size_t>(y) * st.w;
        for (int32_t x = 0; x < st.w; ++x) {
            const int32_t t = table[p[x]];
            p[x] = static_cast<uint8_t>(t);
            s->fineGrids[kDifferenceReference][row + x] = static_cast<int16_t>(t - pr[x] + 256);
            s->fineGrids[kDifferenceDark][row + x] = static_cast<int16_t>(t - pd[x] + 256);
            s->fineGrids[kDifferenceBright][row + x] = static_cast<int16_t>(t - pb[x] + 256);
            if (x >= window.x0 && x < window.x1 && y >= window.y0 && y < window.y1) ++hist[t];
        }
    }
    ComputeDarkShare(s, hist);
    return RESULT_OK;
}

bool SameSize(const ImageDesc *image, int32_t w, int32_t h, int planes) {
    if (!image || image->i32Width != w || image->i32Height != h) return false;
    for (int p = 0; p < planes; ++p)
        if (!image->ppu8Plane[p] || image->pi32Pitch[p] < w) return false;
    return true;
}

bool ValidInputs(const HdrSession *s, ImageDesc *const *plain) {
    if (!s || !plain || !plain[0]) return false;
    const int32_t w = plain[0]->i32Width, h = plain[0]->i32Height;
    for (int32_t i : {s->darkIndex, s->brightIndex, s->referenceIndex})
        if (i < 0 || i >= kMaxExposures || !SameSize(plain[i], w, h, 3) || !SameSize(s->alignedSmall[i], w, h, 3) ||
            !LumaHistogram(*s, i))
            return false;
    for (int16_t *map : s->contrastWeightMaps)
        if (!map) return false;
    for (uint8_t *mask : s->ghostMasks)
        if (!mask) return false;
    for (uint8_t *table : s->curveTables)
        if (!table) return false;
    return SameSize(s->previewImage, w, h, 3) && SameSize(s->previewWorkImage, w, h, 3) &&
           s->reciprocalTable && s->paddedBlocksAcross >= 3 && s->paddedBlocksDown >= 3;
}

}  // namespace

int FuseLowResPreview(MemoryContext memory, HdrSession *s, ImageDesc *const *plain) {
    if (!ValidInputs(s, plain)) return RESULT_INVALID_ARGUMENT;
    Stage st{memory, s, plain, plain[0]->i32Width, plain[0]->i32Height, {}};
    const int64_t cells = static_cast<int64_t>(s->paddedBlocksAcross) * s->paddedBlocksDown;
    if (!AllocateWork(memory, cells, st.w, st.h, st.work) ||
        AllocateFineGrids(memory, s, st.w, st.h) != RESULT_OK) {
        FreeWork(memory, st.work);
        return RESULT_OUT_OF_MEMORY;
    }
    const int64_t pixels = static_cast<int64_t>(st.w) * st.h;
    BuildHistogramMatchTable(s->curveTables[1], LumaHistogram(*s, s->brightIndex),
                             LumaHistogram(*s, s->referenceIndex), pixels, 0, 1);
    PreviewClipPoints clip{};
    int result = PrepareBright(st);
    if (result == RESULT_OK) {
        FusePixels(st);
        result = FindPreviewClipPoints(st, &clip);
    }
    if (result == RESULT_OK) result = PatchGhosts(st);
    if (result == RESULT_OK) result = StretchAndDifference(st, clip);
    FreeWork(memory, st.work);
    if (result != RESULT_OK) return result;
    s->lowResMapsReady = 1;
    return RESULT_OK;
}

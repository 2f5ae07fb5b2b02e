#include "deghost.h"

#include <initializer_list>

#include "core/image.h"
#include "core/memory.h"
#include "core/row_image.h"
#include "filters/box_filter.h"
#include "filters/guided_band16.h"
#include "filters/guided_striped.h"
#include "weights/block_grid.h"
#include "weights/lowres_weight_maps.h"
#include "weights/preview_fusion.h"
#include "weights/single_exposure_fallback.h"

void QuarterGridSize(int32_t width, int32_t height, int32_t *qw, int32_t *qh) {
    *qw = ((width + 3) / 4 + 3) / 4 * 4;
    *qh = ((height + 3) / 4 + 3) / 4 * 4;
}

namespace {

const uint8_t *LumaAt(const ImageDesc *image, int32_t x, int32_t y) {
    return image->ppu8Plane[0] + static_cast<size_t>(y) * image->pi32Pitch[0] + x;
}

int32_t ClampIndex(int32_t v, int32_t hi) { return v < 0 ? 0 : (v > hi ? hi : v); }

}  // namespace

void MatchDifferenceMapsInMask(const uint8_t *mask, int32_t maskPitch, int32_t maskRows,
                               const ImageDesc *imageA, const int16_t *mapA,
                               const ImageDesc *imageB, int16_t *mapB) {
    const int32_t w = imageA->i32Width, h = imageA->i32Height;
    for (int32_t y = 0; y < h; ++y) {
        const int32_t r0 = ClampIndex(y / 4, maskRows - 1), r1 = ClampIndex(y / 4 + 1, maskRows - 1);
        const int32_t q = y & 3;
        for (int32_t x = 0; x < w; ++x) {
            const int32_t c0 = ClampIndex(x / 4, maskPitch - 1), c1 = ClampIndex(x / 4 + 1, maskPitch - 1);
            const int32_t p = x & 3;
            const int32_t m00 = mask[static_cast<size_t>(r0) * maskPitch + c0];
            const int32_t m01 = mask[static_cast<size_t>(r0) * maskPitch + c1];
            const int32_t m10 = mask[static_cast<size_t>(r1) * maskPitch + c0];
            const int32_t m11 = mask[static_cast<size_t>(r1) * maskPitch + c1];
            const int32_t m = ((m00 * (4 - p) + m01 * p) * (4 - q) + (m10 * (4 - p) + m11 * p) * q + 8) >> 4;
            if (m <= 0) continue;
            const size_t i = static_cast<size_t>(y) * w + x;
            const int32_t target = mapA[i] + *LumaAt(imageA, x, y) - *LumaAt(imageB, x, y);
            mapB[i] = static_cast<int16_t>((m * target + (256 - m) * mapB[i]) >> 8);
        }
    }
}

namespace {

uint8_t StoreLuma(int64_t v) { return v < 0 ? 0 : (v >= (int64_t{1} << 23) ? 255 : static_cast<uint8_t>(v >> 15)); }
uint8_t StoreChroma(int64_t v) {
    if (v <= 0) return 128;
    const int64_t c = (v + 16384) >> 15;
    return static_cast<uint8_t>(c > 255 ? 255 : c);
}
int32_t Clamp255(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Chroma weights of the darkest and brightest exposure faded by their own luma over the
// reference's mid tones.
void FadeChromaWeights(int32_t R, int32_t D, int32_t B, int64_t *cD, int64_t *cB) {
    if (R < 32 || R > 224) return;
    const int64_t fB = B > 128 ? 0 : (B < 65 ? *cB : ((128 - B) * *cB) >> 6);
    const int64_t fD = D < 64 ? 0 : (D >= 128 ? *cD : (*cD * (D - 64)) >> 6);
    if (R <= 63) {
        *cB = (fB * (R - 32) + (64 - R) * *cB + 16) >> 5;
        *cD = (fD * (R - 32) + (64 - R) * *cD + 16) >> 5;
    } else if (R <= 192) {
        *cB = fB;
        *cD = fD;
    } else {
        *cB = ((224 - R) * fB + (R - 192) * *cB + 16) >> 5;
        *cD = ((224 - R) * fD + (R - 192) * *cD + 16) >> 5;
    }
}

bool RefuseInputsValid(const HdrSession *s) {
    if (!s || !s->previewImage || !s->reciprocalTable || s->paddedBlocksAcross < 1 || s->paddedBlocksDown < 1)
        return false;
    for (int32_t i : {s->darkIndex, s->brightIndex, s->referenceIndex})
        if (i < 0 || i >= kMaxExposures || !s->smallImages[i]) return false;
    for (int k = 0; k < 3; ++k)
        if (!s->fineGrids[k] || !s->contrastWeightMaps[k] || !s->blockWeights[k]) return false;
    const ImageDesc *ref = s->smallImages[s->referenceIndex];
    for (const ImageDesc *image : {s->smallImages[s->darkIndex], s->smallImages[s->brightIndex], s->previewImage})
        if (image->i32Width != ref->i32Width || image->i32Height != ref->i32Height) return false;
    return s->fineGridStride == ref->i32Width && s->fineGridRows == ref->i32Height;
}

}  // namespace

int RefuseLowResPreview(MemoryContext memory, HdrSession *s) {
    if (!RefuseInputsValid(s)) return RESULT_INVALID_ARGUMENT;
    const ImageDesc *ref = s->smallImages[s->referenceIndex], *dark = s->smallImages[s->darkIndex];
    const ImageDesc *bright = s->smallImages[s->brightIndex];
    const int32_t w = ref->i32Width, h = ref->i32Height, gw = s->paddedBlocksAcross, gh = s->paddedBlocksDown;
    const int32_t *rt = s->reciprocalTable;
    const int16_t *mapR = s->fineGrids[0], *mapD = s->fineGrids[1], *mapB = s->fineGrids[2];
    const int16_t *cwR = s->contrastWeightMaps[kContrastReference];
    const int16_t *cwD = s->contrastWeightMaps[kContrastDark];
    const int16_t *cwB = s->contrastWeightMaps[kContrastBright];
    ImageDesc *out = s->previewImage;
    for (int32_t y = 0; y < h; ++y) {
        const int32_t row = ClampIndex((y + 2) / 4, gh - 1);
        for (int32_t x = 0; x < w; ++x) {
            const size_t cell = static_cast<size_t>(row) * gw + ClampIndex((x + 2) / 4, gw - 1);
            const int64_t wR = s->blockWeights[kWeightReference][cell];
            const int64_t wD = s->blockWeights[kWeightDark][cell];
            const int64_t wB = s->blockWeights[kWeightBright][cell];
            const int32_t R = *LumaAt(ref, x, y), D = *LumaAt(dark, x, y), B = *LumaAt(bright, x, y);
            const size_t i = static_cast<size_t>(y) * w + x;
            const int64_t sR = Clamp255(mapR[i] + R - 256), sD = Clamp255(mapD[i] + D - 256);
            const int64_t sB = Clamp255(mapB[i] + B - 256);
            const int64_t weightSum = wR + wD + wB;
            const int64_t v = (wR * sR + wD * sD + wB * sB) * rt[ClampIndex(static_cast<int32_t>(weightSum), kReciprocalTableSize - 1)];
            out->ppu8Plane[0][static_cast<size_t>(y) * out->pi32Pitch[0] + x] = StoreLuma(v);
            const int64_t cR = cwR[i];
            int64_t cD = s->droppedExposure == 1 ? 0 : cwD[i];
            int64_t cB = s->droppedExposure == 2 ? 0 : cwB[i];
            FadeChromaWeights(R, D, B, &cD, &cB);
            const int64_t k = rt[ClampIndex(static_cast<int32_t>(cR + cD + cB), kReciprocalTableSize - 1)];
            for (int p = 1; p <= 2; ++p) {
                const int64_t u = cR * ref->ppu8Plane[p][static_cast<size_t>(y) * ref->pi32Pitch[p] + x] +
                                  cD * dark->ppu8Plane[p][static_cast<size_t>(y) * dark->pi32Pitch[p] + x] +
                                  cB * bright->ppu8Plane[p][static_cast<size_t>(y) * bright->pi32Pitch[p] + x];
                out->ppu8Plane[p][static_cast<size_t>(y) * out->pi32Pitch[p] + x] = StoreChroma(k * u);
            }
        }
    }
    for (int16_t *&map : s->contrastWeightMaps) FreeAndClear(memory, map);
    return RESULT_OK;
}

namespace {

struct Work {
    RowImage *guide = nullptr;
    RowImage *input = nullptr;
    RowImage *output = nullptr;
    int16_t *q0 = nullptr;
    int16_t *q1 = nullptr;
    int16_t *filtered = nullptr;
    uint8_t *cells = nullptr;
};

void FreeWork(MemoryContext memory, Work &w) {
    FreeRowImage(memory, &w.guide);
    FreeRowImage(memory, &w.input);
    FreeRowImage(memory, &w.output);
    FreeAndClear(memory, w.q0);
    FreeAndClear(memory, w.q1);
    FreeAndClear(memory, w.filtered);
    FreeAndClear(memory, w.cells);
}

bool AllocateWork(MemoryContext memory, int32_t qw, int32_t qh, int32_t w, int32_t h, int64_t cells, Work &work) {
    work.guide = CreateRowImage(memory, qw, qh, 8, 1);
    work.input = CreateRowImage(memory, qw, qh, 32, 1);
    work.output = CreateRowImage(memory, qw, qh, 32, 1);
    work.q0 = AllocateZeroed<int16_t>(memory, static_cast<uint64_t>(qw) * qh);
    work.q1 = AllocateZeroed<int16_t>(memory, static_cast<uint64_t>(qw) * qh);
    work.filtered = AllocateZeroed<int16_t>(memory, static_cast<uint64_t>(w) * h);
    work.cells = AllocateZeroed<uint8_t>(memory, static_cast<uint64_t>(cells));
    return work.guide && work.input && work.output && work.q0 && work.q1 && work.filtered && work.cells;
}

// Quarter sample (X, Y) of a w x h plane: the mean of four samples two apart, with the last
// column and row of the grid repeated out to the padded size.
template <typename Read>
int32_t QuarterSample(Read read, int32_t w, int32_t h, int32_t X, int32_t Y) {
    const int32_t cw = (w + 3) / 4 - 1, ch = (h + 3) / 4 - 1;
    const int32_t x = 4 * (X < cw ? X : cw - 1), y = 4 * (Y < ch ? Y : ch - 1);
    return (read(x, y) + read(x + 2, y) + read(x, y + 2) + read(x + 2, y + 2)) >> 2;
}

struct Stage {
    MemoryContext memory;
    HdrSession *s;
    int32_t w, h, qw, qh;
    Work work;
};

void FillQuarterInput(Stage &st, const int16_t *map) {
    const int32_t w = st.w;
    auto read = [&](int32_t x, int32_t y) { return static_cast<int32_t>(map[static_cast<size_t>(y) * w + x]); };
    for (int32_t Y = 0; Y < st.qh; ++Y) {
        auto *row = reinterpret_cast<int32_t *>(st.work.input->rows[Y]);
        for (int32_t X = 0; X < st.qw; ++X) row[X] = QuarterSample(read, st.w, st.h, X, Y);
    }
}

// Quarter-grid guided smoothing of the reference and dark maps (the reference's darkest guide
// levels keep part of the unfiltered map).
int FilterQuarterMaps(Stage &st) {
    const ImageDesc *preview = st.s->previewImage;
    auto readPreview = [&](int32_t x, int32_t y) { return static_cast<int32_t>(*LumaAt(preview, x, y)); };
    for (int32_t Y = 0; Y < st.qh; ++Y)
        for (int32_t X = 0; X < st.qw; ++X)
            st.work.guide->rows[Y][X] = static_cast<uint8_t>(QuarterSample(readPreview, st.w, st.h, X, Y));
    for (int map : {1, 0}) {
        FillQuarterInput(st, st.s->fineGrids[map]);
        const int32_t r = GuidedFilterStripedWithRunner(st.memory, st.work.guide, st.work.input, st.work.output,
                                                        4, StageJobRunner(st.s));
        if (r != RESULT_OK) return r == RESULT_OUT_OF_MEMORY ? r : RESULT_INVALID_ARGUMENT;
        int16_t *q = map == 0 ? st.work.q0 : st.work.q1;
        for (int32_t Y = 0; Y < st.qh; ++Y) {
            const auto *out = reinterpret_cast<const int32_t *>(st.work.output->rows[Y]);
            const auto *in = reinterpret_cast<const int32_t *>(st.work.input->rows[Y]);
            for (int32_t X = 0; X < st.qw; ++X) {
                int32_t v = out[X];
                const int32_t g = st.work.guide->rows[Y][X];
                if (map == 0 && g <= 31) v = (g * v + (32 - g) * in[X] + 16) >> 5;
                q[static_cast<size_t>(Y) * st.qw + X] = static_cast<int16_t>(v);
            }
        }
    }
    return RESULT_OK;
}

// The contrast map, widely smoothed, decides how far the maps follow their filtered versions.
int SmoothContrast(Stage &st) {
    int16_t *q = st.s->ghostMap;
    if (BoxFilterPlane16(st.memory, q, st.w, st.h, st.w, 32, 1) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    const size_t n = static_cast<size_t>(st.w) * st.h;
    for (size_t i = 0; i < n; ++i) {
        const int32_t v = q[i] > 255 ? 255 : (q[i] < 0 ? 0 : q[i]);
        q[i] = static_cast<int16_t>(v & ~1);
    }
    return RESULT_OK;
}

void BlendQuarterMaps(Stage &st) {
    const int16_t *q = st.s->ghostMap;
    for (int32_t y = 0; y < st.h; ++y)
        for (int32_t x = 0; x < st.w; ++x) {
            const size_t i = static_cast<size_t>(y) * st.w + x;
            const size_t qi = static_cast<size_t>(y / 4) * st.qw + x / 4;
            const int32_t k = q[i];
            int16_t *ref = st.s->fineGrids[0], *dark = st.s->fineGrids[1];
            ref[i] = static_cast<int16_t>((k * st.work.q0[qi] + (256 - k) * ref[i]) >> 8);
            dark[i] = static_cast<int16_t>((k * st.work.q1[qi] + (256 - k) * dark[i]) >> 8);
        }
}

int FilterFullMaps(Stage &st) {
    const int16_t *q = st.s->ghostMap;
    const size_t n = static_cast<size_t>(st.w) * st.h;
    for (int map : {1, 0, 2}) {
        int16_t *m = st.s->fineGrids[map];
        const int32_t r = GuidedFilterThreaded16WithRunner(st.memory, st.s->previewImage, m, 16, nullptr,
                                                           st.work.filtered, 4.0, 1, StageJobRunner(st.s));
        if (r != RESULT_OK) return r == RESULT_OUT_OF_MEMORY ? r : RESULT_INVALID_ARGUMENT;
        for (size_t i = 0; i < n; ++i) m[i] = static_cast<int16_t>((q[i] * st.work.filtered[i] + (256 - q[i]) * m[i]) >> 8);
    }
    return RESULT_OK;
}

// Inside each ghost region the maps of the exposures not chosen follow the chosen one.
int MatchGhostRegions(Stage &st) {
    HdrSession *s = st.s;
    const int32_t gw = s->paddedBlocksAcross, gh = s->paddedBlocksDown;
    struct Pair {
        int mask, a, b;  // ghost mask, difference-map slots of exposures A and B
    };
    static constexpr Pair kPairs[4] = {{kGhostDark, kDifferenceDark, kDifferenceReference},
                                       {kGhostReference, kDifferenceReference, kDifferenceDark},
                                       {kGhostBrightReplaced, kDifferenceReference, kDifferenceBright},
                                       {kGhostBright, kDifferenceBright, kDifferenceReference}};
    auto imageOf = [&](int slot) {
        return s->smallImages[slot == kDifferenceReference ? s->referenceIndex
                              : slot == kDifferenceDark    ? s->darkIndex
                                                           : s->brightIndex];
    };
    const size_t cells = static_cast<size_t>(gw) * gh;
    for (const Pair &pair : kPairs) {
        CopyBytes(st.work.cells, s->ghostMasks[pair.mask], cells);
        if (BoxFilterPlane8(st.memory, st.work.cells, gw, gh, gw, 2, 2) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
        // A window without a masked cell spreads to 1: it stays outside the region.
        for (size_t i = 0; i < cells; ++i)
            if (st.work.cells[i] <= 1) st.work.cells[i] = 0;
        MatchDifferenceMapsInMask(st.work.cells, gw, gh, imageOf(pair.a), s->fineGrids[pair.a], imageOf(pair.b),
                                  s->fineGrids[pair.b]);
    }
    return RESULT_OK;
}

bool ValidInputs(const HdrSession *s, int32_t *w, int32_t *h) {
    if (!s || !s->previewImage || !s->ghostMap || !s->smallImages[0]) return false;
    *w = s->smallImages[0]->i32Width;
    *h = s->smallImages[0]->i32Height;
    for (int32_t i : {s->darkIndex, s->brightIndex, s->referenceIndex})
        if (i < 0 || i >= kMaxExposures || !s->smallImages[i] || s->smallImages[i]->i32Width != *w ||
            s->smallImages[i]->i32Height != *h)
            return false;
    for (uint8_t *mask : s->ghostMasks)
        if (!mask) return false;
    for (int k = 0; k < 3; ++k)
        if (!s->fineGrids[k]) return false;
    return *w >= 5 && *h >= 5 && s->previewImage->i32Width == *w && s->previewImage->i32Height == *h &&
           s->fineGridStride == *w && s->fineGridRows == *h && s->paddedBlocksAcross >= 3 &&
           s->paddedBlocksDown >= 3;
}

}  // namespace

int DeghostLowRes(MemoryContext memory, HdrSession *s) {
    if (!s) return RESULT_INVALID_ARGUMENT;
    if (s->pendingStatus != 0) return SingleExposureFallback(memory, s);
    int32_t w, h;
    if (!ValidInputs(s, &w, &h)) return RESULT_INVALID_ARGUMENT;
    Stage st{memory, s, w, h, 0, 0, {}};
    QuarterGridSize(w, h, &st.qw, &st.qh);
    const int64_t cells = static_cast<int64_t>(s->paddedBlocksAcross) * s->paddedBlocksDown;
    int result = AllocateWork(memory, st.qw, st.qh, w, h, cells, st.work) ? RESULT_OK : RESULT_OUT_OF_MEMORY;
    if (result == RESULT_OK) {
        s->quarterGridWidth = st.qw;
        s->quarterGridHeight = st.qh;
        result = FilterQuarterMaps(st);
    }
    if (result == RESULT_OK) result = SmoothContrast(st);
    if (result == RESULT_OK) {
        BlendQuarterMaps(st);
        result = FilterFullMaps(st);
    }
    if (result == RESULT_OK) result = MatchGhostRegions(st);
    FreeWork(memory, st.work);
    if (result != RESULT_OK) return result;
    for (ImageDesc *&image : s->alignedSmall) DestroyImage(&image, memory);
    if (s->exposureCount == 1) return SingleExposureFallback(memory, s);
    return RefuseLowResPreview(memory, s);
}

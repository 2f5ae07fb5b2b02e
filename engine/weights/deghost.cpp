#include "deghost.h"

#include <initializer_list>

#include "core/image.h"
#include "core/memory.h"
#include "core/row_helpers.h"
#include "core/row_image.h"
#include "filters/box_filter.h"
#include "filters/guided_band16.h"
#include "filters/guided_striped.h"
#include "weights/block_grid.h"
#include "weights/lowres_weight_maps.h"
#include "weights/preview_fusion.h"
#include "weights/quarter_grid.h"
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

// Row pointers of one preview row: the three exposures' planes, their maps and the output.
struct RefuseRow {
    const uint8_t *luma[3], *u[3], *v[3];
    const int16_t *map[3], *contrast[3];
    uint8_t *outLuma, *outU, *outV;
};

RefuseRow RowsAt(const ImageDesc *const images[3], const int16_t *const maps[3],
                 const int16_t *const contrast[3], ImageDesc *out, int32_t w, int32_t y) {
    RefuseRow r{};
    const size_t i = static_cast<size_t>(y) * w;
    for (int e = 0; e < 3; ++e) {
        r.luma[e] = images[e]->ppu8Plane[0] + static_cast<size_t>(y) * images[e]->pi32Pitch[0];
        r.u[e] = images[e]->ppu8Plane[1] + static_cast<size_t>(y) * images[e]->pi32Pitch[1];
        r.v[e] = images[e]->ppu8Plane[2] + static_cast<size_t>(y) * images[e]->pi32Pitch[2];
        r.map[e] = maps[e] + i;
        r.contrast[e] = contrast[e] ? contrast[e] + i : nullptr;
    }
    r.outLuma = out->ppu8Plane[0] + static_cast<size_t>(y) * out->pi32Pitch[0];
    r.outU = out->ppu8Plane[1] + static_cast<size_t>(y) * out->pi32Pitch[1];
    r.outV = out->ppu8Plane[2] + static_cast<size_t>(y) * out->pi32Pitch[2];
    return r;
}

// The weights of one block cell and the reciprocal of their sum.
struct CellWeights {
    int64_t r, d, b, reciprocal;
};

// Pixels [x0, x1) of a row, all in one block cell. A dropped exposure's contrast pointer is
// null: its chroma weight is 0.
void RefuseRun(const RefuseRow &row, const CellWeights &cw, const int32_t *rt, int32_t x0, int32_t x1) {
    for (int32_t x = x0; x < x1; ++x) {
        const int32_t R = row.luma[0][x], D = row.luma[1][x], B = row.luma[2][x];
        const int64_t sR = ClampByte(row.map[0][x] + R - 256);
        const int64_t sD = ClampByte(row.map[1][x] + D - 256);
        const int64_t sB = ClampByte(row.map[2][x] + B - 256);
        row.outLuma[x] = StoreLuma((cw.r * sR + cw.d * sD + cw.b * sB) * cw.reciprocal);
        const int64_t cR = row.contrast[0][x];
        int64_t cD = row.contrast[1] ? row.contrast[1][x] : 0;
        int64_t cB = row.contrast[2] ? row.contrast[2][x] : 0;
        FadeChromaWeights(R, D, B, &cD, &cB);
        const int64_t k = rt[ClampIndex(static_cast<int32_t>(cR + cD + cB), kReciprocalTableSize - 1)];
        row.outU[x] = StoreChroma(k * (cR * row.u[0][x] + cD * row.u[1][x] + cB * row.u[2][x]));
        row.outV[x] = StoreChroma(k * (cR * row.v[0][x] + cD * row.v[1][x] + cB * row.v[2][x]));
    }
}

}  // namespace

int RefuseLowResPreview(MemoryContext memory, HdrSession *s) {
    if (!RefuseInputsValid(s)) return RESULT_INVALID_ARGUMENT;
    const ImageDesc *const images[3] = {s->smallImages[s->referenceIndex], s->smallImages[s->darkIndex],
                                        s->smallImages[s->brightIndex]};
    const int32_t w = images[0]->i32Width, h = images[0]->i32Height;
    const int32_t gw = s->paddedBlocksAcross, gh = s->paddedBlocksDown;
    const int32_t *rt = s->reciprocalTable;
    const int16_t *const maps[3] = {s->fineGrids[0], s->fineGrids[1], s->fineGrids[2]};
    const int16_t *const contrast[3] = {s->contrastWeightMaps[kContrastReference],
                                        s->droppedExposure == 1 ? nullptr : s->contrastWeightMaps[kContrastDark],
                                        s->droppedExposure == 2 ? nullptr : s->contrastWeightMaps[kContrastBright]};
    for (int32_t y = 0; y < h; ++y) {
        const RefuseRow row = RowsAt(images, maps, contrast, s->previewImage, w, y);
        const size_t rowCells = static_cast<size_t>(ClampIndex((y + 2) / 4, gh - 1)) * gw;
        // Pixel x takes cell (x + 2) / 4, the last cell also every column past it.
        for (int32_t x0 = 0; x0 < w;) {
            const int32_t col = ClampIndex((x0 + 2) / 4, gw - 1);
            const int32_t x1 = col == gw - 1 ? w : (4 * col + 2 < w ? 4 * col + 2 : w);
            const size_t cell = rowCells + col;
            CellWeights cw{s->blockWeights[kWeightReference][cell], s->blockWeights[kWeightDark][cell],
                           s->blockWeights[kWeightBright][cell], 0};
            cw.reciprocal = rt[ClampIndex(static_cast<int32_t>(cw.r + cw.d + cw.b), kReciprocalTableSize - 1)];
            RefuseRun(row, cw, rt, x0, x1);
            x0 = x1;
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

// The quarter samples proper, ceil(w / 4) x ceil(h / 4); the padding repeats their edges.
int32_t QuarterSide(int32_t side) { return (side + 3) / 4; }

void FillQuarterInput(Stage &st, const int16_t *map) {
    const int32_t w = st.w;
    auto read = [&](int32_t x, int32_t y) { return static_cast<int32_t>(map[static_cast<size_t>(y) * w + x]); };
    for (int32_t Y = 0; Y < QuarterSide(st.h); ++Y) {
        auto *row = reinterpret_cast<int32_t *>(st.work.input->rows[Y]);
        for (int32_t X = 0; X < QuarterSide(st.w); ++X) row[X] = QuarterSample(read, st.w, st.h, X, Y);
    }
    auto *grid = reinterpret_cast<int32_t *>(st.work.input->data);
    const int32_t pitch = st.work.input->rowBytes / 4;
    PadGrid32ToMultipleOf4(grid, QuarterSide(st.w), QuarterSide(st.h), pitch, grid, pitch);
}

// Quarter-grid guided smoothing of the reference and dark maps (the reference's darkest guide
// levels keep part of the unfiltered map).
int FilterQuarterMaps(Stage &st) {
    const ImageDesc *preview = st.s->previewImage;
    auto readPreview = [&](int32_t x, int32_t y) { return static_cast<int32_t>(*LumaAt(preview, x, y)); };
    for (int32_t Y = 0; Y < QuarterSide(st.h); ++Y)
        for (int32_t X = 0; X < QuarterSide(st.w); ++X)
            st.work.guide->rows[Y][X] = static_cast<uint8_t>(QuarterSample(readPreview, st.w, st.h, X, Y));
    RowImage *guide = st.work.guide;
    PadGrid8ToMultipleOf4(guide->data, QuarterSide(st.w), QuarterSide(st.h), guide->rowBytes,
                          guide->data, guide->rowBytes);
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

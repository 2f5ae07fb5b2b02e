#include "band_intermediate_planar.h"

#include <algorithm>

#include "alt/band_intermediate_common.h"
#include "alt/band_intermediate_packed422.h"
#include "alt/intermediate_image.h"
#include "alt/span_intermediate_packed422.h"
#include "alt/span_intermediate_planar.h"
#include "core/session.h"
#include "fusion/band_planar.h"
#include "fusion/band_planar_rows.h"
#include "fusion/grid_rows32.h"
#include "fusion/planar_layout.h"
#include "fusion/recovery_refine_planar.h"
#include "fusion/recovery_refine_planar422.h"
#include "fusion/span_normal_packed422.h"
#include "fusion/span_planar.h"

namespace {

using L = ChromaLayout;

template <ChromaLayout Layout>
int32_t ChromaColumn(int32_t x) {
    return kSeparateChromaPlanes<Layout> ? x >> 1 : x;
}

template <ChromaLayout Layout>
void FuseSpan16(int32_t type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                RunningWeights *weights, const IntermediateRowOut &out) {
    if constexpr (Layout == L::kPlanar420)
        FuseIntermediateSpanPlanar420(type, x0, x1, ref, warp, tables, rows, weights, out);
    else if constexpr (Layout == L::kPlanar422)
        FuseIntermediateSpanPlanar422(type, x0, x1, ref, warp, tables, rows, weights, out);
    else if constexpr (Layout == L::kSemiPlanar420)
        FuseIntermediateSpanSemiPlanar420(type, x0, x1, ref, warp, tables, rows, weights, out);
    else
        FuseIntermediateSpanSemiPlanar422(type, x0, x1, ref, warp, tables, rows, weights, out);
}

// --- Row drivers ------------------------------------------------------------------------------

template <ChromaLayout Layout>
PlanarRowIn ReferenceAt(const PlanarBandContext &c, int32_t r, int32_t a) {
    const YuvPlanes &p = c.reference;
    const int64_t cr = ChromaRowOf<Layout>(r, c.bottom);
    const int32_t cx = ChromaColumn<Layout>(a);
    PlanarRowIn in;
    in.y = p.plane[0] + static_cast<int64_t>(r) * p.pitch[0] + a;
    in.u = p.plane[1] + cr * p.pitch[1] + cx;
    in.v = kSeparateChromaPlanes<Layout> ? p.plane[2] + cr * p.pitch[2] + cx : nullptr;
    return in;
}

// 4:2:0: the odd row of a pair writes the chroma the pair shares; an even row only when its
// partner lies beyond the band.
template <ChromaLayout Layout>
bool WritesChroma(const PlanarBandContext &c, int32_t r) {
    if (!kSubsampledRows<Layout>) return true;
    return (r & 1) != 0 || r + 1 >= c.endRow;
}

template <ChromaLayout Layout>
IntermediateRowOut OutputAt(const PlanarBandContext &c, int32_t r, int32_t a) {
    const HdrSession *s = c.session;
    const int32_t rho = r - c.top;
    const int32_t cx = ChromaColumn<Layout>(a);
    IntermediateRowOut out = {IntermediateLumaRow(s, rho), nullptr, nullptr};
    if (out.y) out.y += a;
    if (!WritesChroma<Layout>(c, r)) return out;
    out.u = IntermediateChromaRow(s, 1, rho);
    if (out.u) out.u += cx;
    if constexpr (kSeparateChromaPlanes<Layout>) {
        out.v = IntermediateChromaRow(s, 2, rho);
        if (out.v) out.v += cx;
        if (!out.v) out.u = nullptr;
    }
    return out;
}

template <ChromaLayout Layout>
void RunKernel(const PlanarBandContext &c, int32_t r, int32_t type, int32_t a, int32_t b,
               const uint8_t *quad, RunningWeights *weights) {
    const IntermediateRowOut out = OutputAt<Layout>(c, r, a);
    if (!out.y) return;
    FuseSpan16<Layout>(type, a, b, ReferenceAt<Layout>(c, r, a), quad, c.tables, c.rows, weights,
                       out);
}

template <ChromaLayout Layout>
void FuseRowBoth(const PlanarBandContext &c, const BandRow &row) {
    FusePlanarRowTwo<Layout>(c, row, [&](int32_t type, int32_t a, int32_t b, const uint8_t *quad,
                                         RunningWeights *weights) {
        RunKernel<Layout>(c, row.r, type, a, b, quad, weights);
    });
}

template <ChromaLayout Layout>
void FuseRowOne(const PlanarBandContext &c, const BandRow &row, bool dark) {
    FusePlanarRowOne<Layout>(c, row, dark, [&](int32_t type, int32_t a, int32_t b,
                                               const uint8_t *quad, RunningWeights *weights) {
        RunKernel<Layout>(c, row.r, type, a, b, quad, weights);
    });
}

// --- Row refreshes ------------------------------------------------------------------------------
//
// Each family refreshes its rows at its own cadence (grid row (r + 16) >> 5, phase (r + 16) & 31):
//   planar 4:2:0, planar 4:2:2  weights, run lists and the shadow row on even rows; with the fade
//                               also the mask and highlight rows, then the refinement;
//   semi-planar 4:2:0           weights, run lists and the shadow row on even rows; with the fade
//                               the mask, shadow and highlight rows and the refinement every row;
//   semi-planar 4:2:2           weights, run lists, mask, shadow and chroma highlight rows on rows
//                               that are multiples of 4, with the chroma fade whatever the flag;
//                               with the fade the highlight luma row and its fade every row.
// A refinement always runs whole right after the rows it works on were expanded: it rewrites
// them in place. A band that starts off its family's cadence refreshes on its first row too.

enum WorkerRow { kRowMask = 3 };
enum BlockPlane { kShadowPlane = 0, kHighlightPlane = 2, kChromaUPlane = 5, kChromaVPlane = 6 };

void ExpandOffsetRow(const PlanarBandContext &c, int row, int plane, int32_t r) {
    const HdrSession *s = c.session;
    InterpolateGridRow32(c.offsetRows[row], c.x0, c.x1, (r + 16) >> 5,
                         s->paddedBlockPlanes[plane], s->blocksAcross + 2, (r + 16) & 31);
}

void ExpandMaskRow(const PlanarBandContext &c, int t, int32_t r) {
    const HdrSession *s = c.session;
    InterpolateGridRowSparse32(s->workerRows[kRowMask][t], c.x0, c.x1, (r + 16) >> 5,
                               s->recoveryMaskGrid, s->blocksAcross + 2, (r + 16) & 31);
}

// The dark exposure's luma row at its global shift.
const uint8_t *DarkLumaAt(const PlanarBandContext &c, int32_t r) {
    const int32_t dx = c.session->globalShift[0], dy = c.session->globalShift[1];
    return c.dark.plane[0] + static_cast<int64_t>(r - dy) * c.dark.pitch[0] + (c.x0 - dx);
}

// Where the refinement reads chroma: the dark exposure's first chroma plane at its global shift
// and the reference's, at row r's chroma row; inside false when the dark row or column falls
// outside the dark planes (the chroma corrections are then left as expanded).
struct ChromaSource {
    bool inside;
    int64_t darkRow, referenceRow;
    int32_t darkColumn, referenceColumn;
};

template <ChromaLayout Layout>
ChromaSource ChromaSourceAt(const PlanarBandContext &c, int32_t r) {
    const int32_t dx = c.session->globalShift[0], dy = c.session->globalShift[1];
    // Planar 4:2:2 keeps its chroma rows whole: the dark's is row r - dy.
    const int32_t darkRow = kSubsampledRows<Layout> ? (r >> 1) - (dy >> 1) : r - dy;
    const int32_t referenceRow = kSubsampledRows<Layout> ? r >> 1 : r;
    const int32_t rows = kSubsampledRows<Layout> ? c.height >> 1 : c.height;
    const int32_t darkColumn =
        kSeparateChromaPlanes<Layout> ? (c.x0 >> 1) - (dx >> 1) : c.x0 - dx;
    const bool inside = darkRow >= 0 && darkRow < rows && referenceRow < rows && darkColumn >= 0;
    return {inside, inside ? darkRow : 0, inside ? referenceRow : 0, inside ? darkColumn : 0,
            ChromaColumn<Layout>(c.x0)};
}

// The refinement of the 4:2:0 and planar 4:2:2 families over the freshly expanded mask,
// highlight luma and chroma rows.
template <ChromaLayout Layout>
void RefineHighlightRows(const PlanarBandContext &c, int32_t r) {
    const HdrSession *s = c.session;
    if (!DarkOverlapInside(c, r)) return;
    const YuvPlanes &d = c.dark, &ref = c.reference;
    const ChromaSource cs = ChromaSourceAt<Layout>(c, r);
    int16_t *luma = c.offsetRows[kHighlightLumaRow];
    int16_t *u = cs.inside ? c.offsetRows[kHighlightURow] : nullptr;
    int16_t *v = cs.inside ? c.offsetRows[kHighlightVRow] : nullptr;
    const uint8_t *darkC1 = d.plane[1] + cs.darkRow * d.pitch[1] + cs.darkColumn;
    const uint8_t *refC1 = ref.plane[1] + cs.referenceRow * ref.pitch[1] + cs.referenceColumn;
    if constexpr (kSeparateChromaPlanes<Layout>) {
        const uint8_t *darkV = d.plane[2] + cs.darkRow * d.pitch[2] + cs.darkColumn;
        const uint8_t *refV = ref.plane[2] + cs.referenceRow * ref.pitch[2] + cs.referenceColumn;
        const auto refine = Layout == L::kPlanar420 ? RefineRecoveryOffsetsRowPlanar420
                                                    : RefineRecoveryOffsetsRowPlanar422;
        refine(s, c.rows.mask, r, DarkLumaAt(c, r), darkC1, darkV, refC1, refV, luma, u, v);
    } else {
        RefineRecoveryOffsetsRowSemiPlanar420(s, c.rows.mask, r, DarkLumaAt(c, r), darkC1, refC1,
                                              luma, u, v);
    }
}

void FadeChromaRowsSemiPlanar422(const PlanarBandContext &c, int32_t r) {
    if (!DarkOverlapInside(c, r)) return;
    const ChromaSource cs = ChromaSourceAt<L::kSemiPlanar422>(c, r);
    if (!cs.inside) return;
    const YuvPlanes &d = c.dark, &ref = c.reference;
    FadeRecoveryChromaOffsetsRowSemiPlanar422(
        c.session, c.rows.mask, r, d.plane[1] + cs.darkRow * d.pitch[1] + cs.darkColumn,
        ref.plane[1] + cs.referenceRow * ref.pitch[1] + cs.referenceColumn,
        c.offsetRows[kHighlightURow], c.offsetRows[kHighlightVRow]);
}

void FadeLumaRowSemiPlanar422(const PlanarBandContext &c, int32_t r) {
    if (!DarkOverlapInside(c, r)) return;
    FadeRecoveryLumaOffsetRowSemiPlanar422(c.session, c.rows.mask, r, DarkLumaAt(c, r),
                                           c.offsetRows[kHighlightLumaRow]);
}

// The refreshes of row r (see the cadence above); first: the band's first row.
template <ChromaLayout Layout>
void RefreshRows(PlanarBandContext &c, HdrSession *s, int t, int32_t r, bool first, bool fade,
                 IntermediateRowFlags &flags) {
    if constexpr (Layout == L::kSemiPlanar422) {
        if (r % 4 == 0 || first) {
            RefreshIntermediateRows(c, s, t, r, false, flags);
            ExpandMaskRow(c, t, r);
            ExpandOffsetRow(c, kHighlightURow, kChromaUPlane, r);
            ExpandOffsetRow(c, kHighlightVRow, kChromaVPlane, r);
            FadeChromaRowsSemiPlanar422(c, r);
        }
        if (!fade) return;
        ExpandOffsetRow(c, kHighlightLumaRow, kHighlightPlane, r);
        FadeLumaRowSemiPlanar422(c, r);
    } else {
        const bool even = (r & 1) == 0 || first;
        if (even) RefreshIntermediateRows(c, s, t, r, false, flags);
        if (!fade) return;
        if (Layout == L::kSemiPlanar420 && !even) ExpandOffsetRow(c, kShadowRow, kShadowPlane, r);
        if (!even && Layout != L::kSemiPlanar420) return;
        ExpandMaskRow(c, t, r);
        ExpandOffsetRow(c, kHighlightLumaRow, kHighlightPlane, r);
        ExpandOffsetRow(c, kHighlightURow, kChromaUPlane, r);
        ExpandOffsetRow(c, kHighlightVRow, kChromaVPlane, r);
        RefineHighlightRows<Layout>(c, r);
    }
}

// --- Band loop ----------------------------------------------------------------------------------

struct BandPlan {
    int t;
    int32_t firstRow, endRow;
    int32_t progressSpan, progressRows;
};

YuvPlanes PlanesOf(const ImageDesc &image) {
    YuvPlanes p = {};
    for (int k = 0; k < 3; ++k) {
        p.plane[k] = image.ppu8Plane[k];
        p.pitch[k] = image.pi32Pitch[k];
    }
    return p;
}

template <ChromaLayout Layout>
int RunBand(HdrSession *s, const BandPlan &p, const ImageDesc *inputs, ProgressCallback callback,
            void *user) {
    const ImageDesc &first = inputs[0];
    PlanarBandContext c;
    SetUpBandContext(c, s, p.t, first.i32Width, first.i32Height, s->processRect);
    // The intermediate is always fused in normal mode, whatever a one-pass merge left set.
    c.localCurve = false;
    c.tables.fusion = s->fusionTable;
    for (int16_t *&line : c.mapLines) line = nullptr;
    c.dark = PlanesOf(inputs[s->darkIndex]);
    c.bright = PlanesOf(inputs[s->brightIndex]);
    c.reference = PlanesOf(inputs[s->referenceIndex]);
    for (int k = 0; k < 3; ++k) {
        c.output[k] = nullptr;
        c.outputPitch[k] = 0;
    }
    c.chromaTable2 = nullptr;
    c.endRow = p.endRow;
    c.referenceLuma = {c.reference.plane[0], 1, c.reference.pitch[0]};
    const bool fade = s->offsetFadeEnabled != 0;
    if (!fade) ClearIntermediateRecoveryRows(c, s, p.t);
    IntermediateRowFlags flags;
    for (int32_t r = p.firstRow; r < p.endRow; ++r) {
        if (callback && r % 32 == 0) {
            const int64_t percent =
                s->progressBase + (int64_t{p.progressSpan} * (r - p.firstRow)) / p.progressRows;
            if (callback(percent, 0, user) == RESULT_CANCELLED) return RESULT_CANCELLED;
        }
        const bool first = r == p.firstRow;
        RefreshRows<Layout>(c, s, p.t, r, first, fade, flags);
        const BandRow row = {r, (r + 128) >> 8, (r + 128) & 255, (r & 1) == 0 || first};
        if (flags.darkAllZero && flags.brightAllZero)
            RunKernel<Layout>(c, r, SPAN_REFERENCE_ONLY, c.x0, c.x1, nullptr, nullptr);
        else if (flags.brightAllZero)
            FuseRowOne<Layout>(c, row, true);
        else if (flags.darkAllZero)
            FuseRowOne<Layout>(c, row, false);
        else
            FuseRowBoth<Layout>(c, row);
    }
    return RESULT_OK;
}

bool ArgumentsPresent(const HdrSession *s, const ImageDesc *inputs, int32_t count) {
    if (!s || !inputs || count != 3) return false;
    for (int32_t e : {s->darkIndex, s->brightIndex, s->referenceIndex})
        if (e < 0 || e >= 3) return false;
    const int32_t planes = IntermediatePlaneCount(inputs[0].u32PixelArrayFormat);
    for (int32_t e = 0; e < count; ++e)
        for (int k = 0; k < planes; ++k)
            if (!inputs[e].ppu8Plane[k]) return false;
    for (int k = 0; k < planes; ++k)
        if (s->intermediate.pitch[k] != inputs[0].pi32Pitch[k]) return false;
    return true;
}

int RunPlan(HdrSession *s, const BandPlan &p, const ImageDesc *inputs, ProgressCallback callback,
            void *user) {
    switch (inputs[0].u32PixelArrayFormat) {
        case PIXEL_FORMAT_I420:
        case 0x605: return RunBand<L::kPlanar420>(s, p, inputs, callback, user);
        case PIXEL_FORMAT_YUV422P: return RunBand<L::kPlanar422>(s, p, inputs, callback, user);
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21: return RunBand<L::kSemiPlanar420>(s, p, inputs, callback, user);
        case PIXEL_FORMAT_NV16: return RunBand<L::kSemiPlanar422>(s, p, inputs, callback, user);
        default: return RESULT_UNSUPPORTED_FORMAT;
    }
}

bool IsPlanarMember(uint32_t format) {
    return IsIntermediateFormat(format) && format != PIXEL_FORMAT_YUYV;
}

}  // namespace

int FuseIntermediateBandPlanar(const RowBand *band, HdrSession *s, const ImageDesc *inputs,
                               int32_t count, ProgressCallback callback, void *user) {
    if (!band || !ArgumentsPresent(s, inputs, count)) return RESULT_INVALID_ARGUMENT;
    if (!IsPlanarMember(inputs[0].u32PixelArrayFormat)) return RESULT_UNSUPPORTED_FORMAT;
    const int t = band->workerIndex;
    if (t != 0 && t != 1) return RESULT_INVALID_ARGUMENT;
    // The planar families read the mask and the recovery planes with or without the fade.
    if (!IntermediateBuffersPresent(s, t, false, true)) return RESULT_OUT_OF_MEMORY;
    if (band->firstRow >= band->endRow) return RESULT_OK;
    const BandPlan plan = {t, band->firstRow, band->endRow, 10, band->endRow - band->firstRow};
    return RunPlan(s, plan, inputs, callback, user);
}

int FuseIntermediateImagePlanar(HdrSession *s, const ImageDesc *inputs, int32_t count,
                                ProgressCallback callback, void *user) {
    if (!ArgumentsPresent(s, inputs, count)) return RESULT_INVALID_ARGUMENT;
    if (!IsPlanarMember(inputs[0].u32PixelArrayFormat)) return RESULT_UNSUPPORTED_FORMAT;
    const RegionRect &rect = s->processRect;
    if (rect.height < kIntermediateRingRows) return RESULT_INVALID_ARGUMENT;
    if (!IntermediateBuffersPresent(s, 0, false, true)) return RESULT_OUT_OF_MEMORY;
    const int32_t top = static_cast<int32_t>(rect.y);
    const BandPlan plan = {0, top, top + rect.height, 50, rect.height};
    return RunPlan(s, plan, inputs, callback, user);
}

int FuseIntermediateImagePlanar420(HdrSession *s, const ImageDesc *inputs, int32_t count,
                                   ProgressCallback callback, void *user) {
    if (!inputs) return RESULT_INVALID_ARGUMENT;
    const uint32_t f = inputs[0].u32PixelArrayFormat;
    if (f != PIXEL_FORMAT_I420 && f != 0x605) return RESULT_UNSUPPORTED_FORMAT;
    return FuseIntermediateImagePlanar(s, inputs, count, callback, user);
}

int FuseIntermediateImageSemiPlanar420(HdrSession *s, const ImageDesc *inputs, int32_t count,
                                       ProgressCallback callback, void *user) {
    if (!inputs) return RESULT_INVALID_ARGUMENT;
    const uint32_t f = inputs[0].u32PixelArrayFormat;
    if (f != PIXEL_FORMAT_NV12 && f != PIXEL_FORMAT_NV21) return RESULT_UNSUPPORTED_FORMAT;
    return FuseIntermediateImagePlanar(s, inputs, count, callback, user);
}

int FlushIntermediateSeamsPlanar(HdrSession *s, const ImageDesc *inputs, int32_t count,
                                 ProgressCallback callback, void *user) {
    if (!ArgumentsPresent(s, inputs, count)) return RESULT_INVALID_ARGUMENT;
    const uint32_t format = inputs[0].u32PixelArrayFormat;
    if (!IsPlanarMember(format)) return RESULT_UNSUPPORTED_FORMAT;
    if (!callback) return RESULT_OK;
    if (format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21) s->progressBase += 5;
    return callback(s->progressBase, 0, user) == RESULT_CANCELLED ? RESULT_CANCELLED : RESULT_OK;
}

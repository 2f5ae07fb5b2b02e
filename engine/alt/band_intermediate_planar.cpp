#include "band_intermediate_planar.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "alt/band_intermediate_common.h"
#include "alt/band_intermediate_packed422.h"
#include "alt/intermediate_image.h"
#include "alt/span_intermediate_packed422.h"
#include "alt/span_intermediate_planar.h"
#include "core/memory.h"
#include "core/session.h"
#include "fusion/band_planar.h"
#include "fusion/band_planar_rows.h"
#include "fusion/edge_group.h"
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

// The 16-bit rows (luma, first and second chroma) a row is fused into, positioned at column 0 of
// each plane; null chroma when the row leaves its chroma to another (band_intermediate_planar.h).
using RowTargets = IntermediateRowTargets;

template <ChromaLayout Layout>
IntermediateRowOut OutputAt(const RowTargets &t, int32_t a) {
    const int32_t cx = ChromaColumn<Layout>(a);
    IntermediateRowOut out = {t.plane[0] + a, nullptr, nullptr};
    if (!t.plane[1] || (kSeparateChromaPlanes<Layout> && !t.plane[2])) return out;
    out.u = t.plane[1] + cx;
    if constexpr (kSeparateChromaPlanes<Layout>) out.v = t.plane[2] + cx;
    return out;
}

// The group [b - 4, b) at the frame's right edge, its weights read one pixel in (edge_group.h).
template <ChromaLayout Layout>
void RunEdgeGroup(const PlanarBandContext &c, int32_t r, const RowTargets &targets, int32_t type,
                  int32_t b, const uint8_t *quad, RunningWeights *weights) {
    const int32_t x = b - 4;
    const PlanarRowIn ref = ReferenceAt<Layout>(c, r, x);
    const IntermediateRowOut out = OutputAt<Layout>(targets, x);
    RunningWeights own = *weights;
    int16_t outer[kEdgeCopyBytes] = {};
    FuseSpan16<Layout>(type, x, b, ref, quad, c.tables, c.rows, &own, {outer, nullptr, nullptr});
    uint8_t luma[kEdgeCopyBytes] = {}, quads[kEdgeCopyBytes];
    std::memcpy(luma, ref.y, 4);
    luma[3] = luma[2];
    CopyEdgeQuads(type, quad, quads);
    FuseSpan16<Layout>(type, x, b, {luma, ref.u, ref.v}, quads, c.tables, c.rows, weights, out);
    out.y[3] = outer[3];
}

template <ChromaLayout Layout>
void RunKernel(const PlanarBandContext &c, int32_t r, const RowTargets &targets, int32_t type,
               int32_t a, int32_t b, const uint8_t *quad, RunningWeights *weights) {
    const bool edge = TileEndsAtFrameEdge(c, type, a, b);
    const int32_t end = edge ? b - 4 : b;
    if (end > a)
        FuseSpan16<Layout>(type, a, end, ReferenceAt<Layout>(c, r, a), quad, c.tables, c.rows,
                           weights, OutputAt<Layout>(targets, a));
    if (edge)
        RunEdgeGroup<Layout>(c, r, targets, type, b, quad + (end - a) / 4 * kWarpGroupStride,
                             weights);
}

template <ChromaLayout Layout>
void FuseRowBoth(const PlanarBandContext &c, const BandRow &row, const RowTargets &targets) {
    FusePlanarRowTwo<Layout>(c, row, [&](int32_t type, int32_t a, int32_t b, const uint8_t *quad,
                                         RunningWeights *weights) {
        RunKernel<Layout>(c, row.r, targets, type, a, b, quad, weights);
    });
}

template <ChromaLayout Layout>
void FuseRowOne(const PlanarBandContext &c, const BandRow &row, bool dark,
                const RowTargets &targets) {
    FusePlanarRowOne<Layout>(c, row, dark, [&](int32_t type, int32_t a, int32_t b,
                                               const uint8_t *quad, RunningWeights *weights) {
        RunKernel<Layout>(c, row.r, targets, type, a, b, quad, weights);
    });
}

// The named row drivers of each layout (band_intermediate_planar.h).
template <ChromaLayout Layout>
struct RowDrivers;
template <>
struct RowDrivers<L::kPlanar420> {
    static constexpr auto two = FuseIntermediateRowPlanar420;
    static constexpr auto oneSecondary = FuseIntermediateRowOneSecondaryPlanar420;
    static constexpr auto refOnly = FuseIntermediateRowRefOnlyPlanar420;
};
template <>
struct RowDrivers<L::kPlanar422> {
    static constexpr auto two = FuseIntermediateRowPlanar422;
    static constexpr auto oneSecondary = FuseIntermediateRowOneSecondaryPlanar422;
    static constexpr auto refOnly = FuseIntermediateRowRefOnlyPlanar422;
};
template <>
struct RowDrivers<L::kSemiPlanar420> {
    static constexpr auto two = FuseIntermediateRowSemiPlanar420;
    static constexpr auto oneSecondary = FuseIntermediateRowOneSecondarySemiPlanar420;
    static constexpr auto refOnly = FuseIntermediateRowRefOnlySemiPlanar420;
};
template <>
struct RowDrivers<L::kSemiPlanar422> {
    static constexpr auto two = FuseIntermediateRowSemiPlanar422;
    static constexpr auto oneSecondary = FuseIntermediateRowOneSecondarySemiPlanar422;
    static constexpr auto refOnly = FuseIntermediateRowRefOnlySemiPlanar422;
};

// --- Rings and seam buffer ----------------------------------------------------------------------
//
// In the parity-split layout a band fuses each row into ring slots of its own and writes a row
// out only 128 rows later; a lower band keeps its first 128 rows in the seam buffer, and the
// flush writes what the rings and the seam buffer still hold once both bands are done. Each
// ring or seam block holds kIntermediateRingRowsAllocated rows per plane, luma first, then the
// first and the second chroma plane, each row the plane's row length.
//
// Slots of process row k (the rectangle starts at row 0, so k and the image row share parity):
// luma and 4:2:2 chroma slot k & 127; 4:2:0 chroma of an odd row slot (k & 127) / 2, of an
// even row the scratch slot 64, never copied out. The seam buffer holds luma row k - offset
// and chroma row k - offset (4:2:2) or (k - offset) / 2 (4:2:0).

constexpr int kSeamBlock = 2;
constexpr int32_t kRingMask = kIntermediateRingRows - 1;
constexpr int32_t kScratchChromaSlot = kIntermediateRingRows / 2;

template <ChromaLayout Layout>
constexpr int ChromaPlanes() {
    return kSeparateChromaPlanes<Layout> ? 2 : 1;
}

int16_t *BlockRow(const HdrSession *s, int block, int plane, int32_t row) {
    const int32_t *pitch = s->intermediate.pitch;
    int64_t offset = int64_t{row} * pitch[plane];
    for (int k = 0; k < plane; ++k) offset += int64_t{kIntermediateRingRowsAllocated} * pitch[k];
    return reinterpret_cast<int16_t *>(s->ringBuffers16[block]) + offset;
}

// Whether process row k's chroma is the one its chroma row keeps.
template <ChromaLayout Layout>
bool KeepsChroma(int32_t k) {
    return !kSubsampledRows<Layout> || (k & 1) != 0;
}

template <ChromaLayout Layout>
int32_t ChromaSlot(int32_t k) {
    if constexpr (kSubsampledRows<Layout>)
        return (k & 1) ? (k & kRingMask) >> 1 : kScratchChromaSlot;
    return k & kRingMask;
}

template <ChromaLayout Layout>
int32_t SeamChromaRow(int32_t i) {
    return kSubsampledRows<Layout> ? i >> 1 : i;
}

void CopySamples(int16_t *to, const int16_t *from, int32_t count) {
    if (to && from) CopyBytes(to, from, static_cast<size_t>(count) * sizeof(int16_t));
}

// Process row k from ring t's slots into the intermediate's planes.
template <ChromaLayout Layout>
void RingRowToPlanes(const HdrSession *s, int t, int32_t k) {
    const int32_t *pitch = s->intermediate.pitch;
    CopySamples(IntermediateLumaRow(s, k), BlockRow(s, t, 0, k & kRingMask), pitch[0]);
    if (!KeepsChroma<Layout>(k)) return;
    for (int p = 1; p <= ChromaPlanes<Layout>(); ++p)
        CopySamples(IntermediateChromaRow(s, p, k), BlockRow(s, t, p, ChromaSlot<Layout>(k)),
                    pitch[p]);
}

// Process row k of the band starting at process row `offset` from ring t's slots into the seam
// buffer.
template <ChromaLayout Layout>
void RingRowToSeam(const HdrSession *s, int t, int32_t k, int32_t offset) {
    const int32_t *pitch = s->intermediate.pitch;
    const int32_t i = k - offset;
    CopySamples(BlockRow(s, kSeamBlock, 0, i), BlockRow(s, t, 0, k & kRingMask), pitch[0]);
    if (!KeepsChroma<Layout>(k)) return;
    for (int p = 1; p <= ChromaPlanes<Layout>(); ++p)
        CopySamples(BlockRow(s, kSeamBlock, p, SeamChromaRow<Layout>(i)),
                    BlockRow(s, t, p, ChromaSlot<Layout>(k)), pitch[p]);
}

// Process row k of the band starting at process row `offset` from the seam buffer into the
// intermediate's planes.
template <ChromaLayout Layout>
void SeamRowToPlanes(const HdrSession *s, int32_t k, int32_t offset) {
    const int32_t *pitch = s->intermediate.pitch;
    const int32_t i = k - offset;
    CopySamples(IntermediateLumaRow(s, k), BlockRow(s, kSeamBlock, 0, i), pitch[0]);
    if (!KeepsChroma<Layout>(k)) return;
    for (int p = 1; p <= ChromaPlanes<Layout>(); ++p)
        CopySamples(IntermediateChromaRow(s, p, k),
                    BlockRow(s, kSeamBlock, p, SeamChromaRow<Layout>(i)), pitch[p]);
}

template <ChromaLayout Layout>
void RingRowsToPlanes(const HdrSession *s, int t, int32_t first, int32_t end) {
    for (int32_t k = std::max(first, 0); k < end; ++k) RingRowToPlanes<Layout>(s, t, k);
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

// Without the fade the hand-off builds no mask grid: semi-planar 4:2:2's chroma fade then
// reads the mask row as cleared (no recovery).
void ExpandMaskRow(const PlanarBandContext &c, int t, int32_t r) {
    const HdrSession *s = c.session;
    if (!s->recoveryMaskGrid) return;
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
    int32_t firstRow, endRow, rowOffset;
    bool seam;  // rows offset .. offset + 127 of a lower band go to the seam buffer
    int32_t progressSpan, progressRows;
};

// Before process row k takes its ring slots, the row they hold (k - 128) leaves them: into the
// seam buffer while it is among a lower band's first 128 rows, else into the planes.
template <ChromaLayout Layout>
void RetireRingRow(const HdrSession *s, const BandPlan &p, int32_t k) {
    if (k < p.rowOffset + kIntermediateRingRows) return;
    const int32_t old = k - kIntermediateRingRows;
    if (p.seam && k < p.rowOffset + 2 * kIntermediateRingRows)
        RingRowToSeam<Layout>(s, p.t, old, p.rowOffset);
    else
        RingRowToPlanes<Layout>(s, p.t, old);
}

// Where row r is fused: its ring slots (parity-split, after retiring what they held) or its
// plane rows (full layout).
template <ChromaLayout Layout>
RowTargets TargetsOf(const PlanarBandContext &c, const BandPlan &p, bool split, int32_t r) {
    const HdrSession *s = c.session;
    const int32_t k = r - c.top;
    const bool chroma = WritesChroma<Layout>(c, r);
    RowTargets t = {};
    if (split) {
        RetireRingRow<Layout>(s, p, k);
        t.plane[0] = BlockRow(s, p.t, 0, k & kRingMask);
        for (int q = 1; chroma && q <= ChromaPlanes<Layout>(); ++q)
            t.plane[q] = BlockRow(s, p.t, q, ChromaSlot<Layout>(k));
        return t;
    }
    t.plane[0] = IntermediateLumaRow(s, k);
    for (int q = 1; chroma && q <= ChromaPlanes<Layout>(); ++q)
        t.plane[q] = IntermediateChromaRow(s, q, k);
    return t;
}

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
    const bool split = IsParitySplit(s->intermediate);
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
        const RowTargets targets = TargetsOf<Layout>(c, p, split, r);
        if (!targets.plane[0]) continue;
        using Drivers = RowDrivers<Layout>;
        if (flags.darkAllZero && flags.brightAllZero)
            Drivers::refOnly(c, row, targets);
        else if (flags.brightAllZero)
            Drivers::oneSecondary(c, row, targets, true);
        else if (flags.darkAllZero)
            Drivers::oneSecondary(c, row, targets, false);
        else
            Drivers::two(c, row, targets);
    }
    return RESULT_OK;
}

// The planar families read the mask row and the recovery planes with or without the fade, the
// mask grid only with it.
bool PlanarBuffersPresent(const HdrSession *s, int t, bool seam) {
    const bool fade = s->offsetFadeEnabled != 0;
    return IntermediateBuffersPresent(s, t, seam, fade) && s->workerRows[kRowMask][t] &&
           s->paddedBlockPlanes[1] && s->paddedBlockPlanes[kChromaUPlane] &&
           s->paddedBlockPlanes[kChromaVPlane];
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

// After both bands: the upper band's tail from ring 0, the lower band's tail from ring 1, then
// the lower band's head from the seam buffer.
template <ChromaLayout Layout>
void FlushSeams(const HdrSession *s) {
    const int32_t split = s->splitRow, h = s->processRect.height;
    RingRowsToPlanes<Layout>(s, 0, split - kIntermediateRingRows, split);
    RingRowsToPlanes<Layout>(s, 1, h - kIntermediateRingRows, h);
    for (int32_t k = split; k < std::min(split + kIntermediateRingRows, h); ++k)
        SeamRowToPlanes<Layout>(s, k, split);
}

// The band of the plan and, for the one-band pass (whole), the copy of the rows its ring still
// holds.
template <ChromaLayout Layout>
int RunPass(HdrSession *s, const BandPlan &p, const ImageDesc *inputs, ProgressCallback callback,
            void *user, bool whole) {
    const int r = RunBand<Layout>(s, p, inputs, callback, user);
    if (r != RESULT_OK || !whole || !IsParitySplit(s->intermediate)) return r;
    const int32_t h = s->processRect.height;
    RingRowsToPlanes<Layout>(s, 0, h - kIntermediateRingRows, h);
    return RESULT_OK;
}

// Calls fn with the layout of the format as a type tag; RESULT_UNSUPPORTED_FORMAT for another.
template <class Fn>
int WithLayout(uint32_t format, Fn fn) {
    switch (format) {
        case PIXEL_FORMAT_I420:
        case 0x605: return fn(std::integral_constant<L, L::kPlanar420>());
        case PIXEL_FORMAT_YUV422P: return fn(std::integral_constant<L, L::kPlanar422>());
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21: return fn(std::integral_constant<L, L::kSemiPlanar420>());
        case PIXEL_FORMAT_NV16: return fn(std::integral_constant<L, L::kSemiPlanar422>());
        default: return RESULT_UNSUPPORTED_FORMAT;
    }
}

int RunPlan(HdrSession *s, const BandPlan &p, const ImageDesc *inputs, ProgressCallback callback,
            void *user, bool whole) {
    return WithLayout(inputs[0].u32PixelArrayFormat, [&](auto layout) {
        return RunPass<decltype(layout)::value>(s, p, inputs, callback, user, whole);
    });
}

bool IsPlanarMember(uint32_t format) {
    return IsIntermediateFormat(format) && format != PIXEL_FORMAT_YUYV;
}

// Whether the first input is of the family; RESULT_OK, RESULT_INVALID_ARGUMENT without inputs
// or RESULT_UNSUPPORTED_FORMAT.
int CheckFamily(const ImageDesc *inputs, bool (*member)(uint32_t)) {
    if (!inputs) return RESULT_INVALID_ARGUMENT;
    return member(inputs[0].u32PixelArrayFormat) ? RESULT_OK : RESULT_UNSUPPORTED_FORMAT;
}

bool IsPlanar420(uint32_t f) { return f == PIXEL_FORMAT_I420 || f == 0x605; }
bool IsPlanar422(uint32_t f) { return f == PIXEL_FORMAT_YUV422P; }
bool IsSemiPlanar420(uint32_t f) { return f == PIXEL_FORMAT_NV12 || f == PIXEL_FORMAT_NV21; }
bool IsSemiPlanar422(uint32_t f) { return f == PIXEL_FORMAT_NV16; }

}  // namespace

void FuseIntermediateRowPlanar420(const PlanarBandContext &c, const BandRow &row,
                                  const IntermediateRowTargets &targets) {
    FuseRowBoth<L::kPlanar420>(c, row, targets);
}

void FuseIntermediateRowOneSecondaryPlanar420(const PlanarBandContext &c, const BandRow &row,
                                              const IntermediateRowTargets &targets, bool dark) {
    FuseRowOne<L::kPlanar420>(c, row, dark, targets);
}

void FuseIntermediateRowRefOnlyPlanar420(const PlanarBandContext &c, const BandRow &row,
                                         const IntermediateRowTargets &targets) {
    RunKernel<L::kPlanar420>(c, row.r, targets, SPAN_REFERENCE_ONLY, c.x0, c.x1, nullptr, nullptr);
}

int FuseIntermediateBandPlanar420(const RowBand *band, HdrSession *s, const ImageDesc *inputs,
                                  int32_t count, ProgressCallback callback, void *user) {
    const int r = CheckFamily(inputs, IsPlanar420);
    return r != RESULT_OK ? r : FuseIntermediateBandPlanar(band, s, inputs, count, callback, user);
}

int FlushIntermediateSeamsPlanar420(HdrSession *s, const ImageDesc *inputs, int32_t count,
                                    ProgressCallback callback, void *user) {
    const int r = CheckFamily(inputs, IsPlanar420);
    return r != RESULT_OK ? r : FlushIntermediateSeamsPlanar(s, inputs, count, callback, user);
}

void FuseIntermediateRowPlanar422(const PlanarBandContext &c, const BandRow &row,
                                  const IntermediateRowTargets &targets) {
    FuseRowBoth<L::kPlanar422>(c, row, targets);
}

void FuseIntermediateRowOneSecondaryPlanar422(const PlanarBandContext &c, const BandRow &row,
                                              const IntermediateRowTargets &targets, bool dark) {
    FuseRowOne<L::kPlanar422>(c, row, dark, targets);
}

void FuseIntermediateRowRefOnlyPlanar422(const PlanarBandContext &c, const BandRow &row,
                                         const IntermediateRowTargets &targets) {
    RunKernel<L::kPlanar422>(c, row.r, targets, SPAN_REFERENCE_ONLY, c.x0, c.x1, nullptr, nullptr);
}

int FuseIntermediateBandPlanar422(const RowBand *band, HdrSession *s, const ImageDesc *inputs,
                                  int32_t count, ProgressCallback callback, void *user) {
    const int r = CheckFamily(inputs, IsPlanar422);
    return r != RESULT_OK ? r : FuseIntermediateBandPlanar(band, s, inputs, count, callback, user);
}

int FlushIntermediateSeamsPlanar422(HdrSession *s, const ImageDesc *inputs, int32_t count,
                                    ProgressCallback callback, void *user) {
    const int r = CheckFamily(inputs, IsPlanar422);
    return r != RESULT_OK ? r : FlushIntermediateSeamsPlanar(s, inputs, count, callback, user);
}

void FuseIntermediateRowSemiPlanar420(const PlanarBandContext &c, const BandRow &row,
                                      const IntermediateRowTargets &targets) {
    FuseRowBoth<L::kSemiPlanar420>(c, row, targets);
}

void FuseIntermediateRowOneSecondarySemiPlanar420(const PlanarBandContext &c, const BandRow &row,
                                                  const IntermediateRowTargets &targets, bool dark) {
    FuseRowOne<L::kSemiPlanar420>(c, row, dark, targets);
}

void FuseIntermediateRowRefOnlySemiPlanar420(const PlanarBandContext &c, const BandRow &row,
                                             const IntermediateRowTargets &targets) {
    RunKernel<L::kSemiPlanar420>(c, row.r, targets, SPAN_REFERENCE_ONLY, c.x0, c.x1, nullptr, nullptr);
}

int FuseIntermediateBandSemiPlanar420(const RowBand *band, HdrSession *s, const ImageDesc *inputs,
                                      int32_t count, ProgressCallback callback, void *user) {
    const int r = CheckFamily(inputs, IsSemiPlanar420);
    return r != RESULT_OK ? r : FuseIntermediateBandPlanar(band, s, inputs, count, callback, user);
}

int FlushIntermediateSeamsSemiPlanar420(HdrSession *s, const ImageDesc *inputs, int32_t count,
                                        ProgressCallback callback, void *user) {
    const int r = CheckFamily(inputs, IsSemiPlanar420);
    return r != RESULT_OK ? r : FlushIntermediateSeamsPlanar(s, inputs, count, callback, user);
}

void FuseIntermediateRowSemiPlanar422(const PlanarBandContext &c, const BandRow &row,
                                      const IntermediateRowTargets &targets) {
    FuseRowBoth<L::kSemiPlanar422>(c, row, targets);
}

void FuseIntermediateRowOneSecondarySemiPlanar422(const PlanarBandContext &c, const BandRow &row,
                                                  const IntermediateRowTargets &targets, bool dark) {
    FuseRowOne<L::kSemiPlanar422>(c, row, dark, targets);
}

void FuseIntermediateRowRefOnlySemiPlanar422(const PlanarBandContext &c, const BandRow &row,
                                             const IntermediateRowTargets &targets) {
    RunKernel<L::kSemiPlanar422>(c, row.r, targets, SPAN_REFERENCE_ONLY, c.x0, c.x1, nullptr, nullptr);
}

int FuseIntermediateBandSemiPlanar422(const RowBand *band, HdrSession *s, const ImageDesc *inputs,
                                      int32_t count, ProgressCallback callback, void *user) {
    const int r = CheckFamily(inputs, IsSemiPlanar422);
    return r != RESULT_OK ? r : FuseIntermediateBandPlanar(band, s, inputs, count, callback, user);
}

int FlushIntermediateSeamsSemiPlanar422(HdrSession *s, const ImageDesc *inputs, int32_t count,
                                        ProgressCallback callback, void *user) {
    const int r = CheckFamily(inputs, IsSemiPlanar422);
    return r != RESULT_OK ? r : FlushIntermediateSeamsPlanar(s, inputs, count, callback, user);
}

int FuseIntermediateBandPlanar(const RowBand *band, HdrSession *s, const ImageDesc *inputs,
                               int32_t count, ProgressCallback callback, void *user) {
    if (!band || !ArgumentsPresent(s, inputs, count)) return RESULT_INVALID_ARGUMENT;
    if (!IsPlanarMember(inputs[0].u32PixelArrayFormat)) return RESULT_UNSUPPORTED_FORMAT;
    const int t = band->workerIndex;
    if (t != 0 && t != 1) return RESULT_INVALID_ARGUMENT;
    if (!PlanarBuffersPresent(s, t, t > 0)) return RESULT_OUT_OF_MEMORY;
    if (band->firstRow >= band->endRow) return RESULT_OK;
    const BandPlan plan = {t,  band->firstRow, band->endRow, band->rowOffset, t > 0,
                           10, band->endRow - band->firstRow};
    return RunPlan(s, plan, inputs, callback, user, false);
}

int FuseIntermediateImagePlanar(HdrSession *s, const ImageDesc *inputs, int32_t count,
                                ProgressCallback callback, void *user) {
    if (!ArgumentsPresent(s, inputs, count)) return RESULT_INVALID_ARGUMENT;
    if (!IsPlanarMember(inputs[0].u32PixelArrayFormat)) return RESULT_UNSUPPORTED_FORMAT;
    const RegionRect &rect = s->processRect;
    if (rect.height < kIntermediateRingRows) return RESULT_INVALID_ARGUMENT;
    if (!PlanarBuffersPresent(s, 0, false)) return RESULT_OUT_OF_MEMORY;
    const int32_t top = static_cast<int32_t>(rect.y);
    const BandPlan plan = {0, top, top + rect.height, 0, false, 50, rect.height};
    return RunPlan(s, plan, inputs, callback, user, true);
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
    if (callback) {
        if (format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21) s->progressBase += 5;
        if (callback(s->progressBase, 0, user) == RESULT_CANCELLED) return RESULT_CANCELLED;
    }
    if (!IsParitySplit(s->intermediate)) return RESULT_OK;
    for (uint16_t *block : s->ringBuffers16)
        if (!block) return RESULT_OUT_OF_MEMORY;
    return WithLayout(format, [&](auto layout) {
        FlushSeams<decltype(layout)::value>(s);
        return RESULT_OK;
    });
}

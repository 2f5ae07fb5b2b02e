#include "band_planar.h"

#include <cstring>
#include <utility>

#include "core/memory.h"
#include "core/session.h"
#include "fusion/band_planar_rows.h"
#include "fusion/edge_group.h"
#include "fusion/planar_layout.h"
#include "fusion/recovery_refine_planar.h"
#include "fusion/span_planar.h"

namespace {

using L = ChromaLayout;

// --- Addressing ---------------------------------------------------------------------------------

template <ChromaLayout Layout>
int32_t ChromaColumn(int32_t x) {
    return Layout == L::kPlanar420 ? x >> 1 : x;
}

template <ChromaLayout Layout>
PlanarRowIn ReferenceAt(const PlanarBandContext &c, int32_t r, int32_t a) {
    const YuvPlanes &p = c.reference;
    const int64_t cr = ChromaRowOf<Layout>(r, c.bottom);
    const int32_t cx = ChromaColumn<Layout>(a);
    PlanarRowIn in;
    in.y = p.plane[0] + static_cast<int64_t>(r) * p.pitch[0] + a;
    in.u = p.plane[1] + cr * p.pitch[1] + cx;
    in.v = Layout == L::kPlanar420 ? p.plane[2] + cr * p.pitch[2] + cx : nullptr;
    return in;
}

// The output row; without chroma (null chroma rows) when the row leaves it to another, or,
// the last row of a 4:2:0 frame of odd height, has no chroma row of its own (it reads the one
// above).
template <ChromaLayout Layout>
PlanarRowOut OutputAt(const PlanarBandContext &c, int32_t r, int32_t a, bool chroma) {
    const int32_t row = r - c.top;
    const int64_t cr = kSubsampledRows<Layout> ? row >> 1 : row;
    if (kSubsampledRows<Layout> && cr >= (c.height >> 1)) chroma = false;
    const int32_t cx = ChromaColumn<Layout>(a);
    PlanarRowOut out;
    out.y = c.output[0] + static_cast<int64_t>(row) * c.outputPitch[0] + a;
    out.u = chroma ? c.output[1] + cr * c.outputPitch[1] + cx : nullptr;
    out.v = chroma && Layout == L::kPlanar420 ? c.output[2] + cr * c.outputPitch[2] + cx : nullptr;
    return out;
}

// 4:2:0 normal mode, rendered even row by even row: the odd partner in the band writes the
// chroma they share, from the chroma the caller supplied.
template <ChromaLayout Layout>
bool WritesChroma(const PlanarBandContext &c, int32_t r) {
    if (!kSubsampledRows<Layout> || c.localCurve) return true;
    return (r & 1) != 0 || r + 1 >= c.endRow;
}

// --- Kernels ------------------------------------------------------------------------------------

template <ChromaLayout Layout>
void RunLocalCurveKernel(const PlanarBandContext &c, int32_t r, int32_t type, int32_t a,
                         int32_t b, const uint8_t *quad, RunningWeights *w,
                         const PlanarRowIn &ref, const PlanarRowOut &out) {
    const SpanTables &t = c.tables;
    const SpanRows &rows = c.rows;
    if constexpr (Layout == L::kPlanar420) {
        switch (type) {
            case SPAN_BOTH: return FuseSpanLocalCurveBothPlanar420(a, b, r, ref, quad, t, rows, w, out);
            case SPAN_DARK: return FuseSpanLocalCurveDarkPlanar420(a, b, r, ref, quad, t, rows, w, out);
            case SPAN_BRIGHT:
                return FuseSpanLocalCurveBrightPlanar420(a, b, r, ref, quad, t, rows, w, out);
            default: return FuseSpanLocalCurveRefOnlyPlanar420(a, b, r, ref, t, rows, out);
        }
    } else if constexpr (Layout == L::kSemiPlanar420) {
        switch (type) {
            case SPAN_BOTH:
                return FuseSpanLocalCurveBothSemiPlanar420(a, b, r, ref, quad, t, rows, w, out);
            case SPAN_DARK:
                return FuseSpanLocalCurveDarkSemiPlanar420(a, b, r, ref, quad, t, rows, w, out);
            case SPAN_BRIGHT:
                return FuseSpanLocalCurveBrightSemiPlanar420(a, b, r, ref, quad, t, rows, w, out);
            default: return FuseSpanLocalCurveRefOnlySemiPlanar420(a, b, r, ref, t, rows, out);
        }
    } else {
        switch (type) {
            case SPAN_BOTH: return FuseSpanLocalCurveBothSemiPlanar422(a, b, ref, quad, t, rows, w, out);
            case SPAN_DARK: return FuseSpanLocalCurveDarkSemiPlanar422(a, b, ref, quad, t, rows, w, out);
            case SPAN_BRIGHT:
                return FuseSpanLocalCurveBrightSemiPlanar422(a, b, ref, quad, t, rows, w, out);
            default: return FuseSpanLocalCurveRefOnlySemiPlanar422(a, b, ref, t, rows, out);
        }
    }
}

template <ChromaLayout Layout>
void RunNormalKernel(const PlanarBandContext &c, int32_t type, int32_t a, int32_t b,
                     const uint8_t *quad, RunningWeights *w, const PlanarRowIn &ref,
                     const PlanarRowOut &out) {
    const SpanTables &t = c.tables;
    const SpanRows &rows = c.rows;
    if constexpr (Layout == L::kPlanar420) {
        switch (type) {
            case SPAN_BOTH: return FuseSpanBothPlanar420(a, b, ref, quad, t, rows, w, out);
            case SPAN_DARK: return FuseSpanDarkPlanar420(a, b, ref, quad, t, rows, w, out);
            case SPAN_BRIGHT:
                return FuseSpanBrightPlanar420(a, b, ref, quad, t, rows, kFusionBrightSegment, w,
                                               out);
            default: return FuseSpanRefOnlyPlanar420(a, b, ref, t, rows, out);
        }
    } else if constexpr (Layout == L::kSemiPlanar420) {
        switch (type) {
            case SPAN_BOTH: return FuseSpanBothSemiPlanar420(a, b, ref, quad, t, rows, w, out);
            case SPAN_DARK: return FuseSpanDarkSemiPlanar420(a, b, ref, quad, t, rows, w, out);
            case SPAN_BRIGHT:
                return FuseSpanBrightSemiPlanar420(a, b, ref, quad, t, rows, kFusionBrightSegment,
                                                   w, out);
            default: return FuseSpanRefOnlySemiPlanar420(a, b, ref, t, rows, out);
        }
    } else {
        const uint8_t *t2 = c.chromaTable2;
        switch (type) {
            case SPAN_BOTH: return FuseSpanBothSemiPlanar422(a, b, ref, quad, t, t2, rows, w, out);
            case SPAN_DARK: return FuseSpanDarkSemiPlanar422(a, b, ref, quad, t, rows, w, out);
            case SPAN_BRIGHT:
                return FuseSpanBrightSemiPlanar422(a, b, ref, quad, t, t2, rows,
                                                   kFusionBrightSegment, w, out);
            default: return FuseSpanRefOnlySemiPlanar422(a, b, ref, t, rows, out);
        }
    }
}

// One span kernel of the band's mode over [a, b): ref and out stand at pixel a, quad is the
// warp buffer at the quad the kernel reads first.
template <ChromaLayout Layout>
void RunKernelAt(const PlanarBandContext &c, int32_t r, int32_t type, int32_t a, int32_t b,
                 const uint8_t *quad, RunningWeights *weights, const PlanarRowIn &ref,
                 const PlanarRowOut &out) {
    if (c.localCurve)
        RunLocalCurveKernel<Layout>(c, r, type, a, b, quad, weights, ref, out);
    else
        RunNormalKernel<Layout>(c, type, a, b, quad, weights, ref, out);
}

// The group [b - 4, b) at the frame's right edge, its weights read one pixel in (edge_group.h).
// The outermost pixel is fused first, in luma alone: the output may be the reference itself.
template <ChromaLayout Layout>
void RunEdgeGroup(const PlanarBandContext &c, int32_t r, int32_t type, int32_t b,
                  const uint8_t *quad, RunningWeights *weights) {
    const int32_t x = b - 4;
    const PlanarRowIn ref = ReferenceAt<Layout>(c, r, x);
    const PlanarRowOut out = OutputAt<Layout>(c, r, x, WritesChroma<Layout>(c, r));
    RunningWeights own = *weights;
    uint8_t outer[kEdgeCopyBytes] = {};
    RunKernelAt<Layout>(c, r, type, x, b, quad, &own, ref, {outer, nullptr, nullptr});
    uint8_t luma[kEdgeCopyBytes] = {}, quads[kEdgeCopyBytes];
    std::memcpy(luma, ref.y, 4);
    luma[3] = luma[2];
    CopyEdgeQuads(type, quad, quads);
    RunKernelAt<Layout>(c, r, type, x, b, quads, weights, {luma, ref.u, ref.v}, out);
    out.y[3] = outer[3];
}

// One span kernel of the band's mode over the tile [a, b); quad is the warp buffer at the quad
// the kernel reads first.
template <ChromaLayout Layout>
void RunKernel(const PlanarBandContext &c, int32_t r, int32_t type, int32_t a, int32_t b,
               const uint8_t *quad, RunningWeights *weights) {
    const bool edge = TileEndsAtFrameEdge(c, type, a, b);
    const int32_t end = edge ? b - 4 : b;
    if (end > a)
        RunKernelAt<Layout>(c, r, type, a, end, quad, weights, ReferenceAt<Layout>(c, r, a),
                            OutputAt<Layout>(c, r, a, WritesChroma<Layout>(c, r)));
    if (edge) RunEdgeGroup<Layout>(c, r, type, b, quad + (end - a) / 4 * kWarpGroupStride, weights);
}

// --- Row drivers --------------------------------------------------------------------------------

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

template <ChromaLayout Layout>
void FuseRowReferenceOnly(const PlanarBandContext &c, const BandRow &row) {
    RunKernel<Layout>(c, row.r, SPAN_REFERENCE_ONLY, c.x0, c.x1, nullptr, nullptr);
}

// --- Recovery-offset refinement -----------------------------------------------------------------

// Normal mode. The luma part on every row with the fade on; the chroma part on refresh rows,
// for 4:2:0 with the fade on, for semi-planar 4:2:2 whatever the fade. The dark exposure is
// read at its global shift (dx, dy); rows and columns where that lies outside its planes are
// left unrefined.
template <ChromaLayout Layout>
void RefineHighlightRows(const PlanarBandContext &c, int32_t r, bool refreshRow, bool fade) {
    const HdrSession *s = c.session;
    const bool chroma = refreshRow && (fade || Layout == L::kSemiPlanar422);
    if (!(fade || chroma) || !DarkOverlapInside(c, r)) return;
    const int32_t dx = s->globalShift[0], dy = s->globalShift[1];
    const int32_t chromaRow = kSubsampledRows<Layout> ? (r >> 1) - (dy >> 1) : r - dy;
    const int32_t refChromaRow = kSubsampledRows<Layout> ? r >> 1 : r;
    const int32_t chromaRows = kSubsampledRows<Layout> ? c.height >> 1 : c.height;
    const int32_t darkColumn = Layout == L::kPlanar420 ? (c.x0 >> 1) - (dx >> 1) : c.x0 - dx;
    const bool chromaInside =
        chroma && chromaRow >= 0 && chromaRow < chromaRows && refChromaRow < chromaRows &&
        darkColumn >= 0;
    const uint8_t *darkY = c.dark.plane[0] + static_cast<int64_t>(r - dy) * c.dark.pitch[0] +
                           (c.x0 - dx);
    int16_t *luma = fade ? c.offsetRows[kHighlightLumaRow] : nullptr;
    int16_t *u = chromaInside ? c.offsetRows[kHighlightURow] : nullptr;
    int16_t *v = chromaInside ? c.offsetRows[kHighlightVRow] : nullptr;
    const int64_t dc = chromaInside ? chromaRow : 0, rc = chromaInside ? refChromaRow : 0;
    const int32_t refColumn = ChromaColumn<Layout>(c.x0);
    const int32_t column = chromaInside ? darkColumn : 0;
    const uint8_t *darkC1 = c.dark.plane[1] + dc * c.dark.pitch[1] + column;
    const uint8_t *refC1 = c.reference.plane[1] + rc * c.reference.pitch[1] + refColumn;
    if constexpr (Layout == L::kPlanar420) {
        const uint8_t *darkV = c.dark.plane[2] + dc * c.dark.pitch[2] + column;
        const uint8_t *refV = c.reference.plane[2] + rc * c.reference.pitch[2] + refColumn;
        RefineRecoveryOffsetsRowPlanar420(s, c.rows.mask, r, darkY, darkC1, darkV, refC1, refV,
                                          luma, u, v);
    } else if constexpr (Layout == L::kSemiPlanar420) {
        RefineRecoveryOffsetsRowSemiPlanar420(s, c.rows.mask, r, darkY, darkC1, refC1, luma, u, v);
    } else {
        if (luma) FadeRecoveryLumaOffsetRowSemiPlanar422(s, c.rows.mask, r, darkY, luma);
        if (u) FadeRecoveryChromaOffsetsRowSemiPlanar422(s, c.rows.mask, r, darkC1, refC1, u, v);
    }
}

// --- Band worker --------------------------------------------------------------------------------

struct PlaneSet {
    uint8_t *const *planes[3];
    int32_t pitch[3];
};

YuvPlanes PlanesOf(const PlaneSet &set, int32_t index) {
    YuvPlanes p = {};
    for (int k = 0; k < 3; ++k) {
        p.plane[k] = set.planes[k] ? set.planes[k][index] : nullptr;
        p.pitch[k] = set.pitch[k];
    }
    return p;
}

template <ChromaLayout Layout>
bool PlanesPresent(const HdrSession *s, const PlaneSet &set) {
    const int count = Layout == L::kPlanar420 ? 3 : 2;
    for (int32_t e : {s->darkIndex, s->brightIndex, s->referenceIndex}) {
        if (e < 0 || e >= kMaxExposures) return false;
        for (int k = 0; k < count; ++k)
            if (!set.planes[k] || !set.planes[k][e]) return false;
    }
    for (int k = 0; k < count; ++k)
        if (!s->outputPlanes[k]) return false;
    return true;
}

template <ChromaLayout Layout>
int RenderBand(const RowBand *band, HdrSession *s, const PlaneSet &set, int32_t width,
               int32_t height, const RegionRect *processRect, ProgressCallback callback,
               void *user, SemiPlanarChromaOrder order = kChromaOrderUV) {
    if (!band || !s || !processRect || !set.planes[0] || !set.planes[1]) return RESULT_INVALID_ARGUMENT;
    const int t = band->workerIndex;
    if (t < 0 || t >= kWorkerCount) return RESULT_INVALID_ARGUMENT;
    if (!PlanesPresent<Layout>(s, set)) return RESULT_INVALID_ARGUMENT;
    const bool localCurve = s->lowResMapsReady != 0;
    if (!BandBuffersPresent(s, t, localCurve) || !s->chromaTable2) return RESULT_OUT_OF_MEMORY;

    PlanarBandContext c;
    SetUpBandContext(c, s, t, width, height, *processRect);
    c.dark = PlanesOf(set, s->darkIndex);
    c.bright = PlanesOf(set, s->brightIndex);
    c.reference = PlanesOf(set, s->referenceIndex);
    for (int k = 0; k < 3; ++k) {
        c.output[k] = s->outputPlanes[k];
        c.outputPitch[k] = set.pitch[k];
    }
    c.chromaTable2 = s->chromaTable2;
    c.endRow = band->endRow;
    // The kernels read the maps of each exposure's first chroma byte from the U lines.
    if (order == kChromaOrderVU && c.localCurve)
        for (int e = 0; e < 3; ++e) std::swap(c.rows.mapLines[kMapU + e], c.rows.mapLines[kMapV + e]);
    const int picked = PickPlanarReferenceLuma(c, s, width);
    if (picked != RESULT_OK) return picked;

    return WalkBandRows(
        c, s, *band, callback, user,
        [&](int32_t r, bool refreshRow, bool fade) {
            RefineHighlightRows<Layout>(c, r, refreshRow, fade);
        },
        [&](const BandRow &row, RowDriver driver) {
            switch (driver) {
                case kDriveReferenceOnly: return FuseRowReferenceOnly<Layout>(c, row);
                case kDriveDark: return FuseRowOne<Layout>(c, row, true);
                case kDriveBright: return FuseRowOne<Layout>(c, row, false);
                default: return FuseRowBoth<Layout>(c, row);
            }
        });
}

}  // namespace

int RenderFusedBandPlanar420(const RowBand *band, HdrSession *s, uint8_t *const *firstPlanes,
                             int32_t width, int32_t height, int32_t pitchY,
                             uint8_t *const *secondPlanes, int32_t pitchU,
                             uint8_t *const *thirdPlanes, int32_t pitchV,
                             const RegionRect *processRect, const int32_t *, const int32_t *,
                             ProgressCallback callback, void *user) {
    if (!thirdPlanes) return RESULT_INVALID_ARGUMENT;
    const PlaneSet set = {{firstPlanes, secondPlanes, thirdPlanes}, {pitchY, pitchU, pitchV}};
    return RenderBand<L::kPlanar420>(band, s, set, width, height, processRect, callback, user);
}

int RenderFusedBandSemiPlanar420(const RowBand *band, HdrSession *s, uint8_t *const *firstPlanes,
                                 int32_t width, int32_t height, int32_t pitchY,
                                 uint8_t *const *secondPlanes, int32_t pitchC,
                                 const RegionRect *processRect, const int32_t *, const int32_t *,
                                 ProgressCallback callback, void *user,
                                 SemiPlanarChromaOrder order) {
    const PlaneSet set = {{firstPlanes, secondPlanes, nullptr}, {pitchY, pitchC, 0}};
    return RenderBand<L::kSemiPlanar420>(band, s, set, width, height, processRect, callback, user,
                                         order);
}

int RenderFusedBandSemiPlanar422(const RowBand *band, HdrSession *s, uint8_t *const *firstPlanes,
                                 int32_t width, int32_t height, int32_t pitchY,
                                 uint8_t *const *secondPlanes, int32_t pitchC,
                                 const RegionRect *processRect, const int32_t *, const int32_t *,
                                 ProgressCallback callback, void *user) {
    const PlaneSet set = {{firstPlanes, secondPlanes, nullptr}, {pitchY, pitchC, 0}};
    return RenderBand<L::kSemiPlanar422>(band, s, set, width, height, processRect, callback, user);
}

int CopyReferenceLumaPlaneForBandPass(MemoryContext memory, HdrSession *s,
                                      const uint8_t *lumaPlane, int32_t width, int32_t height,
                                      int32_t pitch) {
    if (!s || !lumaPlane || width < 1 || height < 1 || pitch < width)
        return RESULT_INVALID_ARGUMENT;
    FreeAndClear(memory, s->bandReferenceLuma);
    uint8_t *copy =
        static_cast<uint8_t *>(AllocateMemory(memory, uint64_t(width) * uint64_t(height)));
    if (!copy) return RESULT_OUT_OF_MEMORY;
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(copy + static_cast<int64_t>(y) * width,
                    lumaPlane + static_cast<int64_t>(y) * pitch, static_cast<size_t>(width));
    s->bandReferenceLuma = copy;
    return RESULT_OK;
}

int PickPlanarReferenceLuma(PlanarBandContext &c, const HdrSession *s, int32_t width) {
    if (s->bandReferenceLuma)
        c.referenceLuma = {s->bandReferenceLuma, 1, width};
    else if (c.output[0] != c.reference.plane[0])
        c.referenceLuma = {c.reference.plane[0], 1, c.reference.pitch[0]};
    else
        return RESULT_OUT_OF_MEMORY;
    return RESULT_OK;
}

void FuseOutputRowPlanar420(const PlanarBandContext &c, const BandRow &row) {
    FuseRowBoth<L::kPlanar420>(c, row);
}
void FuseOutputRowOneSecondaryPlanar420(const PlanarBandContext &c, const BandRow &row,
                                        bool dark) {
    FuseRowOne<L::kPlanar420>(c, row, dark);
}
void FuseOutputRowRefOnlyPlanar420(const PlanarBandContext &c, const BandRow &row) {
    FuseRowReferenceOnly<L::kPlanar420>(c, row);
}
void FuseOutputRowSemiPlanar420(const PlanarBandContext &c, const BandRow &row) {
    FuseRowBoth<L::kSemiPlanar420>(c, row);
}
void FuseOutputRowOneSecondarySemiPlanar420(const PlanarBandContext &c, const BandRow &row,
                                            bool dark) {
    FuseRowOne<L::kSemiPlanar420>(c, row, dark);
}
void FuseOutputRowRefOnlySemiPlanar420(const PlanarBandContext &c, const BandRow &row) {
    FuseRowReferenceOnly<L::kSemiPlanar420>(c, row);
}
void FuseOutputRowSemiPlanar422(const PlanarBandContext &c, const BandRow &row) {
    FuseRowBoth<L::kSemiPlanar422>(c, row);
}
void FuseOutputRowOneSecondarySemiPlanar422(const PlanarBandContext &c, const BandRow &row,
                                            bool dark) {
    FuseRowOne<L::kSemiPlanar422>(c, row, dark);
}
void FuseOutputRowRefOnlySemiPlanar422(const PlanarBandContext &c, const BandRow &row) {
    FuseRowReferenceOnly<L::kSemiPlanar422>(c, row);
}

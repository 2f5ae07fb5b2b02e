#include "band_planar422.h"

#include <cstring>

#include "core/memory.h"
#include "core/session.h"
#include "fusion/direct_output_rows.h"
#include "fusion/edge_group.h"
#include "fusion/recovery_refine_planar422.h"
#include "fusion/span_planar422.h"

namespace {

enum class Kernels { kPlain, kChromaGain };

// --- Addressing ---------------------------------------------------------------------------------

PlanarRowIn ReferenceAt(const PlanarBandContext &c, int32_t r, int32_t a) {
    const YuvPlanes &p = c.reference;
    PlanarRowIn in;
    in.y = p.plane[0] + static_cast<int64_t>(r) * p.pitch[0] + a;
    in.u = p.plane[1] + static_cast<int64_t>(r) * p.pitch[1] + (a >> 1);
    in.v = p.plane[2] + static_cast<int64_t>(r) * p.pitch[2] + (a >> 1);
    return in;
}

PlanarRowOut OutputAt(const PlanarBandContext &c, int32_t r, int32_t a) {
    const int64_t row = r - c.top;
    PlanarRowOut out;
    out.y = c.output[0] + row * c.outputPitch[0] + a;
    out.u = c.output[1] + row * c.outputPitch[1] + (a >> 1);
    out.v = c.output[2] + row * c.outputPitch[2] + (a >> 1);
    return out;
}

// --- Fetch and kernels --------------------------------------------------------------------------

void FetchSecondary(const PlanarBandContext &c, const BandRow &row, int32_t a, int32_t b,
                    bool dark, uint8_t *dest) {
    const TileMotion m = MotionOfTile(c, row, a, dark);
    const YuvPlanes &source = dark ? c.dark : c.bright;
    if (m.whole)
        FetchShiftedPlanar422(c.session, c.right, c.bottom, m.x.disp, m.y.disp, m.x.step,
                              m.y.step, a, row.r, b, source, &c.referenceLuma, dest);
    else
        FetchSubpelPlanar422(c.session, c.right, c.bottom, m.x.disp, m.y.disp, m.x.step, m.y.step,
                             a, row.r, b, source, dest);
}

template <Kernels K>
void RunKernelAt(const PlanarBandContext &c, int32_t type, int32_t a, int32_t b,
                 const uint8_t *quad, RunningWeights *w, const PlanarRowIn &ref,
                 const PlanarRowOut &out) {
    constexpr bool gain = K == Kernels::kChromaGain;
    const SpanTables &t = c.tables;
    const SpanRows &rows = c.rows;
    switch (type) {
        case SPAN_BOTH:
            return (gain ? FuseSpanBothChromaGainPlanar422 : FuseSpanBothPlanar422)(
                a, b, ref, quad, t, rows, w, out);
        case SPAN_DARK:
            return (gain ? FuseSpanDarkChromaGainPlanar422 : FuseSpanDarkPlanar422)(
                a, b, ref, quad, t, rows, w, out);
        case SPAN_BRIGHT:
            return (gain ? FuseSpanBrightChromaGainPlanar422 : FuseSpanBrightPlanar422)(
                a, b, ref, quad, t, rows, kFusionBrightSegment, w, out);
        default:
            return (gain ? FuseSpanRefOnlyChromaGainPlanar422 : FuseSpanRefOnlyPlanar422)(
                a, b, ref, t, rows, out);
    }
}

// The group [b - 4, b) at the frame's right edge, its weights read one pixel in (edge_group.h).
// The outermost pixel is fused first, into buffers of its own: the output may be the reference
// itself.
template <Kernels K>
void RunEdgeGroup(const PlanarBandContext &c, int32_t r, int32_t type, int32_t b,
                  const uint8_t *quad, RunningWeights *w) {
    const int32_t x = b - 4;
    const PlanarRowIn ref = ReferenceAt(c, r, x);
    const PlanarRowOut out = OutputAt(c, r, x);
    RunningWeights own = *w;
    uint8_t outer[kEdgeCopyBytes] = {}, outerU[kEdgeCopyBytes], outerV[kEdgeCopyBytes];
    RunKernelAt<K>(c, type, x, b, quad, &own, ref, {outer, outerU, outerV});
    uint8_t luma[kEdgeCopyBytes] = {}, quads[kEdgeCopyBytes];
    std::memcpy(luma, ref.y, 4);
    luma[3] = luma[2];
    CopyEdgeQuads(type, quad, quads);
    RunKernelAt<K>(c, type, x, b, quads, w, {luma, ref.u, ref.v}, out);
    out.y[3] = outer[3];
}

template <Kernels K>
void RunKernel(const PlanarBandContext &c, int32_t r, int32_t type, int32_t a, int32_t b,
               const uint8_t *quad, RunningWeights *w) {
    const bool edge = TileEndsAtFrameEdge(c, type, a, b);
    const int32_t end = edge ? b - 4 : b;
    if (end > a) RunKernelAt<K>(c, type, a, end, quad, w, ReferenceAt(c, r, a), OutputAt(c, r, a));
    if (edge) RunEdgeGroup<K>(c, r, type, b, quad + (end - a) / 4 * kWarpGroupStride, w);
}

// --- Row drivers --------------------------------------------------------------------------------

template <Kernels K>
void FuseRowBoth(const PlanarBandContext &c, const BandRow &row) {
    DriveTwoSecondaries(c, [&](int32_t type, int32_t a, int32_t b, RunningWeights *weights) {
        uint8_t *group = c.warp + 4 * static_cast<int64_t>(a);
        if (type & SPAN_DARK) FetchSecondary(c, row, a, b, true, group);
        if (type & SPAN_BRIGHT) FetchSecondary(c, row, a, b, false, group + kWarpedQuadBytes);
        const uint8_t *quad = type == SPAN_BRIGHT ? group + kWarpedQuadBytes : group;
        RunKernel<K>(c, row.r, type, a, b, quad, weights);
    });
}

template <Kernels K>
void FuseRowOne(const PlanarBandContext &c, const BandRow &row, bool dark) {
    DriveOneSecondary(c, dark, [&](int32_t type, int32_t a, int32_t b, RunningWeights *weights) {
        uint8_t *group = c.warp + 4 * static_cast<int64_t>(a);
        if (type != SPAN_REFERENCE_ONLY) FetchSecondary(c, row, a, b, dark, group);
        RunKernel<K>(c, row.r, type, a, b, group, weights);
    });
}

template <Kernels K>
void FuseRowReferenceOnly(const PlanarBandContext &c, const BandRow &row) {
    RunKernel<K>(c, row.r, SPAN_REFERENCE_ONLY, c.x0, c.x1, nullptr, nullptr);
}

// --- Refinement ---------------------------------------------------------------------------------

// Refines the offset rows for even row r from the dark exposure at its global shift (dx, dy)
// and the reference; rows where the dark exposure's overlap leaves its planes stay unrefined.
void Refine(const PlanarBandContext &c, int32_t r) {
    const HdrSession *s = c.session;
    if (!DarkOverlapInside(c, r)) return;
    const int32_t dx = s->globalShift[0], dy = s->globalShift[1];
    const int64_t darkRow = r - dy;
    const int32_t darkColumn = (c.x0 >> 1) - (dx >> 1), refColumn = c.x0 >> 1;
    const bool chroma = darkColumn >= 0;
    const YuvPlanes &d = c.dark, &ref = c.reference;
    const uint8_t *darkY = d.plane[0] + darkRow * d.pitch[0] + (c.x0 - dx);
    const uint8_t *darkU = d.plane[1] + darkRow * d.pitch[1] + (chroma ? darkColumn : 0);
    const uint8_t *darkV = d.plane[2] + darkRow * d.pitch[2] + (chroma ? darkColumn : 0);
    const uint8_t *refU = ref.plane[1] + static_cast<int64_t>(r) * ref.pitch[1] + refColumn;
    const uint8_t *refV = ref.plane[2] + static_cast<int64_t>(r) * ref.pitch[2] + refColumn;
    RefineRecoveryOffsetsRowPlanar422(s, c.rows.mask, r, darkY, darkU, darkV, refU, refV,
                                      c.offsetRows[kHighlightLumaRow],
                                      chroma ? c.offsetRows[kHighlightURow] : nullptr,
                                      chroma ? c.offsetRows[kHighlightVRow] : nullptr);
}

// --- Renders ------------------------------------------------------------------------------------

direct_output::InputPlanes InputsOf(uint8_t *const *y, uint8_t *const *u, uint8_t *const *v,
                                    int32_t pitchY, int32_t pitchU, int32_t pitchV) {
    return {{y, u, v}, {pitchY, pitchU, pitchV}, 3};
}

int Render(PlanarBandContext &c, HdrSession *s, const direct_output::Walk &walk) {
    return direct_output::WalkRows(
        c, s, walk, [&](int32_t r) { Refine(c, r); },
        [&](const BandRow &row, RowDriver driver) {
            switch (driver) {
                case kDriveReferenceOnly: return FuseOutputRowRefOnlyPlanar422(c, row);
                case kDriveDark: return FuseOutputRowOneSecondaryPlanar422(c, row, true);
                case kDriveBright: return FuseOutputRowOneSecondaryPlanar422(c, row, false);
                default: return FuseOutputRowPlanar422(c, row);
            }
        });
}

}  // namespace

int RenderFusedRowsPlanar422(const RowBand *band, HdrSession *s, uint8_t *const *firstPlanes,
                             int32_t, int32_t width, int32_t height, int32_t pitchY,
                             uint8_t *const *secondPlanes, int32_t pitchU,
                             uint8_t *const *thirdPlanes, int32_t pitchV,
                             const RegionRect *processRect) {
    if (!band || !s || !processRect) return RESULT_INVALID_ARGUMENT;
    PlanarBandContext c;
    const int set = direct_output::SetUpContext(
        c, s, band->workerIndex,
        InputsOf(firstPlanes, secondPlanes, thirdPlanes, pitchY, pitchU, pitchV), width, height,
        *processRect, band->endRow, false);
    if (set != RESULT_OK) return set;
    const direct_output::Walk walk = {band->workerIndex, band->firstRow, band->endRow,
                                      s->workerRows16[band->workerIndex], nullptr, nullptr, 1};
    return Render(c, s, walk);
}

int RenderFusedImagePlanar422(MemoryContext memory, HdrSession *s, uint8_t *const *firstPlanes,
                              int32_t, int32_t width, int32_t height, int32_t pitchY,
                              uint8_t *const *secondPlanes, int32_t pitchU,
                              uint8_t *const *thirdPlanes, int32_t pitchV,
                              const RegionRect *processRect, const int32_t *, const int32_t *,
                              ProgressCallback callback, void *user) {
    if (!s || !processRect) return RESULT_INVALID_ARGUMENT;
    uint16_t *gainRows = direct_output::AllocateGainRows(memory, width);
    if (!gainRows) return RESULT_OUT_OF_MEMORY;
    const int32_t top = static_cast<int32_t>(processRect->y);
    PlanarBandContext c;
    int result = direct_output::SetUpContext(
        c, s, 0, InputsOf(firstPlanes, secondPlanes, thirdPlanes, pitchY, pitchU, pitchV), width,
        height, *processRect, top + processRect->height, false, true);
    if (result == RESULT_OK && processRect->height >= 1) {
        c.rows.gain = gainRows;
        const direct_output::Walk walk = {0,        top,  top + processRect->height, gainRows,
                                          callback, user, processRect->height};
        result = Render(c, s, walk);
    }
    FreeMemory(memory, gainRows);
    return result;
}

void FuseOutputRowPlanar422(const PlanarBandContext &c, const BandRow &row) {
    FuseRowBoth<Kernels::kPlain>(c, row);
}
void FuseOutputRowOneSecondaryPlanar422(const PlanarBandContext &c, const BandRow &row,
                                        bool dark) {
    FuseRowOne<Kernels::kPlain>(c, row, dark);
}
void FuseOutputRowRefOnlyPlanar422(const PlanarBandContext &c, const BandRow &row) {
    FuseRowReferenceOnly<Kernels::kPlain>(c, row);
}
void FuseOutputRowChromaGainPlanar422(const PlanarBandContext &c, const BandRow &row) {
    FuseRowBoth<Kernels::kChromaGain>(c, row);
}
void FuseOutputRowOneSecondaryChromaGainPlanar422(const PlanarBandContext &c, const BandRow &row,
                                                  bool dark) {
    FuseRowOne<Kernels::kChromaGain>(c, row, dark);
}
void FuseOutputRowRefOnlyChromaGainPlanar422(const PlanarBandContext &c, const BandRow &row) {
    FuseRowReferenceOnly<Kernels::kChromaGain>(c, row);
}

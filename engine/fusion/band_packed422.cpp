#include "band_packed422.h"

#include <algorithm>
#include <cstring>

#include "core/memory.h"
#include "core/packed_luma_row.h"
#include "core/session.h"
#include "fusion/edge_group.h"
#include "fusion/recovery_refine_packed422.h"
#include "fusion/span_local_curve_packed422.h"
#include "fusion/span_normal_packed422.h"

namespace {

void SetUpBand(PackedBandContext &c, const HdrSession *s, int t, uint8_t *const *planes,
               int32_t width, int32_t height, int32_t pitch, const RegionRect &rect) {
    SetUpBandContext(c, s, t, width, height, rect);
    c.pitch = pitch;
    c.exposures = {planes[s->darkIndex], planes[s->brightIndex], planes[s->referenceIndex]};
    c.output = s->outputPlanes[0];
}

// Where the border estimates read the reference: the copy taken before the pass, or the
// reference itself when the output goes elsewhere. Null when the reference is rendered in
// place without a copy.
bool ChooseReferenceLuma(PackedBandContext &c, const HdrSession *s, int32_t width) {
    if (s->bandReferenceLuma) {
        c.referenceLuma = {s->bandReferenceLuma, 1, width};
        return true;
    }
    if (c.output == c.exposures.reference) return false;
    c.referenceLuma = {c.exposures.reference, 2, c.pitch};
    return true;
}

// Normal mode: the refinement of the highlight rows against the dark exposure at its global
// shift (the chroma part only on rows that refreshed U and V). A row whose dark pixels at that
// shift would lie outside the frame is left unrefined.
void RefineHighlightRows(const PackedBandContext &c, int32_t r, bool refreshRow) {
    if (!DarkOverlapInside(c, r)) return;
    const HdrSession *s = c.session;
    const int32_t dx = s->globalShift[0], dy = s->globalShift[1];
    const uint8_t *dark = c.exposures.dark + static_cast<int64_t>(r - dy) * c.pitch +
                          2 * static_cast<int64_t>(c.x0 - dx);
    const uint8_t *reference = c.exposures.reference + static_cast<int64_t>(r) * c.pitch + 2 * c.x0;
    RefineRecoveryOffsetsRowPacked422(s, c.rows.mask, r, dark, reference,
                                      c.offsetRows[kHighlightLumaRow],
                                      refreshRow ? c.offsetRows[kHighlightURow] : nullptr,
                                      refreshRow ? c.offsetRows[kHighlightVRow] : nullptr);
}

// --- Row drivers -----------------------------------------------------------------------------

const uint8_t *ReferenceAt(const PackedBandContext &c, int32_t r, int32_t a) {
    return c.exposures.reference + static_cast<int64_t>(r) * c.pitch + 2 * static_cast<int64_t>(a);
}

uint8_t *OutputAt(const PackedBandContext &c, int32_t r, int32_t a) {
    return c.output + static_cast<int64_t>(r - c.top) * c.pitch + 2 * static_cast<int64_t>(a);
}

// Mesh interpolation and fetch of one secondary over the tile [a, b) into dest (the warp
// buffer at the tile's first group); in local-curve mode also the secondary's map lines.
void FetchSecondary(const PackedBandContext &c, const PackedRow &row, int32_t a, int32_t b,
                    bool dark, uint8_t *dest) {
    const TileMotion m = MotionOfTile(c, row, a, dark);
    const uint8_t *source = dark ? c.exposures.dark : c.exposures.bright;
    if (m.whole)
        FetchShiftedPacked422(c.session, c.right, c.bottom, m.x.disp, m.y.disp, m.x.step,
                              m.y.step, a, row.r, b, c.pitch, source, &c.referenceLuma, dest);
    else
        FetchSubpelPacked422(c.session, c.right, c.bottom, m.x.disp, m.y.disp, m.x.step, m.y.step,
                             a, row.r, b, c.pitch, source, dest);
    RefreshSecondaryLines(c, row, a, b, dark);
}

// One span kernel of the band's mode over [a, b): ref and out stand at pixel a, quad is the
// warp buffer at the quad the kernel reads first.
void RunKernelAt(const PackedBandContext &c, int32_t type, int32_t a, int32_t b,
                 const uint8_t *quad, RunningWeights *weights, const uint8_t *ref, uint8_t *out) {
    if (c.localCurve) {
        switch (type) {
            case SPAN_BOTH:
                return FuseSpanLocalCurveBothPacked422(a, b, ref, quad, c.tables, c.rows, weights, out);
            case SPAN_DARK:
                return FuseSpanLocalCurveDarkPacked422(a, b, ref, quad, c.tables, c.rows, weights, out);
            case SPAN_BRIGHT:
                return FuseSpanLocalCurveBrightPacked422(a, b, ref, quad, c.tables, c.rows, weights,
                                                         out);
            default: return FuseSpanLocalCurveRefOnlyPacked422(a, b, ref, c.tables, c.rows, out);
        }
    }
    switch (type) {
        case SPAN_BOTH: return FuseSpanBothPacked422(a, b, ref, quad, c.tables, c.rows, weights, out);
        case SPAN_DARK: return FuseSpanDarkPacked422(a, b, ref, quad, c.tables, c.rows, weights, out);
        case SPAN_BRIGHT:
            return FuseSpanBrightPacked422(a, b, ref, quad, c.tables, c.rows, kFusionBrightSegment,
                                           weights, out);
        default: return FuseSpanRefOnlyPacked422(a, b, ref, c.tables, c.rows, out);
    }
}

// The group [b - 4, b) at the frame's right edge, its weights read one pixel in (edge_group.h).
// The outermost pixel is fused first: the output may be the reference itself.
void RunEdgeGroup(const PackedBandContext &c, int32_t r, int32_t type, int32_t b,
                  const uint8_t *quad, RunningWeights *weights) {
    const int32_t x = b - 4;
    const uint8_t *ref = ReferenceAt(c, r, x);
    uint8_t *out = OutputAt(c, r, x);
    RunningWeights own = *weights;
    uint8_t outer[kEdgeCopyBytes] = {};
    RunKernelAt(c, type, x, b, quad, &own, ref, outer);
    uint8_t refCopy[kEdgeCopyBytes] = {}, quads[kEdgeCopyBytes];
    std::memcpy(refCopy, ref, 8);
    refCopy[6] = refCopy[4];
    CopyEdgeQuads(type, quad, quads);
    RunKernelAt(c, type, x, b, quads, weights, refCopy, out);
    out[6] = outer[6];
}

// One span kernel of the band's mode over the tile [a, b). quad is the warp buffer at the
// quad the kernel reads first.
void RunKernel(const PackedBandContext &c, int32_t r, int32_t type, int32_t a, int32_t b,
               const uint8_t *quad, RunningWeights *weights) {
    if (!TileEndsAtFrameEdge(c, type, a, b))
        return RunKernelAt(c, type, a, b, quad, weights, ReferenceAt(c, r, a), OutputAt(c, r, a));
    const int32_t x = b - 4;
    if (x > a) RunKernelAt(c, type, a, x, quad, weights, ReferenceAt(c, r, a), OutputAt(c, r, a));
    RunEdgeGroup(c, r, type, b, quad + (x - a) / 4 * kWarpGroupStride, weights);
}

}  // namespace

void FuseOutputRowPacked422(const PackedBandContext &c, const PackedRow &row) {
    DriveTwoSecondaries(c, [&](int32_t type, int32_t a, int32_t b, RunningWeights *weights) {
        uint8_t *group = c.warp + 4 * static_cast<int64_t>(a);
        if (type & SPAN_DARK) FetchSecondary(c, row, a, b, true, group);
        if (type & SPAN_BRIGHT) FetchSecondary(c, row, a, b, false, group + kWarpedQuadBytes);
        const uint8_t *quad = type == SPAN_BRIGHT ? group + kWarpedQuadBytes : group;
        RunKernel(c, row.r, type, a, b, quad, weights);
    });
}

void FuseOutputRowOneSecondaryPacked422(const PackedBandContext &c, const PackedRow &row,
                                        bool dark) {
    DriveOneSecondary(c, dark, [&](int32_t type, int32_t a, int32_t b, RunningWeights *weights) {
        uint8_t *group = c.warp + 4 * static_cast<int64_t>(a);
        if (type != SPAN_REFERENCE_ONLY) FetchSecondary(c, row, a, b, dark, group);
        RunKernel(c, row.r, type, a, b, group, weights);
    });
}

void FuseOutputRowRefOnlyPacked422(const PackedBandContext &c, const PackedRow &row) {
    RunKernel(c, row.r, SPAN_REFERENCE_ONLY, c.x0, c.x1, nullptr, nullptr);
}

// gains and shifts keep the band renderers' shared argument list and are not read: the
// highlight refinement takes globalShift from the session.
int RenderFusedBandPacked422(const RowBand *band, HdrSession *s, uint8_t *const *firstPlanes,
                             int32_t width, int32_t height, int32_t pitch,
                             const RegionRect *processRect, const int32_t *, const int32_t *,
                             ProgressCallback callback, void *user) {
    if (!band || !s || !firstPlanes || !processRect) return RESULT_INVALID_ARGUMENT;
    const int t = band->workerIndex;
    if (t < 0 || t >= kWorkerCount) return RESULT_INVALID_ARGUMENT;
    const bool localCurve = s->lowResMapsReady != 0;
    if (!BandBuffersPresent(s, t, localCurve)) return RESULT_OUT_OF_MEMORY;

    PackedBandContext c;
    SetUpBand(c, s, t, firstPlanes, width, height, pitch, *processRect);
    if (!ChooseReferenceLuma(c, s, width)) return RESULT_OUT_OF_MEMORY;
    return WalkBandRows(
        c, s, *band, callback, user,
        [&](int32_t r, bool refreshRow, bool fade) {
            if (fade) RefineHighlightRows(c, r, refreshRow);
        },
        [&](const PackedRow &row, RowDriver driver) {
            switch (driver) {
                case kDriveReferenceOnly: return FuseOutputRowRefOnlyPacked422(c, row);
                case kDriveDark: return FuseOutputRowOneSecondaryPacked422(c, row, true);
                case kDriveBright: return FuseOutputRowOneSecondaryPacked422(c, row, false);
                default: return FuseOutputRowPacked422(c, row);
            }
        });
}

int CopyReferenceLumaForBandPass(MemoryContext memory, HdrSession *s,
                                 const uint8_t *referencePlane, int32_t width, int32_t height,
                                 int32_t pitch) {
    if (!s || !referencePlane || width < 1 || height < 1 || pitch < 2 * int64_t{width})
        return RESULT_INVALID_ARGUMENT;
    FreeAndClear(memory, s->bandReferenceLuma);
    uint8_t *copy = static_cast<uint8_t *>(AllocateMemory(memory, uint64_t(width) * uint64_t(height)));
    if (!copy) return RESULT_OUT_OF_MEMORY;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t *in = referencePlane + static_cast<int64_t>(y) * pitch;
        uint8_t *out = copy + static_cast<int64_t>(y) * width;
        PackedLumaRow(in, out, width);
    }
    s->bandReferenceLuma = copy;
    return RESULT_OK;
}

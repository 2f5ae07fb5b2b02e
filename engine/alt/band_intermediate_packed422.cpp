#include "band_intermediate_packed422.h"

#include <algorithm>
#include <cstring>

#include "alt/band_intermediate_common.h"
#include "alt/intermediate_image.h"
#include "alt/rows_intermediate_packed422.h"
#include "alt/recovery_intermediate.h"
#include "alt/span_intermediate_packed422.h"
#include "core/memory.h"
#include "core/session.h"
#include "fusion/edge_group.h"
#include "fusion/grid_rows32.h"

namespace {

enum WorkerRow { kRowReference = 0, kRowDark, kRowBright, kRowMask };
// Block planes the band expands: shadow repair, highlight luma, highlight U and V.
enum BlockPlane { kShadowPlane = 0, kHighlightPlane = 2, kChromaUPlane = 5, kChromaVPlane = 6 };
constexpr int kSeamRing = 2;

bool MeshGridsPresent(const HdrSession *s) {
    for (int k = 0; k < 2; ++k)
        if (!s->offsetGridX[k] || !s->offsetGridY[k] || !s->slopeGridX[k] || !s->slopeGridY[k])
            return false;
    return true;
}

// Everything worker t reads or writes; the one-band pass also wants the mask and the
// recovery plane whether or not the fade is on.
}  // namespace

bool IntermediateBuffersPresent(const HdrSession *s, int t, bool seam, bool wholeImage) {
    const bool fade = s->offsetFadeEnabled != 0 || wholeImage;
    if (!s->fusionTable || !s->gammaExpandTable || !s->paddedBlockPlanes[kShadowPlane] ||
        !s->paddedBlockPlanes[kHighlightPlane] || !s->offsetRows[t] || !s->warpBuffer[t] ||
        !s->runLists[0][t] || !s->runLists[1][t] || !s->spanBounds[t] || !s->spanTypes[t] ||
        !MeshGridsPresent(s))
        return false;
    for (int k = 0; k < 3; ++k)
        if (!s->fusionWeightGrids[k] || !s->workerRows[k][t]) return false;
    if (fade && (!s->recoveryMaskGrid || !s->workerRows[kRowMask][t] ||
                 !s->paddedBlockPlanes[kChromaUPlane] || !s->paddedBlockPlanes[kChromaVPlane]))
        return false;
    if (wholeImage && !s->paddedBlockPlanes[1]) return false;
    if (!IntermediateEvenPlane(s, 0)) return false;
    if (!IsParitySplit(s->intermediate)) return true;
    return IntermediateOddPlane(s, 0) && s->ringBuffers16[t] && (!seam || s->ringBuffers16[kSeamRing]);
}

namespace {

int16_t *RingRow(const HdrSession *s, int ring, int32_t slot, int32_t pitch) {
    return reinterpret_cast<int16_t *>(s->ringBuffers16[ring]) + int64_t{slot} * pitch;
}

void CopySamples(int16_t *to, const int16_t *from, int32_t count) {
    if (to && from) CopyBytes(to, from, static_cast<size_t>(count) * sizeof(int16_t));
}

const uint8_t *ReferenceAt(const IntermediatePackedContext &c, int32_t r, int32_t a) {
    return c.exposures.reference + static_cast<int64_t>(r) * c.pitch + 2 * static_cast<int64_t>(a);
}

void FetchSecondary(const IntermediatePackedContext &c, const BandRow &row, int32_t a, int32_t b,
                    bool dark, uint8_t *dest) {
    const TileMotion m = MotionOfTile(c, row, a, dark);
    const uint8_t *source = dark ? c.exposures.dark : c.exposures.bright;
    if (m.whole)
        FetchShiftedPacked422(c.session, c.fetchRight, c.fetchBottom, m.x.disp, m.y.disp,
                              m.x.step, m.y.step, a, row.r, b, c.pitch, source, &c.referenceLuma,
                              dest);
    else
        FetchSubpelPacked422(c.session, c.fetchRight, c.fetchBottom, m.x.disp, m.y.disp, m.x.step,
                             m.y.step, a, row.r, b, c.pitch, source, dest);
}

// One span kernel over [a, b): ref and out stand at pixel a.
void RunKernelAt(const IntermediatePackedContext &c, int32_t type, int32_t a, int32_t b,
                 const uint8_t *quad, RunningWeights *weights, const uint8_t *ref, int16_t *out) {
    switch (type) {
        case SPAN_BOTH:
            return FuseIntermediateSpanBothPacked422(a, b, ref, quad, c.tables, c.rows, weights, out);
        case SPAN_DARK:
            return FuseIntermediateSpanDarkPacked422(a, b, ref, quad, c.tables, c.rows, weights, out);
        case SPAN_BRIGHT:
            return FuseIntermediateSpanBrightPacked422(a, b, ref, quad, c.tables, c.rows,
                                                       kFusionBrightSegment, weights, out);
        default: return FuseIntermediateSpanRefOnlyPacked422(a, b, ref, c.tables, c.rows, out);
    }
}

// The group [b - 4, b) at the frame's right edge, its weights read one pixel in (edge_group.h).
void RunEdgeGroup(const IntermediatePackedContext &c, int32_t r, int32_t type, int32_t b,
                  const uint8_t *quad, RunningWeights *weights, int16_t *outRow) {
    const int32_t x = b - 4;
    const uint8_t *ref = ReferenceAt(c, r, x);
    int16_t *out = outRow + 2 * static_cast<int64_t>(x);
    RunningWeights own = *weights;
    int16_t outer[kEdgeCopyBytes] = {};
    RunKernelAt(c, type, x, b, quad, &own, ref, outer);
    uint8_t refCopy[kEdgeCopyBytes] = {}, quads[kEdgeCopyBytes];
    std::memcpy(refCopy, ref, 8);
    refCopy[6] = refCopy[4];
    CopyEdgeQuads(type, quad, quads);
    RunKernelAt(c, type, x, b, quads, weights, refCopy, out);
    out[6] = outer[6];
}

void RunKernel(const IntermediatePackedContext &c, int32_t r, int32_t type, int32_t a, int32_t b,
               const uint8_t *quad, RunningWeights *weights, int16_t *outRow) {
    const bool edge = TileEndsAtFrameEdge(c, type, a, b);
    const int32_t end = edge ? b - 4 : b;
    if (end > a)
        RunKernelAt(c, type, a, end, quad, weights, ReferenceAt(c, r, a),
                    outRow + 2 * static_cast<int64_t>(a));
    if (edge) RunEdgeGroup(c, r, type, b, quad + (end - a) / 4 * kWarpGroupStride, weights, outRow);
}

// The rows refreshed on even rows: weights with their run lists, the shadow row and, with the
// fade, the mask, the highlight rows and their refinement. The shadow row is refreshed with
// or without the fade, since the dark kernels read it for every deep shadow.
}  // namespace

void RefreshIntermediateRows(BandContext &c, HdrSession *s, int t, int32_t r, bool fade,
                             IntermediateRowFlags &flags) {
    const int32_t gy = (r + 16) >> 5, v = (r + 16) & 31;
    const int32_t stride = s->blocksAcross + 2;
    InterpolateGridRowSparse32(s->workerRows[kRowReference][t], c.x0, c.x1, gy,
                               s->fusionWeightGrids[kWeightReference], stride, v);
    InterpolateGridRowRuns32(s->workerRows[kRowDark][t], c.x0, c.x1, gy,
                             s->fusionWeightGrids[kWeightDark], stride, v, &flags.darkAllZero,
                             s->runLists[0][t], &s->runListLengths[0][t], stride);
    InterpolateGridRowRuns32(s->workerRows[kRowBright][t], c.x0, c.x1, gy,
                             s->fusionWeightGrids[kWeightBright], stride, v, &flags.brightAllZero,
                             s->runLists[1][t], &s->runListLengths[1][t], stride);
    c.runCounts[0] = s->runListLengths[0][t];
    c.runCounts[1] = s->runListLengths[1][t];
    InterpolateGridRow32(c.offsetRows[kShadowRow], c.x0, c.x1, gy,
                         s->paddedBlockPlanes[kShadowPlane], stride, v);
    if (!fade) return;
    InterpolateGridRowSparse32(s->workerRows[kRowMask][t], c.x0, c.x1, gy, s->recoveryMaskGrid,
                               stride, v);
    InterpolateGridRow32(c.offsetRows[kHighlightLumaRow], c.x0, c.x1, gy,
                         s->paddedBlockPlanes[kHighlightPlane], stride, v);
    InterpolateGridRow32(c.offsetRows[kHighlightURow], c.x0, c.x1, gy,
                         s->paddedBlockPlanes[kChromaUPlane], stride, v);
    InterpolateGridRow32(c.offsetRows[kHighlightVRow], c.x0, c.x1, gy,
                         s->paddedBlockPlanes[kChromaVPlane], stride, v);
}

namespace {

void RefreshRows(IntermediatePackedContext &c, HdrSession *s, int t, int32_t r, bool fade,
                 IntermediateRowFlags &flags) {
    RefreshIntermediateRows(c, s, t, r, fade, flags);
    if (!fade) return;
    RefineRecoveryOffsetsRowIntermediatePacked422(
        s, c.rows.mask, r, c.exposures.dark, c.exposures.reference, c.pitch,
        c.offsetRows[kHighlightLumaRow], c.offsetRows[kHighlightURow],
        c.offsetRows[kHighlightVRow]);
}

}  // namespace

// Without the fade nothing refreshes the mask and highlight rows: they hold no correction.
void ClearIntermediateRecoveryRows(const BandContext &c, HdrSession *s, int t) {
    for (int k : {kHighlightLumaRow, kHighlightURow, kHighlightVRow})
        std::fill(c.offsetRows[k] + c.x0, c.offsetRows[k] + c.x1, int16_t{0});
    int16_t *mask = s->workerRows[kRowMask][t];
    if (mask) std::fill(mask + c.x0, mask + c.x1, int16_t{0});
}

namespace {

struct BandPlan {
    int t;
    int32_t firstRow, endRow, rowOffset;
    bool seam;            // rows offset .. offset + 127 of a lower band go to the seam buffer
    bool wholeImage;      // the one-band pass
    int32_t progressSpan;  // percent points over the band's rows
    int32_t progressRows;
};

// Before ring slot (rho & 127) takes row rho, the row it holds (rho - 128) leaves it.
void RetireRingRow(const HdrSession *s, const BandPlan &p, int32_t rho, int32_t pitch) {
    if (rho < p.rowOffset + kIntermediateRingRows) return;
    const int32_t k = rho - kIntermediateRingRows;
    const int16_t *slot = RingRow(s, p.t, rho & (kIntermediateRingRows - 1), pitch);
    if (p.seam && rho < p.rowOffset + 2 * kIntermediateRingRows)
        CopySamples(RingRow(s, kSeamRing, k - p.rowOffset, pitch), slot, pitch);
    else
        CopySamples(IntermediateLumaRow(s, k), slot, pitch);
}

int RunBand(HdrSession *s, const BandPlan &p, uint8_t *const *planes, int32_t width,
            int32_t height, int32_t pitch, const RegionRect &rect, ProgressCallback callback,
            void *user) {
    IntermediatePackedContext c;
    SetUpIntermediatePackedContext(c, s, p.t, planes, width, height, pitch, rect);
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
        if ((r & 1) == 0 || r == p.firstRow) RefreshRows(c, s, p.t, r, fade, flags);
        const BandRow row = {r, (r + 128) >> 8, (r + 128) & 255, (r & 1) == 0};
        const int32_t rho = r - c.top;
        int16_t *out;
        if (split) {
            RetireRingRow(s, p, rho, pitch);
            out = RingRow(s, p.t, rho & (kIntermediateRingRows - 1), pitch);
        } else {
            out = IntermediateLumaRow(s, rho);
        }
        if (!out) continue;
        if (flags.darkAllZero && flags.brightAllZero)
            FuseIntermediateRowRefOnlyPacked422(c, row, out);
        else if (flags.brightAllZero)
            FuseIntermediateRowOneSecondaryPacked422(c, row, out, true);
        else if (flags.darkAllZero)
            FuseIntermediateRowOneSecondaryPacked422(c, row, out, false);
        else
            FuseIntermediateRowPacked422(c, row, out);
    }
    return RESULT_OK;
}

// Rows [first, end) of the process rectangle from a ring (slot i & 127) to the parity planes.
void CopyRingToPlanes(const HdrSession *s, int ring, int32_t first, int32_t end, int32_t pitch) {
    for (int32_t i = std::max(first, 0); i < end; ++i)
        CopySamples(IntermediateLumaRow(s, i), RingRow(s, ring, i & (kIntermediateRingRows - 1), pitch),
                    pitch);
}

bool ArgumentsPresent(const HdrSession *s, uint8_t *const *planes, int32_t count,
                      const RegionRect *rect, int32_t pitch) {
    return s && planes && rect && count == 3 && pitch > 0 && s->intermediate.pitch[0] == pitch &&
           s->darkIndex >= 0 && s->darkIndex < 3 && s->brightIndex >= 0 && s->brightIndex < 3 &&
           s->referenceIndex >= 0 && s->referenceIndex < 3;
}

}  // namespace

void SetUpIntermediatePackedContext(IntermediatePackedContext &c, const HdrSession *s, int t,
                                    uint8_t *const *planes, int32_t width, int32_t height,
                                    int32_t pitch, const RegionRect &rect) {
    SetUpBandContext(c, s, t, width, height, rect);
    // The intermediate is always fused in normal mode, whatever a one-pass merge left set.
    c.localCurve = false;
    c.tables.fusion = s->fusionTable;
    for (int16_t *&line : c.mapLines) line = nullptr;
    c.pitch = pitch;
    c.exposures = {planes[s->darkIndex], planes[s->brightIndex], planes[s->referenceIndex]};
    c.referenceLuma = {c.exposures.reference, 2, pitch};
    c.fetchRight = width;
    c.fetchBottom = height;
}

void FuseIntermediateRowPacked422(const IntermediatePackedContext &c, const BandRow &row,
                                  int16_t *out) {
    DriveTwoSecondaries(c, [&](int32_t type, int32_t a, int32_t b, RunningWeights *weights) {
        uint8_t *group = c.warp + 4 * static_cast<int64_t>(a);
        if (type & SPAN_DARK) FetchSecondary(c, row, a, b, true, group);
        if (type & SPAN_BRIGHT) FetchSecondary(c, row, a, b, false, group + kWarpedQuadBytes);
        const uint8_t *quad = type == SPAN_BRIGHT ? group + kWarpedQuadBytes : group;
        RunKernel(c, row.r, type, a, b, quad, weights, out);
    });
}

void FuseIntermediateRowOneSecondaryPacked422(const IntermediatePackedContext &c,
                                              const BandRow &row, int16_t *out, bool dark) {
    DriveOneSecondary(c, dark, [&](int32_t type, int32_t a, int32_t b, RunningWeights *weights) {
        // The secondary's quad sits at 4a whichever it is.
        uint8_t *group = c.warp + 4 * static_cast<int64_t>(a);
        if (type != SPAN_REFERENCE_ONLY) FetchSecondary(c, row, a, b, dark, group);
        RunKernel(c, row.r, type, a, b, group, weights, out);
    });
}

void FuseIntermediateRowRefOnlyPacked422(const IntermediatePackedContext &c, const BandRow &row,
                                         int16_t *out) {
    RunKernel(c, row.r, SPAN_REFERENCE_ONLY, c.x0, c.x1, nullptr, nullptr, out);
}

int FuseIntermediateBandPacked422(const RowBand *band, HdrSession *s, uint8_t *const *planes,
                                  int32_t count, int32_t width, int32_t height, int32_t pitch,
                                  const RegionRect *rect, const int32_t *, const int32_t *,
                                  ProgressCallback callback, void *user) {
    if (!band || !ArgumentsPresent(s, planes, count, rect, pitch)) return RESULT_INVALID_ARGUMENT;
    const int t = band->workerIndex;
    if (t != 0 && t != 1) return RESULT_INVALID_ARGUMENT;
    if (!IntermediateBuffersPresent(s, t, t > 0, false)) return RESULT_OUT_OF_MEMORY;
    if (band->firstRow >= band->endRow) return RESULT_OK;
    const BandPlan plan = {t, band->firstRow, band->endRow, band->rowOffset, t > 0, false, 10,
                           band->endRow - band->firstRow};
    return RunBand(s, plan, planes, width, height, pitch, *rect, callback, user);
}

int FlushIntermediateSeamsPacked422(MemoryContext, HdrSession *s, uint8_t *const *planes,
                                    int32_t count, int32_t, int32_t, int32_t pitch,
                                    const RegionRect *rect, const int32_t *, const int32_t *,
                                    ProgressCallback, void *) {
    if (!ArgumentsPresent(s, planes, count, rect, pitch)) return RESULT_INVALID_ARGUMENT;
    if (!IsParitySplit(s->intermediate)) return RESULT_OK;
    for (int ring = 0; ring < 3; ++ring)
        if (!s->ringBuffers16[ring]) return RESULT_OUT_OF_MEMORY;
    const int32_t split = s->splitRow, h = rect->height;
    CopyRingToPlanes(s, 0, split - kIntermediateRingRows, split, pitch);
    CopyRingToPlanes(s, 1, h - kIntermediateRingRows, h, pitch);
    // The head of the lower band last: its rows were held back from ring 1.
    for (int32_t i = split; i < std::min(split + kIntermediateRingRows, h); ++i)
        CopySamples(IntermediateLumaRow(s, i), RingRow(s, kSeamRing, i - split, pitch), pitch);
    return RESULT_OK;
}

int FuseIntermediateImagePacked422(const RowBand *, HdrSession *s, uint8_t *const *planes,
                                   int32_t count, int32_t width, int32_t height, int32_t pitch,
                                   const RegionRect *rect, const int32_t *, const int32_t *,
                                   ProgressCallback callback, void *user) {
    if (!ArgumentsPresent(s, planes, count, rect, pitch)) return RESULT_INVALID_ARGUMENT;
    if (rect->height < kIntermediateRingRows) return RESULT_INVALID_ARGUMENT;
    if (!IntermediateBuffersPresent(s, 0, false, true)) return RESULT_OUT_OF_MEMORY;
    const int32_t top = static_cast<int32_t>(rect->y);
    const BandPlan plan = {0, top, top + rect->height, 0, false, true, 25, rect->height};
    const int r = RunBand(s, plan, planes, width, height, pitch, *rect, callback, user);
    if (r != RESULT_OK) return r;
    if (IsParitySplit(s->intermediate))
        CopyRingToPlanes(s, 0, rect->height - kIntermediateRingRows, rect->height, pitch);
    s->progressBase += 25;
    return RESULT_OK;
}

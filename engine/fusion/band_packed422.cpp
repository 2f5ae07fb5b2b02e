#include "band_packed422.h"

#include <algorithm>

#include "core/memory.h"
#include "core/session.h"
#include "filters/grid_rows.h"
#include "filters/local_gain.h"
#include "fusion/grid_rows32.h"
#include "fusion/recovery_refine_packed422.h"
#include "fusion/span_list.h"
#include "fusion/span_local_curve_packed422.h"
#include "fusion/span_normal_packed422.h"

namespace {

// Normal mode's offset rows: the dark exposure's shadow row, the reference's highlight rows.
enum OffsetRow { kShadowRow = 0, kHighlightLumaRow, kHighlightURow, kHighlightVRow };
// Block planes the band expands in normal mode.
enum BlockPlane { kShadowPlane = 0, kHighlightPlane = 2, kChromaUPlane = 5, kChromaVPlane = 6 };
enum WorkerRow { kRowReference = 0, kRowDark, kRowBright, kRowMask };

bool FineGridsPresent(const HdrSession *s, int t) {
    for (int k = 0; k < kFineGridCount; ++k)
        if (!s->fineGrids[k] || !s->mapLineBuffers[t + 4 * k]) return false;
    return true;
}

// Every buffer the band reads in its mode.
bool BuffersPresent(const HdrSession *s, int t, bool localCurve) {
    const bool common =
        s->paddedBlockPlanes[0] && s->paddedBlockPlanes[1] && s->offsetRows[t] &&
        s->fusionWeightGrids[kWeightReference] && s->fusionWeightGrids[kWeightDark] &&
        s->fusionWeightGrids[kWeightBright] && s->recoveryMaskGrid && s->workerRows[0][t] &&
        s->workerRows[1][t] && s->workerRows[2][t] && s->workerRows[3][t] && s->warpBuffer[t] &&
        s->runLists[0][t] && s->runLists[1][t] && s->spanBounds[t] && s->spanTypes[t] &&
        s->workerRows16[t] && s->gainGrid && s->gainGridRows > 0 && s->gainTable &&
        s->toneTable && s->chromaTable && s->outputPlanes[0];
    if (!common) return false;
    if (localCurve) return s->localCurveFusionTable && FineGridsPresent(s, t);
    return s->fusionTable && s->gammaExpandTable && s->paddedBlockPlanes[kHighlightPlane] &&
           s->paddedBlockPlanes[kChromaUPlane] && s->paddedBlockPlanes[kChromaVPlane];
}

int16_t *OffsetRowOf(const HdrSession *s, int t, int32_t width, OffsetRow row) {
    return s->offsetRows[t] + static_cast<int64_t>(row) * width;
}

void SetUpBand(PackedBandContext &c, const HdrSession *s, int t, uint8_t *const *planes,
               int32_t width, int32_t pitch, const RegionRect &rect) {
    c.session = s;
    c.localCurve = s->lowResMapsReady != 0;
    c.x0 = static_cast<int32_t>(rect.x);
    c.x1 = c.x0 + static_cast<int32_t>(rect.width);
    c.right = c.x1;
    c.top = static_cast<int32_t>(rect.y);
    c.bottom = c.top + rect.height;
    c.pitch = pitch;
    c.meshCols = s->meshCols;
    c.meshRows = s->meshRows;
    c.exposures = {planes[s->darkIndex], planes[s->brightIndex], planes[s->referenceIndex]};
    c.xOffsets = {s->offsetGridX[0], s->offsetGridX[1]};
    c.yOffsets = {s->offsetGridY[0], s->offsetGridY[1]};
    c.xSlopes = {s->slopeGridX[0], s->slopeGridX[1]};
    c.ySlopes = {s->slopeGridY[0], s->slopeGridY[1]};
    c.tables = {c.localCurve ? s->localCurveFusionTable : s->fusionTable, s->valueShift,
                s->gammaExpandTable, s->toneTable, s->chromaTable};
    SpanRows &rows = c.rows;
    rows = {};
    rows.weightReference = s->workerRows[kRowReference][t];
    rows.weightDark = s->workerRows[kRowDark][t];
    rows.weightBright = s->workerRows[kRowBright][t];
    rows.mask = s->workerRows[kRowMask][t];
    rows.gain = s->workerRows16[t];
    for (int k = 0; k < kFineGridCount; ++k) {
        c.mapLines[k] = c.localCurve ? s->mapLineBuffers[t + 4 * k] : nullptr;
        rows.mapLines[k] = c.mapLines[k];
    }
    rows.shadow = OffsetRowOf(s, t, width, kShadowRow);
    rows.highlightLuma = OffsetRowOf(s, t, width, kHighlightLumaRow);
    rows.highlightU = OffsetRowOf(s, t, width, kHighlightURow);
    rows.highlightV = OffsetRowOf(s, t, width, kHighlightVRow);
    c.warp = s->warpBuffer[t];
    c.output = s->outputPlanes[0];
    c.runs[0] = s->runLists[0][t];
    c.runs[1] = s->runLists[1][t];
    c.runCounts[0] = c.runCounts[1] = 0;
    c.spanBounds = s->spanBounds[t];
    c.spanTypes = s->spanTypes[t];
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

// The rows expanded every fourth row: weights with the run lists, the mask, normal mode's
// shadow and chroma highlight rows.
struct BandFlags {
    int32_t darkAllZero = 1, brightAllZero = 1;
};

void RefreshGroupRows(PackedBandContext &c, HdrSession *s, int t, int32_t width, int32_t r,
                      BandFlags &flags) {
    const int32_t gy = (r + 16) >> 5, v = (r + 16) & 31;
    const int32_t stride = s->blocksAcross + 2;
    const int32_t capacity = s->blocksAcross + 2;
    InterpolateGridRowSparse32(s->workerRows[kRowReference][t], c.x0, c.x1, gy,
                               s->fusionWeightGrids[kWeightReference], stride, v);
    InterpolateGridRowRuns32(s->workerRows[kRowDark][t], c.x0, c.x1, gy,
                             s->fusionWeightGrids[kWeightDark], stride, v, &flags.darkAllZero,
                             s->runLists[0][t], &s->runListLengths[0][t], capacity);
    InterpolateGridRowRuns32(s->workerRows[kRowBright][t], c.x0, c.x1, gy,
                             s->fusionWeightGrids[kWeightBright], stride, v, &flags.brightAllZero,
                             s->runLists[1][t], &s->runListLengths[1][t], capacity);
    InterpolateGridRowSparse32(s->workerRows[kRowMask][t], c.x0, c.x1, gy, s->recoveryMaskGrid,
                               stride, v);
    c.runCounts[0] = s->runListLengths[0][t];
    c.runCounts[1] = s->runListLengths[1][t];
    if (c.localCurve) return;
    InterpolateGridRow32(OffsetRowOf(s, t, width, kShadowRow), c.x0, c.x1, gy,
                         s->paddedBlockPlanes[kShadowPlane], stride, v);
    InterpolateGridRow32(OffsetRowOf(s, t, width, kHighlightURow), c.x0, c.x1, gy,
                         s->paddedBlockPlanes[kChromaUPlane], stride, v);
    InterpolateGridRow32(OffsetRowOf(s, t, width, kHighlightVRow), c.x0, c.x1, gy,
                         s->paddedBlockPlanes[kChromaVPlane], stride, v);
}

// Normal mode: the highlight luma row of every row, then its refinement against the dark
// exposure at its global shift (the chroma part only on rows that refreshed U and V). A row
// whose dark pixels at that shift would lie outside the frame is left unrefined.
void RefreshHighlightRows(const PackedBandContext &c, const HdrSession *s, int t, int32_t width,
                          int32_t height, int32_t r, bool refreshRow) {
    const int32_t gy = (r + 16) >> 5, v = (r + 16) & 31;
    int16_t *luma = OffsetRowOf(s, t, width, kHighlightLumaRow);
    InterpolateGridRow32(luma, c.x0, c.x1, gy, s->paddedBlockPlanes[kHighlightPlane],
                         s->blocksAcross + 2, v);
    const int32_t dx = s->globalShift[0], dy = s->globalShift[1];
    const int32_t ox = static_cast<int32_t>(s->overlapRect.x);
    const int32_t ow = static_cast<int32_t>(s->overlapRect.width);
    const int32_t darkRow = r - dy;
    if (darkRow < 0 || darkRow >= height || ox < 0 || ox + ow > width || ox - dx < 0 ||
        ox + ow - dx > width)
        return;
    const uint8_t *dark = c.exposures.dark + static_cast<int64_t>(darkRow) * c.pitch +
                          2 * static_cast<int64_t>(c.x0 - dx);
    const uint8_t *reference = c.exposures.reference + static_cast<int64_t>(r) * c.pitch + 2 * c.x0;
    RefineRecoveryOffsetsRowPacked422(s, c.rows.mask, r, dark, reference, luma,
                                      refreshRow ? OffsetRowOf(s, t, width, kHighlightURow) : nullptr,
                                      refreshRow ? OffsetRowOf(s, t, width, kHighlightVRow) : nullptr);
}

// Local-curve mode: the reference's map lines over the whole row (luma every row, U and V on
// refresh rows).
void RefreshReferenceLines(const PackedBandContext &c, const HdrSession *s, int32_t width,
                           int32_t r, bool refreshRow) {
    const int32_t b = (r + 4) >> 3, wy = (r + 4) & 7;
    const int32_t stride = s->fineGridStride + 2, rows = s->fineGridRows + 2;
    InterpolateGridRow8(c.mapLines[kMapLumaReference], 0, width, b, s->fineGrids[kMapLumaReference],
                        stride, rows, wy);
    if (!refreshRow) return;
    InterpolateGridRow8(c.mapLines[kMapU], 0, width, b, s->fineGrids[kMapU], stride, rows, wy);
    InterpolateGridRow8(c.mapLines[kMapV], 0, width, b, s->fineGrids[kMapV], stride, rows, wy);
}

// The gain grid row ExpandGainRow8 loads for row r (the current one on a multiple of 8, else
// the next, held at the last row near the bottom).
const uint16_t *GainGridRow(const HdrSession *s, int32_t r, int32_t height) {
    int32_t row = (r & 7) == 0 ? r >> 3 : (r < height - 16 ? (r >> 3) + 1 : s->gainGridRows - 1);
    row = std::clamp(row, 0, s->gainGridRows - 1);
    return reinterpret_cast<const uint16_t *>(s->gainGrid + static_cast<int64_t>(row) *
                                                                s->gainGridStride);
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
    const auto pick = [dark](const MeshGridPair &p) { return dark ? p.dark : p.bright; };
    const MeshDisplacement mx = InterpolateMesh(pick(c.xOffsets), pick(c.xSlopes), c.meshCols,
                                                c.meshRows, row.meshRow, row.meshFrac, a);
    const MeshDisplacement my = InterpolateMesh(pick(c.yOffsets), pick(c.ySlopes), c.meshCols,
                                                c.meshRows, row.meshRow, row.meshFrac, a);
    const uint8_t *source = dark ? c.exposures.dark : c.exposures.bright;
    const bool whole = (mx.disp & 0xFFFF) == 0 && (my.disp & 0xFFFF) == 0 && mx.step == 0 &&
                       my.step == 0;
    if (whole)
        FetchShiftedPacked422(c.session, c.right, c.bottom, mx.disp, my.disp, mx.step, my.step, a,
                              row.r, b, c.pitch, source, &c.referenceLuma, dest);
    else
        FetchSubpelPacked422(c.session, c.right, c.bottom, mx.disp, my.disp, mx.step, my.step, a,
                             row.r, b, c.pitch, source, dest);
    if (!c.localCurve) return;
    const HdrSession *s = c.session;
    const int32_t gridRow = (row.r + 4) >> 3, wy = (row.r + 4) & 7;
    if (gridRow > s->fineGridRows) return;  // past the maps: the lines stay as they are
    const int32_t stride = s->fineGridStride + 2, rows = s->fineGridRows + 2;
    const int e = dark ? kMapDark : kMapBright;
    InterpolateGridRow8FromX(c.mapLines[kMapLumaReference + e], a, b, gridRow,
                             s->fineGrids[kMapLumaReference + e], stride, rows, wy, 0);
    if (!row.refreshRow) return;
    InterpolateGridRow8(c.mapLines[kMapU + e], a, b, gridRow, s->fineGrids[kMapU + e], stride,
                        rows, wy);
    InterpolateGridRow8(c.mapLines[kMapV + e], a, b, gridRow, s->fineGrids[kMapV + e], stride,
                        rows, wy);
}

// One span kernel of the band's mode over the tile [a, b). quad is the warp buffer at the
// quad the kernel reads first.
void RunKernel(const PackedBandContext &c, int32_t r, int32_t type, int32_t a, int32_t b,
               const uint8_t *quad, RunningWeights *weights) {
    const uint8_t *ref = ReferenceAt(c, r, a);
    uint8_t *out = OutputAt(c, r, a);
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

}  // namespace

void FuseOutputRowPacked422(const PackedBandContext &c, const PackedRow &row) {
    const int32_t spans = MergeRunLists(c.runs[0], c.runCounts[0], c.runs[1], c.runCounts[1],
                                        c.x0, c.x1, c.spanBounds, c.spanTypes);
    RunningWeights weights = {{0, 0, kFusionWeightOne}};
    for (int32_t p = 0; p < spans; ++p) {
        const int32_t type = c.spanTypes[p];
        if (p > 0) ReLayRunningWeights(&weights, c.spanTypes[p - 1], type);
        const int32_t e = c.spanBounds[p + 1];
        for (int32_t a = c.spanBounds[p]; a < e;) {
            const int32_t b = TileEnd(a, e);
            uint8_t *group = c.warp + 4 * static_cast<int64_t>(a);
            if (type & SPAN_DARK) FetchSecondary(c, row, a, b, true, group);
            if (type & SPAN_BRIGHT) FetchSecondary(c, row, a, b, false, group + kWarpedQuadBytes);
            const uint8_t *quad = type == SPAN_BRIGHT ? group + kWarpedQuadBytes : group;
            RunKernel(c, row.r, type, a, b, quad, &weights);
            a = b;
        }
    }
}

void FuseOutputRowOneSecondaryPacked422(const PackedBandContext &c, const PackedRow &row,
                                        bool dark) {
    const int32_t *runs = c.runs[dark ? 0 : 1];
    const int32_t count = c.runCounts[dark ? 0 : 1];
    for (int32_t q = 0; q + 1 < count; ++q) {
        RunningWeights weights = {{0, kFusionWeightOne, kFusionWeightOne}};
        const bool active = (q & 1) != 0;
        const int32_t type = !active ? SPAN_REFERENCE_ONLY : dark ? SPAN_DARK : SPAN_BRIGHT;
        for (int32_t a = runs[q]; a < runs[q + 1];) {
            const int32_t b = TileEnd(a, runs[q + 1]);
            uint8_t *group = c.warp + 4 * static_cast<int64_t>(a);
            if (active) FetchSecondary(c, row, a, b, dark, group);
            RunKernel(c, row.r, type, a, b, group, &weights);
            a = b;
        }
    }
}

void FuseOutputRowRefOnlyPacked422(const PackedBandContext &c, const PackedRow &row) {
    RunKernel(c, row.r, SPAN_REFERENCE_ONLY, c.x0, c.x1, nullptr, nullptr);
}

int RenderFusedBandPacked422(const RowBand *band, HdrSession *s, uint8_t *const *firstPlanes,
                             int32_t width, int32_t height, int32_t pitch,
                             const RegionRect *processRect, const int32_t *, const int32_t *,
                             ProgressCallback callback, void *user) {
    if (!band || !s || !firstPlanes || !processRect) return RESULT_INVALID_ARGUMENT;
    const int t = band->workerIndex;
    if (t < 0 || t >= kWorkerCount) return RESULT_INVALID_ARGUMENT;
    const bool localCurve = s->lowResMapsReady != 0;
    if (!BuffersPresent(s, t, localCurve)) return RESULT_OUT_OF_MEMORY;

    PackedBandContext c;
    SetUpBand(c, s, t, firstPlanes, width, pitch, *processRect);
    if (!ChooseReferenceLuma(c, s, width)) return RESULT_OUT_OF_MEMORY;
    if (band->firstRow >= band->endRow) return RESULT_OK;
    // Without the refinement nothing writes the highlight luma row: it holds no correction.
    if (!localCurve && !s->offsetFadeEnabled)
        std::fill(OffsetRowOf(s, t, width, kHighlightLumaRow) + c.x0,
                  OffsetRowOf(s, t, width, kHighlightLumaRow) + c.x1, int16_t{0});

    BandFlags flags;
    const int32_t span = band->endRow - band->firstRow;
    for (int32_t r = band->firstRow; r < band->endRow; ++r) {
        if (callback && t == 0 && r % 32 == 0) {
            const int64_t percent = s->progressBase + (75 * int64_t{r - band->firstRow}) / span;
            if (callback(percent, 0, user) == RESULT_CANCELLED) return RESULT_CANCELLED;
        }
        // Rows expanded every fourth row; a band that does not start on such a row expands
        // them on its first row too.
        const bool refreshRow = r % 4 == 0 || r == band->firstRow;
        const PackedRow row = {r, (r + 128) >> 8, (r + 128) & 255, refreshRow};
        if (refreshRow) RefreshGroupRows(c, s, t, width, r, flags);
        if (!localCurve && s->offsetFadeEnabled)
            RefreshHighlightRows(c, s, t, width, height, r, refreshRow);
        if (localCurve) RefreshReferenceLines(c, s, width, r, refreshRow);
        ExpandGainRow8(0, r - band->firstRow, width, s->workerRows16[t], 0,
                       GainGridRow(s, r, height), s->gainTable, s->valueShift, 8);

        if (flags.darkAllZero && flags.brightAllZero)
            FuseOutputRowRefOnlyPacked422(c, row);
        else if (flags.brightAllZero)
            FuseOutputRowOneSecondaryPacked422(c, row, true);
        else if (flags.darkAllZero)
            FuseOutputRowOneSecondaryPacked422(c, row, false);
        else
            FuseOutputRowPacked422(c, row);
    }
    return RESULT_OK;
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
        for (int32_t x = 0; x < width; ++x) out[x] = in[2 * x];
    }
    s->bandReferenceLuma = copy;
    return RESULT_OK;
}

#include "band_common.h"

#include "filters/grid_rows.h"
#include "filters/local_gain.h"
#include "fusion/grid_rows32.h"

namespace {

// Block planes the band expands in normal mode.
enum BlockPlane { kShadowPlane = 0, kHighlightPlane = 2, kChromaUPlane = 5, kChromaVPlane = 6 };
enum WorkerRow { kRowReference = 0, kRowDark, kRowBright, kRowMask };

bool FineGridsPresent(const HdrSession *s, int t) {
    for (int k = 0; k < kFineGridCount; ++k)
        if (!s->fineGrids[k] || !s->mapLineBuffers[t + 4 * k]) return false;
    return true;
}

// The gain grid row ExpandGainRow8 loads for row r (the current one on a multiple of 8, else
// the next, held at the last row near the bottom).
const uint16_t *GainGridRow(const HdrSession *s, int32_t r, int32_t height) {
    int32_t row = (r & 7) == 0 ? r >> 3 : (r < height - 16 ? (r >> 3) + 1 : s->gainGridRows - 1);
    row = std::clamp(row, 0, s->gainGridRows - 1);
    return reinterpret_cast<const uint16_t *>(s->gainGrid + static_cast<int64_t>(row) *
                                                                s->gainGridStride);
}

}  // namespace

bool BandBuffersPresent(const HdrSession *s, int t, bool localCurve, BandReads reads) {
    const bool common =
        s->paddedBlockPlanes[0] && s->paddedBlockPlanes[1] && s->offsetRows[t] &&
        s->fusionWeightGrids[kWeightReference] && s->fusionWeightGrids[kWeightDark] &&
        s->fusionWeightGrids[kWeightBright] && s->workerRows[0][t] && s->workerRows[1][t] &&
        s->workerRows[2][t] && s->workerRows[3][t] && s->warpBuffer[t] && s->runLists[0][t] &&
        s->runLists[1][t] && s->spanBounds[t] && s->spanTypes[t] && s->gainGrid &&
        s->gainGridRows > 0 && s->gainTable && s->toneTable && s->chromaTable &&
        s->outputPlanes[0];
    if (!common) return false;
    if (reads.recoveryMask && !s->recoveryMaskGrid) return false;
    if (reads.workerGainRows && !s->workerRows16[t]) return false;
    if (localCurve) return s->localCurveFusionTable && FineGridsPresent(s, t);
    return s->fusionTable && s->gammaExpandTable && s->paddedBlockPlanes[kHighlightPlane] &&
           s->paddedBlockPlanes[kChromaUPlane] && s->paddedBlockPlanes[kChromaVPlane];
}

void SetUpBandContext(BandContext &c, const HdrSession *s, int t, int32_t width, int32_t height,
                      const RegionRect &rect) {
    c.session = s;
    c.localCurve = s->lowResMapsReady != 0;
    c.x0 = static_cast<int32_t>(rect.x);
    c.x1 = c.x0 + static_cast<int32_t>(rect.width);
    c.right = c.x1;
    c.top = static_cast<int32_t>(rect.y);
    c.bottom = c.top + rect.height;
    c.width = width;
    c.height = height;
    c.meshCols = s->meshCols;
    c.meshRows = s->meshRows;
    c.xOffsets = {s->offsetGridX[0], s->offsetGridX[1]};
    c.yOffsets = {s->offsetGridY[0], s->offsetGridY[1]};
    c.xSlopes = {s->slopeGridX[0], s->slopeGridX[1]};
    c.ySlopes = {s->slopeGridY[0], s->slopeGridY[1]};
    c.tables = {c.localCurve ? s->localCurveFusionTable : s->fusionTable, s->valueShift,
                s->gammaExpandTable, s->toneTable, s->chromaTable};
    for (int k = 0; k < 4; ++k) c.offsetRows[k] = s->offsetRows[t] + static_cast<int64_t>(k) * width;
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
    rows.shadow = c.offsetRows[kShadowRow];
    rows.highlightLuma = c.offsetRows[kHighlightLumaRow];
    rows.highlightU = c.offsetRows[kHighlightURow];
    rows.highlightV = c.offsetRows[kHighlightVRow];
    c.warp = s->warpBuffer[t];
    c.runs[0] = s->runLists[0][t];
    c.runs[1] = s->runLists[1][t];
    c.runCounts[0] = c.runCounts[1] = 0;
    c.spanBounds = s->spanBounds[t];
    c.spanTypes = s->spanTypes[t];
}

TileMotion MotionOfTile(const BandContext &c, const BandRow &row, int32_t a, bool dark) {
    const auto pick = [dark](const MeshGridPair &p) { return dark ? p.dark : p.bright; };
    TileMotion m;
    m.x = InterpolateMesh(pick(c.xOffsets), pick(c.xSlopes), c.meshCols, c.meshRows, row.meshRow,
                          row.meshFrac, a);
    m.y = InterpolateMesh(pick(c.yOffsets), pick(c.ySlopes), c.meshCols, c.meshRows, row.meshRow,
                          row.meshFrac, a);
    m.whole = (m.x.disp & 0xFFFF) == 0 && (m.y.disp & 0xFFFF) == 0 && m.x.step == 0 &&
              m.y.step == 0;
    return m;
}

void RefreshSecondaryLines(const BandContext &c, const BandRow &row, int32_t a, int32_t b,
                           bool dark) {
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

void RefreshHighlightLumaRow(const BandContext &c, int32_t r) {
    const HdrSession *s = c.session;
    InterpolateGridRow32(c.offsetRows[kHighlightLumaRow], c.x0, c.x1, (r + 16) >> 5,
                         s->paddedBlockPlanes[kHighlightPlane], s->blocksAcross + 2,
                         (r + 16) & 31);
}

bool DarkOverlapInside(const BandContext &c, int32_t r) {
    const HdrSession *s = c.session;
    const int32_t dx = s->globalShift[0], dy = s->globalShift[1];
    const int32_t ox = static_cast<int32_t>(s->overlapRect.x);
    const int32_t ow = static_cast<int32_t>(s->overlapRect.width);
    const int32_t darkRow = r - dy;
    return darkRow >= 0 && darkRow < c.height && ox >= 0 && ox + ow <= c.width && ox - dx >= 0 &&
           ox + ow - dx <= c.width;
}

namespace band_detail {

// The rows expanded every fourth row: weights with the run lists, then the recovery rows.
void RefreshGroupRows(BandContext &c, HdrSession *s, int t, int32_t r, BandFlags &flags) {
    RefreshWeightRows(c, s, t, r, flags);
    RefreshRecoveryRows(c, s, t, r);
}

void RefreshWeightRows(BandContext &c, HdrSession *s, int t, int32_t r, BandFlags &flags) {
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
    c.runCounts[0] = s->runListLengths[0][t];
    c.runCounts[1] = s->runListLengths[1][t];
}

void RefreshRecoveryRows(const BandContext &c, HdrSession *s, int t, int32_t r) {
    const int32_t gy = (r + 16) >> 5, v = (r + 16) & 31;
    const int32_t stride = s->blocksAcross + 2;
    InterpolateGridRowSparse32(s->workerRows[kRowMask][t], c.x0, c.x1, gy, s->recoveryMaskGrid,
                               stride, v);
    if (c.localCurve) return;
    InterpolateGridRow32(c.offsetRows[kShadowRow], c.x0, c.x1, gy,
                         s->paddedBlockPlanes[kShadowPlane], stride, v);
    InterpolateGridRow32(c.offsetRows[kHighlightURow], c.x0, c.x1, gy,
                         s->paddedBlockPlanes[kChromaUPlane], stride, v);
    InterpolateGridRow32(c.offsetRows[kHighlightVRow], c.x0, c.x1, gy,
                         s->paddedBlockPlanes[kChromaVPlane], stride, v);
}

// Local-curve mode: the reference's map lines over the whole row (luma every row, U and V on
// refresh rows).
void RefreshReferenceLines(const BandContext &c, int32_t r, bool refreshRow) {
    const HdrSession *s = c.session;
    const int32_t b = (r + 4) >> 3, wy = (r + 4) & 7;
    const int32_t stride = s->fineGridStride + 2, rows = s->fineGridRows + 2;
    InterpolateGridRow8(c.mapLines[kMapLumaReference], 0, c.width, b,
                        s->fineGrids[kMapLumaReference], stride, rows, wy);
    if (!refreshRow) return;
    InterpolateGridRow8(c.mapLines[kMapU], 0, c.width, b, s->fineGrids[kMapU], stride, rows, wy);
    InterpolateGridRow8(c.mapLines[kMapV], 0, c.width, b, s->fineGrids[kMapV], stride, rows, wy);
}

void ExpandBandGainRow(const BandContext &c, HdrSession *s, int t, int32_t bandRow, int32_t r) {
    ExpandGainRowInto(c, s, s->workerRows16[t], bandRow, r);
}

void ExpandGainRowInto(const BandContext &c, const HdrSession *s, uint16_t *rows,
                       int32_t bandRow, int32_t r) {
    ExpandGainRow8(0, bandRow, c.width, rows, 0, GainGridRow(s, r, c.height), s->gainTable,
                   s->valueShift, 8);
}

void ClearHighlightLumaRow(const BandContext &c) {
    std::fill(c.offsetRows[kHighlightLumaRow] + c.x0, c.offsetRows[kHighlightLumaRow] + c.x1,
              int16_t{0});
}

}  // namespace band_detail

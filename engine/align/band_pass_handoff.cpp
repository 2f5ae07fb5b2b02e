#include "band_pass_handoff.h"

#include <algorithm>
#include <cstddef>

#include "align/aligned_block_planes.h"
#include "align/block_level_planes.h"
#include "core/memory.h"
#include "core/session.h"
#include "filters/box_filter.h"

namespace {

constexpr int32_t kLevelCodes = 256;
constexpr int32_t kDefaultNodeShift = 8;

size_t PaddedCells(const HdrSession *s) {
    return static_cast<size_t>(s->paddedBlocksAcross) * static_cast<size_t>(s->paddedBlocksDown);
}

bool ValidIndex(int32_t i, int32_t count) { return i >= 0 && i < count; }

// The two-call merge plans its weights at full resolution and leaves them, finalised, in the
// fusion weight grids; it makes no block weights. Its grids are kept as they are.
bool KeepsFinalisedWeights(const HdrSession *s) {
    return !s->blockWeights[0] && !s->blockWeights[1] && !s->blockWeights[2];
}

bool HasRequiredInputs(const HdrSession *s, int32_t count) {
    if (!s->reciprocalTable || !s->weightTable || !s->gammaExpandTable || !s->toneTable ||
        !s->gammaCompressTable || !s->blockStats)
        return false;
    for (int k = 0; k < 3; ++k)
        if (!s->paddedBlockPlanes[k] || !s->fusionWeightGrids[k] ||
            (!s->blockWeights[k] && !KeepsFinalisedWeights(s)))
            return false;
    if (!ValidIndex(s->darkIndex, count) || !ValidIndex(s->brightIndex, count) ||
        !ValidIndex(s->referenceIndex, count))
        return false;
    return s->exposureLuts[s->darkIndex] && s->exposureLuts[s->brightIndex] &&
           s->exposureLuts[s->referenceIndex] && s->paddedBlocksAcross >= 1 &&
           s->paddedBlocksDown >= 1;
}

// Replaces *slot with a fresh zero-filled block of count elements.
template <typename T>
bool Renew(MemoryContext memory, T *&slot, uint64_t count) {
    FreeAndClear(memory, slot);
    slot = AllocateZeroed<T>(memory, count);
    return slot != nullptr;
}

// Step 3: a slot's grids take its global shift, give their slopes, then move to 1/256 pixel.
void ShiftAndScaleGrid(int32_t *grid, int32_t *slope, int32_t cols, int32_t rows, int32_t shift,
                       int32_t scale) {
    const size_t n = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    for (size_t i = 0; i < n; ++i) grid[i] += shift;
    for (int32_t r = 0; r < rows; ++r) {
        const int32_t *row = grid + static_cast<size_t>(r) * cols;
        int32_t *out = slope + static_cast<size_t>(r) * cols;
        for (int32_t c = 0; c + 1 < cols; ++c) out[c] = row[c + 1] - row[c];
    }
    for (size_t i = 0; i < n; ++i) grid[i] *= scale;
}

int PrepareMotionGrids(MemoryContext memory, HdrSession *s, const int32_t *shiftList) {
    const int32_t cols = s->meshCols;
    const int32_t rows = s->meshRows;
    const int32_t nodeShift = s->meshConstants[3] > 0 ? s->meshConstants[3] : kDefaultNodeShift;
    for (int slot = 0; slot < kMaxExposures; ++slot) {
        if (!s->offsetGridX[slot] || !s->offsetGridY[slot]) continue;
        if (cols < 1 || rows < 1) return RESULT_INVALID_ARGUMENT;
        const uint64_t nodes = static_cast<uint64_t>(cols) * static_cast<uint64_t>(rows);
        if (!Renew(memory, s->slopeGridX[slot], nodes) ||
            !Renew(memory, s->slopeGridY[slot], nodes))
            return RESULT_OUT_OF_MEMORY;
        ShiftAndScaleGrid(s->offsetGridX[slot], s->slopeGridX[slot], cols, rows,
                          shiftList[2 * slot], 1 << nodeShift);
        ShiftAndScaleGrid(s->offsetGridY[slot], s->slopeGridY[slot], cols, rows,
                          shiftList[2 * slot + 1], 1 << nodeShift);
    }
    return RESULT_OK;
}

void FillLevelTables(const HdrSession *s, uint16_t *d) {
    const uint16_t *expand = s->gammaExpandTable;
    const uint16_t *dark = s->exposureLuts[s->darkIndex];
    const uint16_t *bright = s->exposureLuts[s->brightIndex];
    const uint16_t *reference = s->exposureLuts[s->referenceIndex];
    for (int k = 0; k < kLevelCodes; ++k) {
        const int level = std::min<int>(expand[k], 4095);
        d[kFusionDarkSegment + k] = dark[level];
        d[kFusionBrightSegment + k] = bright[level];
        d[kFusionReferenceSegment + k] = reference[level];
    }
}

void ScaleLevels(uint16_t *levels, int32_t shift) {
    if (shift <= 0) return;
    for (int k = 0; k < kLevelCodes; ++k)
        levels[k] = static_cast<uint16_t>(static_cast<uint32_t>(levels[k]) << std::min(shift, 16));
}

// Step 5: the block level difference plane, the highlight excess and the recovery mask.
int PrepareBlockPlanes(MemoryContext memory, HdrSession *s, int32_t count, const uint16_t *d) {
    const int32_t w = s->paddedBlocksAcross;
    const int32_t h = s->paddedBlocksDown;
    const uint8_t *cmp = s->gammaCompressTable;
    int16_t *dark = s->paddedBlockPlanes[0];
    int16_t *excess = s->paddedBlockPlanes[2];
    int r = RESULT_OK;
    if (count == 3) {
        LimitHighlightExcess(s, dark, excess, w, h, d, cmp);
        r = BoxFilterPlane16(memory, excess, w, h, w, 1, 1);
        if (r != RESULT_OK) return r;
    } else {
        // Without a bright exposure there is no highlight to recover.
        FillBytes(excess, 0, PaddedCells(s) * sizeof(int16_t));
    }
    ComputeBlockLevelDifference(dark, s->paddedBlockPlanes[1], w, h, d, cmp,
                                s->statsLevelFlag == 0 ? 0 : 2);
    int16_t *scratch = s->blockStats + kBlockPlaneScratch * PaddedCells(s);
    DespeckleBlockPlane(dark, scratch, w, h);
    CopyBytes(dark, scratch, PaddedCells(s) * sizeof(int16_t));
    r = BoxFilterPlane16(memory, dark, w, h, w, 1, 1);
    if (r != RESULT_OK) return r;
    if (s->offsetFadeEnabled)
        r = BuildRecoveryMask(memory, s, s->paddedBlockPlanes[3], s->paddedBlockPlanes[4],
                              s->paddedBlockPlanes[5], s->paddedBlockPlanes[6],
                              s->paddedBlockPlanes[1], w, h);
    return r;
}

void FillSharedSections(const HdrSession *s, int32_t count, uint16_t *table) {
    std::copy(s->weightTable, s->weightTable + kLevelCodes, table + kFusionWeightCurve);
    for (int32_t i = 0; i < kLevelCodes * count; ++i)
        table[kFusionReciprocals + i] = static_cast<uint16_t>(s->reciprocalTable[i]);
}

void FillLocalCurveLevels(const HdrSession *s, uint16_t *e) {
    for (int k = 0; k < kLevelCodes; ++k) {
        e[kFusionDarkSegment + k] = 0;
        e[kFusionBrightSegment + k] = static_cast<uint16_t>(s->gammaExpandTable[k] * 4);
        e[kFusionReferenceSegment + k] = static_cast<uint16_t>(s->gammaExpandTable[255] * 4);
    }
}

void StoreOutputPlanes(HdrSession *s, ImageDesc *outputs, int32_t count, int32_t outputIndex) {
    const bool second = outputIndex == 2 && count > outputIndex;
    for (int p = 0; p < 3; ++p) {
        s->outputPlanes[p] = outputs[s->referenceIndex].ppu8Plane[p];
        s->alternativeOutputPlanes[0][p] = outputs[0].ppu8Plane[p];
        s->alternativeOutputPlanes[1][p] = second ? outputs[1].ppu8Plane[p] : nullptr;
    }
}

}  // namespace

int AllocateBandWorkerBuffers(MemoryContext memory, HdrSession *s, int32_t t, int32_t width,
                              int32_t processRight) {
    if (!s || t < 0 || t >= kWorkerCount || width < 1 || processRight < 0 ||
        s->paddedBlocksAcross < 1)
        return RESULT_INVALID_ARGUMENT;
    const int64_t c = s->paddedBlocksAcross;
    if (!Renew(memory, s->runLists[0][t], static_cast<uint64_t>(10 * c)))
        return RESULT_OUT_OF_MEMORY;
    s->runLists[1][t] = s->runLists[0][t] + c;
    s->spanBounds[t] = s->runLists[0][t] + 2 * c;
    s->spanTypes[t] = s->runLists[0][t] + 4 * c;
    s->offsetRowsCapacity[t] = 0;
    if (!Renew(memory, s->offsetRows[t], static_cast<uint64_t>(4 * int64_t{width} + 256)))
        return RESULT_OUT_OF_MEMORY;
    s->offsetRowsCapacity[t] = 4 * int64_t{width} + 256;
    for (auto &rows : s->workerRows)
        if (!Renew(memory, rows[t], static_cast<uint64_t>(std::max(processRight, 1))))
            return RESULT_OUT_OF_MEMORY;
    if (!Renew(memory, s->warpBuffer[t], static_cast<uint64_t>(int64_t{width} + 64) * 16))
        return RESULT_OUT_OF_MEMORY;
    return RESULT_OK;
}

int PrepareBandPassInputs(MemoryContext memory, HdrSession *s, uint8_t *const *, int32_t count,
                          ImageDesc *outputs, int32_t outputIndex, int32_t width, int64_t, int64_t,
                          const RegionRect *processRect, int64_t, const int32_t *shiftList) {
    if (!s || !outputs || !processRect || !shiftList || count < 1 || count > kMaxExposures ||
        width < 1)
        return RESULT_INVALID_ARGUMENT;
    if (!HasRequiredInputs(s, count)) return RESULT_OUT_OF_MEMORY;
    const int64_t processRight = int64_t{processRect->x} + processRect->width;
    if (processRight > INT32_MAX) return RESULT_INVALID_ARGUMENT;

    int r = AllocateBandWorkerBuffers(memory, s, 0, width, static_cast<int32_t>(processRight));
    if (r != RESULT_OK) return r;
    if (!Renew(memory, s->fusionTable, kFusionTableEntries) ||
        !Renew(memory, s->localCurveFusionTable, kFusionTableEntries))
        return RESULT_OUT_OF_MEMORY;
    uint16_t *d = s->fusionTable;
    uint16_t *e = s->localCurveFusionTable;

    r = PrepareMotionGrids(memory, s, shiftList);
    if (r != RESULT_OK) return r;
    FillLevelTables(s, d);
    r = PrepareBlockPlanes(memory, s, count, d);
    if (r != RESULT_OK) return r;

    ScaleLevels(d + kFusionDarkSegment, s->valueShift);
    if (count != 2)
        ScaleLevels(d + kFusionReferenceSegment, s->valueShift - s->referenceValueShift);
    const size_t weightBytes = PaddedCells(s) * sizeof(int16_t);
    if (!KeepsFinalisedWeights(s))
        for (int k : {kWeightDark, kWeightBright, kWeightReference})
            CopyBytes(s->fusionWeightGrids[k], s->blockWeights[k], weightBytes);
    if (s->lowResMapsReady) FillLocalCurveLevels(s, e);
    FillSharedSections(s, count, d);
    FillSharedSections(s, count, e);

    s->planeWidths[0] = width;
    StoreOutputPlanes(s, outputs, count, outputIndex);
    return RESULT_OK;
}

int BuildMotionFields(MemoryContext memory, HdrSession *s, ImageDesc *outputs, int32_t outputIndex,
                      const RegionRect *processRect, int64_t, const int32_t *shiftList) {
    if (!s || !s->inputImages || !outputs || !processRect) return RESULT_INVALID_ARGUMENT;
    const int32_t count = s->exposureCount;
    if (count < 1 || count > kMaxExposures) return RESULT_INVALID_ARGUMENT;
    uint8_t *planes[kMaxExposures] = {};
    for (int32_t i = 0; i < count; ++i) planes[i] = s->inputImages[i].ppu8Plane[0];
    const int32_t width = s->inputImages[0].i32Width;
    int r = PrepareBandPassInputs(memory, s, planes, count, outputs, outputIndex, width, 0, 0,
                                  processRect, 0, shiftList);
    if (r != RESULT_OK) return r;
    for (int32_t t = 1; t < kWorkerCount; ++t) {
        r = AllocateBandWorkerBuffers(memory, s, t, width,
                                      static_cast<int32_t>(processRect->x + processRect->width));
        if (r != RESULT_OK) return r;
    }
    return RESULT_OK;
}

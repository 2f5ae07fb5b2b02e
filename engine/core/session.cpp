// The session record: defaults, tables, the per-run blocks of plain data and the levels.
#include "session.h"

#include "constant_tables.h"
#include "image.h"
#include "memory.h"

namespace {

constexpr int kLevels = 4096;

// Allocates the tables that live as long as the session, storing each block as soon as it is
// obtained so that a failure part-way leaves nothing DestroyHdrSession cannot find.
int AllocateSessionTables(MemoryContext memory, HdrSession *s) {
    s->toneTable = static_cast<uint8_t *>(AllocateMemory(memory, kToneTableBlockBytes));
    if (!s->toneTable) return RESULT_OUT_OF_MEMORY;
    FillBytes(s->toneTable, 0, kToneTableBlockBytes);
    s->reciprocalTable = AllocateZeroed<int32_t>(memory, kReciprocalTableSize);
    if (!s->reciprocalTable) return RESULT_OUT_OF_MEMORY;
    s->contrastCurve = AllocateZeroed<uint16_t>(memory, kLevels);
    if (!s->contrastCurve) return RESULT_OUT_OF_MEMORY;
    s->chromaTable = AllocateZeroed<uint8_t>(memory, 2 * kLevels);
    if (!s->chromaTable) return RESULT_OUT_OF_MEMORY;
    s->chromaTable2 = s->chromaTable + kLevels;
    s->gainTable = AllocateZeroed<uint16_t>(memory, kGainTableSize);
    if (!s->gainTable) return RESULT_OUT_OF_MEMORY;
    for (uint8_t *&table : s->curveTables) {
        table = AllocateZeroed<uint8_t>(memory, 256);
        if (!table) return RESULT_OUT_OF_MEMORY;
    }
    return RESULT_OK;
}

void FillReciprocalTable(int32_t *table) {
    table[0] = 0;
    for (int i = 1; i < kReciprocalTableSize; ++i) table[i] = 32768 / i;
}

void SetSessionDefaults(HdrSession *s, int32_t option) {
    s->gammaExpandTable = kGammaExpandTable;
    s->gammaCompressTable = kGammaCompressTable;
    s->bitCountTable = kBitCountTable;
    s->weightTable = kWeightTable;
    s->alignPyramidDepth = 3;
    s->pixelsPerSample = 64;
    s->offsetFadeEnabled = 1;
    s->createOption = option;
    s->toneLength = 25;
    s->brightness = 0;
    s->ghostLevel = 0;
}

template <typename T, size_t N>
void FreeEach(MemoryContext memory, T *(&blocks)[N]) {
    for (T *&block : blocks) FreeAndClear(memory, block);
}

void ReleaseBandBuffers(MemoryContext memory, HdrSession *s) {
    for (int t = 0; t < kWorkerCount; ++t) {
        // The run-list block also holds the second run list and the span lists.
        FreeAndClear(memory, s->runLists[0][t]);
        s->runLists[1][t] = nullptr;
        s->spanBounds[t] = nullptr;
        s->spanTypes[t] = nullptr;
        FreeAndClear(memory, s->offsetRows[t]);
        s->offsetRowsCapacity[t] = 0;
        FreeAndClear(memory, s->warpBuffer[t]);
        for (auto &rows : s->workerRows) FreeAndClear(memory, rows[t]);
        FreeAndClear(memory, s->workerRows16[t]);
        // Slot t owns the worker's block of nine line buffers; slots t + 4k point into it.
        FreeAndClear(memory, s->mapLineBuffers[t]);
        for (int k = 1; k < 9; ++k) s->mapLineBuffers[t + 4 * k] = nullptr;
    }
    FreeAndClear(memory, s->bandReferenceLuma);
}

void ReleasePlanningMaps(MemoryContext memory, HdrSession *s) {
    FreeAndClear(memory, s->gainGrid);
    // The nine correction maps come in three blocks of three.
    for (int block = 0; block < 3; ++block) {
        FreeAndClear(memory, s->fineGrids[3 * block]);
        s->fineGrids[3 * block + 1] = nullptr;
        s->fineGrids[3 * block + 2] = nullptr;
    }
    FreeAndClear(memory, s->localCurveFusionTable);
    // The reference weight grid starts the block that holds all three grids and the masks.
    FreeAndClear(memory, s->blockWeights[kWeightReference]);
    s->blockWeights[kWeightDark] = s->blockWeights[kWeightBright] = nullptr;
    for (uint8_t *&mask : s->ghostMasks) mask = nullptr;
    FreeAndClear(memory, s->ghostMap);
    FreeEach(memory, s->contrastWeightMaps);
}

void ReleaseSmallImages(MemoryContext memory, HdrSession *s) {
    DestroyImage(&s->previewImage, memory);
    DestroyImage(&s->previewWorkImage, memory);
    for (ImageDesc *&image : s->smallImages) DestroyImage(&image, memory);
    for (ImageDesc *&image : s->alignedSmall) DestroyImage(&image, memory);
}

}  // namespace

void ReleaseSessionRunBuffers(MemoryContext memory, HdrSession *s) {
    FreeEach(memory, s->fusionWeightGrids);
    FreeAndClear(memory, s->recoveryMaskGrid);
    FreeEach(memory, s->exposureLuts);
    FreeEach(memory, s->offsetGridX);
    FreeEach(memory, s->offsetGridY);
    FreeEach(memory, s->ringBuffers16);
    FreeEach(memory, s->tileScratch);
    FreeAndClear(memory, s->tileLevelMin);
    s->tileLevelMax = nullptr;
    FreeEach(memory, s->slopeGridX);
    FreeEach(memory, s->slopeGridY);
    FreeEach(memory, s->histograms);
    FreeEach(memory, s->matchedMotionX);
    FreeEach(memory, s->matchedMotionY);
    FreeEach(memory, s->matchedExtra);
    FreeAndClear(memory, s->blockStats);
    for (int16_t *&plane : s->paddedBlockPlanes) plane = nullptr;
    FreeAndClear(memory, s->fusionTable);
    ReleaseBandBuffers(memory, s);
    ReleasePlanningMaps(memory, s);
    ReleaseSmallImages(memory, s);
    for (uint8_t *&plane : s->outputPlanes) plane = nullptr;
}

int SetUpSession(MemoryContext memory, HdrSession *s, int32_t option) {
    SetSessionDefaults(s, option);
    const int result = AllocateSessionTables(memory, s);
    if (result != RESULT_OK) return result;
    FillReciprocalTable(s->reciprocalTable);
    return RESULT_OK;
}

void ReleaseSessionTables(MemoryContext memory, HdrSession *s) {
    FreeAndClear(memory, s->toneTable);
    FreeAndClear(memory, s->contrastCurve);
    FreeAndClear(memory, s->chromaTable);
    s->chromaTable2 = nullptr;
    FreeAndClear(memory, s->reciprocalTable);
    FreeEach(memory, s->curveTables);
    FreeAndClear(memory, s->gainTable);
}

void ResetMergeRunState(HdrSession *s) {
    s->pendingStatus = 0;
    s->progressBase = 0;
    s->sceneClass = 0;
    s->statsLevelFlag = 0;
    s->deepShadowFlag = 0;
    s->darkLacksHighlights = 0;
    s->alignGradientMode = 0;
    s->alignPyramidDepth = 3;
    for (int32_t &v : s->globalShift) v = 0;
    for (int32_t &v : s->darkBrightShift) v = 0;
    for (int32_t &v : s->misaligned) v = 0;
    s->processRect = {};
    s->overlapRect = {};
    for (int32_t &v : s->cropRect) v = 0;
    s->splitRow = 0;
}

// A null session is refused rather than written through.
int SetGhostSuppressionLevel(int64_t, HdrSession *s, int32_t level) {
    if (!s) return RESULT_INVALID_ARGUMENT;
    s->ghostLevel = level < 0 ? 0 : (level > 10 ? 10 : level);
    return RESULT_OK;
}

int SetAuxMode(int64_t, HdrSession *s, int32_t value) {
    if (!s) return RESULT_INVALID_ARGUMENT;
    s->auxMode = value;
    return RESULT_OK;
}

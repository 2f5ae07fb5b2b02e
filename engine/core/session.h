// The state of one merge. Created zero-filled by CreateHdrSession; the per-run buffers are
// freed by ReleasePipelineBuffers after every run, the rest by DestroyHdrSession.
#pragma once

#include <cstdint>

#include "engine_types.h"
#include "job_runner.h"
#include "threads.h"

struct FeatureTracker;

constexpr int kMaxExposures = 3;
constexpr int kWorkerCount = 4;
constexpr int kToneTableBlockBytes = 8448;
constexpr int kSavedToneTableOffset = 4352;  // saved copy of the tone table inside its block
constexpr int kReciprocalTableSize = 24576;
constexpr int kGainTableSize = 65536;
constexpr int kFineGridCount = 9;
constexpr int kBlockStatPlanes = 12;

// Named indices of blockWeights and fusionWeightGrids: the stages list the three in
// different orders, so nothing indexes them by bare numbers.
enum WeightGridIndex { kWeightReference = 0, kWeightDark = 1, kWeightBright = 2 };

// The three 256-bin histograms (luma, U, V) of one exposure slot, in one block.
using ExposureHistograms = int32_t[3][256];

struct HdrSession {
    // Constant tables (point at constant data; never freed).
    const uint16_t *gammaExpandTable;
    const uint8_t *gammaCompressTable;
    const uint8_t *bitCountTable;
    const uint16_t *weightTable;

    // Options and levels.
    int32_t createOption;
    int32_t ghostLevel;
    int32_t auxMode;
    int32_t toneLength;
    int32_t brightness;
    int32_t toneSaturation;

    // Tone tables, built from the levels; live as long as the session.
    int32_t *reciprocalTable;
    uint16_t *contrastCurve;
    uint8_t *chromaTable;   // first 4096 bytes of the chroma block
    uint8_t *chromaTable2;  // the next 4096 bytes
    int32_t contrastLevel;
    int32_t saturationLevel;
    int32_t saturationFamily;  // the curve family the chroma tables hold: 0 plain, 1 variant
    uint8_t *toneTable;  // kToneTableBlockBytes; saved copy at kSavedToneTableOffset
    int32_t toneTableComposed;  // 1 while the live tone table carries a brightness curve
    int32_t offsetFadeEnabled;
    uint8_t *curveTables[4];
    uint16_t *gainTable;

    // Exposure set.
    int32_t exposureCount;
    ImageDesc *inputImages;
    int32_t darkIndex;
    int32_t brightIndex;
    int32_t referenceIndex;
    double exposureGain[kMaxExposures];
    int32_t exposureGainQ10[kMaxExposures];
    uint16_t *exposureLuts[kMaxExposures];
    int32_t preparedByRun;

    // Frame and block grid.
    int32_t frameWidth;
    int32_t frameHeight;
    int32_t framePitch;
    int32_t blockWidth;
    int32_t blockHeight;
    int32_t blocksAcross;
    int32_t blocksDown;
    int32_t paddedBlocksAcross;
    int32_t paddedBlocksDown;
    int16_t *blockStats;  // kBlockStatPlanes planes of the padded block grid
    ExposureHistograms *histograms[kMaxExposures];
    int32_t meshConstants[7];
    ImageDesc *smallImages[kMaxExposures];
    ImageDesc *alignedSmall[kMaxExposures];
    ImageDesc *previewImage;
    ImageDesc *previewWorkImage;
    float *matchedMotionX[kMaxExposures];  // 128 floats each
    float *matchedMotionY[kMaxExposures];
    int32_t *matchedExtra[kMaxExposures];
    PixelRect overlapBounds[kMaxExposures];  // thumbnail pixels

    // Alignment results.
    FeatureTracker *tracker;
    ImageDesc *workImage;
    int32_t featureCount;
    float *featureX;  // start of the 2048-byte feature block
    float *featureY;
    float *featureArrays[2];
    int32_t registrationSetting;
    float *registrationGrids[5];  // 128 floats each
    int32_t globalShift[8];
    int32_t darkBrightShift[4];  // dark dx, bright dx, dark dy, bright dy
    int32_t misaligned[kMaxExposures];
    int32_t alignPyramidDepth;
    int32_t alignGradientMode;
    int32_t alignStridedPyramid;
    int32_t alignThresholds[6];
    int32_t localAlignSet;  // 1: the pair aligner matches the darkest exposure, else the brightest
    float globalOffsetEstimate[2];
    int32_t meshCols;
    int32_t meshRows;
    int32_t *offsetGridX[kMaxExposures];
    int32_t *offsetGridY[kMaxExposures];
    int16_t *paddedBlockPlanes[7];  // point into blockStats
    int32_t *slopeGridX[kMaxExposures];
    int32_t *slopeGridY[kMaxExposures];
    int32_t pixelsPerSample;

    // Scene statistics.
    int32_t sceneThresholds[5];
    int32_t sceneClass;
    int32_t valueShift;
    int32_t referenceValueShift;
    int32_t statsLevelFlag;
    int32_t deepShadowFlag;
    int32_t darkLacksHighlights;
    int32_t refBrightChromaOffsetU;
    int32_t refBrightChromaOffsetV;
    int32_t lowRampStep;
    int32_t highQuantileIndex;
    int32_t lowQuantileIndex;

    // Rectangles.
    RegionRect processRect;
    RegionRect overlapRect;
    int32_t cropRect[4];  // top, left, bottom, right
    int32_t splitRow;

    // Planning maps.
    int16_t *contrastWeightMaps[kMaxExposures];  // dark, bright, reference
    int16_t *ghostMap;
    int16_t *blockWeights[3];  // WeightGridIndex; one block together with ghostMasks
    uint8_t *ghostMasks[4];
    int32_t fineGridStride;
    int32_t fineGridRows;
    int16_t *fineGrids[kFineGridCount];  // three blocks of three
    int32_t lowResMapsReady;
    int32_t darkShareQ10;
    int16_t *fusionWeightGrids[3];  // WeightGridIndex
    int32_t movingRegionMode;   // 0 none, 1 a moving region goes to the reference, 2 an exposure dropped
    int32_t droppedExposure;    // 1 the darkest exposure folded into the reference, 2 the brightest
    int32_t resultOverrideFlag;
    int32_t quarterGridWidth;   // quarter grids of the deghosting stage
    int32_t quarterGridHeight;
    int16_t *recoveryMaskGrid;

    // Full-resolution tone.
    int32_t planeWidths[3];
    int16_t *gainGrid;
    int32_t gainGridStride;
    int32_t gainGridRows;
    uint16_t *fusionTable;
    uint16_t *localCurveFusionTable;

    // Band buffers, per worker.
    int32_t *runLists[2][kWorkerCount];  // runLists[0][t] starts the worker's block
    int32_t runListLengths[2][kWorkerCount];
    int32_t *spanBounds[kWorkerCount];
    int32_t *spanTypes[kWorkerCount];
    int16_t *offsetRows[kWorkerCount];
    int64_t offsetRowsCapacity[kWorkerCount];  // values each offsetRows slot holds
    uint8_t *warpBuffer[kWorkerCount];
    int16_t *workerRows[4][kWorkerCount];
    uint16_t *workerRows16[kWorkerCount];
    int16_t *mapLineBuffers[9 * kWorkerCount];  // slot t + 4k; slots 0..3 own the blocks
    uint8_t *outputPlanes[3];
    // The reference's luma as the caller supplied it (frame width x height, one byte a pixel),
    // copied before the band pass renders the reference in place; the fetches' border
    // estimates read it, so no band reads pixels another band has fused.
    uint8_t *bandReferenceLuma;
    uint8_t *alternativeOutputPlanes[2][3];
    uint16_t *ringBuffers16[3];
    // The two-call merge's 16-bit intermediate (planes in alternativeOutputPlanes) and whether
    // it holds a finished merge: set only by a successful merge into it, cleared when one
    // starts, by RunHdrMerge and by ReleasePipelineBuffers.
    IntermediateImage intermediate;
    int32_t intermediateReady;

    // Tile planning of the two-call merge: one scratch block per tile set (windows, cell
    // grids, tile buffers), the reference's block-level range per tile (one block; the
    // maximum grid points into it) and the part of the current tile all windows cover.
    uint8_t *tileScratch[2];
    int16_t *tileLevelMin;
    int16_t *tileLevelMax;
    int32_t tileValidBox[2][4];  // x0, x1, y0, y1

    // Run control.
    int32_t progressBase;
    uint64_t pendingStatus;
    uint32_t preparedImages;  // bit i: image i prepared by the caller, one image at a time
    JobRunner jobRunner;      // how the threaded stages run their jobs; empty: the run's workers
    // How the run's workers and the two-call merge's second thread start; null: StartThread.
    ThreadStarter threadStarter;
    WorkerPool *workerPool;  // the workers of the run in progress; null outside a run
};

// The runner of a threaded stage: the caller's when one is set, else the run's workers, else
// four threads started for the stage.
inline JobRunner StageJobRunner(const HdrSession *s) {
    if (s->jobRunner) return s->jobRunner;
    if (s->workerPool) return JobRunner(s->workerPool);
    return RunParallelJobs;
}

// darkBrightShift is stored as (dark dx, bright dx, dark dy, bright dy); read it by name.
inline int32_t DarkShiftX(const HdrSession &s) { return s.darkBrightShift[0]; }
inline int32_t BrightShiftX(const HdrSession &s) { return s.darkBrightShift[1]; }
inline int32_t DarkShiftY(const HdrSession &s) { return s.darkBrightShift[2]; }
inline int32_t BrightShiftY(const HdrSession &s) { return s.darkBrightShift[3]; }

// Sets the defaults of a zero-filled session and allocates the tables that live as long as it,
// storing each block as soon as it is obtained; the tone curves are built by the caller.
// RESULT_OK or RESULT_OUT_OF_MEMORY.
int SetUpSession(MemoryContext memory, HdrSession *session, int32_t option);

// Frees the tables SetUpSession allocated.
void ReleaseSessionTables(MemoryContext memory, HdrSession *session);

// Frees every per-run block of plain data that is set and clears its pointer. The blocks of a
// stage's own types (registration, the intermediate image) are released by that stage;
// ReleasePipelineBuffers releases them all.
void ReleaseSessionRunBuffers(MemoryContext memory, HdrSession *session);

// Clears the scalar results of the last run (pending status, scene class and flags, shifts,
// rectangles), so that a session used again behaves like a fresh one.
void ResetMergeRunState(HdrSession *session);

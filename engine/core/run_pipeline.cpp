// The merge's stages after the preparation, in their fixed order.
#include <algorithm>

#include "align/aligned_block_planes.h"
#include "align/band_pass_handoff.h"
#include "align/valid_rectangle.h"
#include "band_pass.h"
#include "chroma_stats.h"
#include "exposure_order.h"
#include "filters/crop_rescale.h"
#include "image.h"
#include "memory.h"
#include "plane_border.h"
#include "run_driver.h"
#include "threads.h"
#include "tone_setup.h"
#include "weights/deghost.h"
#include "weights/exposure_weights.h"
#include "weights/lowres_weight_maps.h"
#include "weights/preview_fusion.h"

namespace {

// Adds a step to the progress and tells the caller; RESULT_CANCELLED when asked to stop.
int Report(HdrSession *s, ProgressCallback progress, void *user) {
    if (!progress) return RESULT_OK;
    s->progressBase += kProgressStep;
    return progress(s->progressBase, 0, user) == PROGRESS_CANCEL ? RESULT_CANCELLED : RESULT_OK;
}

int16_t *BlockPlane(HdrSession *s, int k) {
    const int64_t cells = int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown;
    return s->blockStats + k * cells;
}

// From per-image order (dx, dy of images 0, 1, 2) to dark dx, dark dy, bright dx, bright dy.
void ReorderGlobalShifts(HdrSession *s) {
    const int32_t darkX = s->globalShift[2 * s->darkIndex];
    const int32_t darkY = s->globalShift[2 * s->darkIndex + 1];
    const int32_t brightX = s->globalShift[2 * s->brightIndex];
    const int32_t brightY = s->globalShift[2 * s->brightIndex + 1];
    s->globalShift[0] = darkX;
    s->globalShift[1] = darkY;
    s->globalShift[2] = brightX;
    s->globalShift[3] = brightY;
    s->darkBrightShift[0] = darkX;
    s->darkBrightShift[1] = brightX;
    s->darkBrightShift[2] = darkY;
    s->darkBrightShift[3] = brightY;
}

int32_t Magnitude(int32_t v) { return v < 0 ? -v : v; }

int RunPlanningStages(MemoryContext memory, HdrSession *s, ProgressCallback progress, void *user) {
    int r = BuildLowResWeightMaps(memory, s, s->smallImages);
    if (r == RESULT_OK) r = BuildExposureWeightMaps(memory, s, 0);
    if (r == RESULT_OK) r = FuseLowResPreview(memory, s, s->smallImages);
    if (r == RESULT_OK) r = Report(s, progress, user);
    if (r == RESULT_OK) r = DeghostLowRes(memory, s);
    if (r == RESULT_OK) r = Report(s, progress, user);
    return r;
}

// The crop rectangle scaled back to the full frame. The destination is another of the
// exposures; the result is copied back into the reference.
int CropAndRescaleResult(MemoryContext memory, HdrSession *s, ImageDesc *images, int32_t count) {
    if (count < 2) return RESULT_OK;
    const int32_t ref = s->referenceIndex;
    const int32_t other = count == 3 ? s->brightIndex : (ref == 0 ? 1 : 0);
    PixelRect rect = {s->cropRect[1], s->cropRect[0], s->cropRect[3], s->cropRect[2]};
    const JobRunner runner = s->jobRunner ? s->jobRunner : RunParallelJobs;
    const int r = CropAndRescaleWithRunner(memory, &images[ref], &images[other], &rect, runner);
    if (r != RESULT_OK) return r;
    return CopyImage(&images[ref], &images[other]);
}

}  // namespace

int CheckExposureSetAndShifts(MemoryContext memory, HdrSession *s, ImageDesc *inputs) {
    int r = OrderExposures(s, s->exposureGain, s->exposureCount);
    if (r != RESULT_OK) return r;
    if (s->exposureCount == 3 && s->brightIndex != 2 && s->preparedByRun == 0)
        return RESULT_EXPOSURE_ORDER;
    ComputeBlockChromaMeans(s, inputs, s->referenceIndex, BlockPlane(s, 3), BlockPlane(s, 4));
    ComputeBlockChromaMeans(s, inputs, s->darkIndex, BlockPlane(s, 8), BlockPlane(s, 9));
    ReorderGlobalShifts(s);
    const int32_t dx = std::max(Magnitude(s->globalShift[0]), Magnitude(s->globalShift[2]));
    const int32_t dy = std::max(Magnitude(s->globalShift[1]), Magnitude(s->globalShift[3]));
    if (dx > 64 || dy > 64) s->pendingStatus = RESULT_EXCESSIVE_MOTION;
    return PrepareAlignedPlanes(memory, s);
}

int PrepareFullResolutionPass(MemoryContext memory, HdrSession *s, ImageDesc *inputs,
                              int32_t count, ImageDesc *outputs, int32_t outputIndex) {
    ComputeValidRectangle(s, s->globalShift, count, inputs[0].i32Width, inputs[0].i32Height,
                          &s->processRect);
    FreeAndClear(memory, s->ringBuffers16[0]);
    int r = BuildMotionFields(memory, s, outputs, outputIndex, &s->processRect, 0, s->globalShift);
    if (r != RESULT_OK) return r;
    const uint64_t rowValues = 3 * uint64_t(s->planeWidths[0]) + 192;
    for (int t = 0; t < kWorkerCount; ++t) {
        FreeAndClear(memory, s->workerRows16[t]);
        s->workerRows16[t] = AllocateZeroed<uint16_t>(memory, rowValues);
        if (!s->workerRows16[t]) return RESULT_OUT_OF_MEMORY;
    }
    return SetUpToneTables(memory, s, inputs, outputs);
}

int PadMapsAndAllocateLineBuffers(MemoryContext memory, HdrSession *s) {
    const int32_t m = s->fineGridStride;
    const int32_t n = s->fineGridRows;
    const uint64_t padded = uint64_t(m + 2) * uint64_t(n + 2);
    int16_t *temporary = AllocateZeroed<int16_t>(memory, padded);
    if (!temporary) return RESULT_OUT_OF_MEMORY;
    for (int16_t *map : s->fineGrids) {
        if (!map || PadPlane16(map, temporary, m, n) != RESULT_OK) continue;
        CopyBytes(map, temporary, padded * sizeof(int16_t));
    }
    FreeMemory(memory, temporary);
    const uint64_t line = uint64_t(s->frameWidth) + 64;
    for (int t = 0; t < kWorkerCount; ++t) {
        FreeAndClear(memory, s->mapLineBuffers[t]);
        int16_t *block = AllocateZeroed<int16_t>(memory, 9 * line);
        if (!block) return RESULT_OUT_OF_MEMORY;
        for (int k = 0; k < 9; ++k) s->mapLineBuffers[t + 4 * k] = block + k * line;
    }
    return RESULT_OK;
}

int RunMergePipeline(MemoryContext memory, HdrSession *s, ImageDesc *inputs, void *, int32_t count,
                     ImageDesc *outputs, int32_t outputIndex, int64_t, void *,
                     ProgressCallback progress, void *user, int32_t toneLength,
                     int32_t brightness, int32_t toneSaturation) {
    s->brightness = brightness;
    s->toneLength = toneLength;
    s->toneSaturation = toneSaturation;
    s->exposureCount = count;
    s->progressBase = 0;
    int r = CheckExposureSetAndShifts(memory, s, inputs);
    if (r == RESULT_OK) r = Report(s, progress, user);
    if (r == RESULT_OK) r = RunPlanningStages(memory, s, progress, user);
    if (r == RESULT_OK) r = PrepareFullResolutionPass(memory, s, inputs, count, outputs, outputIndex);
    if (r == RESULT_OK) r = Report(s, progress, user);
    if (r == RESULT_OK && s->lowResMapsReady) r = PadMapsAndAllocateLineBuffers(memory, s);
    if (r == RESULT_OK) r = Report(s, progress, user);
    if (r != RESULT_OK) return r;
    if (s->pendingStatus != 0) {
        // The deghosting stage answers every pending status; one left here ends the run.
        r = static_cast<int>(s->pendingStatus);
        s->pendingStatus = 0;
    } else {
        r = RunFusionBandPass(memory, s, inputs, progress, user);
        if (r == RESULT_OK) r = CropAndRescaleResult(memory, s, inputs, count);
    }
    ReleasePipelineBuffers(memory, s);
    return r;
}

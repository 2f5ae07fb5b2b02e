// The merge's stages after the preparation, in their fixed order.
#include <algorithm>
#include <cstddef>

#include "align/aligned_block_planes.h"
#include "align/band_pass_handoff.h"
#include "align/valid_rectangle.h"
#include "band_pass.h"
#include "core/chroma_stats.h"
#include "core/exposure_stats.h"
#include "core/image.h"
#include "core/memory.h"
#include "core/plane_border.h"
#include "core/threads.h"
#include "filters/crop_rescale.h"
#include "run_driver.h"
#include "session_lifecycle.h"
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

// The rows and columns the bands fuse: every row, and every whole four-pixel group of a row
// (the span kernels' unit). The one to three columns a width that is not a multiple of 4
// leaves take their neighbour's fusion after the pass, so every pixel of the frame is fused
// whatever its size.
RegionRect FusedRectangle(int32_t width, int32_t height) {
    return RegionRect{0, 0, static_cast<uint32_t>(width & ~3), height};
}

// Whether the bands fused every pixel and every exposure covers the frame up to the crop's own
// 16-pixel alignment. Scaling such a crop back to the frame would only blur the picture and
// move it against the photos by up to 1.5 % (a tripod bracket would no longer line up with its
// own exposures); the few edge columns or rows that a small shift leaves uncovered are fused
// from the nearest samples instead.
bool CoversTheFrame(const HdrSession *s, const ImageDesc &frame) {
    const RegionRect &p = s->processRect;
    const RegionRect &o = s->overlapRect;
    const int64_t w = frame.i32Width, h = frame.i32Height;
    if (p.x != 0 || p.y != 0 || p.width != (w & ~3) || p.height != h) return false;
    const int64_t right = w - (int64_t{o.x} + o.width);
    const int64_t bottom = h - (int64_t{o.y} + o.height);
    return o.x < 16 && o.y < 16 && right >= 0 && right < 16 && bottom >= 0 && bottom < 16;
}

bool HalfHeightChroma(uint32_t format) {
    return format == PIXEL_FORMAT_I420 || format == PIXEL_FORMAT_NV12 ||
           format == PIXEL_FORMAT_NV21;
}

// A 4:2:0 frame of odd height keeps height / 2 chroma rows: its last luma row has no chroma
// row of its own and lies below the fused rows. The rescale works on the even rows (the only
// sizes it takes for 4:2:0), and the last row then repeats the one above it.
ImageDesc EvenRows(const ImageDesc &image) {
    ImageDesc even = image;
    if (HalfHeightChroma(image.u32PixelArrayFormat)) even.i32Height &= ~1;
    return even;
}

void RepeatLastLumaRow(ImageDesc &image) {
    if (!HalfHeightChroma(image.u32PixelArrayFormat) || (image.i32Height & 1) == 0) return;
    const ptrdiff_t pitch = image.pi32Pitch[0];
    uint8_t *last = image.ppu8Plane[0] + pitch * (image.i32Height - 1);
    CopyBytes(last, last - pitch, static_cast<size_t>(image.i32Width));
}

// The crop rectangle scaled back to the full frame. The destination is another of the
// exposures; the result is copied back into the reference.
int CropAndRescaleResult(MemoryContext memory, HdrSession *s, ImageDesc *images, int32_t count) {
    if (count < 2 || CoversTheFrame(s, images[s->referenceIndex])) return RESULT_OK;
    const int32_t ref = s->referenceIndex;
    const int32_t other = count == 3 ? s->brightIndex : (ref == 0 ? 1 : 0);
    ImageDesc source = EvenRows(images[ref]);
    ImageDesc destination = EvenRows(images[other]);
    PixelRect rect = {s->cropRect[1], s->cropRect[0], s->cropRect[3], s->cropRect[2]};
    int r = CropAndRescaleWithRunner(memory, &source, &destination, &rect, StageJobRunner(s));
    if (r == RESULT_OK) r = CopyImage(&source, &destination);
    if (r == RESULT_OK) RepeatLastLumaRow(images[ref]);
    return r;
}

}  // namespace

int CheckExposureSetAndShifts(MemoryContext memory, HdrSession *s, ImageDesc *inputs) {
    if (s->exposureCount == 3 && s->brightIndex != 2 && s->preparedByRun == 0)
        return RESULT_EXPOSURE_ORDER;
    ComputeBlockChromaMeans(s, inputs, s->referenceIndex, BlockPlane(s, 3), BlockPlane(s, 4));
    ComputeBlockChromaMeans(s, inputs, s->darkIndex, BlockPlane(s, 8), BlockPlane(s, 9));
    ReorderGlobalShifts(s);
    const int32_t dx = std::max(Magnitude(s->globalShift[0]), Magnitude(s->globalShift[2]));
    const int32_t dy = std::max(Magnitude(s->globalShift[1]), Magnitude(s->globalShift[3]));
    if (dx > 64 || dy > 64) s->pendingStatus = RESULT_EXCESSIVE_MOTION;
    // The scene statistics are taken once here, from the histograms of the preparation; the
    // aligned planes and every later stage read them from the session.
    const int r = ComputeExposureStatistics(0, s);
    if (r != RESULT_OK) return r;
    return PrepareAlignedPlanes(memory, s);
}

int PrepareFullResolutionPass(MemoryContext memory, HdrSession *s, ImageDesc *inputs,
                              int32_t count, ImageDesc *outputs, int32_t outputIndex) {
    ComputeValidRectangle(s, s->globalShift, count, inputs[0].i32Width, inputs[0].i32Height,
                          &s->processRect);
    s->processRect = FusedRectangle(inputs[0].i32Width, inputs[0].i32Height);
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

// The work area, the 64-bit slot and the buffer keep the entry's shape; no stage reads them.
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
    return r;
}

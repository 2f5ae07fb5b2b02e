// Preparation of a run: the block grid and thumbnails, the exposure gains and order, the
// reference features and the registration of the darkest and brightest exposure.
#include <initializer_list>

#include "align/decimate.h"
#include "align/feature_tracker.h"
#include "align/registration.h"
#include "core/exposure_gain.h"
#include "core/exposure_order.h"
#include "core/image.h"
#include "core/memory.h"
#include "run_driver.h"

namespace {

constexpr int32_t kLutSize = 4096;
constexpr int32_t kFeatureCapacity = 128;
constexpr int32_t kFeatureBlockFloats = 4 * kFeatureCapacity;
constexpr int32_t kMatchBytes = 512;

void SetGridGeometry(HdrSession *s, const ImageDesc &first) {
    static constexpr int32_t kMesh[7] = {256, 128, 127, 8, 12, 16, 8};
    for (int k = 0; k < 7; ++k) s->meshConstants[k] = kMesh[k];
    const int32_t w = first.i32Width;
    const int32_t h = first.i32Height;
    s->blockWidth = s->blockHeight = 32;
    s->blocksAcross = (w + 31) / 32;
    s->blocksDown = (h + 31) / 32;
    s->paddedBlocksAcross = s->blocksAcross + 2;
    s->paddedBlocksDown = s->blocksDown + 2;
    s->frameWidth = w;
    s->frameHeight = h;
    s->overlapRect.width = static_cast<uint32_t>(w);
    s->overlapRect.height = h;
    s->framePitch = first.pi32Pitch[0];
}

// Histograms start zeroed: the chroma histograms are read before anything on this road
// would fill them, and all-zero histograms give neutral chroma offsets.
int AllocateExposureSlot(MemoryContext memory, HdrSession *s, int i) {
    if (!s->histograms[i]) {
        s->histograms[i] = AllocateZeroed<ExposureHistograms>(memory, 1);
        if (!s->histograms[i]) return RESULT_OUT_OF_MEMORY;
    }
    if (!s->exposureLuts[i]) {
        s->exposureLuts[i] = AllocateZeroed<uint16_t>(memory, kLutSize);
        if (!s->exposureLuts[i]) return RESULT_OUT_OF_MEMORY;
    }
    return RESULT_OK;
}

int CreateThumbnail(MemoryContext memory, ImageDesc **image, int32_t w, int32_t h) {
    if (*image) return RESULT_OK;
    return CreateImage(image, w, h, PIXEL_FORMAT_YUV444P, memory) == RESULT_OK
               ? RESULT_OK
               : RESULT_OUT_OF_MEMORY;
}

template <typename T>
int AllocateOnce(MemoryContext memory, T *&block, uint64_t bytes) {
    if (!block) block = AllocateZeroed<T>(memory, bytes / sizeof(T));
    return block ? RESULT_OK : RESULT_OUT_OF_MEMORY;
}

int AllocateThumbnailSlots(MemoryContext memory, HdrSession *s, int32_t tw, int32_t th) {
    for (int i = 0; i < kMaxExposures; ++i) {
        if (CreateThumbnail(memory, &s->smallImages[i], tw, th) != RESULT_OK ||
            CreateThumbnail(memory, &s->alignedSmall[i], tw, th) != RESULT_OK ||
            AllocateOnce(memory, s->matchedMotionX[i], kMatchBytes) != RESULT_OK ||
            AllocateOnce(memory, s->matchedMotionY[i], kMatchBytes) != RESULT_OK ||
            AllocateOnce(memory, s->matchedExtra[i], kMatchBytes) != RESULT_OK)
            return RESULT_OUT_OF_MEMORY;
    }
    if (CreateThumbnail(memory, &s->previewImage, tw, th) != RESULT_OK ||
        CreateThumbnail(memory, &s->previewWorkImage, tw, th) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    for (PixelRect &bounds : s->overlapBounds) bounds = {0, 0, tw, th};
    return RESULT_OK;
}

void FillIdentity(uint16_t *lut) {
    for (int32_t j = 0; j < kLutSize; ++j) lut[j] = static_cast<uint16_t>(j);
}

// Thumbnail, gain and identity level table of input i.
int MeasureExposure(HdrSession *s, const ImageDesc *inputs, int32_t i) {
    const int r = DecimateThumbnail(&inputs[i], s->smallImages[i]);
    if (r != RESULT_OK) return r;
    const double gain =
        MeasureExposureGain(s, s->smallImages[i], (*s->histograms[i])[0], i, s->gammaExpandTable);
    s->exposureGain[i] = gain;
    s->exposureGainQ10[i] = static_cast<int32_t>(gain * 1024 + 0.5);
    FillIdentity(s->exposureLuts[i]);
    return RESULT_OK;
}

int RegisterExposure(MemoryContext memory, HdrSession *s, int32_t i, ProgressCallback progress,
                     void *user) {
    const int r = CopyImage(s->workImage, s->smallImages[i]);
    if (r != RESULT_OK) return r;
    return RegisterExposureToReference(memory, s, i, progress, user);
}

int BuildTracker(MemoryContext memory, HdrSession *s, const ImageDesc *reference) {
    DestroyFeatureTracker(memory, &s->tracker);
    // Five cells along the longer side, four along the shorter.
    s->tracker = CreateFeatureTrackerSingle(memory, reference, 5, 4, 5, kFeatureCapacity,
                                            s->featureX, s->featureY);
    if (!s->tracker) return RESULT_OUT_OF_MEMORY;
    s->featureCount = s->tracker->count;
    return RESULT_OK;
}

}  // namespace

int PrepareBlockGrid(MemoryContext memory, HdrSession *s, const ImageDesc *inputs) {
    SetGridGeometry(s, inputs[0]);
    const uint64_t cells = uint64_t(s->paddedBlocksAcross) * uint64_t(s->paddedBlocksDown);
    if (!s->blockStats) {
        s->blockStats = AllocateZeroed<int16_t>(memory, cells * kBlockStatPlanes);
        if (!s->blockStats) return RESULT_OUT_OF_MEMORY;
    }
    for (int i = 0; i < kMaxExposures; ++i)
        if (AllocateExposureSlot(memory, s, i) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    return AllocateThumbnailSlots(memory, s, ThumbnailSide(inputs[0].i32Width),
                                  ThumbnailSide(inputs[0].i32Height));
}

int BuildReferenceFeatures(MemoryContext memory, HdrSession *s, const ImageDesc *reference) {
    s->registrationSetting = 7;
    if (!s->featureX) {
        s->featureX = AllocateZeroed<float>(memory, kFeatureBlockFloats);
        if (!s->featureX) return RESULT_OUT_OF_MEMORY;
    }
    s->featureY = s->featureX + kFeatureCapacity;
    s->featureArrays[0] = s->featureX + 2 * kFeatureCapacity;
    s->featureArrays[1] = s->featureX + 3 * kFeatureCapacity;
    for (float *&grid : s->registrationGrids)
        if (AllocateOnce(memory, grid, kMatchBytes) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    if (!s->workImage &&
        CreateImage(&s->workImage, reference->i32Width, reference->i32Height,
                    PIXEL_FORMAT_YUV444P, memory) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    return BuildTracker(memory, s, reference);
}

int PrepareExposures(MemoryContext memory, HdrSession *s, ImageDesc *inputs, int32_t count,
                     ProgressCallback progress, void *user) {
    s->referenceIndex = 0;
    s->inputImages = inputs;
    int r = PrepareBlockGrid(memory, s, inputs);
    if (r != RESULT_OK) return r;
    for (int32_t i = 0; i < count; ++i) {
        r = MeasureExposure(s, inputs, i);
        if (r != RESULT_OK) return r;
    }
    r = OrderExposures(s, s->exposureGain, count);
    if (r != RESULT_OK) return r;
    const int32_t ref = s->referenceIndex;
    r = CopyImage(s->alignedSmall[ref], s->smallImages[ref]);
    if (r != RESULT_OK) return r;
    r = BuildReferenceFeatures(memory, s, s->alignedSmall[ref]);
    if (r != RESULT_OK || count == 1) return r;
    for (int32_t i : {s->darkIndex, s->brightIndex}) {
        if (i == ref) continue;
        r = RegisterExposure(memory, s, i, progress, user);
        if (r != RESULT_OK) return r;
    }
    return RESULT_OK;
}

int PrepareExposureByIndex(MemoryContext memory, HdrSession *s, ImageDesc *inputs, int32_t index,
                           ProgressCallback progress, void *user) {
    if (!s || !inputs || index < 0 || index >= kMaxExposures) return RESULT_INVALID_ARGUMENT;
    // The images come in order 0, 1, 2: a later one needs the grid and features of image 0.
    if (index > 0 && (s->preparedImages & 1u) == 0) return RESULT_INVALID_ARGUMENT;
    int r;
    if (index == 0) {
        ResetMergeRunState(s);
        s->preparedByRun = 0;
        r = PrepareBlockGrid(memory, s, inputs);
        if (r != RESULT_OK) return r;
        s->preparedImages = 0;
    }
    r = MeasureExposure(s, inputs, index);
    if (r != RESULT_OK) return r;
    s->preparedImages |= 1u << index;
    if (index == 0) {
        s->referenceIndex = 0;
        s->inputImages = inputs;
        r = CopyImage(s->alignedSmall[0], s->smallImages[0]);
        if (r != RESULT_OK) return r;
        return BuildReferenceFeatures(memory, s, s->alignedSmall[0]);
    }
    int32_t registered = index;
    if (index == 1 && s->exposureGain[0] > s->exposureGain[1]) {
        // Image 0 is the darker one: image 1 becomes the reference.
        s->referenceIndex = 1;
        r = CopyImage(s->alignedSmall[1], s->smallImages[1]);
        if (r != RESULT_OK) return r;
        r = BuildTracker(memory, s, s->alignedSmall[1]);
        if (r != RESULT_OK) return r;
        registered = 0;
    }
    return RegisterExposure(memory, s, registered, progress, user);
}

int RebuildReferenceFeatures(MemoryContext memory, HdrSession *s, ImageDesc *smallReference) {
    if (!s || !smallReference || !s->featureX) return RESULT_INVALID_ARGUMENT;
    return BuildTracker(memory, s, smallReference);
}

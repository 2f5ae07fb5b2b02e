#include "align/feature_tracker.h"

#include <algorithm>

#include "align/corner_detector.h"
#include "align/feature_tracker_internal.h"
#include "align/tracker_pyramid.h"
#include "core/memory.h"

namespace {

// Images larger than this get a fourth pyramid level (1280 x 720 keeps three).
constexpr int64_t kThreeLevelPixelLimit = 921600;
// Corners are searched this far inside the image.
constexpr int32_t kCornerMargin = 10;

uint64_t FeatureBlockBytes(int32_t capacity, int32_t frames) {
    return static_cast<uint64_t>(capacity) *
           (8 + static_cast<uint64_t>(kDescriptorBytes) * static_cast<uint64_t>(frames + 1));
}

// Per frame: a 16 * W-byte scratch, then x, y and status arrays of capacity entries.
uint64_t FrameBytes(int32_t width, int32_t capacity) {
    return 16 * static_cast<uint64_t>(width) + 12 * static_cast<uint64_t>(capacity);
}

void OrientGrid(FeatureTracker *t, int32_t width, int32_t height, int32_t a, int32_t b) {
    if (width > height) {
        t->cellsAcross = std::max(a, b);
        t->cellsDown = std::min(a, b);
    } else if (width < height) {
        t->cellsAcross = std::min(a, b);
        t->cellsDown = std::max(a, b);
    } else {
        t->cellsAcross = a;
        t->cellsDown = b;
    }
}

bool CreateReferencePlanes(MemoryContext memory, FeatureTracker *t, int32_t width,
                           int32_t height) {
    for (int32_t level = 0; level < t->levels; ++level) {
        const int32_t w = width >> level, h = height >> level;
        t->referencePyramid[level] = CreatePlane8(memory, w, h);
        t->gradientX[level] = CreateGradientPlane(memory, w, h);
        t->gradientY[level] = CreateGradientPlane(memory, w, h);
        if (!t->referencePyramid[level] || !t->gradientX[level] || !t->gradientY[level])
            return false;
    }
    return true;
}

bool CarveFeatureBlock(MemoryContext memory, FeatureTracker *t, int32_t capacity,
                       int32_t frames) {
    // At least one byte so that a zero capacity still owns a block to free.
    uint8_t *block = static_cast<uint8_t *>(
        AllocateMemory(memory, std::max<uint64_t>(FeatureBlockBytes(capacity, frames), 8)));
    if (!block) return false;
    const uint64_t floats = static_cast<uint64_t>(capacity) * sizeof(float);
    const uint64_t descriptors = static_cast<uint64_t>(capacity) * kDescriptorBytes;
    t->referenceX = reinterpret_cast<float *>(block);
    t->referenceY = reinterpret_cast<float *>(block + floats);
    t->referenceDescriptors = block + 2 * floats;
    t->trackedDescriptors = t->referenceDescriptors + descriptors;
    t->trackedDescriptorsAlt = t->trackedDescriptors;
    FillBytes(t->referenceDescriptors, 0, static_cast<size_t>(2 * descriptors));
    for (int32_t f = 1; f < frames; ++f)
        t->frameDescriptors[f - 1] = t->trackedDescriptors + f * descriptors;
    return true;
}

bool CarveFrameBlock(MemoryContext memory, FeatureTracker *t, int32_t width) {
    const uint64_t perFrame = FrameBytes(width, t->capacity);
    uint8_t *block = AllocateZeroed<uint8_t>(memory, perFrame * static_cast<uint64_t>(t->frames));
    if (!block) return false;
    for (int32_t f = 0; f < t->frames; ++f) {
        uint8_t *area = block + perFrame * static_cast<uint64_t>(f);
        t->frameScratch[f] = area;
        t->frameX[f] = reinterpret_cast<float *>(area + 16 * static_cast<uint64_t>(width));
        t->frameY[f] = t->frameX[f] + t->capacity;
        t->frameStatus[f] = reinterpret_cast<int32_t *>(t->frameY[f] + t->capacity);
        // Before any tracking every feature reads as lost at its reference position.
        for (int32_t j = 0; j < t->capacity; ++j) {
            t->frameX[f][j] = j < t->count ? t->referenceX[j] : 0.0f;
            t->frameY[f][j] = j < t->count ? t->referenceY[j] : 0.0f;
            t->frameStatus[f][j] = -1;
        }
    }
    return true;
}

bool CreateFramePlanes(MemoryContext memory, FeatureTracker *t) {
    for (int32_t f = 0; f < t->frames; ++f)
        for (int32_t level = 0; level < t->levels; ++level) {
            const Plane8 *reference = t->referencePyramid[level];
            t->framePyramidSlots[f][level] =
                CreatePlane8(memory, reference->width, reference->height);
            if (!t->framePyramidSlots[f][level]) return false;
        }
    return true;
}

}  // namespace

bool TrackerImageUsable(const ImageDesc *image) {
    return image && image->ppu8Plane[0] && image->i32Width > 0 && image->i32Height > 0 &&
           image->pi32Pitch[0] >= image->i32Width;
}

void CopyImageIntoLevel(const ImageDesc *image, Plane8 *level) {
    for (int32_t y = 0; y < level->height; ++y)
        CopyBytes(PlaneRow(level, y),
                  image->ppu8Plane[0] + static_cast<int64_t>(y) * image->pi32Pitch[0],
                  static_cast<size_t>(level->width));
}

bool RebuildReferenceGradients(MemoryContext memory, FeatureTracker *t) {
    const int32_t width = t->referencePyramid[0]->width;
    // 12 * W bytes: three rows of 32-bit sums.
    int32_t *scratch = AllocateZeroed<int32_t>(memory, 3 * static_cast<uint64_t>(width));
    if (!scratch) return false;
    for (int32_t level = 0; level < t->levels; ++level)
        ComputeGradients8(scratch, t->referencePyramid[level], t->gradientX[level],
                          t->gradientY[level],
                          level + 1 < t->levels ? t->referencePyramid[level + 1] : nullptr);
    FreeMemory(memory, scratch);
    return true;
}

void SetReferenceFeature(FeatureTracker *t, int32_t j, int32_t x, int32_t y) {
    const Plane8 *base = t->referencePyramid[0];
    ComputeKeypointDescriptor(base->data, base->stride, base->width, base->height, x, y,
                              t->referenceDescriptors + static_cast<int64_t>(j) * kDescriptorBytes);
    t->referenceX[j] = static_cast<float>(x);
    t->referenceY[j] = static_cast<float>(y);
}

int32_t DetectReferenceFeatures(MemoryContext memory, FeatureTracker *t) {
    const int32_t width = t->referencePyramid[0]->width;
    const int32_t height = t->referencePyramid[0]->height;
    const PixelRect area = {kCornerMargin, kCornerMargin, std::max(width - kCornerMargin, kCornerMargin),
                            std::max(height - kCornerMargin, kCornerMargin)};
    const int32_t radius =
        (std::max(width, height) / std::max(t->cellsAcross, t->cellsDown)) / 4;
    int32_t *positions = AllocateZeroed<int32_t>(memory, 2 * static_cast<uint64_t>(t->capacity) + 2);
    if (!positions) return 0;
    int32_t *xs = positions;
    int32_t *ys = positions + t->capacity + 1;
    const int32_t count = DetectGridCorners(memory, t->gradientX[0], t->gradientY[0], radius,
                                            t->cellsAcross, t->cellsDown, t->featuresPerCell,
                                            t->capacity, xs, ys, &area);
    for (int32_t j = 0; j < count; ++j) SetReferenceFeature(t, j, xs[j], ys[j]);
    FreeMemory(memory, positions);
    return count;
}

FeatureTracker *CreateFeatureTracker(MemoryContext memory, const ImageDesc *image, int32_t cellsA,
                                     int32_t cellsB, int32_t featuresPerCell, int32_t capacity,
                                     int32_t frames, float *outX, float *outY) {
    if (frames < 1 || frames > kTrackerMaxFrames || !TrackerImageUsable(image)) return nullptr;
    if (cellsA < 1 || cellsB < 1 || capacity < 0) return nullptr;
    const int32_t width = image->i32Width, height = image->i32Height;
    FeatureTracker *t = AllocateZeroed<FeatureTracker>(memory, 1);
    if (!t) return nullptr;
    t->levels = static_cast<int64_t>(width) * height > kThreeLevelPixelLimit ? 4 : 3;
    t->frames = frames;
    OrientGrid(t, width, height, cellsA, cellsB);
    t->featuresPerCell = featuresPerCell;
    t->capacity = capacity;
    bool made = CreateReferencePlanes(memory, t, width, height) &&
                CarveFeatureBlock(memory, t, capacity, frames);
    if (made) {
        CopyImageIntoLevel(image, t->referencePyramid[0]);
        // Without gradients the planes would be read uninitialised: treat it as a failure.
        made = RebuildReferenceGradients(memory, t);
    }
    if (made) {
        t->count = DetectReferenceFeatures(memory, t);
        made = CarveFrameBlock(memory, t, width) && CreateFramePlanes(memory, t);
    }
    if (!made) {
        DestroyFeatureTracker(memory, &t);
        return nullptr;
    }
    if (outX && outY) CopyTrackerFeatures(t, outX, outY);
    t->framePyramids = t->framePyramidSlots;
    t->trackedX = t->frameX[0];
    t->trackedY = t->frameY[0];
    t->trackedStatus = t->frameStatus[0];
    return t;
}

FeatureTracker *CreateFeatureTrackerSingle(MemoryContext memory, const ImageDesc *image,
                                           int32_t cellsA, int32_t cellsB,
                                           int32_t featuresPerCell, int32_t capacity, float *outX,
                                           float *outY) {
    return CreateFeatureTracker(memory, image, cellsA, cellsB, featuresPerCell, capacity, 1, outX,
                                outY);
}

int32_t CopyTrackerFeatures(const FeatureTracker *tracker, float *outX, float *outY) {
    if (!tracker || !outX || !outY) return 0;
    for (int32_t j = 0; j < tracker->count; ++j) {
        outX[j] = tracker->referenceX[j];
        outY[j] = tracker->referenceY[j];
    }
    return tracker->count;
}

void DestroyFeatureTracker(MemoryContext memory, FeatureTracker **tracker) {
    if (!tracker || !*tracker) return;
    FeatureTracker *t = *tracker;
    for (int32_t level = 0; level < kTrackerMaxLevels; ++level) {
        DestroyPlane8(memory, t->referencePyramid[level]);
        DestroyGradientPlane(memory, t->gradientX[level]);
        DestroyGradientPlane(memory, t->gradientY[level]);
        for (int32_t frame = 0; frame < kTrackerMaxFrames; ++frame)
            DestroyPlane8(memory, t->framePyramidSlots[frame][level]);
    }
    // Each storage block is freed through its first pointer; the other arrays lie inside it.
    FreeAndClear(memory, t->referenceX);
    FreeAndClear(memory, t->frameScratch[0]);
    FreeMemory(memory, t);
    *tracker = nullptr;
}

// Tracking into frames, hand-over and re-detection of the feature tracker.
#include <algorithm>

#include "align/checked_rounding.h"
#include "align/feature_tracker.h"
#include "align/feature_tracker_internal.h"
#include "align/point_tracking.h"
#include "align/tracker_pyramid.h"
#include "core/memory.h"

namespace {

bool MatchesReferenceSize(const FeatureTracker *t, const ImageDesc *image) {
    return TrackerImageUsable(image) && image->i32Width == t->referencePyramid[0]->width &&
           image->i32Height == t->referencePyramid[0]->height;
}

// The tracked frame becomes the reference: its levels and gradients, the tracked positions and
// the descriptors at them. A lost feature's tracked position is its reference position; it keeps
// its reference descriptor too.
void HandOverToFrame(FeatureTracker *t) {
    int32_t *scratch = reinterpret_cast<int32_t *>(t->frameScratch[0]);
    for (int32_t level = 0; level < t->levels; ++level) {
        Plane8 *frame = t->framePyramidSlots[0][level];
        ComputeGradients8(scratch, frame, t->gradientX[level], t->gradientY[level], nullptr);
        std::swap(t->referencePyramid[level], t->framePyramidSlots[0][level]);
    }
    for (int32_t j = 0; j < t->count; ++j) {
        t->referenceX[j] = t->trackedX[j];
        t->referenceY[j] = t->trackedY[j];
        if (t->trackedStatus[j] < 0) continue;
        CopyBytes(t->referenceDescriptors + static_cast<int64_t>(j) * kDescriptorBytes,
                  t->trackedDescriptors + static_cast<int64_t>(j) * kDescriptorBytes,
                  kDescriptorBytes);
    }
}

}  // namespace

int32_t TrackFeaturesIntoFrame(FeatureTracker *tracker, const ImageDesc *image, float *outX,
                               float *outY, int32_t frame, int32_t update) {
    if (!tracker || frame < 0 || frame >= tracker->frames) return 0;
    // A frame of another size would not fit the frame pyramid.
    if (!MatchesReferenceSize(tracker, image)) return 0;
    Plane8 *const *levels = tracker->framePyramidSlots[frame];
    int32_t *scratch = reinterpret_cast<int32_t *>(tracker->frameScratch[frame]);
    CopyImageIntoLevel(image, levels[0]);
    for (int32_t level = 1; level < tracker->levels; ++level)
        ReducePlane8(scratch, levels[level - 1], levels[level]);
    const int32_t tracked = TrackPointsPyramid(
        tracker->referencePyramid, tracker->gradientX, tracker->gradientY, levels,
        tracker->levels, kTrackerWindowRadius, tracker->referenceX, tracker->referenceY,
        tracker->count, tracker->frameX[frame], tracker->frameY[frame],
        tracker->frameStatus[frame], tracker->referenceDescriptors, tracker->trackedDescriptors);
    if (outX && outY)
        for (int32_t j = 0; j < tracker->count; ++j) {
            outX[j] = tracker->frameX[frame][j];
            outY[j] = tracker->frameY[frame][j];
        }
    if (update && tracker->frames == 1) HandOverToFrame(tracker);
    return tracked;
}

int32_t TrackFeatures(FeatureTracker *tracker, const ImageDesc *image, float *outX, float *outY,
                      int32_t update) {
    return TrackFeaturesIntoFrame(tracker, image, outX, outY, 0, update);
}

int32_t RedetectFeatures(MemoryContext memory, FeatureTracker *tracker, const ImageDesc *image,
                         const float *givenX, const float *givenY, int32_t givenCount) {
    if (!tracker || !MatchesReferenceSize(tracker, image)) return 0;
    CopyImageIntoLevel(image, tracker->referencePyramid[0]);
    RebuildReferenceGradients(memory, tracker);
    if (givenX && givenY && givenCount > 0) {
        const int32_t count = std::min(givenCount, tracker->capacity);
        for (int32_t j = 0; j < count; ++j)
            SetReferenceFeature(tracker, j, TruncateToInt(givenX[j] + 0.5),
                                TruncateToInt(givenY[j] + 0.5));
        tracker->count = count;
    } else {
        tracker->count = DetectReferenceFeatures(memory, tracker);
    }
    return tracker->count;
}

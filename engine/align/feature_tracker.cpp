#include "align/feature_tracker.h"

#include "core/memory.h"

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

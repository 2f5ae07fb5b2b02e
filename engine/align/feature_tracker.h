// Corner features of the reference thumbnail and their tracking into other exposures.
//
// A tracker owns the reference image's pyramid and signed gradient planes, up to `capacity`
// corner features with their 32-byte keypoint descriptors, and for each of up to eight frames a
// pyramid plus the tracked position and status of every feature. The status of a feature in a
// frame is the Hamming distance (0..256) between its reference descriptor and the descriptor at
// its tracked position, or -1 when it was lost (its tracked position then equals its reference
// position). All buffers are made at creation, so tracking allocates nothing.
#pragma once

#include <cstdint>

#include "align/plane8.h"
#include "core/engine_types.h"

constexpr int32_t kTrackerMaxLevels = 8;
constexpr int32_t kTrackerMaxFrames = 8;
constexpr int32_t kKeypointDescriptorBytes = 32;

struct FeatureTracker {
    // Level L (L < levels) is (W >> L) x (H >> L), W x H being the image size at creation.
    Plane8 *referencePyramid[kTrackerMaxLevels];
    Plane8 *(*framePyramids)[kTrackerMaxLevels];  // points at framePyramidSlots
    Plane8 *framePyramidSlots[kTrackerMaxFrames][kTrackerMaxLevels];  // [frame][level]
    Plane8 *gradientX[kTrackerMaxLevels];  // signed x-gradients of reference level L
    Plane8 *gradientY[kTrackerMaxLevels];  // signed y-gradients of reference level L
    int32_t levels;  // 3, or 4 above 921600 pixels
    int32_t frames;  // 1..8
    int32_t cellsAcross;
    int32_t cellsDown;
    int32_t featuresPerCell;  // selection attempts per grid cell
    float *referenceX;  // capacity entries, level-0 pixels; first pointer of the feature block
    float *referenceY;
    float *trackedX;  // == frameX[0]
    float *trackedY;  // == frameY[0]
    uint8_t *frameScratch[kTrackerMaxFrames];  // 16 * W bytes per frame; [0] heads the frame block
    float *frameX[kTrackerMaxFrames];
    float *frameY[kTrackerMaxFrames];
    int32_t *frameStatus[kTrackerMaxFrames];  // Hamming distance 0..256, or -1 when lost
    int32_t *trackedStatus;                   // == frameStatus[0]
    uint8_t *referenceDescriptors;            // capacity * 32 bytes
    uint8_t *trackedDescriptors;              // capacity * 32 bytes, from the latest tracking
    uint8_t *trackedDescriptorsAlt;           // == trackedDescriptors
    uint8_t *frameDescriptors[kTrackerMaxFrames - 1];  // frames 1 .. frames - 1
    int32_t capacity;
    int32_t count;
};

// Frees the tracker and everything it owns and clears the pointer; null does nothing.
void DestroyFeatureTracker(MemoryContext memory, FeatureTracker **tracker);

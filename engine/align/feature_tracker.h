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

#include "align/keypoint_descriptor.h"
#include "align/plane8.h"
#include "core/engine_types.h"

constexpr int32_t kTrackerMaxLevels = 8;
constexpr int32_t kTrackerMaxFrames = 8;
constexpr int32_t kTrackerWindowRadius = 10;

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

// Builds a tracker on plane 0 of image (8-bit samples; width, height and pitch are read):
// its pyramid (3 levels, 4 above 921600 pixels), gradients, up to capacity corners found on a
// grid of cells (the longer image side gets the larger of cellsA and cellsB; a square image
// keeps cellsA across), featuresPerCell picks per cell, kept at least
// (max(W, H) / max(cells)) / 4 pixels apart inside a 10-pixel margin, and their descriptors.
// When both outputs are given they receive the count corner positions. Until a frame is tracked
// its features read as lost (status -1 at their reference positions). Returns null for a frame
// count outside 1..8, a null or unusable image, cell counts below 1, a negative capacity, or any
// failed allocation (everything made so far is freed). When only the corner search's work
// buffer cannot be had, the tracker is returned with count 0.
FeatureTracker *CreateFeatureTracker(MemoryContext memory, const ImageDesc *image, int32_t cellsA,
                                     int32_t cellsB, int32_t featuresPerCell, int32_t capacity,
                                     int32_t frames, float *outX, float *outY);

// CreateFeatureTracker with one frame.
FeatureTracker *CreateFeatureTrackerSingle(MemoryContext memory, const ImageDesc *image,
                                           int32_t cellsA, int32_t cellsB,
                                           int32_t featuresPerCell, int32_t capacity, float *outX,
                                           float *outY);

// Tracks every feature from its reference position into plane 0 of image (which must have the
// reference size) as frame `frame`, writing that frame's positions and statuses and the
// trackedDescriptors. When both outputs are given they receive the count tracked positions.
// With update non-zero and a single-frame tracker the frame becomes the new reference (its
// pyramid, gradients, the tracked positions and descriptors; a lost feature keeps its reference
// position and descriptor). Returns the number of features with status >= 0; 0 without effect
// for a null tracker or image, an image of another size, or a frame index out of range.
// Allocates nothing.
int32_t TrackFeaturesIntoFrame(FeatureTracker *tracker, const ImageDesc *image, float *outX,
                               float *outY, int32_t frame, int32_t update);

// TrackFeaturesIntoFrame into frame 0.
int32_t TrackFeatures(FeatureTracker *tracker, const ImageDesc *image, float *outX, float *outY,
                      int32_t update);

// Replaces the reference by plane 0 of image (the tracker's size). The features become the given
// points (rounded by adding 0.5 and truncating, at most capacity) when both arrays are given and
// givenCount is positive, else the corners found as at creation. Returns the new count; 0 with
// nothing changed for a null tracker or an unusable or differently sized image. When the
// gradient scratch cannot be allocated the gradient planes and reduced levels stay as they were.
int32_t RedetectFeatures(MemoryContext memory, FeatureTracker *tracker, const ImageDesc *image,
                         const float *givenX, const float *givenY, int32_t givenCount);

// Copies the count reference positions; returns count, or 0 when an argument is null.
int32_t CopyTrackerFeatures(const FeatureTracker *tracker, float *outX, float *outY);

// Frees the tracker and everything it owns and clears the pointer; null does nothing.
void DestroyFeatureTracker(MemoryContext memory, FeatureTracker **tracker);

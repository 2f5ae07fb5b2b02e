// Pyramidal Lucas-Kanade point tracking between a reference pyramid and a frame pyramid.
//
// Coarse levels move in whole pixels; level 0 moves in sixteenths of a pixel with bilinear
// sampling of the frame. A tracked point may then be checked by the Hamming distance between
// its reference descriptor and the frame's descriptor at the tracked position.
//
// Status of a point: the descriptor distance 0..256 when descriptors are compared, 0 when tracked
// without descriptors, -1 when lost. A point is lost when it lies within 2 pixels of the border
// or in a flat region at the start, when a level's structure tensor is near singular
// (|det| < 1024), when it leaves the frame level, or when a level moved it by the window radius
// or more while its total displacement is also that large. A lost point keeps its position.
#pragma once

#include <cstdint>

#include "align/plane8.h"
#include "core/engine_types.h"

constexpr int32_t kTrackIterations = 10;

// Means of gx^2, gx*gy (twice, gxy == gyx) and gy^2 over a window.
struct StructureTensor {
    double gxx;
    double gxy;
    double gyx;
    double gyy;
};

// A level-0 step in sixteenths: trunc(16 * delta + 0.5), so steps are not symmetric about 0
// (+0.04 pixel moves by 1, -0.04 by 0).
int32_t SixteenthStep(double delta);

// Tensor over rows max(y - r, 0)..min(y + r, height - 1) and the same columns of the x-gradient
// plane's size; gradientYData shares its stride. All zero when the window holds no pixel.
void ComputeStructureTensor(const Plane8 *gradientX, const int8_t *gradientYData, int32_t x,
                            int32_t y, int32_t radius, StructureTensor *out);

// Tracks the point (x, y) (level-0 pixels) from the reference into the frame with levels levels
// and window radius radius. Writes the tracked position to outX, outY (the input position when
// lost) and the magnitude of the last tensor determinant to outDeterminant (0 when the start
// test fails). With a reference descriptor and a 32-byte scratch the status is the descriptor
// distance; otherwise 0. Returns the status.
int32_t TrackPointPyramid(const Plane8 *const *referencePyramid, const Plane8 *const *gradientX,
                          const Plane8 *const *gradientY, const Plane8 *const *framePyramid,
                          int32_t levels, int32_t radius, float x, float y, float *outX,
                          float *outY, const uint8_t *referenceDescriptor,
                          uint8_t *descriptorScratch, int32_t *outDeterminant);

// Tracks count points in order; point i uses reference descriptor i and scratch slot i (32 bytes
// apart) when both arrays are given. outStatus may be null. Returns the number of points with
// status >= 0.
int32_t TrackPointsPyramid(const Plane8 *const *referencePyramid, const Plane8 *const *gradientX,
                           const Plane8 *const *gradientY, const Plane8 *const *framePyramid,
                           int32_t levels, int32_t radius, const float *x, const float *y,
                           int32_t count, float *outX, float *outY, int32_t *outStatus,
                           const uint8_t *referenceDescriptors, uint8_t *descriptorScratch);

// Standalone tracking of points of image a into image b (plane 0 of each, same size) with
// three-level pyramids and radius 8. When status is given, every tracked point's status is the
// descriptor distance between a at the rounded input and b at the rounded output. Returns the
// number of points tracked; 0, with every point reported lost, for a null or mismatched image or
// a failed allocation.
int32_t TrackPointsBetweenImages(MemoryContext memory, const ImageDesc *a, const ImageDesc *b,
                                 const float *x, const float *y, float *outX, float *outY,
                                 int32_t *status, int32_t *outDeterminant, int32_t count);

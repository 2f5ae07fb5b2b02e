// 256-bit keypoint descriptors: each bit compares the sums of two 7 x 7 boxes near the point.
//
// A descriptor is 32 bytes; bit k of byte i (k = 0 the least significant bit) is test 8i + k.
// Because the tests only compare box sums, adding a constant to the neighbourhood leaves the
// descriptor unchanged, and a uniform neighbourhood gives all zeros (equal sums give 0).
#pragma once

#include <cstdint>

#include "core/engine_types.h"

constexpr int32_t kDescriptorBytes = 32;
constexpr int32_t kDescriptorTests = 256;
// Offsets of the test table are stored biased by this amount (stored values 499..524).
constexpr int32_t kDescriptorOffsetBias = 512;

// Row t is test t: (x1, y1, x2, y2), offsets from the keypoint in -13..12 plus the bias.
// Within a row x1 <= x2 and the points differ; no two rows are equal.
extern const int32_t kDescriptorTestPairs[kDescriptorTests][4];

// Computes the descriptor of the 8-bit plane at integer (x, y) into out (32 bytes). The point
// may lie anywhere: outside the plane the border samples repeat. Returns out, or null (nothing
// written) when data or out is null or the plane is empty.
uint8_t *ComputeKeypointDescriptor(const uint8_t *data, int32_t stride, int32_t width,
                                   int32_t height, int32_t x, int32_t y, uint8_t *out);

// Number of differing bits, 0..256; 256 when either descriptor is null.
int32_t DescriptorDistance(const uint8_t *a, const uint8_t *b);

// Distance between the descriptor of plane 1 at (x1, y1) and that of plane 2 at (x2, y2);
// 256 when either descriptor cannot be computed.
int32_t DescriptorDistanceAt(const uint8_t *data1, int32_t stride1, int32_t width1,
                             int32_t height1, const uint8_t *data2, int32_t stride2,
                             int32_t width2, int32_t height2, int32_t x1, int32_t y1, int32_t x2,
                             int32_t y2);

// The same on plane 0 of two images; 256 for a null image.
int32_t DescriptorDistanceImages(const ImageDesc *a, const ImageDesc *b, int32_t xa, int32_t ya,
                                 int32_t xb, int32_t yb);

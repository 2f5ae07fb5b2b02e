// Factors and grids that the lens warp, radial blur and soft focus prepare before their pixel
// loops, kept apart so that each can be checked on its own.
#pragma once

#include <cstdint>

#include "effects/lomo_rows.h"

// The corner values of the radial weight: the share of the processed picture at the corner
// distance.
constexpr double kLomoBlurCornerValue = 0.8;
constexpr double kLomoSoftFocusCornerValue = 0.9;

// The blur's largest radius: 2 sigma rounded up, for sigma under 128. Larger sigmas are refused
// earlier, by the tap sum they would need.
constexpr int32_t kLomoBlurMaxRadius = 256;

// Checks a source and destination pair of pictures as the kernels check one picture, and also
// refuses buffers that overlap.
LomoRows CheckLomoPictures(const uint8_t *source, const uint8_t *destination, int32_t width,
                           int32_t height, int32_t lineBytes);

// Copies lineBytes * height bytes.
void CopyLomoPicture(const uint8_t *source, uint8_t *destination, int32_t height,
                     int32_t lineBytes);

// Strengths are percentages; outside 0..100 the weights would leave 0..256 and the blends wrap.
inline int32_t ClampLomoStrength(int32_t strength) {
    return strength < 0 ? 0 : (strength > 100 ? 100 : strength);
}

// Blend weight out of 256 of the processed picture at the relative distance d from the centre
// (0 at the centre, 1 at the corner distance).
int32_t LomoRadialNodeWeight(double d, int32_t strength, double cornerValue);

// One weight per node of a 16-pixel grid: (width + 31) >> 4 nodes a row, (height + 31) >> 4
// rows. A pixel (x, y) takes node (y >> 4) * nodesPerRow + (x >> 4).
struct LomoWeightGrid {
    int32_t *weights;  // from LomoAllocate, or null when it failed
    int32_t nodesPerRow;
    int32_t nodeRows;
};
LomoWeightGrid BuildLomoWeightGrid(int32_t width, int32_t height, int32_t strength,
                                   double cornerValue);

// out = (processed * J + source * (256 - J)) >> 8 for the first `bytes` bytes of a row, with J
// taken from `nodeWeights` (one weight per 16 pixels, that is per 48 bytes). `firstByte` is the
// row position of the first byte and must be a multiple of 48.
void BlendLomoBytes(const uint8_t *source, const uint8_t *processed, uint8_t *out,
                    int32_t firstByte, int32_t bytes, const int32_t *nodeWeights);

// The blur's integer Gaussian: taps[i + radius] for i = -radius..radius, 256 at the centre.
struct LomoBlurKernel {
    int32_t radius;  // 2 sigma rounded up
    int32_t taps[2 * kLomoBlurMaxRadius + 1];
    uint32_t tapSum;      // S1, the sum of the taps
    uint32_t reciprocal;  // 2^24 / n for the normalisation of a whole two-way sum
    int32_t shift;        // 0 or 8: what that sum is shifted by before the multiply
};
// Near the picture's edges the blur divides its sum v by the taps that were inside, `weight`
// (the product of both passes' tap sums, 8 bits above the quotient's scale), and a weight
// under 256 leaves the source byte. The quotient is clamped to 255 rather than cut to its low 8
// bits: the horizontal pass truncates, so the sum stays under 256 times the weight and the clamp
// is a guard that never darkens a bright edge.
inline uint8_t LomoBlurEdgeQuotient(uint32_t v, uint32_t weight, uint8_t source) {
    const uint32_t w = weight >> 8;
    if (w == 0) return source;
    const uint32_t q = v / w;
    return static_cast<uint8_t>(q < 255 ? q : 255);
}

// Fills the kernel for 0 < sigma < 128 and returns 1; returns 0 when the tap sum exceeds 65535,
// beyond which the blur's 16-bit planes and 32-bit sums would overflow.
int BuildLomoBlurKernel(double sigma, LomoBlurKernel *kernel);

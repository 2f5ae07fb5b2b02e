// Decimation kernels: one per (source format, factor). Internal to the thumbnail code; the
// tests reach the plain reference of every optimised kernel through this header.
//
// Every kernel takes a rectangle already checked and trimmed to whole blocks (x0, y0 even,
// sides multiples of 2 x factor) and writes (x1 - x0 + 1) / factor x (y1 - y0 + 1) / factor
// output pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/engine_types.h"

// Divisions by 9 and 12 in the kernels are a multiply and a shift: floor(2^20 / 9) and
// floor(2^20 / 12). Over the sums the kernels form (0..2295 and 0..3060) they give the exact
// quotient, except one less for a positive multiple of the divisor.
constexpr uint32_t kNinthMultiplier = 116508;
constexpr uint32_t kTwelfthMultiplier = 87381;
constexpr uint32_t NinthByMultiply(uint32_t sum) { return (sum * kNinthMultiplier) >> 20; }
constexpr uint32_t TwelfthByMultiply(uint32_t sum) { return (sum * kTwelfthMultiplier) >> 20; }
// The packed factor-3 value floor((2a + b) / 3), kept as the multiply by ceil(2^20 / 6) it is
// computed with; equal to the exact quotient for every a, b in 0..255.
constexpr uint32_t kSixthMultiplier = 174763;
constexpr uint32_t ThirdOfTwoAPlusB(uint32_t a, uint32_t b) {
    return ((4 * a + 2 * b) * kSixthMultiplier) >> 20;
}

// Byte addressing of a YUV source: Y(x, y), and U(k, r), V(k, r) of chroma pair k in chroma
// row r (r = y for 4:2:2 sources, y / 2 for 4:2:0 sources).
struct DecimateSource {
    const uint8_t *luma;
    const uint8_t *u;
    const uint8_t *v;
    ptrdiff_t lumaPitch;
    ptrdiff_t uPitch;
    ptrdiff_t vPitch;
    int lumaStep;        // bytes between pixels: 2 packed, 1 otherwise
    int pairStep;        // bytes between chroma pairs: 4 packed, 2 interleaved, 1 planar
    int chromaRowShift;  // 1 for 4:2:0, 0 for 4:2:2
    int32_t width;       // pixels of the image, for the neighbouring pairs of factor 1

    uint8_t Y(int32_t x, int32_t y) const { return luma[y * lumaPitch + x * lumaStep]; }
    uint8_t U(int32_t k, int32_t r) const { return u[r * uPitch + k * pairStep]; }
    uint8_t V(int32_t k, int32_t r) const { return v[r * vPitch + k * pairStep]; }
};

// The source's addressing; false for a format without decimation kernels.
bool MakeDecimateSource(const ImageDesc &source, DecimateSource *view);

using DecimateKernel = void (*)(const DecimateSource &source, ImageDesc *output,
                                const InclusiveRect &rect);

// The kernel of a (format, factor) pair, or null: factors 1..8 for the six source formats,
// 9..14 for the pairs that have them.
DecimateKernel FindDecimateKernel(uint32_t format, int factor);

// Plain per-channel reference of the packed factor-8 kernel, which the dispatcher runs as an
// optimised kernel averaging the four bytes of each tap word together.
void DecimatePackedFactor8Reference(const DecimateSource &source, ImageDesc *output,
                                    const InclusiveRect &rect);
void DecimatePackedFactor8(const DecimateSource &source, ImageDesc *output,
                           const InclusiveRect &rect);

// Evaluates the outer ring of output samples of a (format, factor) decimation of rect again
// (with the plain kernel) with every tap clamped to the source's interior: pixel columns and
// rows 1 .. size - 2, chroma pairs and chroma rows likewise. height is the source's. False when
// the pair has no tap rule (factor 1, or no kernel).
bool RereadOuterRingInward(const DecimateSource &source, uint32_t format, int32_t height,
                           int factor, ImageDesc *output, const InclusiveRect &rect);

// Whole-picture effects beside the effect chain: a magnifying lens warp with a black surround, a
// radial blur that keeps the centre sharper than the corners, and a soft focus that smooths the
// detail bands of a picture pyramid, with the pyramid's level operations.
//
// The picture effects read a source picture and write a separate destination of the same
// geometry: `height` rows of `lineBytes` bytes, `width` pixels of three bytes B, G, R per row.
// They write only the pixel bytes of the destination, except where a call copies the source
// whole (lineBytes * height bytes). They return 1 when they ran and 0 when a working buffer
// cannot be allocated or the arguments are refused (null buffers, rows shorter than 3 * width,
// source and destination overlapping); the destination is then not written. A width or height
// of 0 or less writes nothing and returns 1. Strengths are percentages, clamped to 0..100.
//
// Every call allocates its working buffers and releases them before it returns, so the
// functions are pure and may run on any thread on distinct buffers.
#pragma once

#include <cstdint>

// Magnifies the centre up to twice (strength 100) and blackens everything outside the lens
// circle. Strength 0 copies the source whole.
int LomoLensWarp(const uint8_t *source, int32_t width, int32_t height, int32_t lineBytes,
                 uint8_t *destination, int32_t strength);

// Gaussian blur of standard deviation `sigma` blended in by a radial weight: 205/256 of the blur
// at the corners, and towards the centre 205/256 (strength 0) down to 51/256 (strength 100).
// A sigma of 0 or less copies the source whole; a sigma whose integer sums would overflow the
// 16-bit working planes (sigma of about 107 and above), or one that is not a number, returns 0.
int LomoRadialBlur(const uint8_t *source, int32_t width, int32_t height, int32_t lineBytes,
                   uint8_t *destination, int32_t strength, double sigma);

// Multi-scale soft focus over up to 8 pyramid levels, blended in by a radial weight (230/256 at
// the corners). A level count of 0 or less, and a picture narrower or lower than 2 pixels,
// copy the source whole; one level gives the source's pixels back.
int LomoPyramidSoftFocus(const uint8_t *source, int32_t width, int32_t height, int32_t lineBytes,
                         uint8_t *destination, int32_t levels, int32_t strength);

// The pyramid's level operations on 8-bit planes (pitches in samples).
//
// Halves a plane of at least 2 x 2 samples to ((width + 1) >> 1) x ((height + 1) >> 1) with
// [1 2 1] taps ([1 1] at the first sample and at the last of an odd size). Returns 1; 0 for null
// planes, pitches shorter than a row or a source under 2 samples either way; sizes of 0 or less
// do nothing and return 1.
int LomoHalveLevel(const uint8_t *source, int32_t sourcePitch, int32_t sourceWidth,
                   int32_t sourceHeight, uint8_t *destination, int32_t destinationPitch);

// Doubles a halved plane back to destinationWidth x destinationHeight: even positions take the
// source samples, odd ones the mean of their neighbours, the last row and column repeated where
// the size is even. Same results as LomoHalveLevel.
int LomoDoubleLevel(uint8_t *destination, int32_t destinationPitch, int32_t destinationWidth,
                    int32_t destinationHeight, const uint8_t *source, int32_t sourcePitch);

// output = a - b over packed planes of width * height samples.
void LomoLevelDifference(int16_t *output, const uint8_t *a, const uint8_t *b, int32_t unused,
                         int32_t width, int32_t height);

// output = base + difference, clamped to 0..255, over packed planes.
void LomoAddDifference(const int16_t *difference, const uint8_t *base, uint8_t *output,
                       int32_t unused, int32_t width, int32_t height);

// Smooths the interior of a difference plane in place with [1 2 1] taps both ways; the border
// samples stay. The horizontal sums are divided by 16 (by 4 for row 0, the first interior row's
// upper neighbour) and the vertical combination by 16, so detail comes out at about 1/16 of its
// level (7/64 on the first interior row): the soft focus keeps little more than the coarsest
// level's picture.
void LomoSmoothDifference(int16_t *plane, int32_t pitch, int32_t width, int32_t height);

// The 8-bit twin: interior samples become a [1 2 1] smoothing both ways, each step divided by 4.
void LomoSmoothPlane(uint8_t *plane, int32_t pitch, int32_t width, int32_t height);

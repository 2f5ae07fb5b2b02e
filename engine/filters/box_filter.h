// Box filters: every sample of a plane becomes the mean of the (2r+1) x (2r+1) window centred
// on it, with replicated borders, at a cost per sample that does not depend on the radius.
#pragma once

#include <cstdint>

#include "core/hdr_engine.h"

// Modes: 0 writes the mean only where the sample is not negative (8-bit: everywhere);
// 1 writes the mean everywhere; 2 spreads a mask (16-bit: 256 where the mean is at least 2;
// 8-bit: twice the mean plus one half, at most 255). The 32-bit member treats every mode
// other than 0 as 1; the others leave the plane alone for modes outside 0..2.
//
// The mean is S * e / 65536 rounded half up, with e = 65536 / d^2 rounded half up and the
// product taken modulo 2^32: it is exact while e * S + 32768 stays below 2^31, which holds
// for samples of magnitude up to 31767 at every radius up to 32.
//
// The pitch counts samples; samples between the width and the pitch are neither read nor
// written. Results: RESULT_OK, RESULT_INVALID_ARGUMENT (null plane, negative size or radius,
// pitch below the width) or RESULT_OUT_OF_MEMORY with the plane untouched.
int32_t BoxFilterPlane16(MemoryContext memory, int16_t *plane, int32_t width, int32_t height,
                         int32_t pitch, int32_t radius, int32_t mode);
int32_t BoxFilterPlane32(MemoryContext memory, int32_t *plane, int32_t width, int32_t height,
                         int32_t pitch, int32_t radius, int32_t mode);
// Means above 255 (radii 9, 10, 18, ... on a window of 255s) are stored as 255.
int32_t BoxFilterPlane8(MemoryContext memory, uint8_t *plane, int32_t width, int32_t height,
                        int32_t pitch, int32_t radius, int32_t mode);

// round(65536 / d^2) with d = 2r + 1, as the filters use it (0 once d^2 exceeds 131072).
int32_t BoxMeanReciprocal(int32_t radius);

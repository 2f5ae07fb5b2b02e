// 32-bit twins of the tracker's plane operations. Nothing in the engine's merge calls them; they
// follow the 8-bit rules of tracker_pyramid.h except where noted.
#pragma once

#include <cstdint>

#include "align/plane8.h"

// A plane of 32-bit samples, row after row (stride = width).
struct Plane32 {
    int32_t width;
    int32_t height;
    int32_t *data;  // width * height samples, not cleared at creation
};

// Record zero-filled, data not cleared; null for a non-positive size or a failed allocation.
Plane32 *CreatePlane32(MemoryContext memory, int32_t width, int32_t height);
// Frees the data and the record; null does nothing.
void DestroyPlane32(MemoryContext memory, Plane32 *plane);

// As ReduceRows8 with stride = width; each result is masked to its low 8 bits.
void ReduceRows32(int32_t *scratch, const int32_t *source, int32_t sourceWidth,
                  int32_t *destination, int32_t destinationWidth, int32_t destinationHeight);
// As ReducePlane8: 0, or 2 for null arguments or a destination larger than half the source.
int ReducePlane32(int32_t *scratch, const Plane32 *source, Plane32 *destination);
// As ComputeGradients8 with full 32-bit results (no 8-bit truncation) and no stride check:
// 2 for a null plane, 0 without effect for a null scratch.
int ComputeGradients32(int32_t *scratch, const Plane32 *source, Plane32 *gradientX,
                       Plane32 *gradientY, Plane32 *nextLevel);
// New plane over b's size holding a(x, y) * b(x, y), both read as unsigned bytes; null when a
// plane is missing, a is smaller than b, or an allocation fails.
Plane32 *MultiplyPlanes8(MemoryContext memory, const Plane8 *a, const Plane8 *b);

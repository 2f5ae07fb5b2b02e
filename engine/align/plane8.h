// The 8-bit plane record of the feature tracker's pyramids and gradient planes.
#pragma once

#include <cstdint>

#include "core/memory.h"

// One record type serves image levels (unsigned samples) and gradient planes (signed samples,
// read through GradientRow).
struct Plane8 {
    int32_t width;   // samples per row
    int32_t height;  // rows
    int32_t stride;  // bytes per row: width rounded up to a multiple of 4
    uint8_t *data;   // stride * height bytes, not cleared at creation
};

// Makes a plane of the given size; null for a non-positive size or a failed allocation.
Plane8 *CreatePlane8(MemoryContext memory, int32_t width, int32_t height);
// Same as CreatePlane8; the plane is meant for signed gradients.
Plane8 *CreateGradientPlane(MemoryContext memory, int32_t width, int32_t height);
// Free the data and the record; null does nothing.
void DestroyPlane8(MemoryContext memory, Plane8 *plane);
void DestroyGradientPlane(MemoryContext memory, Plane8 *plane);

inline uint8_t *PlaneRow(const Plane8 *plane, int32_t y) {
    return plane->data + static_cast<int64_t>(y) * plane->stride;
}

inline int8_t *GradientRow(const Plane8 *plane, int32_t y) {
    return reinterpret_cast<int8_t *>(PlaneRow(plane, y));
}

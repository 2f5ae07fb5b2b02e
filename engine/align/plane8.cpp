#include "align/plane8.h"

Plane8 *CreatePlane8(MemoryContext memory, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return nullptr;
    Plane8 *plane = AllocateZeroed<Plane8>(memory, 1);
    if (!plane) return nullptr;
    plane->width = width;
    plane->height = height;
    // Rows start on 4-byte boundaries so the kernels can step four samples at a time.
    plane->stride = static_cast<int32_t>((static_cast<int64_t>(width) + 3) / 4 * 4);
    plane->data = static_cast<uint8_t *>(
        AllocateMemory(memory, static_cast<uint64_t>(plane->stride) * static_cast<uint64_t>(height)));
    if (!plane->data) {
        FreeMemory(memory, plane);
        return nullptr;
    }
    return plane;
}

Plane8 *CreateGradientPlane(MemoryContext memory, int32_t width, int32_t height) {
    return CreatePlane8(memory, width, height);
}

void DestroyPlane8(MemoryContext memory, Plane8 *plane) {
    if (!plane) return;
    FreeAndClear(memory, plane->data);
    FreeMemory(memory, plane);
}

void DestroyGradientPlane(MemoryContext memory, Plane8 *plane) { DestroyPlane8(memory, plane); }

#include "align/plane32.h"

#include <algorithm>

Plane32 *CreatePlane32(MemoryContext memory, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return nullptr;
    Plane32 *plane = AllocateZeroed<Plane32>(memory, 1);
    if (!plane) return nullptr;
    plane->width = width;
    plane->height = height;
    plane->data = static_cast<int32_t *>(AllocateMemory(
        memory, static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * sizeof(int32_t)));
    if (!plane->data) {
        FreeMemory(memory, plane);
        return nullptr;
    }
    return plane;
}

void DestroyPlane32(MemoryContext memory, Plane32 *plane) {
    if (!plane) return;
    FreeAndClear(memory, plane->data);
    FreeMemory(memory, plane);
}

void ReduceRows32(int32_t *scratch, const int32_t *source, int32_t sourceWidth,
                  int32_t *destination, int32_t destinationWidth, int32_t destinationHeight) {
    const int32_t columns = 2 * destinationWidth;
    for (int32_t y = 0; y < destinationHeight; ++y) {
        const int32_t *above = source + static_cast<int64_t>(std::max(2 * y - 1, 0)) * sourceWidth;
        const int32_t *centre = source + static_cast<int64_t>(2 * y) * sourceWidth;
        const int32_t *below = source + static_cast<int64_t>(2 * y + 1) * sourceWidth;
        // Sums wrap modulo 2^32 (samples may be any 32-bit value); the kept bits 4..11 do not
        // depend on the wrap.
        for (int32_t c = 0; c < columns; ++c)
            scratch[c] = static_cast<int32_t>(static_cast<uint32_t>(above[c]) +
                                              2u * static_cast<uint32_t>(centre[c]) +
                                              static_cast<uint32_t>(below[c]));
        int32_t *out = destination + static_cast<int64_t>(y) * destinationWidth;
        for (int32_t x = 0; x < destinationWidth; ++x) {
            const uint32_t left = static_cast<uint32_t>(scratch[std::max(2 * x - 1, 0)]);
            const uint32_t sum = left + 2u * static_cast<uint32_t>(scratch[2 * x]) +
                                 static_cast<uint32_t>(scratch[2 * x + 1]);
            out[x] = static_cast<int32_t>((sum >> 4) & 0xFFu);
        }
    }
}

int ReducePlane32(int32_t *scratch, const Plane32 *source, Plane32 *destination) {
    if (!scratch || !source || !destination || !source->data || !destination->data) return 2;
    if (source->width < 2 * static_cast<int64_t>(destination->width) ||
        source->height < 2 * static_cast<int64_t>(destination->height))
        return 2;
    ReduceRows32(scratch, source->data, source->width, destination->data, destination->width,
                 destination->height);
    return 0;
}

int ComputeGradients32(int32_t *scratch, const Plane32 *source, Plane32 *gradientX,
                       Plane32 *gradientY, Plane32 *nextLevel) {
    if (!source || !gradientX || !gradientY) return 2;
    if (!scratch) return 0;
    if (nextLevel)
        ReduceRows32(scratch, source->data, source->width, nextLevel->data, nextLevel->width,
                     nextLevel->height);
    const int32_t width = source->width;
    const int32_t height = source->height;
    auto row = [&](int32_t y) { return source->data + static_cast<int64_t>(y) * width; };
    for (int32_t y = 0; y < height; ++y) {
        const int32_t *above = row(std::max(y - 1, 0));
        const int32_t *centre = row(y);
        const int32_t *below = row(std::min(y + 1, height - 1));
        int32_t *outX = gradientX->data + static_cast<int64_t>(y) * width;
        int32_t *outY = gradientY->data + static_cast<int64_t>(y) * width;
        for (int32_t x = 0; x < width; ++x) {
            const int32_t l = std::max(x - 1, 0), r = std::min(x + 1, width - 1);
            const int64_t right = int64_t{above[r]} + 2 * int64_t{centre[r]} + below[r];
            const int64_t left = int64_t{above[l]} + 2 * int64_t{centre[l]} + below[l];
            const int64_t down = int64_t{below[l]} + 2 * int64_t{below[x]} + below[r];
            const int64_t up = int64_t{above[l]} + 2 * int64_t{above[x]} + above[r];
            outX[x] = static_cast<int32_t>((right - left) >> 3);
            outY[x] = static_cast<int32_t>((down - up) >> 3);
        }
    }
    return 0;
}

Plane32 *MultiplyPlanes8(MemoryContext memory, const Plane8 *a, const Plane8 *b) {
    if (!a || !b || !a->data || !b->data || a->width < b->width || a->height < b->height)
        return nullptr;
    Plane32 *product = CreatePlane32(memory, b->width, b->height);
    if (!product) return nullptr;
    for (int32_t y = 0; y < b->height; ++y) {
        const uint8_t *rowA = PlaneRow(a, y);
        const uint8_t *rowB = PlaneRow(b, y);
        int32_t *out = product->data + static_cast<int64_t>(y) * b->width;
        for (int32_t x = 0; x < b->width; ++x) out[x] = rowA[x] * rowB[x];
    }
    return product;
}

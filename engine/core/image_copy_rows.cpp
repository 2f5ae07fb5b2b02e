// Row kernels of the chroma-preserving copy.
#include <cstring>

#include "image_internal.h"

void CopyPackedRowKeepChroma(uint8_t *destinationRow, int32_t destinationX,
                             const uint8_t *sourceRow, int32_t sourceX, int32_t width,
                             int lumaOffset) {
    const int chromaOffset = 1 - lumaOffset;
    int32_t i = 0;
    for (; i + 1 < width; i += 2) {
        const int64_t s = static_cast<int64_t>(sourceX) + i;
        const int64_t d = static_cast<int64_t>(destinationX) + i;
        const uint8_t *pair = sourceRow + 4 * (s >> 1);
        const uint8_t u = pair[chromaOffset];
        const uint8_t v = pair[2 + chromaOffset];
        destinationRow[2 * d + lumaOffset] = sourceRow[2 * s + lumaOffset];
        destinationRow[2 * d + 2 + lumaOffset] = sourceRow[2 * s + 2 + lumaOffset];
        // An odd destination pixel sits in the V slot of its pair, and the pixel after it
        // in the U slot of the next pair.
        const bool odd = (d & 1) != 0;
        destinationRow[2 * d + chromaOffset] = odd ? v : u;
        destinationRow[2 * d + 2 + chromaOffset] = odd ? u : v;
    }
    if (i < width) {
        // The odd last pixel: its luma and the byte of its own source pair for its slot.
        const int64_t s = static_cast<int64_t>(sourceX) + i;
        const int64_t d = static_cast<int64_t>(destinationX) + i;
        const uint8_t *pair = sourceRow + 4 * (s >> 1);
        destinationRow[2 * d + lumaOffset] = sourceRow[2 * s + lumaOffset];
        destinationRow[2 * d + chromaOffset] = pair[2 * (d & 1) + chromaOffset];
    }
}

void CopyChromaPairRowKeepOrder(uint8_t *destinationRow, int32_t destinationX,
                                const uint8_t *sourceRow, int32_t sourceX, int32_t width) {
    uint8_t *to = destinationRow + destinationX;
    const uint8_t *from = sourceRow + sourceX;
    if ((destinationX & 1) == 0) {
        // The source starts on the second byte of a pair: read from the pair's start.
        std::memcpy(to, from - 1, static_cast<size_t>(width));
        return;
    }
    // The destination starts on the second byte of a pair: swap every byte pair.
    int32_t i = 0;
    for (; i + 1 < width; i += 2) {
        to[i] = from[i + 1];
        to[i + 1] = from[i];
    }
    if (i < width) to[i] = from[i + 1];
}

// Row kernels of the chroma-preserving copy.
#include <cstring>

#include "image_internal.h"

void CopyPackedRowKeepChroma(uint8_t *destinationRow, int32_t destinationX,
                             const uint8_t *sourceRow, int32_t sourceX, int32_t width,
                             int lumaOffset) {
    const int chromaOffset = 1 - lumaOffset;
    // An odd destination pixel sits in the V slot of its pair, and the pixel after it in the
    // U slot of the next pair. Groups advance by two pixels, so the slots are the same for
    // every group of the row.
    const bool odd = (destinationX & 1) != 0;
    const int firstSlot = odd ? 2 : 0;  // offset of the chroma byte the first pixel takes
    const int secondSlot = odd ? 0 : 2;
    uint8_t *to = destinationRow + 2 * static_cast<int64_t>(destinationX);
    const uint8_t *from = sourceRow + 2 * static_cast<int64_t>(sourceX);
    // Source pixel pairs start on whole pairs when the source x is even, else one pixel in.
    const int64_t pairBack = (sourceX & 1) ? 2 : 0;
    int32_t i = 0;
    for (; i + 1 < width; i += 2) {
        const uint8_t *pair = from + 2 * i - pairBack;
        to[2 * i + lumaOffset] = from[2 * i + lumaOffset];
        to[2 * i + 2 + lumaOffset] = from[2 * i + 2 + lumaOffset];
        to[2 * i + chromaOffset] = pair[firstSlot + chromaOffset];
        to[2 * i + 2 + chromaOffset] = pair[secondSlot + chromaOffset];
    }
    if (i < width) {
        // The odd last pixel: its luma and the byte of its own source pair for its slot.
        const uint8_t *pair = from + 2 * i - pairBack;
        to[2 * i + lumaOffset] = from[2 * i + lumaOffset];
        to[2 * i + chromaOffset] = pair[firstSlot + chromaOffset];
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

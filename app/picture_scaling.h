// Bilinear scaling of 32-bit pixels (four 8-bit channels, any order) for the picture view: only
// a part of the scaled picture is computed, so a zoomed-in view costs what the screen shows.
#pragma once

#include <cstdint>

struct ScaledPart {
    int fullWidth, fullHeight;          // size of the whole picture once scaled
    int x, y, width, height;            // the part to compute, within the full size
};

// Writes part of source (sourceWidth x sourceHeight pixels, sourceStride bytes per row) scaled
// to fullWidth x fullHeight into destination (part width x height, destinationStride bytes per
// row). Pixel centres map onto pixel centres; positions beyond the picture's edge take the edge
// pixel. Weights have 8 bits and every blend is rounded, so a flat area keeps its exact value.
// False (nothing written) for empty sizes or a part outside the full size.
bool ScaleArgbPart(const uint8_t *source, int64_t sourceStride, int sourceWidth,
                   int sourceHeight, uint8_t *destination, int64_t destinationStride,
                   const ScaledPart &part);

// The same with plain C row kernels only; the vector kernels match it bit for bit.
bool ScaleArgbPartReference(const uint8_t *source, int64_t sourceStride, int sourceWidth,
                            int sourceHeight, uint8_t *destination, int64_t destinationStride,
                            const ScaledPart &part);

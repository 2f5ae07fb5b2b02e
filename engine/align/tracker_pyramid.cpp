#include "align/tracker_pyramid.h"

#include <algorithm>

#include "align/tracker_gradient_kernels.h"

void ReduceRows8(int32_t *scratch, const uint8_t *source, int32_t sourceStride,
                 uint8_t *destination, int32_t destinationStride, int32_t destinationWidth,
                 int32_t destinationHeight) {
    const int32_t columns = 2 * destinationWidth;
    for (int32_t y = 0; y < destinationHeight; ++y) {
        const uint8_t *above = source + static_cast<int64_t>(std::max(2 * y - 1, 0)) * sourceStride;
        const uint8_t *centre = source + static_cast<int64_t>(2 * y) * sourceStride;
        const uint8_t *below = source + static_cast<int64_t>(2 * y + 1) * sourceStride;
        for (int32_t c = 0; c < columns; ++c) scratch[c] = above[c] + 2 * centre[c] + below[c];
        uint8_t *out = destination + static_cast<int64_t>(y) * destinationStride;
        for (int32_t x = 0; x < destinationWidth; ++x) {
            const int32_t left = scratch[std::max(2 * x - 1, 0)];
            out[x] = static_cast<uint8_t>((left + 2 * scratch[2 * x] + scratch[2 * x + 1]) >> 4);
        }
    }
}

int ReducePlane8(int32_t *scratch, const Plane8 *source, Plane8 *destination) {
    if (!scratch || !source || !destination || !source->data || !destination->data) return 2;
    if (source->width < 2 * static_cast<int64_t>(destination->width) ||
        source->height < 2 * static_cast<int64_t>(destination->height))
        return 2;
    ReduceRows8(scratch, source->data, source->stride, destination->data, destination->stride,
                destination->width, destination->height);
    return 0;
}

int ComputeGradients8(int32_t *scratch, const Plane8 *source, Plane8 *gradientX,
                      Plane8 *gradientY, Plane8 *nextLevel) {
    if (!source || !gradientX || !gradientY) return 2;
    if (source->stride != gradientX->stride || source->stride != gradientY->stride) return 2;
    if (!scratch) return 0;
    if (nextLevel)
        ReduceRows8(scratch, source->data, source->stride, nextLevel->data, nextLevel->stride,
                    nextLevel->width, nextLevel->height);
    for (int32_t y = 0; y < source->height; ++y)
        TrackerGradientRow(PlaneRow(source, std::max(y - 1, 0)), PlaneRow(source, y),
                           PlaneRow(source, std::min(y + 1, source->height - 1)), source->width,
                           GradientRow(gradientX, y), GradientRow(gradientY, y));
    return 0;
}

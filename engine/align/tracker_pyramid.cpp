#include "align/tracker_pyramid.h"

#include <algorithm>

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

namespace {

// gx of one row: differences of the vertical [1 2 1] sums of the neighbouring columns.
void GradientXRow(const uint8_t *above, const uint8_t *centre, const uint8_t *below,
                  int32_t width, int8_t *out) {
    auto vertical = [&](int32_t x) { return above[x] + 2 * centre[x] + below[x]; };
    for (int32_t x = 0; x < width; ++x) {
        const int32_t left = vertical(std::max(x - 1, 0));
        const int32_t right = vertical(std::min(x + 1, width - 1));
        out[x] = static_cast<int8_t>((right - left) >> 3);
    }
}

// Horizontal [1 2 1] sums of one row.
void HorizontalSums(const uint8_t *row, int32_t width, int32_t *out) {
    for (int32_t x = 0; x < width; ++x)
        out[x] = row[std::max(x - 1, 0)] + 2 * row[x] + row[std::min(x + 1, width - 1)];
}

}  // namespace

int ComputeGradients8(int32_t *scratch, const Plane8 *source, Plane8 *gradientX,
                      Plane8 *gradientY, Plane8 *nextLevel) {
    if (!source || !gradientX || !gradientY) return 2;
    if (source->stride != gradientX->stride || source->stride != gradientY->stride) return 2;
    if (!scratch) return 0;
    if (nextLevel)
        ReduceRows8(scratch, source->data, source->stride, nextLevel->data, nextLevel->stride,
                    nextLevel->width, nextLevel->height);
    const int32_t width = source->width;
    const int32_t height = source->height;
    // Three rotating rows of horizontal sums: rows y - 1, y and y + 1 (clamped).
    int32_t *sums[3] = {scratch, scratch + width, scratch + 2 * width};
    HorizontalSums(PlaneRow(source, 0), width, sums[1]);
    std::copy(sums[1], sums[1] + width, sums[0]);
    for (int32_t y = 0; y < height; ++y) {
        const int32_t next = std::min(y + 1, height - 1);
        HorizontalSums(PlaneRow(source, next), width, sums[2]);
        GradientXRow(PlaneRow(source, std::max(y - 1, 0)), PlaneRow(source, y),
                     PlaneRow(source, next), width, GradientRow(gradientX, y));
        int8_t *outY = GradientRow(gradientY, y);
        for (int32_t x = 0; x < width; ++x)
            outY[x] = static_cast<int8_t>((sums[2][x] - sums[0][x]) >> 3);
        int32_t *oldest = sums[0];
        sums[0] = sums[1];
        sums[1] = sums[2];
        sums[2] = oldest;
    }
    return 0;
}

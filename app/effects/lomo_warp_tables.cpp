#include "effects/lomo_warp_tables.h"

#include <cmath>
#include <cstring>
#include <functional>

#include "effects/lomo_memory.h"

LomoRows CheckLomoPictures(const uint8_t *source, const uint8_t *destination, int32_t width,
                           int32_t height, int32_t lineBytes) {
    const LomoRows rows = CheckLomoRows(source, width, height, lineBytes);
    if (rows != LomoRows::kProcess) return rows;
    if (!destination) return LomoRows::kRefused;
    // Both buffers span lineBytes * height bytes; the effects read the source after writing
    // parts of the destination, so they must not share a byte.
    const size_t bytes = static_cast<size_t>(lineBytes) * static_cast<size_t>(height);
    const std::less<const uint8_t *> before;
    if (before(source, destination + bytes) && before(destination, source + bytes))
        return LomoRows::kRefused;
    return LomoRows::kProcess;
}

void CopyLomoPicture(const uint8_t *source, uint8_t *destination, int32_t height,
                     int32_t lineBytes) {
    std::memcpy(destination, source, static_cast<size_t>(lineBytes) * static_cast<size_t>(height));
}

int32_t LomoRadialNodeWeight(double d, int32_t strength, double cornerValue) {
    const double s = strength;
    return static_cast<int32_t>(
        ((1.0 - d) * (0.2 * s + cornerValue * (100 - strength)) * 0.01 + d * cornerValue) * 256.0 +
        0.5);
}

LomoWeightGrid BuildLomoWeightGrid(int32_t width, int32_t height, int32_t strength,
                                   double cornerValue) {
    LomoWeightGrid grid{nullptr, static_cast<int32_t>((static_cast<int64_t>(width) + 31) >> 4),
                        static_cast<int32_t>((static_cast<int64_t>(height) + 31) >> 4)};
    grid.weights = static_cast<int32_t *>(LomoAllocate(
        static_cast<size_t>(grid.nodesPerRow) * static_cast<size_t>(grid.nodeRows) * sizeof(int32_t)));
    if (!grid.weights) return grid;
    const double cx = (width + 1) >> 1;
    const double cy = (height + 1) >> 1;
    const double corner2 = cx * cx + cy * cy;
    int32_t *w = grid.weights;
    for (int32_t ny = 0; ny < grid.nodeRows; ++ny) {
        const double dy = 16.0 * ny - cy;
        for (int32_t nx = 0; nx < grid.nodesPerRow; ++nx) {
            const double dx = 16.0 * nx - cx;
            *w++ = LomoRadialNodeWeight(std::sqrt((dx * dx + dy * dy) / corner2), strength,
                                        cornerValue);
        }
    }
    return grid;
}

namespace {

LOMO_ROW_KERNEL void BlendCell(const uint8_t *source, const uint8_t *processed, uint8_t *out,
                               int32_t bytes, uint32_t j) {
    const uint32_t k = 256 - j;
    LOMO_SIMD
    for (int32_t b = 0; b < bytes; ++b)
        out[b] = static_cast<uint8_t>((processed[b] * j + source[b] * k) >> 8);
}

}  // namespace

void BlendLomoBytes(const uint8_t *source, const uint8_t *processed, uint8_t *out,
                    int32_t firstByte, int32_t bytes, const int32_t *nodeWeights) {
    const int32_t *j = nodeWeights + firstByte / 48;
    for (int32_t b = 0; b < bytes; b += 48, ++j) {
        const int32_t n = bytes - b < 48 ? bytes - b : 48;
        BlendCell(source + b, processed + b, out + b, n, static_cast<uint32_t>(*j));
    }
}

int BuildLomoBlurKernel(double sigma, LomoBlurKernel *kernel) {
    if (!(sigma > 0.0) || !(sigma < 128.0)) return 0;
    const int32_t r = static_cast<int32_t>(std::ceil(2.0 * sigma));
    kernel->radius = r;
    uint32_t sum = 0;
    for (int32_t i = -r; i <= r; ++i) {
        const float e = static_cast<float>(std::exp(-static_cast<double>(i * i) / (2.0 * sigma * sigma)));
        kernel->taps[i + r] = static_cast<int32_t>(e * 256.0f + 0.5f);
        sum += static_cast<uint32_t>(kernel->taps[i + r]);
    }
    if (sum > 65535) return 0;
    kernel->tapSum = sum;
    // The whole two-way sum of taps is S1 squared, below 2^32 now that S1 fits 16 bits.
    const uint32_t t2 = sum * sum;
    uint32_t n;
    if (t2 < (1u << 24) + 256) {
        n = t2 >> 8;
        kernel->shift = 0;
    } else {
        n = ((t2 >> 8) + 128) >> 8;
        kernel->shift = 8;
    }
    kernel->reciprocal = (1u << 24) / n;  // n >= 256: the centre tap alone gives 65536
    return 1;
}

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "effects/lomo_memory.h"
#include "effects/lomo_warp_kernels.h"
#include "effects/lomo_warp_tables.h"

namespace {

// Bytes per pass of the row loops: ten 16-pixel cells, so that a pass starts on a cell.
constexpr int32_t kChunk = 480;

// The working state of one blur. Horizontal sums live in a ring of 2r + 1 rows (fewer for a
// low picture): row y' is in slot y' % ringRows, and a destination row reads at most 2r + 1
// consecutive rows, so none is overwritten while it is still needed.
struct BlurWork {
    const LomoBlurKernel *kernel;
    uint16_t *ring;
    int32_t ringRows;
    int32_t rowSamples;        // 3 * width
    uint16_t *columnWeights;   // per column, the sum of the taps that lie inside the row
    LomoWeightGrid grid;
};

LOMO_ROW_KERNEL void HorizontalChunk(const uint8_t *first, int32_t n, const int32_t *taps,
                                     int32_t tapCount, uint16_t *out) {
    uint32_t acc[kChunk] = {};
    for (int32_t t = 0; t < tapCount; ++t) {
        const uint8_t *p = first + 3 * t;
        const auto k = static_cast<uint32_t>(taps[t]);
        LOMO_SIMD
        for (int32_t i = 0; i < n; ++i) acc[i] += k * p[i];
    }
    LOMO_SIMD
    for (int32_t i = 0; i < n; ++i) out[i] = static_cast<uint16_t>(acc[i] >> 8);
}

// A column whose taps reach past the row's ends sums only the taps inside it.
void HorizontalEdgeColumn(const uint8_t *row, int32_t width, int32_t x, const LomoBlurKernel &k,
                          uint16_t *out) {
    const int32_t r = k.radius;
    const int32_t lo = std::max(-r, -x);
    const int32_t hi = std::min(r, width - 1 - x);
    uint32_t sum[3] = {0, 0, 0};
    for (int32_t i = lo; i <= hi; ++i) {
        const auto t = static_cast<uint32_t>(k.taps[i + r]);
        const uint8_t *p = row + 3 * static_cast<int64_t>(x + i);
        for (int c = 0; c < 3; ++c) sum[c] += t * p[c];
    }
    for (int c = 0; c < 3; ++c) out[3 * static_cast<int64_t>(x) + c] = static_cast<uint16_t>(sum[c] >> 8);
}

void HorizontalRow(const uint8_t *row, int32_t width, const LomoBlurKernel &k, uint16_t *out) {
    const int32_t r = k.radius;
    const int32_t first = std::min(r, width);          // first column with every tap inside
    const int32_t last = std::max(first, width - r);   // first edge column on the right
    for (int32_t x = 0; x < first; ++x) HorizontalEdgeColumn(row, width, x, k, out);
    for (int32_t b = 3 * first; b < 3 * last; b += kChunk)
        HorizontalChunk(row + b - 3 * r, std::min(kChunk, 3 * last - b), k.taps, 2 * r + 1,
                        out + b);
    for (int32_t x = last; x < width; ++x) HorizontalEdgeColumn(row, width, x, k, out);
}

void ComputeColumnWeights(int32_t width, const LomoBlurKernel &k, uint16_t *weights) {
    const int32_t r = k.radius;
    for (int32_t x = 0; x < width; ++x) {
        uint32_t sum = 0;
        for (int32_t i = std::max(-r, -x); i <= std::min(r, width - 1 - x); ++i)
            sum += static_cast<uint32_t>(k.taps[i + r]);
        weights[x] = static_cast<uint16_t>(sum);
    }
}

LOMO_ROW_KERNEL void VerticalChunk(const uint16_t *const *rows, const int32_t *taps,
                                   int32_t tapCount, int32_t offset, int32_t n, uint32_t *acc) {
    LOMO_SIMD
    for (int32_t i = 0; i < n; ++i) acc[i] = 0;
    for (int32_t t = 0; t < tapCount; ++t) {
        const uint16_t *p = rows[t] + offset;
        const auto k = static_cast<uint32_t>(taps[t]);
        LOMO_SIMD
        for (int32_t i = 0; i < n; ++i) acc[i] += k * p[i];
    }
}

// Where every tap of both passes lies inside the picture the two-way sum of taps is known, and
// a multiply by its reciprocal replaces the division. The product wraps as 32-bit arithmetic.
LOMO_ROW_KERNEL void NormaliseChunk(const uint32_t *acc, int32_t n, int32_t shift,
                                    uint32_t reciprocal, uint8_t *out) {
    LOMO_SIMD
    for (int32_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(((acc[i] >> shift) * reciprocal) >> 24);
}

void BlurRow(const uint8_t *source, int32_t width, int32_t height, int32_t lineBytes,
             uint8_t *destination, const BlurWork &work, int32_t y) {
    const LomoBlurKernel &k = *work.kernel;
    const int32_t r = k.radius;
    const int32_t lo = std::max(-r, -y);
    const int32_t hi = std::min(r, height - 1 - y);
    const uint16_t *rows[2 * kLomoBlurMaxRadius + 1];
    uint32_t rowTaps = 0;
    for (int32_t j = lo; j <= hi; ++j) {
        rows[j - lo] = work.ring + static_cast<int64_t>((y + j) % work.ringRows) * work.rowSamples;
        rowTaps += static_cast<uint32_t>(k.taps[j + r]);
    }
    const bool innerRow = y >= r && y < height - r;
    const int32_t innerFirst = 3 * std::min(r, width);
    const int32_t innerLast = std::max(innerFirst, 3 * (width - r));
    const uint8_t *src = LomoRow(const_cast<uint8_t *>(source), y, lineBytes);
    uint8_t *dst = LomoRow(destination, y, lineBytes);
    const int32_t *nodeWeights = work.grid.weights + static_cast<int64_t>(y >> 4) * work.grid.nodesPerRow;
    uint32_t acc[kChunk];
    uint8_t blurred[kChunk];
    for (int32_t b0 = 0; b0 < work.rowSamples; b0 += kChunk) {
        const int32_t n = std::min(kChunk, work.rowSamples - b0);
        VerticalChunk(rows, k.taps + (lo + r), hi - lo + 1, b0, n, acc);
        if (innerRow) NormaliseChunk(acc, n, k.shift, k.reciprocal, blurred);
        for (int32_t i = 0; i < n; ++i) {
            const int32_t b = b0 + i;
            if (innerRow && b >= innerFirst && b < innerLast) continue;
            blurred[i] = LomoBlurEdgeQuotient(acc[i], work.columnWeights[b / 3] * rowTaps, src[b]);
        }
        BlendLomoBytes(src + b0, blurred, dst + b0, b0, n, nodeWeights);
    }
}

void FreeBlurWork(BlurWork &work) {
    LomoFree(work.grid.weights);
    LomoFree(work.columnWeights);
    LomoFree(work.ring);
}

}  // namespace

int LomoRadialBlur(const uint8_t *source, int32_t width, int32_t height, int32_t lineBytes,
                   uint8_t *destination, int32_t strength, double sigma) {
    const LomoRows rows = CheckLomoPictures(source, destination, width, height, lineBytes);
    if (rows != LomoRows::kProcess) return rows == LomoRows::kNothing ? 1 : 0;
    if (std::isnan(sigma)) return 0;
    // No blur at all: the blend of the picture with itself is the picture.
    if (sigma <= 0.0) {
        CopyLomoPicture(source, destination, height, lineBytes);
        return 1;
    }
    LomoBlurKernel kernel;
    if (!BuildLomoBlurKernel(sigma, &kernel)) return 0;
    strength = ClampLomoStrength(strength);

    BlurWork work{};
    work.kernel = &kernel;
    work.ringRows = std::min(height, 2 * kernel.radius + 1);
    work.rowSamples = 3 * width;
    work.ring = static_cast<uint16_t *>(LomoAllocate(
        static_cast<size_t>(work.ringRows) * static_cast<size_t>(work.rowSamples) * sizeof(uint16_t)));
    if (work.ring)
        work.columnWeights = static_cast<uint16_t *>(LomoAllocate(static_cast<size_t>(width) * sizeof(uint16_t)));
    if (work.columnWeights)
        work.grid = BuildLomoWeightGrid(width, height, strength, kLomoBlurCornerValue);
    if (!work.grid.weights) {
        FreeBlurWork(work);
        return 0;
    }
    ComputeColumnWeights(width, kernel, work.columnWeights);

    int32_t ready = 0;  // rows of horizontal sums made so far
    for (int32_t y = 0; y < height; ++y) {
        for (const int32_t need = std::min(height, y + kernel.radius + 1); ready < need; ++ready)
            HorizontalRow(LomoRow(const_cast<uint8_t *>(source), ready, lineBytes), width, kernel,
                          work.ring + static_cast<int64_t>(ready % work.ringRows) * work.rowSamples);
        BlurRow(source, width, height, lineBytes, destination, work, y);
    }
    FreeBlurWork(work);
    return 1;
}

// From block sums to the level map: stops per block, their range, quantisation to 255 levels,
// spreading of the brightest levels and a 5-tap smoothing.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "alt/block_exposure_map.h"
#include "core/constant_tables.h"
#include "core/memory.h"

namespace {

constexpr double kStopStep = 0.05;
constexpr double kFixedOne = 65536.0;
constexpr int32_t kTaps[5] = {35, 155, 256, 155, 35};
constexpr int64_t kTapSumSquared = 404496;  // 636 * 636, half of the divisor below
constexpr int64_t kTwiceTapSumSquared = 808992;

}  // namespace

double Log2Clamped(double x) {
    x = std::clamp(x, 1.0 / 16, 16.0);
    const bool inverted = x < 1;
    if (inverted) x = 1 / x;
    double m = x;
    int e = 0;
    if (x >= 8) {
        m = x / 8;
        e = 3;
    } else if (x >= 4) {
        m = x / 4;
        e = 2;
    } else if (x >= 2) {
        m = x / 2;
        e = 1;
    }
    const int index = std::clamp(int(std::trunc((m - 1) * 255 + 0.5)), 0, 255);
    const double r = e + log2Table[index];
    return inverted ? -r : r;
}

int ComputeBlockStops(const HdrSession *s, const BlockSums &sums, double *stops,
                      int32_t blocksAcross, int32_t blocksDown, int32_t toneExcess) {
    const int64_t count = int64_t{blocksAcross} * blocksDown;
    for (int64_t b = 0; b < count; ++b) {
        const int32_t f = sums.fused[b];
        double n = kMidGreyLinear;
        // Short tone lengths aim at what the exposures themselves show rather than mid-grey.
        if (toneExcess <= 0) {
            if (s->sceneClass == 0 && sums.bright[b] <= kMidGreyLinear) n = sums.bright[b];
            if (f >= kMidGreyLinear) n = sums.dark[b];
        }
        const double l = Log2Clamped(n / (f + 1.0));
        stops[b] = kStopStep * std::trunc(20 * l + 0.5);
    }
    return RESULT_OK;
}

int FindStopRange(const double *stops, int64_t count, double *minStop, double *maxStop) {
    double lo = 4.0, hi = -4.0;
    for (int64_t b = 0; b < count; ++b) {
        lo = std::min(lo, stops[b]);
        hi = std::max(hi, stops[b]);
    }
    *minStop = lo;
    *maxStop = hi;
    return RESULT_OK;
}

int QuantiseStopMap(const double *stops, uint8_t *levels, int64_t count, int32_t levelCount,
                    double *table, double minStop, double centre, double maxStop) {
    const int32_t half = (levelCount - 1) / 2;
    const int64_t gl = int64_t(std::trunc((centre - minStop) / half * kFixedOne));
    const int64_t gh = int64_t(std::trunc((maxStop - centre) / half * kFixedOne));
    const int64_t c = int64_t(std::trunc(centre * kFixedOne));
    for (int64_t b = 0; b < count; ++b) {
        const int64_t d = int64_t(std::trunc(stops[b] * kFixedOne)) - c;
        int64_t level = half;
        if (d < 0 && gl > 0)
            level = std::max<int64_t>((2 * d - gl) / (2 * gl) + half, 0);
        else if (d >= 0 && gh > 0)
            level = std::min<int64_t>((2 * d + gh) / (2 * gh) + half, levelCount - 1);
        levels[b] = uint8_t(level);
    }
    for (int32_t l = 0; l < levelCount; ++l) {
        if (l < half)
            table[l] = centre - (half - l) * (centre - minStop) / half;
        else if (l == half)
            table[l] = centre;
        else
            table[l] = centre + (l - half) * (maxStop - centre) / half;
    }
    return RESULT_OK;
}

void SpreadBrightLevels(const uint8_t *in, uint8_t *out, int32_t width, int32_t height,
                        int32_t stride, int32_t radius, int32_t threshold) {
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const int32_t level = in[int64_t{y} * stride + x];
            out[int64_t{y} * stride + x] = uint8_t(level);
            if (level < threshold) continue;
            int32_t brighter = 0, nearest = -1, nearestDistance = 1 << 30;
            for (int32_t v = y - radius; v <= y + radius; ++v) {
                if (v < 0 || v >= height) continue;
                for (int32_t u = x - radius; u <= x + radius; ++u) {
                    if (u < 0 || u >= width) continue;
                    const int32_t n = in[int64_t{v} * stride + u];
                    if (n > level - 32) ++brighter;
                    const int32_t distance = std::abs(n - 128);
                    if (distance < nearestDistance) {
                        nearestDistance = distance;
                        nearest = n;
                    }
                }
            }
            // An isolated bright block takes its neighbourhood's level; a bright area stays.
            if (nearestDistance >= 33 && nearestDistance <= 127 && nearest >= 129 &&
                brighter <= 6)
                out[int64_t{y} * stride + x] = uint8_t(nearest);
        }
    }
}

int SmoothLevelMap5Tap(MemoryContext memory, const uint8_t *in, uint8_t *out, int32_t width,
                       int32_t height) {
    const int64_t cells = int64_t{width} * height;
    int32_t *work = AllocateZeroed<int32_t>(memory, uint64_t(2 * cells));
    if (!work) return RESULT_OUT_OF_MEMORY;
    int32_t *sums = work;
    int32_t *tapSums = work + cells;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            int32_t s = 0, t = 0;
            for (int k = -2; k <= 2; ++k) {
                if (x + k < 0 || x + k >= width) continue;
                s += kTaps[k + 2] * in[int64_t{y} * width + x + k];
                t += kTaps[k + 2];
            }
            sums[int64_t{y} * width + x] = s;
            tapSums[int64_t{y} * width + x] = t;
        }
    }
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            int64_t d = 0, w = 0;
            for (int k = -2; k <= 2; ++k) {
                if (y + k < 0 || y + k >= height) continue;
                d += int64_t{kTaps[k + 2]} * sums[int64_t{y + k} * width + x];
                w += int64_t{kTaps[k + 2]} * tapSums[int64_t{y + k} * width + x];
            }
            const bool inside = y >= 2 && y < height - 2 && x >= 2 && x < width - 2;
            const int64_t level =
                inside ? (2 * d + kTapSumSquared) / kTwiceTapSumSquared : (w + 2 * d) / (2 * w);
            out[int64_t{y} * width + x] = uint8_t(level);
        }
    }
    FreeMemory(memory, work);
    return RESULT_OK;
}

void BorderLevelMap(const uint8_t *map, int32_t width, int32_t height, uint8_t *bordered) {
    const int64_t stride = int64_t{width} + 2;
    for (int32_t i = 0; i < height; ++i) {
        uint8_t *row = bordered + (i + 1) * stride;
        std::copy(map + int64_t{i} * width, map + int64_t{i + 1} * width, row + 1);
        row[0] = row[1];
        row[width + 1] = row[width];
    }
    std::copy(bordered + stride, bordered + 2 * stride, bordered);
    std::copy(bordered + height * stride, bordered + (height + 1) * stride,
              bordered + (height + 1) * stride);
}

void FillStopTable(double *table, double minStop, double maxStop, int32_t t, int32_t sceneClass) {
    const double s = t <= 80 ? 0.001 : 0.02;
    const double k = t <= 80 ? t : t - 80;
    const double su = sceneClass > 0 ? 0.015 : 0.01;
    for (int32_t l = 0; l < kStopLevelCentre; ++l)
        table[l] = minStop * s * k * (kStopLevelCentre - l) / kStopLevelCentre;
    table[kStopLevelCentre] = 0;
    for (int32_t l = kStopLevelCentre + 1; l < kStopLevels; ++l)
        table[l] = maxStop * su * t * (l - kStopLevelCentre) / kStopLevelCentre;
}

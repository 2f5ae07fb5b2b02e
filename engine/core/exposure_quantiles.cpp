// The stand-alone steps of the exposure statistics: quantile levels, their normalized curve
// and the tone table between two sets of levels.
#include <algorithm>

#include "exposure_stats.h"
#include "hdr_engine.h"

namespace {

constexpr uint32_t kLinearTop = 4095;
constexpr int kTableSize = 4096;
constexpr uint32_t kUnity = 65536;  // 1.0 in 16-bit fixed point

int32_t ClampToTable(int64_t level) {
    return static_cast<int32_t>(std::clamp<int64_t>(level, 0, kTableSize));
}

}  // namespace

int32_t CeilLog2(int32_t n) {
    if (n <= 1) return 0;
    int32_t bits = 0;
    for (uint32_t v = static_cast<uint32_t>(n) - 1; v != 0; v >>= 1) ++bits;
    return bits;
}

int FindQuantileLevels(int32_t *levels, int32_t count, const int32_t *histogram,
                       int64_t pixelCount) {
    if (!levels || !histogram || count < 1) return RESULT_INVALID_ARGUMENT;
    levels[0] = 0;
    // floor(pixelCount k / count) without forming pixelCount k, which a caller's count above
    // 2^63 / k would overflow: the whole part times k plus the remainder's share (both terms
    // carry the sign of pixelCount, so truncation matches the full quotient).
    const int64_t whole = pixelCount / count, rest = pixelCount % count;
    int64_t running = 0;
    int next = 0;
    for (int32_t k = 1; k <= count; ++k) {
        const int64_t threshold = whole * k + rest * k / count;
        int32_t level = 255;
        while (next < 256) {
            running += histogram[next];
            if (running >= threshold) {
                level = next++;
                break;
            }
            ++next;
        }
        levels[k] = level;
    }
    return RESULT_OK;
}

int NormalizeQuantileLevels(int32_t *out, const int32_t *levels, int32_t count, int32_t flag) {
    if (!out || !levels || count < 1) return RESULT_INVALID_ARGUMENT;
    const uint32_t base = static_cast<uint32_t>(std::max(levels[0], 0));
    const uint32_t top = static_cast<uint32_t>(std::max(levels[count], 0));
    const uint32_t normalizedTop = (top + kLinearTop) >> 1;
    // The top's factor in 16-bit fixed point; a curve without range has none to spread.
    const uint32_t topFactor = top > base ? (normalizedTop << 16) / (top - base) : 0;
    const uint32_t steps = static_cast<uint32_t>(count) + 1;
    for (int32_t k = 1; k < count; ++k) {
        const uint32_t level = static_cast<uint32_t>(std::max(levels[k], 0));
        const uint32_t above = level > base ? level - base : 0;
        const uint32_t uk = static_cast<uint32_t>(k);
        // Unsigned 32-bit arithmetic throughout, as the fixed-point factor is defined in it.
        const uint32_t factor = (uk * topFactor + (steps - uk) * kUnity) / steps;
        out[k] = static_cast<int32_t>((above * factor) >> 16);
    }
    out[count] = static_cast<int32_t>(normalizedTop);
    // The base never lies above the first quantile's level.
    const uint32_t first = flag ? base >> 1 : 0;
    const uint32_t next = static_cast<uint32_t>(out[1]);
    out[0] = static_cast<int32_t>(first > next ? next >> 1 : first);
    return RESULT_OK;
}

int BuildQuantileToneTable(uint16_t *out, const int32_t *levels, const int32_t *targets,
                           int32_t count, int32_t shift) {
    if (!out || !levels || !targets || count < 1 || shift < 0 || shift > 15)
        return RESULT_INVALID_ARGUMENT;
    uint32_t table[kTableSize] = {};  // 0 below levels[0]
    for (int32_t k = 0; k < count; ++k) {
        const int32_t from = ClampToTable(levels[k]);
        const int32_t to = ClampToTable(levels[k + 1]);
        const uint32_t t0 = static_cast<uint32_t>(targets[k]);
        const uint32_t rise = static_cast<uint32_t>(targets[k + 1]) - t0;
        const uint32_t run = static_cast<uint32_t>(to - from);
        for (int32_t j = from; j < to; ++j)
            table[j] = t0 + (static_cast<uint32_t>(j - from) * rise) / run;
    }
    // From the top level up, the value just below it; a top at level 0 has none and gives 0.
    const int32_t top = ClampToTable(levels[count]);
    const uint32_t fill = top > 0 ? table[top - 1] : 0;
    std::fill(table + top, table + kTableSize, fill);
    for (int j = 0; j < kTableSize; ++j) out[j] = static_cast<uint16_t>(table[j] << shift);
    return RESULT_OK;
}

#include "segment_kernels.h"

#include <algorithm>

namespace {

constexpr int32_t kWalkLimit = 128;   // how far a segment may widen on each side
constexpr int32_t kRampGroups = 16;   // groups of the chroma ramps at each end

const uint16_t *SegmentList(const uint16_t *segments, int32_t y, int32_t stride) {
    return segments + static_cast<int64_t>((y + 16) >> 5) * stride;
}

int32_t CountOf(const uint16_t *counts, int32_t y) { return counts[(y + 16) >> 5]; }

// Where a segment may widen: the secondaries leave room (their weights sum to at most 1.0)
// and the reference weighs at least 8/256.
bool Widens(const int16_t *w0, const int16_t *w1, const int16_t *w2, int32_t x) {
    return w1[x] + w2[x] <= 256 && w0[x] >= 8;
}

int32_t WidenedStart(const int16_t *w0, const int16_t *w1, const int16_t *w2, int32_t d,
                     int32_t width) {
    if (d >= width) return d;
    const int32_t limit = std::max(d - kWalkLimit, 0);
    for (int32_t x = d;; x -= 4) {
        if (x < limit) return limit;
        if (!Widens(w0, w1, w2, x)) return x;
    }
}

int32_t WidenedEnd(const int16_t *w0, const int16_t *w1, const int16_t *w2, int32_t c,
                   int32_t width) {
    const int32_t limit = std::max(std::min(c + kWalkLimit, width - 32), 0);
    for (int32_t x = c;; x += 4) {
        if (x >= limit) return limit;
        if (!Widens(w0, w1, w2, x)) return x;
    }
}

// Oi[s + k] = Wi[s] + ((k slope) >> 16) over [s, e), the row read as unsigned 16-bit; only the
// low 16 bits of each value are kept.
void InterpolateRow(const int16_t *w, int16_t *o, int32_t s, int32_t e) {
    const int64_t first = static_cast<uint16_t>(w[s]);
    const int64_t last = static_cast<uint16_t>(w[e]);
    const int64_t slope = (last - first) * 65536 / (e - s);
    for (int32_t k = 0; k < e - s; ++k) {
        const int64_t v = first + ((k * slope) >> 16);
        o[s + k] = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFF));
    }
}

// The samples of the group at pixel x in a packed 16-bit row: U at 2x + 1 and 2x + 5, V at
// 2x + 3 and 2x + 7.
constexpr int kU0 = 1, kV0 = 3, kU1 = 5, kV1 = 7;

uint16_t AddSaturated(uint16_t sample, int64_t add) {
    return static_cast<uint16_t>(std::clamp<int64_t>(int64_t{sample} + add, 0, 32767));
}

struct ChromaShift {
    int64_t du, dv;
};

// The mean differences Q - P of the U and V samples over the segment's groups and n rows.
ChromaShift MeanDifference(const uint16_t *P, const uint16_t *Q, int32_t f, int32_t e, int32_t w,
                           int32_t n) {
    int64_t sums[2][2] = {};  // [P or Q][U or V]
    for (int32_t row = 0; row < n; ++row) {
        const int64_t base = 2 * static_cast<int64_t>(row) * w;
        for (int32_t x = f; x < e && x + 4 <= w; x += 4) {
            const int64_t at = base + 2 * static_cast<int64_t>(x);
            const uint16_t *rows[2] = {P + at, Q + at};
            for (int k = 0; k < 2; ++k) {
                sums[k][0] += rows[k][kU0] + rows[k][kU1];
                sums[k][1] += rows[k][kV0] + rows[k][kV1];
            }
        }
    }
    const int64_t count = int64_t{e - f} * n;
    const auto mean = [count](int64_t sum) { return 2 * sum / count; };
    return {mean(sums[1][0]) - mean(sums[0][0]), mean(sums[1][1]) - mean(sums[0][1])};
}

// Adds to the group's samples: a to the first U and V sample, b to the second (per channel).
void AddToGroup(uint16_t *group, int64_t aU, int64_t bU, int64_t aV, int64_t bV) {
    group[kU0] = AddSaturated(group[kU0], aU);
    group[kU1] = AddSaturated(group[kU1], bU);
    group[kV0] = AddSaturated(group[kV0], aV);
    group[kV1] = AddSaturated(group[kV1], bV);
}

void ShiftSegmentRow(uint16_t *row, int32_t f, int32_t e, int32_t w, const ChromaShift &d) {
    const auto group = [&](int32_t x) -> uint16_t * {
        return x + 4 <= w ? row + 2 * static_cast<int64_t>(x) : nullptr;
    };
    int32_t x = f;
    // Ramp in over the first 16 groups.
    for (int32_t k = 0; k < kRampGroups; ++k, x += 4)
        if (uint16_t *g = group(x)) {
            const int64_t u = (4 * k * d.du) >> 6, v = (4 * k * d.dv) >> 6;
            AddToGroup(g, u, u, v, v);
        }
    // The whole shift in the middle.
    for (; x < e - 64; x += 4)
        if (uint16_t *g = group(x)) AddToGroup(g, d.du, d.du, d.dv, d.dv);
    // Ramp out over the 16 groups after it.
    for (int32_t k = 0; k < kRampGroups; ++k, x += 4)
        if (uint16_t *g = group(x))
            AddToGroup(g, (64 * d.du - 4 * k * d.du) >> 6, (62 * d.du - 4 * k * d.du) >> 6,
                       (64 * d.dv - 4 * k * d.dv) >> 6, (62 * d.dv - 4 * k * d.dv) >> 6);
}

}  // namespace

void InterpolateWeightRowsOverSegments(int32_t y, int32_t width, const int16_t *W0,
                                       const int16_t *W1, const int16_t *W2, int16_t *O0,
                                       int16_t *O1, int16_t *O2, int32_t stride, int32_t,
                                       uint16_t *segments, const uint16_t *counts) {
    const int32_t count = CountOf(counts, y);
    if (count < 3) return;
    uint16_t *list = segments + static_cast<int64_t>((y + 16) >> 5) * stride;
    const int16_t *weights[3] = {W0, W1, W2};
    int16_t *outputs[3] = {O0, O1, O2};
    for (int32_t i = 1; i < count - 1; i += 2) {
        const int32_t s = WidenedStart(W0, W1, W2, list[i], width);
        const int32_t e = WidenedEnd(W0, W1, W2, list[i + 1], width);
        if (e > s)
            for (int k = 0; k < 3; ++k) InterpolateRow(weights[k], outputs[k], s, e);
        list[i] = static_cast<uint16_t>(s);
        list[i + 1] = static_cast<uint16_t>(e);
    }
}

void BlendSegmentChroma16(int32_t, int32_t, int32_t y, uint16_t *P, const uint16_t *Q,
                          const uint16_t *segments, const uint16_t *counts, int32_t w, int32_t,
                          int32_t, int32_t stride, int32_t n) {
    if (n <= 0) return;
    const uint16_t *list = SegmentList(segments, y, stride);
    const int32_t count = CountOf(counts, y);
    for (int32_t i = 1; i < count - 1; i += 2) {
        const int32_t f = list[i], e = list[i + 1];
        if (e <= f + 128) continue;
        const ChromaShift d = MeanDifference(P, Q, f, e, w, n);
        for (int32_t row = 0; row < n; ++row)
            ShiftSegmentRow(P + 2 * static_cast<int64_t>(row) * w, f, e, w, d);
    }
}

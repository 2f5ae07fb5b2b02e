#include "grid_rows32.h"

namespace {

// The bilinear numerator of one segment (the pixels between two node columns): its value at
// the segment's first pixel and its change per four pixels, which is exact because the
// interpolation is linear in x inside a segment.
struct Segment {
    int32_t end;
    int32_t n0;
    int32_t step4;
};

Segment SetUpSegment(int32_t seg, int32_t end, const int16_t *upper, const int16_t *lower,
                     int32_t v) {
    // The smallest node position 16 + 32k above seg.
    const int32_t t = seg + 16;
    int32_t segEnd = (t & 16) ? (t & ~15) : (t & ~15) + 16;
    if (segEnd > end) segEnd = end;
    const int32_t c = (seg + 16) >> 5;
    const int32_t o = (seg + 16) & 31;
    const int32_t a = upper[c], b = upper[c + 1], cc = lower[c], d = lower[c + 1];
    const int32_t n0 = (32 - o) * (32 - v) * a + o * (32 - v) * b + (32 - o) * v * cc + o * v * d;
    const int32_t step4 = 4 * (32 * (b - a) + v * (a + d - b - cc));
    return {segEnd, n0, step4};
}

// First x of the lattice first + 4k at or above limit.
int32_t NextLatticePoint(int32_t x, int32_t limit) {
    while (x < limit) x += 4;
    return x;
}

// Walks [first, end) segment by segment; visit(x, numerator at x, step per 4 pixels, segment)
// is called for x = first, first + 4, ... < end.
template <typename Visit, typename Begin>
void WalkSegments(int32_t first, int32_t end, int32_t gy, const int16_t *grid, int32_t stride,
                  int32_t v, Begin begin, Visit visit) {
    const int16_t *upper = grid + static_cast<int64_t>(gy) * stride;
    const int16_t *lower = upper + stride;
    int32_t seg = first;
    while (seg < end) {
        const Segment s = SetUpSegment(seg, end, upper, lower, v);
        begin(seg, s);
        int32_t n = s.n0;
        int32_t x = seg;
        for (; x < s.end; x += 4, n += s.step4) visit(x, n, s.step4);
        seg = NextLatticePoint(x, s.end);
    }
}

}  // namespace

void InterpolateGridRow32(int16_t *out, int32_t first, int32_t end, int32_t gy,
                          const int16_t *grid, int32_t stride, int32_t v) {
    WalkSegments(
        first, end, gy, grid, stride, v, [](int32_t, const Segment &) {},
        [out](int32_t x, int32_t n, int32_t step4) {
            const int32_t step = step4 / 4;  // exact: step4 is four times the per-pixel change
            for (int32_t i = 0; i < 4; ++i) out[x + i] = static_cast<int16_t>((n + i * step) >> 10);
        });
}

void InterpolateGridRowSparse32(int16_t *out, int32_t first, int32_t end, int32_t gy,
                                const int16_t *grid, int32_t stride, int32_t v) {
    WalkSegments(
        first, end, gy, grid, stride, v, [](int32_t, const Segment &) {},
        [out](int32_t x, int32_t n, int32_t) { out[x] = static_cast<int16_t>(n >> 10); });
}

void InterpolateGridRowRuns32(int16_t *out, int32_t first, int32_t end, int32_t gy,
                              const int16_t *grid, int32_t stride, int32_t v, int32_t *allZero,
                              int32_t *runList, int32_t *runCount, int32_t capacity) {
    *allZero = 1;
    runList[0] = first;
    int32_t count = 1;
    bool nonZero = false;
    WalkSegments(
        first, end, gy, grid, stride, v,
        [&](int32_t seg, const Segment &s) {
            const bool segmentNonZero = s.n0 != 0 || s.step4 != 0;
            // Room for this switch and the end, and for a switch to zero also a later one back.
            const bool room = count <= capacity - (segmentNonZero ? 2 : 3);
            if (segmentNonZero != nonZero && room) {
                runList[count++] = seg;
                nonZero = segmentNonZero;
            }
            if (segmentNonZero) *allZero = 0;
        },
        [out](int32_t x, int32_t n, int32_t) { out[x] = static_cast<int16_t>(n >> 10); });
    runList[count++] = end;
    *runCount = count;
}

void InterpolateGridRowZeroFlag32(int16_t *out, int32_t first, int32_t end, int32_t gy,
                                  const int16_t *grid, int32_t stride, int32_t v,
                                  int32_t *allZero) {
    *allZero = 1;
    WalkSegments(
        first, end, gy, grid, stride, v,
        [allZero](int32_t, const Segment &s) {
            if (s.n0 != 0 || s.step4 != 0) *allZero = 0;
        },
        [out](int32_t x, int32_t n, int32_t) { out[x] = static_cast<int16_t>(n >> 10); });
}

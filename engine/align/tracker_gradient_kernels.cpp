#include "tracker_gradient_kernels.h"

#include <algorithm>

#include "core/kernel_instructions.h"
#include "core/kernel_tiers.h"

namespace {

// Columns [from, to) of the plain kernel.
void GradientColumns(const uint8_t *above, const uint8_t *centre, const uint8_t *below,
                     int32_t width, int32_t from, int32_t to, int8_t *outX, int8_t *outY) {
    auto vertical = [&](int32_t x) { return above[x] + 2 * centre[x] + below[x]; };
    auto horizontal = [&](const uint8_t *row, int32_t x) {
        return row[std::max(x - 1, 0)] + 2 * row[x] + row[std::min(x + 1, width - 1)];
    };
    for (int32_t x = from; x < to; ++x) {
        const int32_t left = vertical(std::max(x - 1, 0));
        const int32_t right = vertical(std::min(x + 1, width - 1));
        outX[x] = static_cast<int8_t>((right - left) >> 3);
        outY[x] = static_cast<int8_t>((horizontal(below, x) - horizontal(above, x)) >> 3);
    }
}

}  // namespace

void TrackerGradientRow_C(const uint8_t *above, const uint8_t *centre, const uint8_t *below,
                          int32_t width, int8_t *outX, int8_t *outY) {
    GradientColumns(above, centre, below, width, 0, width, outX, outY);
}

#if defined(__SSE2__)

namespace {

inline __m128i Load(const uint8_t *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

struct Wide {
    __m128i low, high;
};

inline Wide Widen(__m128i v) {
    const __m128i zero = _mm_setzero_si128();
    return {_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)};
}

// a + 2 b + c in 16-bit lanes (at most 1020).
inline Wide Filter121(Wide a, Wide b, Wide c) {
    return {_mm_add_epi16(_mm_add_epi16(a.low, c.low), _mm_add_epi16(b.low, b.low)),
            _mm_add_epi16(_mm_add_epi16(a.high, c.high), _mm_add_epi16(b.high, b.high))};
}

// (p - m) >> 3 of each lane, packed to signed bytes: the differences lie in [-1020, 1020], so
// the shifted values already fit and the saturating pack changes none of them.
inline __m128i EighthOfDifference(Wide p, Wide m) {
    return _mm_packs_epi16(_mm_srai_epi16(_mm_sub_epi16(p.low, m.low), 3),
                           _mm_srai_epi16(_mm_sub_epi16(p.high, m.high), 3));
}

inline Wide RowFilter(const uint8_t *row, int32_t x) {
    return Filter121(Widen(Load(row + x - 1)), Widen(Load(row + x)), Widen(Load(row + x + 1)));
}

inline Wide ColumnFilter(const uint8_t *above, const uint8_t *centre, const uint8_t *below,
                         int32_t x) {
    return Filter121(Widen(Load(above + x)), Widen(Load(centre + x)), Widen(Load(below + x)));
}

}  // namespace

// Sixteen interior columns a step: every sample read lies in [x - 1, x + 16], inside the row.
void TrackerGradientRow_SSE2(const uint8_t *above, const uint8_t *centre, const uint8_t *below,
                             int32_t width, int8_t *outX, int8_t *outY) {
    if (width < 18) {
        TrackerGradientRow_C(above, centre, below, width, outX, outY);
        return;
    }
    GradientColumns(above, centre, below, width, 0, 1, outX, outY);
    int32_t x = 1;
    for (; x + 17 <= width; x += 16) {
        const __m128i gx = EighthOfDifference(ColumnFilter(above, centre, below, x + 1),
                                              ColumnFilter(above, centre, below, x - 1));
        const __m128i gy = EighthOfDifference(RowFilter(below, x), RowFilter(above, x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(outX + x), gx);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(outY + x), gy);
    }
    GradientColumns(above, centre, below, width, x, width, outX, outY);
}

#else

void TrackerGradientRow_SSE2(const uint8_t *above, const uint8_t *centre, const uint8_t *below,
                             int32_t width, int8_t *outX, int8_t *outY) {
    TrackerGradientRow_C(above, centre, below, width, outX, outY);
}

#endif

void TrackerGradientRow(const uint8_t *above, const uint8_t *centre, const uint8_t *below,
                        int32_t width, int8_t *outX, int8_t *outY) {
    if (Sse2KernelsEnabled())
        TrackerGradientRow_SSE2(above, centre, below, width, outX, outY);
    else
        TrackerGradientRow_C(above, centre, below, width, outX, outY);
}

#include "grid_row_kernels.h"

#include <algorithm>

#include "core/fast_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The nodes of the run holding column col: the value times 64 at the run's first column and
// its step per column (the bilinear value is linear in the column within a run).
struct Run {
    int32_t end, v, slope;
};

// Inlined: it runs once per eight columns, and a call costs about as much as the run.
[[gnu::always_inline]] inline Run RunAt(int32_t col, int32_t end, const int16_t *upper,
                                        const int16_t *lower, int32_t stride, int32_t wy,
                                        int32_t origin) {
    const int32_t lastNode = stride - 1;
    const int32_t rel = col - origin + 4;
    const int32_t k = rel >> 3;
    const int32_t t = rel - 8 * k;
    const int32_t k0 = std::clamp(k, 0, lastNode);
    const int32_t k1 = std::clamp(k + 1, 0, lastNode);
    const int32_t a = upper[k0];
    const int32_t b1 = upper[k1];
    const int32_t c = lower[k0];
    const int32_t d = lower[k1];
    const int32_t slope = 8 * (b1 - a) + wy * (a + d - b1 - c);
    return {std::min(end, col + 8 - t), 64 * a + 8 * wy * (c - a) + t * slope, slope};
}

}  // namespace

void InterpolateMapRow8_C(int16_t *out, int32_t x, int32_t end, const int16_t *upper,
                          const int16_t *lower, int32_t stride, int32_t wy, int32_t origin) {
    int32_t col = x;
    while (col < end) {
        const Run run = RunAt(col, end, upper, lower, stride, wy, origin);
        int32_t v = run.v;
        for (; col < run.end; ++col, v += run.slope) out[col] = static_cast<int16_t>(v >> 6);
    }
}

void InterpolateMapRow8_SSE2(int16_t *out, int32_t x, int32_t end, const int16_t *upper,
                             const int16_t *lower, int32_t stride, int32_t wy, int32_t origin) {
#if defined(__SSE2__)
    int32_t col = x;
    while (col < end) {
        const Run run = RunAt(col, end, upper, lower, stride, wy, origin);
        if (run.end - col == 8) {
            // A whole run: eight values, shifted, kept to their low 16 bits like the casts of
            // the plain kernel (shift left then arithmetic right sign-extends them for packs).
            const __m128i s = _mm_set1_epi32(run.slope);
            const __m128i lo = _mm_add_epi32(
                _mm_set1_epi32(run.v), _mm_set_epi32(3 * run.slope, 2 * run.slope, run.slope, 0));
            const __m128i hi = _mm_add_epi32(lo, _mm_slli_epi32(s, 2));
            const __m128i l = _mm_srai_epi32(_mm_slli_epi32(_mm_srai_epi32(lo, 6), 16), 16);
            const __m128i h = _mm_srai_epi32(_mm_slli_epi32(_mm_srai_epi32(hi, 6), 16), 16);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + col), _mm_packs_epi32(l, h));
            col += 8;
            continue;
        }
        int32_t v = run.v;
        for (; col < run.end; ++col, v += run.slope) out[col] = static_cast<int16_t>(v >> 6);
    }
#else
    InterpolateMapRow8_C(out, x, end, upper, lower, stride, wy, origin);
#endif
}

void InterpolateMapRow8(int16_t *out, int32_t x, int32_t end, const int16_t *upper,
                        const int16_t *lower, int32_t stride, int32_t wy, int32_t origin) {
    if (FastKernelsEnabled())
        InterpolateMapRow8_SSE2(out, x, end, upper, lower, stride, wy, origin);
    else
        InterpolateMapRow8_C(out, x, end, upper, lower, stride, wy, origin);
}

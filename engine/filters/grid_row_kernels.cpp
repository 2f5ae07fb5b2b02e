#include "grid_row_kernels.h"

#include <algorithm>

#include "core/kernel_instructions.h"
#include "core/kernel_tiers.h"

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

#if defined(TONEFOLD_HAVE_AVX2_KERNELS)

namespace {

[[gnu::target("avx2")]] inline __m256i EightNodes(const int16_t *p) {
    return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)));
}

// Eight whole runs (64 columns from a run start at node k, nodes k..k+8 inside the rows): the
// value and step of each run in the lanes of one vector, then the eight columns of every run,
// each kept to its low 16 bits like the plain kernel's casts, turned from run-major lanes into
// column order by interleaving.
[[gnu::target("avx2")]] inline void EightRuns(int16_t *out, const int16_t *upper,
                                              const int16_t *lower, __m256i wy) {
    const __m256i a = EightNodes(upper), b = EightNodes(upper + 1);
    const __m256i c = EightNodes(lower), d = EightNodes(lower + 1);
    const __m256i slope = _mm256_add_epi32(
        _mm256_slli_epi32(_mm256_sub_epi32(b, a), 3),
        _mm256_mullo_epi32(wy, _mm256_sub_epi32(_mm256_add_epi32(a, d), _mm256_add_epi32(b, c))));
    __m256i v = _mm256_add_epi32(_mm256_slli_epi32(a, 6),
                                 _mm256_slli_epi32(_mm256_mullo_epi32(wy, _mm256_sub_epi32(c, a)), 3));
    // pairs[j]: in each run's lane, column 2j in the low half and column 2j + 1 in the high.
    __m256i pairs[4];
    for (int j = 0; j < 4; ++j) {
        const __m256i even = _mm256_srai_epi32(v, 6);
        v = _mm256_add_epi32(v, slope);
        const __m256i odd = _mm256_slli_epi32(_mm256_srai_epi32(v, 6), 16);
        v = _mm256_add_epi32(v, slope);
        pairs[j] = _mm256_blend_epi16(even, odd, 0xAA);
    }
    const __m256i t0 = _mm256_unpacklo_epi32(pairs[0], pairs[1]);
    const __m256i t1 = _mm256_unpackhi_epi32(pairs[0], pairs[1]);
    const __m256i t2 = _mm256_unpacklo_epi32(pairs[2], pairs[3]);
    const __m256i t3 = _mm256_unpackhi_epi32(pairs[2], pairs[3]);
    const __m256i r04 = _mm256_unpacklo_epi64(t0, t2);  // runs 0 and 4
    const __m256i r15 = _mm256_unpackhi_epi64(t0, t2);
    const __m256i r26 = _mm256_unpacklo_epi64(t1, t3);
    const __m256i r37 = _mm256_unpackhi_epi64(t1, t3);
    __m256i *o = reinterpret_cast<__m256i *>(out);
    _mm256_storeu_si256(o + 0, _mm256_permute2x128_si256(r04, r15, 0x20));
    _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(r26, r37, 0x20));
    _mm256_storeu_si256(o + 2, _mm256_permute2x128_si256(r04, r15, 0x31));
    _mm256_storeu_si256(o + 3, _mm256_permute2x128_si256(r26, r37, 0x31));
}

}  // namespace

[[gnu::target("avx2")]] void InterpolateMapRow8_AVX2(int16_t *out, int32_t x, int32_t end,
                                                     const int16_t *upper, const int16_t *lower,
                                                     int32_t stride, int32_t wy,
                                                     int32_t origin) {
    // The first run start at or after x whose nodes need no clamping; columns before it, and
    // those after the last whole block of eight runs, go through the SSE2 kernel.
    const int32_t firstStart = std::max(x, origin - 4);
    const int32_t col0 = firstStart + ((origin - 4 - firstStart) & 7);
    int32_t col = std::min(col0, end);
    InterpolateMapRow8_SSE2(out, x, col, upper, lower, stride, wy, origin);
    const __m256i weight = _mm256_set1_epi32(wy);
    for (int32_t k = (col - origin + 4) >> 3; col + 64 <= end && k + 8 <= stride - 1;
         col += 64, k += 8)
        EightRuns(out + col, upper + k, lower + k, weight);
    // The compiler leaves the upper register halves dirty here, which slows every SSE2
    // instruction after it on some processors.
    _mm256_zeroupper();
    InterpolateMapRow8_SSE2(out, col, end, upper, lower, stride, wy, origin);
}

#else

void InterpolateMapRow8_AVX2(int16_t *out, int32_t x, int32_t end, const int16_t *upper,
                             const int16_t *lower, int32_t stride, int32_t wy, int32_t origin) {
    InterpolateMapRow8_SSE2(out, x, end, upper, lower, stride, wy, origin);
}

#endif

void InterpolateMapRow8(int16_t *out, int32_t x, int32_t end, const int16_t *upper,
                        const int16_t *lower, int32_t stride, int32_t wy, int32_t origin) {
    if (Avx2KernelsEnabled())
        InterpolateMapRow8_AVX2(out, x, end, upper, lower, stride, wy, origin);
    else if (Sse2KernelsEnabled())
        InterpolateMapRow8_SSE2(out, x, end, upper, lower, stride, wy, origin);
    else
        InterpolateMapRow8_C(out, x, end, upper, lower, stride, wy, origin);
}

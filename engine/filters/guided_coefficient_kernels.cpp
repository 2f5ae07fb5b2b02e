#include "guided_coefficient_kernels.h"

#include "core/kernel_instructions.h"
#include "core/kernel_tiers.h"
#include "filters/guided_coefficients.h"

namespace {

struct Sums {
    int64_t sI, sII, sIp, sP;
};

Sums WindowAt(const GuidedWindowSums &s, int32_t x, int32_t ring) {
    Sums w{0, 0, 0, 0};
    for (int32_t i = x; i < x + ring; ++i) {
        w.sI += s.sI[i];
        w.sII += s.sII[i];
        w.sIp += s.sIp[i];
        w.sP += s.sP[i];
    }
    return w;
}

// Columns [x, width) by sliding the window of column x one column at a time.
void CoefficientsFrom(const GuidedWindowSums &s, int32_t ring, int32_t x, int32_t width,
                      const GuidedDoubleRule &rule, int32_t *a, int32_t *b) {
    if (x >= width) return;
    const guided_band::DoubleCoefficientRule coefficients{rule.area, rule.k, rule.e, rule.bound};
    Sums w = WindowAt(s, x, ring);
    for (;; ++x) {
        const guided_band::Coefficients c = coefficients(w.sI, w.sII, w.sIp, w.sP);
        a[x] = c.a;
        b[x] = c.b;
        if (x + 1 == width) break;
        w.sI += s.sI[x + ring] - s.sI[x];
        w.sII += s.sII[x + ring] - s.sII[x];
        w.sIp += s.sIp[x + ring] - s.sIp[x];
        w.sP += s.sP[x + ring] - s.sP[x];
    }
}

// Window sums stay within 2^51 in magnitude (181 x 181 samples of 255 x 32768 at most), where
// adding 2^52 + 2^51 to the integer gives the bits of the double 2^52 + 2^51 + v exactly.
constexpr int64_t kMagicBits = 0x4338000000000000;
constexpr double kMagic = 6755399441055744.0;

}  // namespace

void GuidedCoefficientRow_C(const GuidedWindowSums &sums, int32_t ring, int32_t width,
                            const GuidedDoubleRule &rule, int32_t *a, int32_t *b) {
    CoefficientsFrom(sums, ring, 0, width, rule, a, b);
}

#if defined(__SSE2__)
namespace {

inline __m128d ToDouble(__m128i v) {
    return _mm_sub_pd(_mm_castsi128_pd(_mm_add_epi64(v, _mm_set1_epi64x(kMagicBits))), _mm_set1_pd(kMagic));
}

inline __m128d Select(__m128d mask, __m128d yes, __m128d no) {
    return _mm_or_pd(_mm_and_pd(mask, yes), _mm_andnot_pd(mask, no));
}

// Sums of columns x .. x + 1 from those of column x - 1 (lane 1 of last) and the column
// differences entering and leaving.
inline __m128i Slide2(const int64_t *col, int32_t x, int32_t ring, __m128i *last) {
    const __m128i d = _mm_sub_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i *>(col + x - 1 + ring)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(col + x - 1)));
    const __m128i s = _mm_add_epi64(_mm_add_epi64(d, _mm_slli_si128(d, 8)), _mm_unpackhi_epi64(*last, *last));
    *last = s;
    return s;
}

// The operations and their order are those of the plain rule, lane by lane.
inline void Rule2(__m128d sI, __m128d sII, __m128d sIp, __m128d sP, const GuidedDoubleRule &rule,
                  int32_t *a, int32_t *b) {
    const __m128d k = _mm_set1_pd(rule.k), zero = _mm_setzero_pd();
    // Flat windows: a = 0 and b = 16 sP / area, whose truncated double quotient is the
    // integer one (the quotient's integer part needs far fewer than 53 bits). Difference maps
    // are mostly flat: the slope's division is skipped where no lane needs it.
    const __m128d flat = _mm_or_pd(_mm_cmple_pd(sP, zero), _mm_cmpge_pd(sP, _mm_set1_pd(static_cast<double>(rule.bound))));
    const int flatLanes = _mm_movemask_pd(flat);
    if (flatLanes == 3) {
        const __m128d mean = _mm_div_pd(_mm_mul_pd(sP, _mm_set1_pd(16.0)), _mm_set1_pd(static_cast<double>(rule.area)));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(a), _mm_setzero_si128());
        _mm_storel_epi64(reinterpret_cast<__m128i *>(b), _mm_cvttpd_epi32(mean));
        return;
    }
    const __m128d mI = _mm_mul_pd(sI, k), mp = _mm_mul_pd(sP, k);
    const __m128d mIp = _mm_mul_pd(sIp, k), mII = _mm_mul_pd(sII, k);
    const __m128d denominator = _mm_add_pd(_mm_sub_pd(mII, _mm_mul_pd(mI, mI)), _mm_set1_pd(rule.e));
    __m128d slope = _mm_div_pd(_mm_sub_pd(mIp, _mm_mul_pd(mp, mI)), denominator);
    slope = _mm_and_pd(slope, _mm_and_pd(_mm_cmpneq_pd(denominator, zero), _mm_cmpord_pd(slope, slope)));
    __m128d offset = _mm_sub_pd(mp, _mm_mul_pd(mI, slope));
    offset = _mm_and_pd(offset, _mm_cmpord_pd(offset, offset));
    slope = _mm_max_pd(_mm_set1_pd(-32.0), _mm_min_pd(slope, _mm_set1_pd(32.0)));
    offset = _mm_max_pd(_mm_set1_pd(-4096.0), _mm_min_pd(offset, _mm_set1_pd(4096.0)));
    const __m128d mean = flatLanes ? _mm_div_pd(_mm_mul_pd(sP, _mm_set1_pd(16.0)), _mm_set1_pd(static_cast<double>(rule.area)))
                                   : zero;
    const __m128i av = _mm_cvttpd_epi32(_mm_andnot_pd(flat, _mm_mul_pd(slope, _mm_set1_pd(1024.0))));
    const __m128i bv = _mm_cvttpd_epi32(Select(flat, mean, _mm_mul_pd(offset, _mm_set1_pd(16.0))));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(a), av);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(b), bv);
}

}  // namespace
#endif

void GuidedCoefficientRow_SSE2(const GuidedWindowSums &sums, int32_t ring, int32_t width,
                               const GuidedDoubleRule &rule, int32_t *a, int32_t *b) {
#if defined(__SSE2__)
    if (width <= 0) return;
    CoefficientsFrom(sums, ring, 0, 1, rule, a, b);
    const Sums w = WindowAt(sums, 0, ring);
    __m128i lI = _mm_set1_epi64x(w.sI), lII = _mm_set1_epi64x(w.sII);
    __m128i lIp = _mm_set1_epi64x(w.sIp), lP = _mm_set1_epi64x(w.sP);
    int32_t x = 1;
    for (; x + 2 <= width; x += 2) {
        const __m128i sI = Slide2(sums.sI, x, ring, &lI), sII = Slide2(sums.sII, x, ring, &lII);
        const __m128i sIp = Slide2(sums.sIp, x, ring, &lIp), sP = Slide2(sums.sP, x, ring, &lP);
        Rule2(ToDouble(sI), ToDouble(sII), ToDouble(sIp), ToDouble(sP), rule, a + x, b + x);
    }
    CoefficientsFrom(sums, ring, x, width, rule, a, b);
#else
    GuidedCoefficientRow_C(sums, ring, width, rule, a, b);
#endif
}

#if defined(TONEFOLD_HAVE_AVX2_KERNELS)
namespace {

[[gnu::target("avx2")]] inline __m256d ToDouble4(__m256i v) {
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_add_epi64(v, _mm256_set1_epi64x(kMagicBits))),
                         _mm256_set1_pd(kMagic));
}

// Sums of columns x .. x + 3 from those of column x - 1 (lane 3 of last): the inclusive
// prefix of the column differences, added to it.
[[gnu::target("avx2")]] inline __m256i Slide4(const int64_t *col, int32_t x, int32_t ring, __m256i *last) {
    const __m256i d = _mm256_sub_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(col + x - 1 + ring)),
                                       _mm256_loadu_si256(reinterpret_cast<const __m256i *>(col + x - 1)));
    const __m256i p1 = _mm256_add_epi64(
        d, _mm256_blend_epi32(_mm256_permute4x64_epi64(d, 0x90), _mm256_setzero_si256(), 0x03));
    const __m256i p2 = _mm256_add_epi64(p1, _mm256_permute2x128_si256(p1, p1, 0x08));
    const __m256i s = _mm256_add_epi64(p2, _mm256_permute4x64_epi64(*last, 0xFF));
    *last = s;
    return s;
}

[[gnu::target("avx2")]] inline void Rule4(__m256d sI, __m256d sII, __m256d sIp, __m256d sP,
                                          const GuidedDoubleRule &rule, int32_t *a, int32_t *b) {
    const __m256d k = _mm256_set1_pd(rule.k), zero = _mm256_setzero_pd();
    const __m256d flat = _mm256_or_pd(_mm256_cmp_pd(sP, zero, _CMP_LE_OQ),
                                      _mm256_cmp_pd(sP, _mm256_set1_pd(static_cast<double>(rule.bound)), _CMP_GE_OQ));
    const int flatLanes = _mm256_movemask_pd(flat);
    if (flatLanes == 15) {
        const __m256d mean =
            _mm256_div_pd(_mm256_mul_pd(sP, _mm256_set1_pd(16.0)), _mm256_set1_pd(static_cast<double>(rule.area)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(a), _mm_setzero_si128());
        _mm_storeu_si128(reinterpret_cast<__m128i *>(b), _mm256_cvttpd_epi32(mean));
        return;
    }
    const __m256d mI = _mm256_mul_pd(sI, k), mp = _mm256_mul_pd(sP, k);
    const __m256d mIp = _mm256_mul_pd(sIp, k), mII = _mm256_mul_pd(sII, k);
    const __m256d denominator =
        _mm256_add_pd(_mm256_sub_pd(mII, _mm256_mul_pd(mI, mI)), _mm256_set1_pd(rule.e));
    __m256d slope = _mm256_div_pd(_mm256_sub_pd(mIp, _mm256_mul_pd(mp, mI)), denominator);
    slope = _mm256_and_pd(slope, _mm256_and_pd(_mm256_cmp_pd(denominator, zero, _CMP_NEQ_UQ),
                                               _mm256_cmp_pd(slope, slope, _CMP_ORD_Q)));
    __m256d offset = _mm256_sub_pd(mp, _mm256_mul_pd(mI, slope));
    offset = _mm256_and_pd(offset, _mm256_cmp_pd(offset, offset, _CMP_ORD_Q));
    slope = _mm256_max_pd(_mm256_set1_pd(-32.0), _mm256_min_pd(slope, _mm256_set1_pd(32.0)));
    offset = _mm256_max_pd(_mm256_set1_pd(-4096.0), _mm256_min_pd(offset, _mm256_set1_pd(4096.0)));
    const __m256d mean =
        flatLanes ? _mm256_div_pd(_mm256_mul_pd(sP, _mm256_set1_pd(16.0)), _mm256_set1_pd(static_cast<double>(rule.area)))
                  : zero;
    const __m128i av = _mm256_cvttpd_epi32(_mm256_andnot_pd(flat, _mm256_mul_pd(slope, _mm256_set1_pd(1024.0))));
    const __m128i bv = _mm256_cvttpd_epi32(_mm256_blendv_pd(_mm256_mul_pd(offset, _mm256_set1_pd(16.0)), mean, flat));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(a), av);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(b), bv);
}

}  // namespace

[[gnu::target("avx2")]] void GuidedCoefficientRow_AVX2(const GuidedWindowSums &sums, int32_t ring,
                                                       int32_t width, const GuidedDoubleRule &rule,
                                                       int32_t *a, int32_t *b) {
    if (width <= 0) return;
    CoefficientsFrom(sums, ring, 0, 1, rule, a, b);
    const Sums w = WindowAt(sums, 0, ring);
    __m256i lI = _mm256_set1_epi64x(w.sI), lII = _mm256_set1_epi64x(w.sII);
    __m256i lIp = _mm256_set1_epi64x(w.sIp), lP = _mm256_set1_epi64x(w.sP);
    int32_t x = 1;
    for (; x + 4 <= width; x += 4) {
        const __m256i sI = Slide4(sums.sI, x, ring, &lI), sII = Slide4(sums.sII, x, ring, &lII);
        const __m256i sIp = Slide4(sums.sIp, x, ring, &lIp), sP = Slide4(sums.sP, x, ring, &lP);
        Rule4(ToDouble4(sI), ToDouble4(sII), ToDouble4(sIp), ToDouble4(sP), rule, a + x, b + x);
    }
    // Clean upper register halves for the plain tail and the SSE2 code after it (the compiler
    // does not clear them in functions built for AVX2 by attribute).
    _mm256_zeroupper();
    CoefficientsFrom(sums, ring, x, width, rule, a, b);
}

#else

void GuidedCoefficientRow_AVX2(const GuidedWindowSums &sums, int32_t ring, int32_t width,
                               const GuidedDoubleRule &rule, int32_t *a, int32_t *b) {
    GuidedCoefficientRow_SSE2(sums, ring, width, rule, a, b);
}

#endif

void GuidedCoefficientRow(const GuidedWindowSums &sums, int32_t ring, int32_t width,
                          const GuidedDoubleRule &rule, int32_t *a, int32_t *b) {
    if (Avx2KernelsEnabled())
        GuidedCoefficientRow_AVX2(sums, ring, width, rule, a, b);
    else if (Sse2KernelsEnabled())
        GuidedCoefficientRow_SSE2(sums, ring, width, rule, a, b);
    else
        GuidedCoefficientRow_C(sums, ring, width, rule, a, b);
}

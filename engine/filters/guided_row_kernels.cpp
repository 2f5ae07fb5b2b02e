#include "guided_row_kernels.h"

#include "core/fast_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TONEFOLD_HAVE_AVX2_KERNELS 1
#endif

namespace {

void AccumulateTail(const uint8_t *guide, const int16_t *input, int32_t begin, int32_t length,
                    int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP) {
    if (sign > 0) {
        for (int32_t i = begin; i < length; ++i) {
            const int64_t g = guide[i], p = input[i];
            sII[i] += g * g;
            sIp[i] += g * p;
            sI[i] += g;
            sP[i] += p;
        }
    } else {
        for (int32_t i = begin; i < length; ++i) {
            const int64_t g = guide[i], p = input[i];
            sII[i] -= g * g;
            sIp[i] -= g * p;
            sI[i] -= g;
            sP[i] -= p;
        }
    }
}

}  // namespace

void AccumulateGuidedRow16_C(const uint8_t *guide, const int16_t *input, int32_t length,
                             int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP) {
    AccumulateTail(guide, input, 0, length, sign, sII, sIp, sI, sP);
}

#if defined(__SSE2__)
namespace {

// Sign-extends the four 32-bit lanes of v to two pairs of 64-bit lanes.
inline void Widen32(__m128i v, __m128i *lo, __m128i *hi) {
    const __m128i s = _mm_srai_epi32(v, 31);
    *lo = _mm_unpacklo_epi32(v, s);
    *hi = _mm_unpackhi_epi32(v, s);
}

// sums[0..7] += or -= the eight 32-bit values of a and b (a: samples 0-3, b: 4-7).
template <bool kAdd>
inline void Update8(int64_t *sums, __m128i a, __m128i b) {
    __m128i v[4];
    Widen32(a, &v[0], &v[1]);
    Widen32(b, &v[2], &v[3]);
    for (int k = 0; k < 4; ++k) {
        auto *p = reinterpret_cast<__m128i *>(sums + 2 * k);
        const __m128i s = _mm_loadu_si128(p);
        _mm_storeu_si128(p, kAdd ? _mm_add_epi64(s, v[k]) : _mm_sub_epi64(s, v[k]));
    }
}

template <bool kAdd>
int32_t Accumulate8s_SSE2(const uint8_t *guide, const int16_t *input, int32_t length,
                          int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP) {
    const __m128i zero = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const __m128i g = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(guide + i)), zero);
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i *>(input + i));
        // g g fits 16 bits unsigned; g p needs the high halves of the signed product.
        const __m128i gg = _mm_mullo_epi16(g, g);
        const __m128i gpLo = _mm_mullo_epi16(g, p), gpHi = _mm_mulhi_epi16(g, p);
        const __m128i pSign = _mm_srai_epi16(p, 15);
        Update8<kAdd>(sII + i, _mm_unpacklo_epi16(gg, zero), _mm_unpackhi_epi16(gg, zero));
        Update8<kAdd>(sIp + i, _mm_unpacklo_epi16(gpLo, gpHi), _mm_unpackhi_epi16(gpLo, gpHi));
        Update8<kAdd>(sI + i, _mm_unpacklo_epi16(g, zero), _mm_unpackhi_epi16(g, zero));
        Update8<kAdd>(sP + i, _mm_unpacklo_epi16(p, pSign), _mm_unpackhi_epi16(p, pSign));
    }
    return i;
}

}  // namespace
#endif

void AccumulateGuidedRow16_SSE2(const uint8_t *guide, const int16_t *input, int32_t length,
                                int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                                int64_t *sP) {
#if defined(__SSE2__)
    const int32_t done = sign > 0 ? Accumulate8s_SSE2<true>(guide, input, length, sII, sIp, sI, sP)
                                  : Accumulate8s_SSE2<false>(guide, input, length, sII, sIp, sI, sP);
    AccumulateTail(guide, input, done, length, sign, sII, sIp, sI, sP);
#else
    AccumulateTail(guide, input, 0, length, sign, sII, sIp, sI, sP);
#endif
}

#if defined(TONEFOLD_HAVE_AVX2_KERNELS)
namespace {

template <bool kAdd>
[[gnu::target("avx2")]] inline void Update4(int64_t *sums, __m256i v) {
    auto *p = reinterpret_cast<__m256i *>(sums);
    const __m256i s = _mm256_loadu_si256(p);
    _mm256_storeu_si256(p, kAdd ? _mm256_add_epi64(s, v) : _mm256_sub_epi64(s, v));
}

// Four samples per step in 64-bit lanes: the products of two sign-extended 32-bit values
// are exact.
template <bool kAdd>
[[gnu::target("avx2")]] int32_t Accumulate4s_AVX2(const uint8_t *guide, const int16_t *input,
                                                  int32_t length, int64_t *sII, int64_t *sIp,
                                                  int64_t *sI, int64_t *sP) {
    int32_t i = 0;
    for (; i + 4 <= length; i += 4) {
        int32_t g4;
        int64_t p4;
        __builtin_memcpy(&g4, guide + i, 4);
        __builtin_memcpy(&p4, input + i, 8);
        const __m256i g = _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(g4));
        const __m256i p = _mm256_cvtepi16_epi64(_mm_cvtsi64_si128(p4));
        Update4<kAdd>(sII + i, _mm256_mul_epi32(g, g));
        Update4<kAdd>(sIp + i, _mm256_mul_epi32(g, p));
        Update4<kAdd>(sI + i, g);
        Update4<kAdd>(sP + i, p);
    }
    return i;
}

}  // namespace

[[gnu::target("avx2")]] void AccumulateGuidedRow16_AVX2(const uint8_t *guide, const int16_t *input,
                                                        int32_t length, int32_t sign, int64_t *sII,
                                                        int64_t *sIp, int64_t *sI, int64_t *sP) {
    const int32_t done = sign > 0 ? Accumulate4s_AVX2<true>(guide, input, length, sII, sIp, sI, sP)
                                  : Accumulate4s_AVX2<false>(guide, input, length, sII, sIp, sI, sP);
    AccumulateTail(guide, input, done, length, sign, sII, sIp, sI, sP);
}

#else

void AccumulateGuidedRow16_AVX2(const uint8_t *guide, const int16_t *input, int32_t length,
                                int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                                int64_t *sP) {
    AccumulateGuidedRow16_SSE2(guide, input, length, sign, sII, sIp, sI, sP);
}

#endif

void AccumulateGuidedRow16(const uint8_t *guide, const int16_t *input, int32_t length,
                           int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP) {
    if (Avx2KernelsEnabled())
        AccumulateGuidedRow16_AVX2(guide, input, length, sign, sII, sIp, sI, sP);
    else if (FastKernelsEnabled())
        AccumulateGuidedRow16_SSE2(guide, input, length, sign, sII, sIp, sI, sP);
    else
        AccumulateGuidedRow16_C(guide, input, length, sign, sII, sIp, sI, sP);
}

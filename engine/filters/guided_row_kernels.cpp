#include "guided_row_kernels.h"

#include "core/kernel_instructions.h"
#include "core/kernel_tiers.h"

namespace {

template <typename In>
void AccumulateTail(const uint8_t *guide, const In *input, int32_t begin, int32_t length,
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

void AccumulateGuidedRow8_C(const uint8_t *guide, const uint8_t *input, int32_t length,
                            int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP) {
    AccumulateTail(guide, input, 0, length, sign, sII, sIp, sI, sP);
}

namespace {

void AddCoefficientsFrom(const int32_t *a, const int32_t *b, int32_t x, int32_t width, int32_t sign,
                         int64_t *sumA, int64_t *sumB) {
    for (; x < width; ++x) {
        sumA[x] += sign > 0 ? int64_t{a[x]} : -int64_t{a[x]};
        sumB[x] += sign > 0 ? int64_t{b[x]} : -int64_t{b[x]};
    }
}

// Truncating division of a window sum; 32-bit division where the sum fits, which is the
// common case and several times cheaper than the 64-bit one.
inline int64_t DivideWindow(int64_t sum, int32_t area) {
    if (sum >= INT32_MIN && sum <= INT32_MAX) return static_cast<int32_t>(sum) / area;
    return sum / area;
}

// The horizontal windows of an output row, carried from column to column.
struct OutputWindows {
    int64_t hA, hB;
};

OutputWindows FirstWindows(const int64_t *vA, const int64_t *vB, int32_t width, int32_t r) {
    OutputWindows h{(r + 1) * vA[0], (r + 1) * vB[0]};
    for (int32_t j = 1; j <= r; ++j) {
        const int32_t col = j < width - 1 ? j : width - 1;
        h.hA += vA[col];
        h.hB += vB[col];
    }
    return h;
}

// q = (I mA + 64 mB) >> 10: 16-bit outputs keep its low 16 bits, 8-bit ones clamp it.
inline void StoreSample(int16_t *out, int64_t q) { *out = static_cast<int16_t>(q); }
inline void StoreSample(uint8_t *out, int64_t q) {
    *out = static_cast<uint8_t>(q < 0 ? 0 : (q > 255 ? 255 : q));
}

// Columns [x, end) from the windows of column x, leaving h at column end (when end < width).
template <typename Out>
void OutputColumns(const int64_t *vA, const int64_t *vB, int32_t width, int32_t r, int32_t area,
                   const uint8_t *guide, Out *out, int32_t x, int32_t end, OutputWindows *h) {
    for (; x < end; ++x) {
        StoreSample(out + x, (guide[x] * DivideWindow(h->hA, area) + DivideWindow(h->hB, area) * 64) >> 10);
        if (x + 1 == width) break;
        const int32_t enter = x + 1 + r < width - 1 ? x + 1 + r : width - 1;
        const int32_t leave = x - r > 0 ? x - r : 0;
        h->hA += vA[enter] - vA[leave];
        h->hB += vB[enter] - vB[leave];
    }
}

// Window sums stay within 2^51 in magnitude, where adding 2^52 + 2^51 to the integer gives
// the bits of the double 2^52 + 2^51 + v exactly; their quotients by the area truncate to the
// integer ones (the integer part needs far fewer than 53 bits).
constexpr int64_t kMagicBits = 0x4338000000000000;
constexpr double kMagic = 6755399441055744.0;

}  // namespace

void AddGuidedCoefficientRow_C(const int32_t *a, const int32_t *b, int32_t width, int32_t sign,
                               int64_t *sumA, int64_t *sumB) {
    AddCoefficientsFrom(a, b, 0, width, sign, sumA, sumB);
}

namespace {

template <typename Out>
void OutputRow_C(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r, int32_t area,
                 const uint8_t *guide, Out *out) {
    if (width <= 0) return;
    OutputWindows h = FirstWindows(sumA, sumB, width, r);
    OutputColumns(sumA, sumB, width, r, area, guide, out, 0, width, &h);
}

}  // namespace

void GuidedOutputRow16_C(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                         int32_t area, const uint8_t *guide, int16_t *out) {
    OutputRow_C(sumA, sumB, width, r, area, guide, out);
}

void GuidedOutputRow8_C(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                        int32_t area, const uint8_t *guide, uint8_t *out) {
    OutputRow_C(sumA, sumB, width, r, area, guide, out);
}

#if defined(__SSE2__)
namespace {

// Sign-extends the four 32-bit lanes of v to two pairs of 64-bit lanes.
inline void Widen32(__m128i v, __m128i *lo, __m128i *hi) {
    const __m128i s = _mm_srai_epi32(v, 31);
    *lo = _mm_unpacklo_epi32(v, s);
    *hi = _mm_unpackhi_epi32(v, s);
}

// sums[0..1] += or -= the two 64-bit lanes of v.
template <bool kAdd>
inline void Update2(int64_t *sums, __m128i v) {
    auto *p = reinterpret_cast<__m128i *>(sums);
    const __m128i s = _mm_loadu_si128(p);
    _mm_storeu_si128(p, kAdd ? _mm_add_epi64(s, v) : _mm_sub_epi64(s, v));
}

// sums[0..3] += or -= the four 32-bit values of v. Written out: the kernels' values stay in
// registers.
template <bool kAdd>
inline void Update4(int64_t *sums, __m128i v) {
    __m128i lo, hi;
    Widen32(v, &lo, &hi);
    Update2<kAdd>(sums, lo);
    Update2<kAdd>(sums + 2, hi);
}

// sums[0..7] += or -= the eight 32-bit values of a and b (a: samples 0-3, b: 4-7).
template <bool kAdd>
inline void Update8(int64_t *sums, __m128i a, __m128i b) {
    Update4<kAdd>(sums, a);
    Update4<kAdd>(sums + 4, b);
}

// Eight input samples in 16-bit lanes.
inline __m128i Load8(const int16_t *input) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(input)); }
inline __m128i Load8(const uint8_t *input) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(input)), _mm_setzero_si128());
}

template <bool kAdd, typename In>
int32_t Accumulate8s_SSE2(const uint8_t *guide, const In *input, int32_t length,
                          int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP) {
    const __m128i zero = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const __m128i g = Load8(guide + i);
        const __m128i p = Load8(input + i);
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

namespace {

template <typename In>
void AccumulateRow_SSE2(const uint8_t *guide, const In *input, int32_t length, int32_t sign,
                        int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP) {
#if defined(__SSE2__)
    const int32_t done = sign > 0 ? Accumulate8s_SSE2<true>(guide, input, length, sII, sIp, sI, sP)
                                  : Accumulate8s_SSE2<false>(guide, input, length, sII, sIp, sI, sP);
    AccumulateTail(guide, input, done, length, sign, sII, sIp, sI, sP);
#else
    AccumulateTail(guide, input, 0, length, sign, sII, sIp, sI, sP);
#endif
}

}  // namespace

void AccumulateGuidedRow16_SSE2(const uint8_t *guide, const int16_t *input, int32_t length,
                                int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                                int64_t *sP) {
    AccumulateRow_SSE2(guide, input, length, sign, sII, sIp, sI, sP);
}

void AccumulateGuidedRow8_SSE2(const uint8_t *guide, const uint8_t *input, int32_t length,
                               int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                               int64_t *sP) {
    AccumulateRow_SSE2(guide, input, length, sign, sII, sIp, sI, sP);
}

#if defined(__SSE2__)
namespace {

template <bool kAdd>
void AddCoefficients4s_SSE2(const int32_t *a, const int32_t *b, int32_t width, int64_t *sumA,
                            int64_t *sumB, int32_t *done) {
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        Update4<kAdd>(sumA + x, _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + x)));
        Update4<kAdd>(sumB + x, _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + x)));
    }
    *done = x;
}

inline __m128d ToDouble(__m128i v) {
    return _mm_sub_pd(_mm_castsi128_pd(_mm_add_epi64(v, _mm_set1_epi64x(kMagicBits))), _mm_set1_pd(kMagic));
}

// Window sums of columns x .. x + 1 (interior columns) from those of column x - 1 (lane 1 of
// last): the prefix of the differences of the columns entering and leaving.
inline __m128i SlideOutput2(const int64_t *v, int32_t x, int32_t r, __m128i *last) {
    const __m128i d = _mm_sub_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i *>(v + x + r)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(v + x - 1 - r)));
    const __m128i s = _mm_add_epi64(_mm_add_epi64(d, _mm_slli_si128(d, 8)), _mm_unpackhi_epi64(*last, *last));
    *last = s;
    return s;
}

// Truncated quotients of four window sums by the area, as 32-bit lanes.
inline __m128i Means4(__m128i lo, __m128i hi, __m128d area) {
    const __m128i l = _mm_cvttpd_epi32(_mm_div_pd(ToDouble(lo), area));
    const __m128i h = _mm_cvttpd_epi32(_mm_div_pd(ToDouble(hi), area));
    return _mm_unpacklo_epi64(l, h);
}

// The low 32 bits of four 32-bit products (those of the signed and unsigned products agree).
inline __m128i MulLo32(__m128i a, __m128i b) {
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                              _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// Four results q from 32-bit mean coefficients (the products fit 32 bits).
inline __m128i OutputSamples4(__m128i guide32, __m128i mA, __m128i mB) {
    return _mm_srai_epi32(_mm_add_epi32(MulLo32(guide32, mA), _mm_slli_epi32(mB, 6)), 10);
}

// Stores four results as the plain kernel does: their low 16 bits, or clamped to 0..255.
inline void Store4(int16_t *out, __m128i q) {
    q = _mm_srai_epi32(_mm_slli_epi32(q, 16), 16);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packs_epi32(q, q));
}
inline void Store4(uint8_t *out, __m128i q) {
    const __m128i words = _mm_packs_epi32(q, q);
    const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    __builtin_memcpy(out, &bytes, 4);
}

}  // namespace
#endif

void AddGuidedCoefficientRow_SSE2(const int32_t *a, const int32_t *b, int32_t width,
                                  int32_t sign, int64_t *sumA, int64_t *sumB) {
    int32_t done = 0;
#if defined(__SSE2__)
    if (sign > 0)
        AddCoefficients4s_SSE2<true>(a, b, width, sumA, sumB, &done);
    else
        AddCoefficients4s_SSE2<false>(a, b, width, sumA, sumB, &done);
#endif
    AddCoefficientsFrom(a, b, done, width, sign, sumA, sumB);
}

#if defined(__SSE2__)
namespace {

template <typename Out>
void OutputRow_SSE2(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                    int32_t area, const uint8_t *guide, Out *out) {
    if (width <= 0) return;
    OutputWindows h = FirstWindows(sumA, sumB, width, r);
    // Interior columns r + 1 .. width - 1 - r take whole columns entering and leaving.
    int32_t x = r + 1 < width ? r + 1 : width;
    OutputColumns(sumA, sumB, width, r, area, guide, out, 0, x, &h);
    if (x + 4 <= width - r) {
        // h holds column x's windows: start the lanes from column x - 1's.
        __m128i lA = _mm_set1_epi64x(h.hA - (sumA[x + r] - sumA[x - 1 - r]));
        __m128i lB = _mm_set1_epi64x(h.hB - (sumB[x + r] - sumB[x - 1 - r]));
        const __m128d divisor = _mm_set1_pd(static_cast<double>(area));
        const __m128i zero = _mm_setzero_si128();
        for (; x + 4 <= width - r; x += 4) {
            const __m128i a0 = SlideOutput2(sumA, x, r, &lA), a1 = SlideOutput2(sumA, x + 2, r, &lA);
            const __m128i b0 = SlideOutput2(sumB, x, r, &lB), b1 = SlideOutput2(sumB, x + 2, r, &lB);
            int32_t g4;
            __builtin_memcpy(&g4, guide + x, 4);
            const __m128i g = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(g4), zero), zero);
            Store4(out + x, OutputSamples4(g, Means4(a0, a1, divisor), Means4(b0, b1, divisor)));
        }
        // Column x's windows for the columns left.
        int64_t last[2];
        _mm_storeu_si128(reinterpret_cast<__m128i *>(last), lA);
        h.hA = last[1];
        _mm_storeu_si128(reinterpret_cast<__m128i *>(last), lB);
        h.hB = last[1];
        if (x < width) {
            h.hA += sumA[x + r < width - 1 ? x + r : width - 1] - sumA[x - 1 - r];
            h.hB += sumB[x + r < width - 1 ? x + r : width - 1] - sumB[x - 1 - r];
        }
    }
    OutputColumns(sumA, sumB, width, r, area, guide, out, x, width, &h);
}

}  // namespace
#endif

void GuidedOutputRow16_SSE2(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                            int32_t area, const uint8_t *guide, int16_t *out) {
#if defined(__SSE2__)
    OutputRow_SSE2(sumA, sumB, width, r, area, guide, out);
#else
    GuidedOutputRow16_C(sumA, sumB, width, r, area, guide, out);
#endif
}

void GuidedOutputRow8_SSE2(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                           int32_t area, const uint8_t *guide, uint8_t *out) {
#if defined(__SSE2__)
    OutputRow_SSE2(sumA, sumB, width, r, area, guide, out);
#else
    GuidedOutputRow8_C(sumA, sumB, width, r, area, guide, out);
#endif
}

#if defined(TONEFOLD_HAVE_AVX2_KERNELS)
// The AVX2 kernels clear the upper register halves before their plain tails and returns: the
// compiler does not do it for functions built for AVX2 by attribute, and dirty halves slow
// every SSE2 instruction that follows on some processors.
namespace {

template <bool kAdd>
[[gnu::target("avx2")]] inline void Update4x64(int64_t *sums, __m256i v) {
    auto *p = reinterpret_cast<__m256i *>(sums);
    const __m256i s = _mm256_loadu_si256(p);
    _mm256_storeu_si256(p, kAdd ? _mm256_add_epi64(s, v) : _mm256_sub_epi64(s, v));
}

// Four samples per step in 64-bit lanes: the products of two sign-extended 32-bit values
// are exact.
// Four samples in 64-bit lanes.
[[gnu::target("avx2")]] inline __m256i Load4x64(const uint8_t *p) {
    int32_t v;
    __builtin_memcpy(&v, p, 4);
    return _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(v));
}
[[gnu::target("avx2")]] inline __m256i Load4x64(const int16_t *p) {
    int64_t v;
    __builtin_memcpy(&v, p, 8);
    return _mm256_cvtepi16_epi64(_mm_cvtsi64_si128(v));
}

template <bool kAdd, typename In>
[[gnu::target("avx2")]] int32_t Accumulate4s_AVX2(const uint8_t *guide, const In *input,
                                                  int32_t length, int64_t *sII, int64_t *sIp,
                                                  int64_t *sI, int64_t *sP) {
    int32_t i = 0;
    for (; i + 4 <= length; i += 4) {
        const __m256i g = Load4x64(guide + i);
        const __m256i p = Load4x64(input + i);
        Update4x64<kAdd>(sII + i, _mm256_mul_epi32(g, g));
        Update4x64<kAdd>(sIp + i, _mm256_mul_epi32(g, p));
        Update4x64<kAdd>(sI + i, g);
        Update4x64<kAdd>(sP + i, p);
    }
    return i;
}

template <bool kAdd>
[[gnu::target("avx2")]] int32_t AddCoefficients4s_AVX2(const int32_t *a, const int32_t *b, int32_t width,
                                                       int64_t *sumA, int64_t *sumB) {
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        Update4x64<kAdd>(sumA + x, _mm256_cvtepi32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i *>(a + x))));
        Update4x64<kAdd>(sumB + x, _mm256_cvtepi32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i *>(b + x))));
    }
    return x;
}

[[gnu::target("avx2")]] inline __m256d ToDouble4(__m256i v) {
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_add_epi64(v, _mm256_set1_epi64x(kMagicBits))),
                         _mm256_set1_pd(kMagic));
}

// Window sums of interior columns x .. x + 3 from those of column x - 1 (lane 3 of last).
[[gnu::target("avx2")]] inline __m256i SlideOutput4(const int64_t *v, int32_t x, int32_t r, __m256i *last) {
    const __m256i d = _mm256_sub_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(v + x + r)),
                                       _mm256_loadu_si256(reinterpret_cast<const __m256i *>(v + x - 1 - r)));
    const __m256i p1 = _mm256_add_epi64(
        d, _mm256_blend_epi32(_mm256_permute4x64_epi64(d, 0x90), _mm256_setzero_si256(), 0x03));
    const __m256i p2 = _mm256_add_epi64(p1, _mm256_permute2x128_si256(p1, p1, 0x08));
    const __m256i s = _mm256_add_epi64(p2, _mm256_permute4x64_epi64(*last, 0xFF));
    *last = s;
    return s;
}

}  // namespace

[[gnu::target("avx2")]] void AddGuidedCoefficientRow_AVX2(const int32_t *a, const int32_t *b, int32_t width,
                                                          int32_t sign, int64_t *sumA, int64_t *sumB) {
    const int32_t done = sign > 0 ? AddCoefficients4s_AVX2<true>(a, b, width, sumA, sumB)
                                  : AddCoefficients4s_AVX2<false>(a, b, width, sumA, sumB);
    _mm256_zeroupper();
    AddCoefficientsFrom(a, b, done, width, sign, sumA, sumB);
}

namespace {

template <typename Out>
[[gnu::target("avx2")]] void OutputRow_AVX2(const int64_t *sumA, const int64_t *sumB, int32_t width,
                                            int32_t r, int32_t area, const uint8_t *guide, Out *out) {
    if (width <= 0) return;
    OutputWindows h = FirstWindows(sumA, sumB, width, r);
    int32_t x = r + 1 < width ? r + 1 : width;
    OutputColumns(sumA, sumB, width, r, area, guide, out, 0, x, &h);
    if (x + 4 <= width - r) {
        __m256i lA = _mm256_set1_epi64x(h.hA - (sumA[x + r] - sumA[x - 1 - r]));
        __m256i lB = _mm256_set1_epi64x(h.hB - (sumB[x + r] - sumB[x - 1 - r]));
        const __m256d divisor = _mm256_set1_pd(static_cast<double>(area));
        for (; x + 4 <= width - r; x += 4) {
            const __m128i mA = _mm256_cvttpd_epi32(_mm256_div_pd(ToDouble4(SlideOutput4(sumA, x, r, &lA)), divisor));
            const __m128i mB = _mm256_cvttpd_epi32(_mm256_div_pd(ToDouble4(SlideOutput4(sumB, x, r, &lB)), divisor));
            int32_t g4;
            __builtin_memcpy(&g4, guide + x, 4);
            const __m128i g = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(g4));
            Store4(out + x, _mm_srai_epi32(_mm_add_epi32(_mm_mullo_epi32(g, mA), _mm_slli_epi32(mB, 6)), 10));
        }
        h.hA = _mm256_extract_epi64(lA, 3);
        h.hB = _mm256_extract_epi64(lB, 3);
        _mm256_zeroupper();
        if (x < width) {
            h.hA += sumA[x + r < width - 1 ? x + r : width - 1] - sumA[x - 1 - r];
            h.hB += sumB[x + r < width - 1 ? x + r : width - 1] - sumB[x - 1 - r];
        }
    }
    OutputColumns(sumA, sumB, width, r, area, guide, out, x, width, &h);
}

}  // namespace

[[gnu::target("avx2")]] void GuidedOutputRow16_AVX2(const int64_t *sumA, const int64_t *sumB, int32_t width,
                                                    int32_t r, int32_t area, const uint8_t *guide,
                                                    int16_t *out) {
    OutputRow_AVX2(sumA, sumB, width, r, area, guide, out);
}

[[gnu::target("avx2")]] void GuidedOutputRow8_AVX2(const int64_t *sumA, const int64_t *sumB, int32_t width,
                                                   int32_t r, int32_t area, const uint8_t *guide,
                                                   uint8_t *out) {
    OutputRow_AVX2(sumA, sumB, width, r, area, guide, out);
}

namespace {

template <typename In>
[[gnu::target("avx2")]] void AccumulateRow_AVX2(const uint8_t *guide, const In *input, int32_t length,
                                                int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                                                int64_t *sP) {
    const int32_t done = sign > 0 ? Accumulate4s_AVX2<true>(guide, input, length, sII, sIp, sI, sP)
                                  : Accumulate4s_AVX2<false>(guide, input, length, sII, sIp, sI, sP);
    _mm256_zeroupper();
    AccumulateTail(guide, input, done, length, sign, sII, sIp, sI, sP);
}

}  // namespace

[[gnu::target("avx2")]] void AccumulateGuidedRow16_AVX2(const uint8_t *guide, const int16_t *input,
                                                        int32_t length, int32_t sign, int64_t *sII,
                                                        int64_t *sIp, int64_t *sI, int64_t *sP) {
    AccumulateRow_AVX2(guide, input, length, sign, sII, sIp, sI, sP);
}

[[gnu::target("avx2")]] void AccumulateGuidedRow8_AVX2(const uint8_t *guide, const uint8_t *input,
                                                       int32_t length, int32_t sign, int64_t *sII,
                                                       int64_t *sIp, int64_t *sI, int64_t *sP) {
    AccumulateRow_AVX2(guide, input, length, sign, sII, sIp, sI, sP);
}

#else

void AddGuidedCoefficientRow_AVX2(const int32_t *a, const int32_t *b, int32_t width, int32_t sign,
                                  int64_t *sumA, int64_t *sumB) {
    AddGuidedCoefficientRow_SSE2(a, b, width, sign, sumA, sumB);
}

void GuidedOutputRow16_AVX2(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                            int32_t area, const uint8_t *guide, int16_t *out) {
    GuidedOutputRow16_SSE2(sumA, sumB, width, r, area, guide, out);
}

void GuidedOutputRow8_AVX2(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                           int32_t area, const uint8_t *guide, uint8_t *out) {
    GuidedOutputRow8_SSE2(sumA, sumB, width, r, area, guide, out);
}

void AccumulateGuidedRow16_AVX2(const uint8_t *guide, const int16_t *input, int32_t length,
                                int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                                int64_t *sP) {
    AccumulateGuidedRow16_SSE2(guide, input, length, sign, sII, sIp, sI, sP);
}

void AccumulateGuidedRow8_AVX2(const uint8_t *guide, const uint8_t *input, int32_t length,
                               int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI,
                               int64_t *sP) {
    AccumulateGuidedRow8_SSE2(guide, input, length, sign, sII, sIp, sI, sP);
}

#endif

void AccumulateGuidedRow16(const uint8_t *guide, const int16_t *input, int32_t length,
                           int32_t sign, int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP) {
    if (Avx2KernelsEnabled())
        AccumulateGuidedRow16_AVX2(guide, input, length, sign, sII, sIp, sI, sP);
    else if (Sse2KernelsEnabled())
        AccumulateGuidedRow16_SSE2(guide, input, length, sign, sII, sIp, sI, sP);
    else
        AccumulateGuidedRow16_C(guide, input, length, sign, sII, sIp, sI, sP);
}

void AddGuidedCoefficientRow(const int32_t *a, const int32_t *b, int32_t width, int32_t sign,
                             int64_t *sumA, int64_t *sumB) {
    if (Avx2KernelsEnabled())
        AddGuidedCoefficientRow_AVX2(a, b, width, sign, sumA, sumB);
    else if (Sse2KernelsEnabled())
        AddGuidedCoefficientRow_SSE2(a, b, width, sign, sumA, sumB);
    else
        AddGuidedCoefficientRow_C(a, b, width, sign, sumA, sumB);
}

void GuidedOutputRow16(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                       int32_t area, const uint8_t *guide, int16_t *out) {
    if (Avx2KernelsEnabled())
        GuidedOutputRow16_AVX2(sumA, sumB, width, r, area, guide, out);
    else if (Sse2KernelsEnabled())
        GuidedOutputRow16_SSE2(sumA, sumB, width, r, area, guide, out);
    else
        GuidedOutputRow16_C(sumA, sumB, width, r, area, guide, out);
}

void GuidedOutputRow8(const int64_t *sumA, const int64_t *sumB, int32_t width, int32_t r,
                      int32_t area, const uint8_t *guide, uint8_t *out) {
    if (Avx2KernelsEnabled())
        GuidedOutputRow8_AVX2(sumA, sumB, width, r, area, guide, out);
    else if (Sse2KernelsEnabled())
        GuidedOutputRow8_SSE2(sumA, sumB, width, r, area, guide, out);
    else
        GuidedOutputRow8_C(sumA, sumB, width, r, area, guide, out);
}

void AccumulateGuidedRow8(const uint8_t *guide, const uint8_t *input, int32_t length, int32_t sign,
                          int64_t *sII, int64_t *sIp, int64_t *sI, int64_t *sP) {
    if (Avx2KernelsEnabled())
        AccumulateGuidedRow8_AVX2(guide, input, length, sign, sII, sIp, sI, sP);
    else if (Sse2KernelsEnabled())
        AccumulateGuidedRow8_SSE2(guide, input, length, sign, sII, sIp, sI, sP);
    else
        AccumulateGuidedRow8_C(guide, input, length, sign, sII, sIp, sI, sP);
}

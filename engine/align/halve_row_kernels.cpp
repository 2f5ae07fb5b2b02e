#include "halve_row_kernels.h"

#include "core/kernel_instructions.h"
#include "core/kernel_tiers.h"

void HalveRow_C(const uint8_t *top, const uint8_t *bottom, uint8_t *out, int32_t outWidth) {
    for (int32_t x = 0; x < outWidth; ++x) {
        const int sum = top[2 * x] + top[2 * x + 1] + bottom[2 * x] + bottom[2 * x + 1];
        out[x] = static_cast<uint8_t>((sum + 2) >> 2);
    }
}

void HalveRow_SSE2(const uint8_t *top, const uint8_t *bottom, uint8_t *out, int32_t outWidth) {
    int32_t x = 0;
#if defined(__SSE2__)
    // Sixteen outputs a step from 32 bytes of each row: each 16-bit lane adds its two bytes,
    // the two rows add, and the rounded quarter (at most 255) packs back to bytes.
    const __m128i low = _mm_set1_epi16(0x00ff);
    const __m128i two = _mm_set1_epi16(2);
    const auto pairs = [&](const uint8_t *p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        return _mm_add_epi16(_mm_and_si128(v, low), _mm_srli_epi16(v, 8));
    };
    for (; x + 16 <= outWidth; x += 16) {
        const __m128i a = _mm_add_epi16(pairs(top + 2 * x), pairs(bottom + 2 * x));
        const __m128i b = _mm_add_epi16(pairs(top + 2 * x + 16), pairs(bottom + 2 * x + 16));
        const __m128i qa = _mm_srli_epi16(_mm_add_epi16(a, two), 2);
        const __m128i qb = _mm_srli_epi16(_mm_add_epi16(b, two), 2);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_packus_epi16(qa, qb));
    }
#endif
    if (x < outWidth) HalveRow_C(top + 2 * x, bottom + 2 * x, out + x, outWidth - x);
}

#if defined(TONEFOLD_HAVE_AVX2_KERNELS)

namespace {

// Sums of the byte pairs of 32 bytes, one per 16-bit lane: a multiply-add by ones.
[[gnu::target("avx2")]] inline __m256i PairSums(const uint8_t *p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    return _mm256_maddubs_epi16(v, _mm256_set1_epi8(1));
}

// (sum + 2) >> 2 for sums up to 1020: the rounded high half of sum * 2^13 / 2^15 is exactly it.
[[gnu::target("avx2")]] inline __m256i RoundedQuarter(__m256i sum) {
    return _mm256_mulhrs_epi16(sum, _mm256_set1_epi16(1 << 13));
}

}  // namespace

// The pack works within each 128-bit half, so the quadwords are put back in order before the
// store.
[[gnu::target("avx2")]] void HalveRow_AVX2(const uint8_t *top, const uint8_t *bottom, uint8_t *out,
                                           int32_t outWidth) {
    int32_t x = 0;
    for (; x + 32 <= outWidth; x += 32) {
        const __m256i a = _mm256_add_epi16(PairSums(top + 2 * x), PairSums(bottom + 2 * x));
        const __m256i b =
            _mm256_add_epi16(PairSums(top + 2 * x + 32), PairSums(bottom + 2 * x + 32));
        const __m256i packed = _mm256_packus_epi16(RoundedQuarter(a), RoundedQuarter(b));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + x),
                            _mm256_permute4x64_epi64(packed, 0xD8));
    }
    if (x < outWidth) HalveRow_SSE2(top + 2 * x, bottom + 2 * x, out + x, outWidth - x);
}

#else

void HalveRow_AVX2(const uint8_t *top, const uint8_t *bottom, uint8_t *out, int32_t outWidth) {
    HalveRow_SSE2(top, bottom, out, outWidth);
}

#endif

HalveRowKernel ChooseHalveRow() {
    if (Avx2KernelsEnabled()) return HalveRow_AVX2;
    return Sse2KernelsEnabled() ? HalveRow_SSE2 : HalveRow_C;
}

#include "gain_row_kernels.h"

#include "core/kernel_instructions.h"
#include "core/kernel_tiers.h"

void BlendGainRows_C(uint16_t *out, const uint16_t *cur, const uint16_t *next, int32_t width,
                     uint32_t k, int32_t shift) {
    const uint32_t wc = (1u << shift) - k;
    for (int32_t x = 0; x < width; ++x)
        out[x] = static_cast<uint16_t>((wc * cur[x] + k * next[x]) >> shift);
}

void BlendGainRows_SSE2(uint16_t *out, const uint16_t *cur, const uint16_t *next, int32_t width,
                        uint32_t k, int32_t shift) {
#if defined(__SSE2__)
    // Weights up to 2^shift fit 16 bits, so each 32-bit product is formed from its low and
    // high halves; the shifted sum fits 16 bits unsigned and is packed through a signed pack
    // by moving it down by 2^15 and back.
    const uint32_t wc = (1u << shift) - k;
    if (shift < 0 || shift > 15 || wc > 0xFFFF || k > 0xFFFF) {
        BlendGainRows_C(out, cur, next, width, k, shift);
        return;
    }
    const __m128i weightCur = _mm_set1_epi16(static_cast<int16_t>(wc));
    const __m128i weightNext = _mm_set1_epi16(static_cast<int16_t>(k));
    const __m128i count = _mm_cvtsi32_si128(shift);
    const __m128i bias32 = _mm_set1_epi32(0x8000);
    const __m128i bias16 = _mm_set1_epi16(static_cast<int16_t>(0x8000));
    int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(cur + x));
        const __m128i n = _mm_loadu_si128(reinterpret_cast<const __m128i *>(next + x));
        const __m128i cLo = _mm_mullo_epi16(c, weightCur), cHi = _mm_mulhi_epu16(c, weightCur);
        const __m128i nLo = _mm_mullo_epi16(n, weightNext), nHi = _mm_mulhi_epu16(n, weightNext);
        const __m128i sumLo = _mm_add_epi32(_mm_unpacklo_epi16(cLo, cHi),
                                            _mm_unpacklo_epi16(nLo, nHi));
        const __m128i sumHi = _mm_add_epi32(_mm_unpackhi_epi16(cLo, cHi),
                                            _mm_unpackhi_epi16(nLo, nHi));
        const __m128i lo = _mm_sub_epi32(_mm_srl_epi32(sumLo, count), bias32);
        const __m128i hi = _mm_sub_epi32(_mm_srl_epi32(sumHi, count), bias32);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x),
                         _mm_xor_si128(_mm_packs_epi32(lo, hi), bias16));
    }
    BlendGainRows_C(out + x, cur + x, next + x, width - x, k, shift);
#else
    BlendGainRows_C(out, cur, next, width, k, shift);
#endif
}

void BlendGainRows(uint16_t *out, const uint16_t *cur, const uint16_t *next, int32_t width,
                   uint32_t k, int32_t shift) {
    if (Sse2KernelsEnabled())
        BlendGainRows_SSE2(out, cur, next, width, k, shift);
    else
        BlendGainRows_C(out, cur, next, width, k, shift);
}

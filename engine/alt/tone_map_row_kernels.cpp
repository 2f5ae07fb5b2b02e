#include "alt/tone_map_row_kernels.h"
#include "core/kernel_instructions.h"

#include "core/kernel_tiers.h"

namespace {

inline uint8_t LumaByte(uint32_t y, uint32_t gain, const uint8_t *tone) {
    const uint32_t v = (y * gain) >> 12;
    return tone[v <= 4095 ? v : 4095];
}

inline uint8_t ChromaByte(uint32_t c, const uint8_t *table) {
    const uint32_t i = c >> 2;
    return table[i <= 4095 ? i : 4095];
}

#if defined(__SSE2__)
// min(a, b) of unsigned 16-bit lanes without SSE4.1: a minus what a exceeds b by.
inline __m128i MinU16(__m128i a, __m128i b) { return _mm_sub_epi16(a, _mm_subs_epu16(a, b)); }

// Table indices min((y g) >> 12, 4095) of eight lanes. The 32-bit product is hi 2^16 + lo;
// hi held to 256 keeps (hi << 4) within 16 bits and still marks every product past 4095.
inline __m128i GainedIndex(__m128i y, __m128i g) {
    const __m128i lo = _mm_mullo_epi16(y, g);
    const __m128i hi = MinU16(_mm_mulhi_epu16(y, g), _mm_set1_epi16(256));
    const __m128i v = _mm_or_si128(_mm_slli_epi16(hi, 4), _mm_srli_epi16(lo, 12));
    return MinU16(v, _mm_set1_epi16(4095));
}

inline __m128i ChromaIndex(__m128i c) {
    return MinU16(_mm_srli_epi16(c, 2), _mm_set1_epi16(4095));
}

inline __m128i Load(const uint16_t *p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// out[k] = table of lane k [index in lane k] for the eight lanes; lanes k and k + 4 share a
// table (a, b, c, d for k = 0..3). Written out so each index leaves the register directly.
inline void LookUpEight(__m128i v, const uint8_t *a, const uint8_t *b, const uint8_t *c,
                        const uint8_t *d, uint8_t *out) {
    out[0] = a[_mm_extract_epi16(v, 0)];
    out[1] = b[_mm_extract_epi16(v, 1)];
    out[2] = c[_mm_extract_epi16(v, 2)];
    out[3] = d[_mm_extract_epi16(v, 3)];
    out[4] = a[_mm_extract_epi16(v, 4)];
    out[5] = b[_mm_extract_epi16(v, 5)];
    out[6] = c[_mm_extract_epi16(v, 6)];
    out[7] = d[_mm_extract_epi16(v, 7)];
}
#endif

}  // namespace

void ToneLumaRow_C(int32_t n, const uint16_t *luma, const uint16_t *gain, const uint8_t *tone,
                   uint8_t *out) {
    for (int32_t x = 0; x < n; ++x) out[x] = LumaByte(luma[x], gain[x], tone);
}

void ToneChromaRow_C(int32_t n, const uint16_t *in, uint8_t *out, const uint8_t *even,
                     const uint8_t *odd) {
    for (int32_t i = 0; i < n; ++i) out[i] = ChromaByte(in[i], (i & 1) ? odd : even);
}

void TonePackedRow_C(int32_t n, const uint16_t *in, const uint16_t *gain, const uint8_t *tone,
                     const uint8_t *uTable, const uint8_t *vTable, uint8_t *out) {
    for (int32_t x = 0; x + 1 < n; x += 2) {
        const uint16_t *s = in + 2 * x;
        uint8_t *o = out + 2 * x;
        o[0] = LumaByte(s[0], gain[x], tone);
        o[1] = ChromaByte(s[1], uTable);
        o[2] = LumaByte(s[2], gain[x + 1], tone);
        o[3] = ChromaByte(s[3], vTable);
    }
}

// The SSE2 kernels form eight indices at a time; the lookups stay scalar (SSE2 has no
// gather).
void ToneLumaRow_SSE2(int32_t n, const uint16_t *luma, const uint16_t *gain,
                      const uint8_t *tone, uint8_t *out) {
    int32_t x = 0;
#if defined(__SSE2__)
    for (; x + 8 <= n; x += 8)
        LookUpEight(GainedIndex(Load(luma + x), Load(gain + x)), tone, tone, tone, tone, out + x);
#endif
    ToneLumaRow_C(n - x, luma + x, gain + x, tone, out + x);
}

void ToneChromaRow_SSE2(int32_t n, const uint16_t *in, uint8_t *out, const uint8_t *even,
                        const uint8_t *odd) {
    int32_t i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= n; i += 8) LookUpEight(ChromaIndex(Load(in + i)), even, odd, even, odd, out + i);
#endif
    // i is even here, so the tail keeps the tables' alternation.
    ToneChromaRow_C(n - i, in + i, out + i, even, odd);
}

void TonePackedRow_SSE2(int32_t n, const uint16_t *in, const uint16_t *gain,
                        const uint8_t *tone, const uint8_t *uTable, const uint8_t *vTable,
                        uint8_t *out) {
    int32_t x = 0;
#if defined(__SSE2__)
    // A chroma lane's gain of 1024 makes its index (c 1024) >> 12 = c >> 2, the chroma index,
    // so one index step serves the whole interleaved row.
    const __m128i unity = _mm_set1_epi16(1024);
    for (; x + 8 <= n; x += 8) {
        const __m128i g = Load(gain + x);
        uint8_t *o = out + 2 * x;
        LookUpEight(GainedIndex(Load(in + 2 * x), _mm_unpacklo_epi16(g, unity)), tone, uTable,
                    tone, vTable, o);
        LookUpEight(GainedIndex(Load(in + 2 * x + 8), _mm_unpackhi_epi16(g, unity)), tone,
                    uTable, tone, vTable, o + 8);
    }
#endif
    TonePackedRow_C(n - x, in + 2 * x, gain + x, tone, uTable, vTable, out + 2 * x);
}

void ToneLumaRow(int32_t n, const uint16_t *luma, const uint16_t *gain, const uint8_t *tone,
                 uint8_t *out) {
    (Sse2KernelsEnabled() ? ToneLumaRow_SSE2 : ToneLumaRow_C)(n, luma, gain, tone, out);
}

void ToneChromaRow(int32_t n, const uint16_t *in, uint8_t *out, const uint8_t *even,
                   const uint8_t *odd) {
    (Sse2KernelsEnabled() ? ToneChromaRow_SSE2 : ToneChromaRow_C)(n, in, out, even, odd);
}

void TonePackedRow(int32_t n, const uint16_t *in, const uint16_t *gain, const uint8_t *tone,
                   const uint8_t *uTable, const uint8_t *vTable, uint8_t *out) {
    (Sse2KernelsEnabled() ? TonePackedRow_SSE2 : TonePackedRow_C)(n, in, gain, tone, uTable,
                                                                   vTable, out);
}

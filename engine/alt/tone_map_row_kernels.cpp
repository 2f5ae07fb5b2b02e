#include "alt/tone_map_row_kernels.h"

#include "core/fast_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// gather), read from an aligned block the indices were stored to.
void ToneLumaRow_SSE2(int32_t n, const uint16_t *luma, const uint16_t *gain,
                      const uint8_t *tone, uint8_t *out) {
    int32_t x = 0;
#if defined(__SSE2__)
    alignas(16) uint16_t idx[8];
    for (; x + 8 <= n; x += 8) {
        _mm_store_si128(reinterpret_cast<__m128i *>(idx), GainedIndex(Load(luma + x), Load(gain + x)));
        for (int k = 0; k < 8; ++k) out[x + k] = tone[idx[k]];
    }
#endif
    ToneLumaRow_C(n - x, luma + x, gain + x, tone, out + x);
}

void ToneChromaRow_SSE2(int32_t n, const uint16_t *in, uint8_t *out, const uint8_t *even,
                        const uint8_t *odd) {
    int32_t i = 0;
#if defined(__SSE2__)
    alignas(16) uint16_t idx[8];
    for (; i + 8 <= n; i += 8) {
        _mm_store_si128(reinterpret_cast<__m128i *>(idx), ChromaIndex(Load(in + i)));
        for (int k = 0; k < 8; k += 2) {
            out[i + k] = even[idx[k]];
            out[i + k + 1] = odd[idx[k + 1]];
        }
    }
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
    alignas(16) uint16_t idx[16];
    for (; x + 8 <= n; x += 8) {
        const __m128i g = Load(gain + x);
        _mm_store_si128(reinterpret_cast<__m128i *>(idx),
                        GainedIndex(Load(in + 2 * x), _mm_unpacklo_epi16(g, unity)));
        _mm_store_si128(reinterpret_cast<__m128i *>(idx + 8),
                        GainedIndex(Load(in + 2 * x + 8), _mm_unpackhi_epi16(g, unity)));
        uint8_t *o = out + 2 * x;
        for (int k = 0; k < 16; k += 4) {
            o[k] = tone[idx[k]];
            o[k + 1] = uTable[idx[k + 1]];
            o[k + 2] = tone[idx[k + 2]];
            o[k + 3] = vTable[idx[k + 3]];
        }
    }
#endif
    TonePackedRow_C(n - x, in + 2 * x, gain + x, tone, uTable, vTable, out + 2 * x);
}

void ToneLumaRow(int32_t n, const uint16_t *luma, const uint16_t *gain, const uint8_t *tone,
                 uint8_t *out) {
    (FastKernelsEnabled() ? ToneLumaRow_SSE2 : ToneLumaRow_C)(n, luma, gain, tone, out);
}

void ToneChromaRow(int32_t n, const uint16_t *in, uint8_t *out, const uint8_t *even,
                   const uint8_t *odd) {
    (FastKernelsEnabled() ? ToneChromaRow_SSE2 : ToneChromaRow_C)(n, in, out, even, odd);
}

void TonePackedRow(int32_t n, const uint16_t *in, const uint16_t *gain, const uint8_t *tone,
                   const uint8_t *uTable, const uint8_t *vTable, uint8_t *out) {
    (FastKernelsEnabled() ? TonePackedRow_SSE2 : TonePackedRow_C)(n, in, gain, tone, uTable,
                                                                   vTable, out);
}

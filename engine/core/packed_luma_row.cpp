#include "packed_luma_row.h"

#include "kernel_tiers.h"

#include "core/kernel_instructions.h"

void PackedLumaRow_C(const uint8_t *in, uint8_t *out, int32_t width) {
    for (int32_t x = 0; x < width; ++x) out[x] = in[2 * x];
}

void PackedLumaRow_SSE2(const uint8_t *in, uint8_t *out, int32_t width) {
    int32_t x = 0;
#if defined(__SSE2__)
    // Reads stay inside the row's 2 width bytes: the last step ends at byte 2 x + 31.
    const __m128i lumaBytes = _mm_set1_epi16(0x00ff);
    for (; x + 16 <= width; x += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 2 * x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 2 * x + 16));
        const __m128i y = _mm_packus_epi16(_mm_and_si128(a, lumaBytes), _mm_and_si128(b, lumaBytes));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), y);
    }
#endif
    PackedLumaRow_C(in + 2 * x, out + x, width - x);
}

void PackedLumaRow(const uint8_t *in, uint8_t *out, int32_t width) {
    if (Sse2KernelsEnabled())
        PackedLumaRow_SSE2(in, out, width);
    else
        PackedLumaRow_C(in, out, width);
}

#include "luma_window_kernels.h"

#include "core/fast_kernels.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TONEFOLD_LUMA_AVX2 1
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

void GatherPackedLuma_C(const uint8_t *pairs, int32_t offset, uint8_t *out, int32_t count) {
    const uint8_t *in = pairs + offset;
    for (int32_t k = 0; k < count; ++k) out[k] = in[2 * k];
}

void GatherPackedLuma_SSE2(const uint8_t *pairs, int32_t offset, uint8_t *out, int32_t count) {
    int32_t k = 0;
#if defined(__SSE2__)
    // Each pixel's pair is one 16-bit lane: the luma is its low byte (offset 0) or its high
    // byte (offset 1), brought to the low byte and packed sixteen pixels a step.
    const __m128i lowBytes = _mm_set1_epi16(0x00ff);
    const auto luma = [&](const uint8_t *p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        return offset ? _mm_srli_epi16(v, 8) : _mm_and_si128(v, lowBytes);
    };
    for (; k + 16 <= count; k += 16) {
        const uint8_t *p = pairs + 2 * k;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k),
                         _mm_packus_epi16(luma(p), luma(p + 16)));
    }
#endif
    GatherPackedLuma_C(pairs + 2 * k, offset, out + k, count - k);
}

#if defined(TONEFOLD_LUMA_AVX2)

namespace {

[[gnu::target("avx2")]] inline __m256i LumaLanes(const uint8_t *p, int32_t offset) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    return offset ? _mm256_srli_epi16(v, 8) : _mm256_and_si256(v, _mm256_set1_epi16(0x00ff));
}

}  // namespace

// The SSE2 steps on 32-byte registers; the pack works within each 128-bit half, so the
// quadwords are put back in order before the store.
[[gnu::target("avx2")]] void GatherPackedLuma_AVX2(const uint8_t *pairs, int32_t offset,
                                                    uint8_t *out, int32_t count) {
    int32_t k = 0;
    for (; k + 32 <= count; k += 32) {
        const uint8_t *p = pairs + 2 * k;
        const __m256i packed = _mm256_packus_epi16(LumaLanes(p, offset), LumaLanes(p + 32, offset));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + k),
                            _mm256_permute4x64_epi64(packed, 0xD8));
    }
    GatherPackedLuma_SSE2(pairs + 2 * k, offset, out + k, count - k);
}

#else

void GatherPackedLuma_AVX2(const uint8_t *pairs, int32_t offset, uint8_t *out, int32_t count) {
    GatherPackedLuma_SSE2(pairs, offset, out, count);
}

#endif

void GatherPackedLuma(const uint8_t *pairs, int32_t offset, uint8_t *out, int32_t count) {
    if (Avx2KernelsEnabled())
        GatherPackedLuma_AVX2(pairs, offset, out, count);
    else if (FastKernelsEnabled())
        GatherPackedLuma_SSE2(pairs, offset, out, count);
    else
        GatherPackedLuma_C(pairs, offset, out, count);
}

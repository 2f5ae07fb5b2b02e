#include "luma_window_kernels.h"

#include "core/kernel_instructions.h"
#include "core/kernel_tiers.h"

void GatherPackedLuma_C(const uint8_t *pairs, int32_t offset, uint8_t *out, int32_t count) {
    const uint8_t *in = pairs + offset;
    for (int32_t k = 0; k < count; ++k) out[k] = in[2 * k];
}

#if defined(__SSE2__)

namespace {

// Each pixel's pair is one 16-bit lane: the luma is its low byte (offset 0) or its high byte
// (offset 1), brought to the low byte and packed sixteen pixels a step.
template <int kOffset>
inline __m128i LumaLanes(const uint8_t *p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    return kOffset ? _mm_srli_epi16(v, 8) : _mm_and_si128(v, _mm_set1_epi16(0x00ff));
}

template <int kOffset>
int32_t GatherSse2(const uint8_t *pairs, uint8_t *out, int32_t count) {
    int32_t k = 0;
    for (; k + 16 <= count; k += 16) {
        const uint8_t *p = pairs + 2 * k;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k),
                         _mm_packus_epi16(LumaLanes<kOffset>(p), LumaLanes<kOffset>(p + 16)));
    }
    return k;
}

}  // namespace

#endif

void GatherPackedLuma_SSE2(const uint8_t *pairs, int32_t offset, uint8_t *out, int32_t count) {
    int32_t k = 0;
#if defined(__SSE2__)
    k = offset ? GatherSse2<1>(pairs, out, count) : GatherSse2<0>(pairs, out, count);
#endif
    if (k < count) GatherPackedLuma_C(pairs + 2 * k, offset, out + k, count - k);
}

#if defined(TONEFOLD_HAVE_AVX2_KERNELS)

namespace {

template <int kOffset>
[[gnu::target("avx2")]] inline __m256i LumaLanes32(const uint8_t *p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    return kOffset ? _mm256_srli_epi16(v, 8) : _mm256_and_si256(v, _mm256_set1_epi16(0x00ff));
}

// The SSE2 steps on 32-byte registers; the pack works within each 128-bit half, so the
// quadwords are put back in order before the store.
template <int kOffset>
[[gnu::target("avx2")]] int32_t GatherAvx2(const uint8_t *pairs, uint8_t *out, int32_t count) {
    int32_t k = 0;
    for (; k + 32 <= count; k += 32) {
        const uint8_t *p = pairs + 2 * k;
        const __m256i packed =
            _mm256_packus_epi16(LumaLanes32<kOffset>(p), LumaLanes32<kOffset>(p + 32));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + k),
                            _mm256_permute4x64_epi64(packed, 0xD8));
    }
    return k;
}

}  // namespace

void GatherPackedLuma_AVX2(const uint8_t *pairs, int32_t offset, uint8_t *out, int32_t count) {
    const int32_t k = offset ? GatherAvx2<1>(pairs, out, count) : GatherAvx2<0>(pairs, out, count);
    if (k < count) GatherPackedLuma_SSE2(pairs + 2 * k, offset, out + k, count - k);
}

#else

void GatherPackedLuma_AVX2(const uint8_t *pairs, int32_t offset, uint8_t *out, int32_t count) {
    GatherPackedLuma_SSE2(pairs, offset, out, count);
}

#endif

PackedLumaGather ChooseGatherPackedLuma() {
    if (Avx2KernelsEnabled()) return GatherPackedLuma_AVX2;
    return Sse2KernelsEnabled() ? GatherPackedLuma_SSE2 : GatherPackedLuma_C;
}

#include "crop_rescale_kernels.h"

#include <cstddef>

#include "core/kernel_instructions.h"
#include "core/kernel_tiers.h"

namespace {

// Bilinear luma of one destination pixel on 1/16 fractions: first down the rows, then across.
inline uint8_t LumaAt(const uint8_t *s0, const uint8_t *s1, int32_t fy, int32_t c0, int32_t c1,
                      int32_t fx) {
    const int32_t s00 = s0[2 * static_cast<ptrdiff_t>(c0)], s01 = s1[2 * static_cast<ptrdiff_t>(c0)];
    const int32_t s10 = s0[2 * static_cast<ptrdiff_t>(c1)], s11 = s1[2 * static_cast<ptrdiff_t>(c1)];
    const int32_t a = 16 * s00 + fy * (s01 - s00);
    const int32_t b = 16 * s10 + fy * (s11 - s10);
    return static_cast<uint8_t>((16 * a + fx * (b - a)) >> 8);
}

// Destination pixels [x, end) of a row of width pixels, x and end even.
void RescalePairs(const uint8_t *s0, const uint8_t *s1, int32_t fy, const int32_t *columnPairs,
                  const int32_t *columnFractions, int32_t width, int32_t x, int32_t end, uint8_t *out) {
    const int32_t *right = columnPairs + width;
    for (; x < end; x += 2) {
        const uint8_t *group = s0 + 4 * static_cast<ptrdiff_t>(columnPairs[x] / 2);
        uint8_t *d = out + 2 * static_cast<ptrdiff_t>(x);
        d[0] = LumaAt(s0, s1, fy, columnPairs[x], right[x], columnFractions[x]);
        d[1] = group[1];
        d[2] = LumaAt(s0, s1, fy, columnPairs[x + 1], right[x + 1], columnFractions[x + 1]);
        d[3] = group[3];
    }
}

}  // namespace

void RescaleYuyvRow_C(const uint8_t *s0, const uint8_t *s1, int32_t fy, const int32_t *columnPairs,
                      const int32_t *columnFractions, int32_t width, uint8_t *out) {
    RescalePairs(s0, s1, fy, columnPairs, columnFractions, width, 0, width, out);
}

#if defined(__SSE2__)
namespace {

inline int32_t Load32(const uint8_t *p) {
    int32_t v;
    __builtin_memcpy(&v, p, 4);
    return v;
}

// The four bytes at 2 c of a packed row for four columns c: Y(c), a chroma byte, Y(c + 1) and
// another chroma byte, in 32-bit lanes.
inline __m128i Groups4(const uint8_t *row, const int32_t *columns) {
    return _mm_set_epi32(Load32(row + 2 * static_cast<ptrdiff_t>(columns[3])),
                         Load32(row + 2 * static_cast<ptrdiff_t>(columns[2])),
                         Load32(row + 2 * static_cast<ptrdiff_t>(columns[1])),
                         Load32(row + 2 * static_cast<ptrdiff_t>(columns[0])));
}

// Luma of four destination pixels whose right columns follow their left ones, in the low
// bytes of 32-bit lanes: down the rows on (left, right) 16-bit pairs, then across by one
// multiply-add with the weights (16 - fx, fx). Every value stays within 16 bits signed
// before the last sum (at most 16 x 255 x 16 = 65280 in 32 bits).
inline __m128i Luma4(const uint8_t *s0, const uint8_t *s1, const int32_t *columns,
                     const int32_t *fractions, __m128i wy0, __m128i wy1) {
    const __m128i lumaBytes = _mm_set1_epi32(0x00FF00FF);
    const __m128i upper = _mm_and_si128(Groups4(s0, columns), lumaBytes);
    const __m128i lower = _mm_and_si128(Groups4(s1, columns), lumaBytes);
    const __m128i down = _mm_add_epi16(_mm_mullo_epi16(upper, wy0), _mm_mullo_epi16(lower, wy1));
    const __m128i fx = _mm_loadu_si128(reinterpret_cast<const __m128i *>(fractions));
    const __m128i weights = _mm_or_si128(_mm_sub_epi32(_mm_set1_epi32(16), fx), _mm_slli_epi32(fx, 16));
    return _mm_srli_epi32(_mm_madd_epi16(down, weights), 8);
}

// The chroma bytes of two pairs (pixels 0 and 2 lead them) in 16-bit lanes 0-3.
inline __m128i Chroma2(const uint8_t *s0, const int32_t *columns) {
    const int32_t g0 = Load32(s0 + 4 * static_cast<ptrdiff_t>(columns[0] / 2));
    const int32_t g1 = Load32(s0 + 4 * static_cast<ptrdiff_t>(columns[2] / 2));
    return _mm_and_si128(_mm_srli_epi16(_mm_unpacklo_epi32(_mm_cvtsi32_si128(g0), _mm_cvtsi32_si128(g1)), 8),
                         _mm_set1_epi16(0x00FF));
}

// True when the right column of each of eight pixels is the one after its left column.
inline bool RightFollowsLeft8(const int32_t *left, const int32_t *right) {
    const __m128i one = _mm_set1_epi32(1);
    const __m128i a = _mm_cmpeq_epi32(_mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(left)), one),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i *>(right)));
    const __m128i b = _mm_cmpeq_epi32(_mm_add_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(left + 4)), one),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i *>(right + 4)));
    return _mm_movemask_epi8(_mm_and_si128(a, b)) == 0xFFFF;
}

}  // namespace
#endif

void RescaleYuyvRow_SSE2(const uint8_t *s0, const uint8_t *s1, int32_t fy,
                         const int32_t *columnPairs, const int32_t *columnFractions,
                         int32_t width, uint8_t *out) {
    int32_t x = 0;
#if defined(__SSE2__)
    // Eight pixels at a time where each right column follows its left one (all but the last
    // columns of an upscaling crop): one load per pixel and row brings both luma samples.
    const int32_t *right = columnPairs + width;
    const __m128i wy1 = _mm_set1_epi16(static_cast<int16_t>(fy));
    const __m128i wy0 = _mm_set1_epi16(static_cast<int16_t>(16 - fy));
    for (; x + 8 <= width; x += 8) {
        uint8_t *d = out + 2 * static_cast<ptrdiff_t>(x);
        if (!RightFollowsLeft8(columnPairs + x, right + x)) {
            RescalePairs(s0, s1, fy, columnPairs, columnFractions, width, x, x + 8, out);
            continue;
        }
        const __m128i luma = _mm_packs_epi32(Luma4(s0, s1, columnPairs + x, columnFractions + x, wy0, wy1),
                                             Luma4(s0, s1, columnPairs + x + 4, columnFractions + x + 4, wy0, wy1));
        const __m128i chroma = _mm_unpacklo_epi64(Chroma2(s0, columnPairs + x), Chroma2(s0, columnPairs + x + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm_or_si128(luma, _mm_slli_epi16(chroma, 8)));
    }
#endif
    RescalePairs(s0, s1, fy, columnPairs, columnFractions, width, x, width, out);
}

void RescaleYuyvRow(const uint8_t *s0, const uint8_t *s1, int32_t fy, const int32_t *columnPairs,
                    const int32_t *columnFractions, int32_t width, uint8_t *out) {
    if (Sse2KernelsEnabled())
        RescaleYuyvRow_SSE2(s0, s1, fy, columnPairs, columnFractions, width, out);
    else
        RescaleYuyvRow_C(s0, s1, fy, columnPairs, columnFractions, width, out);
}

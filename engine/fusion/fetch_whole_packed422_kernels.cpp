#include "fetch_whole_packed422_kernels.h"

#include <algorithm>

#include "core/kernel_instructions.h"

namespace {

bool Unclamped(int32_t x, int32_t dx, int32_t right) {
    const int32_t sx = x - dx;
    return sx >= 0 && sx <= right - 4;
}

// One group: an even column copies its two pairs; an odd one straddles two pairs and takes
// each pair's chroma whole.
void CopyGroup(const uint8_t *p, bool odd, uint8_t *quad) {
    for (int32_t i = 0; i < 8; ++i) quad[i] = (odd && (i & 1)) ? p[i - 2] : p[i];
}

}  // namespace

int32_t CopyShiftedGroupsPacked422_C(const uint8_t *row, int32_t dx, int32_t right, int32_t x,
                                     int32_t b, uint8_t *quad) {
    int32_t groups = 0;
    for (; x < b && Unclamped(x, dx, right); x += 4, quad += 16, ++groups)
        CopyGroup(row + 2 * (x - dx), ((x - dx) & 1) != 0, quad);
    return groups;
}

int32_t CopyShiftedGroupsPacked422_SSE2(const uint8_t *row, int32_t dx, int32_t right, int32_t x,
                                        int32_t b, uint8_t *quad) {
#if defined(__SSE2__)
    // Two groups per step: sixteen source bytes from the first group's column (and, for an odd
    // column, sixteen from two bytes before it for the chroma: p - 2 is still in the row).
    int32_t groups = 0;
    const bool odd = ((x - dx) & 1) != 0;
    const __m128i lumaBytes = _mm_set1_epi16(0x00FF);
    // Columns from an unclamped one on stay unclamped up to x - dx = right - 4.
    const int32_t end = Unclamped(x, dx, right) ? std::min(b, right - 3 + dx) : x;
    for (; x + 4 < end; x += 8, quad += 32, groups += 2) {
        const uint8_t *p = row + 2 * (x - dx);
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        if (odd) {
            const __m128i chroma = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p - 2));
            v = _mm_or_si128(_mm_and_si128(v, lumaBytes), _mm_andnot_si128(lumaBytes, chroma));
        }
        _mm_storel_epi64(reinterpret_cast<__m128i *>(quad), v);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(quad + 16), _mm_srli_si128(v, 8));
    }
    return groups + CopyShiftedGroupsPacked422_C(row, dx, right, x, b, quad);
#else
    return CopyShiftedGroupsPacked422_C(row, dx, right, x, b, quad);
#endif
}

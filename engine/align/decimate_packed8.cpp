// The engine's thumbnail kernel: packed 4:2:2 (Y0 U Y1 V) reduced by 8.
//
// Each output pixel reads nine 4-byte words: those starting at pixels bx, bx + 2 and bx + 6 of
// rows by, by + 3 and by + 6. The first eight words are averaged lane by lane with truncation,
// the ninth (row 6, pixel 6) is added as eight times that mean plus itself, and the result is
// divided by 9 with the multiply-shift. Here the four lanes of a word are summed together:
// masking the even bytes (Y0, Y1) and the odd bytes (U, V) into 16-bit lanes leaves room for
// the sums (at most 8 x 255), so one add serves two channels and no lane carries into another.
// With SSE2 four output pixels are computed at once; the word-wise loop takes the rest.
#include <bit>
#include <cstring>

#include "core/kernel_instructions.h"

#include "decimate_kernels.h"

static_assert(std::endian::native == std::endian::little,
              "the packed kernel reads Y0 U Y1 V as the bytes of one little-endian word");

namespace {

constexpr uint32_t kEvenBytes = 0x00FF00FFu;

uint32_t LoadWord(const uint8_t *p) {
    uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The lanes of one channel pair: Y0 and Y1 (even bytes) or U and V (odd bytes) of a word.
uint32_t EvenLanes(uint32_t word) { return word & kEvenBytes; }
uint32_t OddLanes(uint32_t word) { return (word >> 8) & kEvenBytes; }

// One output pixel from the block whose words start at p0, p3 and p6 (rows 0, 3 and 6).
void DecimatePackedPixel8(const uint8_t *p0, const uint8_t *p3, const uint8_t *p6, uint8_t *outY,
                          uint8_t *outU, uint8_t *outV) {
    const uint32_t w[8] = {LoadWord(p0), LoadWord(p0 + 4), LoadWord(p0 + 12),
                           LoadWord(p3), LoadWord(p3 + 4), LoadWord(p3 + 12),
                           LoadWord(p6), LoadWord(p6 + 4)};
    const uint32_t ninth = LoadWord(p6 + 12);
    uint32_t even = 0;
    uint32_t odd = 0;
    for (uint32_t word : w) {
        even += EvenLanes(word);
        odd += OddLanes(word);
    }
    // Truncated means per lane, then 8 x mean + ninth tap per lane (at most 2295).
    even = (((even >> 3) & kEvenBytes) << 3) + EvenLanes(ninth);
    odd = (((odd >> 3) & kEvenBytes) << 3) + OddLanes(ninth);
    *outY = static_cast<uint8_t>(NinthByMultiply(even & 0xFFFFu));
    *outU = static_cast<uint8_t>(NinthByMultiply(odd & 0xFFFFu));
    *outV = static_cast<uint8_t>(NinthByMultiply(odd >> 16));
}

#if defined(__SSE2__)
// Four output pixels at once. The 16-byte blocks of four neighbouring outputs are transposed
// so that each register holds one tap word of all four; the even and odd bytes then sit in
// 16-bit lanes (Y0 Y1 and U V of each output) where the sums cannot carry.
struct TapWords {
    __m128i first, second, last;  // the words at pixels 0, 2 and 6 of four blocks
};

TapWords LoadTapWords(const uint8_t *p) {
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
    const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 32));
    const __m128i a3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 48));
    const __m128i low01 = _mm_unpacklo_epi32(a0, a1);
    const __m128i low23 = _mm_unpacklo_epi32(a2, a3);
    const __m128i high01 = _mm_unpackhi_epi32(a0, a1);
    const __m128i high23 = _mm_unpackhi_epi32(a2, a3);
    return {_mm_unpacklo_epi64(low01, low23), _mm_unpackhi_epi64(low01, low23),
            _mm_unpackhi_epi64(high01, high23)};
}

// ((s & ~7) + t) x 116508 >> 20 per 16-bit lane: 116508 = 65536 + 50972, and the product's
// low 16 bits cannot reach bit 20, so the value is (mulhi(v, 50972) + v) >> 4.
__m128i NinthOfEightMeansPlusNinth(__m128i sum, __m128i ninth) {
    const __m128i v = _mm_add_epi16(_mm_and_si128(sum, _mm_set1_epi16(~7)), ninth);
    const __m128i high =
        _mm_mulhi_epu16(v, _mm_set1_epi16(static_cast<short>(kNinthMultiplier - 65536)));
    return _mm_srli_epi16(_mm_add_epi16(high, v), 4);
}

// The low 16-bit lane of each 32-bit lane as four bytes.
void StoreLowLanes(__m128i lanes, uint8_t *out) {
    const __m128i words = _mm_and_si128(lanes, _mm_set1_epi32(0xFFFF));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(words, words), words);
    const uint32_t four = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
    std::memcpy(out, &four, 4);
}

void DecimatePackedQuad8(const uint8_t *p0, const uint8_t *p3, const uint8_t *p6, uint8_t *outY,
                         uint8_t *outU, uint8_t *outV) {
    const __m128i evenMask = _mm_set1_epi16(0x00FF);
    const TapWords r0 = LoadTapWords(p0);
    const TapWords r3 = LoadTapWords(p3);
    const TapWords r6 = LoadTapWords(p6);
    const __m128i eight[8] = {r0.first,  r0.second, r0.last,  r3.first,
                              r3.second, r3.last,   r6.first, r6.second};
    __m128i even = _mm_setzero_si128();
    __m128i odd = _mm_setzero_si128();
    for (const __m128i &w : eight) {
        even = _mm_add_epi16(even, _mm_and_si128(w, evenMask));
        odd = _mm_add_epi16(odd, _mm_srli_epi16(w, 8));
    }
    const __m128i y = NinthOfEightMeansPlusNinth(even, _mm_and_si128(r6.last, evenMask));
    const __m128i uv = NinthOfEightMeansPlusNinth(odd, _mm_srli_epi16(r6.last, 8));
    StoreLowLanes(y, outY);
    StoreLowLanes(uv, outU);
    StoreLowLanes(_mm_srli_epi32(uv, 16), outV);
}
#endif

// Writes one row of output from the three source rows by, by + 3 and by + 6, each starting at
// the rectangle's first block (16 bytes per block).
void DecimatePackedRow8(const uint8_t *row0, const uint8_t *row3, const uint8_t *row6,
                        int32_t width, uint8_t *outY, uint8_t *outU, uint8_t *outV) {
    int32_t ox = 0;
#if defined(__SSE2__)
    for (; ox + 4 <= width; ox += 4) {
        const ptrdiff_t b = static_cast<ptrdiff_t>(ox) * 16;
        DecimatePackedQuad8(row0 + b, row3 + b, row6 + b, outY + ox, outU + ox, outV + ox);
    }
#endif
    for (; ox < width; ++ox) {
        const ptrdiff_t b = static_cast<ptrdiff_t>(ox) * 16;
        DecimatePackedPixel8(row0 + b, row3 + b, row6 + b, outY + ox, outU + ox, outV + ox);
    }
}

}  // namespace

void DecimatePackedFactor8(const DecimateSource &source, ImageDesc *output,
                           const InclusiveRect &rect) {
    const int32_t ow = (rect.x1 - rect.x0 + 1) / 8;
    const int32_t oh = (rect.y1 - rect.y0 + 1) / 8;
    const ptrdiff_t pitch = source.lumaPitch;
    const uint8_t *first = source.luma + 2 * static_cast<ptrdiff_t>(rect.x0);
    for (int32_t oy = 0; oy < oh; ++oy) {
        const uint8_t *row0 = first + static_cast<ptrdiff_t>(rect.y0 + 8 * oy) * pitch;
        DecimatePackedRow8(
            row0, row0 + 3 * pitch, row0 + 6 * pitch, ow,
            output->ppu8Plane[0] + static_cast<ptrdiff_t>(oy) * output->pi32Pitch[0],
            output->ppu8Plane[1] + static_cast<ptrdiff_t>(oy) * output->pi32Pitch[1],
            output->ppu8Plane[2] + static_cast<ptrdiff_t>(oy) * output->pi32Pitch[2]);
    }
}

// The engine's thumbnail kernel: packed 4:2:2 (Y0 U Y1 V) reduced by 8.
//
// Each output pixel reads nine 4-byte words: those starting at pixels bx, bx + 2 and bx + 6 of
// rows by, by + 3 and by + 6. The first eight words are averaged lane by lane with truncation,
// the ninth (row 6, pixel 6) is added as eight times that mean plus itself, and the result is
// divided by 9 with the multiply-shift. Here the four lanes of a word are summed together:
// masking the even bytes (Y0, Y1) and the odd bytes (U, V) into 16-bit lanes leaves room for
// the sums (at most 8 x 255), so one add serves two channels and no lane carries into another.
#include <bit>
#include <cstring>

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

// Writes one row of output from the three source rows by, by + 3 and by + 6, each starting at
// the rectangle's first block.
void DecimatePackedRow8(const uint8_t *row0, const uint8_t *row3, const uint8_t *row6,
                        int32_t width, uint8_t *outY, uint8_t *outU, uint8_t *outV) {
    for (int32_t ox = 0; ox < width; ++ox) {
        const ptrdiff_t b = static_cast<ptrdiff_t>(ox) * 16;  // 8 pixels of 2 bytes per block
        const uint32_t w[8] = {LoadWord(row0 + b), LoadWord(row0 + b + 4),
                               LoadWord(row0 + b + 12), LoadWord(row3 + b),
                               LoadWord(row3 + b + 4), LoadWord(row3 + b + 12),
                               LoadWord(row6 + b), LoadWord(row6 + b + 4)};
        const uint32_t ninth = LoadWord(row6 + b + 12);
        uint32_t even = 0;
        uint32_t odd = 0;
        for (uint32_t word : w) {
            even += EvenLanes(word);
            odd += OddLanes(word);
        }
        // Truncated means per lane, then 8 x mean + ninth tap per lane (at most 2295).
        even = (((even >> 3) & kEvenBytes) << 3) + EvenLanes(ninth);
        odd = (((odd >> 3) & kEvenBytes) << 3) + OddLanes(ninth);
        outY[ox] = static_cast<uint8_t>(NinthByMultiply(even & 0xFFFFu));
        outU[ox] = static_cast<uint8_t>(NinthByMultiply(odd & 0xFFFFu));
        outV[ox] = static_cast<uint8_t>(NinthByMultiply(odd >> 16));
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
        DecimatePackedRow8(row0, row0 + 3 * pitch, row0 + 6 * pitch, ow,
                           output->ppu8Plane[0] + static_cast<ptrdiff_t>(oy) * output->pi32Pitch[0],
                           output->ppu8Plane[1] + static_cast<ptrdiff_t>(oy) * output->pi32Pitch[1],
                           output->ppu8Plane[2] + static_cast<ptrdiff_t>(oy) * output->pi32Pitch[2]);
    }
}

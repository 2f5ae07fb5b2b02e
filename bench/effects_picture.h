// The 12 MP test picture the effect benchmarks share (4032 x 3024, 24-bit B,G,R rows padded to
// four bytes), made once so every effect is timed on the same colours.
#pragma once

#include <cstdint>
#include <vector>

namespace effects_bench {

constexpr int32_t kWidth = 4032;
constexpr int32_t kHeight = 3024;
constexpr int32_t kLineBytes = (24 * kWidth + 31) / 32 * 4;

// Smooth colour ramps with some noise: few grey pixels, every look cell in use.
inline const std::vector<uint8_t> &SourcePicture() {
    static const std::vector<uint8_t> picture = [] {
        std::vector<uint8_t> bytes(static_cast<size_t>(kLineBytes) * kHeight);
        uint32_t state = 2463534242u;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                uint8_t *p = bytes.data() + static_cast<size_t>(y) * kLineBytes + 3 * x;
                p[0] = static_cast<uint8_t>(x * 255 / kWidth + (state & 15));
                p[1] = static_cast<uint8_t>(y * 255 / kHeight + ((state >> 4) & 15));
                p[2] = static_cast<uint8_t>((x + y) * 255 / (kWidth + kHeight) + ((state >> 8) & 31));
            }
        return bytes;
    }();
    return picture;
}

}  // namespace effects_bench

// Pictures for the art effect tests: 24-bit B,G,R rows with optional row tails.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

struct LomoPicture {
    int32_t width;
    int32_t height;
    int32_t lineBytes;
    std::vector<uint8_t> bytes;  // height * lineBytes, tails included

    uint8_t *data() { return bytes.data(); }
    uint8_t *pixel(int32_t x, int32_t y) { return bytes.data() + y * lineBytes + 3 * x; }
    const uint8_t *pixel(int32_t x, int32_t y) const { return bytes.data() + y * lineBytes + 3 * x; }
};

// Random bytes everywhere, tails included, so that a write into a tail shows.
inline LomoPicture RandomLomoPicture(int32_t width, int32_t height, int32_t lineBytes,
                                     uint32_t seed) {
    LomoPicture p{width, height, lineBytes,
                  std::vector<uint8_t>(static_cast<size_t>(height) * lineBytes)};
    std::mt19937 rng(seed);
    for (auto &b : p.bytes) b = static_cast<uint8_t>(rng());
    return p;
}

// Every pixel set to one colour (B, G, R); tails hold 0xA5.
inline LomoPicture FlatLomoPicture(int32_t width, int32_t height, uint8_t b, uint8_t g,
                                   uint8_t r) {
    LomoPicture p{width, height, 3 * width + 2,
                  std::vector<uint8_t>(static_cast<size_t>(height) * (3 * width + 2), 0xA5)};
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            p.pixel(x, y)[0] = b;
            p.pixel(x, y)[1] = g;
            p.pixel(x, y)[2] = r;
        }
    return p;
}

// The luma of the greyscale style and of the tint.
inline int32_t LomoLuma(const uint8_t *bgr) {
    return (306 * bgr[2] + 601 * bgr[1] + 117 * bgr[0]) >> 10;
}

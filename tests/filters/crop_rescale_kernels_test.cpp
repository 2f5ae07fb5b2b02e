// The SSE2 packed 4:2:2 rescale row against its plain reference, bit for bit: random rows,
// every row fraction, column tables of upscaling crops and random ones (repeated columns,
// steps back, the last column clamped), widths with and without a tail.
#include "filters/crop_rescale_kernels.h"

#include "filters/crop_rescale.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(RescaleYuyvRowKernels, Sse2MatchesThePlainKernel) {
    std::mt19937 rng(20);
    std::uniform_int_distribution<int> byte(0, 255), fraction(0, 16);
    for (const int width : {2, 6, 8, 10, 16, 22, 64, 250})
        for (const bool upscale : {true, false}) {
            const int sourceWidth = width + 6;
            std::vector<int32_t> pairs(2 * width), fractions(width);
            if (upscale) {
                BuildRescalePositions(width, 3, sourceWidth - 2, pairs.data(), fractions.data());
            } else {
                std::uniform_int_distribution<int> column(0, sourceWidth - 1);
                for (int x = 0; x < width; ++x) {
                    pairs[x] = column(rng);
                    pairs[width + x] = x % 5 == 0 ? pairs[x] : column(rng);
                    fractions[x] = fraction(rng);
                }
            }
            std::vector<uint8_t> s0(2 * sourceWidth + 4), s1(s0.size());
            for (auto &v : s0) v = static_cast<uint8_t>(byte(rng));
            for (auto &v : s1) v = static_cast<uint8_t>(byte(rng));
            s0[0] = s1[0] = 255;
            for (int fy = 0; fy <= 16; ++fy) {
                std::vector<uint8_t> plain(2 * width + 8, 0xA5), fast = plain;
                RescaleYuyvRow_C(s0.data(), s1.data(), fy, pairs.data(), fractions.data(), width, plain.data());
                RescaleYuyvRow_SSE2(s0.data(), s1.data(), fy, pairs.data(), fractions.data(), width, fast.data());
                ASSERT_EQ(plain, fast) << "width " << width << " upscale " << upscale << " fy " << fy;
            }
        }
}

TEST(RescaleYuyvRowKernels, PlainKernelBlendsLumaAndKeepsThePairsChroma) {
    // Source pixels 0 and 1 (one group: Y0 U Y1 V), destination pixel 0 at source column 0,
    // pixel 1 halfway between columns 0 and 1, both on the upper row.
    const uint8_t s0[4] = {16, 100, 48, 200}, s1[4] = {0, 0, 0, 0};
    const int32_t pairs[4] = {0, 0, 1, 1}, fractions[2] = {0, 8};
    uint8_t out[4];
    RescaleYuyvRow_C(s0, s1, 0, pairs, fractions, 2, out);
    EXPECT_EQ(out[0], 16);
    EXPECT_EQ(out[1], 100);
    EXPECT_EQ(out[2], 32);
    EXPECT_EQ(out[3], 200);
}

}  // namespace

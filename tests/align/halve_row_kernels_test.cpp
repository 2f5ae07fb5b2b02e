// The SSE2 halving row against its plain reference, bit for bit: random rows (with all-255
// stretches for the largest sums), every output width up to a few steps and start offsets.
#include "align/halve_row_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(HalveRowKernels, Sse2MatchesThePlainKernel) {
    std::mt19937 rng(2);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> top(160), bottom(160);
    for (size_t i = 0; i < top.size(); ++i) {
        top[i] = uint8_t(i < 40 ? 255 : byte(rng));
        bottom[i] = uint8_t(i < 40 ? 255 : byte(rng));
    }
    for (int offset = 0; offset < 4; ++offset)
        for (int width = 0; width <= 70; ++width) {
            std::vector<uint8_t> plain(72, 0xA5), fast = plain;
            HalveRow_C(top.data() + offset, bottom.data() + offset, plain.data(), width);
            HalveRow_SSE2(top.data() + offset, bottom.data() + offset, fast.data(), width);
            ASSERT_EQ(plain, fast) << offset << " " << width;
        }
}

}  // namespace

// The SSE2 luma gather of packed 4:2:2 rows against its plain reference, bit for bit, over
// random rows of every width up to a few steps and every start offset; nothing past the row
// end is written.
#include "core/packed_luma_row.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(PackedLumaRowKernels, Sse2MatchesThePlainKernel) {
    std::mt19937 rng(422);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> row(2 * 80 + 16);
    for (uint8_t &b : row) b = uint8_t(byte(rng));
    for (int offset = 0; offset < 16; ++offset)
        for (int width = 0; width <= 70; ++width) {
            std::vector<uint8_t> plain(80, 0xA5), fast = plain;
            PackedLumaRow_C(row.data() + offset, plain.data() + 1, width);
            PackedLumaRow_SSE2(row.data() + offset, fast.data() + 1, width);
            ASSERT_EQ(plain, fast) << offset << " " << width;
        }
}

}  // namespace

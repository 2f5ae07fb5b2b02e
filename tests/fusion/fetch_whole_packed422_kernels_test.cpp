// The SSE2 whole-pixel group copy against its plain reference, bit for bit: every shift
// parity, starts and ends inside and across the unclamped range, on a row allocated to exactly
// its pixels.
#include "fusion/fetch_whole_packed422_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(CopyShiftedGroupsPacked422Kernels, Sse2MatchesThePlainKernel) {
    std::mt19937 rng(1511);
    std::uniform_int_distribution<int> byte(0, 255);
    for (const int right : {4, 8, 13, 40, 67}) {
        std::vector<uint8_t> row(2 * right);
        for (uint8_t &v : row) v = uint8_t(byte(rng));
        for (int dx = -9; dx <= 9; ++dx)
            for (int x = 0; x < 12; ++x)
                for (const int b : {x, x + 1, x + 4, x + 8, x + 9, right, right + 12}) {
                    std::vector<uint8_t> plain(16 * (right / 4 + 6), 0xA5), fast = plain;
                    const int n = CopyShiftedGroupsPacked422_C(row.data(), dx, right, x, b,
                                                               plain.data());
                    ASSERT_EQ(CopyShiftedGroupsPacked422_SSE2(row.data(), dx, right, x, b,
                                                              fast.data()),
                              n);
                    ASSERT_EQ(plain, fast) << right << " " << dx << " " << x << " " << b;
                }
    }
}

}  // namespace

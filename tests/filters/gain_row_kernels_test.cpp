// The SSE2 gain-row blend against its plain reference, bit for bit: random and extreme gains,
// every phase of both grid sizes, odd widths and row ends.
#include "filters/gain_row_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

TEST(BlendGainRowsKernels, Sse2MatchesThePlainKernel) {
    std::mt19937 rng(1508);
    std::uniform_int_distribution<int> gain(0, 65535), pick(0, 3);
    for (const int shift : {2, 3})
        for (uint32_t k = 0; k <= (1u << shift); ++k)
            for (const int width : {0, 1, 7, 8, 9, 15, 16, 17, 63, 100}) {
                std::vector<uint16_t> cur(width + 8), next(width + 8);
                for (size_t i = 0; i < cur.size(); ++i) {
                    // Extremes a quarter of the time: both ends of the 16-bit range.
                    cur[i] = uint16_t(pick(rng) == 0 ? 65535 * (i & 1) : gain(rng));
                    next[i] = uint16_t(pick(rng) == 0 ? 65535 * (~i & 1) : gain(rng));
                }
                for (const int offset : {0, 1, 3}) {
                    const int n = std::max(width - offset, 0);
                    std::vector<uint16_t> plain(width + 8, 0xA5A5), fast = plain;
                    BlendGainRows_C(plain.data() + offset, cur.data() + offset,
                                    next.data() + offset, n, k, shift);
                    BlendGainRows_SSE2(fast.data() + offset, cur.data() + offset,
                                       next.data() + offset, n, k, shift);
                    ASSERT_EQ(plain, fast) << shift << " " << k << " " << width << " " << offset;
                }
            }
}

}  // namespace

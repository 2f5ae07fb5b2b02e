// The SSE2 and AVX2 packed-luma gathers against their plain reference, bit for bit: random
// rows, both luma offsets, every count up to a few steps and every start alignment, on rows
// that end exactly at the last pixel's pair (the address sanitizer sees any read past it).
#include "align/luma_window_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/kernel_tiers.h"

namespace {

using GatherKernel = void (*)(const uint8_t *, int32_t, uint8_t *, int32_t);

void ExpectMatchesPlain(GatherKernel kernel) {
    std::mt19937 rng(422);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int32_t offset = 0; offset < 2; ++offset)
        for (int start = 0; start < 3; ++start)
            for (int32_t count = 0; count <= 100; ++count) {
                std::vector<uint8_t> row(2 * (start + count));
                for (uint8_t &v : row) v = uint8_t(byte(rng));
                const uint8_t *pairs = row.data() + 2 * start;
                std::vector<uint8_t> plain(count + 1, 0xA5), fast = plain;
                GatherPackedLuma_C(pairs, offset, plain.data(), count);
                kernel(pairs, offset, fast.data(), count);
                ASSERT_EQ(plain, fast) << offset << " " << start << " " << count;
            }
}

TEST(LumaWindowKernels, PlainKernelTakesTheLumaOfEachPair) {
    const uint8_t row[8] = {10, 20, 11, 21, 12, 22, 13, 23};
    uint8_t out[4] = {};
    GatherPackedLuma_C(row, 0, out, 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{10, 11, 12, 13}));
    GatherPackedLuma_C(row, 1, out, 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{20, 21, 22, 23}));
}

TEST(LumaWindowKernels, Sse2MatchesThePlainKernel) { ExpectMatchesPlain(GatherPackedLuma_SSE2); }

TEST(LumaWindowKernels, Avx2MatchesThePlainKernel) {
    if (!ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    ExpectMatchesPlain(GatherPackedLuma_AVX2);
}

}  // namespace

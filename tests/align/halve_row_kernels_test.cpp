// The SSE2 and AVX2 halving rows against their plain reference, bit for bit: random rows (with
// all-255 stretches for the largest sums), every output width up to a few steps and start
// offsets. The AVX2 row runs wherever the processor has it.
#include "align/halve_row_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/kernel_tiers.h"

namespace {

using HalveKernel = void (*)(const uint8_t *, const uint8_t *, uint8_t *, int32_t);

void ExpectMatchesPlain(HalveKernel kernel) {
    std::mt19937 rng(2);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> top(300), bottom(300);
    for (size_t i = 0; i < top.size(); ++i) {
        top[i] = uint8_t(i < 80 ? 255 : byte(rng));
        bottom[i] = uint8_t(i < 80 ? 255 : byte(rng));
    }
    for (int offset = 0; offset < 4; ++offset)
        for (int width = 0; width <= 140; ++width) {
            std::vector<uint8_t> plain(142, 0xA5), fast = plain;
            HalveRow_C(top.data() + offset, bottom.data() + offset, plain.data(), width);
            kernel(top.data() + offset, bottom.data() + offset, fast.data(), width);
            ASSERT_EQ(plain, fast) << offset << " " << width;
        }
}

TEST(HalveRowKernels, Sse2MatchesThePlainKernel) { ExpectMatchesPlain(HalveRow_SSE2); }

TEST(HalveRowKernels, Avx2MatchesThePlainKernel) {
    if (!ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    ExpectMatchesPlain(HalveRow_AVX2);
}

}  // namespace

// The SSE2 and AVX2 map-row kernels against their plain reference, bit for bit: random and extreme node
// values, every vertical weight, start column and node phase, odd widths and rows that reach
// past the last node.
#include "filters/grid_row_kernels.h"

#include "core/kernel_tiers.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

constexpr int16_t kSentinel = -12345;

using MapRowKernel = void (*)(int16_t *, int32_t, int32_t, const int16_t *, const int16_t *,
                             int32_t, int32_t, int32_t);

void ExpectMatchesThePlainKernel(MapRowKernel kernel) {
    std::mt19937 rng(15);
    struct Nodes {
        int16_t lo, hi;
    };
    for (const Nodes range : {Nodes{-300, 300}, Nodes{-32768, 32767}, Nodes{0, 0}}) {
        std::uniform_int_distribution<int> node(range.lo, range.hi);
        for (const int stride : {1, 2, 7, 9, 10, 33, 70}) {
            std::vector<int16_t> upper(stride), lower(stride);
            for (int k = 0; k < stride; ++k) upper[k] = node(rng), lower[k] = node(rng);
            for (int wy = 0; wy < 8; ++wy)
                for (const int origin : {0, 3, 8, 13})
                    for (int x = 0; x < 9; ++x)
                        for (const int end : {x, x + 1, x + 7, x + 8, x + 71, x + 140,
                                              8 * stride + 21}) {
                            std::vector<int16_t> plain(8 * stride + 160, kSentinel);
                            std::vector<int16_t> fast = plain;
                            InterpolateMapRow8_C(plain.data(), x, end, upper.data(), lower.data(),
                                                 stride, wy, origin);
                            kernel(fast.data(), x, end, upper.data(), lower.data(), stride, wy,
                                   origin);
                            ASSERT_EQ(plain, fast) << stride << " " << wy << " " << origin << " "
                                                   << x << " " << end;
                        }
        }
    }
}

TEST(InterpolateMapRow8Kernels, Sse2MatchesThePlainKernel) {
    ExpectMatchesThePlainKernel(InterpolateMapRow8_SSE2);
}

TEST(InterpolateMapRow8Kernels, Avx2MatchesThePlainKernel) {
    if (!ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    ExpectMatchesThePlainKernel(InterpolateMapRow8_AVX2);
}

}  // namespace

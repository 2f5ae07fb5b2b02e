// The SSE2 and AVX2 window-sum kernels of the guided filters against their plain reference,
// bit for bit: random and extreme samples, both signs, every start alignment and odd lengths
// that leave a tail, over sums that already hold large values.
#include "filters/guided_row_kernels.h"

#include "core/fast_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using AccumulateKernel = void (*)(const uint8_t *, const int16_t *, int32_t, int32_t, int64_t *,
                                  int64_t *, int64_t *, int64_t *);

void ExpectAccumulateMatchesThePlainKernel(AccumulateKernel kernel) {
    std::mt19937 rng(16);
    struct Range {
        int lo, hi;
    };
    for (const Range range : {Range{-300, 300}, Range{-32768, 32767}, Range{32767, 32767},
                              Range{-32768, -32768}}) {
        std::uniform_int_distribution<int> sample(range.lo, range.hi), byte(0, 255);
        std::uniform_int_distribution<int64_t> start(-(int64_t{1} << 40), int64_t{1} << 40);
        for (const int offset : {0, 1, 3, 7})
            for (const int length : {0, 1, 3, 4, 7, 8, 9, 15, 16, 17, 63, 533})
                for (const int sign : {1, -1}) {
                    const size_t n = static_cast<size_t>(offset + length + 4);
                    std::vector<uint8_t> guide(n);
                    std::vector<int16_t> input(n);
                    for (size_t i = 0; i < n; ++i) {
                        guide[i] = static_cast<uint8_t>(range.lo == range.hi ? 255 : byte(rng));
                        input[i] = static_cast<int16_t>(sample(rng));
                    }
                    std::vector<int64_t> plain[4];
                    for (auto &sums : plain) {
                        sums.resize(n);
                        for (auto &v : sums) v = start(rng);
                    }
                    std::vector<int64_t> fast[4] = {plain[0], plain[1], plain[2], plain[3]};
                    AccumulateGuidedRow16_C(guide.data() + offset, input.data() + offset, length,
                                            sign, plain[0].data() + offset,
                                            plain[1].data() + offset, plain[2].data() + offset,
                                            plain[3].data() + offset);
                    kernel(guide.data() + offset, input.data() + offset, length, sign,
                           fast[0].data() + offset, fast[1].data() + offset,
                           fast[2].data() + offset, fast[3].data() + offset);
                    for (int k = 0; k < 4; ++k)
                        ASSERT_EQ(plain[k], fast[k])
                            << "sum " << k << " offset " << offset << " length " << length
                            << " sign " << sign << " range " << range.lo;
                }
    }
}

TEST(AccumulateGuidedRow16Kernels, Sse2MatchesThePlainKernel) {
    ExpectAccumulateMatchesThePlainKernel(AccumulateGuidedRow16_SSE2);
}

TEST(AccumulateGuidedRow16Kernels, Avx2MatchesThePlainKernel) {
    if (!ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    ExpectAccumulateMatchesThePlainKernel(AccumulateGuidedRow16_AVX2);
}

TEST(AccumulateGuidedRow16Kernels, PlainKernelAddsAndTakesTheProducts) {
    const uint8_t guide[3] = {0, 200, 255};
    const int16_t input[3] = {-32768, 7, 32767};
    int64_t sII[3] = {}, sIp[3] = {}, sI[3] = {}, sP[3] = {};
    AccumulateGuidedRow16_C(guide, input, 3, 1, sII, sIp, sI, sP);
    AccumulateGuidedRow16_C(guide, input, 2, 1, sII, sIp, sI, sP);
    AccumulateGuidedRow16_C(guide, input, 3, -1, sII, sIp, sI, sP);
    EXPECT_EQ(sII[1], 40000);
    EXPECT_EQ(sIp[1], 1400);
    EXPECT_EQ(sI[1], 200);
    EXPECT_EQ(sP[0], -32768);
    EXPECT_EQ(sII[2], 0);
    EXPECT_EQ(sIp[2], 0);
}

}  // namespace

// The SSE2 and AVX2 coefficient-row kernels of the guided filters against their plain
// reference, bit for bit: window sums built from random rows (flat guides, zero, negative,
// largest and mixed inputs), every radius class, regularisations with and without 0, odd
// widths and row ends.
#include "filters/guided_coefficient_kernels.h"

#include "core/kernel_tiers.h"
#include "filters/guided_row_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using CoefficientKernel = void (*)(const GuidedWindowSums &, int32_t, int32_t,
                                   const GuidedDoubleRule &, int32_t *, int32_t *);

struct Samples {
    int guideLo, guideHi, inputLo, inputHi;
};

void ExpectCoefficientsMatchThePlainKernel(CoefficientKernel kernel) {
    std::mt19937 rng(17);
    const Samples kinds[] = {{0, 255, -32768, 32767}, {0, 255, -300, 300}, {90, 90, 0, 510},
                             {0, 255, 0, 0},          {0, 255, 510, 510},  {0, 0, -5, 5},
                             {250, 255, 0, 255},      {0, 255, -128, 127}, {0, 3, -1, 1}};
    for (const Samples kind : kinds)
        for (const int r : {0, 1, 2, 16})
            for (const int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 17, 100})
                for (const double e : {0.0, 4.0, 0.5}) {
                    const int ring = 2 * r + 1, length = width + 2 * r;
                    std::uniform_int_distribution<int> guide(kind.guideLo, kind.guideHi);
                    std::uniform_int_distribution<int> input(kind.inputLo, kind.inputHi);
                    std::vector<int64_t> sums[4];
                    for (auto &s : sums) s.assign(length, 0);
                    for (int row = 0; row < ring; ++row) {
                        std::vector<uint8_t> g(length);
                        std::vector<int16_t> p(length);
                        for (int i = 0; i < length; ++i) {
                            g[i] = static_cast<uint8_t>(guide(rng));
                            p[i] = static_cast<int16_t>(input(rng));
                        }
                        AccumulateGuidedRow16_C(g.data(), p.data(), length, 1, sums[1].data(),
                                                sums[2].data(), sums[0].data(), sums[3].data());
                    }
                    const int32_t area = ring * ring;
                    for (const int largest : {255, 510}) {
                        const GuidedDoubleRule rule{area, 1.0 / area, e, int64_t{largest} * area};
                        const GuidedWindowSums s{sums[0].data(), sums[1].data(), sums[2].data(),
                                                 sums[3].data()};
                        std::vector<int32_t> plainA(width + 4, -7), plainB = plainA;
                        std::vector<int32_t> fastA = plainA, fastB = plainA;
                        GuidedCoefficientRow_C(s, ring, width, rule, plainA.data(), plainB.data());
                        kernel(s, ring, width, rule, fastA.data(), fastB.data());
                        ASSERT_EQ(plainA, fastA) << kind.inputLo << " r " << r << " width " << width << " e " << e;
                        ASSERT_EQ(plainB, fastB) << kind.inputLo << " r " << r << " width " << width << " e " << e;
                    }
                }
}

TEST(GuidedCoefficientRowKernels, Sse2MatchesThePlainKernel) {
    ExpectCoefficientsMatchThePlainKernel(GuidedCoefficientRow_SSE2);
}

TEST(GuidedCoefficientRowKernels, Avx2MatchesThePlainKernel) {
    if (!ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    ExpectCoefficientsMatchThePlainKernel(GuidedCoefficientRow_AVX2);
}

}  // namespace

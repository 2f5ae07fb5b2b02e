// The SSE2 and AVX2 row kernels of the guided filters against their plain references, bit for
// bit: random and extreme samples and coefficients, both signs, every start alignment, radii
// that leave no interior, odd widths and row ends.
#include "filters/guided_row_kernels.h"

#include "core/kernel_tiers.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <vector>

namespace {

template <typename In>
using AccumulateKernel = void (*)(const uint8_t *, const In *, int32_t, int32_t, int64_t *,
                                  int64_t *, int64_t *, int64_t *);

struct Range {
    int lo, hi;
};

template <typename In>
void ExpectAccumulateMatchesThePlainKernel(AccumulateKernel<In> plainKernel, AccumulateKernel<In> kernel,
                                           std::initializer_list<Range> ranges) {
    std::mt19937 rng(16);
    for (const Range range : ranges) {
        std::uniform_int_distribution<int> sample(range.lo, range.hi), byte(0, 255);
        std::uniform_int_distribution<int64_t> start(-(int64_t{1} << 40), int64_t{1} << 40);
        for (const int offset : {0, 1, 3, 7})
            for (const int length : {0, 1, 3, 4, 7, 8, 9, 15, 16, 17, 63, 533})
                for (const int sign : {1, -1}) {
                    const size_t n = static_cast<size_t>(offset + length + 4);
                    std::vector<uint8_t> guide(n);
                    std::vector<In> input(n);
                    for (size_t i = 0; i < n; ++i) {
                        guide[i] = static_cast<uint8_t>(range.lo == range.hi ? 255 : byte(rng));
                        input[i] = static_cast<In>(sample(rng));
                    }
                    std::vector<int64_t> plain[4];
                    for (auto &sums : plain) {
                        sums.resize(n);
                        for (auto &v : sums) v = start(rng);
                    }
                    std::vector<int64_t> fast[4] = {plain[0], plain[1], plain[2], plain[3]};
                    plainKernel(guide.data() + offset, input.data() + offset, length, sign,
                                plain[0].data() + offset, plain[1].data() + offset,
                                plain[2].data() + offset, plain[3].data() + offset);
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

constexpr std::initializer_list<Range> kSixteenBit = {{-300, 300}, {-32768, 32767}, {32767, 32767}, {-32768, -32768}};
constexpr std::initializer_list<Range> kEightBit = {{0, 255}, {255, 255}, {0, 0}};

TEST(AccumulateGuidedRowKernels, Sse2MatchesThePlainKernel) {
    ExpectAccumulateMatchesThePlainKernel<int16_t>(AccumulateGuidedRow16_C, AccumulateGuidedRow16_SSE2, kSixteenBit);
    ExpectAccumulateMatchesThePlainKernel<uint8_t>(AccumulateGuidedRow8_C, AccumulateGuidedRow8_SSE2, kEightBit);
}

TEST(AccumulateGuidedRowKernels, Avx2MatchesThePlainKernel) {
    if (!ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    ExpectAccumulateMatchesThePlainKernel<int16_t>(AccumulateGuidedRow16_C, AccumulateGuidedRow16_AVX2, kSixteenBit);
    ExpectAccumulateMatchesThePlainKernel<uint8_t>(AccumulateGuidedRow8_C, AccumulateGuidedRow8_AVX2, kEightBit);
}

TEST(AccumulateGuidedRowKernels, PlainKernelAddsAndTakesTheProducts) {
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

using AddCoefficientKernel = void (*)(const int32_t *, const int32_t *, int32_t, int32_t, int64_t *,
                                      int64_t *);

void ExpectAddCoefficientsMatchesThePlainKernel(AddCoefficientKernel kernel) {
    std::mt19937 rng(18);
    std::uniform_int_distribution<int32_t> coefficient(-(1 << 19), 1 << 19);
    std::uniform_int_distribution<int64_t> start(-(int64_t{1} << 40), int64_t{1} << 40);
    for (const int offset : {0, 1, 3})
        for (const int width : {0, 1, 3, 4, 5, 8, 11, 500})
            for (const int sign : {1, -1}) {
                const size_t n = static_cast<size_t>(offset + width + 4);
                std::vector<int32_t> a(n), b(n);
                for (size_t i = 0; i < n; ++i) a[i] = coefficient(rng), b[i] = coefficient(rng);
                std::vector<int64_t> plainA(n), plainB(n);
                for (size_t i = 0; i < n; ++i) plainA[i] = start(rng), plainB[i] = start(rng);
                std::vector<int64_t> fastA = plainA, fastB = plainB;
                AddGuidedCoefficientRow_C(a.data() + offset, b.data() + offset, width, sign,
                                          plainA.data() + offset, plainB.data() + offset);
                kernel(a.data() + offset, b.data() + offset, width, sign, fastA.data() + offset,
                       fastB.data() + offset);
                ASSERT_EQ(plainA, fastA) << offset << " " << width << " " << sign;
                ASSERT_EQ(plainB, fastB) << offset << " " << width << " " << sign;
            }
}

template <typename Out>
using OutputKernel = void (*)(const int64_t *, const int64_t *, int32_t, int32_t, int32_t,
                              const uint8_t *, Out *);

// Vertical sums of 2r + 1 coefficient rows within the given bounds.
template <typename Out>
void ExpectOutputMatchesThePlainKernel(OutputKernel<Out> plainKernel, OutputKernel<Out> kernel) {
    std::mt19937 rng(19);
    struct Bounds {
        int32_t a, b;
    };
    for (const Bounds bounds : {Bounds{32768, 1 << 19}, Bounds{32768, 65536}, Bounds{300, 900},
                                Bounds{0, 1 << 19}})
        for (const int r : {0, 1, 2, 3, 16})
            for (const int width : {1, 2, 3, 4, 5, 7, 8, 9, 12, 13, 34, 35, 36, 37, 38, 100, 501}) {
                std::uniform_int_distribution<int32_t> a(-bounds.a, bounds.a), b(-bounds.b, bounds.b);
                std::uniform_int_distribution<int> byte(0, 255);
                std::vector<int64_t> sumA(width), sumB(width);
                std::vector<uint8_t> guide(width);
                for (int x = 0; x < width; ++x) {
                    for (int i = 0; i <= 2 * r; ++i) sumA[x] += a(rng), sumB[x] += b(rng);
                    guide[x] = static_cast<uint8_t>(byte(rng));
                }
                if (width > 3) sumA[2] = sumB[2] = 0;  // exact multiples and zero windows
                const int32_t area = (2 * r + 1) * (2 * r + 1);
                std::vector<Out> plain(width + 8, static_cast<Out>(-7)), fast = plain;
                plainKernel(sumA.data(), sumB.data(), width, r, area, guide.data(), plain.data());
                kernel(sumA.data(), sumB.data(), width, r, area, guide.data(), fast.data());
                ASSERT_EQ(plain, fast) << "bounds " << bounds.a << " r " << r << " width " << width;
            }
}

TEST(AddGuidedCoefficientRowKernels, Sse2MatchesThePlainKernel) {
    ExpectAddCoefficientsMatchesThePlainKernel(AddGuidedCoefficientRow_SSE2);
}

TEST(AddGuidedCoefficientRowKernels, Avx2MatchesThePlainKernel) {
    if (!ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    ExpectAddCoefficientsMatchesThePlainKernel(AddGuidedCoefficientRow_AVX2);
}

TEST(GuidedOutputRow16Kernels, Sse2MatchesThePlainKernel) {
    ExpectOutputMatchesThePlainKernel<int16_t>(GuidedOutputRow16_C, GuidedOutputRow16_SSE2);
}

TEST(GuidedOutputRow16Kernels, Avx2MatchesThePlainKernel) {
    if (!ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    ExpectOutputMatchesThePlainKernel<int16_t>(GuidedOutputRow16_C, GuidedOutputRow16_AVX2);
}

TEST(GuidedOutputRow8Kernels, Sse2MatchesThePlainKernel) {
    ExpectOutputMatchesThePlainKernel<uint8_t>(GuidedOutputRow8_C, GuidedOutputRow8_SSE2);
}

TEST(GuidedOutputRow8Kernels, Avx2MatchesThePlainKernel) {
    if (!ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    ExpectOutputMatchesThePlainKernel<uint8_t>(GuidedOutputRow8_C, GuidedOutputRow8_AVX2);
}

TEST(GuidedOutputRow8Kernels, PlainKernelClampsToBytes) {
    // Radius 0: each column alone. mA = 1024 gives I; mB = +-2^16 pushes past either end.
    const int64_t sumA[3] = {1024, 1024, 0};
    const int64_t sumB[3] = {0, 65536, -65536};
    const uint8_t guide[3] = {200, 200, 7};
    uint8_t out[3];
    GuidedOutputRow8_C(sumA, sumB, 3, 0, 1, guide, out);
    EXPECT_EQ(out[0], 200);
    EXPECT_EQ(out[1], 255);
    EXPECT_EQ(out[2], 0);
}

TEST(GuidedOutputRow16Kernels, PlainKernelRepeatsTheEdgeColumnsAndKeepsTheLow16Bits) {
    // Radius 1, area 9: column 0's window is 2 sumA[0] + sumA[1].
    const int64_t sumA[3] = {9 * 1024, 0, 0};
    const int64_t sumB[3] = {0, 0, 9 * (1 << 19)};
    const uint8_t guide[3] = {3, 3, 0};
    int16_t out[3];
    GuidedOutputRow16_C(sumA, sumB, 3, 1, 9, guide, out);
    EXPECT_EQ(out[0], 6);  // (3 x 2048 + 0) >> 10
    EXPECT_EQ(out[1], static_cast<int16_t>((3 * 1024 + 64 * (1 << 19)) >> 10));
    EXPECT_EQ(out[2], static_cast<int16_t>((64 * 2 * (1 << 19)) >> 10));
}

}  // namespace

// The AVX2 normal-mode span kernels of packed 4:2:2 against their plain references, bit for
// bit: random codes across the shadow and highlight ramps, mask values (none, partial, full and
// beyond), shadow and highlight offsets, weights and gains, every span type, every start
// group, odd span lengths, value shifts, a gamma table whose lights pass 16 bits, and the
// carried weights.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "core/kernel_tiers.h"
#include "fusion/span_kernel_support.h"
#include "fusion/span_normal_avx2_packed422.h"

namespace {

using fusion_test::KernelBench;
using fusion_test::kRowLength;

void Randomise(KernelBench &k, std::mt19937 &rng, bool wide) {
    std::uniform_int_distribution<int> weight(wide ? -256 : 0, wide ? 1024 : 256),
        offset(-300, 300), mask(-20, 300), gain(0, 65535), pick(0, 9);
    for (auto *row : {&k.weightReference, &k.weightDark, &k.weightBright})
        for (int16_t &w : *row) w = int16_t(pick(rng) == 0 ? 0 : weight(rng));
    const int16_t masks[] = {0, 1, 256};
    for (int16_t &e : k.mask) e = int16_t(pick(rng) < 4 ? masks[pick(rng) % 3] : mask(rng));
    for (auto &row : k.offsets)
        for (int16_t &v : row) v = int16_t(offset(rng));
    for (uint16_t &g : k.gain) g = uint16_t(pick(rng) < 7 ? 1024 + gain(rng) % 2048 : gain(rng));
}

using Kernel = std::function<void(int32_t, int32_t, const uint8_t *, const uint8_t *,
                                  const SpanTables &, const SpanRows &, RunningWeights *,
                                  uint8_t *)>;

Kernel Bright(bool avx2, int32_t segmentBase) {
    return [=](int32_t x0, int32_t x1, const uint8_t *ref, const uint8_t *warp,
               const SpanTables &t, const SpanRows &r, RunningWeights *w, uint8_t *out) {
        (avx2 ? FuseSpanBrightPacked422_AVX2 : FuseSpanBrightPacked422_C)(x0, x1, ref, warp, t, r,
                                                                          segmentBase, w, out);
    };
}

Kernel RefOnly(bool avx2) {
    return [=](int32_t x0, int32_t x1, const uint8_t *ref, const uint8_t *, const SpanTables &t,
               const SpanRows &r, RunningWeights *, uint8_t *out) {
        (avx2 ? FuseSpanRefOnlyPacked422_AVX2 : FuseSpanRefOnlyPacked422_C)(x0, x1, ref, t, r,
                                                                            out);
    };
}

TEST(SpanNormalAvx2Packed422, MatchesThePlainKernels) {
    if (!ProcessorHasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    struct Case {
        const char *span;
        Kernel plain, avx2;
    };
    const std::vector<Case> cases = {
        {"both", FuseSpanBothPacked422_C, FuseSpanBothPacked422_AVX2},
        {"dark", FuseSpanDarkPacked422_C, FuseSpanDarkPacked422_AVX2},
        {"bright", Bright(false, kFusionBrightSegment), Bright(true, kFusionBrightSegment)},
        {"bright at 0", Bright(false, 0), Bright(true, 0)},
        {"reference", RefOnly(false), RefOnly(true)},
    };
    // Lights beyond 16 bits, which the lanes hand to the plain kernel.
    std::vector<uint16_t> steepGamma(256);
    for (int i = 0; i < 256; ++i) steepGamma[i] = uint16_t(i * 257);
    std::mt19937 rng(1616);
    std::uniform_int_distribution<int> byte(0, 255), carried(0, kFusionWeightOne / 2);
    for (int trial = 0; trial < 24; ++trial) {
        KernelBench k;
        Randomise(k, rng, trial >= 18);
        std::vector<uint8_t> reference(2 * kRowLength), warp(4 * kRowLength);
        for (uint8_t &b : reference) b = uint8_t(byte(rng));
        for (uint8_t &b : warp) b = uint8_t(byte(rng));
        for (const Case &c : cases)
            for (const int shift : {0, 2, 3, 9})
                for (int x0 = 0; x0 < kRowLength; x0 += 4)
                    for (const int groups : {0, 1, 2, 3, 16}) {
                        const int x1 = std::min(kRowLength, x0 + 4 * groups);
                        SpanTables tables = k.Tables(false);
                        tables.valueShift = shift;
                        if (trial % 6 == 5) tables.gammaExpand = steepGamma.data();
                        const int w0 = carried(rng), w1 = carried(rng);
                        RunningWeights plainWeights = {{w0, w1, kFusionWeightOne - w0 - w1}};
                        RunningWeights fastWeights = plainWeights;
                        std::vector<uint8_t> plain(2 * kRowLength + 8, 0xA5), fast = plain;
                        c.plain(x0, x1, reference.data() + 2 * x0, warp.data() + 4 * x0, tables,
                                k.Rows(), &plainWeights, plain.data() + 2 * x0);
                        c.avx2(x0, x1, reference.data() + 2 * x0, warp.data() + 4 * x0, tables,
                               k.Rows(), &fastWeights, fast.data() + 2 * x0);
                        ASSERT_EQ(plain, fast) << c.span << " " << trial << " " << x0 << " " << x1;
                        for (int e = 0; e < 3; ++e)
                            ASSERT_EQ(plainWeights.w[e], fastWeights.w[e]) << c.span << " " << e;
                    }
    }
}

}  // namespace

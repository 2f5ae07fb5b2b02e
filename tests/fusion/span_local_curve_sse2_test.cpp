// The SSE2 and AVX2 local-curve span kernels against their plain references, bit for bit: random
// codes, weights, offsets and gains (with extremes that push every clamp), every span type,
// every start group, odd span lengths, value shifts, and the carried weights.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "fusion/span_kernel_support.h"
#include "core/kernel_tiers.h"
#include "fusion/span_local_curve_avx2_packed422.h"
#include "fusion/span_local_curve_group_packed422.h"
#include "fusion/span_local_curve_sse2_packed422.h"

namespace {

using fusion_test::KernelBench;
using fusion_test::kRowLength;
using fusion_test::RandomiseLocalCurve;

using Kernel = std::function<void(int32_t, int32_t, const uint8_t *, const uint8_t *,
                                  const SpanTables &, const SpanRows &, RunningWeights *,
                                  uint8_t *)>;

Kernel One(MapExposure secondary, bool fast) {
    return [=](int32_t x0, int32_t x1, const uint8_t *ref, const uint8_t *warp,
               const SpanTables &t, const SpanRows &r, RunningWeights *w, uint8_t *out) {
        (fast ? FuseSpanLocalCurveOnePacked422_SSE2 : FuseSpanLocalCurveOnePacked422_C)(
            x0, x1, ref, warp, secondary, t, r, w, out);
    };
}

Kernel OneAvx2(MapExposure secondary) {
    return [=](int32_t x0, int32_t x1, const uint8_t *ref, const uint8_t *warp,
               const SpanTables &t, const SpanRows &r, RunningWeights *w, uint8_t *out) {
        FuseSpanLocalCurveOnePacked422_AVX2(x0, x1, ref, warp, secondary, t, r, w, out);
    };
}

Kernel RefOnly(bool fast) {
    return [=](int32_t x0, int32_t x1, const uint8_t *ref, const uint8_t *, const SpanTables &t,
               const SpanRows &r, RunningWeights *, uint8_t *out) {
        (fast ? FuseSpanLocalCurveRefOnlyPacked422_SSE2 : FuseSpanLocalCurveRefOnlyPacked422_C)(
            x0, x1, ref, t, r, out);
    };
}

TEST(SpanLocalCurveSse2Packed422, MatchesThePlainKernels) {
    struct Case {
        const char *span;
        Kernel plain, fast;
    };
    std::vector<Case> cases = {
        {"both", FuseSpanLocalCurveBothPacked422_C, FuseSpanLocalCurveBothPacked422_SSE2},
        {"dark", One(kMapDark, false), One(kMapDark, true)},
        {"bright", One(kMapBright, false), One(kMapBright, true)},
        {"reference", RefOnly(false), RefOnly(true)},
    };
    // The AVX2 kernels run wherever this processor has AVX2, whatever the environment asks.
    if (ProcessorHasAvx2()) {
        cases.push_back({"dark avx2", One(kMapDark, false), OneAvx2(kMapDark)});
        cases.push_back({"bright avx2", One(kMapBright, false), OneAvx2(kMapBright)});
        cases.push_back({"both avx2", FuseSpanLocalCurveBothPacked422_C,
                         FuseSpanLocalCurveBothPacked422_AVX2});
        cases.push_back({"reference avx2", RefOnly(false),
                         [](int32_t x0, int32_t x1, const uint8_t *ref, const uint8_t *,
                            const SpanTables &t, const SpanRows &r, RunningWeights *,
                            uint8_t *out) {
                             FuseSpanLocalCurveRefOnlyPacked422_AVX2(x0, x1, ref, t, r, out);
                         }});
    }
    std::mt19937 rng(1515);
    std::uniform_int_distribution<int> byte(0, 255), carried(0, kFusionWeightOne / 2);
    for (int trial = 0; trial < 40; ++trial) {
        KernelBench k;
        RandomiseLocalCurve(k, rng, trial >= 30);
        std::vector<uint8_t> reference(2 * kRowLength), warp(4 * kRowLength);
        for (uint8_t &b : reference) b = uint8_t(byte(rng));
        for (uint8_t &b : warp) b = uint8_t(byte(rng));
        for (const Case &c : cases)
            for (const int shift : {0, 2, 3, 9})
                for (int x0 = 0; x0 < kRowLength; x0 += 4)
                    for (const int groups : {0, 1, 2, 3, 16}) {
                        const int x1 = std::min(kRowLength, x0 + 4 * groups);
                        SpanTables tables = k.Tables(true);
                        tables.valueShift = shift;
                        const int w0 = carried(rng), w1 = carried(rng);
                        RunningWeights plainWeights = {{w0, w1, kFusionWeightOne - w0 - w1}};
                        RunningWeights fastWeights = plainWeights;
                        std::vector<uint8_t> plain(2 * kRowLength + 8, 0xA5), fast = plain;
                        c.plain(x0, x1, reference.data() + 2 * x0, warp.data() + 4 * x0, tables,
                                k.Rows(), &plainWeights, plain.data() + 2 * x0);
                        c.fast(x0, x1, reference.data() + 2 * x0, warp.data() + 4 * x0, tables,
                               k.Rows(), &fastWeights, fast.data() + 2 * x0);
                        ASSERT_EQ(plain, fast) << c.span << " " << trial << " " << x0 << " " << x1;
                        for (int e = 0; e < 3; ++e)
                            ASSERT_EQ(plainWeights.w[e], fastWeights.w[e]) << c.span << " " << e;
                    }
    }
}

}  // namespace

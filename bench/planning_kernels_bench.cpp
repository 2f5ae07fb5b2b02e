// The row kernels of planning's guided filters, plain beside SSE2 and AVX2, on one row in
// cache of a 1/8-scale thumbnail of a 12 MP frame (500 columns, radius 16): the window sums,
// the coefficient row, the vertical coefficient sums and the 16-bit output row; and the packed
// 4:2:2 crop-and-rescale row of a 12 MP frame.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "core/kernel_tiers.h"
#include "filters/crop_rescale.h"
#include "filters/crop_rescale_kernels.h"
#include "filters/guided_coefficient_kernels.h"
#include "filters/guided_row_kernels.h"

namespace {

constexpr int kWidth = 500;
constexpr int kRadius = 16;
constexpr int kRing = 2 * kRadius + 1;
constexpr int kLength = kWidth + 2 * kRadius;

enum Variant { kPlain, kSse2, kAvx2 };

bool Skip(benchmark::State &state, Variant v) {
    if (v == kAvx2 && !ProcessorHasAvx2()) {
        state.SkipWithError("no AVX2 on this processor");
        return true;
    }
    return false;
}

// Window rows of a difference map: small signed values, a third of them zero.
struct Rows {
    std::vector<uint8_t> guide = std::vector<uint8_t>(kLength);
    std::vector<int16_t> input = std::vector<int16_t>(kLength);
    std::vector<int64_t> sums[4];
    Rows() {
        std::mt19937 rng(3);
        for (int i = 0; i < kLength; ++i) {
            guide[i] = static_cast<uint8_t>(rng() % 256);
            input[i] = static_cast<int16_t>(i % 3 == 0 ? 0 : static_cast<int>(rng() % 120) - 90);
        }
        for (auto &s : sums) s.assign(kLength, 0);
        for (int row = 0; row < kRing; ++row)
            AccumulateGuidedRow16_C(guide.data(), input.data(), kLength, 1, sums[1].data(),
                                    sums[2].data(), sums[0].data(), sums[3].data());
    }
};

template <Variant V>
void BM_AccumulateGuidedRow16(benchmark::State &state) {
    if (Skip(state, V)) return;
    Rows k;
    constexpr auto kernel = V == kPlain ? AccumulateGuidedRow16_C
                            : V == kSse2 ? AccumulateGuidedRow16_SSE2
                                         : AccumulateGuidedRow16_AVX2;
    int32_t sign = 1;
    for (auto _ : state) {
        kernel(k.guide.data(), k.input.data(), kLength, sign, k.sums[1].data(), k.sums[2].data(),
               k.sums[0].data(), k.sums[3].data());
        sign = -sign;
        benchmark::DoNotOptimize(k.sums[0].data());
    }
    state.SetItemsProcessed(state.iterations() * kLength);
}
BENCHMARK(BM_AccumulateGuidedRow16<kPlain>)->Name("AccumulateGuidedRow16x532/plain");
BENCHMARK(BM_AccumulateGuidedRow16<kSse2>)->Name("AccumulateGuidedRow16x532/sse2");
BENCHMARK(BM_AccumulateGuidedRow16<kAvx2>)->Name("AccumulateGuidedRow16x532/avx2");

template <Variant V>
void BM_GuidedCoefficientRow(benchmark::State &state) {
    if (Skip(state, V)) return;
    Rows k;
    constexpr auto kernel = V == kPlain ? GuidedCoefficientRow_C
                            : V == kSse2 ? GuidedCoefficientRow_SSE2
                                         : GuidedCoefficientRow_AVX2;
    const int32_t area = kRing * kRing;
    const GuidedDoubleRule rule{area, 1.0 / area, 4.0, int64_t{510} * area};
    const GuidedWindowSums sums{k.sums[0].data(), k.sums[1].data(), k.sums[2].data(), k.sums[3].data()};
    std::vector<int32_t> a(kWidth), b(kWidth);
    for (auto _ : state) {
        kernel(sums, kRing, kWidth, rule, a.data(), b.data());
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(b.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth);
}
BENCHMARK(BM_GuidedCoefficientRow<kPlain>)->Name("GuidedCoefficientRow500/plain");
BENCHMARK(BM_GuidedCoefficientRow<kSse2>)->Name("GuidedCoefficientRow500/sse2");
BENCHMARK(BM_GuidedCoefficientRow<kAvx2>)->Name("GuidedCoefficientRow500/avx2");

// A coefficient row as the rule gives it for the rows above, and its vertical sums.
struct CoefficientRows {
    std::vector<int32_t> a = std::vector<int32_t>(kWidth), b = std::vector<int32_t>(kWidth);
    std::vector<int64_t> sumA = std::vector<int64_t>(kWidth), sumB = std::vector<int64_t>(kWidth);
    std::vector<uint8_t> guide = std::vector<uint8_t>(kWidth);
    CoefficientRows() {
        Rows k;
        const int32_t area = kRing * kRing;
        const GuidedDoubleRule rule{area, 1.0 / area, 4.0, int64_t{510} * area};
        GuidedCoefficientRow_C({k.sums[0].data(), k.sums[1].data(), k.sums[2].data(), k.sums[3].data()},
                               kRing, kWidth, rule, a.data(), b.data());
        for (int x = 0; x < kWidth; ++x) {
            sumA[x] = int64_t{a[x]} * kRing;
            sumB[x] = int64_t{b[x]} * kRing;
            guide[x] = k.guide[x + kRadius];
        }
    }
};

template <Variant V>
void BM_AddGuidedCoefficientRow(benchmark::State &state) {
    if (Skip(state, V)) return;
    CoefficientRows k;
    constexpr auto kernel = V == kPlain ? AddGuidedCoefficientRow_C
                            : V == kSse2 ? AddGuidedCoefficientRow_SSE2
                                         : AddGuidedCoefficientRow_AVX2;
    int32_t sign = 1;
    for (auto _ : state) {
        kernel(k.a.data(), k.b.data(), kWidth, sign, k.sumA.data(), k.sumB.data());
        sign = -sign;
        benchmark::DoNotOptimize(k.sumA.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth);
}
BENCHMARK(BM_AddGuidedCoefficientRow<kPlain>)->Name("AddGuidedCoefficientRow500/plain");
BENCHMARK(BM_AddGuidedCoefficientRow<kSse2>)->Name("AddGuidedCoefficientRow500/sse2");
BENCHMARK(BM_AddGuidedCoefficientRow<kAvx2>)->Name("AddGuidedCoefficientRow500/avx2");

template <Variant V>
void BM_GuidedOutputRow16(benchmark::State &state) {
    if (Skip(state, V)) return;
    CoefficientRows k;
    constexpr auto kernel = V == kPlain ? GuidedOutputRow16_C
                            : V == kSse2 ? GuidedOutputRow16_SSE2
                                         : GuidedOutputRow16_AVX2;
    std::vector<int16_t> out(kWidth);
    for (auto _ : state) {
        kernel(k.sumA.data(), k.sumB.data(), kWidth, kRadius, kRing * kRing, k.guide.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth);
}
BENCHMARK(BM_GuidedOutputRow16<kPlain>)->Name("GuidedOutputRow16x500/plain");
BENCHMARK(BM_GuidedOutputRow16<kSse2>)->Name("GuidedOutputRow16x500/sse2");
BENCHMARK(BM_GuidedOutputRow16<kAvx2>)->Name("GuidedOutputRow16x500/avx2");

// A 4000-pixel row of the crop of 16 pixels off each side scaled back to 4000.
template <Variant V>
void BM_RescaleYuyvRow(benchmark::State &state) {
    constexpr int kFrame = 4000;
    std::vector<int32_t> pairs(2 * kFrame), fractions(kFrame);
    BuildRescalePositions(kFrame, 16, kFrame - 16, pairs.data(), fractions.data());
    std::vector<uint8_t> s0(2 * kFrame), s1(2 * kFrame), out(2 * kFrame);
    for (int i = 0; i < 2 * kFrame; ++i) s0[i] = static_cast<uint8_t>(i * 7), s1[i] = static_cast<uint8_t>(i * 13);
    constexpr auto kernel = V == kPlain ? RescaleYuyvRow_C : RescaleYuyvRow_SSE2;
    for (auto _ : state) {
        kernel(s0.data(), s1.data(), 5, pairs.data(), fractions.data(), kFrame, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_RescaleYuyvRow<kPlain>)->Name("RescaleYuyvRow4000/plain");
BENCHMARK(BM_RescaleYuyvRow<kSse2>)->Name("RescaleYuyvRow4000/sse2");

}  // namespace

// The normal-mode span kernels of packed 4:2:2, plain beside AVX2, on one 4096-pixel row in
// cache with the mask set, so that shadow and highlight recovery run where the codes ask.
#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/fusion/span_kernel_support.h"
#include "core/kernel_tiers.h"
#include "fusion/span_normal_avx2_packed422.h"

namespace {

constexpr int kRow = 4096;

struct NormalSpanRow {
    fusion_test::KernelBench tables;
    std::vector<uint8_t> reference = std::vector<uint8_t>(2 * kRow);
    std::vector<uint8_t> warp = std::vector<uint8_t>(4 * kRow);
    std::vector<uint8_t> out = std::vector<uint8_t>(2 * kRow);
    NormalSpanRow() {
        tables.weightReference.assign(kRow, 200);
        tables.weightDark.assign(kRow, 90);
        tables.weightBright.assign(kRow, 60);
        tables.mask.assign(kRow, 200);
        tables.gain.assign(kRow, 1300);
        for (auto &row : tables.offsets) row.assign(kRow, 0);
        for (int i = 0; i < kRow; ++i)
            for (int k = 0; k < 4; ++k) tables.offsets[k][i] = int16_t((i * (k + 3)) % 61 - 30);
        for (int i = 0; i < 2 * kRow; ++i) reference[i] = uint8_t(i * 7);
        for (int i = 0; i < 4 * kRow; ++i) warp[i] = uint8_t(i * 13);
    }
};

enum Span { kBoth, kDark, kBright, kReference };

template <Span S, bool Avx2>
void BM_NormalSpan(benchmark::State &state) {
    if (Avx2 && !ProcessorHasAvx2()) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    NormalSpanRow k;
    const SpanTables tables = k.tables.Tables(false);
    const SpanRows rows = k.tables.Rows();
    const uint8_t *ref = k.reference.data(), *warp = k.warp.data();
    uint8_t *out = k.out.data();
    for (auto _ : state) {
        RunningWeights w = {{0, 0, kFusionWeightOne}};
        if (S == kBoth)
            (Avx2 ? FuseSpanBothPacked422_AVX2 : FuseSpanBothPacked422_C)(0, kRow, ref, warp,
                                                                          tables, rows, &w, out);
        else if (S == kDark)
            (Avx2 ? FuseSpanDarkPacked422_AVX2 : FuseSpanDarkPacked422_C)(0, kRow, ref, warp,
                                                                          tables, rows, &w, out);
        else if (S == kBright)
            (Avx2 ? FuseSpanBrightPacked422_AVX2 : FuseSpanBrightPacked422_C)(
                0, kRow, ref, warp, tables, rows, kFusionBrightSegment, &w, out);
        else
            (Avx2 ? FuseSpanRefOnlyPacked422_AVX2 : FuseSpanRefOnlyPacked422_C)(0, kRow, ref,
                                                                                tables, rows, out);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}

BENCHMARK(BM_NormalSpan<kBoth, false>)->Name("SpanNormalBoth4096/plain");
BENCHMARK(BM_NormalSpan<kBoth, true>)->Name("SpanNormalBoth4096/avx2");
BENCHMARK(BM_NormalSpan<kDark, false>)->Name("SpanNormalDark4096/plain");
BENCHMARK(BM_NormalSpan<kDark, true>)->Name("SpanNormalDark4096/avx2");
BENCHMARK(BM_NormalSpan<kBright, false>)->Name("SpanNormalBright4096/plain");
BENCHMARK(BM_NormalSpan<kBright, true>)->Name("SpanNormalBright4096/avx2");
BENCHMARK(BM_NormalSpan<kReference, false>)->Name("SpanNormalRefOnly4096/plain");
BENCHMARK(BM_NormalSpan<kReference, true>)->Name("SpanNormalRefOnly4096/avx2");

}  // namespace

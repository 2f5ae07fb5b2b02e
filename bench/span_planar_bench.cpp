// The local-curve span kernels of the planar and semi-planar formats, plain beside SSE2 and
// AVX2, on one 4096-pixel row in cache: every layout, the three-exposure and one-secondary
// spans, on an even row (luma and chroma written).
#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/fusion/span_kernel_support.h"
#include "core/kernel_tiers.h"
#include "fusion/span_planar_kernels.h"

namespace {

constexpr int kRow = 4096;

struct PlanarSpanRow {
    fusion_test::KernelBench tables;
    std::vector<uint8_t> y = std::vector<uint8_t>(kRow), chroma = std::vector<uint8_t>(kRow);
    std::vector<uint8_t> warp = std::vector<uint8_t>(4 * kRow);
    std::vector<uint8_t> outY = std::vector<uint8_t>(kRow), outChroma = std::vector<uint8_t>(kRow);
    PlanarSpanRow() {
        tables.weightReference.assign(kRow, 200);
        tables.weightDark.assign(kRow, 90);
        tables.weightBright.assign(kRow, 60);
        tables.gain.assign(kRow, 1300);
        tables.mask.assign(kRow, 200);
        for (auto &row : tables.offsets) row.assign(kRow, 0);
        for (int i = 0; i < kRow; ++i)
            for (int k = 0; k < 4; ++k) tables.offsets[k][i] = int16_t((i * (k + 3)) % 61 - 30);
        for (int k = 0; k < 9; ++k) tables.lines[k].assign(kRow, int16_t(k < 3 ? 250 + k : k - 5));
        for (int i = 0; i < kRow; ++i) y[i] = uint8_t(i * 7), chroma[i] = uint8_t(i * 5);
        for (int i = 0; i < 4 * kRow; ++i) warp[i] = uint8_t(i * 13);
    }
    // Planar 4:2:0 keeps U in the first half of the chroma row and V in the second.
    PlanarRowIn In(ChromaLayout layout) const {
        return {y.data(), chroma.data(),
                layout == ChromaLayout::kPlanar420 ? chroma.data() + kRow / 2 : nullptr};
    }
    PlanarRowOut Out(ChromaLayout layout) {
        return {outY.data(), outChroma.data(),
                layout == ChromaLayout::kPlanar420 ? outChroma.data() + kRow / 2 : nullptr};
    }
};

enum Tier { kPlain, kSse2, kAvx2 };

template <ChromaLayout Layout, PlanarSpanType Type, Tier Kernel>
void BM_PlanarSpan(benchmark::State &state) {
    if (Kernel == kAvx2 && !ProcessorHasAvx2()) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    PlanarSpanRow k;
    const SpanTables tables = k.tables.Tables(true);
    const SpanRows rows = k.tables.Rows();
    const PlanarRowIn in = k.In(Layout);
    const PlanarRowOut out = k.Out(Layout);
    for (auto _ : state) {
        RunningWeights w = {{0, 0, kFusionWeightOne}};
        (Kernel == kAvx2     ? FuseSpanLocalCurvePlanar_AVX2
         : Kernel == kSse2 ? FuseSpanLocalCurvePlanar_SSE2
                             : FuseSpanLocalCurvePlanar_C)(
            Layout, Type, 0, kRow, 0, in, k.warp.data(), tables, rows, &w, out);
        benchmark::DoNotOptimize(k.outY.data());
        benchmark::DoNotOptimize(k.outChroma.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}

#define PLANAR_SPAN_BENCH(layout, type, name)                                                \
    BENCHMARK(BM_PlanarSpan<ChromaLayout::layout, type, kPlain>)->Name(name "4096/plain");   \
    BENCHMARK(BM_PlanarSpan<ChromaLayout::layout, type, kSse2>)->Name(name "4096/sse2"); \
    BENCHMARK(BM_PlanarSpan<ChromaLayout::layout, type, kAvx2>)->Name(name "4096/avx2")

PLANAR_SPAN_BENCH(kPlanar420, kPlanarSpanBoth, "SpanLocalCurveBothI420");
PLANAR_SPAN_BENCH(kPlanar420, kPlanarSpanDark, "SpanLocalCurveOneI420");
PLANAR_SPAN_BENCH(kPlanar420, kPlanarSpanReference, "SpanLocalCurveRefOnlyI420");
PLANAR_SPAN_BENCH(kSemiPlanar420, kPlanarSpanBoth, "SpanLocalCurveBothNV12");
PLANAR_SPAN_BENCH(kSemiPlanar420, kPlanarSpanDark, "SpanLocalCurveOneNV12");
PLANAR_SPAN_BENCH(kSemiPlanar422, kPlanarSpanBoth, "SpanLocalCurveBothNV16");
PLANAR_SPAN_BENCH(kSemiPlanar422, kPlanarSpanDark, "SpanLocalCurveOneNV16");

template <ChromaLayout Layout, PlanarSpanType Type, bool Avx2>
void BM_PlanarNormalSpan(benchmark::State &state) {
    if (Avx2 && !ProcessorHasAvx2()) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    PlanarSpanRow k;
    const SpanTables tables = k.tables.Tables(false);
    const SpanRows rows = k.tables.Rows();
    const PlanarRowIn in = k.In(Layout);
    const PlanarRowOut out = k.Out(Layout);
    for (auto _ : state) {
        RunningWeights w = {{0, 0, kFusionWeightOne}};
        (Avx2 ? FuseSpanNormalPlanar_AVX2 : FuseSpanNormalPlanar_C)(
            Layout, Type, 0, kRow, in, k.warp.data(), tables, nullptr, rows,
            kFusionBrightSegment, &w, out);
        benchmark::DoNotOptimize(k.outY.data());
        benchmark::DoNotOptimize(k.outChroma.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}

#define PLANAR_NORMAL_BENCH(layout, type, name)                                                 \
    BENCHMARK(BM_PlanarNormalSpan<ChromaLayout::layout, type, false>)->Name(name "4096/plain"); \
    BENCHMARK(BM_PlanarNormalSpan<ChromaLayout::layout, type, true>)->Name(name "4096/avx2")

PLANAR_NORMAL_BENCH(kPlanar420, kPlanarSpanBoth, "SpanNormalBothI420");
PLANAR_NORMAL_BENCH(kPlanar420, kPlanarSpanDark, "SpanNormalDarkI420");
PLANAR_NORMAL_BENCH(kSemiPlanar420, kPlanarSpanBoth, "SpanNormalBothNV12");
PLANAR_NORMAL_BENCH(kSemiPlanar422, kPlanarSpanBoth, "SpanNormalBothNV16");

}  // namespace

// Each optimised row kernel beside its plain reference on one 4096-pixel row in cache: the
// local-curve span kernels of packed 4:2:2 (SSE2 and AVX2), the 8-pixel map row (SSE2 and
// AVX2), the luma gather, the sub-pixel and whole-pixel fetches, the halving row and the
// gradient codes of the aligner's pyramid, and the gain-row blend.
#include <benchmark/benchmark.h>

#include <numeric>
#include <vector>

#include "../tests/fusion/span_kernel_support.h"
#include "align/gradient_code_kernels.h"
#include "align/halve_row_kernels.h"
#include "core/kernel_tiers.h"
#include "filters/gain_row_kernels.h"
#include "filters/grid_row_kernels.h"
#include "fusion/fetch_packed422_kernels.h"
#include "core/packed_luma_row.h"
#include "fusion/fetch_whole_packed422_kernels.h"
#include "fusion/span_local_curve_avx2_packed422.h"
#include "fusion/span_local_curve_group_packed422.h"
#include "fusion/span_local_curve_sse2_packed422.h"

namespace {

constexpr int kRow = 4096;

struct SpanRow {
    fusion_test::KernelBench tables;
    std::vector<uint8_t> reference = std::vector<uint8_t>(2 * kRow);
    std::vector<uint8_t> warp = std::vector<uint8_t>(4 * kRow);
    std::vector<uint8_t> out = std::vector<uint8_t>(2 * kRow);
    SpanRow() {
        tables.weightReference.assign(kRow, 200);
        tables.weightDark.assign(kRow, 90);
        tables.weightBright.assign(kRow, 60);
        tables.mask.assign(kRow, 255);
        tables.gain.assign(kRow, 1300);
        for (int k = 0; k < 9; ++k) tables.lines[k].assign(kRow, int16_t(k < 3 ? 250 + k : k - 5));
        for (int i = 0; i < 2 * kRow; ++i) reference[i] = uint8_t(i * 7);
        for (int i = 0; i < 4 * kRow; ++i) warp[i] = uint8_t(i * 13);
    }
};

template <bool Sse2>
void BM_SpanLocalCurveOne(benchmark::State &state) {
    SpanRow k;
    const SpanTables tables = k.tables.Tables(true);
    const SpanRows rows = k.tables.Rows();
    for (auto _ : state) {
        RunningWeights w = {{0, kFusionWeightOne, 0}};
        (Sse2 ? FuseSpanLocalCurveOnePacked422_SSE2 : FuseSpanLocalCurveOnePacked422_C)(
            0, kRow, k.reference.data(), k.warp.data(), kMapDark, tables, rows, &w, k.out.data());
        benchmark::DoNotOptimize(k.out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_SpanLocalCurveOne<false>)->Name("SpanLocalCurveOne4096/plain");
BENCHMARK(BM_SpanLocalCurveOne<true>)->Name("SpanLocalCurveOne4096/sse2");

template <bool Sse2>
void BM_SpanLocalCurveBoth(benchmark::State &state) {
    SpanRow k;
    const SpanTables tables = k.tables.Tables(true);
    const SpanRows rows = k.tables.Rows();
    for (auto _ : state) {
        RunningWeights w = {{0, 0, kFusionWeightOne}};
        (Sse2 ? FuseSpanLocalCurveBothPacked422_SSE2 : FuseSpanLocalCurveBothPacked422_C)(
            0, kRow, k.reference.data(), k.warp.data(), tables, rows, &w, k.out.data());
        benchmark::DoNotOptimize(k.out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_SpanLocalCurveBoth<false>)->Name("SpanLocalCurveBoth4096/plain");
BENCHMARK(BM_SpanLocalCurveBoth<true>)->Name("SpanLocalCurveBoth4096/sse2");

template <bool Sse2>
void BM_SpanLocalCurveRefOnly(benchmark::State &state) {
    SpanRow k;
    const SpanTables tables = k.tables.Tables(true);
    const SpanRows rows = k.tables.Rows();
    for (auto _ : state) {
        (Sse2 ? FuseSpanLocalCurveRefOnlyPacked422_SSE2 : FuseSpanLocalCurveRefOnlyPacked422_C)(
            0, kRow, k.reference.data(), tables, rows, k.out.data());
        benchmark::DoNotOptimize(k.out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_SpanLocalCurveRefOnly<false>)->Name("SpanLocalCurveRefOnly4096/plain");
BENCHMARK(BM_SpanLocalCurveRefOnly<true>)->Name("SpanLocalCurveRefOnly4096/sse2");

template <bool Sse2>
void BM_MapRow8(benchmark::State &state) {
    std::vector<int16_t> upper(kRow / 8 + 1), lower(kRow / 8 + 1), out(kRow);
    std::iota(upper.begin(), upper.end(), int16_t(-100));
    std::iota(lower.begin(), lower.end(), int16_t(40));
    for (auto _ : state) {
        (Sse2 ? InterpolateMapRow8_SSE2 : InterpolateMapRow8_C)(
            out.data(), 0, kRow, upper.data(), lower.data(), int32_t(upper.size()), 3, 0);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_MapRow8<false>)->Name("MapRow8x4096/plain");
BENCHMARK(BM_MapRow8<true>)->Name("MapRow8x4096/sse2");

template <bool Sse2>
void BM_PackedLumaRow(benchmark::State &state) {
    std::vector<uint8_t> in(2 * kRow), out(kRow);
    std::iota(in.begin(), in.end(), uint8_t(0));
    for (auto _ : state) {
        (Sse2 ? PackedLumaRow_SSE2 : PackedLumaRow_C)(in.data(), out.data(), kRow);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_PackedLumaRow<false>)->Name("PackedLumaRow4096/plain");
BENCHMARK(BM_PackedLumaRow<true>)->Name("PackedLumaRow4096/sse2");

template <bool Sse2>
void BM_FetchSubpelRow(benchmark::State &state) {
    constexpr int kRows = 8;
    std::vector<uint8_t> source(2 * kRow * kRows), warp(4 * kRow);
    std::iota(source.begin(), source.end(), uint8_t(0));
    for (auto _ : state) {
        (Sse2 ? FetchSubpelRowPacked422_SSE2 : FetchSubpelRowPacked422_C)(
            12, kRow, kRows, (3 << 16) + 5000, -(1 << 15), 12, -8, 0, 4, kRow, 2 * kRow,
            source.data(), warp.data());
        benchmark::DoNotOptimize(warp.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_FetchSubpelRow<false>)->Name("FetchSubpelRow4096/plain");
BENCHMARK(BM_FetchSubpelRow<true>)->Name("FetchSubpelRow4096/sse2");

template <bool Sse2>
void BM_HalveRow(benchmark::State &state) {
    std::vector<uint8_t> top(2 * kRow), bottom(2 * kRow), out(kRow);
    std::iota(top.begin(), top.end(), uint8_t(0));
    std::iota(bottom.begin(), bottom.end(), uint8_t(77));
    for (auto _ : state) {
        (Sse2 ? HalveRow_SSE2 : HalveRow_C)(top.data(), bottom.data(), out.data(), kRow);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_HalveRow<false>)->Name("HalveRow4096/plain");
BENCHMARK(BM_HalveRow<true>)->Name("HalveRow4096/sse2");

// The AVX2 kernels, where this processor has AVX2.
bool SkipWithoutAvx2(benchmark::State &state) {
    if (ProcessorHasAvx2()) return false;
    state.SkipWithError("no AVX2 on this processor");
    return true;
}

void BM_SpanLocalCurveOneAvx2(benchmark::State &state) {
    if (SkipWithoutAvx2(state)) return;
    SpanRow k;
    const SpanTables tables = k.tables.Tables(true);
    const SpanRows rows = k.tables.Rows();
    for (auto _ : state) {
        RunningWeights w = {{0, kFusionWeightOne, 0}};
        FuseSpanLocalCurveOnePacked422_AVX2(0, kRow, k.reference.data(), k.warp.data(), kMapDark,
                                            tables, rows, &w, k.out.data());
        benchmark::DoNotOptimize(k.out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_SpanLocalCurveOneAvx2)->Name("SpanLocalCurveOne4096/avx2");

void BM_SpanLocalCurveBothAvx2(benchmark::State &state) {
    if (SkipWithoutAvx2(state)) return;
    SpanRow k;
    const SpanTables tables = k.tables.Tables(true);
    const SpanRows rows = k.tables.Rows();
    for (auto _ : state) {
        RunningWeights w = {{0, 0, kFusionWeightOne}};
        FuseSpanLocalCurveBothPacked422_AVX2(0, kRow, k.reference.data(), k.warp.data(), tables,
                                             rows, &w, k.out.data());
        benchmark::DoNotOptimize(k.out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_SpanLocalCurveBothAvx2)->Name("SpanLocalCurveBoth4096/avx2");

void BM_SpanLocalCurveRefOnlyAvx2(benchmark::State &state) {
    if (SkipWithoutAvx2(state)) return;
    SpanRow k;
    const SpanTables tables = k.tables.Tables(true);
    const SpanRows rows = k.tables.Rows();
    for (auto _ : state) {
        FuseSpanLocalCurveRefOnlyPacked422_AVX2(0, kRow, k.reference.data(), tables, rows,
                                                k.out.data());
        benchmark::DoNotOptimize(k.out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_SpanLocalCurveRefOnlyAvx2)->Name("SpanLocalCurveRefOnly4096/avx2");

void BM_MapRow8Avx2(benchmark::State &state) {
    if (SkipWithoutAvx2(state)) return;
    std::vector<int16_t> upper(kRow / 8 + 1), lower(kRow / 8 + 1), out(kRow);
    std::iota(upper.begin(), upper.end(), int16_t(-100));
    std::iota(lower.begin(), lower.end(), int16_t(40));
    for (auto _ : state) {
        InterpolateMapRow8_AVX2(out.data(), 0, kRow, upper.data(), lower.data(),
                                int32_t(upper.size()), 3, 0);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_MapRow8Avx2)->Name("MapRow8x4096/avx2");

template <bool Sse2>
void BM_BlendGainRows(benchmark::State &state) {
    // The three rows of a worker's buffer, as the band pass lays them out.
    std::vector<uint16_t> rows(3 * kRow);
    uint16_t *out = rows.data(), *next = out + kRow, *cur = next + kRow;
    std::iota(cur, cur + kRow, uint16_t(900));
    std::iota(next, next + kRow, uint16_t(1400));
    for (auto _ : state) {
        (Sse2 ? BlendGainRows_SSE2 : BlendGainRows_C)(out, cur, next, kRow, 5, 3);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_BlendGainRows<false>)->Name("BlendGainRows4096/plain");
BENCHMARK(BM_BlendGainRows<true>)->Name("BlendGainRows4096/sse2");

template <bool Sse2>
void BM_GradientCodeRow(benchmark::State &state) {
    const int step = static_cast<int>(state.range(0));
    const int64_t pitch = int64_t{step} * (kRow + 2);
    std::vector<uint8_t> level(3 * pitch), out(kRow);
    for (size_t i = 0; i < level.size(); ++i) level[i] = uint8_t(i * 29 + (i >> 7));
    for (auto _ : state) {
        (Sse2 ? GradientCodeRow_SSE2 : GradientCodeRow_C)(level.data() + pitch + step, pitch, step,
                                                          kRow, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_GradientCodeRow<false>)->Name("GradientCodeRow4096/plain")->Arg(1)->Arg(4);
BENCHMARK(BM_GradientCodeRow<true>)->Name("GradientCodeRow4096/sse2")->Arg(1)->Arg(4);

template <bool Sse2>
void BM_CopyShiftedGroups(benchmark::State &state) {
    const int dx = static_cast<int>(state.range(0));
    std::vector<uint8_t> row(2 * kRow + 64), quads(4 * kRow);
    for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 11);
    for (auto _ : state) {
        (Sse2 ? CopyShiftedGroupsPacked422_SSE2 : CopyShiftedGroupsPacked422_C)(
            row.data(), dx, kRow, 16, kRow - 16, quads.data());
        benchmark::DoNotOptimize(quads.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_CopyShiftedGroups<false>)->Name("CopyShiftedGroups4096/plain")->Arg(4)->Arg(3);
BENCHMARK(BM_CopyShiftedGroups<true>)->Name("CopyShiftedGroups4096/sse2")->Arg(4)->Arg(3);

}  // namespace

// The registration's row kernels at the sizes the block refinement gives them, each beside its
// plain reference: the halving row (128 outputs of a 256-sample window row), the packed luma
// gather (one 256-pixel window row), the bit counts (a whole 128 x 128 code map, and the
// 14-byte runs of a 16-sample tile), the gradient codes of one 16 x 16 tile (14 x 14 codes),
// row by row and as a block, and the feature tracker's gradient row on a 500-sample thumbnail.
#include <benchmark/benchmark.h>

#include <vector>

#include "align/bit_count_kernels.h"
#include "align/gradient_code_kernels.h"
#include "align/halve_row_kernels.h"
#include "align/luma_window_kernels.h"
#include "align/tracker_gradient_kernels.h"
#include "core/kernel_tiers.h"
#include "core/packed_luma_row.h"

namespace {

std::vector<uint8_t> Bytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t((i * 2654435761u + seed) >> 13);
    return v;
}

bool SkipWithoutAvx2(benchmark::State &state) {
    if (ProcessorHasAvx2()) return false;
    state.SkipWithError("no AVX2 on this processor");
    return true;
}

template <void (*Kernel)(const uint8_t *, const uint8_t *, uint8_t *, int32_t), bool kAvx2>
void BM_HalveRow(benchmark::State &state) {
    if (kAvx2 && SkipWithoutAvx2(state)) return;
    const int32_t width = static_cast<int32_t>(state.range(0));
    const std::vector<uint8_t> top = Bytes(2 * width, 1), bottom = Bytes(2 * width, 2);
    std::vector<uint8_t> out(width);
    for (auto _ : state) {
        Kernel(top.data(), bottom.data(), out.data(), width);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * width);
}
BENCHMARK(BM_HalveRow<HalveRow_C, false>)->Name("HalveRow/plain")->Arg(128)->Arg(2000);
BENCHMARK(BM_HalveRow<HalveRow_SSE2, false>)->Name("HalveRow/sse2")->Arg(128)->Arg(2000);
BENCHMARK(BM_HalveRow<HalveRow_AVX2, true>)->Name("HalveRow/avx2")->Arg(128)->Arg(2000);

template <void (*Kernel)(const uint8_t *, int32_t, uint8_t *, int32_t), bool kAvx2>
void BM_GatherPackedLuma(benchmark::State &state) {
    if (kAvx2 && SkipWithoutAvx2(state)) return;
    constexpr int32_t kWidth = 256;
    const std::vector<uint8_t> row = Bytes(2 * kWidth, 3);
    std::vector<uint8_t> out(kWidth);
    for (auto _ : state) {
        Kernel(row.data(), static_cast<int32_t>(state.range(0)), out.data(), kWidth);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth);
}
BENCHMARK(BM_GatherPackedLuma<GatherPackedLuma_C, false>)
    ->Name("GatherPackedLuma256/plain")
    ->Arg(0)
    ->Arg(1);
BENCHMARK(BM_GatherPackedLuma<GatherPackedLuma_SSE2, false>)
    ->Name("GatherPackedLuma256/sse2")
    ->Arg(0)
    ->Arg(1);
BENCHMARK(BM_GatherPackedLuma<GatherPackedLuma_AVX2, true>)
    ->Name("GatherPackedLuma256/avx2")
    ->Arg(0)
    ->Arg(1);

// The shared packed-luma row the window used to read with, for comparison (luma first only).
void BM_PackedLumaRowShared(benchmark::State &state) {
    constexpr int32_t kWidth = 256;
    const std::vector<uint8_t> row = Bytes(2 * kWidth, 3);
    std::vector<uint8_t> out(kWidth);
    for (auto _ : state) {
        PackedLumaRow_SSE2(row.data(), out.data(), kWidth);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth);
}
BENCHMARK(BM_PackedLumaRowShared)->Name("GatherPackedLuma256/shared_sse2");

template <int64_t (*Kernel)(const uint8_t *, int64_t), bool kPopcnt>
void BM_CountBits(benchmark::State &state) {
    if (kPopcnt && !ProcessorHasPopcnt()) {
        state.SkipWithError("no population count on this processor");
        return;
    }
    const std::vector<uint8_t> map = Bytes(128 * 128, 4);
    for (auto _ : state) benchmark::DoNotOptimize(Kernel(map.data(), int64_t(map.size())));
    state.SetBytesProcessed(state.iterations() * int64_t(map.size()));
}
BENCHMARK(BM_CountBits<CountBits_C, false>)->Name("CountBits16K/plain");
BENCHMARK(BM_CountBits<CountBits_Popcnt, true>)->Name("CountBits16K/popcnt");

// One search step's runs: 14 bytes from each of 56 rows.
template <int64_t (*Kernel)(const uint8_t *, const uint8_t *, int64_t), bool kPopcnt>
void BM_CountXorBits(benchmark::State &state) {
    if (kPopcnt && !ProcessorHasPopcnt()) {
        state.SkipWithError("no population count on this processor");
        return;
    }
    const int64_t run = state.range(0);
    const std::vector<uint8_t> a = Bytes(64 * 64, 5), b = Bytes(64 * 64, 6);
    for (auto _ : state) {
        int64_t count = 0;
        for (int row = 0; row < 56; ++row)
            count += Kernel(a.data() + 64 * row, b.data() + 64 * row + 1, run);
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * 56 * run);
}
BENCHMARK(BM_CountXorBits<CountXorBits_C, false>)
    ->Name("CountXorBits56Runs/plain")
    ->Arg(14)
    ->Arg(62);
BENCHMARK(BM_CountXorBits<CountXorBits_Popcnt, true>)
    ->Name("CountXorBits56Runs/popcnt")
    ->Arg(14)
    ->Arg(62);

// One 16 x 16 tile: 14 rows of 14 codes from a 128-sample level row.
constexpr int64_t kLevelPitch = 128;
constexpr int32_t kTileCodes = 14;

void BM_GradientCodeTileRows(benchmark::State &state) {
    const std::vector<uint8_t> level = Bytes(kLevelPitch * 16, 7);
    std::vector<uint8_t> map(64 * 16);
    const bool fast = state.range(0) != 0;
    for (auto _ : state) {
        for (int32_t r = 0; r < kTileCodes; ++r)
            (fast ? GradientCodeRow_SSE2 : GradientCodeRow_C)(
                level.data() + (r + 1) * kLevelPitch + 1, kLevelPitch, 1, kTileCodes,
                map.data() + (r + 1) * 64 + 1);
        benchmark::DoNotOptimize(map.data());
    }
    state.SetItemsProcessed(state.iterations() * kTileCodes * kTileCodes);
}
BENCHMARK(BM_GradientCodeTileRows)->Name("GradientCodeTile/rows")->ArgName("sse2")->Arg(0)->Arg(1);

void BM_GradientCodeTileBlock(benchmark::State &state) {
    const std::vector<uint8_t> level = Bytes(kLevelPitch * 16, 7);
    std::vector<uint8_t> map(64 * 16);
    const bool fast = state.range(0) != 0;
    for (auto _ : state) {
        (fast ? GradientCodeBlock_SSE2 : GradientCodeBlock_C)(level.data() + kLevelPitch + 1,
                                                              kLevelPitch, 1, kTileCodes,
                                                              kTileCodes, map.data() + 65, 64);
        benchmark::DoNotOptimize(map.data());
    }
    state.SetItemsProcessed(state.iterations() * kTileCodes * kTileCodes);
}
BENCHMARK(BM_GradientCodeTileBlock)
    ->Name("GradientCodeTile/block")
    ->ArgName("sse2")
    ->Arg(0)
    ->Arg(1);

template <void (*Kernel)(const uint8_t *, const uint8_t *, const uint8_t *, int32_t, int8_t *,
                         int8_t *)>
void BM_TrackerGradientRow(benchmark::State &state) {
    constexpr int32_t kWidth = 500;
    const std::vector<uint8_t> rows = Bytes(3 * kWidth, 8);
    std::vector<int8_t> gx(kWidth), gy(kWidth);
    for (auto _ : state) {
        Kernel(rows.data(), rows.data() + kWidth, rows.data() + 2 * kWidth, kWidth, gx.data(),
               gy.data());
        benchmark::DoNotOptimize(gx.data());
        benchmark::DoNotOptimize(gy.data());
    }
    state.SetItemsProcessed(state.iterations() * kWidth);
}
BENCHMARK(BM_TrackerGradientRow<TrackerGradientRow_C>)->Name("TrackerGradientRow500/plain");
BENCHMARK(BM_TrackerGradientRow<TrackerGradientRow_SSE2>)->Name("TrackerGradientRow500/sse2");

}  // namespace

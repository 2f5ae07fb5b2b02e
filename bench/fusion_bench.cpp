// Full-resolution fusion of packed 4:2:2: the band pass over a 12-megapixel frame on four
// threads and with its bands in order on one, the three-exposure local-curve kernel on a
// 4096-pixel row in cache and the two fetches, each beside a plain read of the bytes it
// touches.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <numeric>
#include <vector>

#include "../tests/fusion/band_session_support.h"
#include "../tests/fusion/span_kernel_support.h"
#include "fusion/fetch_packed422.h"
#include "fusion/span_local_curve_packed422.h"

namespace {

constexpr int kFrameWidth = 4000, kFrameHeight = 3000;
constexpr int kRow = 4096;

fusion_test::BandSession &Frame() {
    static std::unique_ptr<fusion_test::BandSession> frame = [] {
        auto b = std::make_unique<fusion_test::BandSession>(kFrameWidth, kFrameHeight,
                                                            fusion_test::MeshMotion{3, -2, 2},
                                                            fusion_test::MeshMotion{-2, 1, 2});
        b->SetLocalCurve(true);
        return b;
    }();
    return *frame;
}

template <bool Threads>
void BM_BandPass12MP(benchmark::State &state) {
    fusion_test::BandSession &b = Frame();
    for (auto _ : state) {
        state.PauseTiming();
        b.RestoreInputs();
        state.ResumeTiming();
        const int result = b.RunPass(Threads ? RunParallelJobs : fusion_test::RunJobsHere<false>);
        if (result != RESULT_OK) state.SkipWithError("band pass failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kFrameWidth} * kFrameHeight);
}
BENCHMARK(BM_BandPass12MP<true>)->Name("BandPass12MP/4threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BandPass12MP<false>)->Name("BandPass12MP/1thread")->Unit(benchmark::kMillisecond)->UseRealTime();

// The bytes the pass must at least touch: the three frames read, the reference written.
void BM_BandPass12MPPlainBytes(benchmark::State &state) {
    fusion_test::BandSession &b = Frame();
    const size_t bytes = b.frame(0).size();
    for (auto _ : state) {
        uint64_t sum = 0;
        for (int e = 0; e < 2; ++e)
            for (size_t i = 0; i < bytes; i += 8) {
                uint64_t v;
                std::memcpy(&v, b.frame(e).data() + i, 8);
                sum += v;
            }
        std::vector<uint8_t> &ref = b.frame(2);
        for (size_t i = 0; i < bytes; ++i) ref[i] = uint8_t(ref[i] ^ 1);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kFrameWidth} * kFrameHeight);
}
BENCHMARK(BM_BandPass12MPPlainBytes)->Name("BandPass12MP/plain-bytes")->Unit(benchmark::kMillisecond);

struct KernelRow {
    fusion_test::KernelBench tables;
    std::vector<uint8_t> reference = std::vector<uint8_t>(2 * kRow), out = std::vector<uint8_t>(2 * kRow);
    std::vector<uint8_t> warp = std::vector<uint8_t>(4 * kRow);
    KernelRow() {
        auto resize = [](auto &v, auto value) { v.assign(kRow, value); };
        resize(tables.weightReference, int16_t(200));
        resize(tables.weightDark, int16_t(90));
        resize(tables.weightBright, int16_t(60));
        resize(tables.mask, int16_t(255));
        resize(tables.gain, uint16_t(1300));
        for (int k = 0; k < 9; ++k) tables.lines[k].assign(kRow, int16_t(k < 3 ? 250 + k : k - 5));
        for (int i = 0; i < 2 * kRow; ++i) reference[i] = uint8_t(i * 7);
        for (int i = 0; i < 4 * kRow; ++i) warp[i] = uint8_t(i * 13);
    }
};

void BM_KernelLocalCurveBoth(benchmark::State &state) {
    KernelRow k;
    const SpanTables tables = k.tables.Tables(true);
    const SpanRows rows = k.tables.Rows();
    for (auto _ : state) {
        RunningWeights w = {{0, 0, kFusionWeightOne}};
        FuseSpanLocalCurveBothPacked422(0, kRow, k.reference.data(), k.warp.data(), tables, rows,
                                        &w, k.out.data());
        benchmark::DoNotOptimize(k.out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_KernelLocalCurveBoth)->Name("KernelLocalCurveBoth4096/reference");

// Reference row, warp row and the rows read per group, then the output row written.
void BM_KernelPlainBytes(benchmark::State &state) {
    KernelRow k;
    for (auto _ : state) {
        uint32_t sum = 0;
        for (int i = 0; i < 2 * kRow; ++i) sum += k.reference[i];
        for (int i = 0; i < 4 * kRow; ++i) sum += k.warp[i];
        for (int i = 0; i < kRow; ++i) sum += k.tables.gain[i];
        for (int x = 0; x < kRow; x += 4)
            for (int line = 0; line < 9; ++line) sum += k.tables.lines[line][x];
        std::memset(k.out.data(), int(sum & 0xff), k.out.size());
        benchmark::DoNotOptimize(k.out.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_KernelPlainBytes)->Name("KernelLocalCurveBoth4096/plain-bytes");

struct FetchRows {
    static constexpr int kRows = 8;
    std::vector<uint8_t> source = std::vector<uint8_t>(2 * kRow * kRows);
    std::vector<uint8_t> warp = std::vector<uint8_t>(4 * kRow);
    FetchRows() { std::iota(source.begin(), source.end(), uint8_t(0)); }
};

void BM_FetchSubpel(benchmark::State &state) {
    FetchRows f;
    for (auto _ : state) {
        FetchSubpelPacked422(nullptr, kRow, FetchRows::kRows, (3 << 16) + 5000, -(1 << 15), 12, -8, 0,
                             4, kRow, 2 * kRow, f.source.data(), f.warp.data());
        benchmark::DoNotOptimize(f.warp.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_FetchSubpel)->Name("Fetch4096/subpel");

void BM_FetchShifted(benchmark::State &state) {
    FetchRows f;
    const ReferenceLuma luma = {f.source.data(), 2, 2 * kRow};
    for (auto _ : state) {
        FetchShiftedPacked422(nullptr, kRow, FetchRows::kRows, 3 << 16, 1 << 16, 0, 0, 0, 4, kRow,
                              2 * kRow, f.source.data(), &luma, f.warp.data());
        benchmark::DoNotOptimize(f.warp.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_FetchShifted)->Name("Fetch4096/whole-pixel");

// Two source rows read, the quads written 16 bytes apart.
void BM_FetchPlainBytes(benchmark::State &state) {
    FetchRows f;
    for (auto _ : state) {
        const uint8_t *top = f.source.data() + 3 * 2 * kRow, *bot = top + 2 * kRow;
        for (int x = 0; x < kRow; x += 4)
            for (int i = 0; i < 8; ++i) f.warp[4 * x + i] = uint8_t(top[2 * x + i] + bot[2 * x + i]);
        benchmark::DoNotOptimize(f.warp.data());
    }
    state.SetItemsProcessed(state.iterations() * kRow);
}
BENCHMARK(BM_FetchPlainBytes)->Name("Fetch4096/plain-bytes");

}  // namespace

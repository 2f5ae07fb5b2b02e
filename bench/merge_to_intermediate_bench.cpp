// The merge into the 16-bit intermediate on a 12 MP packed 4:2:2 bracket (4000 x 3000): the
// whole call with its first halves on a second thread and on one thread, split by stage, the
// memory it needs (run in a 64 MB pool), and each packed 16-bit kernel on a 4096-pixel row
// beside its 8-bit twin and the planar and semi-planar kernels on the same row.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "../tests/alt/intermediate_merge_support.h"
#include "../tests/fusion/span_kernel_support.h"
#include "alt/band_intermediate_packed422.h"
#include "alt/intermediate_prepare.h"
#include "alt/merge_to_intermediate.h"
#include "alt/span_intermediate_packed422.h"
#include "alt/span_intermediate_planar.h"
#include "alt/span_intermediate_planar_plain.h"
#include "alt/tile_weights.h"
#include "core/memory.h"
#include "core/threads.h"
#include "fusion/span_normal_packed422.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;
using alt_merge::IntermediateOutputs;

constexpr int32_t kWidth = 4000, kHeight = 3000;

Bracket &SharedBracket() {
    static SessionHolder tables;
    static Bracket bracket(tables.session->gammaCompressTable, PIXEL_FORMAT_YUYV, kWidth, kHeight,
                           6, -4);
    return bracket;
}

IntermediateOutputs &SharedOutputs() {
    static IntermediateOutputs out(SharedBracket().inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    return out;
}

ThreadHandle NoThread(ThreadRoutine, void *) { return nullptr; }

// Arg 1: first halves on a second thread; 0: everything on the calling thread.
void BM_MergeToIntermediate12MP(benchmark::State &state) {
    Bracket &b = SharedBracket();
    IntermediateOutputs &out = SharedOutputs();
    SessionHolder h;
    h.session->threadStarter = state.range(0) ? nullptr : NoThread;
    for (auto _ : state)
        if (MergeToIntermediate(nullptr, h.session, b.inputs(), 0, 3, out.descs,
                                INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, 0, nullptr, nullptr) != RESULT_OK)
            state.SkipWithError("merge failed");
}
BENCHMARK(BM_MergeToIntermediate12MP)->ArgName("threads2")->Arg(1)->Arg(0)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The whole call in a 64 MB pool: what it allocates beyond the caller's images must fit.
void BM_MergeToIntermediate12MPInPool(benchmark::State &state) {
    Bracket &b = SharedBracket();
    IntermediateOutputs &out = SharedOutputs();
    static std::vector<uint8_t> buffer(size_t(64) << 20);
    for (auto _ : state) {
        MemoryContext pool = InitMemoryPool(buffer.data(), buffer.size());
        const int64_t whole = LargestFreeBlock(pool);
        HdrSession *s = nullptr;
        if (CreateHdrSession(pool, 0, &s) != RESULT_OK) state.SkipWithError("no session");
        const int r = MergeToIntermediate(pool, s, b.inputs(), 0, 3, out.descs,
                                          INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, 0, nullptr, nullptr);
        state.counters["fits"] = r == RESULT_OK ? 1 : 0;
        state.counters["leftMB"] = double(LargestFreeBlock(pool)) / (1 << 20);
        state.counters["poolMB"] = double(whole) / (1 << 20);
        DestroyHdrSession(pool, s);
    }
}
BENCHMARK(BM_MergeToIntermediate12MPInPool)->Unit(benchmark::kMillisecond)->Iterations(1);

// A session planned up to the band pass, for the stage benchmarks.
struct Planned {
    SessionHolder h;
    int result = RESULT_OK;
    Planned() {
        Bracket &b = SharedBracket();
        HdrSession *s = h.session;
        result = PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr);
        if (result == RESULT_OK) result = ComputeTileWeightsTop(nullptr, s, b.inputs(), 3, s->globalShift);
        if (result == RESULT_OK) result = ComputeTileWeightsBottom(nullptr, s, b.inputs(), 3, s->globalShift);
        if (result == RESULT_OK)
            result = RunIntermediateGridStage(nullptr, s, b.inputs(), 0, 3, SharedOutputs().descs,
                                              INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, nullptr, nullptr);
    }
};

void BM_StagePreparationAndAlignment(benchmark::State &state) {
    Bracket &b = SharedBracket();
    SessionHolder h;
    for (auto _ : state) {
        h.session->progressBase = 0;
        if (PrepareIntermediateMerge(nullptr, h.session, b.inputs(), 3, nullptr, nullptr) != RESULT_OK)
            state.SkipWithError("preparation failed");
    }
}
BENCHMARK(BM_StagePreparationAndAlignment)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arg 1: the top half on a second thread beside the bottom half.
void BM_StageTileWeights(benchmark::State &state) {
    Bracket &b = SharedBracket();
    SessionHolder h;
    HdrSession *s = h.session;
    if (PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr) != RESULT_OK)
        state.SkipWithError("preparation failed");
    for (auto _ : state) {
        BandWorkerArgs top = {nullptr, s, b.inputs(), 3, {}, nullptr, RESULT_OK};
        ThreadHandle thread = state.range(0) ? StartThread(TileWeightsTopWorker, &top) : nullptr;
        if (!thread) TileWeightsTopWorker(&top);
        const int bottom = ComputeTileWeightsBottom(nullptr, s, b.inputs(), 3, s->globalShift);
        JoinThread(thread);
        if (top.result != RESULT_OK || bottom != RESULT_OK) state.SkipWithError("tile weights failed");
    }
}
BENCHMARK(BM_StageTileWeights)->ArgName("threads2")->Arg(1)->Arg(0)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// Finalisation, valid rectangle, hand-off and the second band's buffers.
void BM_StageFinalisationAndHandOff(benchmark::State &state) {
    Bracket &b = SharedBracket();
    SessionHolder h;
    HdrSession *s = h.session;
    for (auto _ : state) {
        // The finalisation releases the tile scratch: plan afresh every time.
        state.PauseTiming();
        s->progressBase = 0;
        const bool planned =
            PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr) == RESULT_OK &&
            ComputeTileWeightsTop(nullptr, s, b.inputs(), 3, s->globalShift) == RESULT_OK &&
            ComputeTileWeightsBottom(nullptr, s, b.inputs(), 3, s->globalShift) == RESULT_OK;
        state.ResumeTiming();
        if (!planned) {
            state.SkipWithError("planning failed");
            break;
        }
        if (RunIntermediateGridStage(nullptr, s, b.inputs(), 0, 3, SharedOutputs().descs,
                                     INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, nullptr, nullptr) != RESULT_OK)
            state.SkipWithError("finalisation failed");
    }
}
BENCHMARK(BM_StageFinalisationAndHandOff)->Unit(benchmark::kMillisecond)->UseRealTime();

// The two bands; arg 1: band 0 on a second thread beside band 1.
void BM_StageBandPass(benchmark::State &state) {
    static Planned planned;
    if (planned.result != RESULT_OK) state.SkipWithError("planning failed");
    HdrSession *s = planned.h.session;
    Bracket &b = SharedBracket();
    const RegionRect &rect = s->processRect;
    for (auto _ : state) {
        BandWorkerArgs band0 = {nullptr, s, b.inputs(), 3, {0, 0, s->splitRow, 0}, nullptr, RESULT_OK};
        const RowBand band1 = {1, s->splitRow, rect.height, s->splitRow};
        ThreadHandle thread = state.range(0) ? StartThread(IntermediateBandWorker, &band0) : nullptr;
        if (!thread) IntermediateBandWorker(&band0);
        const int lower = FuseIntermediateBand(band1, s, b.inputs(), 0, 3, 0, 0, 0, nullptr, nullptr);
        JoinThread(thread);
        if (band0.result != RESULT_OK || lower != RESULT_OK) state.SkipWithError("band failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_StageBandPass)->ArgName("threads2")->Arg(1)->Arg(0)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StageFlush(benchmark::State &state) {
    static Planned planned;
    if (planned.result != RESULT_OK) state.SkipWithError("planning failed");
    HdrSession *s = planned.h.session;
    for (auto _ : state)
        if (FlushIntermediateSeams(nullptr, s, SharedBracket().inputs(), 0, 3, 0, 0, 0, nullptr,
                                   nullptr) != RESULT_OK)
            state.SkipWithError("flush failed");
}
BENCHMARK(BM_StageFlush)->Unit(benchmark::kMicrosecond);

// --- Kernels: a 4096-pixel row in cache -------------------------------------------------------

constexpr int kRow = 4096;

struct KernelRow {
    fusion_test::KernelBench k;
    std::vector<uint8_t> reference = std::vector<uint8_t>(2 * kRow);
    std::vector<uint8_t> warp = std::vector<uint8_t>(4 * kRow);
    std::vector<uint8_t> out8 = std::vector<uint8_t>(2 * kRow);
    std::vector<int16_t> out16 = std::vector<int16_t>(2 * kRow);
    KernelRow() {
        std::mt19937 random(5);
        for (auto *row : {&k.weightReference, &k.weightDark, &k.weightBright, &k.mask})
            row->assign(kRow, 0);
        for (auto *row : {&k.weightReference, &k.weightDark, &k.weightBright})
            for (int16_t &v : *row) v = int16_t(random() % 257);
        for (int16_t &v : k.mask) v = int16_t(random() % 257);
        for (auto &row : k.offsets) {
            row.assign(kRow, 0);
            for (int16_t &v : row) v = int16_t(int(random() % 81) - 40);
        }
        k.gain.assign(kRow, 1024);
        for (uint16_t &g : k.gain) g = uint16_t(512 + random() % 2048);
        for (uint8_t &v : reference) v = uint8_t(random());
        for (uint8_t &v : warp) v = uint8_t(random());
    }
};

KernelRow &Row() {
    static KernelRow row;
    return row;
}

// Arg: span type; the 16-bit kernel.
void BM_Kernel16(benchmark::State &state) {
    KernelRow &r = Row();
    const SpanTables t = r.k.Tables(false);
    const SpanRows rows = r.k.Rows();
    for (auto _ : state) {
        RunningWeights w = {{0, 0, kFusionWeightOne}};
        switch (state.range(0)) {
            case SPAN_BOTH: FuseIntermediateSpanBothPacked422(0, kRow, r.reference.data(), r.warp.data(), t, rows, &w, r.out16.data()); break;
            case SPAN_DARK: FuseIntermediateSpanDarkPacked422(0, kRow, r.reference.data(), r.warp.data(), t, rows, &w, r.out16.data()); break;
            case SPAN_BRIGHT: FuseIntermediateSpanBrightPacked422(0, kRow, r.reference.data(), r.warp.data(), t, rows, kFusionBrightSegment, &w, r.out16.data()); break;
            default: FuseIntermediateSpanRefOnlyPacked422(0, kRow, r.reference.data(), t, rows, r.out16.data());
        }
        benchmark::DoNotOptimize(r.out16.data());
    }
}
// Arg: span type; the 8-bit twin.
void BM_Kernel8(benchmark::State &state) {
    KernelRow &r = Row();
    const SpanTables t = r.k.Tables(false);
    const SpanRows rows = r.k.Rows();
    for (auto _ : state) {
        RunningWeights w = {{0, 0, kFusionWeightOne}};
        switch (state.range(0)) {
            case SPAN_BOTH: FuseSpanBothPacked422(0, kRow, r.reference.data(), r.warp.data(), t, rows, &w, r.out8.data()); break;
            case SPAN_DARK: FuseSpanDarkPacked422(0, kRow, r.reference.data(), r.warp.data(), t, rows, &w, r.out8.data()); break;
            case SPAN_BRIGHT: FuseSpanBrightPacked422(0, kRow, r.reference.data(), r.warp.data(), t, rows, kFusionBrightSegment, &w, r.out8.data()); break;
            default: FuseSpanRefOnlyPacked422(0, kRow, r.reference.data(), t, rows, r.out8.data());
        }
        benchmark::DoNotOptimize(r.out8.data());
    }
}
// Arg 0: plain three-exposure, 1: plain one-secondary, 2: plain reference-only.
void BM_KernelPlain16(benchmark::State &state) {
    KernelRow &r = Row();
    const SpanTables t = r.k.Tables(false);
    const SpanRows rows = r.k.Rows();
    for (auto _ : state) {
        RunningWeights w = {{0, 0, kFusionWeightOne}};
        switch (state.range(0)) {
            case 0: FuseIntermediateSpanPlainBothPacked422(0, kRow, r.reference.data(), r.warp.data(), t, rows, &w, r.out16.data()); break;
            case 1: FuseIntermediateSpanPlainOneSecondaryPacked422(0, kRow, r.reference.data(), r.warp.data(), t, rows, r.k.weightDark.data(), 0, &w, r.out16.data()); break;
            default: FuseIntermediateSpanPlainRefOnlyPacked422(0, kRow, r.reference.data(), t, r.out16.data());
        }
        benchmark::DoNotOptimize(r.out16.data());
    }
}
BENCHMARK(BM_Kernel16)->ArgName("span")->DenseRange(0, 3);
BENCHMARK(BM_Kernel8)->ArgName("span")->DenseRange(0, 3);
BENCHMARK(BM_KernelPlain16)->ArgName("plain")->DenseRange(0, 2);

// The packed row's samples as planes (U and V planes, or interleaved pairs in u).
struct PlanarKernelRow {
    std::vector<uint8_t> y = std::vector<uint8_t>(kRow), u = std::vector<uint8_t>(kRow),
                         v = std::vector<uint8_t>(kRow / 2);
    std::vector<int16_t> y16 = std::vector<int16_t>(kRow), u16 = std::vector<int16_t>(kRow),
                         v16 = std::vector<int16_t>(kRow / 2);
    PlanarKernelRow(const KernelRow &r, bool planes) {
        for (int x = 0; x < kRow; ++x) y[size_t(x)] = r.reference[size_t(2 * x)];
        for (int p = 0; p < kRow / 2; ++p) {
            const uint8_t cu = r.reference[size_t(4 * p + 1)], cv = r.reference[size_t(4 * p + 3)];
            if (planes) {
                u[size_t(p)] = cu;
                v[size_t(p)] = cv;
            } else {
                u[size_t(2 * p)] = cu;
                u[size_t(2 * p + 1)] = cv;
            }
        }
    }
    PlanarRowIn In(bool planes) const { return {y.data(), u.data(), planes ? v.data() : nullptr}; }
    IntermediateRowOut Out(bool planes) { return {y16.data(), u16.data(), planes ? v16.data() : nullptr}; }
};

// Arg 0: 0 planar 4:2:0, 1 planar 4:2:2, 2 semi-planar 4:2:0, 3 semi-planar 4:2:2; arg 1: span type.
void BM_KernelPlanar16(benchmark::State &state) {
    KernelRow &r = Row();
    const bool planes = state.range(0) < 2;
    PlanarKernelRow row(r, planes);
    const SpanTables t = r.k.Tables(false);
    const SpanRows rows = r.k.Rows();
    const auto kernel = state.range(0) == 0   ? FuseIntermediateSpanPlanar420
                        : state.range(0) == 1 ? FuseIntermediateSpanPlanar422
                        : state.range(0) == 2 ? FuseIntermediateSpanSemiPlanar420
                                              : FuseIntermediateSpanSemiPlanar422;
    const int32_t type = int32_t(state.range(1));
    const uint8_t *warp = r.warp.data() + (type == SPAN_BRIGHT ? kWarpedQuadBytes : 0);
    for (auto _ : state) {
        RunningWeights w = {{0, 0, kFusionWeightOne}};
        kernel(type, 0, kRow, row.In(planes), warp, t, rows, &w, row.Out(planes));
        benchmark::DoNotOptimize(row.y16.data());
    }
}
// Arg 0: 0 planes, 1 interleaved pairs; arg 1 as BM_KernelPlain16.
void BM_KernelPlainPlanar16(benchmark::State &state) {
    KernelRow &r = Row();
    const bool planes = state.range(0) == 0;
    PlanarKernelRow row(r, planes);
    const SpanTables t = r.k.Tables(false);
    const SpanRows rows = r.k.Rows();
    const PlanarRowIn in = row.In(planes);
    const IntermediateRowOut out = row.Out(planes);
    for (auto _ : state) {
        RunningWeights w = {{0, 0, kFusionWeightOne}};
        switch (state.range(1)) {
            case 0: (planes ? FuseIntermediateSpanPlainBothPlanar420 : FuseIntermediateSpanPlainBothSemiPlanar420)(0, kRow, in, r.warp.data(), t, rows, &w, out); break;
            case 1: (planes ? FuseIntermediateSpanPlainOneSecondaryPlanar420 : FuseIntermediateSpanPlainOneSecondarySemiPlanar420)(0, kRow, in, r.warp.data(), t, rows, r.k.weightDark.data(), 0, &w, out); break;
            default: (planes ? FuseIntermediateSpanPlainRefOnlyPlanar420 : FuseIntermediateSpanPlainRefOnlySemiPlanar420)(0, kRow, in, t, out);
        }
        benchmark::DoNotOptimize(row.y16.data());
    }
}
BENCHMARK(BM_KernelPlanar16)->ArgNames({"layout", "span"})->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2, 3}});
BENCHMARK(BM_KernelPlainPlanar16)->ArgNames({"layout", "plain"})->ArgsProduct({{0, 1}, {0, 1, 2}});

}  // namespace

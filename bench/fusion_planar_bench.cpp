// Full-resolution fusion of the planar and semi-planar formats: the band pass over a
// 12-megapixel frame on four threads, in local-curve mode as a merge runs it, beside the packed
// 4:2:2 pass of the same session (fusion_bench.cpp measures that one alone too).
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "../tests/fusion/planar_band_support.h"

namespace {

constexpr int kFrameWidth = 4000, kFrameHeight = 3000;

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

fusion_test::PlanarFrames &Planes(uint32_t format) {
    static std::map<uint32_t, std::unique_ptr<fusion_test::PlanarFrames>> planes;
    auto &p = planes[format];
    if (!p) p = std::make_unique<fusion_test::PlanarFrames>(Frame(), format);
    return *p;
}

template <uint32_t Format>
void BM_PlanarBandPass12MP(benchmark::State &state) {
    fusion_test::BandSession &b = Frame();
    fusion_test::PlanarFrames &f = Planes(Format);
    const std::vector<uint8_t> reference[3] = {f.planes[2][0], f.planes[2][1], f.planes[2][2]};
    for (auto _ : state) {
        state.PauseTiming();
        for (int k = 0; k < 3; ++k) f.planes[2][k] = reference[k];
        state.ResumeTiming();
        if (fusion_test::RunPlanarPass(b, f, true, RunParallelJobs) != RESULT_OK)
            state.SkipWithError("band pass failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kFrameWidth} * kFrameHeight);
}
BENCHMARK(BM_PlanarBandPass12MP<PIXEL_FORMAT_I420>)->Name("BandPass12MP/I420/4threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlanarBandPass12MP<PIXEL_FORMAT_NV12>)->Name("BandPass12MP/NV12/4threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlanarBandPass12MP<PIXEL_FORMAT_NV16>)->Name("BandPass12MP/NV16/4threads")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PackedBandPass12MP(benchmark::State &state) {
    fusion_test::BandSession &b = Frame();
    for (auto _ : state) {
        state.PauseTiming();
        b.RestoreInputs();
        state.ResumeTiming();
        if (b.RunPass(RunParallelJobs) != RESULT_OK) state.SkipWithError("band pass failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t{kFrameWidth} * kFrameHeight);
}
BENCHMARK(BM_PackedBandPass12MP)->Name("BandPass12MP/YUYV/4threads")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

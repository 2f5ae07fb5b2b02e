// The whole-picture effects (lens warp, radial blur, pyramid soft focus) on a 12 MP picture
// (4032 x 3024, 24-bit B,G,R rows), one thread, each from a source into a separate destination;
// a plain copy of the picture into the destination is measured beside them.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "effects/lomo_warp_kernels.h"
#include "effects_picture.h"

namespace {

using effects_bench::kHeight;
using effects_bench::kLineBytes;
using effects_bench::kWidth;
using effects_bench::SourcePicture;

template <typename Effect>
void RunIntoDestination(benchmark::State &state, Effect effect) {
    const std::vector<uint8_t> &source = SourcePicture();
    std::vector<uint8_t> destination(source.size(), 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(effect(source.data(), destination.data()));
        benchmark::ClobberMemory();
    }
}

void BM_CopyIntoDestination12MP(benchmark::State &state) {
    RunIntoDestination(state, [](const uint8_t *s, uint8_t *d) {
        std::memcpy(d, s, static_cast<size_t>(kLineBytes) * kHeight);
        return 1;
    });
}

void BM_LensWarp12MP(benchmark::State &state) {
    const auto strength = static_cast<int32_t>(state.range(0));
    RunIntoDestination(state, [strength](const uint8_t *s, uint8_t *d) {
        return LomoLensWarp(s, kWidth, kHeight, kLineBytes, d, strength);
    });
}

void BM_RadialBlurSigma4_12MP(benchmark::State &state) {
    RunIntoDestination(state, [](const uint8_t *s, uint8_t *d) {
        return LomoRadialBlur(s, kWidth, kHeight, kLineBytes, d, 50, 4.0);
    });
}

void BM_SoftFocus5Levels12MP(benchmark::State &state) {
    RunIntoDestination(state, [](const uint8_t *s, uint8_t *d) {
        return LomoPyramidSoftFocus(s, kWidth, kHeight, kLineBytes, d, 5, 50);
    });
}

#define WARP_BENCHMARK(name) \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)

WARP_BENCHMARK(BM_CopyIntoDestination12MP);
WARP_BENCHMARK(BM_LensWarp12MP)->Arg(50)->Arg(100);
WARP_BENCHMARK(BM_RadialBlurSigma4_12MP);
WARP_BENCHMARK(BM_SoftFocus5Levels12MP);

}  // namespace

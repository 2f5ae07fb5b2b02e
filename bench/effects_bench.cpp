// The art effect kernels and the effect chain on a 12 MP picture (4032 x 3024, 24-bit B,G,R
// rows), one thread. Each iteration restores the picture outside the timed region, so every
// run sees the same colours; the plain copy of the picture is measured beside them.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "effects/lomo_engine.h"
#include "effects/lomo_kernels.h"
#include "effects_picture.h"

namespace {

using effects_bench::kHeight;
using effects_bench::kLineBytes;
using effects_bench::kWidth;
using effects_bench::SourcePicture;

template <typename Kernel>
void RunOnFreshCopies(benchmark::State &state, Kernel kernel) {
    const std::vector<uint8_t> &source = SourcePicture();
    std::vector<uint8_t> work(source.size());
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.data(), source.data(), source.size());
        state.ResumeTiming();
        benchmark::DoNotOptimize(kernel(work.data()));
        benchmark::ClobberMemory();
    }
}

void BM_PlainCopy12MP(benchmark::State &state) {
    const std::vector<uint8_t> &source = SourcePicture();
    std::vector<uint8_t> work(source.size());
    for (auto _ : state) {
        std::memcpy(work.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
}

void BM_ContrastSaturation12MP(benchmark::State &state) {
    RunOnFreshCopies(state, [](uint8_t *b) {
        return LomoContrastSaturation(b, kWidth, kHeight, kLineBytes, 50, 50);
    });
}

// Contrast alone, the pass a contrast control runs while saturation is 0.
void BM_Contrast12MP(benchmark::State &state) {
    RunOnFreshCopies(state, [](uint8_t *b) {
        return LomoContrastSaturation(b, kWidth, kHeight, kLineBytes, 50, 0);
    });
}

void BM_ColorLook12MP(benchmark::State &state) {
    RunOnFreshCopies(state, [](uint8_t *b) { return LomoColorLook(b, kWidth, kHeight, kLineBytes); });
}

void BM_Grayscale12MP(benchmark::State &state) {
    RunOnFreshCopies(state, [](uint8_t *b) { return LomoGrayscale(b, kWidth, kHeight, kLineBytes); });
}

void BM_LensTint12MP(benchmark::State &state) {
    RunOnFreshCopies(state, [](uint8_t *b) {
        return LomoLensTint(b, kWidth, kHeight, kLineBytes, 255, 160, 60, 50, 1);
    });
}

void BM_Vignette12MP(benchmark::State &state) {
    RunOnFreshCopies(state, [](uint8_t *b) { return LomoVignette(b, kWidth, kHeight, kLineBytes, 50); });
}

// The application's usual chain: contrast 50, saturation 50 and the colour look.
void BM_EffectChain12MP(benchmark::State &state) {
    IILomoEngine engine;
    engine.startLomo(SourcePicture().data(), kWidth, kHeight, kLineBytes);
    engine.lomoContrast = 50;
    engine.lomoSaturation = 50;
    engine.lomoStyle = LomoStyleColorLook;
    RunOnFreshCopies(state, [&engine](uint8_t *b) { return engine.runLomo(b, kWidth, kHeight, kLineBytes); });
}

#define EFFECTS_BENCHMARK(name) \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true)

EFFECTS_BENCHMARK(BM_PlainCopy12MP);
EFFECTS_BENCHMARK(BM_ContrastSaturation12MP);
EFFECTS_BENCHMARK(BM_Contrast12MP);
EFFECTS_BENCHMARK(BM_ColorLook12MP);
EFFECTS_BENCHMARK(BM_Grayscale12MP);
EFFECTS_BENCHMARK(BM_LensTint12MP);
EFFECTS_BENCHMARK(BM_Vignette12MP);
EFFECTS_BENCHMARK(BM_EffectChain12MP);

}  // namespace

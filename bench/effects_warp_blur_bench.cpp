// The whole-picture effects (lens warp, radial blur, pyramid soft focus) on a 12 MP picture
// (4032 x 3024, 24-bit B,G,R rows), one thread, each from a source into a separate destination;
// a plain copy of the picture into the destination is measured beside them.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "effects/lomo_warp_kernels.h"

namespace {

constexpr int32_t kWidth = 4032;
constexpr int32_t kHeight = 3024;
constexpr int32_t kLineBytes = (24 * kWidth + 31) / 32 * 4;

// Smooth colour ramps with some noise.
const std::vector<uint8_t> &WarpSourcePicture() {
    static const std::vector<uint8_t> picture = [] {
        std::vector<uint8_t> bytes(static_cast<size_t>(kLineBytes) * kHeight);
        uint32_t state = 2463534242u;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                uint8_t *p = bytes.data() + static_cast<size_t>(y) * kLineBytes + 3 * x;
                p[0] = static_cast<uint8_t>(x * 255 / kWidth + (state & 15));
                p[1] = static_cast<uint8_t>(y * 255 / kHeight + ((state >> 4) & 15));
                p[2] = static_cast<uint8_t>((x + y) * 255 / (kWidth + kHeight) + ((state >> 8) & 31));
            }
        return bytes;
    }();
    return picture;
}

template <typename Effect>
void RunIntoDestination(benchmark::State &state, Effect effect) {
    const std::vector<uint8_t> &source = WarpSourcePicture();
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

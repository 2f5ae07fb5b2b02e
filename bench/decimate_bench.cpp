// Thumbnail decimation of a 12 MP packed frame (4000 x 3000 YUYV) at factor 8, timed beside a
// plain sequential read of the same 24 MB. The kernel touches three rows in eight, so its
// time should stay well under that of the read; "ratio" is decimation time / read time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "align/decimate.h"
#include "align/decimate_kernels.h"

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
constexpr int32_t kPitch = 2 * kWidth;

struct Frame {
    std::vector<uint8_t> bytes;
    ImageDesc source{};
    std::vector<uint8_t> planes;
    ImageDesc output{};

    Frame() : bytes(static_cast<size_t>(kPitch) * kHeight) {
        std::mt19937 rng(1);
        for (auto &b : bytes) b = static_cast<uint8_t>(rng());
        source = {PIXEL_FORMAT_YUYV, kWidth, kHeight, {bytes.data()}, {kPitch}};
        const int32_t ow = kWidth / 16 * 2, oh = kHeight / 16 * 2;
        planes.resize(static_cast<size_t>(3) * ow * oh);
        output = {PIXEL_FORMAT_YUV444P,
                  ow,
                  oh,
                  {planes.data(), planes.data() + ow * oh, planes.data() + 2 * ow * oh},
                  {ow, ow, ow}};
    }
};

// Reads every byte of the frame, 8 at a time.
uint64_t PlainRead(const std::vector<uint8_t> &bytes) {
    uint64_t sum = 0;
    for (size_t i = 0; i + 8 <= bytes.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        sum += word;
    }
    return sum;
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Each iteration decimates, then reads the frame; the iteration time is the decimation's.
void BM_DecimateYuyvFactor8_12MP(benchmark::State &state) {
    Frame f;
    double decimating = 0, reading = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(DecimateToYuv444(nullptr, &f.source, &f.output, nullptr, 8, 0));
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(PlainRead(f.bytes));
        const auto t2 = Clock::now();
        decimating += Seconds(t0, t1);
        reading += Seconds(t1, t2);
        state.SetIterationTime(Seconds(t0, t1));
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["decimate_ms"] = 1000 * decimating / n;
    state.counters["plain_read_ms"] = 1000 * reading / n;
    state.counters["ratio"] = decimating / reading;
}
BENCHMARK(BM_DecimateYuyvFactor8_12MP)->UseManualTime()->Unit(benchmark::kMillisecond);

// The plain per-channel kernel that the word-wise one is checked against, for comparison.
void BM_DecimateYuyvFactor8Reference_12MP(benchmark::State &state) {
    Frame f;
    DecimateSource view;
    MakeDecimateSource(f.source, &view);
    const InclusiveRect rect = {0, 0, f.output.i32Width * 8 - 1, f.output.i32Height * 8 - 1};
    for (auto _ : state) {
        DecimatePackedFactor8Reference(view, &f.output, rect);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DecimateYuyvFactor8Reference_12MP)->Unit(benchmark::kMillisecond);

}  // namespace

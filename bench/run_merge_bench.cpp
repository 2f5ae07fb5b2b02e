// A whole merge of a 12 MP bracket (4000 x 3000 PIXEL_FORMAT_YUYV), with each stage's share
// taken from the times at which the progress reports arrive, and the memory a run takes
// beyond the caller's images (the peak of a memory pool that serves the whole run).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "../tests/core/bracket_support.h"
#include "../tests/core/image_support.h"
#include "core/memory.h"
#include "core/session.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

using Clock = std::chrono::steady_clock;

const bracket_support::Bracket &TwelveMegapixelBracket() {
    static const bracket_support::Bracket bracket = bracket_support::MakeBracket(
        bracket_support::TexturedScene(kWidth, kHeight), kWidth, kHeight);
    return bracket;
}

struct StageClock {
    Clock::time_point start;
    std::vector<std::pair<int64_t, double>> reports;  // percent, milliseconds since start
};

int64_t Stamp(int64_t percent, int64_t, void *user) {
    auto *clock = static_cast<StageClock *>(user);
    const double ms =
        std::chrono::duration<double, std::milli>(Clock::now() - clock->start).count();
    if (clock->reports.empty() || clock->reports.back().first != percent)
        clock->reports.push_back({percent, ms});
    return 0;
}

// Splits a run at its reports: preparation and stage 1 (up to 5), the planning stages 2-4 (to
// 10), deghosting (to 15), the full-resolution set-up with the tone tables (to 20), the padding
// of the maps (to 25), then the band pass and the final crop.
void AddStageCounters(benchmark::State &state, const std::vector<StageClock> &runs) {
    const char *names[] = {"prepare_ms", "plan_ms", "deghost_ms", "fullres_setup_ms", "pad_ms",
                           "bands_crop_ms"};
    double sums[6] = {};
    for (const StageClock &c : runs) {
        double previous = 0;
        int slot = 0;
        for (const auto &[percent, ms] : c.reports) {
            if (percent == 0 || percent > 25 || slot >= 5) continue;
            sums[slot++] += ms - previous;
            previous = ms;
        }
        sums[5] += c.reports.empty() ? 0 : c.reports.back().second - previous;
    }
    for (int k = 0; k < 6; ++k) state.counters[names[k]] = sums[k] / runs.size();
}

void BM_RunHdrMerge12MP(benchmark::State &state) {
    const bracket_support::Bracket &source = TwelveMegapixelBracket();
    bracket_support::Bracket work = source;
    std::vector<StageClock> runs;
    for (auto _ : state) {
        state.PauseTiming();
        for (size_t i = 0; i < work.images.size(); ++i) work.images[i].bytes = source.images[i].bytes;
        work.Describe();
        HdrSession *s = nullptr;
        CreateHdrSession(nullptr, 0, &s);
        SetGhostSuppressionLevel(0, s, 6);
        const MergeParams params{45, 10, 40};
        StageClock clock;
        state.ResumeTiming();
        clock.start = Clock::now();
        const int r = RunHdrMerge(nullptr, s, work.descriptors.data(), 3, work.descriptors.data(),
                                  2, &params, 0, Stamp, &clock);
        clock.reports.push_back({100, std::chrono::duration<double, std::milli>(
                                          Clock::now() - clock.start)
                                          .count()});
        state.PauseTiming();
        if (r != RESULT_OK) state.SkipWithError("merge failed");
        DestroyHdrSession(nullptr, s);
        runs.push_back(clock);
        state.ResumeTiming();
    }
    AddStageCounters(state, runs);
}
BENCHMARK(BM_RunHdrMerge12MP)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The memory floor of the band pass: the three frames read and one frame written, once each.
void BM_RunHdrMerge12MPFloor(benchmark::State &state) {
    const bracket_support::Bracket &source = TwelveMegapixelBracket();
    std::vector<uint8_t> out(source.images[0].bytes.size());
    for (auto _ : state) {
        uint64_t sum = 0;
        for (size_t e = 1; e < source.images.size(); ++e) {
            const std::vector<uint8_t> &in = source.images[e].bytes;
            for (size_t i = 0; i + 8 <= in.size(); i += 8) {
                uint64_t v;
                std::memcpy(&v, in.data() + i, 8);
                sum += v;
            }
        }
        const std::vector<uint8_t> &first = source.images[0].bytes;
        for (size_t i = 0; i < out.size(); ++i) out[i] = uint8_t(first[i] ^ 1);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_RunHdrMerge12MPFloor)->Unit(benchmark::kMillisecond);

// The run's working memory: the smallest free block a pool ever had left, subtracted from
// what it had before the run, found by shrinking the pool until the run no longer fits.
void BM_RunHdrMerge12MPMemory(benchmark::State &state) {
    const bracket_support::Bracket &source = TwelveMegapixelBracket();
    int64_t needed = 0;
    for (auto _ : state) {
        int64_t lo = 1 << 20, hi = 512 << 20;
        while (hi - lo > (1 << 20)) {
            const int64_t mid = (lo + hi) / 2;
            image_support::PoolBuffer buffer(static_cast<size_t>(mid));
            MemoryContext pool = buffer.Init();
            HdrSession *s = nullptr;
            bool ok = CreateHdrSession(pool, 0, &s) == RESULT_OK;
            bracket_support::Bracket work = source;
            work.Describe();
            ok = ok && RunHdrMerge(pool, s, work.descriptors.data(), 3, work.descriptors.data(),
                                   2, nullptr, 0, nullptr, nullptr) == RESULT_OK;
            if (s) DestroyHdrSession(pool, s);
            (ok ? hi : lo) = mid;
        }
        needed = hi;
    }
    state.counters["pool_MB"] = double(needed) / (1 << 20);
}
BENCHMARK(BM_RunHdrMerge12MPMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

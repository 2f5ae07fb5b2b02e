// Merge planning at 1/8 scale on the thumbnails of a 24 MP bracket (6000 x 4000, thumbnails
// 750 x 500): per-pixel weight maps, block weights with ghost detection, preview fusion and
// deghosting, each stage alone and the four together.
#include <benchmark/benchmark.h>

#include <memory>

#include "../tests/weights/planning_session_support.h"
#include "weights/deghost.h"

namespace {

using planning::PlanningSession;

// The darkest exposure shows a moved square, so the ghost stages take their full road.
planning::Thumbnail Scene() {
    return [](int e, int32_t x, int32_t y) {
        const uint8_t v = planning::Texture(x, y);
        return static_cast<uint8_t>(e == 0 && x >= 300 && x < 340 && y >= 200 && y < 240 ? v + 19 : v);
    };
}

int RunStage(HdrSession *s, int stage) {
    switch (stage) {
    case 2: return BuildLowResWeightMaps(nullptr, s, s->smallImages);
    case 3: return BuildExposureWeightMaps(nullptr, s, 0);
    case 4: return FuseLowResPreview(nullptr, s, s->smallImages);
    default: return DeghostLowRes(nullptr, s);
    }
}

// Arg 2..5 times that stage after the earlier ones; arg 0 times stages 2 to 5 together.
void BM_Planning24MP(benchmark::State &state) {
    const int timed = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto ps = std::make_unique<PlanningSession>(6000, 4000, Scene(), nullptr, false);
        HdrSession *s = ps->session();
        s->ghostLevel = 6;
        for (int stage = 2; timed != 0 && stage < timed; ++stage) RunStage(s, stage);
        state.ResumeTiming();
        int result = RESULT_OK;
        for (int stage = timed == 0 ? 2 : timed; stage <= (timed == 0 ? 5 : timed); ++stage)
            result |= RunStage(s, stage);
        benchmark::DoNotOptimize(result);
        state.PauseTiming();
        if (result != RESULT_OK) state.SkipWithError("stage failed");
        ps.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Planning24MP)->Arg(2)->Arg(3)->Arg(4)->Arg(5)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

// The full-resolution difference maps on a 24 MP bracket (6000 x 4000, maps 750 x 500), in
// one-byte luma and in packed 4:2:2.
#include <benchmark/benchmark.h>

#include "../tests/weights/difference_map_frames.h"
#include "weights/auxiliary_tools.h"

namespace {

void BM_ApplyDifferenceMapsFullRes24MP(benchmark::State &state) {
    // Maps of 256 leave the frames unchanged, so every iteration does the same work.
    planning::DifferenceMapFrames f(6000, 4000, {100, 240, 30}, {256, 256, 256},
                                    static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        const int32_t result = ApplyDifferenceMapsFullRes(&f.session);
        benchmark::DoNotOptimize(result);
        if (result != RESULT_OK) state.SkipWithError("difference maps failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t{6000} * 4000);
}
BENCHMARK(BM_ApplyDifferenceMapsFullRes24MP)
    ->Arg(PIXEL_FORMAT_GRAY8)
    ->Arg(PIXEL_FORMAT_YUYV)
    ->Unit(benchmark::kMillisecond);

}  // namespace

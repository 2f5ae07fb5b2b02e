// Planning of the two-call merge on a 12 MP packed 4:2:2 bracket (4000 x 3000): preparation
// with the local alignment, each half of the tile weights and the weight finalisation, one
// thread each; and the region labelling on a pathological grid of one snaking region.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "../tests/alt/intermediate_bracket_support.h"
#include "alt/intermediate_prepare.h"
#include "alt/tile_weights.h"
#include "alt/weight_finalize.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;

constexpr int32_t kWidth = 4000, kHeight = 3000;

Bracket &SharedBracket() {
    static SessionHolder tables;
    static Bracket bracket(tables.session->gammaCompressTable, PIXEL_FORMAT_YUYV, kWidth, kHeight,
                           6, -4);
    return bracket;
}

void BM_IntermediatePrepareWithLocalAlignment(benchmark::State &state) {
    Bracket &b = SharedBracket();
    SessionHolder h;
    for (auto _ : state) {
        h.session->progressBase = 0;
        if (PrepareIntermediateMerge(nullptr, h.session, b.inputs(), 3, nullptr, nullptr) != RESULT_OK)
            state.SkipWithError("preparation failed");
    }
}
BENCHMARK(BM_IntermediatePrepareWithLocalAlignment)->Unit(benchmark::kMillisecond);

void BM_TileWeightsHalf(benchmark::State &state) {
    Bracket &b = SharedBracket();
    SessionHolder h;
    HdrSession *s = h.session;
    if (PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr) != RESULT_OK)
        state.SkipWithError("preparation failed");
    const auto half = state.range(0) == 0 ? ComputeTileWeightsTop : ComputeTileWeightsBottom;
    for (auto _ : state)
        if (half(nullptr, s, b.inputs(), 3, s->globalShift) != RESULT_OK)
            state.SkipWithError("tile weights failed");
}
BENCHMARK(BM_TileWeightsHalf)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FinalizeWeightMaps(benchmark::State &state) {
    Bracket &b = SharedBracket();
    SessionHolder h;
    HdrSession *s = h.session;
    if (PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr) != RESULT_OK ||
        ComputeTileWeightsTop(nullptr, s, b.inputs(), 3, s->globalShift) != RESULT_OK ||
        ComputeTileWeightsBottom(nullptr, s, b.inputs(), 3, s->globalShift) != RESULT_OK)
        state.SkipWithError("planning failed");
    const int64_t cells = int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown;
    const int64_t meshCells = int64_t{s->meshCols} * s->meshRows;
    std::vector<int16_t> weights[3];
    std::vector<int32_t> offsets[4];
    int32_t *offsetGrids[4] = {s->offsetGridX[0], s->offsetGridY[0], s->offsetGridX[1], s->offsetGridY[1]};
    for (int g = 0; g < 3; ++g) weights[g].assign(s->fusionWeightGrids[g], s->fusionWeightGrids[g] + cells);
    for (int g = 0; g < 4; ++g) offsets[g].assign(offsetGrids[g], offsetGrids[g] + meshCells);
    for (auto _ : state) {
        state.PauseTiming();
        for (int g = 0; g < 3; ++g) std::copy(weights[g].begin(), weights[g].end(), s->fusionWeightGrids[g]);
        for (int g = 0; g < 4; ++g) std::copy(offsets[g].begin(), offsets[g].end(), offsetGrids[g]);
        s->pendingStatus = 0;
        state.ResumeTiming();
        if (FinalizeWeightMaps(nullptr, s, b.inputs(), 3, s->globalShift) != RESULT_OK)
            state.SkipWithError("finalisation failed");
    }
}
BENCHMARK(BM_FinalizeWeightMaps)->Unit(benchmark::kMillisecond);

// One region snaking through a 128 x 96 grid: every other row full, joined at alternate ends.
void BM_LabelCodeRegionSnake(benchmark::State &state) {
    constexpr int32_t cols = 128, rows = 96;
    std::vector<int16_t> values(cols * rows, 100), labels(cols * rows);
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < cols; ++x) {
            const bool joint = (y % 4 == 1 && x == cols - 1) || (y % 4 == 3 && x == 0);
            if (y % 2 == 0 || joint) values[y * cols + x] = -2;
        }
    int32_t count = 0;
    for (auto _ : state) {
        std::fill(labels.begin(), labels.end(), int16_t{0});
        GridBox box{};
        count = LabelCodeRegion(nullptr, values.data(), cols, rows, cols, labels.data(), 2, 0, 0, 4,
                                -1, &box, kCompareAtMost);
        benchmark::DoNotOptimize(count);
    }
    state.counters["cells"] = count;
}
BENCHMARK(BM_LabelCodeRegionSnake)->Unit(benchmark::kMicrosecond);

}  // namespace

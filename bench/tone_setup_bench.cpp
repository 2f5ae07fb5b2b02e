// Tone set-up of a 12-megapixel frame (4000 x 3000: 500 x 374 thumbnails, a 500 x 375 gain
// grid), the gain table alone, and the per-row gain expansion of a 4000-pixel row over the
// eight row phases beside a plain copy of the same number of bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/image.h"
#include "core/memory.h"
#include "run/tone_setup.h"
#include "core/session.h"
#include "filters/local_gain.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// The 1/8-scale images, preview, maps and local-curve table the planning stages leave.
void FillPlanningState(HdrSession *s, std::mt19937 &random) {
    const int32_t w = kWidth / 16 * 2, h = kHeight / 16 * 2;
    auto fill = [&](ImageDesc *image) {
        for (int p = 0; p < 3; ++p)
            for (int64_t i = 0; i < int64_t{image->pi32Pitch[p]} * h; ++i)
                image->ppu8Plane[p][i] = static_cast<uint8_t>(random() % 256);
    };
    for (int e = 0; e < 3; ++e) {
        CreateImage(&s->smallImages[e], w, h, PIXEL_FORMAT_YUV444P, nullptr);
        fill(s->smallImages[e]);
    }
    CreateImage(&s->previewImage, w, h, PIXEL_FORMAT_YUV444P, nullptr);
    fill(s->previewImage);
    if (!s->fineGrids[3]) {
        for (int b = 0; b < 3; ++b) {
            int16_t *block = AllocateZeroed<int16_t>(nullptr, 3 * uint64_t(w + 2) * (h + 2));
            for (int k = 0; k < 3; ++k) s->fineGrids[3 * b + k] = block + k * (w + 2) * (h + 2);
        }
    }
}

void BM_SetUpToneTables(benchmark::State &state) {
    HdrSession *s = nullptr;
    CreateHdrSession(nullptr, 0, &s);
    s->exposureCount = 3;
    s->darkIndex = 0, s->referenceIndex = 1, s->brightIndex = 2;
    s->localCurveFusionTable = AllocateZeroed<uint16_t>(nullptr, 6016);
    for (int k = 0; k < 256; ++k)
        s->localCurveFusionTable[256 + k] = static_cast<uint16_t>(4 * s->gammaExpandTable[k]);
    s->lowResMapsReady = 1;
    s->darkShareQ10 = 40;
    s->toneLength = 45;
    s->brightness = 10;
    s->toneSaturation = 40;
    ImageDesc frames[3] = {};
    for (ImageDesc &f : frames) {
        f.u32PixelArrayFormat = PIXEL_FORMAT_YUYV;
        f.i32Width = kWidth;
        f.i32Height = kHeight;
        f.pi32Pitch[0] = 2 * kWidth;
    }
    std::mt19937 random(3);
    for (auto _ : state) {
        state.PauseTiming();
        FillPlanningState(s, random);
        state.ResumeTiming();
        benchmark::DoNotOptimize(SetUpToneTables(nullptr, s, frames, frames));
    }
    DestroyHdrSession(nullptr, s);
}
BENCHMARK(BM_SetUpToneTables)->Unit(benchmark::kMillisecond);

void BM_BuildLocalGainTable(benchmark::State &state) {
    std::vector<uint16_t> table(65536);
    for (auto _ : state) {
        BuildLocalGainTable(table.data(), static_cast<int32_t>(state.range(0)), kGainUnity);
        benchmark::DoNotOptimize(table.data());
    }
}
BENCHMARK(BM_BuildLocalGainTable)->Arg(10)->Arg(35)->Arg(110)->Unit(benchmark::kMicrosecond);

// Eight consecutive rows of one band: two grid-row expansions and six blends.
void BM_ExpandGainRow8(benchmark::State &state) {
    const int width = static_cast<int>(state.range(0));
    std::vector<uint16_t> table(65536);
    BuildLocalGainTable(table.data(), 35, kGainUnity);
    std::mt19937 random(5);
    std::vector<uint16_t> grid(2 * (width / 8));
    for (auto &v : grid) v = static_cast<uint16_t>(random() % 4000);
    std::vector<uint16_t> rows(3 * width);
    for (auto _ : state) {
        for (int b = 0; b < 8; ++b) {
            const uint16_t *g = grid.data() + (b == 0 ? 0 : width / 8);
            ExpandGainRow8(0, b, width, rows.data(), 0, g, table.data());
        }
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetBytesProcessed(state.iterations() * 8 * int64_t{width} * 2);
}
BENCHMARK(BM_ExpandGainRow8)->Arg(4000)->Arg(6000);

// The bandwidth floor: copying the same eight output rows.
void BM_CopyGainRows(benchmark::State &state) {
    const int width = static_cast<int>(state.range(0));
    std::vector<uint16_t> source(width, 1024), rows(width);
    for (auto _ : state) {
        for (int b = 0; b < 8; ++b) std::memcpy(rows.data(), source.data(), 2 * width);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetBytesProcessed(state.iterations() * 8 * int64_t{width} * 2);
}
BENCHMARK(BM_CopyGainRows)->Arg(4000)->Arg(6000);

}  // namespace

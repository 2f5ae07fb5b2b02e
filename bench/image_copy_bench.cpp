// Image copies: the chroma-preserving copy between rectangles of different x parity, which
// re-pairs chroma byte by byte, against the plain row copy of the same rectangle.
#include <benchmark/benchmark.h>

#include <cstring>

#include "core/image.h"

namespace {

void CopyOddIntoEven(benchmark::State &state, uint32_t format, bool keepChroma) {
    ImageDesc *source = nullptr;
    ImageDesc *destination = nullptr;
    if (CreateImage(&source, 4000, 3000, format, nullptr) != RESULT_OK ||
        CreateImage(&destination, 4000, 3000, format, nullptr) != RESULT_OK) {
        state.SkipWithError("allocation failed");
        DestroyImage(&source, nullptr);
        return;
    }
    ImageDesc layout;
    int32_t rows[3];
    LayoutImagePlanes(&layout, 4000, 3000, format, rows);
    ImageDesc *images[2] = {source, destination};
    for (ImageDesc *image : images)
        for (int p = 0; p < 3 && image->ppu8Plane[p]; ++p)
            std::memset(image->ppu8Plane[p], 0x5a, static_cast<size_t>(image->pi32Pitch[p]) * rows[p]);
    const PixelRect from{1, 0, 3999, 3000};
    const PixelRect to{0, 0, 3998, 3000};
    for (auto _ : state) {
        benchmark::DoNotOptimize(keepChroma
                                     ? CopyImageRectKeepChromaOrder(destination, &to, source, &from)
                                     : CopyImageRect(destination, &to, source, &from));
        benchmark::ClobberMemory();
    }
    DestroyImage(&source, nullptr);
    DestroyImage(&destination, nullptr);
}

void BM_KeepChromaYuyvOddIntoEven12MP(benchmark::State &state) {
    CopyOddIntoEven(state, PIXEL_FORMAT_YUYV, true);
}
BENCHMARK(BM_KeepChromaYuyvOddIntoEven12MP)->Unit(benchmark::kMillisecond);

void BM_PlainCopyYuyvOddIntoEven12MP(benchmark::State &state) {
    CopyOddIntoEven(state, PIXEL_FORMAT_YUYV, false);
}
BENCHMARK(BM_PlainCopyYuyvOddIntoEven12MP)->Unit(benchmark::kMillisecond);

void BM_KeepChromaNv12OddIntoEven12MP(benchmark::State &state) {
    CopyOddIntoEven(state, PIXEL_FORMAT_NV12, true);
}
BENCHMARK(BM_KeepChromaNv12OddIntoEven12MP)->Unit(benchmark::kMillisecond);

}  // namespace

// Filters: the box and guided filters on the 1/8-scale map of a 24-megapixel frame
// (6000 x 4000 -> 750 x 500), and the crop-and-rescale of a 12-megapixel YUYV frame beside a
// plain copy of the same bytes. The guided filters also run with their jobs in order on one
// thread, which shows what the four threads gain.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/image.h"
#include "core/row_image.h"
#include "filters/box_filter.h"
#include "filters/crop_rescale.h"
#include "filters/guided_band.h"
#include "filters/guided_band16.h"
#include "filters/guided_striped.h"

namespace {

constexpr int kMapWidth = 750;
constexpr int kMapHeight = 500;

int RunInOrder(int count, int (*job)(void *), void *records, size_t recordBytes) {
    int result = RESULT_OK;
    for (int i = 0; i < count; ++i) {
        const int r = job(static_cast<char *>(records) + i * recordBytes);
        if (result == RESULT_OK) result = r;
    }
    return result;
}

JobRunner RunnerOf(const benchmark::State &state, int index = 1) {
    return state.range(index) ? RunParallelJobs : RunInOrder;
}

// A smooth ramp with noise, like a 1/8-scale luma map.
template <typename T>
void FillMap(T *plane, int width, int height, int pitch, int amplitude) {
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            plane[y * pitch + x] = static_cast<T>((x + y) * amplitude / (width + height) +
                                                  static_cast<int>(random() % 16));
}

ImageDesc *MakeImage(int width, int height, uint32_t format) {
    ImageDesc *image = nullptr;
    CreateImage(&image, width, height, format, nullptr);
    return image;
}

void BM_BoxFilterPlane16(benchmark::State &state) {
    std::vector<int16_t> plane(kMapWidth * kMapHeight);
    FillMap(plane.data(), kMapWidth, kMapHeight, kMapWidth, 4000);
    for (auto _ : state)
        benchmark::DoNotOptimize(BoxFilterPlane16(nullptr, plane.data(), kMapWidth, kMapHeight,
                                                  kMapWidth, static_cast<int32_t>(state.range(0)), 1));
    state.SetItemsProcessed(state.iterations() * kMapWidth * kMapHeight);
}
BENCHMARK(BM_BoxFilterPlane16)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMicrosecond);

void BM_BoxFilterPlane8(benchmark::State &state) {
    std::vector<uint8_t> plane(kMapWidth * kMapHeight);
    FillMap(plane.data(), kMapWidth, kMapHeight, kMapWidth, 230);
    for (auto _ : state)
        benchmark::DoNotOptimize(BoxFilterPlane8(nullptr, plane.data(), kMapWidth, kMapHeight,
                                                 kMapWidth, static_cast<int32_t>(state.range(0)), 1));
    state.SetItemsProcessed(state.iterations() * kMapWidth * kMapHeight);
}
BENCHMARK(BM_BoxFilterPlane8)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMicrosecond);

// Arguments: radius, then 1 for four threads or 0 for the bands in order.
void BM_GuidedFilterThreaded8(benchmark::State &state) {
    ImageDesc *guide = MakeImage(kMapWidth, kMapHeight, PIXEL_FORMAT_YUV444P);
    ImageDesc *input = MakeImage(kMapWidth, kMapHeight, PIXEL_FORMAT_YUV444P);
    ImageDesc *output = MakeImage(kMapWidth, kMapHeight, PIXEL_FORMAT_YUV444P);
    FillMap(guide->ppu8Plane[0], kMapWidth, kMapHeight, guide->pi32Pitch[0], 230);
    FillMap(input->ppu8Plane[0], kMapWidth, kMapHeight, input->pi32Pitch[0], 200);
    for (auto _ : state)
        benchmark::DoNotOptimize(GuidedFilterThreaded8WithRunner(
            nullptr, guide, input, static_cast<int32_t>(state.range(0)), nullptr, output, 4.0,
            RunnerOf(state)));
    state.SetItemsProcessed(state.iterations() * kMapWidth * kMapHeight);
    DestroyImage(&guide, nullptr);
    DestroyImage(&input, nullptr);
    DestroyImage(&output, nullptr);
}
BENCHMARK(BM_GuidedFilterThreaded8)->Args({16, 1})->Args({16, 0})->Args({4, 1})->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_GuidedFilterThreaded16(benchmark::State &state) {
    ImageDesc *guide = MakeImage(kMapWidth, kMapHeight, PIXEL_FORMAT_YUV444P);
    FillMap(guide->ppu8Plane[0], kMapWidth, kMapHeight, guide->pi32Pitch[0], 230);
    std::vector<int16_t> input(kMapWidth * kMapHeight), output(input.size());
    FillMap(input.data(), kMapWidth, kMapHeight, kMapWidth, 1500);
    for (int16_t &v : input) v = static_cast<int16_t>(v - 700);
    for (auto _ : state)
        benchmark::DoNotOptimize(GuidedFilterThreaded16WithRunner(
            nullptr, guide, input.data(), static_cast<int32_t>(state.range(0)), nullptr,
            output.data(), 4.0, 1, RunnerOf(state)));
    state.SetItemsProcessed(state.iterations() * kMapWidth * kMapHeight);
    DestroyImage(&guide, nullptr);
}
BENCHMARK(BM_GuidedFilterThreaded16)->Args({16, 1})->Args({16, 0})->Unit(benchmark::kMicrosecond)->UseRealTime();

// Arguments: width, then threads (1) or one worker taking every stripe (0). The deghosting
// stage runs it on a quarter of the 1/8-scale map (188 x 125 here) with radius 4.
void BM_GuidedFilterStriped(benchmark::State &state) {
    const int width = static_cast<int>(state.range(0));
    const int height = width * 2 / 3;
    RowImage *guide = CreateRowImage(nullptr, width, height, 8, 1);
    RowImage *input = CreateRowImage(nullptr, width, height, 32, 1);
    RowImage *output = CreateRowImage(nullptr, width, height, 32, 1);
    for (int y = 0; y < height; ++y) {
        FillMap(guide->rows[y], width, 1, width, 230);
        FillMap(reinterpret_cast<int32_t *>(input->rows[y]), width, 1, width, 3000);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(GuidedFilterStripedWithRunner(nullptr, guide, input, output, 4, RunnerOf(state)));
    state.SetItemsProcessed(state.iterations() * width * height);
    FreeRowImage(nullptr, &guide);
    FreeRowImage(nullptr, &input);
    FreeRowImage(nullptr, &output);
}
BENCHMARK(BM_GuidedFilterStriped)->Args({750, 1})->Args({750, 0})->Args({188, 1})->Args({188, 0})->Unit(benchmark::kMicrosecond)->UseRealTime();

// Argument: 1 for four threads, 0 for the four bands in order.
void BM_CropAndRescaleYuyv12MP(benchmark::State &state) {
    ImageDesc *source = MakeImage(4000, 3000, PIXEL_FORMAT_YUYV);
    ImageDesc *destination = MakeImage(4000, 3000, PIXEL_FORMAT_YUYV);
    const size_t bytes = static_cast<size_t>(source->pi32Pitch[0]) * 3000;
    FillMap(source->ppu8Plane[0], source->pi32Pitch[0], 3000, source->pi32Pitch[0], 240);
    for (auto _ : state) {
        PixelRect rect{16, 16, 3984, 2976};
        benchmark::DoNotOptimize(
            CropAndRescaleWithRunner(nullptr, source, destination, &rect, RunnerOf(state, 0)));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    DestroyImage(&source, nullptr);
    DestroyImage(&destination, nullptr);
}
BENCHMARK(BM_CropAndRescaleYuyv12MP)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 24 MB moved by memcpy: the floor the rescale is measured against.
void BM_CopyYuyv12MPBytes(benchmark::State &state) {
    const size_t bytes = static_cast<size_t>(8000) * 3000;
    std::vector<uint8_t> source(bytes, 0x5a), destination(bytes, 0);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_CopyYuyv12MPBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

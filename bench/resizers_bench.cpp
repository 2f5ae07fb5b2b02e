// Resizers on a 12-megapixel plane (4000 x 3000): shrinking it to 1280 x 960 and enlarging
// 1280 x 960 to it, bilinear, bicubic and nearest, beside a plain copy of the 12 MP plane as
// the bandwidth floor; and the resize of a 12 MP YUYV frame to a 1280 x 960 BGR picture.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "core/image.h"
#include "filters/resize_to_bgr.h"
#include "filters/resizers.h"

namespace {

constexpr int kLargeWidth = 4000, kLargeHeight = 3000;
constexpr int kSmallWidth = 1280, kSmallHeight = 960;

std::vector<uint8_t> Noise(size_t bytes) {
    std::mt19937 random(5);
    std::vector<uint8_t> plane(bytes);
    for (size_t i = 0; i < bytes; i += 4) {
        const uint32_t v = random();
        std::memcpy(&plane[i], &v, std::min<size_t>(4, bytes - i));
    }
    return plane;
}

// range(0): 1 shrinks 12 MP to 1280 x 960, 0 enlarges 1280 x 960 to 12 MP.
struct Shape {
    int sw, sh, dw, dh;
};
Shape ShapeOf(const benchmark::State &state) {
    return state.range(0) ? Shape{kLargeWidth, kLargeHeight, kSmallWidth, kSmallHeight}
                          : Shape{kSmallWidth, kSmallHeight, kLargeWidth, kLargeHeight};
}

void BM_ResizeBilinearPlane(benchmark::State &state) {
    const Shape s = ShapeOf(state);
    const std::vector<uint8_t> source = Noise(size_t(s.sw) * s.sh);
    std::vector<uint8_t> destination(size_t(s.dw) * s.dh);
    for (auto _ : state)
        benchmark::DoNotOptimize(ResizeBilinearPlane(nullptr, source.data(), s.sw, s.sh, s.sw, destination.data(),
                                                     s.dw, s.dh, s.dw));
    state.SetItemsProcessed(state.iterations() * int64_t{s.dw} * s.dh);
}
BENCHMARK(BM_ResizeBilinearPlane)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_ResizeBicubicPlane(benchmark::State &state) {
    const Shape s = ShapeOf(state);
    const std::vector<uint8_t> source = Noise(size_t(s.sw) * s.sh);
    std::vector<uint8_t> destination(size_t(s.dw) * s.dh);
    BicubicCache cache{};
    for (auto _ : state)
        benchmark::DoNotOptimize(ResizeBicubicPlane(nullptr, source.data(), s.sw, s.sh, s.sw, destination.data(),
                                                    s.dw, s.dh, s.dw, &cache));
    FreeBicubicCache(nullptr, &cache);
    state.SetItemsProcessed(state.iterations() * int64_t{s.dw} * s.dh);
}
BENCHMARK(BM_ResizeBicubicPlane)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_ResizeNearest(benchmark::State &state) {
    const Shape s = ShapeOf(state);
    const std::vector<uint8_t> source = Noise(size_t(s.sw) * s.sh);
    std::vector<uint8_t> destination(size_t(s.dw) * s.dh);
    for (auto _ : state)
        benchmark::DoNotOptimize(ResizeNearest(nullptr, source.data(), s.sw, s.sw, s.sh, destination.data(), s.dw,
                                               s.dw, s.dh, 1));
    state.SetItemsProcessed(state.iterations() * int64_t{s.dw} * s.dh);
}
BENCHMARK(BM_ResizeNearest)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The 12 MP plane moved by memcpy: the floor the enlargements are measured against.
void BM_Copy12MPPlane(benchmark::State &state) {
    const size_t bytes = size_t(kLargeWidth) * kLargeHeight;
    const std::vector<uint8_t> source = Noise(bytes);
    std::vector<uint8_t> destination(bytes);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(bytes));
}
BENCHMARK(BM_Copy12MPPlane)->Unit(benchmark::kMillisecond);

void BM_ResizeYuyvToBgr(benchmark::State &state) {
    ImageDesc *image = nullptr;
    CreateImage(&image, kLargeWidth, kLargeHeight, PIXEL_FORMAT_YUYV, nullptr);
    const std::vector<uint8_t> noise = Noise(size_t(image->pi32Pitch[0]) * kLargeHeight);
    std::memcpy(image->ppu8Plane[0], noise.data(), noise.size());
    const int mode = static_cast<int>(state.range(0));
    const int bpp = mode == RESIZE_TO_BGR ? 3 : 1;
    std::vector<uint8_t> destination(size_t(kSmallWidth) * kSmallHeight * bpp);
    for (auto _ : state)
        benchmark::DoNotOptimize(ResizeToBgr(nullptr, image, destination.data(), kSmallWidth, kSmallHeight,
                                             kSmallWidth * bpp, mode));
    DestroyImage(&image, nullptr);
    state.SetItemsProcessed(state.iterations() * int64_t{kSmallWidth} * kSmallHeight);
}
BENCHMARK(BM_ResizeYuyvToBgr)->Arg(RESIZE_TO_BGR)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

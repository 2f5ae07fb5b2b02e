// Feature tracking and the projective fit on the thumbnail of a 24-megapixel frame (750 x 500).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "../tests/align/tracking_scene_support.h"
#include "align/feature_tracker.h"
#include "align/projective_fit.h"
#include "align/transform_warp.h"
#include "core/image.h"

namespace {

using namespace tracking_test;

constexpr int32_t kWidth = 750;
constexpr int32_t kHeight = 500;

const GrayImage &Reference() {
    static const GrayImage image = RenderView(SceneTexture(kWidth, kHeight, 3), kWidth, kHeight,
                                              Identity(), 1.0);
    return image;
}

const GrayImage &Exposure() {
    static const GrayImage image = [] {
        GrayImage view = RenderView(SceneTexture(kWidth, kHeight, 3), kWidth, kHeight,
                                    RotationScale(0.8, 1.01, 375.0, 250.0, 2.5, -1.5), 4.0);
        MatchLevels(view, Reference());
        return view;
    }();
    return image;
}

// 8 x 4 cells of 5 picks fill the 128 features (the merge's 5 x 4 cells give at most 100).
FeatureTracker *CreateTracker() {
    return CreateFeatureTrackerSingle(nullptr, Reference().image(), 8, 4, 5, 128, nullptr,
                                      nullptr);
}

void BM_CreateFeatureTracker(benchmark::State &state) {
    int32_t count = 0;
    for (auto _ : state) {
        FeatureTracker *tracker = CreateTracker();
        count = tracker->count;
        DestroyFeatureTracker(nullptr, &tracker);
    }
    state.counters["features"] = count;
}
BENCHMARK(BM_CreateFeatureTracker)->Unit(benchmark::kMillisecond);

void BM_TrackFeatures(benchmark::State &state) {
    FeatureTracker *tracker = CreateTracker();
    std::vector<float> x(128), y(128);
    int32_t tracked = 0;
    for (auto _ : state) tracked = TrackFeatures(tracker, Exposure().image(), x.data(), y.data(), 0);
    state.counters["features"] = tracker->count;
    state.counters["tracked"] = tracked;
    DestroyFeatureTracker(nullptr, &tracker);
}
BENCHMARK(BM_TrackFeatures)->Unit(benchmark::kMillisecond);

// 128 matches of a mild projective transform, the given percentage moved 20 to 60 pixels.
void BM_FitProjectiveRansac(benchmark::State &state) {
    const int32_t n = 128, outliers = static_cast<int32_t>(n * state.range(0) / 100);
    const ProjectiveTransform truth = {{1.004, 0.012, -0.01, 0.995}, {3.25, -2.5}, {2e-5, -1.5e-5}};
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<float> refX(n), refY(n), curX(n), curY(n);
    for (int32_t k = 0; k < n; ++k) {
        const double px = 10.0 + 730.0 * unit(random), py = 10.0 + 480.0 * unit(random);
        double X, Y;
        ApplyTransform(truth, px, py, &X, &Y);
        if (k < outliers) MoveFar(random, unit, &X, &Y);
        refX[k] = static_cast<float>(px);
        refY[k] = static_cast<float>(py);
        curX[k] = static_cast<float>(X + 0.1 * (unit(random) - 0.5));
        curY[k] = static_cast<float>(Y + 0.1 * (unit(random) - 0.5));
    }
    std::vector<uint32_t> scratch(5 * n);
    ProjectiveTransform t;
    int result = 0;
    for (auto _ : state)
        result = FitProjectiveRansac(scratch.data(), kWidth, kHeight, refX.data(), refY.data(),
                                     curX.data(), curY.data(), n, t.matrix, t.translation,
                                     t.perspective);
    state.counters["result"] = result;
}
BENCHMARK(BM_FitProjectiveRansac)->Arg(0)->Arg(25)->Arg(40)->Unit(benchmark::kMicrosecond);

// The thumbnail warp of registration on a three-plane 4:4:4 thumbnail.
void BM_WarpImageByTransform(benchmark::State &state) {
    ImageDesc *source = nullptr, *destination = nullptr;
    CreateImage(&source, kWidth, kHeight, PIXEL_FORMAT_YUV444P, nullptr);
    CreateImage(&destination, kWidth, kHeight, PIXEL_FORMAT_YUV444P, nullptr);
    for (int32_t p = 0; p < 3; ++p)
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
                source->ppu8Plane[p][y * source->pi32Pitch[p] + x] = Reference().at(x, y);
    const ProjectiveTransform t = RotationScale(0.8, 1.01, 375.0, 250.0, 2.5, -1.5);
    PixelRect crop;
    for (auto _ : state)
        WarpImageByTransform(source, destination, t.matrix, t.translation, t.perspective,
                             nullptr, &crop);
    DestroyImage(&source, nullptr);
    DestroyImage(&destination, nullptr);
}
BENCHMARK(BM_WarpImageByTransform)->Unit(benchmark::kMicrosecond);

}  // namespace

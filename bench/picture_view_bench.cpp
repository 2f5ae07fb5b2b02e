// The picture view showing a 12-megapixel picture in a 1280 x 800 clip: one painted frame at fit,
// 1, 1.5 and 10; a zoom step to the next painted frame (the reduced copy made anew below half
// size); the first frame of a new picture (its halved levels made too); a frame of a drag.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <cstring>
#include <memory>
#include <vector>

#include "IIEditingViewController.h"
#include "IIImageClip.h"
#include "IIImageView.h"
#include "picture_scaling.h"

namespace {

constexpr int kWidth = 4032, kHeight = 3024;

QApplication &App() {
    static int argc = 1;
    static char name[] = "tonefold_bench";
    static char *argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

// Smooth colour ramps with fine noise and thin lines, like a detailed photo.
const QImage &Picture() {
    static const QImage picture = [] {
        QImage image(kWidth, kHeight, QImage::Format_RGB32);
        QRandomGenerator random(3);
        for (int y = 0; y < kHeight; ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < kWidth; ++x) {
                const int noise = static_cast<int>(random.bounded(32));
                const int line = (x % 97 == 0 || y % 89 == 0) ? 120 : 0;
                row[x] = qRgb(std::min(255, x * 200 / kWidth + noise + line),
                              std::min(255, y * 200 / kHeight + noise + line), 90 + noise);
            }
        }
        return image;
    }();
    return picture;
}

struct Editor {
    Editor() {
        App();
        clip = std::make_unique<IIImageClip>();
        clip->resize(1280, 800);
        controller.setUpImageClip(clip.get());
        controller.imageView()->setImage(Picture(), 0);
        controller.zoomFit();
        frame = QImage(1280, 800, QImage::Format_RGB32);
    }
    void paint() {
        clip->render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
    void zoomTo(double factor) {
        if (factor == 0)
            controller.zoomFit();
        else
            controller.zoomImage(factor);
    }

    std::unique_ptr<IIImageClip> clip;
    IIEditingViewController controller;
    QImage frame;
};

// Arg: zoom in thousandths, 0 for the fit.
void BM_PictureViewPaint(benchmark::State &state) {
    Editor editor;
    editor.zoomTo(state.range(0) / 1000.0);
    editor.paint();  // the reduced copy of a fitted picture is made once
    for (auto _ : state) editor.paint();
    state.counters["zoom"] = editor.controller.zoomFactor();
}
BENCHMARK(BM_PictureViewPaint)->Arg(0)->Arg(1000)->Arg(1500)->Arg(10000)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// Args: the two zoom table entries stepped between, in thousandths.
void BM_PictureViewZoomStep(benchmark::State &state) {
    Editor editor;
    editor.zoomTo(state.range(0) / 1000.0);
    editor.paint();
    bool in = true;
    for (auto _ : state) {
        in ? editor.controller.zoomIn() : editor.controller.zoomOut();
        in = !in;
        editor.paint();
    }
}
BENCHMARK(BM_PictureViewZoomStep)->Arg(200)->Arg(300)->Arg(700)->Arg(5000)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// A new picture: its halved levels, the fit and the first frame.
void BM_PictureViewFirstFrame(benchmark::State &state) {
    Editor editor;
    for (auto _ : state) {
        editor.controller.imageView()->setImage(Picture(), 0);
        editor.controller.zoomFit();
        editor.paint();
    }
}
BENCHMARK(BM_PictureViewFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arg: zoom in thousandths, 0 for the fit. Each frame pans by a few pixels.
void BM_PictureViewDragFrame(benchmark::State &state) {
    Editor editor;
    editor.zoomTo(state.range(0) / 1000.0);
    editor.paint();
    int step = 0;
    for (auto _ : state) {
        const int d = (step++ % 40) < 20 ? 7 : -7;
        editor.clip->panX(d, d / 2);
        editor.paint();
    }
}
BENCHMARK(BM_PictureViewDragFrame)->Arg(0)->Arg(1000)->Arg(1500)->Arg(10000)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

namespace {

// The scaling kernel alone: a 1280 x 800 part of the 12-megapixel picture shown at 1.5, with the
// vector row kernels (0) and the plain ones (1); a copy of as many bytes for scale.
void BM_ScaleArgbPart(benchmark::State &state) {
    const QImage &picture = Picture();
    QImage out(1280, 800, QImage::Format_RGB32);
    const ScaledPart part{6048, 4536, 2000, 1500, 1280, 800};
    auto scale = state.range(0) == 0 ? ScaleArgbPart : ScaleArgbPartReference;
    for (auto _ : state) {
        scale(picture.constBits(), picture.bytesPerLine(), picture.width(), picture.height(),
              out.bits(), out.bytesPerLine(), part);
        benchmark::DoNotOptimize(out.constBits());
    }
}
BENCHMARK(BM_ScaleArgbPart)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_CopyOfAFrame(benchmark::State &state) {
    std::vector<uint8_t> from(1280 * 800 * 4, 7), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    }
}
BENCHMARK(BM_CopyOfAFrame)->Unit(benchmark::kMillisecond);

}  // namespace

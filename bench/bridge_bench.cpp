// The engine bridge on a 12 MP picture (4000 x 3000): the working copies of the three input
// records that a merge runs on (the engine's share left out), the read-back of the merged record, building the shown picture with its histogram,
// painting the histogram, an effect re-run at default settings, and everything a merge costs
// beyond the engine's own run (the engine replaced by a run that does nothing).
#include <benchmark/benchmark.h>

#include <QPainter>
#include <QTemporaryDir>
#include <cstring>
#include <memory>
#include <vector>

#include "CBImageSource.h"
#include "CBYUVRGB.h"
#include "IHDREngineController.h"
#include "IIHistogramView.h"
#include "bracket_photos.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

int NoSession(MemoryContext, int32_t, HdrSession **session) {
    static int token;
    *session = reinterpret_cast<HdrSession *>(&token);
    return RESULT_OK;
}
int NoGhost(int64_t, HdrSession *, int32_t) { return RESULT_OK; }
int NoDestroy(MemoryContext, HdrSession *) { return RESULT_OK; }
// Leaves the records as they are: record 2 then stands for the merged picture.
int NoMerge(MemoryContext, HdrSession *, __tag_QELV_OFFSCREEN *, int32_t, __tag_QELV_OFFSCREEN *,
            int32_t, const MergeParams *, int64_t, ProgressCallback, void *) {
    return RESULT_OK;
}
int CancelledMerge(MemoryContext, HdrSession *, __tag_QELV_OFFSCREEN *, int32_t,
                   __tag_QELV_OFFSCREEN *, int32_t, const MergeParams *, int64_t,
                   ProgressCallback, void *) {
    return RESULT_CANCELLED;
}

// A 12 MP bracket of photos, loaded once.
const std::vector<std::unique_ptr<CBImageSource>> &Photos() {
    static QTemporaryDir folder;
    static const auto photos =
        fixtures::OpenPhotos(fixtures::WriteBracket(folder.path(), kWidth, kHeight));
    return photos;
}

QList<const CBImageSource *> PhotoList() {
    QList<const CBImageSource *> list;
    for (const auto &photo : Photos()) list << photo.get();
    return list;
}

// A bridge whose engine does nothing, with the bracket converted and merged once.
std::unique_ptr<IHDREngineController> MergedBridge() {
    auto bridge = std::make_unique<IHDREngineController>(
        HdrEngineApi{NoSession, NoGhost, NoMerge, NoDestroy});
    bridge->convertImages(PhotoList());
    bridge->run(45, 10, 40, 6, [](FreeBuffer, int64_t, int64_t, int64_t) {});
    return bridge;
}

void BM_WorkingCopiesOfThreeRecords(benchmark::State &state) {
    const auto bridge = MergedBridge();
    HdrInputRecords records = bridge->inputOffscreen();
    const IHDREngine engine(HdrEngineApi{NoSession, NoGhost, CancelledMerge, NoDestroy});
    for (auto _ : state) benchmark::DoNotOptimize(engine.run(records, 45, 10, 40, 6, nullptr));
}
BENCHMARK(BM_WorkingCopiesOfThreeRecords)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadBackBgraThenBgr(benchmark::State &state) {
    const auto bridge = MergedBridge();
    const __tag_QELV_OFFSCREEN &record = bridge->inputOffscreen()[2];
    for (auto _ : state) {
        const FreeBuffer bgrx = CBYUVRGB::bgraData(&record);
        FreeBuffer bgr = IHDREngineController::bgra2bgr(bgrx.get(), kWidth, kHeight, 4 * kWidth);
        benchmark::DoNotOptimize(bgr.get());
    }
}
BENCHMARK(BM_ReadBackBgraThenBgr)->Unit(benchmark::kMillisecond)->UseRealTime();

std::vector<uint8_t> BgrPicture() {
    const int64_t line = CBYUVRGB::bgrLineBytes(kWidth);
    std::vector<uint8_t> bgr(static_cast<size_t>(line * kHeight));
    uint32_t seed = 1;
    for (uint8_t &byte : bgr) byte = (seed = seed * 1664525 + 1013904223) >> 24;
    return bgr;
}

void BM_Bgr2ImageWithHistogram(benchmark::State &state) {
    const std::vector<uint8_t> bgr = BgrPicture();
    for (auto _ : state) {
        IIHistogramData histogram;
        const QImage picture = CBYUVRGB::bgr2image(bgr.data(), kWidth, kHeight,
                                                   CBYUVRGB::bgrLineBytes(kWidth), &histogram);
        benchmark::DoNotOptimize(picture.constBits());
    }
}
BENCHMARK(BM_Bgr2ImageWithHistogram)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HistogramPaint(benchmark::State &state) {
    const std::vector<uint8_t> bgr = BgrPicture();
    IIHistogramData histogram;
    CBYUVRGB::bgr2image(bgr.data(), kWidth, kHeight, CBYUVRGB::bgrLineBytes(kWidth), &histogram);
    // Counts of a real picture vary: make a slope so that columns differ in height.
    for (int i = 0; i < 256; ++i) {
        histogram.rData[i] = histogram.rData[i] * (i + 1) / 64;
        histogram.bData[i] = histogram.bData[i] * (256 - i) / 64;
    }
    histogram.max = 0;
    for (int i = 0; i < 256; ++i)
        histogram.max = std::max({histogram.max, histogram.rData[i], histogram.gData[i],
                                  histogram.bData[i]});
    QImage view(256, 100, QImage::Format_RGB32);
    for (auto _ : state) {
        view.fill(Qt::black);
        QPainter painter(&view);
        IIHistogramView::drawHistogram(painter, 256, 100, &histogram);
    }
}
BENCHMARK(BM_HistogramPaint)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EffectReRunAtDefaults(benchmark::State &state) {
    const auto bridge = MergedBridge();
    const IILomoEngine defaults;
    for (auto _ : state) {
        bridge->run(defaults.lomoStyle, defaults.lomoLensColor, defaults.lomoLensOpacity,
                    defaults.lomoContrast, defaults.lomoSaturation,
                    [](FreeBuffer picture, int64_t, int64_t, int64_t) {
                        benchmark::DoNotOptimize(picture.get());
                    });
    }
}
BENCHMARK(BM_EffectReRunAtDefaults)->Unit(benchmark::kMillisecond)->UseRealTime();

// A whole merge request with an engine that does nothing: working copies, read-back, the
// effect's source and its default run.
void BM_BridgeShareOfAMerge(benchmark::State &state) {
    const auto bridge = MergedBridge();
    for (auto _ : state) {
        bridge->run(45, 10, 40, 6, [](FreeBuffer picture, int64_t, int64_t, int64_t) {
            benchmark::DoNotOptimize(picture.get());
        });
    }
}
BENCHMARK(BM_BridgeShareOfAMerge)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

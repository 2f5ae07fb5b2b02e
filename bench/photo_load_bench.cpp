// Loading a 12-megapixel photo: decode, upright drawing and conversion into a packed 4:2:2
// record, for a JPEG stored upright and one stored turned (orientation 6), and a camera raw.
#include <benchmark/benchmark.h>

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <vector>

#include "CBImageSource.h"
#include "support/photo_fixtures.h"

namespace {

constexpr int kWidth = 4032, kHeight = 3024;

const QTemporaryDir &Folder() {
    static const QTemporaryDir folder;
    return folder;
}

// A smooth scene with fine noise, so the JPEG has a camera-like amount of detail.
QImage Scene(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(5);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = static_cast<int>(random.bounded(24));
            row[x] = qRgb((x * 255 / width + noise) & 0xFF, (y * 255 / height + noise) & 0xFF,
                          ((x + y) * 127 / (width + height) + noise) & 0xFF);
        }
    }
    return image;
}

QString JpegPath(int orientation) {
    static QString paths[9];
    if (paths[orientation].isEmpty()) {
        const bool turned = orientation >= 5;
        const QImage stored = Scene(turned ? kHeight : kWidth, turned ? kWidth : kHeight);
        paths[orientation] = Folder().filePath(QString("scene%1.jpg").arg(orientation));
        fixtures::ExifFields exif;
        exif.orientation = orientation;
        fixtures::WriteFile(paths[orientation],
                            fixtures::WithSegments(fixtures::EncodeJpeg(stored, 92), 1, 72, 72, exif));
    }
    return paths[orientation];
}

QString DngPath() {
    static QString path;
    if (path.isEmpty()) {
        std::vector<uint16_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < 3; ++c)
                    rgb[(static_cast<size_t>(y) * kWidth + x) * 3 + c] =
                        static_cast<uint16_t>((x * 9 + y * 5 + c * 4000) % 50000);
        path = Folder().filePath("scene.dng");
        fixtures::WriteLinearDng(path, kWidth, kHeight, rgb, 1);
    }
    return path;
}

void LoadIntoRecord(benchmark::State &state, const QString &path) {
    CBImageSource probe;
    if (!probe.initWithPhoto(path)) {
        state.SkipWithError("photo not readable");
        return;
    }
    const int o = probe.orientation();
    const QSizeF size = probe.imageSize(o);
    const int w = (static_cast<int>(size.width()) + 3) & ~3, h = static_cast<int>(size.height());
    std::vector<uint8_t> plane(static_cast<size_t>(2) * w * h);
    __tag_QELV_OFFSCREEN record{};
    record.u32PixelArrayFormat = PIXEL_FORMAT_YUYV;
    record.i32Width = w;
    record.i32Height = h;
    record.ppu8Plane[0] = plane.data();
    record.pi32Pitch[0] = 2 * w;
    for (auto _ : state) {
        CBImageSource source;
        const bool ok = source.initWithPhoto(path) && source.open() && source.image(o, &record);
        if (!ok) state.SkipWithError("photo not loaded");
        benchmark::DoNotOptimize(plane.data());
    }
    state.counters["megapixels"] = static_cast<double>(w) * h / 1e6;
}

void BM_LoadJpegIntoRecord(benchmark::State &state) {
    LoadIntoRecord(state, JpegPath(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_LoadJpegIntoRecord)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond);

void BM_LoadDngIntoRecord(benchmark::State &state) { LoadIntoRecord(state, DngPath()); }
BENCHMARK(BM_LoadDngIntoRecord)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

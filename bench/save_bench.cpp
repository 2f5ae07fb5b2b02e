// Taking a 12-megapixel picture out of the application: each file type written as the save
// panel writes it (the bitmap copy and the commit of the file included), printing the page to a
// PDF file and copying the picture to the clipboard. Picture 0 is the middle photo of the phone
// bracket beside the project (a smooth one, or a synthetic scene of the same size without it);
// picture 1 is a busy one of the same size: the Flowers photo tiled 4 x 4 at its own detail.
// Run with --benchmark_repetitions and read the medians.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include "IIPrintView.h"
#include "bracket_photos.h"
#include "picture_writer.h"

namespace {

void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "tonefold_bench";
    static char *argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
}

QString BracketsRoot() {
    return qEnvironmentVariableIsEmpty("TONEFOLD_BRACKETS") ? QStringLiteral(TONEFOLD_BRACKETS_DIR)
                                                            : qEnvironmentVariable("TONEFOLD_BRACKETS");
}

const QImage &Picture(int64_t kind) {
    static const QImage smooth = [] {
        QImage photo(BracketsRoot() + QStringLiteral("/phone-12mp/mid.jpg"));
        if (photo.isNull()) photo = fixtures::ExposedScene(4032, 3024, 1.0);
        // The shown picture is a 32-bit bitmap without alpha.
        return photo.convertToFormat(QImage::Format_RGB32);
    }();
    static const QImage busy = [] {
        const QImage tile = QImage(BracketsRoot() + QStringLiteral("/Flowers/Flowers2.jpg"))
                                .convertToFormat(QImage::Format_RGB32);
        if (tile.isNull()) return smooth;
        QImage picture(tile.width() * 4, tile.height() * 4, QImage::Format_RGB32);
        QPainter painter(&picture);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) painter.drawImage(x * tile.width(), y * tile.height(), tile);
        return picture;
    }();
    return kind == 1 ? busy : smooth;
}

void SaveAs(benchmark::State &state, const char *uti, IISaveOptions options) {
    EnsureApplication();
    const QImage &picture = Picture(state.range(0));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture"));
    for (auto _ : state) {
        if (!WritePicture(picture, path, QString::fromLatin1(uti), options))
            state.SkipWithError("the picture was not written");
    }
    state.counters["MiB"] = QFileInfo(path).size() / (1024.0 * 1024.0);
    state.counters["MP"] = picture.width() * picture.height() / 1e6;
}

void BM_SaveJPEG(benchmark::State &state) { SaveAs(state, "public.jpeg", {0.9, std::nullopt}); }
void BM_SavePNG(benchmark::State &state) { SaveAs(state, "public.png", {}); }
void BM_SaveTIFFLZW(benchmark::State &state) { SaveAs(state, "public.tiff", {std::nullopt, 5}); }
void BM_SaveTIFFPackBits(benchmark::State &state) {
    SaveAs(state, "public.tiff", {std::nullopt, 32773});
}
void BM_SaveTIFFNone(benchmark::State &state) { SaveAs(state, "public.tiff", {std::nullopt, 1}); }

void BM_PrintToPDF(benchmark::State &state) {
    EnsureApplication();
    const QImage &picture = Picture(state.range(0));
    QTemporaryDir dir;
    for (auto _ : state) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(QStringLiteral("page.pdf")));
        const QPageLayout layout = printer.pageLayout();
        const QRectF paper = layout.fullRectPoints();
        const QMarginsF margins = IIPrintView::pageMargins(paper.size(), layout.paintRectPoints());
        const IIPrintView view(QRectF(0, 0, paper.width() - 2 * margins.left(),
                                      paper.height() - 2 * margins.top()),
                               picture);
        if (!view.printOn(printer, margins)) state.SkipWithError("nothing was printed");
    }
    state.counters["MiB"] = QFileInfo(dir.filePath(QStringLiteral("page.pdf"))).size() /
                            (1024.0 * 1024.0);
}

void BM_CopyToClipboard(benchmark::State &state) {
    EnsureApplication();
    const QImage &picture = Picture(state.range(0));
    for (auto _ : state) QGuiApplication::clipboard()->setImage(ResultImage(picture));
}

}  // namespace

// The writers compress on several threads: the wall time is the figure, and the CPU time is
// that of the whole process, every thread counted.
#define TONEFOLD_SAVE_BENCHMARK(name)                                                          \
    BENCHMARK(name)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1)             \
        ->UseRealTime()->MeasureProcessCPUTime()
TONEFOLD_SAVE_BENCHMARK(BM_SaveJPEG);
TONEFOLD_SAVE_BENCHMARK(BM_SavePNG);
TONEFOLD_SAVE_BENCHMARK(BM_SaveTIFFLZW);
TONEFOLD_SAVE_BENCHMARK(BM_SaveTIFFPackBits);
TONEFOLD_SAVE_BENCHMARK(BM_SaveTIFFNone);
BENCHMARK(BM_PrintToPDF)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CopyToClipboard)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);


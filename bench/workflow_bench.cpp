// The user's road through the real main window on the offscreen platform, with the 12-megapixel
// phone bracket beside the project: open to the merged picture painted, a merge re-run to the
// repaint, effect re-runs to the repaint, and launch to the first frame of the window. The peak
// resident memory of the process is reported as a counter. Skipped without the bracket.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QFileInfo>
#include <QUrl>
#include <memory>

#include "IIEditingViewController.h"
#include "IIMainWindow.h"

namespace {

QApplication &WorkflowApp() {
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance())) return *app;
    static int argc = 1;
    static char name[] = "tonefold_bench";
    static char *argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

QList<QUrl> PhoneBracket() {
    // TONEFOLD_BRACKETS names another folder of brackets than the one beside the project.
    const QString root = qEnvironmentVariableIsEmpty("TONEFOLD_BRACKETS")
                             ? QStringLiteral(TONEFOLD_BRACKETS_DIR)
                             : qEnvironmentVariable("TONEFOLD_BRACKETS");
    const QString folder = root + QStringLiteral("/phone-12mp/");
    QList<QUrl> urls;
    for (const char *name : {"dark.jpg", "mid.jpg", "bright.jpg"}) {
        const QString path = folder + QLatin1String(name);
        if (!QFileInfo::exists(path)) return {};
        urls << QUrl::fromLocalFile(path);
    }
    return urls;
}

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

struct Road {
    Road() {
        WorkflowApp();
        window = std::make_unique<IIMainWindow>();
        window->resize(1280, 800);
        window->show();
        QApplication::processEvents();
        editor = window->editingViewController();
    }
    void paint() {
        window->repaint();
        QApplication::processEvents();
    }
    std::unique_ptr<IIMainWindow> window;
    IIEditingViewController *editor = nullptr;
};

void BM_WorkflowOpenToPicturePainted(benchmark::State &state) {
    const QList<QUrl> urls = PhoneBracket();
    if (urls.isEmpty()) return state.SkipWithError("no phone-12mp bracket beside the project");
    Road road;
    for (auto _ : state) {
        road.editor->openURLs(urls);
        road.paint();
    }
    if (!road.editor->hasImage()) state.SkipWithError("no picture");
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_WorkflowOpenToPicturePainted)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_WorkflowEngineReRun(benchmark::State &state) {
    const QList<QUrl> urls = PhoneBracket();
    if (urls.isEmpty()) return state.SkipWithError("no phone-12mp bracket beside the project");
    Road road;
    road.editor->openURLs(urls);
    int64_t tone = 45;
    for (auto _ : state) {
        tone = tone == 45 ? 55 : 45;
        road.editor->process(tone, 10, 40, 6);
        road.paint();
    }
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_WorkflowEngineReRun)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Arguments: style, contrast, saturation.
void BM_WorkflowEffectReRun(benchmark::State &state) {
    const QList<QUrl> urls = PhoneBracket();
    if (urls.isEmpty()) return state.SkipWithError("no phone-12mp bracket beside the project");
    Road road;
    road.editor->openURLs(urls);
    for (auto _ : state) {
        road.editor->effectSettingsChanged(state.range(1), state.range(2), state.range(0));
        road.paint();
    }
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_WorkflowEffectReRun)->Args({1, 50, 50})->Args({0, 50, 0})
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_WorkflowLaunchToFirstFrame(benchmark::State &state) {
    WorkflowApp();
    for (auto _ : state) {
        IIMainWindow window;
        window.resize(1280, 800);
        window.show();
        window.repaint();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_WorkflowLaunchToFirstFrame)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

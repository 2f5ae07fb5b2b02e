// The user's road through the real main window, driven by synthesized keys and clicks: launch,
// the open panel (Ctrl+O), the waiting window, the merged picture, a merge re-run, an effect
// re-run and the picture zoomed in. A picture of the screen is saved at each step.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "CBImageSource.h"
#include "IIMainWindow.h"

namespace {

void Save(const QPixmap &pixmap, const QString &folder, const QString &file) {
    const QString path = QDir(folder).filePath(file);
    std::printf("%s %s\n", pixmap.save(path) ? "saved" : "FAILED", qPrintable(path));
}

void Shoot(const QString &folder, const QString &name, QWidget *window) {
    QTest::qWait(400);
    Save(QGuiApplication::primaryScreen()->grabWindow(0), folder, name + ".png");
    if (window) Save(window->grab(), folder, name + "-window.png");
}

// Waits, with the events running, until the condition holds or 60 s have passed.
bool WaitFor(const std::function<bool()> &condition) { return QTest::qWaitFor(condition, 60000); }

// The panel's changes start their re-run from the event queue: lets it start, then waits for
// its waiting window to close.
void WaitForRerun(IIEditingViewController *editor) {
    QCoreApplication::processEvents();
    WaitFor([&] { return !editor->waitingWindowController(); });
}

}  // namespace

void ShootWorkflowScenes(const QString &folder) {
    QDir().mkpath(folder);
    auto *editor = new IIEditingViewController;
    // Loading takes a moment longer here, so that the waiting window can be photographed.
    editor->setPhotoLoader([](CBImageSource &photo, const QString &path) {
        QThread::msleep(500);
        return photo.initWithPhoto(path) && photo.open();
    });
    IIMainWindow window(editor);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    window.resize(std::min(1100, screen.width() - 40), std::min(720, screen.height() - 40));
    window.move(screen.topLeft() + QPoint(20, 20));
    window.show();
    window.activateWindow();
    WaitFor([&] { return window.isActiveWindow(); });
    Shoot(folder, "w01-launch", &window);

    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    if (!WaitFor([&] { return editor->openController()->panel() != nullptr; })) {
        std::printf("FAILED: no open panel\n");
        return;
    }
    CBHDROpenPanel *panel = editor->openController()->panel();
    panel->setDirectory(QStringLiteral(TONEFOLD_SAMPLES_DIR "/flowers"));
    panel->findChild<QLineEdit *>("fileNameEdit")
        ->setText("\"Flowers1.jpg\" \"Flowers2.jpg\" \"Flowers3.jpg\"");
    Shoot(folder, "w02-open-panel", panel);

    // The waiting window is photographed from inside its own loop.
    QTimer::singleShot(1000, editor, [&] {
        Shoot(folder, "w03-waiting-window",
              editor->waitingWindowController() ? editor->waitingWindowController()->window()
                                                : nullptr);
    });
    auto *box = panel->findChild<QDialogButtonBox *>("buttonBox");
    QTest::mouseClick(box->button(QDialogButtonBox::Open), Qt::LeftButton);
    WaitFor([&] { return editor->hasImage() && !editor->waitingWindowController(); });
    Shoot(folder, "w04-picture", &window);

    // A merge re-run: the tone slider stepped up a page with the keyboard.
    editor->setPhotoLoader({});
    IIAdjustViewController *panelView = editor->adjustViewController();
    QSlider *tone = panelView->toneLengthSlider();
    tone->setFocus();
    QTest::keyClick(tone, Qt::Key_PageUp);
    WaitForRerun(editor);
    Shoot(folder, "w05-after-merge-rerun", &window);

    // An effect re-run: the art style box ticked, then the contrast raised.
    QTest::mouseClick(panelView->artCheck(), Qt::LeftButton, {},
                      QPoint(8, panelView->artCheck()->height() / 2));
    WaitForRerun(editor);
    QSlider *contrast = panelView->contrastSlider();
    contrast->setFocus();
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(contrast, Qt::Key_PageUp);
        WaitForRerun(editor);
    }
    Shoot(folder, "w06-after-effect-rerun", &window);

    window.activateWindow();
    WaitFor([&] { return window.isActiveWindow(); });
    QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : &window;
    QTest::keyClick(focus, Qt::Key_Plus, Qt::ControlModifier);
    QTest::keyClick(focus, Qt::Key_Plus, Qt::ControlModifier);
    Shoot(folder, "w07-zoomed-in", &window);
    std::printf("zoom mode %lld factor %.2f\n", static_cast<long long>(editor->zoomMode()),
                editor->zoomFactor());
    window.hide();
}

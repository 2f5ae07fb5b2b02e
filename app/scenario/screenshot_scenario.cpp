// Builds the application's real windows one after another over a stand-in main window and saves
// a picture of the screen for each: the open panel with its message, the alert over it, a
// three-button warning sheet, the spinning waiting window, and the adjustment panel beside a
// picture merged by the engine bridge, with that picture's histogram. Run under a display server:
//   tonefold_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "CBHDROpenController.h"
#include "CBImageSource.h"
#include "CBYUVRGB.h"
#include "IHDREngineController.h"
#include "IIAdjustViewController.h"
#include "IIWarningMessageController.h"
#include "MMWaitingWindowController.h"
#include "bracket_photos.h"
#include "localized_string.h"
#include "sheet.h"

// The drawn controls and the picture view (view_scenes.cpp).
void ShootViewScenes(const QString &folder);
// The user's road through the main window (workflow_scenes.cpp).
void ShootWorkflowScenes(const QString &folder);
// Saving, sharing, printing and quitting (save_scenes.cpp).
void ShootSaveScenes(const QString &folder);

namespace {

void WritePhoto(const QString &path, int shade) {
    QImage photo(320, 240, QImage::Format_RGB32);
    QPainter painter(&photo);
    QLinearGradient sky(0, 0, 0, 240);
    sky.setColorAt(0, QColor(shade, shade, std::min(255, shade + 60)));
    sky.setColorAt(1, QColor(shade / 2, shade / 3, 0));
    painter.fillRect(photo.rect(), sky);
    painter.end();
    QImageWriter(path, "jpeg").write(photo);
}

class Shooter {
public:
    explicit Shooter(const QString &folder) : folder_(folder) { QDir().mkpath(folder); }

    void shoot(const QString &name, QWidget *widget = nullptr) {
        QTest::qWait(400);
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        save(screen, name + ".png");
        if (widget) save(widget->grab(), name + "-window.png");
    }

private:
    void save(const QPixmap &pixmap, const QString &file) {
        const QString path = QDir(folder_).filePath(file);
        std::printf("%s %s\n", pixmap.save(path) ? "saved" : "FAILED", qPrintable(path));
    }
    QString folder_;
};

}  // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tonefold"));
    Shooter shooter(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots"));

    QTemporaryDir photos;
    const char *names[] = {"bracket_dark.jpg", "bracket_normal.jpg", "bracket_bright.jpg",
                           "other.jpg"};
    for (int i = 0; i < 4; ++i) WritePhoto(photos.filePath(names[i]), 40 + 60 * i);

    QWidget main;
    main.setWindowTitle(QStringLiteral("Tonefold"));
    main.setAutoFillBackground(true);
    QPalette palette = main.palette();
    palette.setColor(QPalette::Window, QColor::fromRgbF(0.2f, 0.2f, 0.2f));
    main.setPalette(palette);
    // Most of the screen, centred, whatever the scale factor.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    main.setGeometry(screen.adjusted(screen.width() / 10, screen.height() / 10,
                                     -screen.width() / 10, -screen.height() / 10));
    main.show();
    QTest::qWait(200);

    // The open panel with two photos chosen, then the alert its Open button brings up.
    CBHDROpenController opener;
    opener.open(&main, [](const QList<QUrl> &, const std::optional<HdrError> &) {});
    CBHDROpenPanel *panel = opener.panel();
    panel->setDirectory(photos.path());
    panel->findChild<QLineEdit *>("fileNameEdit")->setText("\"bracket_dark.jpg\" \"other.jpg\"");
    shooter.shoot("01-open-panel", panel);
    auto *box = panel->findChild<QDialogButtonBox *>("buttonBox");
    QTest::mouseClick(box->button(QDialogButtonBox::Open), Qt::LeftButton);
    auto *alert = panel->findChild<QMessageBox *>("tooManyAlert");
    shooter.shoot("02-too-many-alert", alert);
    if (alert) QTest::mouseClick(alert->buttons().front(), Qt::LeftButton);
    QTest::mouseClick(box->button(QDialogButtonBox::Cancel), Qt::LeftButton);

    // A warning sheet with all three buttons.
    IIWarningMessageController sheet;
    sheet.warningMessage = LocalizedString("IDS_SAVE_WARNING");
    sheet.promptMessage = LocalizedString("IDS_SAVE_PROMPT");
    sheet.okMessage = LocalizedString("IDS_SAVE");
    sheet.cancelMessage = LocalizedString("IDS_CANCEL");
    sheet.extendMessage = LocalizedString("IDS_DONT_SAVE");
    BeginSheet(sheet.dialog(), &main, [](int code) { std::printf("sheet ended with %d\n", code); });
    shooter.shoot("03-warning-sheet", sheet.dialog());
    sheet.cancel();

    // The waiting window, spinning inside its own loop until a timer ends it.
    MMWaitingWindowController waiting;
    waiting.setWaitingDesc(LocalizedString("IDS_LOADING"));
    QTimer::singleShot(700, &waiting, [&] {
        shooter.shoot("04-waiting-window", waiting.window());
        waiting.endAnimation();
        waiting.window()->close();
    });
    waiting.startAnimation(&main);

    // A bracket merged through the engine bridge; the picture (a plain label standing in for
    // the picture view) beside the adjustment panel with the picture's histogram.
    const auto bracket = fixtures::OpenPhotos(fixtures::WriteBracket(photos.path(), 960, 640));
    QList<const CBImageSource *> set;
    for (const auto &photo : bracket) set << photo.get();
    IHDREngineController bridge;
    auto histogram = std::make_shared<IIHistogramData>();
    QImage merged;
    int64_t width = 0, height = 0;
    if (bridge.convertImages(set))
        bridge.run(bridge.toneLength(), bridge.brightness(), bridge.toneSaturation(),
                   bridge.ghostSuppressionLevel(),
                   [&](FreeBuffer bgr, int64_t w, int64_t h, int64_t) {
                       merged = CBYUVRGB::bgr2image(bgr.get(), w, h, CBYUVRGB::bgrLineBytes(w),
                                                    histogram.get());
                       width = w;
                       height = h;
                   });
    std::printf("merged %s %lldx%lld\n", merged.isNull() ? "nothing" : "a picture",
                static_cast<long long>(width), static_cast<long long>(height));
    // Its own window at its natural size, so that the window picture is whole at any scale
    // even where the screen is too small for it.
    QWidget editor;
    editor.setWindowTitle(QStringLiteral("Tonefold"));
    auto *row = new QHBoxLayout(&editor);
    auto *picture = new QLabel(&editor);
    picture->setPixmap(QPixmap::fromImage(merged).scaledToWidth(420, Qt::SmoothTransformation));
    row->addWidget(picture, 0, Qt::AlignTop);
    auto *adjust = new IIAdjustViewController(&bridge, &editor);
    adjust->updateHistogramData(histogram);
    adjust->updateSize(width, height);
    adjust->enableControl(true);
    adjust->updateDefaultEffectsUI();
    row->addWidget(adjust);
    editor.resize(editor.sizeHint());
    editor.move(main.geometry().topLeft());
    editor.show();
    shooter.shoot("05-adjust-panel", &editor);

    main.hide();
    editor.hide();
    ShootViewScenes(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots"));
    ShootWorkflowScenes(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots"));
    ShootSaveScenes(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots"));
    return 0;
}

// The editing workflow through the real main window on the offscreen platform: the load job's
// checks and failures, the display step, the merge and effect re-runs, the menu items, the open
// flow through the panel and the window's closing.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QThread>
#include <QWindow>
#include <QTimer>
#include <atomic>
#include <memory>

#include "CBImageSource.h"
#include "IHDREngineController.h"
#include "IIAppDelegate.h"
#include "IIEditingViewController.h"
#include "IIMainWindow.h"
#include "bracket_photos.h"
#include "localized_string.h"
#include "support/photo_fixtures.h"

namespace {

using Action = IIEditingViewController::Action;

// ---- An engine that counts its merges and can be made to fail them.

std::atomic<int> gMerges{0};
std::atomic<int> gMergeResult{RESULT_OK};
// Makes each merge take at least this long, as a real photo's does.
std::atomic<int> gMergeMilliseconds{0};

int CountedMerge(MemoryContext memory, HdrSession *session, __tag_QELV_OFFSCREEN *inputs,
                 int32_t count, __tag_QELV_OFFSCREEN *outputs, int32_t index,
                 const MergeParams *params, int64_t ignored, ProgressCallback progress,
                 void *user) {
    ++gMerges;
    if (gMergeMilliseconds > 0) QThread::msleep(gMergeMilliseconds);
    if (gMergeResult != RESULT_OK) return gMergeResult;
    return RunHdrMerge(memory, session, inputs, count, outputs, index, params, ignored, progress,
                       user);
}

HdrEngineApi CountedEngine() {
    HdrEngineApi api;
    api.runMerge = CountedMerge;
    return api;
}

QByteArray WithClaimedSize(QByteArray jpeg, int width, int height) {
    const qsizetype sof = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
}

class EditingWorkflowTest : public ::testing::Test {
protected:
    void SetUp() override {
        gMerges = 0;
        gMergeResult = RESULT_OK;
        gMergeMilliseconds = 0;
        editor = new IIEditingViewController;
        editor->setEngineController(std::make_unique<IHDREngineController>(CountedEngine()));
        editor->setPhotoLoader([this](CBImageSource &photo, const QString &path) {
            loaded << QFileInfo(path).fileName();
            return photo.initWithPhoto(path) && photo.open();
        });
        window = std::make_unique<IIMainWindow>(editor);
        window->resize(900, 600);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // A job that never ends fails its test instead of hanging the program.
        watchdog.setSingleShot(true);
        watchdog.setInterval(60000);
        QObject::connect(&watchdog, &QTimer::timeout, [this] {
            ADD_FAILURE() << "a job did not end";
            editor->closeWaitingWindow();
        });
    }

    void TearDown() override {
        if (editor->warningMessageController()) editor->warningMessageController()->ok();
    }

    // Writes a bracket of the synthetic scene, w x h, under a new folder; the three URLs.
    QList<QUrl> Bracket(int width, int height) {
        const QString folder = dir.filePath(QString::number(folders++));
        QList<QUrl> urls;
        for (const QString &path : fixtures::WriteBracket(folder, width, height))
            urls << QUrl::fromLocalFile(path);
        return urls;
    }

    QUrl WriteFile(const QString &name, const QByteArray &bytes) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(fixtures::WriteFile(path, bytes));
        return QUrl::fromLocalFile(path);
    }

    // Runs the load job under the watchdog; returns when its waiting window has closed.
    void Open(const QList<QUrl> &urls) {
        loaded.clear();
        watchdog.start();
        editor->openURLs(urls);
        watchdog.stop();
        EXPECT_FALSE(editor->waitingWindowController());
    }

    // The failure sheet's message, then the sheet answered with OK; empty when none is up.
    QString TakeWarning(QString *detail = nullptr) {
        IIWarningMessageController *warning = editor->warningMessageController();
        if (!warning) return {};
        EXPECT_TRUE(warning->dialog()->isVisible());
        const QString text = warning->warningMessage;
        if (detail) *detail = warning->commentField()->text();
        QTimer::singleShot(0, warning, &IIWarningMessageController::ok);
        EXPECT_TRUE(QTest::qWaitFor([this] { return !editor->warningMessageController(); }));
        return text;
    }

    QTemporaryDir dir;
    int folders = 0;
    IIEditingViewController *editor = nullptr;
    std::unique_ptr<IIMainWindow> window;
    QStringList loaded;
    QTimer watchdog;
};

TEST_F(EditingWorkflowTest, LoadChecksRefuseBadSetsAndKeepWhatWasShown) {
    Open(Bracket(100, 100));
    ASSERT_TRUE(editor->hasImage());
    EXPECT_EQ(loaded.size(), 3);
    EXPECT_EQ(TakeWarning(), QString());
    const qint64 pictureKey = editor->imageView()->image().cacheKey();
    const qint64 thumbKey = editor->middleImageView()->pixmap().cacheKey();
    const uint8_t *record = editor->engineController()->inputOffscreen()[0].ppu8Plane[0];

    QImage small(16, 16, QImage::Format_RGB32);
    small.fill(Qt::gray);
    const QByteArray tiny = fixtures::EncodeJpeg(small, 50);
    const QList<QUrl> good = Bracket(120, 100);
    // Stored 120 x 100 like the others, but shot in portrait: upright it is 100 x 120.
    const QUrl turned = WriteFile(
        "turned.jpg",
        fixtures::WithSegments(fixtures::EncodeJpeg(fixtures::ExposedScene(120, 100, 1.0)), 0, 0,
                               0, fixtures::ExifFields{6, {}, {}, {}}));
    const QUrl narrow = Bracket(99, 100)[1];
    const QUrl broken = WriteFile("broken.jpg", tiny.left(tiny.size() / 3));
    const QUrl huge = WriteFile("huge.jpg", WithClaimedSize(tiny, 10100, 10000));
    QFile goodFile(good[1].toLocalFile());
    ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
    const QByteArray jpegOfGood = goodFile.readAll();
    const QUrl cut = WriteFile("cut.jpg", jpegOfGood.left(jpegOfGood.size() * 99 / 100));
    const QUrl wide = Bracket(130, 100)[2];
    struct Case {
        const char *name;
        QList<QUrl> urls;
        const char *key;
        QString detail;  // names the photo and the reason
        int opened = 2;  // a third photo is decoded only when the first two agree
    };
    const QString others = "the other photos are 120x100 pixels.";
    const Case cases[] = {
        {"99 x 100 second photo", {good[0], narrow, good[2]}, "IDS_RESOLUTION_SMALL_ERROR", {}},
        {"orientations 1 and 6 of one size", {good[0], turned, good[2]},
         "IDS_RESOLUTION_DIFFERENT_ERROR", "turned.jpg is 100x120 pixels, " + others},
        {"the first photo has the odd size", {turned, good[1], good[2]},
         "IDS_RESOLUTION_DIFFERENT_ERROR", "turned.jpg is 100x120 pixels, " + others},
        {"the third photo has the odd size", {good[0], good[1], turned},
         "IDS_RESOLUTION_DIFFERENT_ERROR", "turned.jpg is 100x120 pixels, " + others, 3},
        {"three sizes", {good[0], turned, wide}, "IDS_RESOLUTION_DIFFERENT_ERROR",
         "turned.jpg is 100x120 pixels, bracket0.jpg is 120x100 pixels."},
        {"undecodable second photo", {good[0], broken, good[2]}, "IDS_LOAD_FAILED",
         "broken.jpg: not a photo in a format that can be read"},
        {"over 100 megapixels", {good[0], huge, good[2]}, "IDS_LOAD_FAILED",
         "huge.jpg: larger than 100 megapixels"},
        {"second photo cut short", {good[0], cut, good[2]}, "IDS_LOAD_FAILED",
         "cut.jpg: Premature end of JPEG file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Open(c.urls);
        EXPECT_EQ(loaded.size(), c.opened);
        QString detail;
        EXPECT_EQ(TakeWarning(&detail), LocalizedString(c.key));
        EXPECT_EQ(detail, c.detail);
        EXPECT_EQ(editor->imageView()->image().cacheKey(), pictureKey);
        EXPECT_EQ(editor->middleImageView()->pixmap().cacheKey(), thumbKey);
        EXPECT_EQ(editor->engineController()->inputOffscreen()[0].ppu8Plane[0], record);
    }
    EXPECT_EQ(gMerges, 1);
}

TEST_F(EditingWorkflowTest, FirstDisplayShowsPictureHistogramAndSizeInOrder) {
    // Steps arrive as thumbnails, display, close: at the display the thumbnails are there and
    // the waiting window is still up.
    bool sawDisplay = false;
    QObject::connect(editor, &IIEditingViewController::pictureChanged, [&] {
        sawDisplay = true;
        EXPECT_FALSE(editor->leftImageView()->pixmap().isNull());
        EXPECT_FALSE(editor->rightImageView()->pixmap().isNull());
        EXPECT_TRUE(editor->waitingWindowController());
    });
    IIAdjustViewController *panel = editor->adjustViewController();
    EXPECT_FALSE(editor->saveButn()->isEnabled());
    EXPECT_FALSE(panel->contrastSlider()->isEnabled());

    Open(Bracket(160, 120));
    EXPECT_TRUE(sawDisplay);
    ASSERT_TRUE(editor->hasImage());
    EXPECT_EQ(editor->imageView()->image().size(), QSize(160, 120));
    const auto histogram = panel->histogramView()->histogramData();
    ASSERT_TRUE(histogram);
    int64_t total = 0;
    for (int64_t count : histogram->gData) total += count;
    EXPECT_EQ(total, 160 * 120);
    EXPECT_TRUE(panel->sizeField()->text().contains("160x120"));
    EXPECT_EQ(editor->zoomMode(), IIEditingViewController::kZoomFit);
    EXPECT_TRUE(editor->saveButn()->isEnabled());
    EXPECT_TRUE(editor->shareButn()->isEnabled());
    EXPECT_FALSE(editor->removeButn()->isEnabled());
    EXPECT_TRUE(panel->contrastSlider()->isEnabled());
    EXPECT_EQ(panel->contrastSlider()->value(), 0);
    EXPECT_EQ(panel->saturationSlider()->value(), 0);
    EXPECT_FALSE(panel->artCheck()->isChecked());
    EXPECT_TRUE(editor->isDirty());
    EXPECT_TRUE(editor->needSave());
}

TEST_F(EditingWorkflowTest, ThumbnailsOfTurnedPhotosAreUpright) {
    // A landscape bracket with a red mark near its top-left corner and a blue one near its
    // top-right corner, stored as a camera held for each orientation.
    const int orientations[] = {1, 3, 5, 6, 8};
    for (int orientation : orientations) {
        SCOPED_TRACE(orientation);
        QList<QUrl> urls;
        for (double gain : {0.25, 1.0, 4.0}) {
            QImage upright = fixtures::ExposedScene(160, 120, gain);
            for (int y = 16; y < 40; ++y)
                for (int x = 16; x < 40; ++x) {
                    upright.setPixel(x, y, qRgb(255, 0, 0));
                    upright.setPixel(159 - x, y, qRgb(0, 0, 255));
                }
            urls << WriteFile(QStringLiteral("turned%1-%2.jpg").arg(orientation).arg(gain),
                              fixtures::WithSegments(
                                  fixtures::EncodeJpeg(
                                      fixtures::StoredForOrientation(upright, orientation)),
                                  0, 0, 0, fixtures::ExifFields{orientation, {}, {}, {}}));
        }
        Open(urls);
        ASSERT_TRUE(editor->hasImage());
        EXPECT_EQ(editor->imageView()->image().size(), QSize(160, 120));
        for (QLabel *view : {editor->leftImageView(), editor->middleImageView(),
                             editor->rightImageView()}) {
            const QImage thumbnail = view->pixmap().toImage();
            ASSERT_GT(thumbnail.width(), thumbnail.height()) << "landscape, as the picture";
            const int w = thumbnail.width(), h = thumbnail.height();
            const QRgb red = thumbnail.pixel(w * 28 / 160, h * 28 / 120);
            const QRgb blue = thumbnail.pixel(w * 131 / 160, h * 28 / 120);
            EXPECT_GT(qRed(red), qBlue(red) + 100);
            EXPECT_GT(qBlue(blue), qRed(blue) + 100);
        }
    }
}

TEST_F(EditingWorkflowTest, RerunsKeepTheZoomAndAnEffectChangeNeverMerges) {
    Open(Bracket(200, 150));
    ASSERT_TRUE(editor->hasImage());
    editor->zoomImage(2.0);
    const QImage merged = editor->imageView()->image();

    editor->engineSettingsChanged(60, 40, 10, 6);
    EXPECT_FALSE(editor->waitingWindowController());
    EXPECT_EQ(gMerges, 2);
    EXPECT_EQ(editor->engineController()->toneLength(), 60);
    EXPECT_EQ(editor->zoomMode(), IIEditingViewController::kZoomFree);
    EXPECT_EQ(editor->zoomFactor(), 2.0);
    EXPECT_EQ(editor->imageView()->zoom(), 2.0);
    const QImage remerged = editor->imageView()->image();
    EXPECT_NE(remerged, merged);

    editor->effectSettingsChanged(50, 50, 1);
    EXPECT_FALSE(editor->waitingWindowController());
    EXPECT_EQ(gMerges, 2) << "an effect change works on the last merged picture";
    EXPECT_NE(editor->imageView()->image(), remerged);
    editor->effectSettingsChanged(0, 0, 0);
    EXPECT_EQ(editor->imageView()->image(), remerged) << "no effect gives the merge back";
    EXPECT_EQ(editor->zoomFactor(), 2.0);
    EXPECT_EQ(TakeWarning(), QString());

    Open(Bracket(200, 150));
    EXPECT_EQ(editor->zoomMode(), IIEditingViewController::kZoomFit);
}

// Where a slider's handle is and a point of its track right of the handle.
QRect HandleRect(QSlider *slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle,
                                           slider);
}

TEST_F(EditingWorkflowTest, SliderGesturesMergeOncePerGesture) {
    Open(Bracket(200, 150));
    ASSERT_TRUE(editor->hasImage());
    // Merges longer than the slider's auto-repeat delay, as a real photo's are.
    gMergeMilliseconds = 700;
    QSlider *length = editor->adjustViewController()->toneLengthSlider();
    const auto settle = [&](int merges) {
        watchdog.start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return gMerges == merges; }, 10000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !editor->waitingWindowController(); }, 10000));
        QTest::qWait(800);  // no late steps
        watchdog.stop();
        EXPECT_EQ(gMerges, merges);
    };

    // Mouse events go through the window, as the desktop's do, so that a modal window can hold
    // them back; the release of a click comes a moment after the press, while the press's work
    // may still run.
    QWindow *surface = window->windowHandle();
    const auto at = [&](QPoint point) { return length->mapTo(window.get(), point); };

    // A click on the track near its right end: one page step, one merge.
    const int before = length->value();
    const QPoint nearEnd = at(QPoint(length->width() - 4, length->height() / 2));
    QTimer::singleShot(100, [&] { QTest::mouseRelease(surface, Qt::LeftButton, {}, nearEnd); });
    QTest::mousePress(surface, Qt::LeftButton, {}, nearEnd);
    settle(2);
    EXPECT_EQ(length->value(), before + length->pageStep());
    EXPECT_EQ(editor->engineController()->toneLength(), before + length->pageStep());

    // A drag of the handle: one merge when it is let go.
    const QPoint grip = at(HandleRect(length).center());
    QTest::mousePress(surface, Qt::LeftButton, {}, grip);
    for (int dx = 4; dx <= 40; dx += 4) QTest::mouseMove(surface, grip - QPoint(dx, 0));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, grip - QPoint(40, 0));
    settle(3);
    EXPECT_LT(length->value(), before + length->pageStep());
    EXPECT_EQ(editor->engineController()->toneLength(), length->value());

    // Two key steps: one merge each.
    const int dragged = length->value();
    length->setFocus();
    QTest::keyClick(length, Qt::Key_Right);
    settle(4);
    QTest::keyClick(length, Qt::Key_Right);
    settle(5);
    EXPECT_EQ(length->value(), dragged + 2);
    EXPECT_EQ(editor->engineController()->toneLength(), dragged + 2);
}

TEST_F(EditingWorkflowTest, EngineFailuresCloseTheWaitingWindowAndShowTheSheet) {
    gMergeResult = RESULT_INVALID_ARGUMENT;
    Open(Bracket(100, 100));
    EXPECT_FALSE(editor->hasImage());
    EXPECT_FALSE(editor->saveButn()->isEnabled());
    EXPECT_EQ(TakeWarning(), LocalizedString("IDS_MERGE_FAILED"));

    gMergeResult = RESULT_OK;
    Open(Bracket(100, 100));
    ASSERT_TRUE(editor->hasImage());
    const QImage shown = editor->imageView()->image();
    gMergeResult = RESULT_INVALID_ARGUMENT;
    editor->process(70, 10, 40, 6);
    EXPECT_FALSE(editor->waitingWindowController());
    EXPECT_EQ(TakeWarning(), LocalizedString("IDS_MERGE_FAILED"));
    EXPECT_EQ(editor->imageView()->image(), shown);
    EXPECT_TRUE(editor->saveButn()->isEnabled());
}

TEST_F(EditingWorkflowTest, AnEffectRunWithoutAPictureOnlyClosesTheWindow) {
    editor->effectSettingsChanged(50, 50, 1);
    EXPECT_FALSE(editor->waitingWindowController());
    EXPECT_FALSE(editor->hasImage());
    EXPECT_EQ(TakeWarning(), QString());
    EXPECT_FALSE(editor->isDirty());
}

TEST_F(EditingWorkflowTest, MenuItemsCarryTheirTitlesKeysAndFollowThePicture) {
    struct Item {
        QAction *action;
        const char *key;
        QKeySequence keys;
        bool needsPicture;
    };
    const Item items[] = {
        {window->importTilesMeunItem(), "IDS_MENU_TILES", QKeySequence("Ctrl+O"), false},
        {window->saveMeunItem(), "IDS_MENU_SAVE", QKeySequence("Ctrl+S"), true},
        {window->pageSetupMeunItem(), "IDS_MENU_PAGESETUP", {}, false},
        {window->printMeunItem(), "IDS_MENU_PRINT", QKeySequence("Ctrl+P"), true},
        {window->actualSizeMenuItem(), "IDS_MENU_ACTUALSIZE", QKeySequence("Ctrl+0"), true},
        {window->fitinMeunItem(), "IDS_MENU_FITIN", {}, true},
        {window->zoomInMeunItem(), "IDS_MENU_ZOOMIN", QKeySequence("Ctrl++"), true},
        {window->zoomOutMeunItem(), "IDS_MENU_ZOOMOUT", QKeySequence("Ctrl+-"), true},
        {window->onlineHelpMeunItem(), "IDS_MENU_HELP", QKeySequence("F1"), false},
        {window->faqMeunItem(), "IDS_MENU_FAQ", {}, false},
        {window->ccsMeunItem(), "IDS_MENU_CCS", {}, false},
    };
    for (const Item &item : items) {
        SCOPED_TRACE(item.key);
        ASSERT_TRUE(item.action);
        EXPECT_EQ(item.action->text(), LocalizedString(item.key));
        if (!item.keys.isEmpty()) {
            EXPECT_TRUE(item.action->shortcuts().contains(item.keys));
        }
        EXPECT_EQ(item.action->isEnabled(), !item.needsPicture);
    }
    EXPECT_EQ(window->aboutMeunItem()->text(), LocalizedString("IDS_MENU_ABOUT").arg("Tonefold"));
    EXPECT_EQ(window->quitMeunItem()->text(), LocalizedString("IDS_MENU_QUIT").arg("Tonefold"));
    EXPECT_TRUE(window->quitMeunItem()->shortcuts().contains(QKeySequence("Ctrl+Q")));
    EXPECT_EQ(window->windowTitle(), "Tonefold");

    Open(Bracket(100, 100));
    for (const Item &item : items) EXPECT_TRUE(item.action->isEnabled()) << item.key;
    window->zoomInMeunItem()->trigger();
    EXPECT_EQ(editor->zoomMode(), IIEditingViewController::kZoomFree);
    window->actualSizeMenuItem()->trigger();
    EXPECT_EQ(editor->zoomMode(), IIEditingViewController::kZoomActualSize);
}

// Hide minimises the window; Hide Others, Show All and the background import carry their
// titles but stay disabled and out of every menu, also after the menus are validated.
TEST_F(EditingWorkflowTest, HideMinimisesAndTheItemsWithoutADesktopMeaningStayOut) {
    ASSERT_TRUE(window->hideMeunItem());
    EXPECT_EQ(window->hideMeunItem()->text(), LocalizedString("IDS_MENU_HIDE").arg("Tonefold"));
    EXPECT_TRUE(window->hideMeunItem()->isEnabled());
    EXPECT_EQ(window->hideOthersMenuItem()->text(), LocalizedString("IDS_MENU_HIDEOTHERS"));
    EXPECT_EQ(window->showAllMenuItem()->text(), LocalizedString("IDS_MENU_SHOWALL"));
    EXPECT_FALSE(window->importBackgroundMeunItem()->text().isEmpty());
    Open(Bracket(100, 100));
    window->validateMenuItems();
    QList<QAction *> placed;
    for (QMenu *menu : window->menuBar()->findChildren<QMenu *>()) placed << menu->actions();
    EXPECT_TRUE(placed.contains(window->hideMeunItem()));
    for (QAction *item : {window->hideOthersMenuItem(), window->showAllMenuItem(),
                          window->importBackgroundMeunItem()}) {
        EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
        EXPECT_FALSE(placed.contains(item)) << item->text().toStdString();
    }
    window->hideMeunItem()->trigger();
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);
}

// The workflow's hooks: the panel knows its editor, the effect step keeps the picture, the
// sheet ends hide their sheet and the notices change nothing.
TEST_F(EditingWorkflowTest, HooksOfTheWorkflow) {
    EXPECT_EQ(editor->adjustViewController()->editingViewController(), editor);
    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(Qt::red);
    EXPECT_EQ(editor->effect(picture), picture);
    EXPECT_FALSE(editor->isImageItemExist(QStringLiteral("anything")));

    QWidget sheet(window.get(), Qt::Sheet);
    sheet.show();
    editor->editSheetDidEnd(&sheet, 1);
    EXPECT_FALSE(sheet.isVisible());
    editor->editSheetDidEnd(nullptr, 0);
    editor->pictureTakerDidEnd(nullptr, 0);
    editor->printOperationDidRun(true);
    bool cancel = false;
    editor->engineController()->runProgress(50, &cancel);
    editor->engineController()->runFinished(RESULT_OK);
    editor->engineController()->runFailed(RESULT_OUT_OF_MEMORY);
    EXPECT_FALSE(cancel);
    EXPECT_FALSE(editor->hasImage());
    EXPECT_FALSE(editor->isDirty());
    EXPECT_EQ(gMerges, 0);
}

// Photos by MIME type: JPEG and TIFF by name or by their bytes, camera raw by name; not a PNG,
// a directory, text or a missing file.
TEST_F(EditingWorkflowTest, SupportedImagesByType) {
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    auto saved = [&](const QString &name, const char *format) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(picture.save(path, format));
        return path;
    };
    const QString folder = dir.filePath(QStringLiteral("folder.jpg"));
    ASSERT_TRUE(QDir().mkpath(folder));
    struct Case {
        QString path;
        bool supported;
    };
    const Case cases[] = {
        {saved(QStringLiteral("a.jpg"), "JPEG"), true},
        {saved(QStringLiteral("jpeg-bytes.bin"), "JPEG"), true},
        {WriteFile(QStringLiteral("b.tif"), QByteArray("II*\0\x08\0\0\0", 8)).toLocalFile(), true},
        {WriteFile(QStringLiteral("c.cr2"), QByteArray(64, '\0')).toLocalFile(), true},
        {saved(QStringLiteral("d.png"), "PNG"), false},
        {WriteFile(QStringLiteral("e.txt"), "plain words").toLocalFile(), false},
        {folder, false},
        {dir.filePath(QStringLiteral("missing.jpg")), false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(IIEditingViewController::isSupportImage(c.path), c.supported)
            << c.path.toStdString();
}

TEST_F(EditingWorkflowTest, ZoomInTakesControlEqualsAsWellAsControlPlus) {
    Open(Bracket(400, 300));
    ASSERT_TRUE(editor->hasImage());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } presses[] = {
        {Qt::Key_Equal, Qt::ControlModifier},
        {Qt::Key_Plus, Qt::ControlModifier},
        {Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier},
    };
    for (const auto &press : presses) {
        SCOPED_TRACE(QKeySequence(press.key | press.modifiers).toString().toStdString());
        editor->zoomActual();
        QTest::keyClick(window.get(), press.key, press.modifiers);
        EXPECT_EQ(editor->zoomMode(), IIEditingViewController::kZoomFree);
        EXPECT_EQ(editor->zoomFactor(), 1.5);
    }
}

TEST_F(EditingWorkflowTest, HelpPagesWithoutABrowserNameTheirFile) {
    QList<QUrl> opened;
    bool opens = true;
    IIMainWindow::setUrlOpener([&](const QUrl &url) {
        opened << url;
        return opens;
    });
    const struct {
        QAction *item;
        const char *page;
    } items[] = {{window->onlineHelpMeunItem(), "help.html"},
                 {window->faqMeunItem(), "faq.html"},
                 {window->ccsMeunItem(), "support.html"}};
    for (const auto &item : items) {
        SCOPED_TRACE(item.page);
        const QUrl url = IIMainWindow::helpPageUrl(item.page);
        ASSERT_TRUE(url.isLocalFile());
        opens = true;
        item.item->trigger();
        EXPECT_EQ(opened.takeLast(), url);
        EXPECT_EQ(TakeWarning(), QString());
        opens = false;
        item.item->trigger();
        EXPECT_EQ(opened.takeLast(), url);
        const QString alert = TakeWarning();
        EXPECT_EQ(alert, LocalizedString("IDS_HELP_NO_BROWSER").arg(url.toLocalFile()));
        EXPECT_TRUE(alert.contains(QDir(QCoreApplication::applicationDirPath())
                                       .filePath(QStringLiteral("help/") + item.page)));
    }
    IIMainWindow::setUrlOpener({});
}

TEST(EditingItems, ValidationDependsOnlyOnThePicture) {
    for (Action action : {Action::kSaveAs, Action::kPrint, Action::kZoomFit, Action::kZoomIn,
                          Action::kZoomActual, Action::kZoomOut}) {
        EXPECT_FALSE(IIEditingViewController::validateUserInterfaceItem(action, false));
        EXPECT_TRUE(IIEditingViewController::validateUserInterfaceItem(action, true));
    }
    for (Action action : {Action::kOpenTile, Action::kPrintSetup, Action::kOther})
        EXPECT_TRUE(IIEditingViewController::validateUserInterfaceItem(action, false));
}

TEST(EditingItems, QuitRepliesFollowTheWindowsAnswer) {
    EXPECT_EQ(IIAppDelegate::replyForAnswer(0), IIAppDelegate::kTerminateCancel);
    EXPECT_EQ(IIAppDelegate::replyForAnswer(1), IIAppDelegate::kTerminateNow);
    EXPECT_EQ(IIAppDelegate::replyForAnswer(2), IIAppDelegate::kTerminateLater);
    EXPECT_EQ(IIAppDelegate::replyForAnswer(-1), IIAppDelegate::kTerminateNow);
    IIAppDelegate delegate;
    EXPECT_EQ(delegate.applicationShouldTerminate(), IIAppDelegate::kTerminateNow);
}

TEST_F(EditingWorkflowTest, ClosingTheWindowWithoutAPictureQuits) {
    // The application quits with its last window.
    EXPECT_TRUE(QGuiApplication::quitOnLastWindowClosed());
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(EditingWorkflowTest, TheOpenPanelsThreePhotosAreMerged) {
    const QList<QUrl> urls = Bracket(100, 100);
    watchdog.start();
    window->importTilesMeunItem()->trigger();
    CBHDROpenPanel *panel = editor->openController()->panel();
    ASSERT_TRUE(panel);
    panel->setDirectory(QFileInfo(urls[0].toLocalFile()).path());
    QStringList quoted;
    for (const QUrl &url : urls) quoted << '"' + url.fileName() + '"';
    panel->findChild<QLineEdit *>("fileNameEdit")->setText(quoted.join(' '));
    QTimer::singleShot(0, panel, [panel] {
        panel->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Open)->click();
    });
    EXPECT_TRUE(QTest::qWaitFor([this] { return editor->hasImage(); }, 30000));
    EXPECT_TRUE(QTest::qWaitFor([this] { return !editor->waitingWindowController(); }));
    watchdog.stop();
    EXPECT_EQ(loaded.size(), 3);
    EXPECT_EQ(editor->imageView()->image().size(), QSize(100, 100));
}

// The bundled real bracket, merged through the window with the real engine.
TEST_F(EditingWorkflowTest, RealBracketFlowers) {
    // TONEFOLD_BRACKETS names another folder of brackets than the one beside the project.
    const QString brackets = qEnvironmentVariableIsEmpty("TONEFOLD_BRACKETS")
                                 ? QStringLiteral(TONEFOLD_BRACKETS_DIR)
                                 : qEnvironmentVariable("TONEFOLD_BRACKETS");
    const QDir folder(brackets + QStringLiteral("/Flowers"));
    if (!folder.exists("Flowers1.jpg")) GTEST_SKIP() << "no real brackets beside the project";
    QList<QUrl> urls;
    for (const char *name : {"Flowers1.jpg", "Flowers2.jpg", "Flowers3.jpg"})
        urls << QUrl::fromLocalFile(folder.filePath(name));
    Open(urls);
    EXPECT_EQ(TakeWarning(), QString());
    ASSERT_TRUE(editor->hasImage());
    const QSize size = editor->imageView()->image().size();
    // The engine crops a few border pixels after registration.
    EXPECT_GT(size.width(), 1000);
    EXPECT_LE(size.width(), 1080);
    EXPECT_GT(size.height(), 660);
    EXPECT_LE(size.height(), 720);
    const auto histogram = editor->adjustViewController()->histogramView()->histogramData();
    ASSERT_TRUE(histogram);
    int64_t total = 0, middle = 0, sum = 0;
    for (int v = 0; v < 256; ++v) {
        total += histogram->gData[v];
        sum += v * histogram->gData[v];
        if (v >= 16 && v < 240) middle += histogram->gData[v];
    }
    EXPECT_EQ(total, int64_t(size.width()) * size.height());
    // A merged picture keeps most of its samples away from the clipped ends, at a middling level.
    EXPECT_GT(middle, total * 7 / 10);
    EXPECT_GT(sum / total, 60);
    EXPECT_LT(sum / total, 200);
    EXPECT_TRUE(editor->adjustViewController()->sizeField()->text().contains(
        QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
}

}  // namespace

// The picture's ways out of the real main window: the save panel with each page of its
// accessory, a file saved in each type, the panel refusing a link to a file of another type,
// the sharing menu above the Share button, printing to a
// PDF file (its page rendered by pdftoppm where it is installed, else drawn by the page view) and the unsaved-work sheet when
// the window is closed, answered with Don't Save.
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "IIMainWindow.h"
#include "IISharingServicePicker.h"

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

bool WaitFor(const std::function<bool()> &condition) { return QTest::qWaitFor(condition, 60000); }

IISavePanel *OpenSavePanel(IIMainWindow &window, const QString &folder) {
    window.saveMeunItem()->trigger();
    IIEditingViewController *editor = window.editingViewController();
    if (!WaitFor([&] { return editor->savePanel() && editor->savePanel()->isVisible(); }))
        return nullptr;
    editor->savePanel()->setDirectory(folder);
    return editor->savePanel();
}

void ConfirmSave(IIMainWindow &window, IISavePanel *panel, const QString &name) {
    panel->setNameFieldStringValue(name);
    auto *box = panel->findChild<QDialogButtonBox *>("buttonBox");
    QTest::mouseClick(box->button(QDialogButtonBox::Save), Qt::LeftButton);
    WaitFor([&] { return !window.editingViewController()->savePanel(); });
}

}  // namespace

void ShootSaveScenes(const QString &folder) {
    QDir().mkpath(folder);
    const QString files = QDir(folder).filePath(QStringLiteral("saved"));
    QDir(files).removeRecursively();
    QDir().mkpath(files);

    IIMainWindow window;
    IIEditingViewController *editor = window.editingViewController();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    window.resize(std::min(1100, screen.width() - 40), std::min(720, screen.height() - 40));
    window.move(screen.topLeft() + QPoint(20, 20));
    window.show();
    window.activateWindow();
    WaitFor([&] { return window.isActiveWindow(); });
    QList<QUrl> urls;
    for (const char *name : {"Flowers1.jpg", "Flowers2.jpg", "Flowers3.jpg"})
        urls << QUrl::fromLocalFile(QStringLiteral(TONEFOLD_SAMPLES_DIR "/flowers/") + name);
    editor->openURLs(urls);
    if (!WaitFor([&] { return editor->hasImage() && !editor->waitingWindowController(); })) {
        std::printf("FAILED: no picture to save\n");
        return;
    }

    // The save panel on each page of its accessory; a file saved from each.
    struct Page {
        const char *scene, *uti, *name;
        int quality, compression;
    };
    const Page pages[] = {{"s01-save-panel-png", "public.png", "Flowers", 0, 0},
                          {"s02-save-panel-jpeg", "public.jpeg", "Flowers", 70, 0},
                          {"s03-save-panel-tiff", "public.tiff", "Flowers", 0, 5}};
    for (const Page &page : pages) {
        IISavePanel *panel = OpenSavePanel(window, files);
        if (!panel) {
            std::printf("FAILED: no save panel\n");
            return;
        }
        IISaveViewController *accessory = panel->accessoryView();
        accessory->typePopup()->setCurrentIndex(accessory->typePopup()->findData(page.uti));
        if (page.quality) accessory->qualitySlider()->setValue(page.quality);
        if (page.compression)
            accessory->compressionPopup()->setCurrentIndex(
                accessory->compressionPopup()->findData(page.compression));
        panel->setNameFieldStringValue(page.name);
        Shoot(folder, page.scene, panel);
        ConfirmSave(window, panel, page.name);
    }
    for (const QFileInfo &file : QDir(files).entryInfoList(QDir::Files))
        std::printf("wrote %s (%lld bytes)\n", qPrintable(file.fileName()),
                    static_cast<long long>(file.size()));
    std::printf("unsaved after saving: %s\n", editor->isDirty() ? "yes" : "no");

    // A JPEG named through a link to the PNG just saved: the panel says why at once and stays
    // open for another name.
    QFile::link(QStringLiteral("Flowers.png"), QDir(files).filePath(QStringLiteral("Linked.jpg")));
    if (IISavePanel *panel = OpenSavePanel(window, files)) {
        IISaveViewController *accessory = panel->accessoryView();
        accessory->typePopup()->setCurrentIndex(accessory->typePopup()->findData("public.jpeg"));
        panel->setNameFieldStringValue(QStringLiteral("Linked.jpg"));
        auto *box = panel->findChild<QDialogButtonBox *>("buttonBox");
        QTest::mouseClick(box->button(QDialogButtonBox::Save), Qt::LeftButton);
        QMessageBox *refusal = nullptr;
        if (WaitFor([&] {
                refusal = panel->findChild<QMessageBox *>(QStringLiteral("saveRefusal"));
                return refusal && refusal->isVisible();
            })) {
            Shoot(folder, "s03r-save-refusal", panel);
            refusal->accept();
        }
        std::printf("panel open after the refusal: %s\n", panel->isVisible() ? "yes" : "no");
        panel->reject();
        WaitFor([&] { return !editor->savePanel(); });
    }

    // The sharing menu above the Share button; Copy puts the picture on the clipboard.
    IISharingServicePicker::setServiceList({});
    QTest::mouseClick(editor->shareButn(), Qt::LeftButton);
    if (WaitFor([&] { return editor->sharingServicePicker() &&
                             editor->sharingServicePicker()->isVisible(); })) {
        Shoot(folder, "s04-share-menu", editor->sharingServicePicker());
        editor->sharingServicePicker()->actions().first()->trigger();
        const QImage copied = QGuiApplication::clipboard()->image();
        std::printf("clipboard picture %dx%d\n", copied.width(), copied.height());
    }

    // Printing to a PDF file through the print dialog: page setup makes the print settings,
    // which then name the file.
    editor->printSetup();
    if (WaitFor([&] { return editor->pageLayoutPanel() != nullptr; })) {
        Shoot(folder, "s05-page-setup", editor->pageLayoutPanel());
        editor->pageLayoutPanel()->reject();
        WaitFor([&] { return !editor->pageLayoutPanel(); });
    }
    QPrinter *printer = editor->imagePrintInfo();
    const QString pdf = QDir(files).filePath(QStringLiteral("printed.pdf"));
    if (printer) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf);
    }
    editor->print();
    if (editor->printPanel()) {
        Shoot(folder, "s06-print-dialog", editor->printPanel());
        editor->printPanel()->accept();
        WaitFor([&] { return !editor->printPanel(); });
    }
    std::printf("printed %s (%lld bytes)\n", qPrintable(pdf),
                static_cast<long long>(QFileInfo(pdf).size()));
    const QString renderer = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (!renderer.isEmpty()) {
        QProcess::execute(renderer, {QStringLiteral("-r"), QStringLiteral("50"),
                                     QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf,
                                     QDir(folder).filePath(QStringLiteral("s07-printed-page"))});
    } else if (printer && editor->printView()) {
        // Without pdftoppm: the same page drawn by the page view on a white sheet of the
        // paper's size, one pixel a point.
        std::printf("pdftoppm is not installed: the page is drawn by the page view instead\n");
        const QPageLayout layout = printer->pageLayout();
        const QRectF paper = layout.fullRectPoints();
        const QMarginsF margins =
            IIPrintView::pageMargins(paper.size(), layout.paintRectPoints());
        QImage page(paper.size().toSize(), QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        painter.translate(margins.left(), margins.top());
        editor->printView()->drawRect(painter);
        painter.end();
        Save(QPixmap::fromImage(page), folder, QStringLiteral("s07-printed-page-drawn.png"));
    }

    // A change, then closing the window: the unsaved-work sheet; Don't Save closes it.
    editor->effectSettingsChanged(0, 0, 0);
    WaitFor([&] { return editor->isDirty() && !editor->waitingWindowController(); });
    window.close();
    if (WaitFor([&] { return editor->warningMessageController() != nullptr; })) {
        Shoot(folder, "s08-unsaved-work-sheet", editor->warningMessageController()->window());
        editor->warningMessageController()->other();
    }
    WaitFor([&] { return !window.isVisible(); });
    std::printf("window closed after Don't Save: %s\n", window.isVisible() ? "no" : "yes");
}

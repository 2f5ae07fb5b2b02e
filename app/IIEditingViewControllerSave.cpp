// The editing controller's ways out for the picture: the save panel and the writers, page setup
// and printing, the sharing menu, and the unsaved-work sheets before opening photos and before
// quitting.
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include "IIEditingViewController.h"
#include "IIPageLayoutPanel.h"
#include "localized_string.h"
#include "picture_writer.h"
#include "sheet.h"

namespace {

// Hides and drops the unsaved-work sheet; the warning sheet's slot is cleared when it still
// holds this one.
void DropSheet(QPointer<IIWarningMessageController> &sheet,
               QPointer<IIWarningMessageController> &current) {
    IIWarningMessageController *warning = sheet.data();
    sheet.clear();
    if (current == warning) current.clear();
    if (!warning) return;
    if (warning->isWindowLoaded()) warning->window()->hide();
    warning->deleteLater();
}

}  // namespace

IISaveViewController *IIEditingViewController::saveViewController() {
    if (!saveViewController_) {
        saveViewController_ = new IISaveViewController(view_);
        saveViewController_->hide();
    }
    return saveViewController_;
}

void IIEditingViewController::save(SaveHandler handler) {
    IISaveViewController *accessory = saveViewController();
    accessory->saveUTI = QStringLiteral("public.png");
    accessory->jpegQuality = 0.9f;
    accessory->tiffCompression = int(IISaveViewController::kCompressionNone);

    auto *panel = new IISavePanel(hostWindow());
    savePanel_ = panel;
    panel->setAccessoryView(accessory);
    accessory->show();
    // Restricts the new panel to PNG names and shows the accessory's PNG page.
    accessory->setSaveType(accessory->saveUTI);
    panel->setNameFieldStringValue(QString());

    QPointer<IIEditingViewController> self(this);
    BeginSheet(panel, hostWindow(), [self, panel, handler = std::move(handler)](int result) {
        if (handler) handler(result, panel);
        // The accessory outlives the panel: it goes back under the view, hidden.
        if (self && self->saveViewController_) {
            self->saveViewController_->hide();
            self->saveViewController_->setParent(self->view_);
        }
        panel->deleteLater();
    });
}

void IIEditingViewController::saveAs() {
    if (!hasImage()) return;
    QPointer<IIEditingViewController> self(this);
    save([self](int result, IISavePanel *panel) {
        panel->hide();
        if (self && result == kSheetOK && !panel->URL().isEmpty())
            self->writeShownPicture(panel, true);
    });
}

bool IIEditingViewController::writeShownPicture(IISavePanel *panel, bool clearDirty) {
    IISaveViewController *accessory = saveViewController();
    // An existing file the user may not write, or a link to a file named for another type, is
    // told as such before anything is written.
    const QUrl url = panel->URL();
    const QString problem =
        url.isLocalFile() ? SaveTargetProblem(url.toLocalFile(), accessory->saveType()) : QString();
    if (!problem.isEmpty()) {
        showFailedWarning(LocalizedString("IDS_SAVE_FAILED"), problem);
        return false;
    }
    const bool saved = save(imageView_ ? imageView_->image() : QImage(), nullptr, panel->URL(),
                            accessory->saveType(), accessory->writeOptions());
    if (saved && clearDirty) isDirty_ = false;
    if (!saved) showFailedWarning(LocalizedString("IDS_SAVE_FAILED"));
    return saved;
}

bool IIEditingViewController::save(const QImage &picture, const QImage *, const QUrl &url,
                                   const QString &type, const IISaveOptions &options) {
    if (!url.isLocalFile()) return false;
    return WritePicture(picture, url.toLocalFile(), type, options);
}

bool IIEditingViewController::saveTIFF(const QImage &picture, const QImage *original,
                                       const QUrl &url, const IISaveOptions &options) {
    if (!url.isLocalFile()) return false;
    return WriteTIFF(picture, original, url.toLocalFile(), options, kTIFFPairDPI);
}

QImage IIEditingViewController::resultImage(const QImage &picture) {
    return ResultImage(picture);
}

QImage IIEditingViewController::displayImage() const {
    return hasImage() ? ResultImage(imageView_->image()) : QImage();
}

void IIEditingViewController::shareAction() {
    if (!hasImage() || !shareButn_) return;
    const QImage copy = displayImage();
    if (copy.isNull()) return;
    if (sharingServicePicker_) sharingServicePicker_->deleteLater();
    auto *picker = new IISharingServicePicker(copy, shareButn_);
    sharingServicePicker_ = picker;
    // A hand-off that fails is told as Help tells a missing browser, not only on stderr.
    QPointer<IIEditingViewController> self(this);
    picker->setFailureHandler([self](const QString &text) {
        if (self) self->showFailedWarning(text);
    });
    connect(picker, &QMenu::aboutToHide, picker, &QObject::deleteLater);
    picker->showRelativeToRect(shareButn_->rect(), shareButn_, 3);
}

void IIEditingViewController::printSetup() {
    if (!imagePrintInfo_) imagePrintInfo_ = std::make_shared<QPrinter>(QPrinter::HighResolution);
    // Our own panel rather than the toolkit's, which as a sheet never hands its layout back and
    // refuses the PDF file printer; the printer's layout changes only on OK.
    QPrinter *printer = imagePrintInfo_.get();
    auto *panel = new IIPageLayoutPanel(printer->pageLayout(),
                                        IIPageLayoutPanel::paperSizes(*printer), hostWindow());
    pageLayoutPanel_ = panel;
    QPointer<IIEditingViewController> self(this);
    BeginSheet(panel, hostWindow(), [self, panel](int code) {
        if (self) self->pageLayoutDidEnd(code);
        panel->deleteLater();
    });
}

void IIEditingViewController::pageLayoutDidEnd(int returnCode) {
    auto *panel = qobject_cast<IIPageLayoutPanel *>(pageLayoutPanel_.data());
    if (returnCode == kSheetOK && panel && imagePrintInfo_)
        imagePrintInfo_->setPageLayout(panel->pageLayout());
}

void IIEditingViewController::print() {
    if (!hasImage()) return;
    if (!imagePrintInfo_) imagePrintInfo_ = std::make_shared<QPrinter>(QPrinter::HighResolution);
    QPrinter *printer = imagePrintInfo_.get();
    const QPageLayout layout = printer->pageLayout();
    const QRectF paper = layout.fullRectPoints();
    const QMarginsF margins = IIPrintView::pageMargins(paper.size(), layout.paintRectPoints());
    if (printView_) printView_->deleteLater();
    printView_ = new IIPrintView(
        QRectF(0, 0, paper.width() - margins.left() - margins.right(),
               paper.height() - margins.top() - margins.bottom()),
        imageView_->image(), view_);
    printView_->hide();
    printer->setDocName(IIPrintView::printJobTitle());

    auto *panel = new QPrintDialog(printer, hostWindow());
    printPanel_ = panel;
    QPointer<IIEditingViewController> self(this);
    QPointer<IIPrintView> page = printView_;
    BeginSheet(panel, hostWindow(), [self, panel, page, printer](int code) {
        panel->deleteLater();
        if (!self || !page || code != QDialog::Accepted) return;
        // The dialog may have changed the paper: the page is laid out for the one chosen.
        const QPageLayout chosen = printer->pageLayout();
        const QRectF paper = chosen.fullRectPoints();
        const QMarginsF margins = IIPrintView::pageMargins(paper.size(), chosen.paintRectPoints());
        const QRectF frame(0, 0, paper.width() - margins.left() - margins.right(),
                           paper.height() - margins.top() - margins.bottom());
        if (frame == page->frame()) {
            page->printOn(*printer, margins);
        } else {
            IIPrintView(frame, page->image()).printOn(*printer, margins);
        }
    });
}

void IIEditingViewController::showUnsaveWarning(std::function<void(int)> didEnd) {
    auto *warning = new IIWarningMessageController(this);
    warning->warningMessage = LocalizedString("IDS_SAVE_WARNING");
    warning->promptMessage = LocalizedString("IDS_SAVE_PROMPT");
    warning->okMessage = LocalizedString("IDS_SAVE");
    warning->cancelMessage = LocalizedString("IDS_CANCEL");
    warning->extendMessage = LocalizedString("IDS_DONT_SAVE");
    warningMessageController_ = warning;
    unsaveWarning_ = warning;
    BeginSheet(warning->dialog(), hostWindow(), [didEnd = std::move(didEnd)](int code) {
        if (didEnd) didEnd(code);
    });
}

void IIEditingViewController::openTile() {
    // One unsaved-work sheet at a time: a second request brings the one on show forward.
    if (unsaveWarning_) {
        unsaveWarning_->window()->raise();
        return;
    }
    if (!needSave()) {
        runOpenPanel();
        return;
    }
    unsaveWarningForTerminate_ = false;
    QPointer<IIEditingViewController> self(this);
    showUnsaveWarning([self](int code) {
        if (self) self->unsaveWarningSheetDidEnd(code);
    });
}

void IIEditingViewController::unsaveWarningSheetDidEnd(int returnCode) {
    DropSheet(unsaveWarning_, warningMessageController_);
    if (returnCode == kSheetOther) {
        runOpenPanel();
    } else if (returnCode == kSheetOK) {
        // The picture is saved, but the request ends here: no open panel follows and the
        // picture stays marked unsaved, so the next open asks again.
        QPointer<IIEditingViewController> self(this);
        save([self](int result, IISavePanel *panel) {
            panel->hide();
            if (self && result == kSheetOK && !panel->URL().isEmpty())
                self->writeShownPicture(panel, false);
        });
    }
}

int IIEditingViewController::terminate() {
    if (!needSave()) return 1;
    if (unsaveWarning_) {
        // The sheet on show decides when it was asked for by quitting; a sheet asked for by
        // opening photos keeps the application running.
        unsaveWarning_->window()->raise();
        return unsaveWarningForTerminate_ ? 2 : 0;
    }
    unsaveWarningForTerminate_ = true;
    QPointer<IIEditingViewController> self(this);
    showUnsaveWarning([self](int code) {
        if (self) self->unsaveWarningTerminateSheetDidEnd(code);
    });
    return 2;
}

void IIEditingViewController::unsaveWarningTerminateSheetDidEnd(int returnCode) {
    DropSheet(unsaveWarning_, warningMessageController_);
    if (returnCode == kSheetOther) {
        emit replyToApplicationShouldTerminate(true);
    } else if (returnCode == kSheetOK) {
        QPointer<IIEditingViewController> self(this);
        save([self](int result, IISavePanel *panel) {
            panel->hide();
            if (!self) return;
            const bool saved = result == kSheetOK && !panel->URL().isEmpty() &&
                               self->writeShownPicture(panel, true);
            emit self->replyToApplicationShouldTerminate(saved);
        });
    } else {
        emit replyToApplicationShouldTerminate(false);
    }
}

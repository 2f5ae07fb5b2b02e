#include "CBHDROpenController.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "content_types.h"
#include "localized_string.h"
#include "sheet.h"

namespace {

constexpr int kPhotosPerSet = 3;

}  // namespace

CBHDROpenPanel::CBHDROpenPanel(QWidget *parent, CBHDROpenController *delegate)
    : QFileDialog(parent), delegate_(delegate) {
    // The desktop's own dialog cannot be asked before it closes, and is not testable headless.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setOption(QFileDialog::ReadOnly, true);  // no new folders
    setAcceptMode(QFileDialog::AcceptOpen);
    setNameFilter(NamePatternsOfContentTypes({kContentTypeJPEG, kContentTypeCameraRaw}).join(u' '));
    addMessageLine(LocalizedString("IDS_MANY_FILES"));
}

// Puts the message above the dialog's own rows.
void CBHDROpenPanel::addMessageLine(const QString &message) {
    auto *grid = qobject_cast<QGridLayout *>(layout());
    auto *label = new QLabel(message, this);
    label->setObjectName(QStringLiteral("panelMessage"));
    label->setWordWrap(true);
    if (!grid) return;
    struct Placed {
        QLayoutItem *item;
        int row, column, rowSpan, columnSpan;
    };
    QList<Placed> placed;
    for (int i = grid->count() - 1; i >= 0; --i) {
        Placed p{nullptr, 0, 0, 0, 0};
        grid->getItemPosition(i, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
        p.item = grid->takeAt(i);
        placed.prepend(p);
    }
    const int columns = std::max(1, grid->columnCount());
    grid->addWidget(label, 0, 0, 1, columns);
    for (const Placed &p : placed)
        grid->addItem(p.item, p.row + 1, p.column, p.rowSpan, p.columnSpan);
}

void CBHDROpenPanel::accept() {
    if (delegate_) {
        const QList<QUrl> urls = selectedUrls();
        for (const QUrl &url : urls)
            if (!delegate_->panelValidateURL(this, url)) return;
        if (urls.isEmpty() && !delegate_->panelValidateURL(this, QUrl())) return;
    }
    QFileDialog::accept();
}

CBHDROpenController::CBHDROpenController(QObject *parent) : QObject(parent) {}

void CBHDROpenController::open(QWidget *window, CompletionHandler handler) {
    auto *panel = new CBHDROpenPanel(window, this);
    panel->setFileMode(allowsMultipleSelection_ ? QFileDialog::ExistingFiles
                                                : QFileDialog::ExistingFile);
    panel_ = panel;
    const bool multiple = allowsMultipleSelection_;
    BeginSheet(panel, window, [panel, multiple, handler = std::move(handler)](int code) {
        panel->deleteLater();
        if (code != kSheetOK) return;
        panel->hide();
        const QList<QUrl> urls = panel->selectedUrls();
        if (!handler) return;
        if (urls.size() == kPhotosPerSet)
            handler(urls, std::nullopt);
        else if (multiple)
            handler({}, MakeHdrError(1, "IDS_TOO_MANY_ERROR"));
        else
            handler(urls, std::nullopt);
    });
}

bool CBHDROpenController::panelValidateURL(CBHDROpenPanel *panel, const QUrl &) {
    if (panel->selectedUrls().size() == kPhotosPerSet) return true;
    auto *alert = new QMessageBox(panel);
    alert->setObjectName(QStringLiteral("tooManyAlert"));
    alert->setIcon(QMessageBox::Warning);
    alert->setText(LocalizedString("IDS_TOO_MANY_ERROR"));
    alert->setInformativeText(QString());
    alert->setDefaultButton(alert->addButton(LocalizedString("IDS_OK"), QMessageBox::AcceptRole));
    BeginSheet(alert, panel, [this, alert](int code) { warningSheetDidEnd(alert, code); });
    return false;
}

void CBHDROpenController::warningSheetDidEnd(QMessageBox *alert, int) {
    alert->hide();
    alert->deleteLater();
}

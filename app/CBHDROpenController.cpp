#include "CBHDROpenController.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

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
    // When the name field is set while it has no focus, the dialog marks the files it names in
    // the list and writes their bare names back into it, from inside the change; a bare name
    // then also matches a file of the same name in the shown folder. The change from outside
    // reaches this handler last, with its own text, so that text is the one kept.
    if (auto *name = findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
        connect(name, &QLineEdit::textChanged, this,
                [this](const QString &text) { nameText_ = text; });
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

QStringList CBHDROpenPanel::namedPaths() const {
    QStringList names;
    if (nameText_.contains(u'"')) {
        // "one" "two" "three": every other piece between quotes is a name.
        const QStringList pieces = nameText_.split(u'"');
        for (qsizetype i = 1; i < pieces.size(); i += 2)
            if (!pieces[i].isEmpty()) names << pieces[i];
    } else if (!nameText_.trimmed().isEmpty()) {
        names << nameText_;
    }
    const QDir folder = directory();
    QStringList paths;
    for (const QString &name : names) {
        if (name == u'~' || name.startsWith(QStringLiteral("~/")))
            paths << QDir::homePath() + name.mid(1);
        else
            paths << QDir::cleanPath(folder.absoluteFilePath(name));
    }
    return paths;
}

QList<QUrl> CBHDROpenPanel::chosenUrls() const {
    const QStringList named = namedPaths();
    const bool allThere =
        !named.isEmpty() && std::all_of(named.begin(), named.end(), [](const QString &path) {
            return QFileInfo::exists(path);
        });
    if (!allThere) return selectedUrls();
    QList<QUrl> urls;
    for (const QString &path : named) urls << QUrl::fromLocalFile(path);
    return urls;
}

void CBHDROpenPanel::accept() {
    const QList<QUrl> urls = chosenUrls();
    const bool onlyFiles = std::all_of(urls.begin(), urls.end(), [](const QUrl &url) {
        return QFileInfo(url.toLocalFile()).isFile();
    });
    // A folder, "..", or a name that is not there: the dialog's own handling enters the folder
    // or says what is missing, and the panel stays.
    if (!urls.isEmpty() && (!onlyFiles || nameText_ == QStringLiteral(".."))) {
        QFileDialog::accept();
        return;
    }
    if (delegate_) {
        for (const QUrl &url : urls)
            if (!delegate_->panelValidateURL(this, url)) return;
        if (urls.isEmpty() && !delegate_->panelValidateURL(this, QUrl())) return;
    }
    // The dialog's own accept would take its list's files again, not the chosen ones.
    QDialog::accept();
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
        const QList<QUrl> urls = panel->chosenUrls();
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
    if (panel->chosenUrls().size() == kPhotosPerSet) return true;
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

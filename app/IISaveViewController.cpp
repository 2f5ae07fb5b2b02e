#include "IISaveViewController.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSlider>
#include <QStackedWidget>
#include <cmath>

#include "localized_string.h"
#include "picture_writer.h"

namespace {

const char kPNG[] = "public.png";
const char kJPEG[] = "public.jpeg";
const char kTIFF[] = "public.tiff";

struct Compression {
    int code;
    const char *name;
};
constexpr Compression kCompressions[] = {
    {IISaveViewController::kCompressionNone, QT_TRANSLATE_NOOP("IISaveViewController", "None")},
    {IISaveViewController::kCompressionLZW, QT_TRANSLATE_NOOP("IISaveViewController", "LZW")},
    {IISaveViewController::kCompressionPackBits,
     QT_TRANSLATE_NOOP("IISaveViewController", "PackBits")},
};

QString FilterOfType(const QString &uti) {
    QStringList patterns;
    for (const QString &extension : IISaveViewController::extensionsOfType(uti))
        patterns << QStringLiteral("*.") + extension;
    for (const IISaveType &type : IISaveViewController::saveTypes())
        if (type.uti == uti)
            return QStringLiteral("%1 (%2)").arg(type.localized, patterns.join(QLatin1Char(' ')));
    return {};
}

}  // namespace

IISaveViewController::IISaveViewController(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("saveAccessory"));
    auto *typePopup = new QComboBox;
    typePopup_ = typePopup;
    typePopup->setObjectName(QStringLiteral("saveTypePopup"));
    for (const IISaveType &type : saveTypes()) typePopup->addItem(type.localized, type.uti);

    auto *pages = new QStackedWidget;
    pages_ = pages;
    pages->addWidget(new QWidget);  // PNG has no options

    auto *jpegPage = new QWidget;
    auto *jpegRow = new QHBoxLayout(jpegPage);
    jpegRow->setContentsMargins(0, 0, 0, 0);
    auto *slider = new QSlider(Qt::Horizontal);
    qualitySlider_ = slider;
    slider->setObjectName(QStringLiteral("qualitySlider"));
    slider->setRange(0, 100);
    slider->setMinimumWidth(160);
    auto *value = new QLabel;
    qualityValue_ = value;
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
    jpegRow->addWidget(new QLabel(tr("Quality:")));
    jpegRow->addWidget(new QLabel(tr("Least")));
    jpegRow->addWidget(slider, 1);
    jpegRow->addWidget(new QLabel(tr("Best")));
    jpegRow->addWidget(value);
    pages->addWidget(jpegPage);

    auto *tiffPage = new QWidget;
    auto *tiffRow = new QHBoxLayout(tiffPage);
    tiffRow->setContentsMargins(0, 0, 0, 0);
    auto *compression = new QComboBox;
    compressionPopup_ = compression;
    compression->setObjectName(QStringLiteral("compressionPopup"));
    for (const Compression &entry : kCompressions) compression->addItem(tr(entry.name), entry.code);
    tiffRow->addWidget(new QLabel(tr("Compression:")));
    tiffRow->addWidget(compression);
    tiffRow->addStretch();
    pages->addWidget(tiffPage);

    auto *form = new QFormLayout(this);
    form->setContentsMargins(0, 6, 0, 0);
    form->addRow(tr("Format:"), typePopup);
    form->addRow(pages);

    connect(typePopup, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!syncing_ && index >= 0) setSaveType(typePopup_->itemData(index).toString());
    });
    connect(slider, &QSlider::valueChanged, this, [this](int percent) {
        if (!syncing_) setSaveQuality(static_cast<float>(percent / 100.0));
    });
    connect(compression, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!syncing_ && index >= 0) setSaveCompression(compressionPopup_->itemData(index).toInt());
    });

    saveUTI = QString::fromLatin1(kPNG);
    jpegQuality = 0.9f;
    tiffCompression = int(kCompressionNone);
    syncControls();
}

QStringList IISaveViewController::writableTypes() {
    QStringList types;
    const QList<QByteArray> formats = QImageWriter::supportedImageFormats();
    if (formats.contains("png")) types << QString::fromLatin1(kPNG);
    if (formats.contains("jpeg")) types << QString::fromLatin1(kJPEG);
    // TIFF is written through libtiff, which the application links.
    types << QString::fromLatin1(kTIFF);
    return types;
}

QList<IISaveType> IISaveViewController::saveTypes() {
    return {{QString::fromLatin1(kPNG), QStringLiteral("PNG")},
            {QString::fromLatin1(kJPEG), QStringLiteral("JPEG")},
            {QString::fromLatin1(kTIFF), QStringLiteral("TIFF")}};
}

QStringList IISaveViewController::extensionsOfType(const QString &uti) {
    if (uti == QLatin1String(kJPEG))
        return {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("jpe")};
    if (uti == QLatin1String(kTIFF)) return {QStringLiteral("tiff"), QStringLiteral("tif")};
    if (uti == QLatin1String(kPNG)) return {QStringLiteral("png")};
    return {};
}

void IISaveViewController::setSaveType(const QString &uti) {
    const int before = saveTab();
    saveUTI = uti;
    if (saveTab() != before) emit saveTabChanged();
    syncControls();
    restrictPanel();
}

int IISaveViewController::saveTab() const {
    if (saveUTI == QLatin1String(kTIFF)) return 2;
    if (saveUTI == QLatin1String(kJPEG)) return 1;
    return 0;
}

void IISaveViewController::setSaveQuality(const QVariant &quality) {
    jpegQuality = quality;
    syncControls();
}

int IISaveViewController::saveCompression() const {
    const int code = tiffCompression.toInt();
    for (const Compression &entry : kCompressions)
        if (entry.code == code) return code;
    return kCompressionNone;
}

void IISaveViewController::setSaveCompression(int compression) {
    tiffCompression = compression;
    syncControls();
}

IISaveOptions IISaveViewController::writeOptions() const {
    IISaveOptions options;
    if (saveUTI == QLatin1String(kJPEG)) options.lossyCompressionQuality = jpegQuality.toDouble();
    if (saveUTI == QLatin1String(kTIFF)) options.tiffCompression = saveCompression();
    return options;
}

void IISaveViewController::syncControls() {
    syncing_ = true;
    if (typePopup_) typePopup_->setCurrentIndex(saveTab());
    if (pages_) pages_->setCurrentIndex(saveTab());
    const int percent = static_cast<int>(std::lround(jpegQuality.toDouble() * 100.0));
    if (qualitySlider_) qualitySlider_->setValue(percent);
    if (qualityValue_) qualityValue_->setText(QStringLiteral("%1%").arg(percent));
    if (compressionPopup_)
        compressionPopup_->setCurrentIndex(compressionPopup_->findData(saveCompression()));
    syncing_ = false;
}

void IISaveViewController::restrictPanel() {
    auto *panel = qobject_cast<QFileDialog *>(window());
    if (!panel) return;
    const QStringList extensions = extensionsOfType(saveUTI);
    if (extensions.isEmpty()) return;
    panel->setNameFilter(FilterOfType(saveUTI));
    panel->setDefaultSuffix(extensions.first());
}

QString NameWithTypeExtension(const QString &name, const QString &uti) {
    const QStringList own = IISaveViewController::extensionsOfType(uti);
    if (own.isEmpty() || name.isEmpty()) return name;
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (own.contains(suffix)) return name;
    for (const IISaveType &type : IISaveViewController::saveTypes()) {
        if (IISaveViewController::extensionsOfType(type.uti).contains(suffix))
            return name.left(name.size() - suffix.size()) + own.first();
    }
    return name + QLatin1Char('.') + own.first();
}

IISavePanel::IISavePanel(QWidget *parent) : QFileDialog(parent) {
    setObjectName(QStringLiteral("savePanel"));
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
}

void IISavePanel::setAccessoryView(IISaveViewController *accessory) {
    accessory_ = accessory;
    auto *grid = qobject_cast<QGridLayout *>(layout());
    if (!accessory || !grid) return;
    grid->addWidget(accessory, grid->rowCount(), 0, 1, grid->columnCount());
}

QString IISavePanel::nameFieldStringValue() const {
    auto *edit = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    return edit ? edit->text() : QString();
}

void IISavePanel::setNameFieldStringValue(const QString &name) {
    if (auto *edit = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) edit->setText(name);
}

QUrl IISavePanel::URL() const {
    const QList<QUrl> urls = selectedUrls();
    return urls.isEmpty() ? QUrl() : urls.first();
}

void IISavePanel::accept() {
    const QString name = nameFieldStringValue().trimmed();
    if (accessory_ && !name.isEmpty() && !name.endsWith(QLatin1Char('/'))) {
        const QString named = NameWithTypeExtension(name, accessory_->saveType());
        // A folder typed into the field is entered, not renamed.
        if (named != name && !QFileInfo(directory().filePath(name)).isDir())
            setNameFieldStringValue(named);
        // A file the user may not write, or a link to a file named for another type, is told
        // here, with the panel left open for another name, rather than after the question
        // whether to replace it.
        const QString path = directory().absoluteFilePath(nameFieldStringValue().trimmed());
        if (!QFileInfo(path).isDir()) {
            const QString problem = SaveTargetProblem(path, accessory_->saveType());
            if (!problem.isEmpty()) {
                auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                            LocalizedString("IDS_SAVE_FAILED"), QMessageBox::Ok,
                                            this);
                box->setObjectName(QStringLiteral("saveRefusal"));
                box->setInformativeText(problem);
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->setWindowModality(Qt::WindowModal);
                box->open();
                return;
            }
        }
    }
    QFileDialog::accept();
}

// The save panel's accessory: the file type (PNG, JPEG or TIFF), the JPEG quality and the TIFF
// compression, one page of controls per type. The editing controller resets it every time the
// panel opens and builds the write options from it when the panel is confirmed.
#pragma once

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QSlider>
#include <QStackedWidget>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <QWidget>
#include <optional>

// What the writers take besides the picture: a JPEG quality in 0..1, a TIFF compression code.
struct IISaveOptions {
    std::optional<double> lossyCompressionQuality;
    std::optional<int> tiffCompression;
};

// One entry of saveTypes: the type identifier and the name shown for it.
struct IISaveType {
    QString uti;
    QString localized;
};

class IISaveViewController : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int saveTab READ saveTab NOTIFY saveTabChanged)
public:
    static constexpr int kCompressionNone = 1, kCompressionLZW = 5, kCompressionPackBits = 32773;

    explicit IISaveViewController(QWidget *parent = nullptr);

    // The type identifiers the image writers can write.
    static QStringList writableTypes();
    // PNG, JPEG and TIFF, in this order.
    static QList<IISaveType> saveTypes();
    // The file name extensions of a type; the first one is the one given to new names.
    static QStringList extensionsOfType(const QString &uti);

    QString saveType() const { return saveUTI; }
    // Stores the type, shows its page and restricts the panel holding this accessory to the
    // type's file name extensions.
    void setSaveType(const QString &uti);
    // 2 for TIFF, 1 for JPEG, 0 otherwise.
    int saveTab() const;
    QVariant saveQuality() const { return jpegQuality; }
    void setSaveQuality(const QVariant &quality);
    // The TIFF compression code: 1, 5 or 32773; any other value reads as 1.
    int saveCompression() const;
    void setSaveCompression(int compression);

    // The options of the chosen type: a quality for JPEG, a compression for TIFF, none for PNG.
    IISaveOptions writeOptions() const;

    QComboBox *typePopup() const { return typePopup_; }
    QSlider *qualitySlider() const { return qualitySlider_; }
    QComboBox *compressionPopup() const { return compressionPopup_; }
    QStackedWidget *pages() const { return pages_; }

    QString saveUTI;
    QVariant jpegQuality;
    QVariant tiffCompression;
    bool hasAlpha = false;

signals:
    void saveTabChanged();

private:
    void syncControls();
    void restrictPanel();

    QPointer<QComboBox> typePopup_, compressionPopup_;
    QPointer<QSlider> qualitySlider_;
    QPointer<QLabel> qualityValue_;
    QPointer<QStackedWidget> pages_;
    bool syncing_ = false;
};

// The save panel: a non-native save dialog whose accessory sits under its own controls. Before
// the dialog's own check for an existing file, the typed name is given the chosen type's
// extension, so the question about replacing a file is asked about the name actually written.
class IISavePanel : public QFileDialog {
    Q_OBJECT
public:
    explicit IISavePanel(QWidget *parent = nullptr);

    void setAccessoryView(IISaveViewController *accessory);
    IISaveViewController *accessoryView() const { return accessory_; }
    // The name typed into the panel's name field.
    QString nameFieldStringValue() const;
    void setNameFieldStringValue(const QString &name);
    // The chosen file, once the panel has been confirmed.
    QUrl URL() const;

public slots:
    void accept() override;

private:
    QPointer<IISaveViewController> accessory_;
};

// The typed name with the type's extension: kept when it has one of the type's extensions,
// replaced when it has another save type's, else appended.
QString NameWithTypeExtension(const QString &name, const QString &uti);

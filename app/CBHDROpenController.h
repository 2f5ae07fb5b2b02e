// The open panel: a sheet on the main window that insists on exactly three photos.
#pragma once

#include <QFileDialog>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <optional>

#include "hdr_error.h"

class QMessageBox;
class CBHDROpenController;

// The panel itself: a non-native file dialog that asks its delegate about every selected file
// when the user confirms, and stays open when the delegate refuses one.
class CBHDROpenPanel : public QFileDialog {
    Q_OBJECT
public:
    CBHDROpenPanel(QWidget *parent, CBHDROpenController *delegate);
    void accept() override;

private:
    void addMessageLine(const QString &message);
    QPointer<CBHDROpenController> delegate_;
};

class CBHDROpenController : public QObject {
    Q_OBJECT
public:
    // The three chosen files, or no files and an error; never called when the panel is cancelled.
    using CompletionHandler =
        std::function<void(const QList<QUrl> &urls, const std::optional<HdrError> &error)>;

    explicit CBHDROpenController(QObject *parent = nullptr);

    bool allowsMultipleSelection() const { return allowsMultipleSelection_; }
    void setAllowsMultipleSelection(bool allows) { allowsMultipleSelection_ = allows; }

    // Shows the open panel as a sheet on window.
    void open(QWidget *window, CompletionHandler handler);

    // Asked by the panel for each selected file when the user confirms: refuses, under an alert
    // sheet on the panel, unless the panel holds exactly three files.
    bool panelValidateURL(CBHDROpenPanel *panel, const QUrl &url);
    void warningSheetDidEnd(QMessageBox *alert, int returnCode);

    // The panel on show, null when none is.
    CBHDROpenPanel *panel() const { return panel_.data(); }

private:
    bool allowsMultipleSelection_ = true;
    QPointer<CBHDROpenPanel> panel_;
};

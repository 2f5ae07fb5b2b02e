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

// The panel itself: a non-native file dialog that asks its delegate about every chosen file
// when the user confirms, and stays open when the delegate refuses one. Confirming a folder
// enters it, as in any file dialog; only files are counted.
class CBHDROpenPanel : public QFileDialog {
    Q_OBJECT
public:
    CBHDROpenPanel(QWidget *parent, CBHDROpenController *delegate);
    void accept() override;

    // The files the user chose: those the name field names when each of them is there (typed
    // names or paths, quoted when there are several), else the ones picked in the list.
    QList<QUrl> chosenUrls() const;

private:
    void addMessageLine(const QString &message);
    // The paths the name field's text names, relative ones taken in the panel's folder.
    QStringList namedPaths() const;

    QPointer<CBHDROpenController> delegate_;
    // The name field's text as it was last set from outside the dialog (see the constructor).
    QString nameText_;
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

    // Asked by the panel for each chosen file when the user confirms: refuses, under an alert
    // sheet on the panel, unless the user chose exactly three files.
    bool panelValidateURL(CBHDROpenPanel *panel, const QUrl &url);
    void warningSheetDidEnd(QMessageBox *alert, int returnCode);

    // The panel on show, null when none is.
    CBHDROpenPanel *panel() const { return panel_.data(); }

private:
    bool allowsMultipleSelection_ = true;
    QPointer<CBHDROpenPanel> panel_;
};

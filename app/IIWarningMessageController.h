// The warning sheet: a message, a prompt and up to three buttons ending the sheet with 1, 0, -1.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QLabel>
#include <QPushButton>
#include <QString>

#include "window_controller.h"


class IIWarningMessageController : public WindowController {
    Q_OBJECT
public:
    explicit IIWarningMessageController(QObject *parent = nullptr);

    // Set before the window loads. An empty button title hides that button.
    QString warningMessage, promptMessage, okMessage, cancelMessage, extendMessage;

    // The sheet's window, made on first use.
    QDialog *dialog() { return static_cast<QDialog *>(window()); }

    QPushButton *okButn() const { return okButn_; }
    QPushButton *cancelButn() const { return cancelButn_; }
    QPushButton *otherButn() const { return otherButn_; }
    QLabel *iconView() const { return iconView_; }
    QLabel *messageField() const { return messageField_; }
    QLabel *commentField() const { return commentField_; }

public slots:
    void ok();
    void cancel();
    void other();

protected:
    QWidget *loadWindow() override;
    void windowDidLoad() override;

private:
    void endSheet(int code);

    QPointer<QPushButton> okButn_, cancelButn_, otherButn_;
    QPointer<QLabel> iconView_, messageField_, commentField_;
};

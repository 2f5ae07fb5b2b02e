#include "IIWarningMessageController.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "sheet.h"

namespace {

constexpr int kIconSize = 64;

void SetUpButton(QPushButton *button, const QString &title) {
    button->setText(title);
    button->setVisible(!title.isEmpty());
}

}  // namespace

IIWarningMessageController::IIWarningMessageController(QObject *parent)
    : WindowController(parent) {}

QWidget *IIWarningMessageController::loadWindow() {
    auto *dialog = new QDialog;
    dialog->setObjectName(QStringLiteral("IIWarningMessageController"));
    iconView_ = new QLabel(dialog);
    iconView_->setFixedSize(kIconSize, kIconSize);
    messageField_ = new QLabel(dialog);
    messageField_->setWordWrap(true);
    QFont bold = messageField_->font();
    bold.setBold(true);
    messageField_->setFont(bold);
    commentField_ = new QLabel(dialog);
    commentField_->setWordWrap(true);
    otherButn_ = new QPushButton(dialog);
    cancelButn_ = new QPushButton(dialog);
    okButn_ = new QPushButton(dialog);
    okButn_->setDefault(true);
    connect(okButn_, &QPushButton::clicked, this, &IIWarningMessageController::ok);
    connect(cancelButn_, &QPushButton::clicked, this, &IIWarningMessageController::cancel);
    connect(otherButn_, &QPushButton::clicked, this, &IIWarningMessageController::other);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(otherButn_);
    buttons->addStretch(1);
    buttons->addWidget(cancelButn_);
    buttons->addWidget(okButn_);
    auto *grid = new QGridLayout(dialog);
    grid->setContentsMargins(20, 20, 20, 16);
    grid->setHorizontalSpacing(16);
    grid->addWidget(iconView_, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(messageField_, 0, 1);
    grid->addWidget(commentField_, 1, 1, Qt::AlignTop);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    dialog->setMinimumWidth(420);
    return dialog;
}

void IIWarningMessageController::windowDidLoad() {
    SetUpButton(okButn_, okMessage);
    SetUpButton(cancelButn_, cancelMessage);
    SetUpButton(otherButn_, extendMessage);
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    iconView_->setPixmap(icon.pixmap(kIconSize, kIconSize));
    QPalette palette = commentField_->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgbF(1 / 3.0f, 1 / 3.0f, 1 / 3.0f));
    commentField_->setPalette(palette);
    commentField_->setText(promptMessage);
    messageField_->setText(warningMessage);
}

void IIWarningMessageController::endSheet(int code) {
    if (isWindowLoaded()) dialog()->done(code);
}

void IIWarningMessageController::ok() { endSheet(kSheetOK); }

void IIWarningMessageController::cancel() { endSheet(kSheetCancel); }

void IIWarningMessageController::other() { endSheet(kSheetOther); }

#include "sheet.h"

#include <QDialog>
#include <QWidget>

void BeginSheet(QDialog *dialog, QWidget *window, std::function<void(int)> handler) {
    if (!dialog) return;
    if (window && dialog->parentWidget() != window) dialog->setParent(window, dialog->windowFlags());
    QObject::connect(
        dialog, &QDialog::finished, dialog,
        [handler = std::move(handler)](int code) {
            if (handler) handler(code);
        },
        Qt::SingleShotConnection);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
}

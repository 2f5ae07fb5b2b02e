// Sheets: window-modal dialogs over a window that end with a return code.
#pragma once

#include <functional>

class QDialog;
class QWidget;

// Return codes that end a sheet.
enum SheetReturnCode { kSheetOK = 1, kSheetCancel = 0, kSheetOther = -1 };

// Shows dialog window-modal over window and calls handler once with the code the dialog ends
// with (QDialog::done: 1, 0 or -1; Escape and closing the dialog give 0). The dialog is
// reparented to window when it has another parent; it is not deleted.
void BeginSheet(QDialog *dialog, QWidget *window, std::function<void(int)> handler);

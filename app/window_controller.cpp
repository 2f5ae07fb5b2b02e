#include "window_controller.h"

WindowController::WindowController(QObject *parent) : QObject(parent) {}

WindowController::~WindowController() { delete window_.data(); }

QWidget *WindowController::window() {
    if (!window_) {
        window_ = loadWindow();
        if (window_) windowDidLoad();
    }
    return window_.data();
}

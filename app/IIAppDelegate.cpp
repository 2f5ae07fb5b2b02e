#include "IIAppDelegate.h"

#include "IIMainWindow.h"

void IIAppDelegate::applicationDidFinishLaunching() {
    if (!window_) return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

IIAppDelegate::TerminateReply IIAppDelegate::replyForAnswer(int answer) {
    if (answer == kTerminateLater) return kTerminateLater;
    return answer == 0 ? kTerminateCancel : kTerminateNow;
}

IIAppDelegate::TerminateReply IIAppDelegate::applicationShouldTerminate() const {
    return window_ ? replyForAnswer(window_->terminate()) : kTerminateNow;
}

// The application's delegate: shows the window when launching has finished and turns the
// window's answer to a quit request into the application's.
#pragma once

#include <QPointer>

class IIMainWindow;

class IIAppDelegate {
public:
    enum TerminateReply { kTerminateCancel = 0, kTerminateNow = 1, kTerminateLater = 2 };

    IIMainWindow *window() const { return window_.data(); }
    void setWindow(IIMainWindow *window) { window_ = window; }
    // Brings the window to the front and makes it the active one.
    void applicationDidFinishLaunching();
    // 2 stays 2 (a sheet decides later), 0 stays 0, any other answer quits now.
    static TerminateReply replyForAnswer(int answer);
    // Asks the window; quitting now without a window.
    TerminateReply applicationShouldTerminate() const;

private:
    QPointer<IIMainWindow> window_;
};

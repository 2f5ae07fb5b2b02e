// The waiting window: a spinner and a text over the main window, application-modal while a
// background job runs; startAnimation returns when endAnimation is called.
#pragma once

#include <QByteArray>
#include <QPointer>
#include <QLabel>
#include <QString>

#include "AMIndeterminateProgressIndicatorCell.h"
#include "window_controller.h"

class QEventLoop;
class QTimer;
class MMBordlessWindow;

class MMWaitingWindowController : public WindowController {
    Q_OBJECT
public:
    explicit MMWaitingWindowController(QObject *parent = nullptr);
    ~MMWaitingWindowController() override;

    MMBordlessWindow *bordlessWindow();
    IndicatorControl *waitingIndicator() const { return waitingIndicator_; }
    QLabel *waitingLabel() const { return waitingLabel_; }
    QTimer *animationTimer() const { return animationTimer_; }
    QString waitingDescriptor() const { return waitingDescriptor_; }

    // Shows the text now when the window is loaded, and keeps it for when it loads.
    void setWaitingDesc(const QString &text);
    // The method (by name, no arguments) invoked on target by cancel; null clears.
    void setCancelAction(const char *action, QObject *target);

    // Centres the window on parent, shows it application-modal over it with the spinner
    // turning at 12 steps a second, and runs an event loop until endAnimation.
    void startAnimation(QWidget *parent);
    // Stops the timer and ends the loop of startAnimation; the window stays until closed. Does
    // nothing more when no loop runs.
    void endAnimation();
    bool isAnimating() const { return loop_ != nullptr; }

public slots:
    void animate();
    void cancel();

protected:
    QWidget *loadWindow() override;
    void windowDidLoad() override;

private:
    QPointer<IndicatorControl> waitingIndicator_;
    QPointer<QLabel> waitingLabel_;
    QTimer *animationTimer_ = nullptr;
    QString waitingDescriptor_;
    QByteArray cancelAction_;
    QPointer<QObject> cancelTarget_;
    QEventLoop *loop_ = nullptr;
};

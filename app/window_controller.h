// A controller that owns one window, made on first use and then handed to windowDidLoad.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class WindowController : public QObject {
    Q_OBJECT
public:
    explicit WindowController(QObject *parent = nullptr);
    ~WindowController() override;

    // The controller's window, made and set up by the first call.
    QWidget *window();
    bool isWindowLoaded() const { return !window_.isNull(); }

protected:
    virtual QWidget *loadWindow() = 0;
    virtual void windowDidLoad() {}

private:
    QPointer<QWidget> window_;
};

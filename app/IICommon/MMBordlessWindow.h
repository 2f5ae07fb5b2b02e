// The borderless translucent window of the waiting window, and its rounded backgrounds.
#pragma once

#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QWidget>

// The origin that centres a window of size own on reference: reference origin plus half the
// difference of the sizes on each axis.
QPointF CenteredOrigin(const QRectF &reference, const QSizeF &own);

class MMBordlessWindow : public QWidget {
    Q_OBJECT
public:
    // Always frameless, a tool window over parent, translucent, whatever flags are asked for.
    explicit MMBordlessWindow(QWidget *parent = nullptr, Qt::WindowFlags flags = {});

    // The object that receives "cancel" on Escape, when it has such a method.
    void setWindowController(QObject *controller) { controller_ = controller; }
    QObject *windowController() const { return controller_.data(); }

    // Centres the window on reference's frame, or on the primary screen without one (an empty
    // rectangle when there is no screen).
    void center(QWidget *reference);

    static Qt::WindowFlags windowFlagsFor(Qt::WindowFlags requested);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<QObject> controller_;
};

// Clear, with a rounded rectangle of radius 10 in white 0.1 at alpha 0.8.
class MMModalWindowBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit MMModalWindowBackgroundView(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// Clear, with a rounded rectangle of radius 10 in black at alpha 0.3.
class MMBordlessWindowBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit MMBordlessWindowBackgroundView(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

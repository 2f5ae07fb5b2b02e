#include "MMBordlessWindow.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

namespace {

constexpr double kCornerRadius = 10;

void PaintRoundedBackground(QWidget *view, const QColor &fill) {
    QPainter painter(view);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(view->rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(view->rect()), kCornerRadius, kCornerRadius);
}

}  // namespace

QPointF CenteredOrigin(const QRectF &reference, const QSizeF &own) {
    return reference.topLeft() + QPointF((reference.width() - own.width()) / 2,
                                         (reference.height() - own.height()) / 2);
}

Qt::WindowFlags MMBordlessWindow::windowFlagsFor(Qt::WindowFlags requested) {
    return (requested & ~Qt::WindowType_Mask) | Qt::Tool | Qt::FramelessWindowHint;
}

MMBordlessWindow::MMBordlessWindow(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, windowFlagsFor(flags)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setWindowOpacity(1.0);
}

void MMBordlessWindow::center(QWidget *reference) {
    QRectF frame;
    if (reference)
        frame = reference->frameGeometry();
    else if (const QScreen *screen = QGuiApplication::primaryScreen())
        frame = screen->geometry();
    move(CenteredOrigin(frame, frameGeometry().size()).toPoint());
}

void MMBordlessWindow::keyPressEvent(QKeyEvent *event) {
    // Every key stops here; Escape asks the controller to cancel when it can.
    event->accept();
    if (event->key() != Qt::Key_Escape || !controller_) return;
    if (controller_->metaObject()->indexOfMethod("cancel()") >= 0)
        QMetaObject::invokeMethod(controller_.data(), "cancel");
}

void MMBordlessWindow::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), QColor::fromRgbF(0.1f, 0.1f, 0.1f, 0.5f));
}

MMModalWindowBackgroundView::MMModalWindowBackgroundView(QWidget *parent) : QWidget(parent) {}

void MMModalWindowBackgroundView::paintEvent(QPaintEvent *) {
    PaintRoundedBackground(this, QColor::fromRgbF(0.1f, 0.1f, 0.1f, 0.8f));
}

MMBordlessWindowBackgroundView::MMBordlessWindowBackgroundView(QWidget *parent)
    : QWidget(parent) {}

void MMBordlessWindowBackgroundView::paintEvent(QPaintEvent *) {
    PaintRoundedBackground(this, QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.3f));
}

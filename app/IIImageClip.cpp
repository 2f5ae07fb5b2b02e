#include "IIImageClip.h"

#include <QGestureEvent>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPinchGesture>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "CommonDefine.h"

IIImageClip::IIImageClip(QWidget *parent)
    : QWidget(parent), clock_([] { return std::chrono::steady_clock::now(); }) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    grabGesture(Qt::PinchGesture);
}

void IIImageClip::setDocument(QWidget *view) {
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (child != view) delete child;
    document_ = view;
    if (view) {
        view->setParent(this);
        view->show();
    }
    updateDocument();
}

void IIImageClip::centerImage() {
    center_ = QPointF(500, 500);
    updateDocument();
}

QPointF IIImageClip::normalizedCenter() const {
    if (!document_) return {};
    return QPointF(center_.x() / 1000 * document_->width(),
                   center_.y() / 1000 * document_->height());
}

void IIImageClip::updateDocument() {
    if (!document_) return;
    const QPointF middle = QPointF(width(), height()) / 2 - normalizedCenter();
    document_->move(static_cast<int>(std::lround(middle.x())),
                    static_cast<int>(std::lround(middle.y())));
}

QPointF IIImageClip::clampedCenter(QPointF center) const {
    // NaN (from nothing to divide by) stays where it was.
    auto clamp = [](double v, double old) {
        return std::isnan(v) ? old : std::clamp(v, 0.0, 1000.0);
    };
    return QPointF(clamp(center.x(), center_.x()), clamp(center.y(), center_.y()));
}

void IIImageClip::panX(int dx, int dy) {
    if (!document_ || document_->width() <= 0 || document_->height() <= 0) return;
    center_ = clampedCenter(center_ + QPointF(double(dx) / document_->width() * 1000,
                                              double(dy) / document_->height() * 1000));
    updateDocument();
}

bool IIImageClip::event(QEvent *event) {
    if (event->type() == QEvent::NativeGesture) {
        auto *gesture = static_cast<QNativeGestureEvent *>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            magnify(gesture->value());
            return true;
        }
    } else if (event->type() == QEvent::Gesture) {
        auto *gestures = static_cast<QGestureEvent *>(event);
        if (auto *pinch = static_cast<QPinchGesture *>(gestures->gesture(Qt::PinchGesture))) {
            if (pinch->changeFlags() & QPinchGesture::ScaleFactorChanged)
                magnify(pinch->scaleFactor() - 1);
            gestures->accept(pinch);
            return true;
        }
    }
    return QWidget::event(event);
}

void IIImageClip::magnify(double value) {
    if (delegate_) delegate_->imageClipMagnify(this, value);
}

void IIImageClip::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    updateDocument();
    emit frameChanged();
}

void IIImageClip::moveEvent(QMoveEvent *event) {
    QWidget::moveEvent(event);
    updateDocument();
    emit frameChanged();
}

void IIImageClip::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), CommonDefine::backgroundColor());
}

void IIImageClip::mousePressEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragStart_ = event->scenePosition();
    dragCenter_ = center_;
}

void IIImageClip::mouseDoubleClickEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = false;
    if (delegate_) delegate_->imageClipDoubleClick(this);
}

void IIImageClip::mouseMoveEvent(QMouseEvent *event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton) || !document_) return;
    const double width = document_->width(), height = document_->height();
    if (width <= 0 || height <= 0) return;
    // The document follows the pointer; its point at the clip's middle never leaves it.
    const QPointF moved = dragStart_ - event->scenePosition();
    center_ = clampedCenter(dragCenter_ + QPointF(moved.x() / width * 1000,
                                                  moved.y() / height * 1000));
    updateDocument();
}

void IIImageClip::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
}

void IIImageClip::wheelEvent(QWheelEvent *event) {
    event->accept();
    const auto now = clock_();
    if (lastScroll_ && now - *lastScroll_ <= kScrollPause) return;
    const float delta = static_cast<float>(event->angleDelta().y()) / 120.0f;
    if (delta != 0 && delegate_) delegate_->imageClipScrollWheel(this, delta);
    lastScroll_ = now;
}

#include "IIPrintView.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <cmath>

IIPrintView::IIPrintView(const QRectF &frame, const QImage &image, QWidget *parent)
    : QWidget(parent), frame_(frame), image_(image) {
    setGeometry(frame.toAlignedRect());
}

QString IIPrintView::printJobTitle() { return QCoreApplication::applicationName(); }

QTransform IIPrintView::fitTransform(const QRectF &frame, const QSizeF &imageSize) {
    // The frame made integral: its origin rounded down, its far edge rounded up.
    const double fx = std::floor(frame.x()), fy = std::floor(frame.y());
    const double fw = std::ceil(frame.x() + frame.width()) - fx;
    const double fh = std::ceil(frame.y() + frame.height()) - fy;
    const float iw = static_cast<float>(imageSize.width());
    const float ih = static_cast<float>(imageSize.height());
    if (iw <= 0 || ih <= 0) return {};
    const float s = std::min(static_cast<float>(fw) / iw, static_cast<float>(fh) / ih);
    const float tx = static_cast<float>((fw - double(s) * iw) / 2 + fx);
    const float ty = static_cast<float>((fh - double(s) * ih) / 2 + fy);
    return QTransform(s, 0, 0, s, tx, ty);
}

void IIPrintView::drawRect(QPainter &painter) const {
    if (image_.isNull()) return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setTransform(fitTransform(frame_, image_.size()), true);
    painter.drawImage(QRectF(0, 0, image_.width(), image_.height()), image_);
    painter.restore();
}

bool IIPrintView::printOn(QPrinter &printer, const QMarginsF &margins) const {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    // The printer's painter starts at the printable area, in device pixels.
    const QRectF printable = printer.pageLayout().paintRectPoints();
    const double scale = printer.resolution() / 72.0;
    painter.scale(scale, scale);
    painter.translate(margins.left() - printable.x(), margins.top() - printable.y());
    drawRect(painter);
    return painter.end();
}

QMarginsF IIPrintView::pageMargins(const QSizeF &paper, const QRectF &imageable) {
    const float pw = static_cast<float>(paper.width()), ph = static_cast<float>(paper.height());
    const float x = static_cast<float>(imageable.x()), y = static_cast<float>(imageable.y());
    const float w = static_cast<float>(imageable.width());
    const float h = static_cast<float>(imageable.height());
    const float horizontal = std::max({x, pw - x - w, 0.0f});
    const float vertical = std::max({y, ph - y - h, 0.0f});
    return QMarginsF(horizontal, vertical, horizontal, vertical);
}

void IIPrintView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.translate(-frame_.topLeft());
    drawRect(painter);
}

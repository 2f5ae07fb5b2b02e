#include "APView.h"

#include <QPaintEvent>
#include <QPainter>

APView::APView(QWidget *parent) : QWidget(parent) {}

void APView::setBackgroundcolor(const QColor &color) {
    backgroundcolor_ = color;
    update();
}

void APView::paintEvent(QPaintEvent *event) {
    if (!backgroundcolor_.isValid()) return;
    QPainter painter(this);
    painter.fillRect(event->rect(), backgroundcolor_);
}

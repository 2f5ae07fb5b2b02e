#include "IIWindowBackgroundView.h"

#include <QPainter>

#include "CommonDefine.h"

IIWindowBackgroundView::IIWindowBackgroundView(QWidget *parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void IIWindowBackgroundView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), CommonDefine::backgroundColor());
}

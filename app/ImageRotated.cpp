#include "ImageRotated.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QtDebug>
#include <algorithm>
#include <cmath>

QImage ImageRotated(const QImage &image, float degrees) {
    if (std::fmod(degrees, 90.0f) != 0)
        qWarning("This code has only been tested for multiples of 90 degrees. (TODO: test and "
                 "remove this line)");
    const float turn = std::fmod(degrees, 360.0f);
    if (turn == 0 || image.isNull()) return image;
    const int w = image.width(), h = image.height();
    const float quarter = std::fabs(turn);
    QSize size;
    if (quarter == 90 || quarter == 270)
        size = QSize(h, w);
    else if (quarter == 180)
        size = QSize(w, h);
    else
        size = QSize(std::max(w, h) + 20, std::max(w, h) + 20);
    QImage turned(size, QImage::Format_ARGB32_Premultiplied);
    if (turned.isNull()) return {};
    turned.fill(Qt::transparent);
    QPainter painter(&turned);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, quarter != 90 && quarter != 180 &&
                                                               quarter != 270);
    QTransform transform;
    transform.translate(size.width() / 2.0, size.height() / 2.0);
    transform.rotate(-turn);  // counter-clockwise on screen in Qt's y-down coordinates
    painter.setTransform(transform);
    painter.drawImage(QPointF(-w / 2.0, -h / 2.0), image);
    return turned;
}

void SetImageAndFrame(QLabel *view, const QImage &image) {
    if (!view) return;
    view->resize(image.size());
    view->setPixmap(QPixmap::fromImage(image));
}

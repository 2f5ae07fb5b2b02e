#include "IIHistogramView.h"

#include <QPainter>
#include <algorithm>

IIHistogramView::IIHistogramView(QWidget *parent) : QWidget(parent) {}

void IIHistogramView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    drawHistogram(painter, width(), height(), histogramData_.get());
}

void IIHistogramView::drawHistogram(QPainter &painter, double width, double height,
                                    const IIHistogramData *data) {
    if (!data || data->max <= 0) return;
    const double scale = height / static_cast<double>(data->max) * 16;
    const double step = width / 256;
    painter.save();
    // Each column is one crisp line of device pixels; blending would tint the neighbours.
    painter.setRenderHint(QPainter::Antialiasing, false);
    auto stroke = [&](const QColor &colour, double x, int length) {
        painter.setPen(QPen(colour, 1));
        painter.drawLine(QPointF(x, height - length), QPointF(x, height));
    };
    for (int i = 0; i < 256; ++i) {
        const int64_t r = data->rData[i], g = data->gData[i], b = data->bData[i];
        const int64_t lo = std::min({r, g, b}), hi = std::max({r, g, b});
        const int64_t mid = r + g + b - lo - hi;
        // The top shows the strongest channels, the middle those at least at the middle
        // count (their mixture), the bottom, where all three overlap, is white.
        const QColor top(r == hi ? 255 : 0, g == hi ? 255 : 0, b == hi ? 255 : 0);
        const QColor middle(r >= mid ? 255 : 0, g >= mid ? 255 : 0, b >= mid ? 255 : 0);
        // count <= max, so a length never exceeds 16 heights.
        auto length = [&](int64_t count) { return static_cast<int>(count * scale); };
        const double x = i * step;
        stroke(top, x + 0.5, length(hi));
        stroke(middle, x, length(mid));
        stroke(Qt::white, x, length(lo));
    }
    painter.restore();
}

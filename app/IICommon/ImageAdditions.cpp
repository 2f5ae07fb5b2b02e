#include "ImageAdditions.h"

#include <QColor>
#include <algorithm>
#include <cmath>
#include <functional>

#include "CTGradient.h"

namespace {

// Nearest integer, halves away from zero.
float Round(float v) { return std::round(v); }

int PixelCount(double v) { return std::max(1, static_cast<int>(std::lround(v))); }

QImage ScaleWithBackground(const QImage &image, const QSizeF &size,
                           const std::function<void(QPainter *, const QRectF &)> &background) {
    if (image.isNull()) return {};
    const float w = static_cast<float>(image.width()), h = static_cast<float>(image.height());
    if (size.width() >= w && size.height() >= h) {
        QImage same = image;
        same.setDevicePixelRatio(1);
        return same;
    }
    const float k = std::min(static_cast<float>(size.width()) / w,
                             static_cast<float>(size.height()) / h);
    QImage scaled(PixelCount(k * w), PixelCount(k * h), QImage::Format_ARGB32_Premultiplied);
    if (scaled.isNull()) return {};
    scaled.fill(Qt::transparent);
    QPainter painter(&scaled);
    if (background) background(&painter, QRectF(scaled.rect()));
    // Qt's smooth scaling averages the pixels a reduced pixel covers, so fine detail does not
    // alias the way a painter's bilinear sampling would.
    painter.drawImage(QPointF(0, 0), image.scaled(scaled.size(), Qt::IgnoreAspectRatio,
                                                  Qt::SmoothTransformation));
    return scaled;
}

}  // namespace

QSizeF SizeLargestRepresentation(const QImage &image) {
    return image.isNull() ? QSizeF() : QSizeF(image.size());
}

QImage ImageByScalingProportionallyToSize(const QImage &image, const QSizeF &size) {
    return ScaleWithBackground(image, size, nullptr);
}

QImage ImageByScalingProportionallyToSize(const QImage &image, const QSizeF &size,
                                          const CTGradient &background) {
    return ScaleWithBackground(image, size, [&](QPainter *p, const QRectF &r) {
        background.drawSwatchInRect(p, r);
    });
}

QImage ImageByScalingProportionallyToSize(const QImage &image, const QSizeF &size,
                                          const QColor &background) {
    return ScaleWithBackground(image, size,
                               [&](QPainter *p, const QRectF &r) { p->fillRect(r, background); });
}

AspectDrawing ComputeAspectDrawing(const QSizeF &source, const QRectF &rect, int method) {
    if (method < 0 || method > 3 || source.isEmpty() || rect.isEmpty()) return {};
    const float sw = static_cast<float>(source.width()), sh = static_cast<float>(source.height());
    const float w = static_cast<float>(rect.width()), h = static_cast<float>(rect.height());
    const float ratio = sw / sh;
    const bool wider = w / h >= ratio;  // the rectangle is wider than the image
    AspectDrawing d;
    if (method == ImageAspectFit) {
        const QSizeF fitted = wider ? QSizeF(Round(ratio * h), h) : QSizeF(w, Round(w / ratio));
        d.source = QRectF(0, 0, sw, sh);
        d.destination = QRectF(rect.topLeft() + QPointF((w - fitted.width()) / 2,
                                                        (h - fitted.height()) / 2),
                               fitted);
        return d;
    }
    const float fw = wider ? w : Round(ratio * h), fh = wider ? Round(w / ratio) : h;
    const float k = fh / sh;
    // Offsets in fitted units from the image's bottom-left corner (y up).
    float ox = Round((fw - w) / 2), oy = Round((fh - h) / 2);
    if (method == ImageAspectCropKeepTop) {
        if (fh > h) oy = Round(fh - h);
        else ox = 0;
    } else if (method == ImageAspectCropKeepBottom) {
        if (fh > h) ox = oy = 0;
        else ox = Round(fw - w);
    }
    const QRectF upward(ox / k, oy / k, w / k, h / k);
    // Into the image's y-down pixel coordinates.
    d.source = QRectF(upward.x(), sh - upward.y() - upward.height(), upward.width(),
                      upward.height());
    d.destination = rect;
    return d;
}

void DrawImageInRect(QPainter *painter, const QImage &image, const QRectF &rect,
                     QPainter::CompositionMode operation, float fraction, int method) {
    const AspectDrawing d = ComputeAspectDrawing(SizeLargestRepresentation(image), rect, method);
    if (d.isEmpty()) return;
    painter->save();
    painter->setCompositionMode(operation);
    painter->setOpacity(painter->opacity() * fraction);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    // A reduction is averaged ahead (see above); an enlargement is left to the painter.
    const double ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (d.destination.size() * ratio).toSize();
    if (pixels.width() > 0 && pixels.height() > 0 && pixels.width() < d.source.width() &&
        pixels.height() < d.source.height()) {
        QImage reduced = image.copy(d.source.toAlignedRect())
                             .scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        reduced.setDevicePixelRatio(ratio);
        painter->drawImage(d.destination, reduced);
    } else {
        painter->drawImage(d.destination, image, d.source);
    }
    painter->restore();
}

QImage ImageToFitSize(const QImage &image, const QSizeF &size, int method) {
    QImage fitted(PixelCount(size.width()), PixelCount(size.height()),
                  QImage::Format_ARGB32_Premultiplied);
    if (fitted.isNull()) return {};
    fitted.fill(Qt::transparent);
    QPainter painter(&fitted);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    DrawImageInRect(&painter, image, QRectF(fitted.rect()), QPainter::CompositionMode_SourceOver,
                    1, method);
    return fitted;
}

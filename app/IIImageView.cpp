#include "IIImageView.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <libyuv/scale_argb.h>

#include "IIImageClip.h"

namespace {

bool IsQuarterTurnSideways(int angle) { return angle == 90 || angle == 270; }

int SideInPixels(double v) {
    return static_cast<int>(std::clamp(std::round(v), 1.0, double(QWIDGETSIZE_MAX)));
}

// The picture in a 32-bit layout that both the painter and the scaler take as is.
QImage DrawableCopy(const QImage &image) {
    if (image.isNull()) return {};
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    return image.format() == format ? image : image.convertToFormat(format);
}

QImage Scaled(const QImage &source, int width, int height, libyuv::FilterMode filter) {
    QImage scaled(width, height, source.format());
    if (scaled.isNull()) return {};
    libyuv::ARGBScale(source.constBits(), static_cast<int>(source.bytesPerLine()), source.width(),
                      source.height(), scaled.bits(), static_cast<int>(scaled.bytesPerLine()),
                      width, height, filter);
    return scaled;
}

}  // namespace

IIImageView::IIImageView(QWidget *parent) : QWidget(parent) {}

void IIImageView::setImage(const QImage &image, int angle) {
    image_ = DrawableCopy(image);
    levels_.clear();
    dropReducedCopy();
    originalSize_ = image_.isNull() ? QSizeF() : QSizeF(image_.size());
    angle_ = angle;
    updateSize();
    update();
}

void IIImageView::setZoom(double zoom) {
    if (!(zoom >= kMinZoom && zoom <= kMaxZoom)) return;
    if (zoom != zoom_) dropReducedCopy();
    zoom_ = zoom;
    updateSize();
    update();
}

void IIImageView::setAngle(int angle) {
    angle_ = angle;
    dropReducedCopy();
    updateSize();
    update();
}

QSizeF IIImageView::originalSize() const {
    return IsQuarterTurnSideways(angle_) ? originalSize_.transposed() : originalSize_;
}

void IIImageView::updateSize() {
    if (image_.isNull()) return;
    const QSizeF size = originalSize() * zoom_;
    resize(SideInPixels(size.width()), SideInPixels(size.height()));
    if (auto *clip = qobject_cast<IIImageClip *>(parentWidget())) clip->updateDocument();
}

QTransform IIImageView::transformWithRotationInDegrees(int) const {
    QTransform transform;
    if (angle_ == 0) return transform;
    const QSizeF turned = originalSize() * zoom_;
    transform.translate(turned.width() / 2, turned.height() / 2);
    // Qt's y axis points down, so a counter-clockwise turn on screen is a negative angle.
    transform.rotate(-angle_);
    if (IsQuarterTurnSideways(angle_))
        transform.translate(-turned.height() / 2, -turned.width() / 2);
    else
        transform.translate(-turned.width() / 2, -turned.height() / 2);
    return transform;
}

void IIImageView::dropReducedCopy() { reduced_ = QImage(); }

QImage IIImageView::reducedCopy(double devicePixelRatio) const {
    if (image_.isNull()) return {};
    const double scale = zoom_ * devicePixelRatio;
    const int width = SideInPixels(image_.width() * scale);
    const int height = SideInPixels(image_.height() * scale);
    if (!reduced_.isNull() && reduced_.width() == width && reduced_.height() == height &&
        reduced_.devicePixelRatio() == devicePixelRatio)
        return reduced_;
    // Halve with a 2x2 box until one more halving would go below the target, then scale the
    // last level bilinearly by a factor between 1/2 and 1: every source pixel counts, so fine
    // detail does not alias.
    const QImage *level = &image_;
    for (std::size_t i = 0;; ++i) {
        const int halfWidth = level->width() / 2, halfHeight = level->height() / 2;
        if (halfWidth < width || halfHeight < height) break;
        if (i == levels_.size()) {
            QImage half = Scaled(*level, halfWidth, halfHeight, libyuv::kFilterBox);
            if (half.isNull()) break;
            levels_.push_back(std::move(half));
        }
        level = &levels_[i];
    }
    reduced_ = Scaled(*level, width, height, libyuv::kFilterBilinear);
    reduced_.setDevicePixelRatio(devicePixelRatio);
    return reduced_;
}

void IIImageView::paintEvent(QPaintEvent *event) {
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(transformWithRotationInDegrees(angle_));
    const double ratio = devicePixelRatioF();
    if (zoom_ * ratio < 0.5) {
        const QImage reduced = reducedCopy(ratio);
        if (!reduced.isNull()) {
            painter.drawImage(QPointF(0, 0), reduced);
            return;
        }
    }
    painter.scale(zoom_, zoom_);
    // Only the picture pixels under the exposed part, with a margin for the smoothing.
    const QRectF exposed = painter.transform().inverted().mapRect(QRectF(event->rect()));
    const QRect source = exposed.toAlignedRect().adjusted(-2, -2, 2, 2) & image_.rect();
    if (source.isEmpty()) return;
    painter.drawImage(QRectF(source), image_, QRectF(source));
}

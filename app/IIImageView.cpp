#include "IIImageView.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <libyuv/scale_argb.h>

#include "IIImageClip.h"
#include "picture_scaling.h"
#include "row_bands.h"

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

// Rows of a large picture per band when it is reduced on several threads.
constexpr int64_t kRowsPerBand = 256;

// Half the size, each pixel the mean of a 2 x 2 block; an odd last row or column is left out,
// so the scaler always takes its exact halving path. Each half row depends only on its own two
// rows, so the rows are halved in bands side by side.
QImage Halved(const QImage &source) {
    QImage half(source.width() / 2, source.height() / 2, source.format());
    if (half.isNull()) return {};
    const int64_t sourceStride = source.bytesPerLine(), halfStride = half.bytesPerLine();
    const uint8_t *from = source.constBits();
    uint8_t *to = half.bits();
    std::atomic<bool> failed{false};
    ForEachRowBand(half.height(), kRowsPerBand, 1, [&](int64_t y0, int64_t y1) {
        const int rows = static_cast<int>(y1 - y0);
        if (libyuv::ARGBScale(from + 2 * y0 * sourceStride, static_cast<int>(sourceStride),
                              half.width() * 2, rows * 2, to + y0 * halfStride,
                              static_cast<int>(halfStride), half.width(), rows,
                              libyuv::kFilterBox) != 0)
            failed = true;
    });
    if (failed) return {};
    return half;
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
            QImage half = Halved(*level);
            if (half.isNull()) break;
            levels_.push_back(std::move(half));
        }
        level = &levels_[i];
    }
    reduced_ = QImage(width, height, image_.format());
    if (reduced_.isNull()) return {};
    // Each band of rows of the reduced copy is a part of its own.
    const int64_t stride = reduced_.bytesPerLine();
    uint8_t *to = reduced_.bits();
    ForEachRowBand(height, kRowsPerBand, 1, [&](int64_t y0, int64_t y1) {
        ScaleArgbPart(level->constBits(), level->bytesPerLine(), level->width(), level->height(),
                      to + y0 * stride, stride,
                      ScaledPart{width, height, 0, static_cast<int>(y0), width,
                                 static_cast<int>(y1 - y0)});
    });
    reduced_.setDevicePixelRatio(devicePixelRatio);
    return reduced_;
}

bool IIImageView::paintScaledPart(QPainter *painter, const QRect &exposed, double ratio) const {
    // The whole picture as large as it is shown, in device pixels; only the exposed part of it is
    // computed, straight from the picture.
    const double scale = zoom_ * ratio;
    const QRectF shown(exposed & rect());
    ScaledPart part{SideInPixels(image_.width() * scale), SideInPixels(image_.height() * scale),
                    0, 0, 0, 0};
    const QRect pixels = QRectF(shown.topLeft() * ratio, shown.size() * ratio).toAlignedRect() &
                         QRect(0, 0, part.fullWidth, part.fullHeight);
    if (pixels.isEmpty()) return true;
    if (scratch_.width() < pixels.width() || scratch_.height() < pixels.height() ||
        scratch_.format() != image_.format())
        scratch_ = QImage(pixels.size(), image_.format());
    if (scratch_.isNull()) return false;
    part.x = pixels.x();
    part.y = pixels.y();
    part.width = pixels.width();
    part.height = pixels.height();
    if (!ScaleArgbPart(image_.constBits(), image_.bytesPerLine(), image_.width(), image_.height(),
                       scratch_.bits(), scratch_.bytesPerLine(), part))
        return false;
    QImage tile(scratch_.constBits(), part.width, part.height, scratch_.bytesPerLine(),
                scratch_.format());
    tile.setDevicePixelRatio(ratio);
    painter->drawImage(QPointF(pixels.topLeft()) / ratio, tile);
    return true;
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
    if (angle_ == 0 && paintScaledPart(&painter, event->rect(), ratio)) return;
    painter.scale(zoom_, zoom_);
    // Only the picture pixels under the exposed part, with a margin for the smoothing.
    const QRectF exposed = painter.transform().inverted().mapRect(QRectF(event->rect()));
    const QRect source = exposed.toAlignedRect().adjusted(-2, -2, 2, 2) & image_.rect();
    if (source.isEmpty()) return;
    painter.drawImage(QRectF(source), image_, QRectF(source));
}

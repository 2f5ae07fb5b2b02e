#include "IIPopupImageView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "CommonDefine.h"
#include "ImageAdditions.h"

IIImageViewController::IIImageViewController(QObject *parent) : QObject(parent) {}

IIImageViewController::~IIImageViewController() {
    if (view_ && !view_->parent()) delete view_.data();
}

QWidget *IIImageViewController::view() {
    if (view_) return view_.data();
    auto *view = new QWidget;
    auto *layout = new QVBoxLayout(view);
    layout->setContentsMargins(8, 8, 8, 8);
    imageView_ = new QLabel(view);
    imageView_->setAlignment(Qt::AlignCenter);
    layout->addWidget(imageView_);
    view_ = view;
    viewDidLoad();
    return view;
}

void IIImageViewController::viewDidLoad() {
    if (!imageView_) return;
    // Made in device pixels, so a high-density screen shows the preview sharp.
    const double ratio = imageView_->devicePixelRatioF();
    QImage preview = ImageByScalingProportionallyToSize(image, QSizeF(kPreviewSize) * ratio);
    preview.setDevicePixelRatio(ratio);
    imageView_->setPixmap(QPixmap::fromImage(preview));
    imageView_->setFixedSize(preview.isNull() ? QSize(1, 1)
                                              : (QSizeF(preview.size()) / ratio).toSize());
}

IIPopupImageView::IIPopupImageView(QWidget *parent) : QLabel(parent) {}

void IIPopupImageView::setImage(const QImage &image) {
    image_ = image;
    shown_ = QImage();
    update();
}

void IIPopupImageView::mousePressEvent(QMouseEvent *event) {
    if (image_.isNull() || event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    // A dark popup frame that closes on a click outside it, under the thumbnail's bottom edge.
    auto *frame = new QFrame(this, Qt::Popup);
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frame->setFrameShape(QFrame::Box);
    QPalette palette = frame->palette();
    palette.setColor(QPalette::Window, CommonDefine::backgroundColor().darker(130));
    palette.setColor(QPalette::WindowText, QColor::fromRgbF(0.9f, 0.9f, 0.9f));
    frame->setPalette(palette);
    frame->setAutoFillBackground(true);
    auto *controller = new IIImageViewController(frame);
    controller->image = image_;
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(controller->view());
    frame->adjustSize();
    const QPoint below = mapToGlobal(QPoint(width() / 2, height()));
    frame->move(below.x() - frame->width() / 2, below.y() + 4);
    popover_ = frame;
    frame->show();
}

void IIPopupImageView::paintEvent(QPaintEvent *event) {
    if (image_.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    const double ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (shown_.size() != pixels || shown_.devicePixelRatio() != ratio) {
        shown_ = ImageScaledToFitSize(image_, QSizeF(pixels));
        shown_.setDevicePixelRatio(ratio);
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), shown_);
}

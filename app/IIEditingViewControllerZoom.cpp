// The zoom of the editing controller: fit, actual size and free factors.
#include <algorithm>
#include <cmath>

#include "IIEditingViewController.h"

#include "CBHDROpenController.h"
#include "IHDREngineController.h"
#include "IIAdjustViewController.h"
#include "IIWarningMessageController.h"
#include "MMWaitingWindowController.h"

QSizeF FitSizeWithin(double width, double height, double boxWidth, double boxHeight) {
    if (width <= boxWidth && height <= boxHeight) return QSizeF(width, height);
    const float scale = std::min(static_cast<float>(boxWidth) / static_cast<float>(width),
                                 static_cast<float>(boxHeight) / static_cast<float>(height));
    // Products of two floats rounded once to float: the same as rounding the exact product. (Kept
    // in float on purpose: GCC 12 at -O2 drops the rounding of double products cast to float
    // when it pairs the two sides into one vector multiply.)
    return QSizeF(static_cast<float>(width) * scale, scale * static_cast<float>(height));
}

IIEditingViewController::IIEditingViewController(QObject *parent) : QObject(parent) {}

IIEditingViewController::~IIEditingViewController() {
    // The panel reads the bridge: the view goes before the bridge does.
    delete view_.data();
    disconnect(frameConnection_);
    // The clip may outlive the controller; it must not report to it afterwards.
    if (imageClip_ && imageClip_->clipDelegate() == this) imageClip_->setClipDelegate(nullptr);
}

void IIEditingViewController::setUpImageClip(IIImageClip *clip) {
    disconnect(frameConnection_);
    imageClip_ = clip;
    if (!clip) return;
    auto *view = new IIImageView(clip);
    view->setGeometry(clip->rect());
    imageView_ = view;
    clip->setDocument(view);
    clip->setClipDelegate(this);
    frameConnection_ = connect(clip, &IIImageClip::frameChanged, this,
                               &IIEditingViewController::imageClipFrameChanged);
}

bool IIEditingViewController::hasImage() const { return imageView_ && imageView_->hasImage(); }

void IIEditingViewController::zoomImage(double factor) {
    if (!hasImage() || std::isnan(factor)) return;
    zoomMode_ = kZoomFree;
    zoomFactor_ = std::clamp(factor, kMinZoomFactor, kMaxZoomFactor);
    updateZoom();
}

void IIEditingViewController::zoomFit() {
    if (!hasImage()) return;
    zoomMode_ = kZoomFit;
    updateZoom();
}

void IIEditingViewController::zoomActual() {
    if (!hasImage()) return;
    zoomMode_ = kZoomActualSize;
    updateZoom();
}

void IIEditingViewController::zoomIn() {
    if (!hasImage()) return;
    zoomMode_ = kZoomFree;
    const auto next = std::upper_bound(kZoomSteps.begin(), kZoomSteps.end(), zoomFactor_);
    if (next != kZoomSteps.end()) zoomFactor_ = *next;
    updateZoom();
}

void IIEditingViewController::zoomOut() {
    if (!hasImage()) return;
    zoomMode_ = kZoomFree;
    const auto first = std::lower_bound(kZoomSteps.begin(), kZoomSteps.end(), zoomFactor_);
    if (first != kZoomSteps.begin()) zoomFactor_ = *(first - 1);
    updateZoom();
}

void IIEditingViewController::zoom(int selectedSegment) {
    switch (selectedSegment) {
    case 0: zoomOut(); break;
    case 1: zoomIn(); break;
    case 2: zoomFit(); break;
    case 3: zoomActual(); break;
    default: break;
    }
}

void IIEditingViewController::updateZoom() {
    // Without a picture there is no size to fit, and nothing to zoom.
    if (!hasImage()) return;
    switch (zoomMode_) {
    case kZoomFree:
        imageView_->setZoom(zoomFactor_);
        break;
    case kZoomActualSize:
        zoomFactor_ = 1;
        imageView_->setZoom(1);
        if (imageClip_) imageClip_->centerImage();
        break;
    default: {
        const QSizeF original = imageView_->originalSize();
        const QSizeF box = imageClip_ ? QSizeF(imageClip_->size()) : QSizeF();
        const QSizeF fitted =
            FitSizeWithin(original.width(), original.height(), box.width(), box.height());
        // A fit below the view's smallest factor is kept here and refused by the view.
        zoomFactor_ = std::min(1.0, fitted.width() / original.width());
        imageView_->setZoom(zoomFactor_);
        if (imageClip_) imageClip_->centerImage();
        break;
    }
    }
}

void IIEditingViewController::imageClipMagnify(IIImageClip *, double value) {
    zoomImage((value + 1) * zoomFactor_);
}

void IIEditingViewController::imageClipScrollWheel(IIImageClip *, double delta) {
    zoomImage(zoomFactor_ + 0.1 * delta);
}

void IIEditingViewController::imageClipFrameChanged() {
    if (zoomMode_ == kZoomFit && hasImage()) updateZoom();
}

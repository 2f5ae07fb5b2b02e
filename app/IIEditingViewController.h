// The editing controller: the document controller of the main window. This part holds its zoom
// state and operations; the picture view sits in the clip it is given, and the controller is the
// clip's delegate.
#pragma once

#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <array>
#include <cstdint>

#include "IIImageClip.h"
#include "IIImageView.h"

// w x h unchanged when it fits within the box; else scaled by the smaller of the two ratios,
// which are computed in single precision, and each side rounded to single precision.
QSizeF FitSizeWithin(double width, double height, double boxWidth, double boxHeight);

class IIEditingViewController : public QObject, public IIImageClipDelegate {
    Q_OBJECT
public:
    enum ZoomMode : int64_t { kZoomFit = 0, kZoomActualSize = 1, kZoomFree = 2 };
    // The factors zoomIn and zoomOut step through, ascending.
    static constexpr std::array<double, 19> kZoomSteps = {
        0.03, 0.05, 0.07, 0.1, 0.15, 0.2, 0.3, 0.5, 0.7, 1, 1.5, 2, 3, 5, 7, 10, 20, 30, 50};
    static constexpr double kMinZoomFactor = 0.03, kMaxZoomFactor = 50;

    explicit IIEditingViewController(QObject *parent = nullptr);
    ~IIEditingViewController() override;

    // Makes the picture view inside clip, with the clip's size, sets this controller as the clip's
    // delegate and follows the clip's size so that a fitted picture stays fitted.
    void setUpImageClip(IIImageClip *clip);
    IIImageClip *imageClip() const { return imageClip_.data(); }
    IIImageView *imageView() const { return imageView_.data(); }
    bool hasImage() const;

    int64_t zoomMode() const { return zoomMode_; }
    double zoomFactor() const { return zoomFactor_; }

    // Every zoom operation does nothing without a picture.
    // A free factor, kept within 0.03 .. 50; a value that is not a number is ignored.
    void zoomImage(double factor);
    void zoomFit();
    void zoomActual();
    // The next larger (smaller) factor of the table; the factor stays beyond its ends.
    void zoomIn();
    void zoomOut();
    // The zoom control's segments: 0 out, 1 in, 2 fit, 3 actual size; others nothing.
    void zoom(int selectedSegment);
    // Applies the mode: a free factor as it is; actual size at 1 and centred; a fit of the
    // picture into the clip, never enlarged beyond 1, centred.
    void updateZoom();

    void imageClipMagnify(IIImageClip *clip, double value) override;
    void imageClipScrollWheel(IIImageClip *clip, double delta) override;

private:
    void imageClipFrameChanged();

    int64_t zoomMode_ = kZoomFit;
    double zoomFactor_ = 1.0;
    QPointer<IIImageView> imageView_;
    QPointer<IIImageClip> imageClip_;
    QMetaObject::Connection frameConnection_;
};

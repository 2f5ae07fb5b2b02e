// The view that draws the picture at a zoom factor and a quarter-turn angle. It is as large as
// the picture times the zoom and lives inside an IIImageClip, which shows a window onto it.
#pragma once

#include <QImage>
#include <QSizeF>
#include <QTransform>
#include <QWidget>
#include <vector>

class IIImageView : public QWidget {
    Q_OBJECT
public:
    // Zoom factors the view accepts.
    static constexpr double kMinZoom = 0.01, kMaxZoom = 100;

    explicit IIImageView(QWidget *parent = nullptr);

    // Stores the picture and the angle (0, 90, 180 or 270, counter-clockwise on screen), takes the
    // picture's pixel size, resizes and redraws. A null image leaves the view without a picture.
    void setImage(const QImage &image, int angle);
    QImage image() const { return image_; }
    bool hasImage() const { return !image_.isNull(); }

    double zoom() const { return zoom_; }
    // Only factors from 0.01 to 100 are taken; any other value (NaN among them) is ignored.
    void setZoom(double zoom);
    int angle() const { return angle_; }
    void setAngle(int angle);
    // The picture's pixel size, sides swapped for 90 and 270.
    QSizeF originalSize() const;

    // With a picture: the view's size becomes the original size times the zoom (at least a pixel)
    // and the clip around it places it again. Without a picture nothing.
    void updateSize();
    // The turn about the view's middle for the view's own angle and zoom (the argument is not
    // used), in the view's coordinates; identity at angle 0.
    QTransform transformWithRotationInDegrees(int degrees) const;

    bool isOpaqueFlag() const { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }

    // The smoothly reduced copy of the picture the view draws when it shows the picture at less
    // than half a device pixel per picture pixel: the picture's unrotated size times the zoom
    // times devicePixelRatio, in device pixels. Made on first use and kept until the picture,
    // zoom or angle changes.
    QImage reducedCopy(double devicePixelRatio) const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void dropReducedCopy();
    // Scales the exposed part of the unturned picture into a scratch image and draws it; false
    // when the scaler cannot take the sizes.
    bool paintScaledPart(QPainter *painter, const QRect &exposed, double ratio) const;

    QImage image_;
    QSizeF originalSize_;
    int angle_ = 0;
    double zoom_ = 1.0;
    bool opaque_ = false;
    // Halved copies of the picture (level 1 is half size, level 2 a quarter...), made as needed.
    mutable std::vector<QImage> levels_;
    mutable QImage reduced_;
    mutable QImage scratch_;
};

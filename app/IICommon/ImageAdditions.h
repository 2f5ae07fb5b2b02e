// Image helpers: the pixel size of an image, proportional scaling, and drawing that keeps the
// aspect ratio by cropping or by fitting.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSizeF>

class CTGradient;

// The image's size in pixels; an empty size for a null image.
QSizeF SizeLargestRepresentation(const QImage &image);

// A null image for a null image. When size is at least the image's pixel size both ways, the
// image itself at one pixel per unit; otherwise a new image of the pixel size times
// k = min(width ratio, height ratio) (at least one pixel each way) with the image drawn in whole
// and smoothly. The background, when given, first paints the whole new image as a swatch.
QImage ImageByScalingProportionallyToSize(const QImage &image, const QSizeF &size);
QImage ImageByScalingProportionallyToSize(const QImage &image, const QSizeF &size,
                                          const CTGradient &background);
QImage ImageByScalingProportionallyToSize(const QImage &image, const QSizeF &size,
                                          const QColor &background);

// Aspect-keeping methods: 0 fills the rectangle and crops to the middle, 1 fills and keeps the top
// (or the left edge), 2 fills and keeps the bottom (or the right edge), 3 fits the whole image
// inside the rectangle, centred.
enum ImageAspectMethod {
    ImageAspectCropCentre = 0,
    ImageAspectCropKeepTop = 1,
    ImageAspectCropKeepBottom = 2,
    ImageAspectFit = 3,
};

// What to draw for an image of pixel size source into rect: the part of the image (in its pixel
// coordinates, y down) and where it goes. Empty for a method outside 0..3, an empty rectangle or
// an empty image.
struct AspectDrawing {
    QRectF source;
    QRectF destination;
    bool isEmpty() const { return source.isEmpty() || destination.isEmpty(); }
};
AspectDrawing ComputeAspectDrawing(const QSizeF &source, const QRectF &rect, int method);

// Draws image into rect by method with the composition mode and the opacity fraction.
void DrawImageInRect(QPainter *painter, const QImage &image, const QRectF &rect,
                     QPainter::CompositionMode operation, float fraction, int method);

// A new image of size (rounded, at least one pixel) holding the image drawn by method.
QImage ImageToFitSize(const QImage &image, const QSizeF &size, int method);
inline QImage ImageCroppedToFitSize(const QImage &image, const QSizeF &size) {
    return ImageToFitSize(image, size, ImageAspectCropCentre);
}
inline QImage ImageScaledToFitSize(const QImage &image, const QSizeF &size) {
    return ImageToFitSize(image, size, ImageAspectFit);
}

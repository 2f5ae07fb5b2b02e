// Turned copies of images, and an image view sized to its image.
#pragma once

#include <QImage>

class QLabel;

// The image turned by degrees, counter-clockwise on screen, about its middle: a quarter or three
// quarter turn swaps the sides, a half turn keeps them, any other angle gives a square of the
// longer side plus 20 with clear corners. A whole turn (or 0) answers the image itself. Angles
// that are not multiples of 90 are logged as untested. A null image when the copy cannot be
// allocated.
QImage ImageRotated(const QImage &image, float degrees);

// Sizes the label to the image, keeping its position, then shows the image in it.
void SetImageAndFrame(QLabel *view, const QImage &image);

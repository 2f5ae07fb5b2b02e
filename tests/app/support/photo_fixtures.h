// Photos made by the tests: JPEGs with chosen JFIF and EXIF segments, LinearRaw DNGs, and
// upright patterns stored in each of the eight orientations.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace fixtures {

struct ExifFields {
    std::optional<int> orientation;
    std::optional<double> exposureBias;
    std::optional<int> iso;
    std::optional<double> focalLength;
};

QByteArray EncodeJpeg(const QImage &image, int quality = 95);
// The JPEG with its APPn segments replaced by a JFIF segment (unit 0: no resolution) and, when
// given, an EXIF segment.
QByteArray WithSegments(const QByteArray &jpeg, int jfifUnit, int xDensity, int yDensity,
                        const std::optional<ExifFields> &exif);
bool WriteFile(const QString &path, const QByteArray &bytes);

// A grey upright picture with a red square near its top-left corner and a blue one near its
// top-right corner, 16 pixels from the edges, each 16 x 16.
QImage UprightPattern(int width, int height);
// The picture as a camera stores it for the orientation (1..8), so that turning it upright by
// the orientation gives the picture back.
QImage StoredForOrientation(const QImage &upright, int orientation);

// A LinearRaw DNG of 16-bit R,G,B samples (white level 65535), the sRGB primaries as camera
// space, a neutral as-shot white balance and the orientation tag.
bool WriteLinearDng(const QString &path, int width, int height,
                    const std::vector<uint16_t> &rgb, int orientation);

}  // namespace fixtures

// Brackets of three photos of one synthetic scene, written as JPEG files and loaded as
// CBImageSources, for the screenshot program and the application's tests.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class CBImageSource;

namespace fixtures {

// A textured scene (a sky gradient, discs and bars of many levels) seen at an exposure gain:
// 1 is the normal exposure, 0.25 two stops darker, 4 two stops brighter.
QImage ExposedScene(int width, int height, double gain);

// Writes the scene at gains 0.25, 1 and 4 into folder (made when missing); the three paths in that order.
QStringList WriteBracket(const QString &folder, int width, int height);

// The photos opened, or an empty list when one does not open.
std::vector<std::unique_ptr<CBImageSource>> OpenPhotos(const QStringList &paths);

}  // namespace fixtures

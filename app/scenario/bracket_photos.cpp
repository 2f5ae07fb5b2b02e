#include "bracket_photos.h"

#include <QDir>
#include <QImageWriter>
#include <algorithm>
#include <cmath>
#include <random>

#include "CBImageSource.h"

namespace fixtures {

namespace {

// Linear scene light in 0..~1.5 at each pixel: bright sky, darker ground, features.
std::vector<double> SceneLight(int width, int height) {
    std::vector<double> light(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            light[static_cast<size_t>(y) * width + x] =
                y < height / 2 ? 1.4 - 0.8 * y / height : 0.05 + 0.2 * x / width;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int features = std::clamp(width * height / 900, 12, 400);
    for (int k = 0; k < features; ++k) {
        const double cx = unit(random) * width, cy = unit(random) * height;
        const double r = 3 + unit(random) * std::min(width, height) / 14.0;
        const double level = std::pow(10.0, -2.0 + 2.3 * unit(random));
        const bool bar = k % 3 == 0;
        const int x0 = std::max(0, int(cx - r)), x1 = std::min(width, int(cx + r) + 1);
        const int y0 = std::max(0, int(cy - r)), y1 = std::min(height, int(cy + r) + 1);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const double dx = x - cx, dy = y - cy;
                if (bar ? std::abs(dy) < r / 3 : dx * dx + dy * dy < r * r)
                    light[static_cast<size_t>(y) * width + x] = level;
            }
    }
    return light;
}

}  // namespace

QImage ExposedScene(int width, int height, double gain) {
    const std::vector<double> light = SceneLight(width, height);
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double l = light[static_cast<size_t>(y) * width + x] * gain;
            auto level = [&](double tint) {
                return static_cast<int>(255 * std::pow(std::clamp(l * tint, 0.0, 1.0), 1 / 2.2) + 0.5);
            };
            row[x] = qRgb(level(1.0), level(0.92), level(0.8));
        }
    }
    return picture;
}

QStringList WriteBracket(const QString &folder, int width, int height) {
    QStringList paths;
    if (!QDir().mkpath(folder)) return {};
    const double gains[] = {0.25, 1, 4};
    for (int i = 0; i < 3; ++i) {
        const QString path = QDir(folder).filePath(QStringLiteral("bracket%1.jpg").arg(i));
        QImageWriter writer(path, "jpeg");
        writer.setQuality(95);
        if (!writer.write(ExposedScene(width, height, gains[i]))) return {};
        paths << path;
    }
    return paths;
}

std::vector<std::unique_ptr<CBImageSource>> OpenPhotos(const QStringList &paths) {
    std::vector<std::unique_ptr<CBImageSource>> photos;
    for (const QString &path : paths) {
        auto photo = std::make_unique<CBImageSource>();
        if (!photo->initWithPhoto(path) || !photo->open()) return {};
        photos.push_back(std::move(photo));
    }
    return photos;
}

}  // namespace fixtures

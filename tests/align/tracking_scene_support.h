// Synthetic scenes for the tracker and fit tests: a procedural texture of soft-edged rectangles
// evaluated at any real position, rendered as 8-bit gray thumbnails, optionally seen through a
// known projective transform and with a changed exposure.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "align/projective_fit.h"
#include "core/engine_types.h"

namespace tracking_test {

// An owned 8-bit image behind a descriptor (plane 0 only, rows padded to the pitch).
struct GrayImage {
    int32_t width = 0, height = 0, pitch = 0;
    std::vector<uint8_t> pixels;
    ImageDesc desc{};

    GrayImage(int32_t w, int32_t h, int32_t padding = 3)
        : width(w), height(h), pitch(w + padding),
          pixels(static_cast<size_t>(pitch) * h + 16, 0) {
        desc.u32PixelArrayFormat = PIXEL_FORMAT_GRAY8;
        desc.i32Width = w;
        desc.i32Height = h;
        desc.ppu8Plane[0] = pixels.data();
        desc.pi32Pitch[0] = pitch;
    }
    GrayImage(const GrayImage &other) : GrayImage(other.width, other.height, other.pitch - other.width) {
        pixels = other.pixels;
        desc.ppu8Plane[0] = pixels.data();
    }
    GrayImage &operator=(const GrayImage &) = delete;
    uint8_t &at(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y) * pitch + x]; }
    uint8_t at(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * pitch + x]; }
    const ImageDesc *image() const { return &desc; }
};

// Reference -> exposure transform as in the engine: ((a x + b y + tx) / w, ...), w = 1 - g x - h y.
inline void ApplyTransform(const ProjectiveTransform &t, double x, double y, double *X,
                           double *Y) {
    const double w = 1.0 - t.perspective[0] * x - t.perspective[1] * y;
    *X = (t.matrix[0] * x + t.matrix[1] * y + t.translation[0]) / w;
    *Y = (t.matrix[2] * x + t.matrix[3] * y + t.translation[1]) / w;
}

// Moves a match's current position 20 to 60 pixels in a random direction (an outlier); draws
// the direction, then the distance, from `unit`.
inline void MoveFar(std::mt19937 &random, std::uniform_real_distribution<double> &unit, double *X,
                    double *Y) {
    const double a = 2.0 * M_PI * unit(random), r = 20.0 + 40.0 * unit(random);
    *X += r * std::cos(a);
    *Y += r * std::sin(a);
}

// The inverse through the 3 x 3 homography [a00 a01 tx; a10 a11 ty; -g -h 1].
inline void ApplyInverse(const ProjectiveTransform &t, double X, double Y, double *x,
                         double *y) {
    const double m[3][3] = {{t.matrix[0], t.matrix[1], t.translation[0]},
                            {t.matrix[2], t.matrix[3], t.translation[1]},
                            {-t.perspective[0], -t.perspective[1], 1.0}};
    double inv[3][3];
    inv[0][0] = m[1][1] * m[2][2] - m[1][2] * m[2][1];
    inv[0][1] = m[0][2] * m[2][1] - m[0][1] * m[2][2];
    inv[0][2] = m[0][1] * m[1][2] - m[0][2] * m[1][1];
    inv[1][0] = m[1][2] * m[2][0] - m[1][0] * m[2][2];
    inv[1][1] = m[0][0] * m[2][2] - m[0][2] * m[2][0];
    inv[1][2] = m[0][2] * m[1][0] - m[0][0] * m[1][2];
    inv[2][0] = m[1][0] * m[2][1] - m[1][1] * m[2][0];
    inv[2][1] = m[0][1] * m[2][0] - m[0][0] * m[2][1];
    inv[2][2] = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    const double u = inv[0][0] * X + inv[0][1] * Y + inv[0][2];
    const double v = inv[1][0] * X + inv[1][1] * Y + inv[1][2];
    const double w = inv[2][0] * X + inv[2][1] * Y + inv[2][2];
    *x = u / w;
    *y = v / w;
}

inline ProjectiveTransform Identity() {
    return {{1.0, 0.0, 0.0, 1.0}, {0.0, 0.0}, {0.0, 0.0}};
}

inline ProjectiveTransform Translation(double tx, double ty) {
    ProjectiveTransform t = Identity();
    t.translation[0] = tx;
    t.translation[1] = ty;
    return t;
}

// Rotation by degrees and uniform scale about (cx, cy), then a translation.
inline ProjectiveTransform RotationScale(double degrees, double scale, double cx, double cy,
                                         double tx = 0.0, double ty = 0.0) {
    const double a = degrees * M_PI / 180.0;
    const double c = scale * std::cos(a), s = scale * std::sin(a);
    ProjectiveTransform t = Identity();
    t.matrix[0] = c;
    t.matrix[1] = -s;
    t.matrix[2] = s;
    t.matrix[3] = c;
    t.translation[0] = cx - (c * cx - s * cy) + tx;
    t.translation[1] = cy - (s * cx + c * cy) + ty;
    return t;
}

// Soft-edged rectangles of random brightness over a mid-grey ground, in linear light 0..1.
class SceneTexture {
public:
    SceneTexture(int32_t width, int32_t height, uint32_t seed, int32_t count = 0) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        if (count == 0) count = width * height / 400;
        for (int32_t i = 0; i < count; ++i) {
            Rect r;
            const double w = 6.0 + 30.0 * unit(random), h = 6.0 + 30.0 * unit(random);
            r.x0 = -20.0 + (width + 40.0) * unit(random);
            r.y0 = -20.0 + (height + 40.0) * unit(random);
            r.x1 = r.x0 + w;
            r.y1 = r.y0 + h;
            r.amplitude = (unit(random) - 0.5) * 0.5;
            rects_.push_back(r);
        }
        // Buckets of 32 x 32 pixels over a margin around the image, for quick evaluation.
        columns_ = (width + 2 * kMargin) / kBucket + 1;
        rows_ = (height + 2 * kMargin) / kBucket + 1;
        buckets_.resize(static_cast<size_t>(columns_) * rows_);
        for (size_t i = 0; i < rects_.size(); ++i) {
            const Rect &r = rects_[i];
            for (int32_t by = Bucket(r.y0 - 2, rows_); by <= Bucket(r.y1 + 2, rows_); ++by)
                for (int32_t bx = Bucket(r.x0 - 2, columns_); bx <= Bucket(r.x1 + 2, columns_);
                     ++bx)
                    buckets_[static_cast<size_t>(by) * columns_ + bx].push_back(i);
        }
    }
    // Linear-light value at a real position.
    double Evaluate(double x, double y) const {
        double v = 0.18;
        const auto &bucket =
            buckets_[static_cast<size_t>(Bucket(y, rows_)) * columns_ + Bucket(x, columns_)];
        for (size_t index : bucket) {
            const Rect &r = rects_[index];
            if (x < r.x0 - 2 || x > r.x1 + 2 || y < r.y0 - 2 || y > r.y1 + 2) continue;
            v += r.amplitude * Edge(x - r.x0) * Edge(r.x1 - x) * Edge(y - r.y0) * Edge(r.y1 - y);
        }
        return std::clamp(v, 0.005, 1.0);
    }

private:
    struct Rect {
        double x0, y0, x1, y1, amplitude;
    };
    // A smooth step about 2 pixels wide.
    static double Edge(double d) {
        if (d <= -1.0) return 0.0;
        if (d >= 1.0) return 1.0;
        const double t = (d + 1.0) * 0.5;
        return t * t * (3.0 - 2.0 * t);
    }
    static constexpr int32_t kBucket = 32;
    static constexpr int32_t kMargin = 64;
    int32_t Bucket(double v, int32_t count) const {
        const int32_t b = static_cast<int32_t>(std::floor((v + kMargin) / kBucket));
        return std::clamp(b, 0, count - 1);
    }
    std::vector<Rect> rects_;
    std::vector<std::vector<size_t>> buckets_;
    int32_t columns_ = 0, rows_ = 0;
};

// Gamma-encoded 8-bit value of a linear level times gain, clipped at white.
inline uint8_t Encode(double linear, double gain) {
    const double v = std::min(1.0, linear * gain);
    return static_cast<uint8_t>(std::lround(255.0 * std::pow(v, 1.0 / 2.2)));
}

// Renders exposure(q) = scene(H^-1(q)) with the gain, averaging 2 x 2 subsamples per pixel.
inline GrayImage RenderView(const SceneTexture &scene, int32_t width, int32_t height,
                            const ProjectiveTransform &t, double gain) {
    GrayImage image(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            double sum = 0.0;
            for (int32_t sy = 0; sy < 2; ++sy)
                for (int32_t sx = 0; sx < 2; ++sx) {
                    double u, v;
                    ApplyInverse(t, x - 0.25 + 0.5 * sx, y - 0.25 + 0.5 * sy, &u, &v);
                    sum += std::min(1.0, scene.Evaluate(u, v) * gain);
                }
            image.at(x, y) = Encode(sum / 4.0, 1.0);
        }
    return image;
}

// Maps the levels of image onto those of reference by matching cumulative histograms, as
// registration does before tracking an exposure of another brightness.
inline void MatchLevels(GrayImage &image, const GrayImage &reference) {
    auto cumulative = [](const GrayImage &img) {
        std::vector<double> c(256, 0.0);
        for (int32_t y = 0; y < img.height; ++y)
            for (int32_t x = 0; x < img.width; ++x) c[img.at(x, y)] += 1.0;
        for (int32_t i = 1; i < 256; ++i) c[i] += c[i - 1];
        for (double &v : c) v /= static_cast<double>(img.width) * img.height;
        return c;
    };
    const std::vector<double> from = cumulative(image), to = cumulative(reference);
    uint8_t table[256];
    for (int32_t level = 0; level < 256; ++level) {
        // Middle of the level's share of the distribution.
        const double below = level > 0 ? from[level - 1] : 0.0;
        const double target = 0.5 * (below + from[level]);
        int32_t match = 0;
        while (match < 255 && to[match] < target) ++match;
        table[level] = static_cast<uint8_t>(match);
    }
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) image.at(x, y) = table[image.at(x, y)];
}

}  // namespace tracking_test

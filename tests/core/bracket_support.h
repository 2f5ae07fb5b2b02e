// Synthetic brackets: one scene of linear light shot at three exposures and stored as packed
// 4:2:2 images the test owns.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "core/hdr_engine.h"
#include "image_support.h"

namespace bracket_support {

// Scene radiance at a pixel, 1.0 being a mid-grey of the middle exposure.
using Scene = std::function<double(int x, int y)>;

// Textured scene: a smooth ramp, discs and a fine grid of corners for the tracker.
inline Scene TexturedScene(int width, int height, uint32_t seed = 7) {
    struct Disc {
        double x, y, r, level;
    };
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Disc> discs;
    for (int i = 0; i < 40; ++i)
        discs.push_back({unit(random) * width, unit(random) * height,
                         6 + unit(random) * width / 12.0, 0.05 + 3.5 * unit(random)});
    return [=](int x, int y) {
        double level = 0.15 + 1.6 * x / width + 0.4 * y / height;
        for (const Disc &d : discs)
            if ((x - d.x) * (x - d.x) + (y - d.y) * (y - d.y) < d.r * d.r) level = d.level;
        if (((x / 24) + (y / 24)) % 5 == 0) level *= 0.45;
        return level;
    };
}

inline Scene FlatScene(double level) {
    return [=](int, int) { return level; };
}

// 8-bit code of radiance times gain through a 1/2.2 gamma, clipped at white and, below a small
// black level, at black (as a sensor crushes its deepest shadows).
inline uint8_t Code(double radiance, double gain) {
    const double v = std::clamp((radiance * gain * 0.18 - 0.004) / 0.996, 0.0, 1.0);
    return static_cast<uint8_t>(std::lround(255.0 * std::pow(v, 1 / 2.2)));
}

// A packed 4:2:2 image whose bytes the test owns; pitch = 2 * width + extra.
struct PackedImage {
    PackedImage(int w, int h, int extra = 0)
        : width(w), height(h), pitch(2 * w + extra), bytes(size_t(pitch) * h, 0) {}
    ImageDesc Descriptor() {
        return image_support::YuyvDescriptor(bytes.data(), width, height, pitch);
    }
    uint8_t Luma(int x, int y) const { return bytes[size_t(y) * pitch + 2 * x]; }
    int width, height, pitch;
    std::vector<uint8_t> bytes;
};

// The scene at one exposure; chroma leans warm on the left and cool on the right.
inline PackedImage Expose(const Scene &scene, int w, int h, double gain, int extra = 0) {
    PackedImage image(w, h, extra);
    for (int y = 0; y < h; ++y) {
        uint8_t *row = image.bytes.data() + size_t(y) * image.pitch;
        for (int x = 0; x < w; x += 2) {
            const uint8_t y0 = Code(scene(x, y), gain);
            const uint8_t y1 = Code(scene(x + 1, y), gain);
            const int tint = (x < w / 2 ? 10 : -10) * (y0 + y1) / 510;
            row[2 * x] = y0;
            row[2 * x + 1] = static_cast<uint8_t>(128 - tint);
            row[2 * x + 2] = y1;
            row[2 * x + 3] = static_cast<uint8_t>(128 + tint);
        }
    }
    return image;
}

// Dark, middle and bright exposures of one scene (gains 1/4, 1 and 4).
struct Bracket {
    std::vector<PackedImage> images;
    std::vector<__tag_QELV_OFFSCREEN> descriptors;
    void Describe() {
        descriptors.clear();
        for (PackedImage &image : images) descriptors.push_back(image.Descriptor());
    }
};

inline Bracket MakeBracket(const Scene &scene, int w, int h, std::vector<double> gains = {0.25, 1, 4},
                           int extra = 0) {
    Bracket b;
    for (double g : gains) b.images.push_back(Expose(scene, w, h, g, extra));
    b.Describe();
    return b;
}

}  // namespace bracket_support

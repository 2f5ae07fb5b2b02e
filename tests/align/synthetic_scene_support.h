// A seeded, textured linear-light scene that can be sampled at any real position, and the
// 8-bit exposures made from it. Header-only: shared by the alignment tests and benchmarks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace synthetic {

inline uint32_t Hash(uint32_t a, uint32_t b, uint32_t seed) {
    uint32_t h = a * 0x8DA6B343u ^ b * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

inline double Unit(uint32_t h) { return (h >> 8) * (1.0 / 16777216.0); }

inline double Fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }

// sRGB encoding of linear light, clipped to [0, 1], rounded to 8 bits.
inline uint8_t EncodeSrgb(double linear) {
    const double l = std::clamp(linear, 0.0, 1.0);
    const double c = l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
    return static_cast<uint8_t>(std::lround(255 * c));
}

// Smooth value noise of two octaves plus one soft-edged rectangle per 96-pixel cell, mapped to
// linear light between 0.02 and 0.6. Features are at least about 12 pixels across, so the
// 1/8-scale thumbnails still carry corners.
class Scene {
  public:
    explicit Scene(uint32_t seed, bool flat = false) : seed_(seed), flat_(flat) {}

    double operator()(double x, double y) const {
        if (flat_) return 0.18;
        double u =
            0.6 * Noise(x / 41.0, y / 41.0, seed_) + 0.4 * Noise(x / 13.0, y / 13.0, seed_ + 1);
        u = (u - 0.5) * 2.0 + 0.5 + Rectangle(x, y);
        u = std::clamp(u, 0.0, 1.0);
        return 0.02 * std::pow(30.0, u);
    }

  private:
    static double Noise(double x, double y, uint32_t seed) {
        const double fx = std::floor(x);
        const double fy = std::floor(y);
        const auto i = static_cast<uint32_t>(static_cast<int64_t>(fx));
        const auto j = static_cast<uint32_t>(static_cast<int64_t>(fy));
        const double tx = Fade(x - fx);
        const double ty = Fade(y - fy);
        const double a = Unit(Hash(i, j, seed));
        const double b = Unit(Hash(i + 1, j, seed));
        const double c = Unit(Hash(i, j + 1, seed));
        const double d = Unit(Hash(i + 1, j + 1, seed));
        return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
    }

    // A rectangle inside each 96-pixel cell, its edges ramped over about two pixels.
    double Rectangle(double x, double y) const {
        constexpr double kCell = 96;
        const double cx = std::floor(x / kCell);
        const double cy = std::floor(y / kCell);
        const uint32_t h = Hash(static_cast<uint32_t>(static_cast<int64_t>(cx)),
                                static_cast<uint32_t>(static_cast<int64_t>(cy)), seed_ + 7);
        const double x0 = 8 + 30 * Unit(h);
        const double y0 = 8 + 30 * Unit(h * 2654435761u);
        const double x1 = x0 + 24 + 26 * Unit(h * 40503u + 1);
        const double y1 = y0 + 24 + 26 * Unit(h * 69069u + 3);
        const double lx = x - cx * kCell;
        const double ly = y - cy * kCell;
        const double inside = std::min({lx - x0, x1 - lx, ly - y0, y1 - ly});
        const double ramp = std::clamp(inside / 2.0 + 0.5, 0.0, 1.0);
        const double amplitude = Unit(h * 22695477u + 5) < 0.5 ? -0.3 : 0.3;
        return amplitude * ramp;
    }

    uint32_t seed_;
    bool flat_;
};

// An 8-bit luma plane of the scene seen at `gain`, pixel (x, y) showing scene point
// (x + ox, y + oy).
inline std::vector<uint8_t> LumaPlane(const Scene &scene, int width, int height, double gain,
                                      double ox = 0, double oy = 0) {
    std::vector<uint8_t> plane(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            plane[static_cast<size_t>(y) * width + x] = EncodeSrgb(gain * scene(x + ox, y + oy));
    return plane;
}

}  // namespace synthetic

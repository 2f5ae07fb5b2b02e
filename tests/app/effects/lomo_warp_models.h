// Plain models of the lens warp, the radial blur, the soft focus and its level operations,
// written pixel by pixel from their formulas with whole planes and no shortcuts, for the tests
// to compare the kernels against.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "app/effects/lomo_support.h"

namespace lomo_model {

// A packed plane of samples.
template <typename T>
struct Plane {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<T> v;
    Plane() = default;
    Plane(int32_t w, int32_t h) : width(w), height(h), v(static_cast<size_t>(w) * h) {}
    T &at(int32_t x, int32_t y) { return v[static_cast<size_t>(y) * width + x]; }
    T at(int32_t x, int32_t y) const { return v[static_cast<size_t>(y) * width + x]; }
};

inline int32_t RadialWeight(int32_t nx, int32_t ny, int32_t width, int32_t height, int32_t s,
                            double e) {
    const double cx = (width + 1) >> 1, cy = (height + 1) >> 1;
    const double dx = 16.0 * nx - cx, dy = 16.0 * ny - cy;
    const double d = std::sqrt((dx * dx + dy * dy) / (cx * cx + cy * cy));
    return static_cast<int32_t>(((1 - d) * (0.2 * s + e * (100 - s)) * 0.01 + d * e) * 256 + 0.5);
}

inline int32_t PixelWeight(int32_t x, int32_t y, int32_t width, int32_t height, int32_t s, double e) {
    return RadialWeight(x >> 4, y >> 4, width, height, s, e);
}

// ---- lens warp

inline int64_t MeshValue(float v) {
    const float t = std::trunc(v);
    return 256 * static_cast<int64_t>(t) + static_cast<int64_t>(256.0f * (v - t) + 0.5f);
}

inline LomoPicture LensWarp(const LomoPicture &src, LomoPicture dst, int32_t s) {
    const int32_t w = src.width, h = src.height;
    if (s == 0) return src;
    const int64_t cx = (w + 1) >> 1, cy = (h + 1) >> 1;
    const float R = static_cast<float>((100 - s) * std::max(cx, cy) + s * std::min(cx, cy)) / 100.0f;
    const float k = static_cast<float>(s) * 0.01f * 0.5f;
    struct Node {
        int64_t x, y;
    };
    auto node = [&](int64_t nx, int64_t ny) {
        const int64_t dx = 16 * nx - cx, dy = 16 * ny - cy;
        const float q = static_cast<float>(dx * dx + dy * dy) / (R * R);
        const float f = (1 - k) + k * std::sqrt(q);
        return Node{MeshValue(static_cast<float>(cx) + static_cast<float>(dx) * f),
                    MeshValue(static_cast<float>(cy) + static_cast<float>(dy) * f)};
    };
    const int64_t inside = static_cast<int64_t>(R * R + 0.5f);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t *o = dst.pixel(x, y);
            const int64_t ddx = x - cx, ddy = y - cy;
            std::fill(o, o + 3, 0);
            if (ddx * ddx + ddy * ddy > inside) continue;
            const Node a = node(x >> 4, y >> 4), b = node((x >> 4) + 1, y >> 4);
            const Node c = node(x >> 4, (y >> 4) + 1), d = node((x >> 4) + 1, (y >> 4) + 1);
            const int64_t fx = x & 15, fy = y & 15;
            const int64_t X = (a.x * (16 - fx) + b.x * fx) * (16 - fy) + (c.x * (16 - fx) + d.x * fx) * fy;
            const int64_t Y = (a.y * (16 - fx) + b.y * fx) * (16 - fy) + (c.y * (16 - fx) + d.y * fx) * fy;
            const int64_t ix = X >> 16, iy = Y >> 16;
            if (ix < 0 || iy < 0 || ix >= w || iy >= h) continue;
            const int32_t wx = (X >> 8) & 255, wy = (Y >> 8) & 255;
            const auto ix1 = static_cast<int32_t>(ix == w - 1 ? ix : ix + 1);
            const auto iy1 = static_cast<int32_t>(iy == h - 1 ? iy : iy + 1);
            for (int ch = 0; ch < 3; ++ch) {
                const int32_t p00 = src.pixel(static_cast<int32_t>(ix), static_cast<int32_t>(iy))[ch];
                const int32_t p01 = src.pixel(ix1, static_cast<int32_t>(iy))[ch];
                const int32_t p10 = src.pixel(static_cast<int32_t>(ix), iy1)[ch];
                const int32_t p11 = src.pixel(ix1, iy1)[ch];
                o[ch] = static_cast<uint8_t>(((p00 * (256 - wx) + p01 * wx) * (256 - wy) +
                                              (p10 * (256 - wx) + p11 * wx) * wy) >> 16);
            }
        }
    return dst;
}

// ---- radial blur

struct BlurResult {
    LomoPicture out;
    Plane<uint8_t> blurred;       // 3 * width bytes a row, before the blend
    int32_t quotientsOver255 = 0;  // edge quotients that needed the clamp
};

inline std::vector<int32_t> BlurKernel(double sigma) {
    const auto r = static_cast<int32_t>(std::ceil(2 * sigma));
    std::vector<int32_t> k;
    for (int32_t i = -r; i <= r; ++i)
        k.push_back(static_cast<int32_t>(
            static_cast<float>(std::exp(-static_cast<double>(i * i) / (2 * sigma * sigma))) * 256 + 0.5));
    return k;
}

// The blur with sigma > 0 blended into `dst` (whose tails are kept).
inline BlurResult RadialBlur(const LomoPicture &src, LomoPicture dst, int32_t s, double sigma) {
    const int32_t w = src.width, h = src.height;
    const std::vector<int32_t> K = BlurKernel(sigma);
    const auto r = static_cast<int32_t>(K.size() / 2);
    auto k = [&](int32_t i) { return static_cast<uint32_t>(K[i + r]); };
    uint32_t t2 = 0, s1 = 0;
    for (int32_t i = -r; i <= r; ++i) {
        s1 += k(i);
        for (int32_t j = -r; j <= r; ++j) t2 += k(i) * k(j);
    }
    uint32_t n;
    int32_t shift;
    if (t2 < 16777472u) {
        n = t2 >> 8;
        shift = 0;
    } else {
        n = ((t2 >> 8) + 128) >> 8;
        shift = 8;
    }
    const uint32_t recip = (1u << 24) / n;
    Plane<uint16_t> sample(3 * w, h), colw(w, h);
    for (int32_t x = 0; x < w; ++x)
        for (int32_t y = 0; y < h; ++y) {
            uint32_t cw = 0;
            uint32_t sum[3] = {};
            for (int32_t i = -r; i <= r; ++i) {
                if (x + i < 0 || x + i >= w) continue;
                cw += k(i);
                for (int c = 0; c < 3; ++c) sum[c] += k(i) * src.pixel(x + i, y)[c];
            }
            const bool inner = r <= x && x < w - r;
            colw.at(x, y) = static_cast<uint16_t>(inner ? s1 : cw);
            for (int c = 0; c < 3; ++c) sample.at(3 * x + c, y) = static_cast<uint16_t>(sum[c] >> 8);
        }
    BlurResult res{dst, Plane<uint8_t>(3 * w, h), 0};
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const bool inner = r <= x && x < w - r && r <= y && y < h - r;
            const int32_t J = PixelWeight(x, y, w, h, s, 0.8);
            for (int c = 0; c < 3; ++c) {
                uint32_t V = 0, taps = 0;
                for (int32_t j = -r; j <= r; ++j) {
                    if (y + j < 0 || y + j >= h) continue;
                    V += k(j) * sample.at(3 * x + c, y + j);
                    taps += k(j);
                }
                uint32_t b;
                if (inner) {
                    b = static_cast<uint32_t>(static_cast<uint64_t>(V >> shift) * recip % (1ull << 32)) >> 24;
                } else {
                    const uint32_t W = colw.at(x, y) * taps;
                    if (W >> 8) {
                        b = V / (W >> 8);
                        if (b > 255) {
                            ++res.quotientsOver255;
                            b = 255;
                        }
                    } else {
                        b = src.pixel(x, y)[c];
                    }
                }
                res.blurred.at(3 * x + c, y) = static_cast<uint8_t>(b);
                res.out.pixel(x, y)[c] = static_cast<uint8_t>((b * J + src.pixel(x, y)[c] * (256 - J)) >> 8);
            }
        }
    return res;
}

// ---- level operations

struct Tap {
    int32_t index, weight;
};

inline std::vector<Tap> HalfTaps(int32_t t, int32_t n) {
    if (t == 0) return {{0, 1}, {1, 1}};
    if (n % 2 == 1 && t == (n + 1) / 2 - 1) return {{2 * t - 1, 1}, {2 * t, 1}};
    return {{2 * t - 1, 1}, {2 * t, 2}, {2 * t + 1, 1}};
}

inline Plane<uint8_t> Halve(const Plane<uint8_t> &s) {
    Plane<uint8_t> d((s.width + 1) >> 1, (s.height + 1) >> 1);
    for (int32_t t = 0; t < d.height; ++t)
        for (int32_t u = 0; u < d.width; ++u) {
            int32_t sum = 0, weights = 0;
            for (const Tap &ty : HalfTaps(t, s.height))
                for (const Tap &tx : HalfTaps(u, s.width)) {
                    sum += ty.weight * tx.weight * s.at(tx.index, ty.index);
                    weights += ty.weight * tx.weight;
                }
            const int32_t shift = weights == 16 ? 4 : (weights == 8 ? 3 : 2);
            d.at(u, t) = static_cast<uint8_t>(sum >> shift);
        }
    return d;
}

inline Plane<uint8_t> Double(const Plane<uint8_t> &s, int32_t W, int32_t H) {
    Plane<uint8_t> d(W, H);
    auto S = [&](int32_t i, int32_t j) { return static_cast<int32_t>(s.at(j, i)); };
    for (int32_t row = 0; row < H; ++row)
        for (int32_t col = 0; col < W; ++col) {
            const int32_t i = row / 2, j = col / 2;
            const bool right = col % 2 == 1, down = row % 2 == 1;
            if ((right && j + 1 >= s.width) || (down && i + 1 >= s.height)) continue;  // repeated below
            int32_t v;
            if (!right && !down) v = S(i, j);
            else if (right && !down) v = (S(i, j) + S(i, j + 1)) >> 1;
            else if (!right && down) v = (S(i, j) + S(i + 1, j)) >> 1;
            else v = (S(i, j) + S(i, j + 1) + S(i + 1, j) + S(i + 1, j + 1)) >> 2;
            d.at(col, row) = static_cast<uint8_t>(v);
        }
    if (W % 2 == 0)
        for (int32_t row = 0; row < H; ++row) d.at(W - 1, row) = d.at(W - 2, row);
    if (H % 2 == 0)
        for (int32_t col = 0; col < W; ++col) d.at(col, H - 1) = d.at(col, H - 2);
    return d;
}

// The difference smoothing as the literal arithmetic: 32-bit sums shifted logically, the low 16
// bits stored, on a copy of the input.
inline Plane<int16_t> SmoothDifference(const Plane<int16_t> &in) {
    Plane<int16_t> out = in;
    auto shifted = [](int32_t sum, int32_t n) {
        return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(sum) >> n));
    };
    for (int32_t y = 1; y + 1 < in.height; ++y)
        for (int32_t x = 1; x + 1 < in.width; ++x) {
            int32_t hs[3];
            for (int32_t a = 0; a < 3; ++a) {
                const int32_t yy = y - 1 + a;
                const int32_t h = in.at(x - 1, yy) + 2 * in.at(x, yy) + in.at(x + 1, yy);
                hs[a] = shifted(h, yy == 0 ? 2 : 4);
            }
            out.at(x, y) = shifted(hs[0] + 2 * hs[1] + hs[2], 4);
        }
    return out;
}

inline Plane<uint8_t> SmoothPlane(const Plane<uint8_t> &in) {
    Plane<uint8_t> out = in;
    for (int32_t y = 1; y + 1 < in.height; ++y)
        for (int32_t x = 1; x + 1 < in.width; ++x) {
            int32_t hs[3];
            for (int32_t a = 0; a < 3; ++a) {
                const int32_t yy = y - 1 + a;
                hs[a] = (in.at(x - 1, yy) + 2 * in.at(x, yy) + in.at(x + 1, yy)) >> 2;
            }
            out.at(x, y) = static_cast<uint8_t>((hs[0] + 2 * hs[1] + hs[2]) >> 2);
        }
    return out;
}

// ---- soft focus

// Level sizes as the soft focus sets them up.
inline std::vector<std::pair<int32_t, int32_t>> PyramidSizes(int32_t w, int32_t h, int32_t levels) {
    int32_t L = std::min(levels, 8);
    std::vector<std::pair<int32_t, int32_t>> sizes;
    for (int32_t k = 0; k < L - 1; ++k) {
        sizes.push_back({w, h});
        if (w < 4 || h < 4) L = k + 2;
        w = (w + 1) >> 1;
        h = (h + 1) >> 1;
    }
    sizes.push_back({w, h});
    return sizes;
}

// The soft focus for levels >= 1 on a picture of at least 2 x 2, blended into `dst`.
inline LomoPicture SoftFocus(const LomoPicture &src, LomoPicture dst, int32_t levels, int32_t s) {
    const auto sizes = PyramidSizes(src.width, src.height, levels);
    const auto L = static_cast<int32_t>(sizes.size());
    for (int c = 0; c < 3; ++c) {
        std::vector<Plane<uint8_t>> level(L), expanded(L);
        std::vector<Plane<int16_t>> diff(L);
        level[0] = Plane<uint8_t>(src.width, src.height);
        for (int32_t y = 0; y < src.height; ++y)
            for (int32_t x = 0; x < src.width; ++x) level[0].at(x, y) = src.pixel(x, y)[c];
        for (int32_t k = 0; k + 1 < L; ++k) {
            level[k + 1] = Halve(level[k]);
            expanded[k] = Double(level[k + 1], level[k].width, level[k].height);
            diff[k] = Plane<int16_t>(level[k].width, level[k].height);
            for (size_t i = 0; i < diff[k].v.size(); ++i)
                diff[k].v[i] = static_cast<int16_t>(level[k].v[i] - expanded[k].v[i]);
            diff[k] = SmoothDifference(diff[k]);
        }
        for (int32_t k = L - 2; k >= 0; --k) {
            for (size_t i = 0; i < level[k].v.size(); ++i)
                level[k].v[i] = static_cast<uint8_t>(std::clamp(expanded[k].v[i] + diff[k].v[i], 0, 255));
            if (k >= 1) expanded[k - 1] = Double(level[k], level[k - 1].width, level[k - 1].height);
        }
        for (int32_t y = 0; y < src.height; ++y)
            for (int32_t x = 0; x < src.width; ++x) dst.pixel(x, y)[c] = level[0].at(x, y);
    }
    for (int32_t y = 0; y < src.height; ++y)
        for (int32_t x = 0; x < src.width; ++x) {
            const int32_t J = PixelWeight(x, y, src.width, src.height, s, 0.9);
            for (int c = 0; c < 3; ++c)
                dst.pixel(x, y)[c] =
                    static_cast<uint8_t>((src.pixel(x, y)[c] * (256 - J) + dst.pixel(x, y)[c] * J) >> 8);
        }
    return dst;
}

}  // namespace lomo_model

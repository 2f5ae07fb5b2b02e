// Every kernel against a plain per-pixel model of its formula, on random pictures of awkward
// sizes whose rows carry tails that must keep their bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "app/effects/lomo_support.h"
#include "effects/lomo_color_look_table.h"
#include "effects/lomo_kernels.h"

namespace {

using PixelModel = std::function<void(uint8_t *bgr, int32_t x, int32_t y)>;

// Applies a model pixel by pixel, leaving the tails alone.
void ApplyModel(LomoPicture &p, const PixelModel &model) {
    for (int32_t y = 0; y < p.height; ++y)
        for (int32_t x = 0; x < p.width; ++x) model(p.pixel(x, y), x, y);
}

int32_t Clamp255(int32_t v) { return std::clamp(v, 0, 255); }

uint8_t ContrastModel(int32_t v, int32_t contrast) {
    if (contrast == 0) return static_cast<uint8_t>(v);
    const float k = (static_cast<float>(contrast) / 200.0f + 1.0f) - 1.0f;
    const int32_t lift = v < 128 ? -static_cast<int32_t>(static_cast<float>(64 - std::abs(v - 64)) * k)
                                 : static_cast<int32_t>(static_cast<float>(64 - std::abs(v - 192)) * k);
    return static_cast<uint8_t>(v + lift);
}

void SaturationModel(uint8_t *bgr, int32_t s) {
    const int32_t m = std::max({bgr[0], bgr[1], bgr[2]});
    const int32_t n = std::min({bgr[0], bgr[1], bgr[2]});
    if (m == n) return;
    const auto a = [s](int32_t j) { return (50 - 128 * s * j) / 100; };
    for (int c = 0; c < 3; ++c)
        bgr[c] = static_cast<uint8_t>(Clamp255((128 * bgr[c] - a(bgr[c]) + a(m)) >> 7));
}

void ColorLookModel(uint8_t *bgr) {
    const int32_t in[3] = {bgr[2], bgr[1], bgr[0]};  // R, G, B
    int32_t out[3] = {0, 0, 0};                      // planes B, G, R
    for (int plane = 0; plane < 3; ++plane)
        for (int corner = 0; corner < 8; ++corner) {
            int32_t point[3];
            int32_t weight = 1;
            for (int axis = 0; axis < 3; ++axis) {
                const int32_t d = (corner >> axis) & 1;
                const int32_t f = in[axis] & 15;
                point[axis] = (in[axis] >> 4) + d;
                weight *= d ? f : 16 - f;
            }
            out[plane] += weight * LomoColorLookTable[plane * 4913 + point[0] * 289 +
                                                      point[1] * 17 + point[2]];
        }
    for (int plane = 0; plane < 3; ++plane) bgr[plane] = static_cast<uint8_t>(out[plane] >> 12);
}

void GrayscaleModel(uint8_t *bgr) {
    bgr[0] = bgr[1] = bgr[2] = static_cast<uint8_t>(LomoLuma(bgr));
}

struct TintCase {
    uint8_t r, g, b;
    int32_t opacity;
    int32_t keep;
};

void TintModel(uint8_t *bgr, const TintCase &t) {
    const auto y = [](int r, int g, int b) { return (306 * r + 601 * g + 117 * b) >> 10; };
    const auto v = [](int r, int g, int b) { return (512 * r - 429 * g - 83 * b) >> 10; };
    const auto u = [](int r, int g, int b) { return (-173 * r - 340 * g + 513 * b) >> 10; };
    const int R = bgr[2], G = bgr[1], B = bgr[0];
    const int yc = y(t.r, t.g, t.b), vc = v(t.r, t.g, t.b), uc = u(t.r, t.g, t.b);
    const int Y = y(R, G, B), V = v(R, G, B), U = u(R, G, B);
    const int a = static_cast<int>(t.opacity * 10.24 + 0.5), ia = 1024 - a;
    const int vt = (ia * V + a * ((V * yc + Y * vc) >> 8)) >> 10;
    const int ut = (ia * U + a * ((U * yc + Y * uc) >> 8)) >> 10;
    int l = (ia * Y + a * ((Y * yc) >> 8)) / 1024 * 1024, vn = vt, un = ut;
    if (t.keep) {
        const int w = std::max(0, ((3 * Y) >> 1) - 128);
        l = 1024 * Y;
        vn = (vt * (256 - w) + V * w) >> 8;
        un = (ut * (256 - w) + U * w) >> 8;
    }
    bgr[2] = static_cast<uint8_t>(Clamp255((l + 1437 * vn) >> 10));
    bgr[1] = static_cast<uint8_t>(Clamp255((l - 731 * vn - 352 * un) >> 10));
    bgr[0] = static_cast<uint8_t>(Clamp255((l + 1812 * un) >> 10));
}

void VignetteModel(uint8_t *bgr, int64_t x, int64_t y, int64_t width, int64_t height, int32_t v) {
    const int64_t cx = (width + 1) >> 1, cy = (height + 1) >> 1;
    const int64_t r2 = cx * cx + cy * cy;
    int32_t shift = 0;
    while ((r2 >> shift) >= 4096) ++shift;
    const int64_t j = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) >> shift;
    const int32_t g = static_cast<int32_t>(
        1024.0 * std::pow(4.0, -0.02 * v * static_cast<double>(j << shift) / static_cast<double>(r2)) + 0.5);
    for (int c = 0; c < 3; ++c) bgr[c] = static_cast<uint8_t>((bgr[c] * g) >> 10);
}

struct Size {
    int32_t width, height, tail;
};

class LomoKernelModel : public ::testing::TestWithParam<Size> {
protected:
    LomoPicture Random(uint32_t seed) const {
        const Size s = GetParam();
        return RandomLomoPicture(s.width, s.height, 3 * s.width + s.tail, seed);
    }
};

TEST_P(LomoKernelModel, ContrastSaturation) {
    const struct {
        int32_t contrast, saturation, result;
    } cases[] = {{0, 0, 1},     {50, 0, 1},    {-50, 0, 1},   {0, 50, 1},     {0, -100, 1},
                 {120, -30, 1}, {199, 100, 1}, {-200, 100, 1}, {-199, -77, 1}, {50, 150, 0},
                 {0, -101, 0}};
    for (const auto &c : cases) {
        LomoPicture got = Random(7u + c.contrast);
        LomoPicture want = got;
        EXPECT_EQ(LomoContrastSaturation(got.data(), got.width, got.height, got.lineBytes,
                                         c.contrast, c.saturation),
                  c.result);
        ApplyModel(want, [&](uint8_t *p, int32_t, int32_t) {
            for (int k = 0; k < 3; ++k) p[k] = ContrastModel(p[k], c.contrast);
        });
        if (c.saturation != 0 && c.result == 1)
            ApplyModel(want, [&](uint8_t *p, int32_t, int32_t) { SaturationModel(p, c.saturation); });
        EXPECT_EQ(got.bytes, want.bytes) << c.contrast << " " << c.saturation;
    }
}

TEST_P(LomoKernelModel, ColorLookAndGrayscale) {
    LomoPicture look = Random(11);
    LomoPicture lookModel = look;
    EXPECT_EQ(LomoColorLook(look.data(), look.width, look.height, look.lineBytes), 1);
    ApplyModel(lookModel, [](uint8_t *p, int32_t, int32_t) { ColorLookModel(p); });
    EXPECT_EQ(look.bytes, lookModel.bytes);

    LomoPicture grey = Random(12);
    LomoPicture greyModel = grey;
    EXPECT_EQ(LomoGrayscale(grey.data(), grey.width, grey.height, grey.lineBytes), 1);
    ApplyModel(greyModel, [](uint8_t *p, int32_t, int32_t) { GrayscaleModel(p); });
    EXPECT_EQ(grey.bytes, greyModel.bytes);
}

TEST_P(LomoKernelModel, LensTint) {
    const TintCase cases[] = {{255, 128, 0, 50, 1},  {255, 128, 0, 50, 0}, {10, 200, 90, 100, 1},
                              {10, 200, 90, 100, 0}, {0, 0, 0, 73, 0},     {40, 90, 250, 1, 1},
                              {255, 255, 255, 50, 0}};
    for (const auto &c : cases) {
        LomoPicture got = Random(13u + c.opacity);
        LomoPicture want = got;
        EXPECT_EQ(LomoLensTint(got.data(), got.width, got.height, got.lineBytes, c.r, c.g, c.b,
                               c.opacity, c.keep),
                  1);
        ApplyModel(want, [&](uint8_t *p, int32_t, int32_t) { TintModel(p, c); });
        EXPECT_EQ(got.bytes, want.bytes) << int(c.r) << "," << int(c.g) << "," << int(c.b)
                                         << " opacity " << c.opacity << " keep " << c.keep;
    }
}

TEST_P(LomoKernelModel, Vignette) {
    for (const int32_t strength : {1, 25, 50, 100, 400}) {
        LomoPicture got = Random(17u + strength);
        LomoPicture want = got;
        EXPECT_EQ(LomoVignette(got.data(), got.width, got.height, got.lineBytes, strength), 1);
        ApplyModel(want, [&](uint8_t *p, int32_t x, int32_t y) {
            VignetteModel(p, x, y, want.width, want.height, strength);
        });
        EXPECT_EQ(got.bytes, want.bytes) << strength;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, LomoKernelModel,
                         ::testing::Values(Size{1, 1, 0}, Size{2, 3, 1}, Size{3, 2, 5},
                                           Size{5, 4, 3}, Size{17, 5, 0}, Size{17, 9, 7},
                                           Size{64, 61, 4}, Size{100001, 1, 1},
                                           Size{140001, 1, 2}),
                         [](const ::testing::TestParamInfo<Size> &info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height) + "_tail" +
                                    std::to_string(info.param.tail);
                         });

// Empty pictures are no work; a null buffer or rows too short for the width are refused. In
// every case nothing is written.
TEST(LomoKernelArguments, EmptyOrRefusedPicturesAreLeftAlone) {
    const struct {
        int32_t width, height, lineBytes;
        bool null;
        int result;
    } cases[] = {{0, 4, 12, false, 1}, {4, 0, 12, false, 1},  {-3, 4, 12, false, 1},
                 {4, -1, 12, false, 1}, {4, 4, 11, false, 0}, {4, 4, 12, true, 0}};
    const std::function<int(uint8_t *, int32_t, int32_t, int32_t)> kernels[] = {
        [](uint8_t *b, int32_t w, int32_t h, int32_t l) { return LomoContrastSaturation(b, w, h, l, 50, 50); },
        [](uint8_t *b, int32_t w, int32_t h, int32_t l) { return LomoColorLook(b, w, h, l); },
        [](uint8_t *b, int32_t w, int32_t h, int32_t l) { return LomoGrayscale(b, w, h, l); },
        [](uint8_t *b, int32_t w, int32_t h, int32_t l) { return LomoLensTint(b, w, h, l, 9, 99, 199, 50, 1); },
        [](uint8_t *b, int32_t w, int32_t h, int32_t l) { return LomoVignette(b, w, h, l, 50); },
    };
    for (const auto &c : cases)
        for (size_t k = 0; k < std::size(kernels); ++k) {
            LomoPicture p = RandomLomoPicture(4, 4, 12, 5);
            const std::vector<uint8_t> before = p.bytes;
            EXPECT_EQ(kernels[k](c.null ? nullptr : p.data(), c.width, c.height, c.lineBytes), c.result)
                << "kernel " << k << " size " << c.width << "x" << c.height << "/" << c.lineBytes;
            EXPECT_EQ(p.bytes, before) << "kernel " << k;
        }
}

}  // namespace

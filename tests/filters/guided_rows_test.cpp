#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "filters/filters_support.h"
#include "filters/guided_rows.h"

namespace {

using filters_test::SmallPool;

// A row image owned by the test, of any channel count.
struct Owned {
    RowImage *image;
    Owned(int w, int h, int bits, int channels) : image(CreateRowImage(nullptr, w, h, bits, channels)) {}
    ~Owned() { FreeRowImage(nullptr, &image); }
    void Fill(std::mt19937 &random, int lo = 0, int hi = 255) {
        std::uniform_int_distribution<int> v(lo, hi);
        for (int i = 0; i < image->totalBytes; ++i) image->data[i] = static_cast<uint8_t>(v(random));
    }
    uint8_t &at(int y, int x, int c = 0) const { return image->rows[y][x * image->channels + c]; }
};

// Clipped window [x0, x1) x [y0, y1) around (x, y).
struct Window {
    int x0, x1, y0, y1;
    int64_t count() const { return int64_t{x1 - x0} * (y1 - y0); }
};
Window WindowAt(int x, int y, int r, int w, int h) {
    return {std::max(0, x - r), std::min(x + r + 1, w), std::max(0, y - r), std::min(y + r + 1, h)};
}
template <typename F>
int64_t SumOver(const Window &win, F value) {
    int64_t s = 0;
    for (int y = win.y0; y < win.y1; ++y)
        for (int x = win.x0; x < win.x1; ++x) s += value(x, y);
    return s;
}

// The integer grey-guided filter of the definition, written out.
std::vector<uint8_t> ModelRows8(const Owned &guide, const Owned &input, int r) {
    const int w = guide.image->width, h = guide.image->height;
    std::vector<int32_t> a(w * h), b(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Window win = WindowAt(x, y, r, w, h);
            const int64_t n = win.count();
            const int32_t mI = SumOver(win, [&](int i, int j) { return guide.at(j, i); }) / n;
            const int32_t mII = SumOver(win, [&](int i, int j) { return guide.at(j, i) * guide.at(j, i); }) / n;
            const int32_t mp = SumOver(win, [&](int i, int j) { return input.at(j, i); }) / n;
            const int32_t mIp = SumOver(win, [&](int i, int j) { return guide.at(j, i) * input.at(j, i); }) / n;
            a[y * w + x] = (mIp - mI * mp) * 256 / (mII - mI * mI + 5);
            b[y * w + x] = mp * 256 - a[y * w + x] * mI;
        }
    std::vector<uint8_t> out(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Window win = WindowAt(x, y, r, w, h);
            const int32_t ma = SumOver(win, [&](int i, int j) { return a[j * w + i]; }) / win.count();
            const int32_t mb = SumOver(win, [&](int i, int j) { return b[j * w + i]; }) / win.count();
            out[y * w + x] = static_cast<uint8_t>(std::clamp((guide.at(y, x) * ma + mb) >> 8, 0, 255));
        }
    return out;
}

std::vector<uint8_t> Samples(const Owned &image) {
    std::vector<uint8_t> out;
    for (int y = 0; y < image.image->height; ++y)
        out.insert(out.end(), image.image->rows[y], image.image->rows[y] + image.image->width);
    return out;
}

struct Size {
    int w, h, r;
};
const Size kSizes[] = {{1, 1, 2}, {5, 3, 2}, {7, 9, 0}, {13, 11, 1}, {40, 33, 4}, {9, 50, 6}, {6, 4, 30}};

TEST(GuidedFilterRows8, MatchesDefinition) {
    std::mt19937 random(12);
    for (const Size &s : kSizes) {
        Owned guide(s.w, s.h, 8, 1), input(s.w, s.h, 8, 1), output(s.w, s.h, 8, 1);
        guide.Fill(random);
        input.Fill(random);
        ASSERT_EQ(GuidedFilterRows8(nullptr, guide.image, input.image, output.image, s.r), RESULT_OK);
        EXPECT_EQ(Samples(output), ModelRows8(guide, input, s.r)) << s.w << "x" << s.h << " r " << s.r;
        // In place over the input gives the same.
        ASSERT_EQ(GuidedFilterRows8(nullptr, guide.image, input.image, input.image, s.r), RESULT_OK);
        EXPECT_EQ(Samples(input), Samples(output));
    }
}

// A flat guide and a flat input give a = 0 and b = 256 v. (With a varying guide the truncated
// means leave a small covariance, so only an input of zeros stays exact there.)
TEST(GuidedFilterRows8, ConstantInputIsKept) {
    std::mt19937 random(1);
    Owned guide(17, 12, 8, 1), input(17, 12, 8, 1), output(17, 12, 8, 1);
    guide.Fill(random);
    input.Fill(random, 0, 0);
    ASSERT_EQ(GuidedFilterRows8(nullptr, guide.image, input.image, output.image, 3), RESULT_OK);
    EXPECT_EQ(Samples(output), std::vector<uint8_t>(17 * 12, 0));
    guide.Fill(random, 140, 140);
    for (int v : {0, 77, 255}) {
        input.Fill(random, v, v);
        ASSERT_EQ(GuidedFilterRows8(nullptr, guide.image, input.image, output.image, 3), RESULT_OK);
        EXPECT_EQ(Samples(output), std::vector<uint8_t>(17 * 12, static_cast<uint8_t>(v)));
    }
}

// The colour filter's single-precision definition, every operation rounded on its own.
std::vector<uint8_t> ModelColour(const Owned &guide, const Owned &input, int r, float eps) {
    const int w = guide.image->width, h = guide.image->height;
    std::vector<int32_t> coeff(4 * w * h);
    float inv[3][3] = {};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Window win = WindowAt(x, y, r, w, h);
            const float n = static_cast<float>(win.count());
            auto mean = [&](auto f) { return static_cast<float>(SumOver(win, f)) / n; };
            float m[3], s[3][3], c[3];
            const float mp = mean([&](int i, int j) { return input.at(j, i); });
            for (int k = 0; k < 3; ++k) m[k] = mean([&](int i, int j) { return guide.at(j, i, k); });
            for (int k = 0; k < 3; ++k) {
                for (int l = 0; l < 3; ++l)
                    s[k][l] = mean([&](int i, int j) { return guide.at(j, i, k) * guide.at(j, i, l); }) - m[k] * m[l];
                s[k][k] = s[k][k] + eps;
                c[k] = mean([&](int i, int j) { return guide.at(j, i, k) * input.at(j, i); }) - m[k] * mp;
            }
            const float det = s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[1][2]) -
                              s[0][1] * (s[0][1] * s[2][2] - s[1][2] * s[0][2]) +
                              s[0][2] * (s[0][1] * s[1][2] - s[1][1] * s[0][2]);
            if (static_cast<double>(det) >= 1e-6) {
                inv[0][0] = (s[1][1] * s[2][2] - s[1][2] * s[1][2]) / det;
                inv[0][1] = inv[1][0] = (s[0][2] * s[1][2] - s[0][1] * s[2][2]) / det;
                inv[0][2] = inv[2][0] = (s[0][1] * s[1][2] - s[0][2] * s[1][1]) / det;
                inv[1][1] = (s[0][0] * s[2][2] - s[0][2] * s[0][2]) / det;
                inv[1][2] = inv[2][1] = (s[0][1] * s[0][2] - s[0][0] * s[1][2]) / det;
                inv[2][2] = (s[0][0] * s[1][1] - s[0][1] * s[0][1]) / det;
            }
            float a[3];
            for (int k = 0; k < 3; ++k) a[k] = inv[k][0] * c[0] + inv[k][1] * c[1] + inv[k][2] * c[2];
            for (int k = 0; k < 3; ++k) coeff[(k * h + y) * w + x] = static_cast<int32_t>(1024.0f * a[k]);
            coeff[(3 * h + y) * w + x] = static_cast<int32_t>(1024.0f * (((mp - a[0] * m[0]) - a[1] * m[1]) - a[2] * m[2]));
        }
    std::vector<uint8_t> out(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Window win = WindowAt(x, y, r, w, h);
            int32_t v = 0;
            for (int k = 0; k < 4; ++k) {
                const int32_t mk = static_cast<int32_t>(
                    SumOver(win, [&](int i, int j) { return int64_t{coeff[(k * h + j) * w + i]}; }) / win.count());
                v += k < 3 ? mk * guide.at(y, x, k) : mk;
            }
            out[y * w + x] = static_cast<uint8_t>(std::clamp(v >> 10, 0, 255));
        }
    return out;
}

TEST(GuidedFilterColourRows, MatchesDefinition) {
    std::mt19937 random(21);
    for (const Size &s : kSizes) {
        for (int channels : {3, 4}) {
            Owned guide(s.w, s.h, 8, channels), input(s.w, s.h, 8, 1), output(s.w, s.h, 8, 1);
            guide.Fill(random);
            input.Fill(random);
            ASSERT_EQ(GuidedFilterColourRows(nullptr, guide.image, input.image, output.image, s.r, 25.0f), RESULT_OK);
            EXPECT_EQ(Samples(output), ModelColour(guide, input, s.r, 25.0f)) << s.w << "x" << s.h << " r " << s.r;
        }
    }
}

// Tiles of an 8 x 6 grid over a 64 x 48 mask.
void PaintTile(Owned &mask, int tx, int ty, int value) {
    for (int y = ty * 8; y < ty * 8 + 8; ++y)
        for (int x = tx * 8; x < tx * 8 + 8; ++x) mask.at(y, x) = static_cast<uint8_t>(value);
}

TEST(GuidedFilterColourTiled, UniformTilesAreCopiedOthersFilteredWithMargins) {
    std::mt19937 random(30);
    const int w = 64, h = 48, r = 3;
    Owned guide(w, h, 8, 3), mask(w, h, 8, 1), output(w, h, 8, 1);
    guide.Fill(random);
    mask.Fill(random, 0, 0);
    output.Fill(random);  // cleared by the call
    ASSERT_EQ(GuidedFilterColourTiled(nullptr, guide.image, mask.image, output.image, r, 8, 16.0f, 6), RESULT_OK);
    EXPECT_EQ(Samples(output), Samples(mask));  // all 0: copied

    // Some 255 tiles, a tile of 128s, one with a horizontal edge, two neighbouring mixed ones.
    PaintTile(mask, 1, 1, 255);
    PaintTile(mask, 5, 4, 128);
    for (int y = 16; y < 20; ++y)
        for (int x = 48; x < 56; ++x) mask.at(y, x) = 255;  // tile (6, 2): top half set
    for (int y = 32; y < 40; ++y)
        for (int x = 8; x < 24; ++x) mask.at(y, x) = static_cast<uint8_t>(random() % 2 * 255);  // tiles (1,4), (2,4)
    ASSERT_EQ(GuidedFilterColourTiled(nullptr, guide.image, mask.image, output.image, r, 8, 16.0f, 6), RESULT_OK);
    // The model: copy or filter tile by tile with the colour filter over the margin rectangle.
    std::vector<uint8_t> expected(w * h, 0);
    for (int ty = 0; ty < 6; ++ty)
        for (int tx = 0; tx < 8; ++tx) {
            const uint8_t v = mask.at(ty * 8, tx * 8);
            bool uniform = true;
            for (int y = ty * 8; y < ty * 8 + 8; ++y)
                for (int x = tx * 8; x < tx * 8 + 8; ++x) uniform = uniform && mask.at(y, x) == v;
            if (uniform && (v == 0 || v == 255)) {
                for (int y = ty * 8; y < ty * 8 + 8; ++y)
                    for (int x = tx * 8; x < tx * 8 + 8; ++x) expected[y * w + x] = v;
                continue;
            }
            const int x0 = std::max(0, tx * 8 - r), x1 = std::min(w, tx * 8 + 8 + r);
            const int y0 = std::max(0, ty * 8 - r), y1 = std::min(h, ty * 8 + 8 + r);
            Owned g(x1 - x0, y1 - y0, 8, 3), m(x1 - x0, y1 - y0, 8, 1), f(x1 - x0, y1 - y0, 8, 1);
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    for (int c = 0; c < 3; ++c) g.at(y - y0, x - x0, c) = guide.at(y, x, c);
                    m.at(y - y0, x - x0) = mask.at(y, x);
                }
            const std::vector<uint8_t> part = ModelColour(g, m, r, 16.0f);
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x)
                    expected[y * w + x] = std::max(expected[y * w + x], part[(y - y0) * (x1 - x0) + x - x0]);
        }
    EXPECT_EQ(Samples(output), expected);
}

TEST(GuidedFilterColourTiled, MostlyMixedTilesTakeOneWholePass) {
    std::mt19937 random(31);
    Owned guide(30, 20, 8, 3), mask(30, 20, 8, 1), output(30, 20, 8, 1);
    guide.Fill(random);
    mask.Fill(random);
    ASSERT_EQ(GuidedFilterColourTiled(nullptr, guide.image, mask.image, output.image, 2, 3, 16.0f, 2), RESULT_OK);
    EXPECT_EQ(Samples(output), ModelColour(guide, mask, 2, 16.0f));
}

TEST(GuidedRows, RejectBadArgumentsAndReportMemory) {
    std::mt19937 random(3);
    Owned grey(12, 10, 8, 1), colour(12, 10, 8, 3), wide(32, 24, 8, 1), wide32(32, 24, 32, 1),
        small(11, 10, 8, 1), out(12, 10, 8, 1);
    grey.Fill(random);
    colour.Fill(random);
    EXPECT_EQ(GuidedFilterRows8(nullptr, nullptr, grey.image, out.image, 2), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterRows8(nullptr, grey.image, small.image, out.image, 2), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterRows8(nullptr, grey.image, grey.image, out.image, -1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterColourRows(nullptr, grey.image, grey.image, out.image, 2, 1.0f), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterColourRows(nullptr, colour.image, grey.image, out.image, 2, -1.0f), RESULT_INVALID_ARGUMENT);
    for (const int tiles : {0, 13})
        EXPECT_EQ(GuidedFilterColourTiled(nullptr, colour.image, grey.image, out.image, 2, tiles, 1.0f, 2),
                  RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterColourTiled(nullptr, colour.image, grey.image, grey.image, 2, 2, 1.0f, 2),
              RESULT_INVALID_ARGUMENT);
    SmallPool pool(512);
    EXPECT_EQ(GuidedFilterRows8(pool.get(), wide.image, wide.image, wide.image, 3), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(GuidedFilterColourRows(pool.get(), colour.image, grey.image, out.image, 2, 1.0f), RESULT_OUT_OF_MEMORY);
    (void)wide32;
}

}  // namespace

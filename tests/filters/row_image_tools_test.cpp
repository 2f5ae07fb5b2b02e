#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "filters/lab_tables.h"
#include "filters/row_image_tools.h"

namespace {

struct Owned {
    RowImage *image;
    Owned(int w, int h, int bits, int channels) : image(CreateRowImage(nullptr, w, h, bits, channels)) {}
    ~Owned() { FreeRowImage(nullptr, &image); }
    uint8_t *px(int y, int x) const { return image->rows[y] + x * image->channels; }
};

TEST(LabTables, EveryEntryFollowsItsFormula) {
    for (int i = 0; i < 256; ++i) {
        const double t = i / 255.0;
        const double f = t > std::pow(6.0 / 29.0, 3) ? std::cbrt(t) : t / (3.0 * (6.0 / 29.0) * (6.0 / 29.0)) + 4.0 / 29.0;
        EXPECT_EQ(LabCubeRootTable[i], static_cast<int32_t>(i < 3 ? std::ceil(1024.0 * f) : std::floor(1024.0 * f))) << i;
    }
    for (int j = 0; j <= 1024; ++j) {
        const double v = 2.55 * (116.0 * j / 1024.0 - 16.0);
        EXPECT_EQ(LabLightnessTable[j], v < 0 ? 0 : static_cast<int32_t>(std::floor(v + 0.5))) << j;
    }
    EXPECT_EQ(LabCubeRootTable[0], 142);
    EXPECT_EQ(LabCubeRootTable[3], 232);
    EXPECT_EQ(LabCubeRootTable[255], 1024);
    EXPECT_EQ(LabLightnessTable[142], 0);
    EXPECT_EQ(LabLightnessTable[1023], 255);
}

// Known colours through the grey and CIELAB conversions, and the range of a and b over
// every byte triple.
TEST(RowImageTools, GreyAndLabOfKnownColours) {
    struct Known {
        uint8_t b, g, r, grey, l, a, bb;
    };
    const Known known[] = {
        {0, 0, 0, 0, 0, 128, 128},      {255, 255, 255, 255, 255, 128, 128},
        {1, 1, 1, 1, 0, 128, 128},      {0, 0, 255, 76, 0, 209, 197},
    };
    Owned colour(4, 1, 8, 3), grey(4, 1, 8, 1), lab(4, 1, 8, 4);
    for (int i = 0; i < 4; ++i) {
        colour.px(0, i)[0] = known[i].b, colour.px(0, i)[1] = known[i].g, colour.px(0, i)[2] = known[i].r;
    }
    ASSERT_EQ(BgrToGrey(colour.image, grey.image), RESULT_OK);
    ASSERT_EQ(BgrToLab(colour.image, lab.image), RESULT_OK);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(grey.px(0, i)[0], known[i].grey) << i;
        EXPECT_EQ(lab.px(0, i)[1], known[i].a) << i;
        EXPECT_EQ(lab.px(0, i)[2], known[i].bb) << i;
    }
    EXPECT_EQ(lab.px(0, 0)[0], 0);
    EXPECT_EQ(lab.px(0, 1)[0], 255);
    // Pure green and pure blue.
    colour.px(0, 0)[0] = 0, colour.px(0, 0)[1] = 255, colour.px(0, 0)[2] = 0;
    colour.px(0, 1)[0] = 255, colour.px(0, 1)[1] = 0, colour.px(0, 1)[2] = 0;
    ASSERT_EQ(BgrToLab(colour.image, colour.image), RESULT_OK);  // in place
    EXPECT_EQ(colour.px(0, 0)[1], 42);
    EXPECT_EQ(colour.px(0, 1)[2], 19);
    // Every byte triple: a within 40..227, b within 19..223.
    Owned all(256, 256, 8, 3), out(256, 256, 8, 3);
    int aMin = 255, aMax = 0, bMin = 255, bMax = 0;
    for (int r = 0; r < 256; ++r) {
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) all.px(y, x)[0] = x, all.px(y, x)[1] = y, all.px(y, x)[2] = r;
        ASSERT_EQ(BgrToLab(all.image, out.image), RESULT_OK);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                aMin = std::min<int>(aMin, out.px(y, x)[1]), aMax = std::max<int>(aMax, out.px(y, x)[1]);
                bMin = std::min<int>(bMin, out.px(y, x)[2]), bMax = std::max<int>(bMax, out.px(y, x)[2]);
            }
    }
    EXPECT_EQ(aMin, 40);
    EXPECT_EQ(aMax, 227);
    EXPECT_EQ(bMin, 19);
    EXPECT_EQ(bMax, 223);
}

// The per-pixel operations against their formulas on random images of odd sizes.
TEST(RowImageTools, PerPixelOperations) {
    std::mt19937 random(50);
    const int w = 7, h = 5;
    Owned colour(w, h, 8, 3), a(w, h, 8, 1), b(w, h, 8, 1), c(w, h, 8, 1), d(w, h, 8, 1), e(w, h, 8, 1);
    Owned out(w, h, 8, 1), wide(w, h, 32, 1);
    for (Owned *o : {&colour, &a, &b, &c, &d, &e})
        for (int i = 0; i < o->image->totalBytes; ++i) o->image->data[i] = static_cast<uint8_t>(random() % 4 ? random() : 0);
    auto check = [&](auto value) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ASSERT_EQ(out.px(y, x)[0], value(y, x)) << x << "," << y;
    };
    auto at = [](const Owned &o, int y, int x) { return int{o.px(y, x)[0]}; };
    ASSERT_EQ(MaxOfChannels(colour.image, out.image), RESULT_OK);
    check([&](int y, int x) { return std::max({colour.px(y, x)[0], colour.px(y, x)[1], colour.px(y, x)[2]}); });
    ASSERT_EQ(AbsDiff8(a.image, b.image, out.image), RESULT_OK);
    check([&](int y, int x) { return std::abs(at(a, y, x) - at(b, y, x)); });
    ASSERT_EQ(MaxAbsDiff2(a.image, b.image, c.image, out.image), RESULT_OK);
    check([&](int y, int x) { return std::max(std::abs(at(a, y, x) - at(b, y, x)), std::abs(at(a, y, x) - at(c, y, x))); });
    ASSERT_EQ(MaxAbsDiff4(a.image, b.image, c.image, d.image, e.image, out.image), RESULT_OK);
    check([&](int y, int x) {
        int m = 0;
        for (const Owned *o : {&b, &c, &d, &e}) m = std::max(m, std::abs(at(a, y, x) - at(*o, y, x)));
        return m;
    });
    ASSERT_EQ(MaskOr(a.image, b.image, out.image), RESULT_OK);
    check([&](int y, int x) { return at(a, y, x) || at(b, y, x) ? 255 : 0; });
    // Byte 0 of three-byte pixels into a buffer of exactly width x height bytes, and back
    // widened to 32 bits.
    std::vector<uint8_t> packed(w * h);
    ASSERT_EQ(ExtractFirstByte(colour.image, packed.data()), RESULT_OK);
    for (int i = 0; i < w * h; ++i) ASSERT_EQ(packed[i], colour.px(i / w, i % w)[0]);
    ASSERT_EQ(WidenBytesToInt32(packed.data(), nullptr, wide.image), RESULT_OK);
    for (int i = 0; i < w * h; ++i)
        ASSERT_EQ(reinterpret_cast<int32_t *>(wide.image->rows[i / w])[i % w], packed[i]);
    // Images smaller than the first, or of the wrong kind, are refused.
    Owned small(w - 1, h, 8, 1);
    EXPECT_EQ(AbsDiff8(a.image, small.image, out.image), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(BgrToGrey(a.image, out.image), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(MaskOr(a.image, b.image, nullptr), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(WidenBytesToInt32(packed.data(), nullptr, out.image), RESULT_INVALID_ARGUMENT);
}

}  // namespace

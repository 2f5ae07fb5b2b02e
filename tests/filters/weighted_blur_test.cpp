#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "filters/filters_support.h"
#include "filters/weighted_blur.h"

namespace {

using filters_test::Rows;

void Fill(const Rows &image, std::mt19937 &random, int lo, int hi) {
    std::uniform_int_distribution<int> v(lo, hi);
    for (int i = 0; i < image.get()->totalBytes; ++i) image.get()->data[i] = static_cast<uint8_t>(v(random));
}

std::vector<uint8_t> Samples(const Rows &image) {
    std::vector<uint8_t> out;
    for (int y = 0; y < image.get()->height; ++y) out.insert(out.end(), image.Row8(y), image.Row8(y) + image.get()->width);
    return out;
}

// The box step of the definition with inverted weights wi.
uint8_t Box(const Rows &image, const std::vector<int> &wi, int x, int y, int gx, int gy) {
    const int w = image.get()->width, h = image.get()->height;
    int64_t sw = 0, sp = 0;
    for (int j = std::max(0, y - gy); j < std::min(y + gy + 1, h); ++j)
        for (int i = std::max(0, x - gx); i < std::min(x + gx + 1, w); ++i)
            sw += wi[j * w + i], sp += int64_t{wi[j * w + i]} * image.Row8(j)[i];
    return sw == 0 ? image.Row8(y)[x] : static_cast<uint8_t>(sp / sw);
}

std::vector<uint8_t> Model(const Rows &image, const Rows &weights, int r, bool wide) {
    const int w = image.get()->width, h = image.get()->height;
    std::vector<int> wi(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) wi[y * w + x] = 255 - weights.Row8(y)[x];
    std::vector<uint8_t> out(w * h);
    for (int y = 0; y < h; y += wide ? 1 : 2)
        for (int x = 0; x < w; ++x) {
            const int g = wi[y * w + x] * r / 255;
            out[y * w + x] = Box(image, wi, x, y, g, wide ? g / 2 : g);
        }
    if (!wide) {
        for (int y = 1; y < h - 1; y += 2)
            for (int x = 0; x < w; ++x) out[y * w + x] = (out[(y - 1) * w + x] + out[(y + 1) * w + x]) >> 1;
        if (h % 2 == 0)
            for (int x = 0; x < w; ++x) out[(h - 1) * w + x] = out[(h - 2) * w + x];
    }
    return out;
}

struct Case {
    int w, h, r, weightLo, weightHi;
};
const Case kCases[] = {
    {1, 1, 3, 0, 255},   {7, 5, 2, 0, 255},    {16, 12, 4, 0, 255}, {13, 20, 6, 0, 0},
    {21, 18, 3, 255, 255}, {9, 14, 0, 0, 255}, {30, 9, 90, 0, 255},  {12, 40, 5, 200, 255},
};

// Random images and weights against the definition, both blurs; the weights hold 255 - w
// afterwards. Odd and even heights (an even one's last row repeats the row above).
TEST(WeightedBlur, BothBlursMatchTheDefinition) {
    std::mt19937 random(70);
    for (const Case &c : kCases)
        for (const bool wide : {false, true}) {
            Rows image(c.w, c.h, 8), weights(c.w, c.h, 8), output(c.w, c.h, 8);
            Fill(image, random, 0, 255);
            Fill(weights, random, c.weightLo, c.weightHi);
            const std::vector<uint8_t> expected = Model(image, weights, c.r, wide);
            std::vector<uint8_t> inverted = Samples(weights);
            for (uint8_t &v : inverted) v = static_cast<uint8_t>(255 - v);
            const int32_t result = wide ? WeightedBlurWide(nullptr, image.get(), weights.get(), c.r, output.get())
                                        : WeightedBlurEvenRows(nullptr, image.get(), weights.get(), c.r, output.get());
            ASSERT_EQ(result, RESULT_OK);
            EXPECT_EQ(Samples(output), expected) << c.w << "x" << c.h << " r " << c.r << (wide ? " wide" : " even");
            EXPECT_EQ(Samples(weights), inverted);
        }
}

// Weights all 255 copy the image in the computed rows; R = 0 is the identity everywhere the
// blur computes.
TEST(WeightedBlur, FullWeightsAndZeroRadiusKeepTheImage) {
    std::mt19937 random(71);
    Rows image(15, 11, 8), weights(15, 11, 8), output(15, 11, 8);
    Fill(image, random, 0, 255);
    for (const int radius : {0, 7}) {
        Fill(weights, random, radius == 0 ? 0 : 255, 255);
        ASSERT_EQ(WeightedBlurWide(nullptr, image.get(), weights.get(), radius, output.get()), RESULT_OK);
        EXPECT_EQ(Samples(output), Samples(image)) << radius;
    }
}

TEST(WeightedBlur, RejectsBadArgumentsAndReportsMemory) {
    std::mt19937 random(72);
    Rows image(64, 40, 8), weights(64, 40, 8), output(64, 40, 8), small(63, 40, 8), deep(64, 40, 32);
    Fill(weights, random, 0, 255);
    const std::vector<uint8_t> before = Samples(weights);
    EXPECT_EQ(WeightedBlurWide(nullptr, image.get(), weights.get(), WEIGHTED_BLUR_MAX_RADIUS + 1, output.get()),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(WeightedBlurWide(nullptr, image.get(), weights.get(), -1, output.get()), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(WeightedBlurEvenRows(nullptr, image.get(), small.get(), 2, output.get()), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(WeightedBlurEvenRows(nullptr, image.get(), weights.get(), 2, deep.get()), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(WeightedBlurEvenRows(nullptr, image.get(), weights.get(), 2, weights.get()), RESULT_INVALID_ARGUMENT);
    filters_test::SmallPool pool(256);
    EXPECT_EQ(WeightedBlurEvenRows(pool.get(), image.get(), weights.get(), 4, output.get()), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(Samples(weights), before);
}

}  // namespace

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "filters/box_filter.h"
#include "filters/filters_support.h"

namespace {

using filters_test::ClampInt;
using filters_test::SmallPool;

// The mean as defined: the window sum over replicated borders, S * e / 65536 rounded half up
// with e = 65536 / d^2 rounded half up, product and sum modulo 2^32.
template <typename Sample>
int32_t ModelMean(const std::vector<Sample> &plane, int w, int h, int pitch, int r, int x, int y) {
    int64_t sum = 0;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx)
            sum += plane[ClampInt(y + dy, 0, h - 1) * pitch + ClampInt(x + dx, 0, w - 1)];
    const int64_t area = int64_t{2 * r + 1} * (2 * r + 1);
    const uint32_t e = static_cast<uint32_t>((area + 131072) / (2 * area));
    return static_cast<int32_t>(e * static_cast<uint32_t>(sum) + 32768u);  // caller shifts
}

template <typename Sample>
std::vector<Sample> ModelFilter(const std::vector<Sample> &in, int w, int h, int pitch, int r,
                               int mode) {
    std::vector<Sample> out = in;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int32_t t = ModelMean(in, w, h, pitch, r, x, y);
            const int32_t m = t >> 16;
            Sample &s = out[y * pitch + x];
            if constexpr (sizeof(Sample) == 1) {
                if (mode == 2) s = static_cast<Sample>(std::min(t >> 15, 255));
                else if (mode == 0 || mode == 1) s = static_cast<Sample>(std::min(m, 255));
            } else if constexpr (sizeof(Sample) == 2) {
                if (mode == 0 && s >= 0) s = static_cast<Sample>(m);
                if (mode == 1) s = static_cast<Sample>(m);
                if (mode == 2 && m >= 2) s = 256;
            } else {
                if (mode != 0 || s >= 0) s = m;
            }
        }
    return out;
}

struct Shape {
    int width, height, pitch;
};

const Shape kShapes[] = {{1, 1, 1}, {3, 2, 5}, {5, 3, 5}, {17, 9, 20}, {40, 40, 40}};
const int kRadii[] = {0, 1, 2, 4, 8, 9, 16, 32};

template <typename Sample, typename Filter>
void CompareWithModel(Filter filter, int lo, int hi, const std::vector<int> &modes) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> value(lo, hi);
    for (const Shape &shape : kShapes)
        for (int r : kRadii)
            for (int mode : modes) {
                std::vector<Sample> plane(shape.pitch * shape.height);
                for (Sample &s : plane) s = static_cast<Sample>(value(random));
                const std::vector<Sample> expected =
                    ModelFilter(plane, shape.width, shape.height, shape.pitch, r, mode);
                ASSERT_EQ(filter(plane.data(), shape.width, shape.height, shape.pitch, r, mode),
                          RESULT_OK);
                EXPECT_EQ(plane, expected) << shape.width << "x" << shape.height << " pitch "
                                           << shape.pitch << " r " << r << " mode " << mode;
            }
}

// Random planes against the definition, padding beyond the width included: every mode, with
// radii beyond the plane's size (a 3 x 2 plane at r 4 still counts 81 samples).
TEST(BoxFilter, Plane16MatchesWindowModel) {
    CompareWithModel<int16_t>(
        [](int16_t *p, int w, int h, int pitch, int r, int mode) {
            return BoxFilterPlane16(nullptr, p, w, h, pitch, r, mode);
        },
        -300, 31767, {0, 1, 2, 3});
}

TEST(BoxFilter, Plane32MatchesWindowModel) {
    CompareWithModel<int32_t>(
        [](int32_t *p, int w, int h, int pitch, int r, int mode) {
            return BoxFilterPlane32(nullptr, p, w, h, pitch, r, mode);
        },
        -31767, 31767, {0, 1, 5});
}

TEST(BoxFilter, Plane8MatchesWindowModel) {
    CompareWithModel<uint8_t>(
        [](uint8_t *p, int w, int h, int pitch, int r, int mode) {
            return BoxFilterPlane8(nullptr, p, w, h, pitch, r, mode);
        },
        0, 255, {0, 1, 2, 3});
    // Small values exercise the mask-spreading mode away from its ceiling.
    CompareWithModel<uint8_t>(
        [](uint8_t *p, int w, int h, int pitch, int r, int mode) {
            return BoxFilterPlane8(nullptr, p, w, h, pitch, r, mode);
        },
        0, 3, {2});
}

TEST(BoxFilter, ReciprocalsOfTheRadiiInUse) {
    const int radii[] = {0, 1, 2, 4, 8, 16, 32};
    const int expected[] = {65536, 7282, 2621, 809, 227, 60, 16};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(BoxMeanReciprocal(radii[i]), expected[i]) << radii[i];
}

// Constant planes: the mean uses S * e / 65536, not S / d^2.
TEST(BoxFilter, ConstantPlaneFigures) {
    struct Case {
        int radius, value, expected;
    };
    const Case cases16[] = {{0, 255, 255}, {1, 255, 255}, {16, 255, 254}, {32, 255, 263}, {4, -7, -7}};
    for (const Case &c : cases16) {
        std::vector<int16_t> plane(6 * 5, static_cast<int16_t>(c.value));
        ASSERT_EQ(BoxFilterPlane16(nullptr, plane.data(), 6, 5, 6, c.radius, 1), RESULT_OK);
        EXPECT_EQ(plane[13], c.expected) << "r " << c.radius;
    }
    // The mask-spreading mode of the 8-bit member: twice the mean plus one half.
    const Case cases8[] = {{2, 0, 1},  {2, 255, 255}, {1, 10, 21}, {8, 10, 21},
                           {32, 10, 21}, {2, 10, 20},  {4, 10, 20}};
    for (const Case &c : cases8) {
        std::vector<uint8_t> plane(7 * 4, static_cast<uint8_t>(c.value));
        ASSERT_EQ(BoxFilterPlane8(nullptr, plane.data(), 7, 4, 7, c.radius, 2), RESULT_OK);
        EXPECT_EQ(plane[10], c.expected) << "r " << c.radius << " value " << c.value;
    }
}

// A window of 255s has a rounded mean above 255 exactly at these radii; the 8-bit member
// stores 255 there instead of the low 8 bits.
TEST(BoxFilter, Plane8SaturatesWhereTheMeanPasses255) {
    std::vector<int> over;
    for (int r = 0; r <= 40; ++r) {
        std::vector<uint8_t> plane(4 * 3, 255);
        ASSERT_EQ(BoxFilterPlane8(nullptr, plane.data(), 4, 3, 4, r, 1), RESULT_OK);
        const int64_t area = int64_t{2 * r + 1} * (2 * r + 1);
        const int64_t mean = (BoxMeanReciprocal(r) * area * 255 + 32768) >> 16;
        if (mean > 255) {
            over.push_back(r);
            EXPECT_EQ(plane[5], 255) << r;
        } else {
            EXPECT_EQ(plane[5], mean) << r;
        }
    }
    EXPECT_EQ(over, (std::vector<int>{9, 10, 18, 23, 27, 29, 30, 31, 32, 33, 34, 37, 39}));
}

// Mode 2 of the 16-bit member only ever writes 256: a 5 whose window mean rounds to 1 stays.
TEST(BoxFilter, Plane16MaskModeKeepsSamplesBelowTheThreshold) {
    std::vector<int16_t> plane(3 * 3, 0);
    plane[4] = 5;  // mean 5/9 rounds to 1
    ASSERT_EQ(BoxFilterPlane16(nullptr, plane.data(), 3, 3, 3, 1, 2), RESULT_OK);
    EXPECT_EQ(plane[4], 5);
    std::vector<int16_t> bright(3 * 3, 0);
    bright[4] = 20;  // mean 20/9 rounds to 2
    ASSERT_EQ(BoxFilterPlane16(nullptr, bright.data(), 3, 3, 3, 1, 2), RESULT_OK);
    EXPECT_EQ(bright, std::vector<int16_t>(9, 256));
}

TEST(BoxFilter, RejectsBadArgumentsAndReportsExhaustedMemory) {
    std::vector<int16_t> plane(8 * 8, 7);
    EXPECT_EQ(BoxFilterPlane16(nullptr, plane.data(), 8, 8, 8, -1, 1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(BoxFilterPlane16(nullptr, plane.data(), 8, 8, 7, 1, 1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(BoxFilterPlane16(nullptr, nullptr, 8, 8, 8, 1, 1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(BoxFilterPlane8(nullptr, nullptr, 0, 5, 0, 1, 1), RESULT_OK);  // no columns

    std::vector<int16_t> ramp(40 * 30);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i % 97);
    const std::vector<int16_t> before = ramp;
    SmallPool pool(1024);
    EXPECT_EQ(BoxFilterPlane16(pool.get(), ramp.data(), 40, 30, 40, 4, 1), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(ramp, before);
}

}  // namespace

// Crop and rescale on four threads gives, bit for bit, what its four bands give one after
// another.
#include <gtest/gtest.h>

#include <random>

#include "filters/crop_rescale.h"
#include "filters/filters_support.h"

namespace {

using filters_test::Image;
using filters_test::RunJobsInOrder;

TEST(CropAndRescaleThreads, FourThreadsMatchBandsInOrder) {
    struct Case {
        uint32_t format;
        int width, height;
        PixelRect rect;
    };
    std::mt19937 random(44);
    for (const Case &c : {Case{PIXEL_FORMAT_YUYV, 4000, 3000, {16, 16, 3984, 2976}},
                          Case{PIXEL_FORMAT_I420, 202, 150, {9, 4, 190, 141}},
                          Case{PIXEL_FORMAT_NV12, 64, 48, {3, 3, 60, 40}},
                          Case{PIXEL_FORMAT_NV16, 50, 31, {6, 1, 44, 30}}}) {
        Image source(c.width, c.height, c.format), threaded(c.width, c.height, c.format),
            ordered(c.width, c.height, c.format);
        source.FillQuickly(random);
        threaded.FillQuickly(random);
        ordered.CopyFrom(threaded);
        PixelRect a = c.rect, b = c.rect;
        ASSERT_EQ(CropAndRescale(nullptr, source.get(), threaded.get(), &a), RESULT_OK);
        ASSERT_EQ(CropAndRescaleWithRunner(nullptr, source.get(), ordered.get(), &b, RunJobsInOrder), RESULT_OK);
        EXPECT_TRUE(threaded.SameBytes(ordered)) << std::hex << c.format;
        EXPECT_EQ(a.x1, b.x1);
        EXPECT_EQ(a.y1, b.y1);
    }
}

}  // namespace

// The band guided filters on four threads give, bit for bit, what their bands give run one
// after another, also in place.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "filters/filters_support.h"
#include "filters/guided_band.h"
#include "filters/guided_band16.h"

namespace {

using filters_test::Image;
using filters_test::RunJobsInOrder;

struct Shape {
    int width, height, radius;
};

// 12 x 12 is the preview of a 100-pixel photo: bands of 3 rows read r = 16 rows beyond them.
const Shape kShapes[] = {{12, 12, 16}, {120, 90, 16}, {37, 9, 4}, {64, 47, 0}};

TEST(GuidedFilter8Threads, FourThreadsMatchBandsInOrder) {
    std::mt19937 random(41);
    for (const Shape &s : kShapes) {
        Image guide(s.width, s.height, PIXEL_FORMAT_YUV444P), input(s.width, s.height, PIXEL_FORMAT_YUV444P);
        guide.Fill(random);
        input.Fill(random);
        Image threaded(s.width, s.height, PIXEL_FORMAT_YUV444P), ordered(s.width, s.height, PIXEL_FORMAT_YUV444P);
        // The outputs start as copies of the input, so that the in-place run below must give
        // the same bytes in every plane.
        threaded.CopyFrom(input);
        ordered.CopyFrom(input);
        ASSERT_EQ(GuidedFilterThreaded8(nullptr, guide.get(), input.get(), s.radius, nullptr,
                                        threaded.get(), 4.0),
                  RESULT_OK);
        ASSERT_EQ(GuidedFilterThreaded8WithRunner(nullptr, guide.get(), input.get(), s.radius, nullptr,
                                                  ordered.get(), 4.0, RunJobsInOrder),
                  RESULT_OK);
        EXPECT_EQ(threaded.Bytes(), ordered.Bytes()) << s.width << "x" << s.height;

        // In place, the preview fusion's case, and with the guide as the output too.
        ASSERT_EQ(GuidedFilterThreaded8(nullptr, guide.get(), input.get(), s.radius, nullptr,
                                        input.get(), 4.0),
                  RESULT_OK);
        EXPECT_EQ(input.Bytes(), threaded.Bytes()) << s.width << "x" << s.height;
        Image self(s.width, s.height, PIXEL_FORMAT_YUV444P), selfOrdered(s.width, s.height, PIXEL_FORMAT_YUV444P);
        self.Fill(random);
        selfOrdered.CopyFrom(self);
        GuidedFilterThreaded8WithRunner(nullptr, self.get(), self.get(), s.radius, nullptr,
                                        selfOrdered.get(), 4.0, RunJobsInOrder);
        ASSERT_EQ(GuidedFilterThreaded8(nullptr, self.get(), self.get(), s.radius, nullptr, self.get(), 4.0),
                  RESULT_OK);
        EXPECT_EQ(self.Bytes(), selfOrdered.Bytes()) << s.width << "x" << s.height;
    }
}

TEST(GuidedFilter16Threads, FourThreadsMatchBandsInOrder) {
    std::mt19937 random(42);
    for (const Shape &s : kShapes) {
        for (int mode : {0, 1}) {
            Image guide(s.width, s.height, PIXEL_FORMAT_YUV444P);
            guide.Fill(random);
            std::vector<int16_t> input(s.width * s.height), threaded(input.size()), ordered(input.size());
            for (int16_t &v : input) v = static_cast<int16_t>(static_cast<int>(random() % 4000) - 2000);
            ASSERT_EQ(GuidedFilterThreaded16(nullptr, guide.get(), input.data(), s.radius, nullptr,
                                             threaded.data(), 4.0, mode),
                      RESULT_OK);
            ASSERT_EQ(GuidedFilterThreaded16WithRunner(nullptr, guide.get(), input.data(), s.radius,
                                                       nullptr, ordered.data(), 4.0, mode, RunJobsInOrder),
                      RESULT_OK);
            EXPECT_EQ(threaded, ordered) << s.width << "x" << s.height << " mode " << mode;
            ASSERT_EQ(GuidedFilterThreaded16(nullptr, guide.get(), input.data(), s.radius, nullptr,
                                             input.data(), 4.0, mode),
                      RESULT_OK);
            EXPECT_EQ(input, ordered) << "in place " << s.width << "x" << s.height;
        }
    }
}

}  // namespace

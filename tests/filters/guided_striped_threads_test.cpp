// The striped guided filter on four threads, whichever worker takes which stripe, gives what
// one worker taking every stripe gives.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "filters/filters_support.h"
#include "filters/guided_striped.h"

namespace {

using filters_test::Rows;
using filters_test::RunJobsInOrder;

std::vector<int32_t> Samples(const Rows &rows) {
    std::vector<int32_t> v;
    for (int y = 0; y < rows.get()->height; ++y)
        v.insert(v.end(), rows.Row32(y), rows.Row32(y) + rows.get()->width);
    return v;
}

TEST(GuidedFilterStripedThreads, FourThreadsMatchOneWorker) {
    struct Shape {
        int width, height, radius;
    };
    std::mt19937 random(43);
    for (const Shape &s : {Shape{128, 96, 4}, Shape{33, 100, 4}, Shape{5, 3, 2}, Shape{60, 70, 1}}) {
        Rows guide(s.width, s.height, 8), input(s.width, s.height, 32), ordered(s.width, s.height, 32);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                guide.Row8(y)[x] = static_cast<uint8_t>(random());
                input.Row32(y)[x] = static_cast<int32_t>(random() % 65535) - 32767;
            }
        ASSERT_EQ(GuidedFilterStripedWithRunner(nullptr, guide.get(), input.get(), ordered.get(),
                                                s.radius, RunJobsInOrder),
                  RESULT_OK);
        for (int repeat = 0; repeat < 4; ++repeat) {
            Rows threaded(s.width, s.height, 32);
            ASSERT_EQ(GuidedFilterStriped(nullptr, guide.get(), input.get(), threaded.get(), s.radius),
                      RESULT_OK);
            EXPECT_EQ(Samples(threaded), Samples(ordered)) << s.width << "x" << s.height;
        }
        ASSERT_EQ(GuidedFilterStriped(nullptr, guide.get(), input.get(), input.get(), s.radius), RESULT_OK);
        EXPECT_EQ(Samples(input), Samples(ordered)) << "in place " << s.width << "x" << s.height;
    }
}

}  // namespace

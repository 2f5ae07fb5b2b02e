// Exposure ordering: the comparison tree and its tie-breaks.
#include <gtest/gtest.h>

#include "core/exposure_order.h"
#include "exposure_support.h"

namespace {

struct Case {
    double g[3];
    int32_t count;
    int32_t dark, bright, reference;          // OrderExposures
    int32_t variantBright, variantReference;  // OrderExposuresVariant (same darkest)
};

TEST(ExposureOrderTest, ComparisonTreeAndTies) {
    const Case cases[] = {
        {{4.0, 1.0, 0.25}, 3, 0, 2, 1, 2, 1},
        {{0.25, 1.0, 4.0}, 3, 2, 0, 1, 0, 1},
        {{1.0, 2.0, 1.0}, 3, 1, 2, 0, 0, 2},  // g0 = g2 below g1
        {{1.0, 1.0, 1.0}, 3, 0, 1, 2, 1, 2},  // three equal
        {{2.0, 2.0, 1.0}, 3, 0, 2, 1, 2, 1},  // tie for the largest: lower index
        {{1.0, 2.0, 2.0}, 3, 1, 0, 2, 0, 2},
        {{1.0, 1.0, 2.0}, 3, 2, 1, 0, 1, 0},  // g0 = g1 below g2: brightest 1
        {{2.0, 1.0, 1.0}, 3, 0, 1, 2, 1, 2},  // g1 = g2 below g0: brightest 1
        {{3.0, 2.0, 1.0}, 2, 0, 1, 0, 1, 1},
        {{1.0, 1.0, 9.0}, 2, 1, 0, 0, 0, 0},  // two equal: darkest 1
        {{5.0, 1.0, 9.0}, 1, 0, 0, 0, 0, 0},
    };
    exposure_test::TestSession ts(96, 96);
    for (const Case &c : cases) {
        ASSERT_EQ(OrderExposures(ts.get(), c.g, c.count), RESULT_OK);
        EXPECT_EQ(ts->darkIndex, c.dark) << c.g[0] << " " << c.g[1] << " " << c.g[2];
        EXPECT_EQ(ts->brightIndex, c.bright) << c.g[0] << " " << c.g[1] << " " << c.g[2];
        EXPECT_EQ(ts->referenceIndex, c.reference) << c.g[0] << " " << c.g[1] << " " << c.g[2];
        ASSERT_EQ(OrderExposuresVariant(ts.get(), c.g, c.count), RESULT_OK);
        EXPECT_EQ(ts->darkIndex, c.dark);
        EXPECT_EQ(ts->brightIndex, c.variantBright) << c.g[0] << " " << c.g[1] << " " << c.g[2];
        EXPECT_EQ(ts->referenceIndex, c.variantReference);
    }
    EXPECT_EQ(OrderExposures(nullptr, cases[0].g, 3), RESULT_INVALID_ARGUMENT);
}

}  // namespace

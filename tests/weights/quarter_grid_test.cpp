// Padding of quarter grids to sides that are multiples of 4.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/hdr_engine.h"
#include "weights/quarter_grid.h"

namespace {

// A 5 x 3 grid pads to 8 x 4: the last column repeats across, then the last row down.
TEST(QuarterGridPadding, RepeatsTheLastColumnThenTheLastRow) {
    const std::vector<uint8_t> grid = {1,  2,  3,  4,  5,   //
                                       6,  7,  8,  9,  10,  //
                                       11, 12, 13, 14, 15};
    const std::vector<uint8_t> expected = {1,  2,  3,  4,  5,  5,  5,  5,   //
                                           6,  7,  8,  9,  10, 10, 10, 10,  //
                                           11, 12, 13, 14, 15, 15, 15, 15,  //
                                           11, 12, 13, 14, 15, 15, 15, 15};
    std::vector<uint8_t> out(9 * 4, 0xEE);  // pitch 9: the ninth byte stays
    ASSERT_EQ(PadGrid8ToMultipleOf4(grid.data(), 5, 3, 5, out.data(), 9), RESULT_OK);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) EXPECT_EQ(out[y * 9 + x], expected[y * 8 + x]) << x << "," << y;
        EXPECT_EQ(out[y * 9 + 8], 0xEE);
    }

    // In place, 32-bit, with negative samples and a pitch wider than the padded row.
    std::vector<int32_t> wide(6 * 8, 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x) wide[y * 6 + x] = -1000 * y - x;
    ASSERT_EQ(PadGrid32ToMultipleOf4(wide.data(), 3, 5, 6, wide.data(), 6), RESULT_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(wide[y * 6 + x], -1000 * std::min(y, 4) - std::min(x, 2)) << x << "," << y;
}

TEST(QuarterGridPadding, MultiplesOfFourCopyUnchangedAndBadArgumentsAreRefused) {
    std::vector<int32_t> grid(4 * 8);
    for (size_t i = 0; i < grid.size(); ++i) grid[i] = static_cast<int32_t>(i * 7919);
    std::vector<int32_t> out(grid.size(), -1);
    ASSERT_EQ(PadGrid32ToMultipleOf4(grid.data(), 4, 8, 4, out.data(), 4), RESULT_OK);
    EXPECT_EQ(out, grid);
    uint8_t bytes[16] = {};
    EXPECT_EQ(PadGrid8ToMultipleOf4(bytes, 3, 3, 3, bytes, 3), RESULT_INVALID_ARGUMENT);  // row of 4 does not fit
    EXPECT_EQ(PadGrid8ToMultipleOf4(nullptr, 3, 3, 3, bytes, 4), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(PadGrid8ToMultipleOf4(bytes, 0, 3, 3, bytes, 4), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(PadGrid32ToMultipleOf4(grid.data(), 4, 8, 3, out.data(), 4), RESULT_INVALID_ARGUMENT);
}

}  // namespace

// Which rows of the 1/8-scale difference maps each full-resolution row reads: map row j stands
// at image row 8 j + 4, rows between two map rows blend them, rows outside the first and the
// last hold them. Maps whose rows all differ show a row read from its neighbour.
#include <gtest/gtest.h>

#include <algorithm>

#include "difference_map_frames.h"
#include "weights/auxiliary_tools.h"

namespace {

using planning::DifferenceMapFrames;

// Map row j holds 256 + 8 kSteps[j] (each map its own order of them): whole-level steps of 8,
// so the blend of two rows is exact.
constexpr int32_t kSteps[] = {0, 3, -2, 5, 1, -4, 6, 2, -3, 4};
constexpr int32_t kMapRows = 10;

int32_t Step(int map, int32_t row) { return kSteps[(row + 3 * map) % kMapRows]; }

// The offset of image row y in map k.
int32_t ExpectedOffset(int map, int32_t y) {
    if (y <= 4) return 8 * Step(map, 0);
    if (y >= 8 * (kMapRows - 1) + 4) return 8 * Step(map, kMapRows - 1);
    const int32_t j = (y - 4) / 8, t = (y - 4) % 8;
    return 8 * Step(map, j) + t * (Step(map, j + 1) - Step(map, j));
}

TEST(DifferenceMapRows, EachImageRowBlendsTheMapRowsAroundIt) {
    // 44 x 88 pixels: maps of 4 x 10 cells, so the last map row is held by rows 76 to 87.
    DifferenceMapFrames f(44, 8 * kMapRows + 8, {100, 100, 100}, {256, 256, 256});
    const int32_t mapWidth = f.preview.i32Width;
    ASSERT_EQ(f.preview.i32Height, kMapRows);
    for (int k = 0; k < 3; ++k)
        for (int32_t row = 0; row < kMapRows; ++row)
            std::fill_n(f.grids[k].begin() + row * mapWidth, mapWidth,
                        static_cast<int16_t>(256 + 8 * Step(k, row)));
    ASSERT_EQ(ApplyDifferenceMapsFullRes(&f.session), RESULT_OK);
    for (int k = 0; k < 3; ++k)
        for (int32_t y = 0; y < f.height; ++y) {
            int32_t wrong = 0;
            for (int32_t x = 0; x < f.width; ++x) wrong += f.Luma(k, x, y) != 100 + ExpectedOffset(k, y);
            EXPECT_EQ(wrong, 0) << "map " << k << " row " << y << " (row mod 8: " << y % 8 << ")";
        }
}

}  // namespace

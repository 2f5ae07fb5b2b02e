#include "filters/grid_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "filters/filters_support.h"

namespace {

constexpr uint8_t kByteSentinel = 0xA5;
constexpr int16_t kSentinel = -12345;

TEST(UpsampleGrid2n, ThreeByThreeGridIntoTwelveByTwelve) {
    const uint8_t grid[9] = {0, 64, 128, 64, 128, 192, 40, 0, 200};
    std::vector<uint8_t> out(12 * 14, kByteSentinel);
    ASSERT_EQ(UpsampleGrid2n(out.data(), 12, 12, 14, grid, 3, 3, 3, nullptr, 2), RESULT_OK);
    auto at = [&](int x, int y) { return int{out[y * 14 + x]}; };
    // Rows 0..3 are grid row 0 interpolated across; columns 8..11 repeat column 7.
    const int top[12] = {0, 16, 32, 48, 64, 80, 96, 112, 112, 112, 112, 112};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 12; ++x) EXPECT_EQ(at(x, y), top[x]) << x << "," << y;
    // Rows 4..7 move from row 0 toward row 1 (row 1 is row 0 plus 64): row 4 + tv adds 16 tv.
    for (int tv = 0; tv < 4; ++tv)
        for (int x = 0; x < 12; ++x) EXPECT_EQ(at(x, 4 + tv), top[x] + 16 * tv) << x << "," << tv;
    // Rows 8..11 repeat grid row 2.
    const int bottom[12] = {40, 30, 20, 10, 0, 50, 100, 150, 150, 150, 150, 150};
    for (int y = 8; y < 12; ++y)
        for (int x = 0; x < 12; ++x) EXPECT_EQ(at(x, y), bottom[x]) << x << "," << y;
    for (int y = 0; y < 12; ++y) EXPECT_EQ(out[y * 14 + 12], kByteSentinel);
}

TEST(UpsampleGrid2n, ConstantGridsRectanglesAndOneCellWideGrids) {
    struct Case {
        int gridCols, gridRows, shift;
        PixelRect rect;
    };
    const Case cases[] = {{4, 3, 1, {0, 0, 9, 7}},
                          {5, 5, 3, {3, 2, 40, 41}},
                          {1, 1, 2, {0, 0, 9, 9}},
                          {1, 4, 2, {2, 1, 11, 16}},
                          {3, 2, 0, {1, 0, 5, 4}}};
    for (const Case &c : cases) {
        const int pitch = c.rect.x1 + 3;
        std::vector<uint8_t> grid(c.gridCols * c.gridRows, 77);
        std::vector<uint8_t> out(pitch * (c.rect.y1 + 1), kByteSentinel);
        ASSERT_EQ(UpsampleGrid2n(out.data(), 0, 0, pitch, grid.data(), c.gridCols, c.gridRows,
                                 c.gridCols, &c.rect, c.shift),
                  RESULT_OK);
        for (int y = 0; y <= c.rect.y1; ++y)
            for (int x = 0; x < pitch; ++x) {
                const bool inside =
                    x >= c.rect.x0 && x < c.rect.x1 && y >= c.rect.y0 && y < c.rect.y1;
                ASSERT_EQ(out[y * pitch + x], inside ? 77 : kByteSentinel)
                    << c.gridCols << "x" << c.gridRows << " at " << x << "," << y;
            }
    }
    uint8_t cell = 1;
    uint8_t out[4];
    EXPECT_EQ(UpsampleGrid2n(nullptr, 2, 2, 2, &cell, 1, 1, 1, nullptr, 1),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(UpsampleGrid2n(out, 2, 2, 2, &cell, 0, 1, 1, nullptr, 1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(UpsampleGrid2n(out, 2, 2, 2, &cell, 1, 1, 1, nullptr, -1), RESULT_INVALID_ARGUMENT);
}

TEST(UpsampleGrayGrid, SignedCellsAndOnlyGrayGrids) {
    filters_test::Image grid(2, 1, PIXEL_FORMAT_GRAY8);
    filters_test::Image out(4, 2, PIXEL_FORMAT_GRAY8);
    grid.Plane(0)[0] = 0xF8;  // -8
    grid.Plane(0)[1] = 8;
    for (int y = 0; y < 2; ++y) std::fill_n(out.Plane(0) + y * out->pi32Pitch[0], 4, kByteSentinel);
    ASSERT_EQ(UpsampleGrayGridImage(0, grid.get(), out.get(), nullptr, 1), RESULT_OK);
    const uint8_t expected[4] = {0xF8, 0, 0, 0};  // -8, half-way 0, then column 1 repeated
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(out.Plane(0)[y * out->pi32Pitch[0] + x], expected[x]);

    filters_test::Image yuv(2, 2, PIXEL_FORMAT_YUV444P);
    std::fill_n(out.Plane(0), 4, kByteSentinel);
    EXPECT_EQ(UpsampleGrayGridImage(0, yuv.get(), out.get(), nullptr, 1), RESULT_OK);
    EXPECT_EQ(out.Plane(0)[0], kByteSentinel);
    const PixelRect outside{0, 0, 5, 2};
    EXPECT_EQ(UpsampleGrayGrid2n(0, grid.get(), out.get(), &outside, 1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(UpsampleGrayGrid2n(0, grid.get(), out.get(), nullptr, 1), RESULT_INVALID_ARGUMENT);
}

// The bilinear value of a padded 8-pixel map, node k at column origin + 8k - 4, with node
// columns and rows held at the map's edges.
int16_t ModelRowValue(const std::vector<int16_t> &grid, int stride, int gridRows, int x, int b,
                      int wy, int origin) {
    const int rel = x - origin + 4;
    const int k = rel >= 0 ? rel / 8 : -((-rel + 7) / 8);
    const int t = rel - 8 * k;
    auto cell = [&](int row, int col) {
        return int{
            grid[std::clamp(row, 0, gridRows - 1) * stride + std::clamp(col, 0, stride - 1)]};
    };
    const int row = std::clamp(b, 0, gridRows - 1);
    const int a = cell(row, k), b1 = cell(row, k + 1), c = cell(row + 1, k),
              d = cell(row + 1, k + 1);
    const int v = 64 * a + 8 * t * (b1 - a) + 8 * wy * (c - a) + t * wy * (a + d - b1 - c);
    return static_cast<int16_t>(v >= 0 ? v / 64 : -((-v + 63) / 64));
}

TEST(InterpolateGridRow8, MatchesTheBilinearModelOverEveryRowPhaseAndEdge) {
    std::mt19937 rng(11);
    // Map sizes as the band renderers see them: (W / 16) * 2 + 2 nodes for widths with
    // W mod 16 of 8 and 12, where the last columns need nodes past the map.
    struct Case {
        int width, height;
    };
    for (Case c : {Case{96, 96}, Case{104, 110}, Case{108, 111}, Case{1000, 126}}) {
        const int stride = (c.width / 16) * 2 + 2;
        const int gridRows = (c.height / 16) * 2 + 2;
        std::vector<int16_t> grid(stride * gridRows);
        for (auto &v : grid) v = static_cast<int16_t>(static_cast<int>(rng() % 65536) - 32768);
        std::vector<int16_t> out(c.width + 8);
        for (int r = 0; r < c.height; ++r) {
            const int b = (r + 4) >> 3;
            const int wy = (r + 4) & 7;
            const int first = r % 5;
            const int end = c.width - r % 3;
            std::fill(out.begin(), out.end(), kSentinel);
            InterpolateGridRow8(out.data(), first, end, b, grid.data(), stride, gridRows, wy);
            for (int x = 0; x < static_cast<int>(out.size()); ++x) {
                const int16_t want = (x >= first && x < end)
                                         ? ModelRowValue(grid, stride, gridRows, x, b, wy, 0)
                                         : kSentinel;
                ASSERT_EQ(out[x], want) << c.width << "x" << c.height << " row " << r << " x " << x;
            }
        }
    }
}

TEST(InterpolateGridRow8, NodesAreTakenExactlyAndRowZeroWeightIgnoresTheLowerRow) {
    const int stride = 4;
    std::vector<int16_t> grid = {10, 20, 30, 40, 1000, 1000, 1000, 1000};
    int16_t out[24];
    InterpolateGridRow8(out, 0, 24, 0, grid.data(), stride, 2, 0);
    // Columns 0..3 lie after node 0 (t = 4..7); node k sits at column 8k - 4.
    const int16_t firstRun[4] = {15, 16, 17, 18};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(out[x], firstRun[x]);
    EXPECT_EQ(out[4], 20);
    EXPECT_EQ(out[12], 30);
    EXPECT_EQ(out[20], 40);
    // On the last grid row the lower row is the same row.
    InterpolateGridRow8(out, 0, 8, 1, grid.data(), stride, 2, 5);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(out[x], 1000);
}

TEST(InterpolateGridRow8FromX, NodesCountFromTheOrigin) {
    std::mt19937 rng(3);
    const int stride = 10, gridRows = 4;
    std::vector<int16_t> grid(stride * gridRows);
    for (auto &v : grid) v = static_cast<int16_t>(rng() % 4000 - 2000);
    for (int origin : {0, 8, 13}) {
        for (int b = 0; b + 1 < gridRows; ++b) {
            int16_t out[80];
            std::fill_n(out, 80, kSentinel);
            InterpolateGridRow8FromX(out, 2, 77, b, grid.data(), stride, 0, 3, origin);
            for (int x = 0; x < 80; ++x) {
                const int16_t want = (x >= 2 && x < 77)
                                         ? ModelRowValue(grid, stride, gridRows, x, b, 3, origin)
                                         : kSentinel;
                ASSERT_EQ(out[x], want) << origin << " " << b << " " << x;
            }
        }
    }
}

}  // namespace

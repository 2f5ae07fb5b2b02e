// 32-pixel grid rows: the values of the bilinear formula, the sparse and run-list forms, and
// the run lists' edge cases.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "fusion/grid_rows32.h"

namespace {

constexpr int16_t kUntouched = -12345;

// The interpolation straight from its definition.
int16_t Expected(const std::vector<int16_t> &grid, int stride, int gy, int v, int x) {
    const int c = (x + 16) >> 5, o = (x + 16) & 31;
    const int a = grid[gy * stride + c], b = grid[gy * stride + c + 1];
    const int cc = grid[(gy + 1) * stride + c], d = grid[(gy + 1) * stride + c + 1];
    return int16_t(((32 - o) * (32 - v) * a + o * (32 - v) * b + (32 - o) * v * cc + o * v * d) >> 10);
}

TEST(GridRows32, FullSparseAndRunFormsGiveTheFormula) {
    const int stride = 12, rows = 4;
    std::mt19937 random(3);
    std::uniform_int_distribution<int> node(-300, 300);
    std::vector<int16_t> grid(stride * rows);
    for (int16_t &n : grid) n = int16_t(node(random));
    struct Case {
        int first, end, gy, v;
    };
    for (const Case &c : {Case{0, 96, 0, 0}, Case{4, 100, 1, 7}, Case{16, 48, 2, 31},
                          Case{8, 304, 1, 16}, Case{0, 4, 0, 5}}) {
        SCOPED_TRACE(testing::Message() << c.first << ".." << c.end << " v " << c.v);
        std::vector<int16_t> full(320, kUntouched), sparse(320, kUntouched), runs(320, kUntouched);
        InterpolateGridRow32(full.data(), c.first, c.end, c.gy, grid.data(), stride, c.v);
        InterpolateGridRowSparse32(sparse.data(), c.first, c.end, c.gy, grid.data(), stride, c.v);
        int32_t allZero = -1, list[16], count = 0;
        InterpolateGridRowRuns32(runs.data(), c.first, c.end, c.gy, grid.data(), stride, c.v,
                                 &allZero, list, &count, 16);
        for (int x = 0; x < 320; ++x) {
            const bool inside = x >= c.first && x < c.end;
            const bool lattice = inside && (x - c.first) % 4 == 0;
            const int16_t want = inside ? Expected(grid, stride, c.gy, c.v, x) : kUntouched;
            ASSERT_EQ(full[x], want) << x;
            ASSERT_EQ(sparse[x], lattice ? want : kUntouched) << x;
            ASSERT_EQ(runs[x], sparse[x]) << x;
        }
    }
}

TEST(GridRows32, RunListsMarkTheZeroStretches) {
    struct Case {
        const char *name;
        std::vector<int16_t> upper, lower;  // grid rows gy and gy + 1, six nodes each
        int first, end, v;
        std::vector<int32_t> list;
        int32_t allZero;
    };
    for (const Case &c : {
             Case{"nodes 0 0 0 256 0", {0, 0, 0, 256, 0, 0}, {}, 0, 96, 0, {0, 48, 96}, 0},
             Case{"non-zero from the first pixel", {5, 5, 0, 0, 0, 0}, {}, 0, 128, 0, {0, 0, 48, 128}, 0},
             Case{"zero everywhere", {0, 0, 0, 0, 0, 0}, {}, 0, 128, 8, {0, 128}, 1},
             Case{"empty range", {9, 9, 9, 9, 9, 9}, {}, 64, 64, 0, {64, 64}, 1},
             Case{"lower row weighs at v 8", {}, {0, 64, 0, 0, 0, 0}, 0, 96, 8, {0, 0, 48, 96}, 0},
             Case{"lower row ignored at v 0", {}, {0, 64, 0, 0, 0, 0}, 0, 96, 0, {0, 96}, 1},
         }) {
        SCOPED_TRACE(c.name);
        std::vector<int16_t> grid(12, 0);
        std::copy(c.upper.begin(), c.upper.end(), grid.begin());
        std::copy(c.lower.begin(), c.lower.end(), grid.begin() + 6);
        std::vector<int16_t> out(160, kUntouched);
        int32_t allZero = -1, list[16], count = 0;
        InterpolateGridRowRuns32(out.data(), c.first, c.end, 0, grid.data(), 6, c.v, &allZero,
                                 list, &count, 16);
        EXPECT_EQ(std::vector<int32_t>(list, list + count), c.list);
        EXPECT_EQ(allZero, c.allZero);
    }
    // The worked values of nodes 0 0 0 256 0.
    const std::vector<int16_t> grid = {0, 0, 0, 256, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<int16_t> out(96, kUntouched);
    InterpolateGridRowSparse32(out.data(), 0, 96, 0, grid.data(), 6, 0);
    EXPECT_EQ(out[48], 0);
    EXPECT_EQ(out[52], 32);
    EXPECT_EQ(out[80], 256);
    EXPECT_EQ(out[84], 224);
    EXPECT_EQ(out[50], kUntouched);
    // A numerator of -1 rounds towards minus infinity.
    const std::vector<int16_t> negative = {0, -1, 0, 0, 0, 0};
    InterpolateGridRow32(out.data(), 0, 4, 0, negative.data(), 3, 0);
    EXPECT_EQ(out[0], -1);  // (16 * 32 * -1) >> 10
}

// Lone non-zero segments at both ends of a 64-pixel row need five entries; a list of four
// (blocksAcross + 2) keeps the non-zero run to the end instead of dropping weighted pixels.
TEST(GridRows32, RunListStaysWithinItsCapacity) {
    const std::vector<int16_t> grid = {256, 0, 0, 256, 0, 0, 0, 0};  // stride 4
    int32_t list[8] = {-1, -1, -1, -1, -1, -1, -1, -1}, count = 0, allZero = -1;
    std::vector<int16_t> out(64, 0);
    InterpolateGridRowRuns32(out.data(), 0, 64, 0, grid.data(), 4, 0, &allZero, list, &count, 5);
    EXPECT_EQ(std::vector<int32_t>(list, list + count), (std::vector<int32_t>{0, 0, 16, 48, 64}));
    InterpolateGridRowRuns32(out.data(), 0, 64, 0, grid.data(), 4, 0, &allZero, list, &count, 4);
    EXPECT_EQ(std::vector<int32_t>(list, list + count), (std::vector<int32_t>{0, 0, 64}));
    EXPECT_EQ(list[4], 64);  // entry 4 only from the first call: nothing beyond the capacity
}

}  // namespace

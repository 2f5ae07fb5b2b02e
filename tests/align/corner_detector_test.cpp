#include "align/corner_detector.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "tracker_planes_support.h"

namespace {

using namespace tracker_test;

TEST(CornerScoreRow, ThresholdsAre153) {
    // Runs of gx^2, gx*gy and gy^2 sums for a row of three pixels; pixel 1 sums all three.
    auto scoreOfMiddle = [](std::vector<int32_t> xx, std::vector<int32_t> xy,
                            std::vector<int32_t> yy) {
        std::vector<int32_t> sums = xx;
        sums.insert(sums.end(), xy.begin(), xy.end());
        sums.insert(sums.end(), yy.begin(), yy.end());
        int32_t scores[3];
        CornerScoreRow(sums.data(), 3, scores);
        return scores[1];
    };
    EXPECT_EQ(scoreOfMiddle({51, 51, 51}, {0, 0, 0}, {51, 51, 51}), 153);  // A = C = 153 pass
    EXPECT_EQ(scoreOfMiddle({51, 51, 50}, {0, 0, 0}, {60, 60, 60}), 0);    // A = 152
    EXPECT_EQ(scoreOfMiddle({60, 60, 60}, {0, 0, 0}, {50, 51, 51}), 0);    // C = 152
    EXPECT_EQ(scoreOfMiddle({51, 51, 51}, {0, 1, 0}, {51, 51, 51}), 0);    // score 152
    // A = 300, B = 40, C = 200: d = 100, e = 80, h = (217*100 + 145*80 + 255) >> 8 = 131.
    EXPECT_EQ(scoreOfMiddle({100, 100, 100}, {10, 20, 10}, {70, 60, 70}), (500 - 131) >> 1);
}

TEST(CornerGridCell, SpreadsRemaindersOverTheFirstCells) {
    const PixelRect area = {10, 10, 490, 364};  // 480 x 354
    const int32_t heights[4] = {89, 89, 88, 88};
    int32_t top = 10;
    for (int32_t row = 0; row < 4; ++row) {
        int32_t left = 10;
        for (int32_t column = 0; column < 5; ++column) {
            const PixelRect cell = CornerGridCell(area, 5, 4, row, column);
            EXPECT_EQ(cell.x0, left);
            EXPECT_EQ(cell.y0, top);
            EXPECT_EQ(cell.x1 - cell.x0, 96);
            EXPECT_EQ(cell.y1 - cell.y0, heights[row]);
            left = cell.x1;
        }
        EXPECT_EQ(left, 490);
        top += heights[row];
    }
    EXPECT_EQ(top, 364);
}

// Gradient planes with isolated corners: gx = a on (x - 1..x + 1, y) and gy = a on
// (x, y - 1..y + 1) give (x, y) the unique best score 2a^2 of its neighbourhood.
struct GradientField {
    PlanePtr gx, gy;
    GradientField(int32_t w, int32_t h) : gx(MakePlane(w, h)), gy(MakePlane(w, h)) {}
    void Corner(int32_t x, int32_t y, int8_t a) {
        for (int32_t d = -1; d <= 1; ++d) {
            GradientRow(gx.get(), y)[x + d] = a;
            GradientRow(gy.get(), y + d)[x] = a;
        }
    }
    std::vector<std::pair<int32_t, int32_t>> Detect(int32_t radius, int32_t across,
                                                    int32_t attempts, int32_t capacity) {
        std::vector<int32_t> xs(capacity + 1), ys(capacity + 1);
        const int32_t n = DetectGridCorners(nullptr, gx.get(), gy.get(), radius, across, 1,
                                            attempts, capacity, xs.data(), ys.data(), nullptr);
        std::vector<std::pair<int32_t, int32_t>> out;
        for (int32_t i = 0; i < n; ++i) out.emplace_back(xs[i], ys[i]);
        return out;
    }
};

using Points = std::vector<std::pair<int32_t, int32_t>>;

TEST(DetectGridCorners, UniformPlaneHasNoCorners) {
    GradientField field(60, 40);
    EXPECT_TRUE(field.Detect(8, 3, 5, 16).empty());
}

TEST(DetectGridCorners, TheWeakerOfTwoCloseCornersInNeighbouringCellsIsDropped) {
    GradientField strongFirst(100, 40);  // cells [0, 50) and [50, 100)
    strongFirst.Corner(47, 20, 20);
    strongFirst.Corner(53, 20, 16);
    EXPECT_EQ(strongFirst.Detect(10, 2, 3, 10), (Points{{47, 20}}));

    GradientField weakFirst(100, 40);
    weakFirst.Corner(47, 20, 16);
    weakFirst.Corner(53, 20, 20);
    EXPECT_EQ(weakFirst.Detect(10, 2, 3, 10), (Points{{53, 20}}));
}

TEST(DetectGridCorners, AtCapacityAStrongerPickReplacesTheWeakestElseClearsItsCell) {
    GradientField weaker(100, 40);  // cells [0, 34), [34, 67), [67, 100)
    weaker.Corner(15, 20, 20);
    weaker.Corner(50, 20, 18);
    weaker.Corner(85, 20, 14);
    weaker.Corner(90, 30, 13);
    EXPECT_EQ(weaker.Detect(6, 3, 3, 2), (Points{{15, 20}, {50, 20}}));

    GradientField stronger(100, 40);
    stronger.Corner(15, 20, 20);
    stronger.Corner(50, 20, 18);
    stronger.Corner(85, 20, 22);
    EXPECT_EQ(stronger.Detect(6, 3, 3, 2), (Points{{15, 20}, {85, 20}}));
}

TEST(DetectGridCorners, PicksAtMostTheAttemptsPerCellStrongestFirst) {
    GradientField field(60, 40);
    field.Corner(10, 10, 14);
    field.Corner(30, 20, 20);
    field.Corner(50, 30, 17);
    EXPECT_EQ(field.Detect(5, 1, 2, 10), (Points{{30, 20}, {50, 30}}));
    EXPECT_EQ(field.Detect(5, 1, 5, 10), (Points{{30, 20}, {50, 30}, {10, 10}}));
}

TEST(DetectGridCorners, ARadiusBelowOneNeverRepeatsAPosition) {
    GradientField field(40, 40);
    field.Corner(20, 20, 20);
    const Points points = field.Detect(0, 1, 6, 10);
    ASSERT_FALSE(points.empty());
    EXPECT_EQ(points.front(), std::make_pair(20, 20));
    const std::set<std::pair<int32_t, int32_t>> distinct(points.begin(), points.end());
    EXPECT_EQ(distinct.size(), points.size());
}

TEST(DetectGridCorners, SearchesOnlyTheAreaAndRejectsUnusableArguments) {
    GradientField field(60, 40);
    field.Corner(5, 20, 20);
    field.Corner(30, 20, 20);
    std::vector<int32_t> xs(4), ys(4);
    const PixelRect area = {10, 10, 50, 30};
    ASSERT_EQ(DetectGridCorners(nullptr, field.gx.get(), field.gy.get(), 5, 1, 1, 3, 4,
                                xs.data(), ys.data(), &area),
              1);
    EXPECT_EQ(xs[0], 30);
    const PixelRect empty = {10, 10, 10, 10};
    EXPECT_EQ(DetectGridCorners(nullptr, field.gx.get(), field.gy.get(), 5, 1, 1, 3, 4,
                                xs.data(), ys.data(), &empty),
              0);
    EXPECT_EQ(DetectGridCorners(nullptr, field.gx.get(), nullptr, 5, 1, 1, 3, 4, xs.data(),
                                ys.data(), nullptr),
              0);
    EXPECT_EQ(DetectGridCorners(nullptr, field.gx.get(), field.gy.get(), 5, 0, 1, 3, 4,
                                xs.data(), ys.data(), nullptr),
              0);
}

TEST(DetectGridCorners, SmallPlanesWithLargeCapacityStayInTheirBuffers) {
    // The corner scores must not share the last row of a 3-pixel-wide plane's work buffer.
    GradientField field(3, 3);
    field.Corner(1, 1, 20);
    std::vector<int32_t> xs(128), ys(128);
    EXPECT_GT(DetectGridCorners(nullptr, field.gx.get(), field.gy.get(), 1, 1, 1, 128, 128,
                                xs.data(), ys.data(), nullptr),
              0);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/memory.h"
#include "weights/blob_analysis.h"

namespace {

// A list whose label map is drawn with digits ('.' = 0); records follow the labels' boxes
// and areas, as a labelling leaves them.
struct Drawn {
    explicit Drawn(const std::vector<std::string> &rows, int32_t capacity = COMPONENT_CAPACITY) {
        const int32_t w = static_cast<int32_t>(rows[0].size()), h = static_cast<int32_t>(rows.size());
        CreateComponentList(nullptr, &list, 0, 0, w, h, w, h, capacity);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const int label = rows[y][x] == '.' ? 0 : rows[y][x] - '0';
                list.labels[y * w + x] = static_cast<int16_t>(label);
                if (label == 0) continue;
                ComponentRecord &r = list.items[label - 1];
                if (r.area == 0) r = ComponentRecord{0, label - 1, x, y, x, y, 0, 0, 0, 0, 0, -1};
                ++r.area;
                r.x0 = std::min(r.x0, x);
                r.y0 = std::min(r.y0, y);
                r.x1 = std::max(r.x1, x);
                r.y1 = std::max(r.y1, y);
                list.count = std::max(list.count, label);
            }
    }
    ~Drawn() { DestroyComponentList(nullptr, &list); }
    std::string Map() const {
        std::string s;
        for (int32_t y = 0; y < list.height; ++y) {
            for (int32_t x = 0; x < list.width; ++x) {
                const int label = list.labels[y * list.width + x];
                s += label == 0 ? '.' : static_cast<char>('0' + label);
            }
            s += '\n';
        }
        return s;
    }
    ComponentList list{};
};

// A one-plane descriptor over bytes the test owns, rows packed at the width.
ImageDesc BytePlane(std::vector<uint8_t> &bytes, int32_t width, int32_t height) {
    ImageDesc image{};
    image.i32Width = width;
    image.i32Height = height;
    image.ppu8Plane[0] = bytes.data();
    image.pi32Pitch[0] = width;
    return image;
}

std::string Rows(const std::vector<std::string> &rows) {
    std::string s;
    for (const std::string &r : rows) s += r + "\n";
    return s;
}

TEST(RelabelComponentMap, MergesTouchingLabelsIntoTheSmallestRecordAndPacks) {
    // Every object cell carries label 1; the U's arms start as records 0 and 1 and meet at the
    // bottom, the dot right of it touches only diagonally.
    const struct {
        int connectivity;
        int32_t count;
        std::vector<std::string> map;
    } cases[] = {
        {4, 2, {"1.1..", "1.1..", "111..", "...2.", "....."}},
        {8, 1, {"1.1..", "1.1..", "111..", "...1.", "....."}},
    };
    for (const auto &c : cases) {
        Drawn d({"1.1..", "1.1..", "111..", "...1.", "....."});
        EXPECT_EQ(RelabelComponentMap(nullptr, &d.list, c.connectivity), c.count);
        EXPECT_EQ(d.list.count, c.count);
        EXPECT_EQ(d.Map(), Rows(c.map)) << "connectivity " << c.connectivity;
        const ComponentRecord &u = d.list.items[0];
        EXPECT_EQ(u.index, 0);
        EXPECT_EQ(u.area, c.count == 2 ? 7 : 8);
        EXPECT_EQ(u.x0, 0);
        EXPECT_EQ(u.y0, 0);
        EXPECT_EQ(u.x1, c.count == 2 ? 2 : 3);
        EXPECT_EQ(u.y1, c.count == 2 ? 2 : 3);
        EXPECT_EQ(u.mergedInto, -1);
        EXPECT_EQ(d.list.items[1].area, c.count == 2 ? 1 : 0) << "records after the survivors are cleared";
    }
}

TEST(RelabelComponentMap, CellsBeyondTheRecordsBecomeZero) {
    Drawn d({"1.1.1", "....."}, 2);
    EXPECT_EQ(RelabelComponentMap(nullptr, &d.list, 8), 2);
    EXPECT_EQ(d.Map(), Rows({"1.2..", "....."}));
    ComponentList empty{};
    EXPECT_EQ(RelabelComponentMap(nullptr, &empty, 8), LABEL_NO_TABLE);
}

TEST(ComponentCentroid, MeanCellIsCachedAndMatchingComparesAreaAndCentroid) {
    Drawn d({"11..........................", "1...........................", "............................"});
    int32_t cx = -1, cy = -1;
    ASSERT_EQ(ComponentCentroid(&d.list, 0, &cx, &cy), RESULT_OK);
    EXPECT_EQ(cx, 0);  // (0 + 1 + 0) / 3
    EXPECT_EQ(cy, 0);  // (0 + 0 + 1) / 3
    EXPECT_EQ(d.list.items[0].centroidValid, 1);
    EXPECT_EQ(ComponentCentroid(&d.list, 1, &cx, &cy), RESULT_INVALID_ARGUMENT);

    const struct {
        int32_t dx, dy, extraArea, matched;
    } cases[] = {{0, 0, 0, 1}, {19, 0, 0, 1}, {20, 0, 0, 0}, {0, 19, 39, 1}, {0, 0, 40, 0}};
    for (const auto &c : cases) {
        std::vector<std::string> rows(40, std::string(40, '.'));
        rows[0][0] = rows[0][1] = rows[1][0] = '1';
        std::vector<std::string> moved(40, std::string(40, '.'));
        moved[c.dy][c.dx] = moved[c.dy][c.dx + 1] = moved[c.dy + 1][c.dx] = '1';
        Drawn a(rows), b(moved);
        b.list.items[0].area += c.extraArea;
        int32_t matched = -1;
        ASSERT_EQ(MatchComponents(&a.list, 0, &b.list, 0, &matched), RESULT_OK);
        EXPECT_EQ(matched, c.matched) << c.dx << "," << c.dy << " area +" << c.extraArea;
    }
}

TEST(CopyComponentShifted, AppendsTheShiftedCellsClippedToTheTarget) {
    Drawn target({"1....", ".....", "....."}, 3);
    Drawn source({".....", ".22..", ".2...", "....."});
    source.list.items[1].centroidValid = 1;
    ASSERT_EQ(CopyComponentShifted(&target.list, &source.list, 1, 3, 0), RESULT_OK);
    EXPECT_EQ(target.Map(), Rows({"1....", "....2", "....2"}));
    const ComponentRecord &r = target.list.items[1];
    EXPECT_EQ(target.list.count, 2);
    EXPECT_EQ(r.index, 1);
    EXPECT_EQ(r.area, 2) << "the cells that landed inside";
    EXPECT_EQ(r.x0, 4);
    EXPECT_EQ(r.x1, 4);
    EXPECT_EQ(r.y0, 1);
    EXPECT_EQ(r.y1, 2);
    EXPECT_EQ(r.centroidValid, 0);

    EXPECT_EQ(CopyComponentShifted(&target.list, &source.list, 1, 5, 0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(CopyComponentShifted(&target.list, &source.list, 2, 0, 0), RESULT_INVALID_ARGUMENT);
    ASSERT_EQ(CopyComponentShifted(&target.list, &source.list, 1, 0, -1), RESULT_OK);
    // The target's records are all used: a further copy is refused and changes nothing.
    const std::string before = target.Map();
    EXPECT_EQ(CopyComponentShifted(&target.list, &source.list, 1, 0, 0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(target.list.count, 3);
    EXPECT_EQ(target.Map(), before);
}

TEST(FilterComponents, BySizeAndFillMarkThenCompact) {
    // 1: one cell; 2: 3 x 1 bar; 3: 2 x 2 square; 4: 4 x 4 hollow square (area 12).
    const std::vector<std::string> rows = {"1.222.....", "..........", "33..4444..", "33..4..4..",
                                           "....4..4..", "....4444.."};
    const struct {
        int32_t maxArea, minArea, minSide, maxSide, left;
        std::string keep;  // records kept, by old label
    } cases[] = {
        {10, 0, 0, 100, 3, "123"},   // the hollow square is over max area
        {10, 0, 1, 100, 1, "3"},     // the square alone has sides above 1 and area within 10
        {100, 2, 0, 100, 3, "234"},  // the single cell is below min area
        {100, 0, 0, 2, 2, "13"},     // the bar's span of 2 and the hollow square's 3 reach max side
        {100, 0, 1, 100, 2, "34"},   // sides of 1 are at most min side
    };
    for (const auto &c : cases) {
        Drawn d(rows);
        EXPECT_EQ(FilterComponentsBySize(nullptr, &d.list, c.maxArea, c.minArea, c.minSide, c.maxSide, 1),
                  c.left);
        ASSERT_EQ(d.list.count, c.left);
        for (int32_t k = 0; k < c.left; ++k) {
            const int old = c.keep[k] - '0';
            Drawn original(rows);
            EXPECT_EQ(d.list.items[k].index, k);
            EXPECT_EQ(d.list.items[k].area, original.list.items[old - 1].area);
            for (int32_t i = 0; i < d.list.width * d.list.height; ++i) {
                if (original.list.labels[i] == old) {
                    EXPECT_EQ(d.list.labels[i], k + 1);
                }
            }
        }
        int32_t labelled = 0;
        for (int32_t i = 0; i < d.list.width * d.list.height; ++i) labelled += d.list.labels[i] != 0;
        int32_t area = 0;
        for (int32_t k = 0; k < c.left; ++k) area += d.list.items[k].area;
        EXPECT_EQ(labelled, area) << "dropped records leave no label behind";
    }
    // Without compaction the records stay, marked.
    Drawn d(rows);
    EXPECT_EQ(FilterComponentsBySize(nullptr, &d.list, 10, 0, 0, 100, 0), 3);
    EXPECT_EQ(d.list.count, 4);
    EXPECT_EQ(d.list.items[3].index, -1);
}

TEST(FilterComponents, ByFillDropsSparseBoxes) {
    // A diagonal of 32 cells: 30 * 32 = 960 < 31 * 31 = 961. Of 31 cells: 930 = 30 * 31, kept.
    for (int n : {31, 32}) {
        std::vector<std::string> rows(n, std::string(n + 2, '.'));
        for (int i = 0; i < n; ++i) rows[i][i] = '1';
        rows[0][n + 1] = '2';
        Drawn d(rows);
        EXPECT_EQ(FilterComponentsByFill(nullptr, &d.list, 0, 1), n == 32 ? 1 : 2) << n;
        EXPECT_EQ(d.list.items[0].area, n == 32 ? 1 : n);
    }
}

TEST(ComponentIsolationRadius, FirstRingThatMeetsAWeakerComponent) {
    // Component 1 at (1, 1); component 2 three cells to its right, component 3 two cells along
    // its down-right diagonal.
    Drawn d({"........", ".1..2...", "........", "...3...."});
    const int32_t points[] = {1, 1};
    d.list.items[1].score = 5;
    d.list.items[2].score = 9;
    const struct {
        int32_t maxRadius, minScore, radius;
    } cases[] = {
        {8, 6, 3},   // component 2 is weaker than 6
        {8, 10, 2},  // both are weaker: component 3 on the diagonal at ring 2
        {8, 5, 9},   // none is weaker than 5
        {2, 6, 3},   // the search ends at ring 2
        {INT32_MAX, 5, INT32_MAX},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ComponentIsolationRadius(&d.list, 0, points, 1, c.maxRadius, c.minScore), c.radius);
        EXPECT_EQ(d.list.items[0].isolationRadius, c.radius);
    }
}

TEST(TraceComponentContour, FollowsTheOuterBoundary) {
    const struct {
        std::vector<std::string> rows;
        int32_t maxPoints;
        std::vector<int32_t> points;
    } cases[] = {
        {{"...", ".1.", "..."}, 16, {1, 1}},
        {{"11", "11"}, 16, {0, 0, 0, 1, 1, 1, 1, 0}},
        {{"111", "111", "111"}, 16, {0, 0, 0, 1, 0, 2, 1, 2, 2, 2, 2, 1, 2, 0, 1, 0}},
        {{"111", "111", "111"}, 3, {0, 0, 0, 1, 0, 2}},
        {{"..1", ".1.", "1.."}, 16, {2, 0, 1, 1, 0, 2, 1, 1}},
    };
    for (const auto &c : cases) {
        Drawn d(c.rows);
        std::vector<int32_t> out(2 * 16, -1);
        const int32_t n = TraceComponentContour(&d.list, out.data(), c.maxPoints, 1);
        out.resize(2 * n);
        EXPECT_EQ(out, c.points) << c.rows[0];
    }
    Drawn d({"1.", ".."});
    int32_t out[2];
    EXPECT_EQ(TraceComponentContour(&d.list, out, 1, 2), 0);
}

TEST(FillComponentSpans, FillsCellsInsideBothSpans) {
    // Label 1: a ring (its hole is inside both spans); label 2: a C (its mouth is inside the
    // column spans only).
    Drawn d({"111.222", "1.1.2..", "111.222"});
    std::vector<uint8_t> bytes(7 * 3, 0);
    bytes[1 * 7 + 5] = 200;  // a mark inside the C's mouth gains 64 without wrapping
    bytes[1 * 7 + 3] = 255;  // outside every box: untouched
    ImageDesc image = BytePlane(bytes, 7, 3);
    ASSERT_EQ(FillComponentSpans(&d.list, &image), RESULT_OK);
    const std::vector<uint8_t> expected = {255, 255, 255, 0,   255, 255, 255,  //
                                           255, 255, 255, 255, 255, 255, 0,    //
                                           255, 255, 255, 0,   255, 255, 255};
    EXPECT_EQ(bytes, expected);
    image.i32Width = 6;
    EXPECT_EQ(FillComponentSpans(&d.list, &image), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(FillComponentSpans(nullptr, &image), RESULT_INVALID_ARGUMENT);
}

TEST(ComponentLists, MaskImageOverlapsLargestAreaAndCopy) {
    Drawn a({"11..", "1.2.", "..22"});
    Drawn b({"3...", "1122", "...."});
    EXPECT_EQ(CountOverlap(&a.list, 0, &b.list), 2);
    EXPECT_EQ(CountOverlapWithLabel(&a.list, 0, &b.list, 2), 1);
    EXPECT_EQ(CountOverlapWithLabel(&a.list, 1, &b.list, 1), 1);
    EXPECT_EQ(CountOverlap(&a.list, 5, &b.list), 0);
    EXPECT_EQ(MaxComponentArea(&a.list), 3);

    std::vector<uint8_t> bytes(4 * 3, 7);
    ImageDesc image = BytePlane(bytes, 4, 3);
    ASSERT_EQ(ComponentMaskToImage(&a.list, &image), RESULT_OK);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{255, 255, 0, 0, 255, 0, 255, 0, 0, 0, 255, 255}));

    Drawn copy({"....", "....", "...."}, 4);
    ComponentRecord *ownItems = copy.list.items;
    ASSERT_EQ(CopyComponentList(&copy.list, &a.list), RESULT_OK);
    EXPECT_EQ(copy.list.items, ownItems);
    EXPECT_EQ(copy.list.capacity, 4);
    EXPECT_EQ(copy.Map(), a.Map());
    EXPECT_EQ(copy.list.count, 2);
    EXPECT_EQ(copy.list.items[1].area, 3);
    Drawn small({"..", ".."}, 4);
    EXPECT_EQ(CopyComponentList(&small.list, &a.list), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(small.list.width, 2);
}

}  // namespace

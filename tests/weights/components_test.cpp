#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "weights/components.h"
#include "weights/ghost_regions.h"

namespace {

// A mask drawn with '#' for 255.
struct Mask {
    explicit Mask(std::vector<std::string> rows) : w(static_cast<int32_t>(rows[0].size())), h(static_cast<int32_t>(rows.size())) {
        for (const std::string &r : rows)
            for (char c : r) bytes.push_back(c == '#' ? 255 : 0);
    }
    Mask(int32_t w, int32_t h) : w(w), h(h), bytes(static_cast<size_t>(w) * h, 0) {}
    int32_t w, h;
    std::vector<uint8_t> bytes;
};

struct Labelled {
    Labelled(const Mask &m, int connectivity, int32_t capacity = COMPONENT_CAPACITY) {
        CreateComponentList(nullptr, &list, 0, 0, m.w, m.h, m.w, m.h, capacity);
        count = LabelComponents(nullptr, &list, m.bytes.data(), connectivity, 255, 1);
    }
    ~Labelled() { DestroyComponentList(nullptr, &list); }
    ComponentList list{};
    int32_t count;
};

TEST(LabelComponents, CountsByConnectivity) {
    const struct {
        std::vector<std::string> rows;
        int connectivity;
        int32_t count;
    } cases[] = {
        {{"....", "....", "...."}, 8, 0},
        {{"#...", ".#..", "...."}, 8, 1},
        {{"#...", ".#..", "...."}, 4, 2},
        {{"#.#.#", ".....", "#####"}, 4, 4},
        {{"#.#", "#.#", "###"}, 4, 1},
    };
    for (const auto &c : cases) {
        Labelled l(Mask(c.rows), c.connectivity);
        EXPECT_EQ(l.count, c.count) << c.rows[0] << " connectivity " << c.connectivity;
        EXPECT_EQ(l.list.count, c.count);
    }
}

TEST(LabelComponents, RecordsAreaBoxAndFirstMetOrder) {
    // The U is met as two runs in its top row, the right arm first; the dot below comes later.
    Labelled l(Mask({"...#.#", "...#.#", "...###", "#....."}), 8);
    ASSERT_EQ(l.count, 2);
    const ComponentRecord &u = l.list.items[0];
    EXPECT_EQ(u.area, 7);
    EXPECT_EQ(u.index, 0);
    EXPECT_EQ(u.x0, 3);
    EXPECT_EQ(u.y0, 0);
    EXPECT_EQ(u.x1, 5);
    EXPECT_EQ(u.y1, 2);
    EXPECT_EQ(l.list.items[1].area, 1);
    EXPECT_EQ(l.list.labels[0 * 6 + 3], 1);
    EXPECT_EQ(l.list.labels[0 * 6 + 5], 1);
    EXPECT_EQ(l.list.labels[3 * 6 + 0], 2);
    EXPECT_EQ(l.list.labels[0], 0);
}

TEST(LabelComponents, AtMostCapacityMinusOneLabels) {
    Mask m(600, 2);
    for (int32_t x = 0; x < 600; x += 2) m.bytes[x] = 255;  // 300 runs in the top row
    Labelled l(m, 8);
    EXPECT_EQ(l.count, 255);
    int32_t unlabelled = 0;
    for (int32_t x = 0; x < 600; x += 2) unlabelled += l.list.labels[x] == 0;
    EXPECT_EQ(unlabelled, 45);
}

TEST(LabelComponents, MissingStorageIsReported) {
    Mask m({"#"});
    ComponentList list{};
    list.width = list.height = 1;
    EXPECT_EQ(LabelComponents(nullptr, &list, m.bytes.data(), 8, 255, 1), LABEL_NO_TABLE);
    EXPECT_EQ(list.count, LABEL_NO_TABLE);
}

TEST(FloodFillRegion, FillsTheRegionInsideTheOuterRing) {
    Mask m({"######", "#..#.#", "#..#.#", "######"});
    std::vector<int16_t> labels(m.bytes.size());
    int32_t x0, x1, y0, y1;
    // A seed on the outer ring labels only itself.
    EXPECT_EQ(FloodFillRegion(nullptr, m.bytes.data(), m.w, m.h, m.w, labels.data(), 7, 0, 0, 4, 255, &x0, &x1, &y0, &y1), 1);
    EXPECT_EQ(labels[0], 7);
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(x1, 0);
    // The 2 x 2 hole on the left.
    EXPECT_EQ(FloodFillRegion(nullptr, m.bytes.data(), m.w, m.h, m.w, labels.data(), 3, 1, 1, 8, 0, &x0, &x1, &y0, &y1), 4);
    EXPECT_EQ(x0, 1);
    EXPECT_EQ(x1, 2);
    EXPECT_EQ(y0, 1);
    EXPECT_EQ(y1, 2);
    EXPECT_EQ(labels[1 * 6 + 4], 0);
    // Unusable arguments fill nothing but still report the seed's box.
    EXPECT_EQ(FloodFillRegion(nullptr, m.bytes.data(), m.w, m.h, m.w, labels.data(), 3, 4, 1, 6, 0, &x0, &x1, &y0, &y1), 0);
    EXPECT_EQ(x0, 4);
    EXPECT_EQ(y1, 1);
}

TEST(FillMaskHoles, ClosedHolesFillOpenBackgroundStays) {
    // A ring with a hole, and background reaching row 1 and column 1.
    Mask m({"..........", "..........", "..#####...", "..#..##...", "..#####...", "..........",
            "..........", ".........."});
    std::vector<int16_t> labels(m.bytes.size());
    ASSERT_EQ(FillMaskHoles(nullptr, labels.data(), m.bytes.data(), m.w, m.h, 1, 0), RESULT_OK);
    EXPECT_EQ(m.bytes[3 * 10 + 3], 255);
    EXPECT_EQ(m.bytes[3 * 10 + 4], 255);
    EXPECT_EQ(m.bytes[6 * 10 + 5], 0);
    EXPECT_EQ(m.bytes[1 * 10 + 1], 0);
}

// The mask turned over inside the frame that FillMaskHoles sets (column 0 and the last two
// columns, row 0 and the last two rows).
Mask Mirrored(const Mask &m, bool acrossColumns, bool acrossRows) {
    Mask out = m;
    for (int32_t y = 1; y <= m.h - 3; ++y)
        for (int32_t x = 1; x <= m.w - 3; ++x) {
            const int32_t sx = acrossColumns ? m.w - 2 - x : x, sy = acrossRows ? m.h - 2 - y : y;
            out.bytes[y * m.w + x] = m.bytes[sy * m.w + sx];
        }
    return out;
}

std::vector<uint8_t> Interior(const Mask &m) {
    std::vector<uint8_t> cells;
    for (int32_t y = 1; y <= m.h - 3; ++y)
        for (int32_t x = 1; x <= m.w - 3; ++x) cells.push_back(m.bytes[y * m.w + x]);
    return cells;
}

TEST(FillMaskHoles, MirroredMasksGiveMirroredResults) {
    // Large holes at the top left, the bottom left and the bottom right (the last one reaches
    // only the last interior column and row), and small closed ones.
    const Mask m({"##############", "#...##########", "#...#..##.####", "#...####.#####",
                  "#####.#......#", "#....#.......#", "#....#.......#", "#....#.......#",
                  "##############", "##############"});
    Mask plain = m;
    std::vector<int16_t> labels(m.bytes.size());
    ASSERT_EQ(FillMaskHoles(nullptr, labels.data(), plain.bytes.data(), m.w, m.h, 1, 0), RESULT_OK);
    EXPECT_EQ(plain.bytes[6 * m.w + 2], 0);
    EXPECT_EQ(plain.bytes[6 * m.w + 9], 0);
    EXPECT_EQ(plain.bytes[2 * m.w + 5], 255);
    EXPECT_EQ(plain.bytes[4 * m.w + 5], 255);
    for (int turn = 1; turn < 4; ++turn) {
        const bool columns = (turn & 1) != 0, rows = (turn & 2) != 0;
        Mask turned = Mirrored(m, columns, rows);
        ASSERT_EQ(FillMaskHoles(nullptr, labels.data(), turned.bytes.data(), m.w, m.h, 1, 0), RESULT_OK);
        EXPECT_EQ(Interior(Mirrored(plain, columns, rows)), Interior(turned)) << "turn " << turn;
    }
}

TEST(FillMaskHoles, FillingAHoleLeavesOpenBackgroundInItsBoxAlone) {
    // The closed hole (an L from column 2, rows 2-6) comes after the open region of the top
    // right in the scan; that region reaches into the L's box on row 4.
    Mask m({"################", "###########...##", "##......###...##", "##.#######...###",
            "##.##.......####", "##.#############", "##.#############", "################",
            "################", "################", "################", "################"});
    std::vector<int16_t> labels(m.bytes.size());
    ASSERT_EQ(FillMaskHoles(nullptr, labels.data(), m.bytes.data(), m.w, m.h, 1, 0), RESULT_OK);
    EXPECT_EQ(m.bytes[2 * m.w + 4], 255);
    EXPECT_EQ(m.bytes[6 * m.w + 2], 255);
    for (int32_t x = 5; x <= 11; ++x) EXPECT_EQ(m.bytes[4 * m.w + x], 0) << x;
}

TEST(RegionLimits, DependOnTheGhostLevel) {
    EXPECT_EQ(WideRegionSideLimit(30, 6), 11);
    EXPECT_EQ(WideRegionSideLimit(30, 0), 20);
    EXPECT_EQ(StrongRegionAreaLimit(900, 6), 270);
    EXPECT_EQ(StrongRegionAreaLimit(900, 0), 450);
}

}  // namespace

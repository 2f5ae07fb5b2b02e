#include "filters/local_gain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/session.h"

namespace {

std::vector<uint16_t> GainTable(int strength) {
    std::vector<uint16_t> t(65536, 0);
    BuildLocalGainTable(t.data(), strength, kGainUnity);
    return t;
}

int FirstEntryAtCap(const std::vector<uint16_t> &t, int cap) {
    for (int j = 0; j < 32768; ++j)
        if (t[j] == cap) return j;
    return -1;
}

TEST(LocalGainTable, CurveFiguresAndTheNegativeHalf) {
    const std::vector<uint16_t> t = GainTable(35);
    EXPECT_EQ(t[0], 1024);
    EXPECT_EQ(t[1], 1025);
    EXPECT_EQ(t[100], 1121);
    EXPECT_EQ(t[1000], 2063);
    EXPECT_EQ(t[2000], 2505);
    EXPECT_EQ(t[32767], 2597);
    EXPECT_EQ(FirstEntryAtCap(t, 2597), 4153);
    for (int j = 1; j < 32768; ++j) ASSERT_GE(t[j], t[j - 1]) << j;
    for (int j = 32768; j < 65536; ++j) ASSERT_EQ(t[j], 1024) << j;

    struct Cap {
        int strength, cap, firstAt;
    };
    for (Cap c : {Cap{10, 1336, 2778}, Cap{100, 14639, -2}}) {
        const std::vector<uint16_t> s = GainTable(c.strength);
        EXPECT_EQ(s[32767], c.cap) << c.strength;
        if (c.firstAt > 0) {
            EXPECT_EQ(FirstEntryAtCap(s, c.cap), c.firstAt) << c.strength;
        }
    }
}

TEST(LocalGainTable, NoStrengthGivesUnityEverywhere) {
    for (int strength : {0, -1, -100}) {
        const std::vector<uint16_t> t = GainTable(strength);
        EXPECT_TRUE(std::all_of(t.begin(), t.end(), [](uint16_t v) { return v == 1024; }))
            << strength;
    }
    BuildLocalGainTable(nullptr, 35, kGainUnity);  // ignored
    EXPECT_EQ(BuildLocalGainTableQ10(0, nullptr, 35), RESULT_INVALID_ARGUMENT);
}

TEST(LocalGainTable, NoOperationReturnsZero) { EXPECT_EQ(NoOperation(), RESULT_OK); }

TEST(LocalGainTable, SessionSetUpLowersTheStrengthForBrightScenesWithDarkHighlights) {
    HdrSession *session = nullptr;
    ASSERT_EQ(CreateHdrSession(nullptr, 0, &session), RESULT_OK);
    struct Case {
        int sceneClass, lacksHighlights, strength;
        uint16_t entry1000;
    };
    const Case cases[] = {{3, 0, 25, 1024}, {3, 0, 60, 2063}, {3, 1, 35, 2063}, {2, 0, 35, 2063}};
    for (const Case &c : cases) {
        session->sceneClass = c.sceneClass;
        session->darkLacksHighlights = c.lacksHighlights;
        ASSERT_EQ(SetUpLocalGainTable(nullptr, session, c.strength), RESULT_OK);
        EXPECT_EQ(session->gainTable[1000], c.entry1000) << c.sceneClass << c.strength;
        EXPECT_EQ(session->gainTable[40000], 1024);
    }
    uint16_t *table = session->gainTable;
    session->gainTable = nullptr;
    EXPECT_EQ(SetUpLocalGainTable(nullptr, session, 35), RESULT_OUT_OF_MEMORY);
    session->gainTable = table;
    EXPECT_EQ(SetUpLocalGainTable(nullptr, nullptr, 35), RESULT_INVALID_ARGUMENT);
    DestroyHdrSession(nullptr, session);
}

// Gain rows: cell (i) of a grid row holds table index i; the table is arbitrary.
constexpr uint16_t kSentinel = 0xBEEF;

TEST(GainRows, WidthTwentySamplesEveryEightPixels) {
    std::vector<uint16_t> table(65536, 0);
    table[0] = 1024;
    table[1] = 2048;
    const uint16_t grid[2] = {0, 1};
    const int w = 20;
    std::vector<uint16_t> rows(3 * w + 4, kSentinel);
    ExpandGainRow8(0, 0, w, rows.data(), 0, grid, table.data());
    const uint16_t expected[20] = {1024, 1152, 1280, 1408, 1536, 1664, 1792, 1920, 2048, 2048,
                                   2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048, 2048};
    for (int x = 0; x < w; ++x) EXPECT_EQ(rows[x], expected[x]) << x;
    // The first row of a band also becomes the current expansion; the next one is untouched.
    for (int x = 0; x < w; ++x) EXPECT_EQ(rows[2 * w + x], expected[x]) << x;
    for (int x = 0; x < w; ++x) EXPECT_EQ(rows[w + x], kSentinel) << x;
    for (int x = 3 * w; x < 3 * w + 4; ++x) EXPECT_EQ(rows[x], kSentinel);
}

// The expansion of a grid row as defined: table gains at multiples of the cell, linear in
// between, the tail repeating the last sample; cells beyond width / cell - 1 read that cell.
std::vector<uint32_t> Expansion(const std::vector<uint16_t> &grid, const std::vector<uint16_t> &t,
                                int w, int cell) {
    const int lastCell = std::max(w / cell - 1, 0);
    auto sample = [&](int i) { return uint32_t{t[grid[std::min(i, lastCell)]]}; };
    std::vector<uint32_t> e(w);
    const int lastSample = cell * ((w - 1) / cell);
    for (int x = 0; x < w; ++x) {
        const int i = x / cell;
        const int f = x % cell;
        if (x >= lastSample)
            e[x] = sample(lastSample / cell);
        else
            e[x] = ((cell - f) * sample(i) + f * sample(i + 1)) / cell;
    }
    return e;
}

TEST(GainRows, BandRowsFollowTheClosedFormForEveryPhase) {
    std::mt19937 rng(7);
    std::vector<uint16_t> table(65536);
    for (auto &v : table) v = static_cast<uint16_t>(1024 + rng() % 8000);
    struct Case {
        int cell, width, bandRows;
    };
    const Case cases[] = {{8, 20, 40},   {8, 5, 17},  {8, 64, 33},
                          {8, 1003, 24}, {4, 22, 19}, {4, 3, 9}};
    for (const Case &c : cases) {
        const int gridCols = std::max(c.width / c.cell, 1);
        const int gridRows = c.bandRows / c.cell + 2;
        std::vector<std::vector<uint16_t>> grid(gridRows, std::vector<uint16_t>(gridCols));
        for (auto &row : grid)
            for (auto &v : row) v = static_cast<uint16_t>(rng());
        std::vector<uint16_t> rows(3 * c.width, kSentinel);
        for (int r = 0; r < c.bandRows; ++r) {
            const int k = r % c.cell;
            const int g = r / c.cell + (k == 0 ? 0 : 1);
            const uint16_t *gridRow = (r == 0 || k <= 1) ? grid[g].data() : nullptr;
            if (c.cell == 8)
                ExpandGainRow8(0, r, c.width, rows.data(), 0, gridRow, table.data());
            else
                ExpandGainRow4(0, r, c.width, rows.data(), 0, gridRow, table.data());
            const auto upper = Expansion(grid[r / c.cell], table, c.width, c.cell);
            const auto lower = Expansion(grid[r / c.cell + 1], table, c.width, c.cell);
            for (int x = 0; x < c.width; ++x)
                ASSERT_EQ(rows[x], ((c.cell - k) * upper[x] + k * lower[x]) / c.cell)
                    << "cell " << c.cell << " width " << c.width << " row " << r << " x " << x;
        }
    }
}

}  // namespace

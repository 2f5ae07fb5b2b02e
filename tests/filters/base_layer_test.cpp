#include "filters/base_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "core/session.h"
#include "filters/filters_support.h"

namespace {

int FloorDiv(int v, int d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }

// The expansion as defined: S[r] the [1 2 1] / 4 vertical then horizontal filter of the
// coarse rows (rows clamped; S[-1] = S[-2] = S[0]), a 4-tap 2x expansion down then across
// with the ends repeated, and the blend in 1/256.
std::vector<int16_t> ModelExpand(const std::vector<int16_t> &c, int cw, int ch,
                                 const std::vector<int16_t> &q, int pw, int ph, double wc,
                                 double wq) {
    auto cell = [&](int r, int x) { return int{c[std::clamp(r, 0, ch - 1) * cw + x]}; };
    auto smooth = [&](int r) {
        r = std::max(r, 0);
        std::vector<int> v(cw), h(cw);
        for (int x = 0; x < cw; ++x)
            v[x] = FloorDiv(cell(r - 1, x) + 2 * cell(r, x) + cell(r + 1, x), 4);
        for (int x = 0; x < cw; ++x)
            h[x] = FloorDiv(v[std::max(x - 1, 0)] + 2 * v[x] + v[std::min(x + 1, cw - 1)], 4);
        return h;
    };
    auto tap = [](int a, int b, int c1, int d) { return FloorDiv(25 * a + 9 * b - c1 - d, 32); };
    const int aq = static_cast<int>(256 * wq + 0.5), ac = static_cast<int>(256 * wc + 0.5);
    std::vector<int16_t> out(pw * ph);
    for (int y = 0; y < ph; ++y) {
        const int m = y / 2;
        const auto s0 = smooth(m), sm1 = smooth(m - 1), sp1 = smooth(m + 1), sm2 = smooth(m - 2),
                   sp2 = smooth(m + 2);
        std::vector<int> e(cw);
        for (int x = 0; x < cw; ++x)
            e[x] = (y % 2 == 0) ? tap(s0[x], sm1[x], sp1[x], sm2[x])
                                : tap(s0[x], sp1[x], sm1[x], sp2[x]);
        auto ex = [&](int n) { return e[std::clamp(n, 0, cw - 1)]; };
        for (int x = 0; x < pw; ++x) {
            const int n = x / 2;
            const int v = (x % 2 == 0) ? tap(ex(n), ex(n - 1), ex(n + 1), ex(n - 2))
                                       : tap(ex(n), ex(n + 1), ex(n - 1), ex(n + 2));
            out[y * pw + x] = static_cast<int16_t>(FloorDiv(aq * q[y * pw + x] + ac * v, 256));
        }
    }
    return out;
}

TEST(BaseLayer, ExpandAndBlendMatchesItsDefinition) {
    std::mt19937 rng(17);
    struct Case {
        int cw, ch, pw, ph;
        double wq;
    };
    for (Case c : {Case{1, 1, 2, 1, 0.9}, Case{2, 3, 3, 5, 0.585}, Case{5, 4, 10, 8, 0.02},
                   Case{7, 6, 13, 11, 0.38}}) {
        std::vector<int16_t> coarse(c.cw * c.ch), parent(c.pw * c.ph);
        for (auto &v : coarse) v = static_cast<int16_t>(static_cast<int>(rng() % 8000) - 4000);
        for (auto &v : parent) v = static_cast<int16_t>(static_cast<int>(rng() % 8000) - 4000);
        const auto want = ModelExpand(coarse, c.cw, c.ch, parent, c.pw, c.ph, 1 - c.wq, c.wq);
        std::vector<int16_t> scratch(6 * (c.cw + 4));
        std::vector<int16_t> out(parent.size());
        ExpandAndBlendLevel(coarse.data(), c.cw, c.ch, parent.data(), out.data(), c.pw, 1 - c.wq,
                            c.wq, c.ph, scratch.data());
        EXPECT_EQ(out, want) << c.cw << "x" << c.ch;
        // In place over the parent gives the same.
        ExpandAndBlendLevel(coarse.data(), c.cw, c.ch, parent.data(), parent.data(), c.pw, 1 - c.wq,
                            c.wq, c.ph, scratch.data());
        EXPECT_EQ(parent, want) << c.cw << "x" << c.ch;
    }
}

TEST(BaseLayer, HalvingOddSidesAndTheEndOfThePyramid) {
    const int16_t grid[6] = {0, 4, 8, 100, 104, 108};  // 3 x 2
    int16_t out[2];
    int32_t w = 0, h = 0;
    double mean = 0;
    HalveGridLevel(grid, 3, 2, out, &w, &h, &mean);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(out[0], (0 + 4 + 100 + 104) >> 2);
    EXPECT_EQ(out[1], (4 + 8 + 104 + 108) >> 2);  // columns 1 and 2
    EXPECT_DOUBLE_EQ(mean, (52 + 56) / 2.0);
    // A grid one row high has no coarser level: the smoothing is a copy.
    const int16_t row[4] = {5, -7, 9, 11};
    int16_t smoothed[4];
    int16_t scratch[1];
    ASSERT_EQ(SmoothGridPyramid(nullptr, row, 4, 1, smoothed, &w, &h, scratch, 1), RESULT_OK);
    EXPECT_TRUE(std::equal(row, row + 4, smoothed));
}

TEST(BaseLayer, ScratchFollowsTheRealPyramid) {
    // 167 x 12 needs 504 + 6 * 88 entries at its first level: more than a 1024-entry scratch.
    EXPECT_EQ(SmoothGridScratchEntries(167, 12), 1032);
    std::vector<int16_t> grid(167 * 12, 3), out(grid.size());
    std::vector<int16_t> scratch(1032);
    EXPECT_EQ(SmoothGridPyramid(nullptr, grid.data(), 167, 12, out.data(), nullptr, nullptr,
                                scratch.data(), 1031),
              RESULT_INVALID_ARGUMENT);
    ASSERT_EQ(SmoothGridPyramid(nullptr, grid.data(), 167, 12, out.data(), nullptr, nullptr,
                                scratch.data(), 1032),
              RESULT_OK);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 3; }));
    std::vector<uint16_t> detail(grid.size());
    EXPECT_EQ(ComputeLocalLogStatistics(nullptr, nullptr, grid.data(), 167, 12, detail.data()),
              RESULT_OK);
}

// A flat preview: every log cell equals its local mean, the deviation is 256 and q is 512,
// so every output is minus the shifted log luma x = log(v) - s.
// The halving of a row pair (floor of negative means), the wrapping subtraction and the
// normalisation of the detail, on hand-worked cells.
TEST(BaseLayer, RowPairSubtractionAndNormalisationFigures) {
    const int16_t r0[] = {1, 2, -7, 0, 100, 300, 9};
    const int16_t r1[] = {3, 2, 0, 0, 101, 302, 9};
    int16_t halves[3] = {};
    EXPECT_EQ(HalveRowPair(r0, r1, 7, halves), 2 + -2 + 200);
    EXPECT_EQ(halves[0], 2);
    EXPECT_EQ(halves[1], -2);  // -7 >> 2 is a floor
    EXPECT_EQ(halves[2], 200);

    int16_t grid[] = {-32768, 0, 32767, 100};
    SubtractFromGrid(grid, 2, 2, 1);
    EXPECT_EQ(grid[0], 32767);  // wraps
    EXPECT_EQ(grid[1], -1);
    EXPECT_EQ(grid[2], 32766);
    EXPECT_EQ(grid[3], 99);

    // Deviation 256 has the reciprocal 2048 and 5798 has 90; scale 512.
    std::vector<int32_t> reciprocal(6000, 0);
    for (int j = 1; j < 6000; ++j) reciprocal[j] = 524288 / j;
    const int16_t x[] = {100, -100, 700, 37};
    const int16_t mean[] = {0, 0, -300, 37};
    const int16_t deviation[] = {256, 256, 5798, 256};
    uint16_t out[4] = {};
    NormaliseDetailGrid(x, mean, deviation, 2, 2, 512, reciprocal.data(), out);
    EXPECT_EQ(static_cast<int16_t>(out[0]), 200 - 100);
    EXPECT_EQ(static_cast<int16_t>(out[1]), -200 + 100);
    EXPECT_EQ(static_cast<int16_t>(out[2]), ((32000 * 90) >> 15) - 700);  // 87 - 700
    EXPECT_EQ(static_cast<int16_t>(out[3]), -37);  // flat: minus the cell
}

// The quarter grid reads four luma bytes per 4 x 4 cell of the second input through the
// reference levels, and installs the statistics of that grid as the gain grid.
TEST(BaseLayer, QuarterGridFromTheSecondInput) {
    HdrSession *s = nullptr;
    ASSERT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
    constexpr int W = 70, H = 50, pitch = 72;  // a 17 x 12 grid
    std::vector<uint8_t> luma(pitch * H);
    std::mt19937 random(9);
    for (uint8_t &v : luma) v = static_cast<uint8_t>(random());
    std::vector<uint16_t> table(768, 0);
    for (int k = 0; k < 256; ++k) table[512 + k] = static_cast<uint16_t>(64 * k + 3);
    ImageDesc inputs[3] = {};
    inputs[1].u32PixelArrayFormat = PIXEL_FORMAT_NV12;
    inputs[1].i32Width = W;
    inputs[1].i32Height = H;
    inputs[1].ppu8Plane[0] = luma.data();
    inputs[1].pi32Pitch[0] = pitch;
    s->fusionTable = table.data();
    ASSERT_EQ(BuildCoarseBaseLayerQuarter(nullptr, s, inputs, nullptr, W, H, 0), RESULT_OK);
    EXPECT_EQ(s->gainGridStride, 17);
    EXPECT_EQ(s->gainGridRows, 12);
    std::vector<int16_t> cells(17 * 12);
    for (int i = 0; i < 12; ++i)
        for (int j = 0; j < 17; ++j) {
            auto at = [&](int y, int x) { return int{luma[y * pitch + x]}; };
            const int k = (at(4 * i, 4 * j + 1) + at(4 * i, 4 * j + 2) + at(4 * i + 3, 4 * j + 1) +
                           at(4 * i + 3, 4 * j + 2) + 2) >> 2;
            cells[i * 17 + j] = static_cast<int16_t>((64 * k + 3) >> 2);
        }
    std::vector<uint16_t> expected(cells.size());
    ASSERT_EQ(ComputeLocalLogStatistics(nullptr, nullptr, cells.data(), 17, 12, expected.data()),
              RESULT_OK);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                           reinterpret_cast<const uint16_t *>(s->gainGrid)));
    inputs[1].pi32Pitch[0] = W - 1;
    EXPECT_EQ(BuildCoarseBaseLayerQuarter(nullptr, s, inputs, nullptr, W, H, 0),
              RESULT_INVALID_ARGUMENT);
    s->fusionTable = nullptr;
    DestroyHdrSession(nullptr, s);
}

TEST(BaseLayer, FlatPreviewGivesMinusTheShiftedLogLuma) {
    struct Case {
        int16_t linear;
        int16_t expected;  // log table 3482, 8524, 9938 at 0, 4095, 16383
    };
    for (Case c : {Case{0, 2151}, Case{4095, -369}, Case{16383, -1076}}) {
        for (auto [w, h] : {std::pair{12, 12}, std::pair{125, 47}}) {
            std::vector<int16_t> grid(w * h, c.linear);
            std::vector<uint16_t> out(grid.size());
            ASSERT_EQ(ComputeLocalLogStatistics(nullptr, nullptr, grid.data(), w, h, out.data()),
                      RESULT_OK);
            for (uint16_t v : out) ASSERT_EQ(static_cast<int16_t>(v), c.expected) << c.linear;
        }
    }
}

TEST(BaseLayer, CoarseGridReadsThePreviewAndReplacesTheGainGrid) {
    HdrSession *s = nullptr;
    ASSERT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
    // W = 1000: 125 grid columns over a 124-column preview.
    filters_test::Image preview(124, 74, PIXEL_FORMAT_YUV444P);
    std::fill_n(preview.Plane(0), preview.PlaneBytes(0), 0);
    std::vector<uint16_t> table(6016, 0);
    for (int k = 0; k < 256; ++k)
        table[256 + k] = static_cast<uint16_t>(4 * s->gammaExpandTable[k]);
    s->localCurveFusionTable = table.data();
    s->lowResMapsReady = 1;
    s->previewImage = preview.get();
    EXPECT_EQ(BuildCoarseBaseLayer(nullptr, s, nullptr, nullptr, 1000, 600, 0), RESULT_OK);
    EXPECT_EQ(s->gainGridStride, 125);
    EXPECT_EQ(s->gainGridRows, 75);
    for (int i = 0; i < 125 * 75; ++i) ASSERT_EQ(s->gainGrid[i], 2151);  // all-zero preview
    // Bright last column: the extra grid column repeats it, as a 125 x 75 preview with two
    // bright last columns (and a repeated last row) would give.
    for (int y = 0; y < 74; ++y) preview.Plane(0)[y * preview->pi32Pitch[0] + 123] = 255;
    ASSERT_EQ(BuildCoarseBaseLayer(nullptr, s, nullptr, nullptr, 1000, 600, 0), RESULT_OK);
    const std::vector<int16_t> repeated(s->gainGrid, s->gainGrid + 125 * 75);
    filters_test::Image full(125, 75, PIXEL_FORMAT_YUV444P);
    for (int y = 0; y < 75; ++y)
        for (int x = 0; x < 125; ++x)
            full.Plane(0)[y * full->pi32Pitch[0] + x] = x >= 123 ? 255 : 0;
    s->previewImage = full.get();
    ASSERT_EQ(BuildCoarseBaseLayer(nullptr, s, nullptr, nullptr, 1000, 600, 0), RESULT_OK);
    EXPECT_TRUE(std::equal(repeated.begin(), repeated.end(), s->gainGrid));
    EXPECT_NE(repeated[0], repeated[124]);
    s->previewImage = nullptr;
    EXPECT_EQ(BuildCoarseBaseLayer(nullptr, s, nullptr, nullptr, 1000, 600, 0),
              RESULT_INVALID_ARGUMENT);
    s->localCurveFusionTable = nullptr;
    DestroyHdrSession(nullptr, s);
}

}  // namespace

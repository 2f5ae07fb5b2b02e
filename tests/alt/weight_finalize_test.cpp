// Weight finalisation of the two-call merge: grid operations, code regions and the driver.
#include <gtest/gtest.h>

#include <vector>

#include "alt/intermediate_prepare.h"
#include "alt/tile_weights.h"
#include "alt/weight_finalize.h"
#include "core/memory.h"
#include "intermediate_bracket_support.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;

// A session with hand-made grids for a 640 x 512 frame (22 x 18 padded cells, mesh 5 x 4).
struct GridFixture {
    static constexpr int32_t kCols = 22, kRows = 18;
    SessionHolder h;
    ImageDesc inputs[3] = {};
    int32_t shift[4] = {};
    GridFixture() {
        HdrSession *s = h.session;
        for (ImageDesc &in : inputs) in = {PIXEL_FORMAT_YUYV, 640, 512, {}, {}};
        s->paddedBlocksAcross = kCols;
        s->paddedBlocksDown = kRows;
        s->blocksAcross = kCols - 2;
        s->blocksDown = kRows - 2;
        s->meshCols = 5;
        s->meshRows = 4;
        for (int k = 0; k < 2; ++k) {
            s->offsetGridX[k] = AllocateZeroed<int32_t>(nullptr, 20);
            s->offsetGridY[k] = AllocateZeroed<int32_t>(nullptr, 20);
        }
        const int16_t start[3] = {128, 128, 0};
        for (int g = 0; g < 3; ++g) {
            s->fusionWeightGrids[g] = AllocateZeroed<int16_t>(nullptr, kCols * kRows);
            std::fill(s->fusionWeightGrids[g], s->fusionWeightGrids[g] + kCols * kRows, start[g]);
        }
        s->highQuantileIndex = 15;
    }
    int16_t &At(WeightGridIndex g, int32_t x, int32_t y) {
        return h.session->fusionWeightGrids[g][y * kCols + x];
    }
    int Finalize() { return FinalizeWeightMaps(nullptr, h.session, inputs, 3, shift); }
    bool AllWeights() {
        for (int g = 0; g < 3; ++g)
            for (int k = 0; k < kCols * kRows; ++k) {
                const int16_t v = h.session->fusionWeightGrids[g][k];
                if (v < 0 || v > 256) return false;
            }
        return true;
    }
};

TEST(WeightFinalize, Despeckle) {
    struct Case {
        int16_t centre, left, top, right, bottom, expected;
    };
    const Case cases[] = {
        {-1, 10, 20, 30, 40, 40},    // an isolated code takes the largest neighbour
        {-1, -2, 20, 30, 40, 40},    // three weights around it are enough
        {-1, -2, -1, 30, 40, -1},    // two are not
        {50, -1, -2, -1, -3, -1},    // an isolated weight among codes
        {50, -20, -30, -20, -40, -10},
        {0, -1, -1, -1, -1, 0},      // 0 is neither
    };
    for (const Case &c : cases) {
        std::vector<int16_t> src(25, 100), dst(25, 0);
        src[12] = c.centre, src[11] = c.left, src[7] = c.top, src[13] = c.right, src[17] = c.bottom;
        DespeckleWeightCodes(src.data(), dst.data(), 5, 5);
        EXPECT_EQ(dst[12], c.expected) << c.centre << " " << c.left;
        EXPECT_EQ(dst[0], 100);
    }
}

TEST(WeightFinalize, ReplicatesMarginsByTheShift) {
    // 12 x 10 cells, mesh of 8 x 8 cells per tile, 3 x 3 mesh (one tile).
    struct Case {
        int32_t dx, dy;
        int32_t left, last, top, bottom;  // first and last kept column and row
    };
    const Case cases[] = {{0, 0, 2, 8, 2, 7}, {40, 0, 4, 8, 2, 7}, {-40, -33, 2, 7, 2, 5},
                          {0, 64, 2, 8, 4, 7}};
    for (const Case &c : cases) {
        std::vector<int16_t> grid(120);
        for (int k = 0; k < 120; ++k) grid[k] = static_cast<int16_t>(k);
        ReplicateWeightGridMargins(grid.data(), 12, 10, 3, 3, 8, 8, c.dx, c.dy);
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 12; ++x) {
                const int32_t sy = std::clamp(y, c.top, c.bottom), sx = std::clamp(x, c.left, c.last);
                EXPECT_EQ(grid[y * 12 + x], sy * 12 + sx) << c.dx << "," << c.dy << " at " << x << "," << y;
            }
    }
}

TEST(WeightFinalize, LabelsRegionsByComparison) {
    // Values: a ring of -1 around a -2, one -1 touching it diagonally.
    std::vector<int16_t> v(8 * 6, 10);
    for (int y = 1; y <= 3; ++y)
        for (int x = 1; x <= 3; ++x) v[y * 8 + x] = -1;
    v[2 * 8 + 2] = -2;
    v[4 * 8 + 4] = -1;
    struct Case {
        int32_t connectivity, comparison, level;
        int32_t count;
        GridBox box;
    };
    const Case cases[] = {{8, kCompareAtMost, -1, 10, {1, 4, 1, 4}},
                          {4, kCompareAtMost, -1, 9, {1, 3, 1, 3}},
                          {8, kCompareEqual, -2, 1, {2, 2, 2, 2}},
                          {8, kCompareAtLeast, 10, 38, {0, 7, 0, 5}},
                          {6, kCompareAtMost, -1, 0, {0, 0, 0, 0}},
                          {8, 3, -1, 0, {2, 2, 2, 2}}};
    for (const Case &c : cases) {
        std::vector<int16_t> labels(v.size(), 0);
        GridBox box{};
        const int32_t sx = c.comparison == kCompareAtLeast ? 0 : 2;
        const int32_t sy = c.comparison == kCompareAtLeast ? 0 : 2;
        const int32_t n = LabelCodeRegion(nullptr, v.data(), 8, 6, 8, labels.data(), 5, sx, sy,
                                          c.connectivity, c.level, &box, c.comparison);
        EXPECT_EQ(n, c.count) << c.connectivity << " " << c.comparison;
        if (n > 0) {
            EXPECT_EQ(box.x0, c.box.x0);
            EXPECT_EQ(box.x1, c.box.x1);
            EXPECT_EQ(box.y0, c.box.y0);
            EXPECT_EQ(box.y1, c.box.y1);
        }
    }
}

TEST(WeightFinalize, RingFlagOfARectangularRegion) {
    GridFixture f;
    int16_t *d = f.h.session->fusionWeightGrids[kWeightDark];
    for (int y = 5; y < 9; ++y)
        for (int x = 5; x < 10; ++x) d[y * 22 + x] = -1;
    int32_t ring = -1;
    EXPECT_EQ(MeasureCodeRegionBox(f.h.session, d, 22, 18, 22, {5, 9, 5, 8}, &ring), 0);
    EXPECT_EQ(ring, 1);
    d[4 * 22 + 7] = -1;  // a bump: the box's rim holds a code
    EXPECT_EQ(MeasureCodeRegionBox(f.h.session, d, 22, 18, 22, {5, 9, 5, 8}, &ring), 0);
    EXPECT_EQ(ring, 0);
}

TEST(WeightFinalize, StrongDarkCodeGoesToTheReference) {
    GridFixture f;
    // A 2 x 2 block survives the despeckle, grows by two rings and spreads by two more.
    for (int y = 8; y <= 9; ++y)
        for (int x = 10; x <= 11; ++x) f.At(kWeightDark, x, y) = -2;
    ASSERT_EQ(f.Finalize(), RESULT_OK);
    EXPECT_TRUE(f.AllWeights());
    EXPECT_EQ(f.h.session->pendingStatus, 0u);
    for (int y = 6; y <= 11; ++y)
        for (int x = 8; x <= 13; ++x) {
            EXPECT_EQ(f.At(kWeightReference, x, y), 256) << x << "," << y;
            EXPECT_EQ(f.At(kWeightDark, x, y), 0) << x << "," << y;
        }
    EXPECT_EQ(f.At(kWeightDark, 3, 14), 128);  // far away nothing changes
}

TEST(WeightFinalize, SceneAndMotionOverrides) {
    struct Case {
        const char *what;
        bool spanningRegion;
        int32_t lowQuantileIndex;
        uint64_t pending;
        int16_t R, D, B;
        bool zeroDisplacements;
    };
    const Case cases[] = {
        {"a region spanning the frame", true, 0, RESULT_EXCESSIVE_MOTION, 256, 0, 0, false},
        {"no shadow quantile", false, 16, 0, 0, 0, 256, true},
    };
    for (const Case &c : cases) {
        GridFixture f;
        HdrSession *s = f.h.session;
        s->lowQuantileIndex = c.lowQuantileIndex;
        s->offsetGridX[0][7] = 5;
        if (c.spanningRegion)
            for (int y = 1; y < 12; ++y)
                for (int x = 0; x < 22; ++x) f.At(kWeightDark, x, y) = -2;
        ASSERT_EQ(f.Finalize(), RESULT_OK) << c.what;
        EXPECT_EQ(s->pendingStatus, c.pending) << c.what;
        for (int k = 0; k < 22 * 18; ++k) {
            ASSERT_EQ(s->fusionWeightGrids[kWeightReference][k], c.R) << c.what;
            ASSERT_EQ(s->fusionWeightGrids[kWeightDark][k], c.D) << c.what;
            ASSERT_EQ(s->fusionWeightGrids[kWeightBright][k], c.B) << c.what;
        }
        EXPECT_EQ(s->offsetGridX[0][7] == 0, c.zeroDisplacements) << c.what;
        EXPECT_EQ(s->tileScratch[0], nullptr);
    }
}

TEST(WeightFinalize, RestoreCodeCells) {
    const int16_t grid0[6] = {1, -1, -2, -3, 7, 0};
    const int16_t values[6] = {-3, -3, 9, 9, -3, 4};
    struct Case {
        int mode;  // -1: the plain form
        int16_t expected[6];
        int16_t scratch[6];
        int32_t count;
    };
    const Case cases[] = {{-1, {1, -1, -2, -3, -3, 4}, {0, 0, 0, 0, 0, 0}, 0},
                          {0, {1, -1, 9, -3, -3, 4}, {0, 0, 0, 0, 0, 0}, 0},
                          {1, {1, -1, 9, 9, -3, 4}, {0, 0, 0, 0, 256, 0}, 2},
                          {2, {1, -1, -2, -3, 7, 0}, {0, 0, 0, 0, 0, 0}, 0}};
    for (const Case &c : cases) {
        int16_t grid[6], scratch[6] = {};
        std::copy(grid0, grid0 + 6, grid);
        int32_t count = 0;
        if (c.mode < 0)
            RestoreCodeCells(grid, values, 6, 1, 6);
        else
            RestoreCodeCellsVariant(grid, values, scratch, 6, 1, 6, c.mode, &count);
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(grid[k], c.expected[k]) << c.mode << " " << k;
            EXPECT_EQ(scratch[k], c.scratch[k]) << c.mode << " " << k;
        }
        EXPECT_EQ(count, c.count);
    }
}

TEST(WeightFinalize, PaintsTallColumnsFurther) {
    // A region filling column 3 of rows 8..11 (a 4-row box): painted, carried 6 rows down and,
    // while the stretches above held codes, 6 rows at a time upward.
    const int32_t cols = 6, rows = 20;
    std::vector<int16_t> grid(cols * rows, 50), labels(cols * rows, 0);
    for (int y = 8; y <= 11; ++y) labels[y * cols + 3] = 4;
    grid[5 * cols + 3] = -1;  // the stretch 2..7 holds a code: the paint goes on to rows 0..1
    ASSERT_EQ(PaintRegionColumns(nullptr, grid.data(), cols, rows, cols, labels.data(), 4, 256,
                                 {3, 3, 8, 11}, 1),
              RESULT_OK);
    for (int y = 0; y < rows; ++y) EXPECT_EQ(grid[y * cols + 3], y <= 17 ? 256 : 50) << y;
    EXPECT_EQ(grid[9 * cols + 2], 50);
}

// The whole planning on the synthetic bracket in every format: only weights remain, and a
// shifted dark exposure is registered.
TEST(WeightFinalize, BracketEndsWithWeightsOnly) {
    struct Case {
        uint32_t format;
        int32_t w, h, dx, dy, pad;
    };
    const Case cases[] = {{PIXEL_FORMAT_YUYV, 1024, 768, 6, -4, 0},
                          {PIXEL_FORMAT_I420, 512, 512, 0, 0, 4},
                          {0x605, 516, 400, 0, 0, 0},
                          {PIXEL_FORMAT_YUV422P, 768, 384, 0, 0, 0},
                          {PIXEL_FORMAT_NV12, 640, 480, 0, 0, 8},
                          {PIXEL_FORMAT_NV21, 384, 384, 0, 0, 0},
                          {PIXEL_FORMAT_NV16, 772, 390, 0, 0, 0},
                          {PIXEL_FORMAT_NV12, 4000, 3000, -8, 6, 0}};
    for (const Case &c : cases) {
        SessionHolder h;
        HdrSession *s = h.session;
        Bracket b(s->gammaCompressTable, c.format, c.w, c.h, c.dx, c.dy, c.pad);
        ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
        ASSERT_EQ(ComputeTileWeightsTop(nullptr, s, b.inputs(), 3, s->globalShift), RESULT_OK);
        ASSERT_EQ(ComputeTileWeightsBottom(nullptr, s, b.inputs(), 3, s->globalShift), RESULT_OK);
        ASSERT_EQ(FinalizeWeightMaps(nullptr, s, b.inputs(), 3, s->globalShift), RESULT_OK);
        EXPECT_EQ(s->pendingStatus, 0u) << std::hex << c.format;
        EXPECT_EQ(s->globalShift[0], c.dx);
        EXPECT_EQ(s->globalShift[1], c.dy);
        const int64_t cells = int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown;
        for (int g = 0; g < 3; ++g)
            for (int64_t k = 0; k < cells; ++k) {
                const int16_t v = s->fusionWeightGrids[g][k];
                ASSERT_TRUE(v >= 0 && v <= 256) << std::hex << c.format << std::dec << " grid " << g << " " << v;
            }
    }
}

}  // namespace

// Preparation and local alignment of the two-call merge.
#include <gtest/gtest.h>

#include <vector>

#include "align/luma_window.h"
#include "align/pyramid_aligner.h"
#include "alt/intermediate_prepare.h"
#include "alt/local_alignment.h"
#include "alt/tile_layout.h"
#include "core/exposure_order.h"
#include "intermediate_bracket_support.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;

int64_t CancelAtOnce(int64_t, int64_t, void *) { return PROGRESS_CANCEL; }

bool GridIsZero(const int32_t *grid, int64_t cells) {
    for (int64_t k = 0; k < cells; ++k)
        if (grid[k] != 0) return false;
    return true;
}

TEST(IntermediatePrepare, OrdersByTheVariantTable) {
    struct Case {
        double g[3];
        int32_t count, dark, reference, bright;
    };
    const Case cases[] = {
        {{1.0, 2.0, 3.0}, 3, 2, 1, 0}, {{1.0, 2.0, 0.5}, 3, 1, 0, 2}, {{1.0, 2.0, 1.5}, 3, 1, 2, 0},
        {{2.0, 1.0, 3.0}, 3, 2, 0, 1}, {{3.0, 2.0, 1.0}, 3, 0, 1, 2}, {{3.0, 1.0, 2.0}, 3, 0, 2, 1},
        {{1.0, 1.0, 1.0}, 3, 0, 2, 1}, {{1.0, 2.0, 1.0}, 3, 1, 2, 0}, {{2.0, 1.0, 0}, 2, 0, 1, 1},
    };
    for (const Case &c : cases) {
        SessionHolder h;
        ASSERT_EQ(OrderExposuresVariant(h.session, c.g, c.count), RESULT_OK);
        EXPECT_EQ(h.session->darkIndex, c.dark) << c.g[0] << " " << c.g[1] << " " << c.g[2];
        EXPECT_EQ(h.session->referenceIndex, c.reference);
        EXPECT_EQ(h.session->brightIndex, c.bright);
    }
}

TEST(IntermediatePrepare, MeasuresOrdersAndAlignsTheBracket) {
    SessionHolder h;
    Bracket b(h.session->gammaCompressTable, PIXEL_FORMAT_YUYV, 1024, 768);
    HdrSession *s = h.session;
    ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
    EXPECT_EQ(s->darkIndex, 1);
    EXPECT_EQ(s->referenceIndex, 0);
    EXPECT_EQ(s->brightIndex, 2);
    EXPECT_EQ(s->progressBase, 3);
    EXPECT_EQ(s->meshCols, 6);
    EXPECT_EQ(s->meshRows, 5);
    EXPECT_EQ(s->paddedBlocksAcross, 34);
    EXPECT_EQ(s->paddedBlocksDown, 26);
    EXPECT_EQ(s->pendingStatus, 0u);
    EXPECT_EQ(s->alignStridedPyramid, 0);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(s->globalShift[k], 0);
    for (int k = 0; k < 3; ++k) ASSERT_NE(s->fusionWeightGrids[k], nullptr);
    ASSERT_NE(s->tileScratch[0], nullptr);
    ASSERT_NE(s->tileScratch[1], nullptr);
    // The level tables bring the dark and bright exposures onto the reference's levels.
    EXPECT_GT(s->curveTables[0][60], 60);
    EXPECT_LT(s->curveTables[1][200], 200);
}

TEST(IntermediatePrepare, CancelBeforeTheFirstInput) {
    SessionHolder h;
    Bracket b(h.session->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 384);
    h.session->progressBase = 7;
    EXPECT_EQ(PrepareIntermediateMerge(nullptr, h.session, b.inputs(), 3, CancelAtOnce, nullptr),
              RESULT_CANCELLED);
    EXPECT_EQ(h.session->progressBase, 7);
}

TEST(IntermediatePrepare, RefusesWhatItDoesNotHandle) {
    SessionHolder h;
    Bracket b(h.session->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 384);
    EXPECT_EQ(PrepareIntermediateMerge(nullptr, h.session, b.inputs(), 2, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
    int32_t shift[4];
    EXPECT_EQ(RunLocalAlignment(nullptr, h.session, b.inputs(), 2, shift, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
    for (ImageDesc *in = b.inputs(); in != b.inputs() + 3; ++in) in->u32PixelArrayFormat = PIXEL_FORMAT_UYVY;
    EXPECT_EQ(PrepareIntermediateMerge(nullptr, h.session, b.inputs(), 3, nullptr, nullptr),
              RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(RunLocalAlignment(nullptr, h.session, b.inputs(), 3, shift, nullptr, nullptr),
              RESULT_UNSUPPORTED_FORMAT);
}

// Global shifts of the dark exposure: recovered within the pyramid's reach; beyond it the
// stage marks excessive motion and goes on.
TEST(LocalAlignment, GlobalShiftOfTheDarkExposure) {
    struct Case {
        int32_t dx, dy;
        uint64_t pending;
    };
    const Case cases[] = {{6, -4, 0}, {60, 0, RESULT_EXCESSIVE_MOTION}};
    for (const Case &c : cases) {
        SessionHolder h;
        Bracket b(h.session->gammaCompressTable, PIXEL_FORMAT_YUYV, 1024, 768, c.dx, c.dy);
        HdrSession *s = h.session;
        ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
        EXPECT_EQ(s->pendingStatus, c.pending) << c.dx;
        if (c.pending == 0) {
            EXPECT_EQ(s->globalShift[0], c.dx);
            EXPECT_EQ(s->globalShift[1], c.dy);
        } else {
            EXPECT_GT(std::abs(s->globalShift[0]), 54);
        }
        EXPECT_EQ(s->alignStridedPyramid, 0);
    }
}

// Odd moves of either sign: the global offset and the filled tile displacements add up to the
// move in every cell the fill reaches; a negative remainder must survive the fill's rounding.
TEST(LocalAlignment, GlobalAndTileDisplacementsAddUpToOddMoves) {
    const int32_t moves[][2] = {{5, -3}, {-5, 3}, {3, 5}, {-5, -5}, {6, -4}};
    for (const auto &m : moves) {
        SessionHolder h;
        Bracket b(h.session->gammaCompressTable, PIXEL_FORMAT_YUYV, 1024, 768, m[0], m[1]);
        HdrSession *s = h.session;
        ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
        ASSERT_EQ(s->pendingStatus, 0u);
        const int32_t cols = s->meshCols;
        for (int32_t r = 1; r <= s->meshRows - 3; ++r)
            for (int32_t k = 1; k <= cols - 3; ++k) {
                const int32_t cell = r * cols + k;
                EXPECT_EQ(s->globalShift[0] + s->offsetGridX[0][cell], m[0])
                    << m[0] << "," << m[1] << " cell " << r << "," << k;
                EXPECT_EQ(s->globalShift[1] + s->offsetGridY[0][cell], m[1])
                    << m[0] << "," << m[1] << " cell " << r << "," << k;
            }
    }
}

TEST(LocalAlignment, AFrameOfOneTileRowMeasuresNoTile) {
    SessionHolder h;
    Bracket b(h.session->gammaCompressTable, PIXEL_FORMAT_I420, 768, 256);
    HdrSession *s = h.session;
    ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
    const int64_t cells = int64_t{s->meshCols} * s->meshRows;
    EXPECT_EQ(s->meshRows, 3);
    for (int k = 0; k < 2; ++k) {
        EXPECT_TRUE(GridIsZero(s->offsetGridX[k], cells));
        EXPECT_TRUE(GridIsZero(s->offsetGridY[k], cells));
    }
}

// Level ranges per 16-cell tile and the flags they raise; a tile without block cells says
// nothing about the scene.
TEST(LocalAlignment, TileLevelRangeFlags) {
    struct Case {
        int16_t level;  // every block of the reference
        int32_t t1, t4;
        int32_t flags;
    };
    const Case cases[] = {{100, 200, 50, 0}, {210, 200, 50, 1}, {40, 200, 50, 2}, {100, 90, 120, 3}};
    for (const Case &c : cases) {
        SessionHolder h;
        HdrSession *s = h.session;
        s->frameWidth = 768;  // 3 x 2 tiles, 24 x 16 blocks
        s->frameHeight = 512;
        s->blocksAcross = 24;
        s->blocksDown = 16;
        s->paddedBlocksAcross = 26;
        s->paddedBlocksDown = 18;
        std::vector<int16_t> stats(size_t(26) * 18 * kBlockStatPlanes, c.level);
        s->blockStats = stats.data();
        s->referenceIndex = 0;
        s->darkIndex = 1;
        s->brightIndex = 2;
        s->sceneThresholds[1] = c.t1;
        s->sceneThresholds[4] = c.t4;
        int32_t flags = -1;
        ASSERT_EQ(MeasureTileLevelRange(nullptr, s, &flags), RESULT_OK);
        EXPECT_EQ(flags, c.flags);
        EXPECT_EQ(s->localAlignSet, c.flags);
        EXPECT_EQ(s->tileLevelMin[0], c.level);
        EXPECT_EQ(s->tileLevelMax[0], c.level);
        EXPECT_EQ(s->tileLevelMax[2], 0);  // tile (0, 2) starts at block 32: no cell
        s->blockStats = nullptr;
    }
}

// One uniform displacement measured down both columns survives the fill on every grid
// height, also where the second fit has too few rows for a line.
TEST(DisplacementFit, UniformDisplacementIsKept) {
    struct Case {
        int32_t cols, rows;
    };
    const Case cases[] = {{6, 4}, {6, 5}, {8, 6}, {10, 8}, {5, 9}};
    for (const Case &c : cases) {
        std::vector<int32_t> grid(size_t(c.cols) * c.rows, 0);
        for (int32_t r = 1; r <= c.rows - 3; ++r) {
            grid[r * c.cols + 1] = 3;
            grid[r * c.cols + c.cols - 3] = 3;
        }
        FitDisplacementGridColumns(grid.data(), c.cols, c.rows, 0, nullptr, nullptr);
        for (int32_t r = 1; r <= c.rows - 3; ++r)
            for (int32_t k = 1; k <= c.cols - 3; ++k)
                EXPECT_EQ(grid[r * c.cols + k], 3) << c.cols << "x" << c.rows << " " << r << "," << k;
        EXPECT_EQ(grid[0], 0);
    }
}

TEST(DisplacementFit, OutlierIsReplacedAndTheLineFilled) {
    // Left column 0, 0, 9, 0, 0 (row 3 an outlier), right column 2 throughout.
    const int32_t cols = 7, rows = 8;
    std::vector<int32_t> grid(size_t(cols) * rows, 0);
    for (int32_t r = 1; r <= 5; ++r) grid[r * cols + 4] = 2;
    grid[3 * cols + 1] = 9;
    double left = 0, right = 0;
    FitDisplacementGridColumns(grid.data(), cols, rows, 0, &left, &right);
    EXPECT_NEAR(right, 0.0, 1e-12);
    for (int32_t r = 1; r <= 5; ++r) {
        EXPECT_EQ(grid[r * cols + 1], 0) << r;
        EXPECT_EQ(grid[r * cols + 4], 2) << r;
        EXPECT_EQ(grid[r * cols + 2], 1) << r;  // (0 + 2 * 1) / 3 + 0.5
    }
}

// An outlier takes the mean of its neighbours rounded to nearest: 3 and 4 give 4. The fill
// then follows a flat line of 4 (with 3 it would rise from 3 to 4 down the grid).
TEST(DisplacementFit, OutlierTakesItsNeighboursMeanRoundedToNearest) {
    const int32_t cols = 6, rows = 7;  // rows 1..4 measured
    std::vector<int32_t> grid(size_t(cols) * rows, 0);
    const int32_t measured[4] = {3, 40, 4, 4};
    for (int32_t r = 1; r <= 4; ++r) {
        grid[r * cols + 1] = measured[r - 1];
        grid[r * cols + cols - 3] = measured[r - 1];
    }
    FitDisplacementGridColumns(grid.data(), cols, rows, 0, nullptr, nullptr);
    for (int32_t r = 1; r <= 4; ++r)
        for (int32_t k = 1; k <= cols - 3; ++k)
            EXPECT_EQ(grid[r * cols + k], 4) << r << "," << k;
}

// The tile windows sit far enough apart that halving one never reaches the next: aligning
// them in the tile scratch gives what separate buffers give.
TEST(LocalAlignment, HalvingWindowsInTheTileScratchMatchSeparateBuffers) {
    SessionHolder h;
    HdrSession *s = h.session;
    s->alignGradientMode = 1;
    s->alignPyramidDepth = 3;
    Bracket b(s->gammaCompressTable, PIXEL_FORMAT_I420, 512, 512, 4, -2);
    const int32_t T = kTileSide;
    std::vector<uint8_t> scratch(kTileScratchBytes);
    std::vector<uint8_t> separate[3];
    for (auto &v : separate) v.assign(size_t(4) * T * T, 0);
    const int inputOf[3] = {1, 2, 0};  // dark, bright, reference windows
    for (int w = 0; w < 3; ++w) {
        const ImageDesc &in = b.inputs()[inputOf[w]];
        ExtractLumaWindow(in.ppu8Plane[0], 512, 512, in.pi32Pitch[0], separate[w].data(), T, T, T,
                          128, 128, PIXEL_FORMAT_I420);
        std::copy(separate[w].begin(), separate[w].begin() + T * T,
                  scratch.begin() + kTileWindowStride * w);
    }
    int32_t a[4] = {}, c[4] = {};
    int state = 1;
    ASSERT_EQ(AlignTriplePyramid(nullptr, s, scratch.data() + 2 * kTileWindowStride, scratch.data(),
                                 scratch.data() + kTileWindowStride, PIXEL_FORMAT_I420, 0, T, T, T,
                                 T, T, T, &a[0], &a[1], &a[2], &a[3], &state, 3, 0, nullptr, nullptr),
              RESULT_OK);
    ASSERT_EQ(AlignTriplePyramid(nullptr, s, separate[2].data(), separate[0].data(),
                                 separate[1].data(), PIXEL_FORMAT_I420, 0, T, T, T, T, T, T, &c[0],
                                 &c[1], &c[2], &c[3], &state, 3, 0, nullptr, nullptr),
              RESULT_OK);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(a[k], c[k]) << k;
    EXPECT_NE(c[0], 0);
}

TEST(IntermediatePrepare, ExtractByteLanesModes) {
    std::vector<uint8_t> src(4 * 24);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i);
    struct Case {
        int mode;
        std::vector<uint8_t> row0, row1;
    };
    const Case cases[] = {{1, {0, 2, 4}, {48, 50, 52}},
                          {2, {1, 7, 13}, {49, 55, 61}},
                          {3, {0, 1, 2, 6, 7, 8, 12, 13, 14}, {48, 49, 50, 54, 55, 56, 60, 61, 62}},
                          {4, {0, 4, 8}, {48, 52, 56}},
                          {5, {0, 0, 0}, {0, 0, 0}}};
    for (const Case &c : cases) {
        std::vector<uint8_t> dst(2 * 9, 0);
        ASSERT_EQ(ExtractByteLanes(src.data(), 24, dst.data(), 3, 2, 9, c.mode), RESULT_OK);
        EXPECT_TRUE(std::equal(c.row0.begin(), c.row0.end(), dst.begin())) << c.mode;
        EXPECT_TRUE(std::equal(c.row1.begin(), c.row1.end(), dst.begin() + 9)) << c.mode;
    }
}

}  // namespace

// Tile weights of the two-call merge: the cell decisions and the tile loop's halves.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "alt/intermediate_prepare.h"
#include "alt/tile_layout.h"
#include "alt/tile_weights.h"
#include "core/memory.h"
#include "intermediate_bracket_support.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;

// A session holding one tile set with identity level tables and chosen thresholds, and three
// flat windows.
struct CellFixture {
    SessionHolder h;
    std::vector<uint8_t> windows[3];
    CellFixture(int32_t t0, int32_t t1, int32_t t2, int32_t t3, int32_t t4, int32_t t5) {
        HdrSession *s = h.session;
        s->tileScratch[0] = AllocateZeroed<uint8_t>(nullptr, kTileScratchBytes);
        for (int t = 0; t < 2; ++t)
            for (int k = 0; k < 256; ++k) s->curveTables[t][k] = static_cast<uint8_t>(k);
        const int32_t th[5] = {t0, t1, t2, t3, t4};
        std::copy(th, th + 5, s->sceneThresholds);
        s->lowRampStep = t5;
        s->exposureCount = 3;
        s->tileValidBox[0][kBoxX1] = s->tileValidBox[0][kBoxY1] = kTileSide;
    }
    void Levels(int16_t w, int16_t a) {
        std::fill(TileBlockBuffer(h.session, 0, kTileReferenceLevel),
                  TileBlockBuffer(h.session, 0, kTileReferenceLevel) + 64, w);
        std::fill(TileBlockBuffer(h.session, 0, kTileDarkLevel),
                  TileBlockBuffer(h.session, 0, kTileDarkLevel) + 64, a);
    }
    TileWindows Windows(uint8_t ref, uint8_t dark, uint8_t bright) {
        const uint8_t v[3] = {ref, dark, bright};
        for (int k = 0; k < 3; ++k) windows[k].assign(size_t(kTileSide) * kTileSide, v[k]);
        return {windows[0].data(), windows[1].data(), windows[2].data(), kTileSide, kTileSide,
                kTileSide, 0, 0, 0, 0};
    }
    int16_t Cell(WeightGridIndex g, int k = 27) const { return TileCellGrid(h.session, 0, g)[k]; }
};

TEST(TileWeights, CellDecisions) {
    // T0 200, T1 180, T2 16, T3 50, T4 120, T5 4.
    struct Case {
        const char *what;
        int16_t w, a;
        uint8_t ref, dark, bright;
        int16_t R, D, B;
    };
    const Case cases[] = {
        {"shadow, dark level 0", 100, 0, 100, 100, 100, 176, 0, 80},
        {"shadow, dark level at the reference's", 100, 100, 100, 100, 100, 176, 1, 80},
        {"shadow, dark level above", 100, 150, 100, 100, 100, 176, 1, 80},
        {"deep shadow takes the bright exposure", 40, 0, 40, 40, 40, 0, 0, 256},
        {"deep shadow, bright disagrees", 40, 0, 40, 40, 140, 256, 0, -2},
        {"highlight ramp never goes below 0", 180, 0, 180, 180, 180, 256, 0, 0},
        {"highlight ramp", 190, 0, 190, 190, 190, 160, 96, 0},
        {"highlight ramp, dark disagrees", 190, 0, 190, 120, 190, 160, -1, 0},
        {"highlight, dark disagrees", 230, 0, 230, 120, 230, 256, -1, 0},
        {"highlight, bright saturated", 230, 0, 230, 230, 250, 0, 256, 1},
    };
    for (const Case &c : cases) {
        CellFixture f(200, 180, 16, 50, 120, 4);
        f.Levels(c.w, c.a);
        ASSERT_EQ(DecideTileCellWeights(f.h.session, 8, 8, f.Windows(c.ref, c.dark, c.bright), 0),
                  RESULT_OK);
        EXPECT_EQ(f.Cell(kWeightReference), c.R) << c.what;
        EXPECT_EQ(f.Cell(kWeightDark), c.D) << c.what;
        EXPECT_EQ(f.Cell(kWeightBright), c.B) << c.what;
    }
}

TEST(TileWeights, EmptyValidBoxTakesTheReference) {
    const int32_t boxes[][4] = {{0, 0, 0, 256}, {10, 256, 256, 256}, {40, 30, 0, 256}};
    for (const auto &box : boxes) {
        for (int variant = 0; variant < 3; ++variant) {
            CellFixture f(200, 180, 16, 50, 120, 4);
            f.Levels(100, 0);
            std::copy(box, box + 4, f.h.session->tileValidBox[0]);
            const TileWindows t = f.Windows(100, 30, 250);
            const int r = variant == 0   ? DecideTileCellWeights(f.h.session, 8, 8, t, 0)
                          : variant == 1 ? DecideTileCellWeightsNearerSide(f.h.session, 8, 8, t, 0)
                                         : DecideTileCellWeightsPair(f.h.session, 8, 8, t, 0);
            ASSERT_EQ(r, RESULT_OK);
            for (int k = 0; k < 64; ++k) {
                EXPECT_EQ(f.Cell(kWeightReference, k), 256);
                EXPECT_EQ(f.Cell(kWeightDark, k), 0);
                EXPECT_EQ(f.Cell(kWeightBright, k), 0);
            }
        }
    }
}

TEST(TileWeights, NearerSideAndPairDecisions) {
    struct Case {
        int16_t w;
        uint8_t ref, dark, bright;
        int16_t nearR, nearD, nearB, pairR, pairD;
    };
    // T0 200, T1 180, T2 16, T3 50, T4 120, T5 4.
    const Case cases[] = {
        {190, 190, 190, 190, 160, 96, 0, 160, 96},  // highlight ramp
        {140, 140, 140, 140, 256, 0, 0, 256, 0},     // nearer the shadow start
        {140, 140, 140, 250, 256, 0, 1, 256, 0},     // ... with a saturated bright exposure
        {170, 170, 60, 170, 256, -1, 0, 256, 0},     // nearer the bright-tile level, dark disagrees
        {100, 100, 100, 100, 176, 0, 80, 256, 0},    // shadow ramp
    };
    for (const Case &c : cases) {
        CellFixture f(200, 180, 16, 50, 120, 4);
        f.Levels(c.w, 40);
        const TileWindows t = f.Windows(c.ref, c.dark, c.bright);
        ASSERT_EQ(DecideTileCellWeightsNearerSide(f.h.session, 8, 8, t, 0), RESULT_OK);
        EXPECT_EQ(f.Cell(kWeightReference), c.nearR) << c.w;
        EXPECT_EQ(f.Cell(kWeightDark), c.nearD) << c.w;
        EXPECT_EQ(f.Cell(kWeightBright), c.nearB) << c.w;
        TileCellGrid(f.h.session, 0, kWeightBright)[27] = 77;
        f.h.session->exposureCount = 2;
        ASSERT_EQ(DecideTileCellWeightsByCount(f.h.session, 8, 8, t, 0), RESULT_OK);
        EXPECT_EQ(f.Cell(kWeightReference), c.pairR) << c.w;
        EXPECT_EQ(f.Cell(kWeightDark), c.pairD) << c.w;
        EXPECT_EQ(f.Cell(kWeightBright), 0) << c.w;  // cleared per tile
    }
}

TEST(TileWeights, BrightDetailMarks) {
    std::vector<uint8_t> window(64 * 64, 100);
    // Cell 1 (level 150) holds samples of 220 on its even rows and columns; cell 2 (level 150)
    // samples of 160; cell 3 has level 100.
    for (int y = 0; y < 32; y += 2)
        for (int x = 32; x < 64; x += 2) window[y * 64 + x] = 220;
    for (int y = 32; y < 64; y += 2)
        for (int x = 0; x < 32; x += 2) window[y * 64 + x] = 160;
    const int16_t levels[4] = {150, 150, 150, 100};
    uint8_t marks[4] = {7, 7, 7, 7};
    ASSERT_EQ(MarkBrightDetailCells(levels, 2, 2, window.data(), 64, 64, 64, marks), RESULT_OK);
    EXPECT_EQ(marks[0], 7);  // no sample above the level: kept
    EXPECT_EQ(marks[1], 1);
    EXPECT_EQ(marks[2], 0);
    EXPECT_EQ(marks[3], 0);
}

TEST(TileWeights, ClippedMeasureStaysInsideTheWindow) {
    std::vector<uint8_t> ref(64 * 64, 100), other(64 * 64, 90);
    uint8_t table[256];
    for (int k = 0; k < 256; ++k) table[k] = static_cast<uint8_t>(k);
    const CellWindows w = {ref.data(), other.data(), 64, 64, 64};
    // Cell column 1 shifted by -2: other columns 34..64; 64 lies outside and is skipped.
    const CellStatistics s = MeasureCellDifferenceClipped(w, 1, 0, 32, 32, table, -2, 0);
    EXPECT_EQ(s.samples, 15 * 16);
    EXPECT_EQ(s.Mean(), 10);
    const CellStatistics c = MeasureCellDifferenceClamped(w, 0, 0, 32, 32, table, 0, 0);
    EXPECT_EQ(c.samples, 256);
    EXPECT_EQ(c.largeCount, 0);
}

// Which tiles each half decides: a sentinel shows the cells left alone.
TEST(TileWeights, HalvesSplitTheTileRows) {
    struct Case {
        int32_t w, h;
        int32_t topRows;  // block rows the top half writes
    };
    const Case cases[] = {{512, 512, 8}, {768, 256, 0}, {1024, 768, 8}};
    for (const Case &c : cases) {
        SessionHolder h;
        HdrSession *s = h.session;
        Bracket b(s->gammaCompressTable, PIXEL_FORMAT_NV12, c.w, c.h);
        ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
        const int64_t cells = int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown;
        for (int g = 0; g < 3; ++g) std::fill(s->fusionWeightGrids[g], s->fusionWeightGrids[g] + cells, 999);
        ASSERT_EQ(ComputeTileWeightsTop(nullptr, s, b.inputs(), 3, s->globalShift), RESULT_OK);
        const int32_t cols = s->paddedBlocksAcross;
        for (int32_t row = 1; row <= s->blocksDown; ++row)
            for (int g = 0; g < 3; ++g)
                EXPECT_EQ(s->fusionWeightGrids[g][row * cols + 1] == 999, row > c.topRows)
                    << c.w << "x" << c.h << " row " << row;
        ASSERT_EQ(ComputeTileWeightsBottom(nullptr, s, b.inputs(), 3, s->globalShift), RESULT_OK);
        for (int32_t row = 1; row <= s->blocksDown; ++row)
            for (int32_t col = 1; col <= s->blocksAcross; ++col)
                for (int g = 0; g < 3; ++g) {
                    const int16_t v = s->fusionWeightGrids[g][row * cols + col];
                    EXPECT_TRUE(v >= -2 && v <= 256) << v;
                }
    }
}

// Each tile takes its displacements from its own node (i + 1, j + 1) of the four grids: with a
// grid that differs per node, every tile's cells equal those of a run whose grids hold that
// node's displacements everywhere.
TEST(TileWeights, EachTileReadsItsOwnGridNode) {
    SessionHolder h;
    HdrSession *s = h.session;
    Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 1024, 768);
    ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
    const int32_t nodes = s->meshCols * s->meshRows;
    int32_t *grids[4] = {s->offsetGridX[0], s->offsetGridY[0], s->offsetGridX[1],
                         s->offsetGridY[1]};
    std::vector<int32_t> varied[4];
    for (int g = 0; g < 4; ++g) {
        varied[g].resize(nodes);
        for (int32_t n = 0; n < nodes; ++n) varied[g][n] = ((n * (2 * g + 3)) % 7 - 3) * 9;
        std::copy(varied[g].begin(), varied[g].end(), grids[g]);
    }
    const int64_t cells = int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown;
    auto run = [&] {
        std::vector<int16_t> out;
        EXPECT_EQ(ComputeTileWeightsTop(nullptr, s, b.inputs(), 3, s->globalShift), RESULT_OK);
        EXPECT_EQ(ComputeTileWeightsBottom(nullptr, s, b.inputs(), 3, s->globalShift), RESULT_OK);
        for (int g = 0; g < 3; ++g)
            out.insert(out.end(), s->fusionWeightGrids[g], s->fusionWeightGrids[g] + cells);
        return out;
    };
    const std::vector<int16_t> mixed = run();
    const int32_t cols = s->paddedBlocksAcross;
    for (int32_t i = 0; i < s->meshRows - 2; ++i)
        for (int32_t j = 0; j < s->meshCols - 2; ++j) {
            const int32_t node = (i + 1) * s->meshCols + j + 1;
            for (int g = 0; g < 4; ++g) std::fill(grids[g], grids[g] + nodes, varied[g][node]);
            const std::vector<int16_t> uniform = run();
            for (int g = 0; g < 3; ++g)
                for (int32_t r = 8 * i + 1; r <= std::min(8 * i + 8, s->blocksDown); ++r)
                    for (int32_t c = 8 * j + 1; c <= std::min(8 * j + 8, s->blocksAcross); ++c) {
                        const int64_t at = g * cells + int64_t{r} * cols + c;
                        EXPECT_EQ(mixed[at], uniform[at]) << "tile " << i << "," << j;
                    }
        }
}

TEST(TileWeights, MissingGridsAndUnhandledInputs) {
    SessionHolder h;
    HdrSession *s = h.session;
    Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 384);
    ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
    EXPECT_EQ(ComputeTileWeightsTop(nullptr, s, b.inputs(), 2, s->globalShift), RESULT_INVALID_ARGUMENT);
    FreeAndClear(nullptr, s->fusionWeightGrids[kWeightBright]);
    EXPECT_EQ(ComputeTileWeightsBottom(nullptr, s, b.inputs(), 3, s->globalShift),
              RESULT_OUT_OF_MEMORY);
}

}  // namespace

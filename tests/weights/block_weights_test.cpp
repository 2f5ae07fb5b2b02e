#include <gtest/gtest.h>

#include <vector>

#include "core/memory.h"
#include "core/session.h"
#include "weights/block_grid.h"
#include "weights/exposure_weights.h"
#include "weights/lowres_weight_maps.h"

namespace {

TEST(BlockGrid, SizesOfTheFrame) {
    const struct {
        int32_t width, height, bw, bh, bw2, bh2;
        int64_t cells;
    } cases[] = {{1000, 700, 32, 22, 34, 24, 816}, {1024, 64, 32, 2, 34, 4, 136}, {33, 32, 2, 1, 4, 3, 12}};
    for (const auto &c : cases) {
        const WeightBlockGrid g = BlockGridForFrame(c.width, c.height);
        EXPECT_EQ(g.blocksAcross, c.bw);
        EXPECT_EQ(g.blocksDown, c.bh);
        EXPECT_EQ(g.paddedAcross, c.bw2);
        EXPECT_EQ(g.paddedDown, c.bh2);
        EXPECT_EQ(g.cells, c.cells);
    }
    EXPECT_EQ(WeightBlockBytes(816), 8160);
}

TEST(BlockGrid, OneBlockHoldsGridsThenMasksInTheirOrder) {
    HdrSession *s = nullptr;
    ASSERT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
    s->paddedBlocksAcross = 34;
    s->paddedBlocksDown = 24;
    ASSERT_EQ(ReplaceWeightBlock(nullptr, s), RESULT_OK);
    auto *base = reinterpret_cast<uint8_t *>(s->blockWeights[kWeightReference]);
    EXPECT_EQ(reinterpret_cast<uint8_t *>(s->blockWeights[kWeightDark]), base + 2 * 816);
    EXPECT_EQ(reinterpret_cast<uint8_t *>(s->blockWeights[kWeightBright]), base + 4 * 816);
    EXPECT_EQ(s->ghostMasks[kGhostDark], base + 6 * 816);
    EXPECT_EQ(s->ghostMasks[kGhostReference], base + 7 * 816);
    EXPECT_EQ(s->ghostMasks[kGhostBrightReplaced], base + 8 * 816);
    EXPECT_EQ(s->ghostMasks[kGhostBright], base + 9 * 816);
    for (int i = 0; i < 8160; ++i) ASSERT_EQ(base[i], 0);
    DestroyHdrSession(nullptr, s);
}

TEST(BlockWeights, ReferenceBlockLumaTable) {
    // f, b, d -> reference, dark, bright
    const int cases[][6] = {{0, 100, 100, 0, 0, 256},     {31, 100, 100, 0, 0, 256},
                            {32, 100, 100, 0, 0, 256},    {48, 100, 100, 128, 0, 128},
                            {64, 100, 100, 256, 0, 0},    {160, 100, 100, 256, 0, 0},
                            {161, 100, 100, 248, 8, 0},   {192, 100, 100, 0, 256, 0},
                            {193, 100, 100, 0, 256, 0},   {255, 255, 100, 0, 256, 0},
                            {20, 193, 0, 256, 0, 0},      {40, 193, 0, 256, 0, 0},
                            {40, 192, 0, 64, 0, 192},     {200, 255, 63, 256, 0, 0}};
    for (const auto &c : cases) {
        int r, d, b;
        BlockLumaWeights(c[0], c[1], c[2], &r, &d, &b);
        EXPECT_EQ(r, c[3]) << "f " << c[0] << " b " << c[1] << " d " << c[2];
        EXPECT_EQ(d, c[4]) << "f " << c[0];
        EXPECT_EQ(b, c[5]) << "f " << c[0];
    }
}

TEST(BlockWeights, PixelWeightTable) {
    const int cases[][4] = {{0, 64, 0, 128},     {63, 127, 126, 128}, {64, 128, 128, 128},
                            {192, 128, 128, 128}, {193, 127, 128, 126}, {255, 65, 128, 2}};
    for (const auto &c : cases) {
        int r, d, b;
        LumaWeights(c[0], &r, &d, &b);
        EXPECT_EQ(r, c[1]) << c[0];
        EXPECT_EQ(d, c[2]) << c[0];
        EXPECT_EQ(b, c[3]) << c[0];
    }
}

struct Grids {
    Grids(int32_t w, int32_t h) : w(w), h(h), ref(w * h), dark(w * h), bright(w * h) {}
    int32_t w, h;
    std::vector<int16_t> ref, dark, bright;
    int At(int x, int y) const { return y * w + x; }
};

TEST(FillWeightGridHoles, FrameCellsGetTheReferenceAndASecondaryWeight) {
    Grids g(12, 14);
    for (int y = 1; y < 13; ++y)
        for (int x = 1; x < 11; ++x) g.ref[g.At(x, y)] = 256;
    g.dark[g.At(1, 1)] = 100;      // a neighbour of frame cells (0, 1) and (1, 0)
    g.bright[g.At(5, 12)] = 50;    // beside frame cell (5, 13), then row 9 repeated
    g.ref[g.At(6, 6)] = -3;        // an interior hole
    FillWeightGridHoles(g.ref.data(), g.dark.data(), g.bright.data(), g.w, g.h);
    for (int x = 0; x < g.w; ++x) {
        EXPECT_EQ(g.ref[g.At(x, 0)], 256);
        EXPECT_GE(g.dark[g.At(x, 0)] + g.bright[g.At(x, 0)], 1);
    }
    for (int y = 0; y < g.h; ++y) {
        EXPECT_EQ(g.ref[g.At(0, y)], 256);
        EXPECT_GE(g.dark[g.At(0, y)] + g.bright[g.At(0, y)], 1);
    }
    EXPECT_EQ(g.dark[g.At(1, 0)], 100);
    EXPECT_EQ(g.dark[g.At(6, 6)], 1);  // neighbours carry no secondary weight: stored as 1
    EXPECT_EQ(g.ref[g.At(6, 6)], 255);  // a hole well inside: 256 less its new dark weight
    // The last four rows repeat row h - 5.
    for (int y = g.h - 4; y < g.h; ++y)
        for (int x = 0; x < g.w; ++x) {
            EXPECT_EQ(g.ref[g.At(x, y)], g.ref[g.At(x, g.h - 5)]);
            EXPECT_EQ(g.dark[g.At(x, y)], g.dark[g.At(x, g.h - 5)]);
            EXPECT_EQ(g.bright[g.At(x, y)], g.bright[g.At(x, g.h - 5)]);
        }
}

TEST(FillWeightGridHoles, ChosenExposureCellsWellInsideSumTo256) {
    Grids g(12, 12);
    for (int i = 0; i < 144; ++i) g.ref[i] = 256;
    g.dark[g.At(5, 5)] = 255;
    g.ref[g.At(5, 5)] = 0;
    g.bright[g.At(6, 5)] = 255;
    g.ref[g.At(6, 5)] = 0;
    g.dark[g.At(4, 4)] = 100;  // outside the recomputed window: the reference stays
    FillWeightGridHoles(g.ref.data(), g.dark.data(), g.bright.data(), g.w, g.h);
    EXPECT_EQ(g.ref[g.At(5, 5)], 1);
    EXPECT_EQ(g.ref[g.At(6, 5)], 1);
    EXPECT_EQ(g.ref[g.At(4, 4)], 256);
}

TEST(FillWeightGridHoles, FewerThanFiveRowsKeepTheirRows) {
    Grids g(6, 4);
    for (int i = 0; i < 24; ++i) g.ref[i] = static_cast<int16_t>(10 * i);
    g.ref[0] = 0;
    FillWeightGridHoles(g.ref.data(), g.dark.data(), g.bright.data(), g.w, g.h);
    for (int i = 1; i < 24; ++i) EXPECT_EQ(g.ref[i], 10 * i);
}

TEST(SetSingleExposureWeights, WhichGridIsFull) {
    for (int which : {0, 1, 2, 7}) {
        Grids g(3, 2);
        SetSingleExposureWeights(g.ref.data(), g.dark.data(), g.bright.data(), 3, 2, which);
        const int full = which > 2 ? 2 : which;
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(g.ref[i], full == 0 ? 256 : 0);
            EXPECT_EQ(g.dark[i], full == 1 ? 256 : 0);
            EXPECT_EQ(g.bright[i], full == 2 ? 256 : 0);
        }
    }
}

}  // namespace

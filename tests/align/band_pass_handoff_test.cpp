#include "align/band_pass_handoff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "align/aligned_block_planes.h"
#include "align/block_level_planes.h"
#include "align/handoff_session_support.h"
#include "core/constant_tables.h"

namespace {

using handoff_test::HandoffSession;

// A session after stage 1: padded block planes from flat block luma (dark 100, reference
// 150), identity exposure tables.
struct Prepared : HandoffSession {
    std::vector<ImageDesc> outputs;
    RegionRect process{};
    Prepared(int32_t w, int32_t h, int32_t count = 3) : HandoffSession(w, h, count) {
        s->exposureCount = 1;  // the statistics leave the identity tables alone
        const size_t cells = static_cast<size_t>(s->blocksAcross) * s->blocksDown;
        std::fill_n(Plane(s->darkIndex), cells, int16_t{100});
        std::fill_n(Plane(s->referenceIndex), cells, int16_t{150});
        EXPECT_EQ(PrepareAlignedPlanes(nullptr, s), RESULT_OK);
        s->exposureCount = count;
        s->valueShift = 2;
        s->referenceValueShift = 0;
        outputs = inputs;
        process = RegionRect{0, 0, static_cast<uint32_t>(w & ~7), h & ~1};
    }
    int Build() {
        return BuildMotionFields(nullptr, s, outputs.data(), 2, &process, 0, s->globalShift);
    }
};

TEST(BandPassHandoff, MotionGridsTakeTheirShiftSlopesAndScale) {
    Prepared p(1000, 600);
    HdrSession *s = p.s;
    p.AddMotionGrids(0);
    p.AddMotionGrids(1);
    const int cols = s->meshCols, rows = s->meshRows;
    std::fill_n(s->offsetGridX[0], cols * rows, 3);
    s->globalShift[0] = -2;
    const int32_t row[6] = {0, 5, 9, 9, 2, 2};
    for (int r = 0; r < rows; ++r) std::copy(row, row + cols, s->offsetGridY[1] + r * cols);
    ASSERT_EQ(p.Build(), RESULT_OK);
    for (int i = 0; i < cols * rows; ++i) {
        ASSERT_EQ(s->offsetGridX[0][i], 256);
        ASSERT_EQ(s->slopeGridX[0][i], 0);
    }
    const int32_t slopes[6] = {5, 4, 0, -7, 0, 0};  // the last column is not a slope
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            EXPECT_EQ(s->offsetGridY[1][r * cols + c], row[c] * 256);
            EXPECT_EQ(s->slopeGridY[1][r * cols + c], slopes[c]);
        }
    EXPECT_EQ(s->slopeGridX[2], nullptr);
}

TEST(BandPassHandoff, FusionTablesFollowTheirFormulasForIdentityExposureTables) {
    for (int count : {3, 2}) {
        Prepared p(160, 96, count);
        HdrSession *s = p.s;
        s->lowResMapsReady = 1;
        ASSERT_EQ(p.Build(), RESULT_OK) << count;
        const uint16_t *d = s->fusionTable;
        const uint16_t *e = s->localCurveFusionTable;
        const int refScale = count == 2 ? 1 : 4;
        for (int k = 0; k < 256; ++k) {
            const int g = kGammaExpandTable[k];
            ASSERT_EQ(d[k], 4 * g) << k;
            ASSERT_EQ(d[256 + k], g) << k;
            ASSERT_EQ(d[512 + k], refScale * g) << k;
            ASSERT_EQ(d[768 + k], kWeightTable[k]) << k;
            ASSERT_EQ(e[k], 0) << k;
            ASSERT_EQ(e[256 + k], 4 * g) << k;
            ASSERT_EQ(e[512 + k], 16380) << k;
            ASSERT_EQ(e[768 + k], kWeightTable[k]) << k;
        }
        for (int i = 0; i < 6016 - 1024; ++i) {
            const uint16_t want = i < 256 * count ? static_cast<uint16_t>(i ? 32768 / i : 0) : 0;
            ASSERT_EQ(d[1024 + i], want) << i;
            ASSERT_EQ(e[1024 + i], want) << i;
        }
        EXPECT_EQ(d[128], 3536);
        EXPECT_EQ(d[256 + 128], 884);
    }
}

TEST(BandPassHandoff, BlockPlanesWeightsOutputsAndWorkerBuffers) {
    Prepared p(200, 104);  // W mod 16 = 8
    HdrSession *s = p.s;
    for (int k = 0; k < 3; ++k)
        std::fill_n(s->blockWeights[k], p.Cells(), static_cast<int16_t>(10 * (k + 1)));
    std::vector<uint8_t> planes(3 * 8);
    for (int i = 0; i < 3; ++i)
        for (int q = 0; q < 3; ++q) p.outputs[i].ppu8Plane[q] = &planes[8 * i + q];
    s->sceneThresholds[1] = 140;  // every reference block (150) is above it
    ASSERT_EQ(p.Build(), RESULT_OK);
    for (size_t i = 0; i < p.Cells(); ++i) {
        ASSERT_EQ(s->paddedBlockPlanes[0][i], 50);  // reference level minus dark level
        ASSERT_EQ(s->paddedBlockPlanes[2][i], 0);   // no highlight below 192
        ASSERT_EQ(s->recoveryMaskGrid[i], 255);
        for (int k = 0; k < 3; ++k) ASSERT_EQ(s->fusionWeightGrids[k][i], 10 * (k + 1));
    }
    EXPECT_EQ(s->planeWidths[0], 200);
    for (int q = 0; q < 3; ++q) {
        EXPECT_EQ(s->outputPlanes[q], &planes[8 * s->referenceIndex + q]);
        EXPECT_EQ(s->alternativeOutputPlanes[0][q], &planes[q]);
        EXPECT_EQ(s->alternativeOutputPlanes[1][q], &planes[8 + q]);
    }
    // Every worker's buffers reach their full sizes (the sanitizer build checks the ends).
    const int c = s->paddedBlocksAcross;
    for (int t = 0; t < kWorkerCount; ++t) {
        ASSERT_NE(s->runLists[0][t], nullptr);
        EXPECT_EQ(s->spanTypes[t], s->runLists[0][t] + 4 * c);
        s->runLists[0][t][10 * c - 1] = 1;
        EXPECT_EQ(s->offsetRows[t][4 * 200 + 255], 0);
        for (auto &rows : s->workerRows) rows[t][200 - 1] = 1;
        s->warpBuffer[t][(200 + 64) * 16 - 1] = 1;
    }
}

TEST(BandPassHandoff, MissingInputsAreReported) {
    Prepared p(160, 96);
    p.s->blockWeights[kWeightBright] = nullptr;
    EXPECT_EQ(p.Build(), RESULT_OUT_OF_MEMORY);
    p.s->blockWeights[kWeightBright] = p.s->blockWeights[kWeightDark] + p.Cells();
    EXPECT_EQ(BuildMotionFields(nullptr, p.s, nullptr, 2, &p.process, 0, p.s->globalShift),
              RESULT_INVALID_ARGUMENT);
}

// Identity level tables: dark 0..255, bright 256.., reference 512.. from the gamma table.
std::vector<uint16_t> IdentityLevels(int darkOffset = 0) {
    std::vector<uint16_t> t(768);
    for (int k = 0; k < 256; ++k) {
        t[k] = kGammaExpandTable[std::min(k + darkOffset, 255)];
        t[256 + k] = t[512 + k] = kGammaExpandTable[k];
    }
    return t;
}

TEST(BlockLevelPlanes, HighlightExcessWithIdentityTables) {
    const std::vector<uint16_t> t = IdentityLevels();
    std::mt19937 rng(9);
    std::vector<int16_t> dark(64), ref(64);
    for (int i = 0; i < 64; ++i) {
        dark[i] = static_cast<int16_t>(rng() % 256);
        ref[i] = static_cast<int16_t>(rng() % 256);
    }
    std::vector<int16_t> out = ref;
    ASSERT_EQ(
        LimitHighlightExcess(nullptr, dark.data(), out.data(), 8, 8, t.data(), kGammaCompressTable),
        RESULT_OK);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(out[i], ref[i] < 192 ? 0 : std::max(0, dark[i] - ref[i])) << i;
}

TEST(BlockLevelPlanes, LevelDifferenceModes) {
    // The dark table reads ten codes brighter: every level offset is 10.
    const std::vector<uint16_t> t = IdentityLevels(10);
    const int16_t ref[4] = {0, 100, 200, 40};
    struct Case {
        int mode;
        int16_t expected[4];
    };
    const Case cases[] = {{0, {10, 60, 160, 10}},  // max(10, ref - dark)
                          {2, {10, 10, 10, 10}},   // below 32: 10, else max(10, 10)
                          {1, {10, 10, 10, 10}}};
    for (const Case &c : cases) {
        int16_t plane[4] = {30, 40, 40, 250};
        ASSERT_EQ(
            ComputeBlockLevelDifference(plane, ref, 2, 2, t.data(), kGammaCompressTable, c.mode),
            RESULT_OK);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(plane[i], c.expected[i]) << c.mode << " " << i;
    }
    int16_t plane[1] = {0};
    EXPECT_EQ(ComputeBlockLevelDifference(plane, ref, 1, 1, t.data(), kGammaCompressTable, 3),
              RESULT_INVALID_ARGUMENT);
}

TEST(BlockLevelPlanes, DespeckleAndRecoveryMask) {
    struct Case {
        int16_t left, up, right, down, expected;
    };
    for (Case c : {Case{5, 5, 40, 40, -10}, Case{5, 12, 40, 40, 30}, Case{-20, 5, 40, 40, -20}}) {
        const int16_t src[9] = {0, c.up, 0, c.left, 30, c.right, 0, c.down, 0};
        int16_t dst[9];
        ASSERT_EQ(DespeckleBlockPlane(src, dst, 3, 3), RESULT_OK);
        EXPECT_EQ(dst[4], c.expected);
        for (int i : {0, 1, 2, 3, 5, 6, 7, 8}) EXPECT_EQ(dst[i], src[i]);
    }

    Prepared p(224, 224);  // a 9 x 9 padded grid
    HdrSession *s = p.s;
    const int w = s->paddedBlocksAcross;
    std::vector<int16_t> luma(p.Cells(), 10);
    luma[4 * w + 4] = 200;
    s->sceneThresholds[1] = 100;
    ASSERT_EQ(BuildRecoveryMask(nullptr, s, nullptr, nullptr, nullptr, nullptr, luma.data(), w,
                                s->paddedBlocksDown),
              RESULT_OK);
    for (int y = 0; y < s->paddedBlocksDown; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(s->recoveryMaskGrid[y * w + x],
                      (std::abs(x - 4) <= 1 && std::abs(y - 4) <= 1) ? 255 : 0)
                << x << "," << y;
}

}  // namespace

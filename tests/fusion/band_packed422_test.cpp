// Packed 4:2:2 band worker and row drivers: the span merge, tiles and re-laid weights, the
// mesh displacement, progress, the driver choice and the checked buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fusion/band_session_support.h"
#include "fusion/span_common.h"
#include "fusion/span_list.h"

namespace {

using fusion_test::BandSession;
using fusion_test::MeshMotion;

TEST(SpanList, MergesRunListsIntoTypedSpans) {
    struct Case {
        std::vector<int32_t> dark, bright, bounds, types;
    };
    for (const Case &c : {
             // Dark {0, 64, 192, 512} and bright {0, 128, 512}.
             Case{{0, 64, 192, 512}, {0, 128, 512}, {0, 64, 128, 192, 512},
                  {SPAN_REFERENCE_ONLY, SPAN_DARK, SPAN_BOTH, SPAN_BRIGHT}},
             // Switches at one x: the dark one first, an empty span between them.
             Case{{0, 64, 512}, {0, 64, 512}, {0, 64, 64, 512},
                  {SPAN_REFERENCE_ONLY, SPAN_DARK, SPAN_BOTH}},
             // Both weigh from x0: the first span is empty.
             Case{{0, 0, 512}, {0, 0, 256, 512}, {0, 0, 0, 256, 512},
                  {SPAN_REFERENCE_ONLY, SPAN_DARK, SPAN_BOTH, SPAN_DARK}},
             Case{{0, 512}, {0, 512}, {0, 512}, {SPAN_REFERENCE_ONLY}},
         }) {
        std::vector<int32_t> bounds(16, -1), types(16, -1);
        const int32_t n = MergeRunLists(c.dark.data(), int32_t(c.dark.size()), c.bright.data(),
                                        int32_t(c.bright.size()), 0, 512, bounds.data(), types.data());
        ASSERT_EQ(n, int32_t(c.types.size()));
        EXPECT_EQ(std::vector<int32_t>(bounds.begin(), bounds.begin() + n + 1), c.bounds);
        EXPECT_EQ(std::vector<int32_t>(types.begin(), types.begin() + n), c.types);
    }
}

TEST(SpanList, ReLaysRunningWeightsAtSpanBorders) {
    RunningWeights w = {{0, 0, kFusionWeightOne}};
    ReLayRunningWeights(&w, SPAN_REFERENCE_ONLY, SPAN_DARK);
    EXPECT_EQ(w.w[0], 0);
    EXPECT_EQ(w.w[1], kFusionWeightOne);
    EXPECT_EQ(w.w[2], kFusionWeightOne);
    w = {{100, 32668, 7}};  // leaving a dark span with [d, r, -]
    ReLayRunningWeights(&w, SPAN_DARK, SPAN_BOTH);
    EXPECT_EQ(w.w[0], 100);
    EXPECT_EQ(w.w[1], 0);
    EXPECT_EQ(w.w[2], 32668);
    w = {{100, 200, 32468}};  // leaving a both span with [d, b, r]
    ReLayRunningWeights(&w, SPAN_BOTH, SPAN_BRIGHT);
    EXPECT_EQ(w.w[0], 200);
    EXPECT_EQ(w.w[1], 32468);
    // An empty span between two switches is re-laid twice: bright -> both -> dark.
    w = {{300, 32468, 0}};
    ReLayRunningWeights(&w, SPAN_BRIGHT, SPAN_BOTH);
    ReLayRunningWeights(&w, SPAN_BOTH, SPAN_DARK);
    EXPECT_EQ(w.w[0], 0);
    EXPECT_EQ(w.w[1], 32468);
}

TEST(SpanList, TilesNeverCrossMeshCellBorders) {
    std::vector<int32_t> ends;
    for (int32_t a = 100; a < 700; a = TileEnd(a, 700)) ends.push_back(TileEnd(a, 700));
    EXPECT_EQ(ends, (std::vector<int32_t>{128, 384, 640, 700}));
}

TEST(SpanList, MeshDisplacementInterpolatesAndHoldsIndicesInTheGrid) {
    // 3 x 2 nodes: offsets in pixels x 256, slopes to the right neighbour in pixels.
    const int32_t offsets[6] = {256, 512, 768, 1024, 1024, 1024};
    const int32_t slopes[6] = {1, 1, 0, 0, 0, 0};
    // Pixel 0 (h = 128) of mesh row 0, halfway down (f = 128): top 384, bottom 1024.
    MeshDisplacement m = InterpolateMesh(offsets, slopes, 3, 2, 0, 128, 0);
    EXPECT_EQ(m.disp, 256 * 384 + 128 * (1024 - 384));
    EXPECT_EQ(m.step, 4 * (256 * 1 + 128 * (0 - 1)));
    // Far right and far down: the last column and row are used, nothing is read outside.
    m = InterpolateMesh(offsets, slopes, 3, 2, 5, 0, 5000);
    EXPECT_EQ(m.disp, 256 * (1024 + ((5000 + 128) & 255) * 0));
    m = InterpolateMesh(nullptr, slopes, 3, 2, 0, 0, 0);
    EXPECT_EQ(m.disp, 0);
}

struct Reports {
    std::vector<int64_t> percents;
};

int64_t Record(int64_t percent, int64_t, void *user) {
    static_cast<Reports *>(user)->percents.push_back(percent);
    return 0;
}

TEST(BandPacked422, ReportsProgressOfBandZeroForAThousandRows) {
    BandSession b(264, 1000, {0, 0, 0}, {0, 0, 0});
    const RowBand band = b.Bands()[0];
    ASSERT_EQ(band.endRow, 248);
    Reports reports;
    uint8_t *planes[3] = {b.plane(0), b.plane(1), b.plane(2)};
    ASSERT_EQ(CopyReferenceLumaForBandPass(nullptr, b.session(), b.plane(2), b.width(), b.height(), b.pitch()),
              RESULT_OK);
    EXPECT_EQ(RenderFusedBandPacked422(&band, b.session(), planes, b.width(), b.height(), b.pitch(),
                                       &b.session()->processRect, nullptr, nullptr, Record, &reports),
              RESULT_OK);
    EXPECT_EQ(reports.percents, (std::vector<int64_t>{25, 34, 44, 54, 63, 73, 83, 92}));
    // Other workers never report.
    reports.percents.clear();
    const RowBand other = b.Bands()[1];
    EXPECT_EQ(RenderFusedBandPacked422(&other, b.session(), planes, b.width(), b.height(), b.pitch(),
                                       &b.session()->processRect, nullptr, nullptr, Record, &reports),
              RESULT_OK);
    EXPECT_TRUE(reports.percents.empty());
}

TEST(BandPacked422, MissingBuffersAndBadArgumentsAreRefusedBeforeAnyRow) {
    BandSession b(264, 64, {0, 0, 0}, {0, 0, 0});
    HdrSession *s = b.session();
    uint8_t *planes[3] = {b.plane(0), b.plane(1), b.plane(2)};
    const std::vector<uint8_t> before = b.frame(2);
    auto render = [&](RowBand band) {
        return RenderFusedBandPacked422(&band, s, planes, b.width(), b.height(), b.pitch(),
                                        &s->processRect, nullptr, nullptr, nullptr, nullptr);
    };
    // In place without the copy of the reference's luma.
    EXPECT_EQ(render({0, 0, 64, 0}), RESULT_OUT_OF_MEMORY);
    ASSERT_EQ(CopyReferenceLumaForBandPass(nullptr, s, b.plane(2), b.width(), b.height(), b.pitch()),
              RESULT_OK);
    EXPECT_EQ(render({0, 8, 8, 8}), RESULT_OK);  // empty band
    EXPECT_EQ(render({4, 0, 64, 0}), RESULT_INVALID_ARGUMENT);
    struct Missing {
        const char *name;
        void **field;
        bool localCurve;
    };
    for (const Missing &m : {Missing{"dark weights", (void **)&s->fusionWeightGrids[kWeightDark], true},
                             Missing{"block plane 1", (void **)&s->paddedBlockPlanes[1], true},
                             Missing{"mask grid", (void **)&s->recoveryMaskGrid, false},
                             Missing{"warp buffer", (void **)&s->warpBuffer[0], true},
                             Missing{"gain row", (void **)&s->workerRows16[0], true},
                             Missing{"run lists", (void **)&s->runLists[1][0], false},
                             Missing{"local-curve table", (void **)&s->localCurveFusionTable, true},
                             Missing{"a map line", (void **)&s->mapLineBuffers[8], true},
                             Missing{"normal table", (void **)&s->fusionTable, false},
                             Missing{"chroma block plane", (void **)&s->paddedBlockPlanes[6], false}}) {
        SCOPED_TRACE(m.name);
        b.SetLocalCurve(m.localCurve);
        void *kept = *m.field;
        *m.field = nullptr;
        EXPECT_EQ(render({0, 0, 64, 0}), RESULT_OUT_OF_MEMORY);
        EXPECT_EQ(render({0, 8, 8, 8}), RESULT_OUT_OF_MEMORY);
        *m.field = kept;
    }
    EXPECT_EQ(b.frame(2), before);
}

// The row drivers chosen by which secondaries weigh on a row: with both weight grids zero the
// output is the reference-only kernel's; a mesh shift then changes nothing.
TEST(BandPacked422, RowsWithoutSecondaryWeightTakeTheReferenceAlone) {
    for (bool localCurve : {true, false}) {
        BandSession still(264, 96, {0, 0, 0}, {0, 0, 0}), moved(264, 96, {9, 5, 2}, {-4, 3, 2});
        for (BandSession *b : {&still, &moved}) {
            b->SetLocalCurve(localCurve);
            HdrSession *s = b->session();
            const int cells = s->paddedBlocksAcross * s->paddedBlocksDown;
            std::fill(s->fusionWeightGrids[kWeightDark], s->fusionWeightGrids[kWeightDark] + cells, 0);
            std::fill(s->fusionWeightGrids[kWeightBright], s->fusionWeightGrids[kWeightBright] + cells, 0);
            ASSERT_EQ(b->RunPass(fusion_test::RunJobsHere<false>), RESULT_OK);
        }
        EXPECT_EQ(still.frame(2), moved.frame(2));
        // Only the dark weighs: the bright exposure's motion does not matter.
        BandSession a(264, 96, {3, 1, 1}, {0, 0, 0}), c(264, 96, {3, 1, 1}, {7, -7, 3});
        for (BandSession *b : {&a, &c}) {
            b->SetLocalCurve(localCurve);
            HdrSession *s = b->session();
            const int cells = s->paddedBlocksAcross * s->paddedBlocksDown;
            std::fill(s->fusionWeightGrids[kWeightBright], s->fusionWeightGrids[kWeightBright] + cells, 0);
            ASSERT_EQ(b->RunPass(fusion_test::RunJobsHere<false>), RESULT_OK);
        }
        EXPECT_EQ(a.frame(2), c.frame(2));
    }
}

// A group's weights are read at its fourth pixel, which in the group at the right edge is the
// photo's outermost column; that group reads them one pixel in. A black outermost column in any
// exposure, against the same column copied from its neighbour, leaves every byte of the pixels
// before the last two as it was, in either mode, still or moved.
TEST(BandPacked422, TheOutermostColumnStaysOutOfTheLastGroupsWeights) {
    const int w = 520, h = 64;
    for (bool localCurve : {true, false})
        for (MeshMotion motion : {MeshMotion{0, 0, 0}, MeshMotion{-3, 1, 0}})
            for (int e : {BandSession::kDark, BandSession::kBright, BandSession::kReference}) {
                std::vector<uint8_t> fused[2];
                for (int k = 0; k < 2; ++k) {
                    BandSession b(w, h, motion, motion);
                    b.SetLocalCurve(localCurve);
                    for (int y = 0; y < h; ++y) {
                        uint8_t *row = b.frame(e).data() + size_t(y) * b.pitch();
                        row[2 * (w - 1)] = k == 0 ? 0 : row[2 * (w - 2)];
                    }
                    ASSERT_EQ(b.RunPass(fusion_test::RunJobsHere<false>), RESULT_OK);
                    fused[k] = b.frame(BandSession::kReference);
                }
                int changed = 0, changedOutside = 0;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < 2 * w; ++x) {
                        const size_t at = size_t(y) * (2 * w + 16) + x;
                        const bool differs = fused[0][at] != fused[1][at];
                        changed += differs;
                        changedOutside += differs && x < 2 * (w - 2);
                    }
                const std::string what = std::string(localCurve ? "local" : "normal") + " dx " +
                                         std::to_string(motion.dx) + " exposure " +
                                         std::to_string(e);
                EXPECT_EQ(changedOutside, 0) << what;
                if (e == BandSession::kReference) {
                    EXPECT_GT(changed, 0) << what;
                }
            }
}

// Local-curve mode down to the last rows of the frame, on heights that are multiples of 8:
// row r takes the secondaries' luma maps from node row (r + 4) >> 3 and, with a non-zero
// phase (r + 4) & 7, the node row below it, as long as that first node row lies inside the
// maps; rows past them keep the lines of the last row that lies inside. Raising one node row
// of both secondaries' maps must change every row that reads it (somewhere a secondary
// weighs) and no other row.
TEST(BandPacked422, LocalCurveRowsReadTheirOwnSecondaryMapRows) {
    for (int height : {96, 104}) {
        BandSession plain(264, height, {2, -1, 1}, {-3, 2, 1});
        ASSERT_EQ(plain.RunPass(fusion_test::RunJobsHere<false>), RESULT_OK);
        const int mapRows = plain.session()->fineGridRows;
        const int cols = plain.session()->fineGridStride + 2;
        const size_t rowBytes = 2 * size_t(plain.width());
        for (int k = 1; k <= mapRows + 1; ++k) {
            BandSession raised(264, height, {2, -1, 1}, {-3, 2, 1});
            HdrSession *s = raised.session();
            for (int e : {kMapLumaDark, kMapLumaBright})
                for (int c = 0; c < cols; ++c) s->fineGrids[e][k * cols + c] += 48;
            ASSERT_EQ(raised.RunPass(fusion_test::RunJobsHere<false>), RESULT_OK);
            for (int r = 0; r < height; ++r) {
                const int inside = std::min(r, 8 * mapRows + 3);
                const int g = (inside + 4) >> 3, phase = (inside + 4) & 7;
                const bool reads = g == k || (g + 1 == k && phase != 0);
                const uint8_t *a = plain.frame(2).data() + size_t(r) * plain.pitch();
                const uint8_t *b = raised.frame(2).data() + size_t(r) * raised.pitch();
                EXPECT_EQ(!std::equal(a, a + rowBytes, b), reads)
                    << height << " rows, node row " << k << " raised, row " << r;
            }
        }
    }
}

}  // namespace

namespace {

// Frame sizes whose 8-pixel maps end in a partial node (widths of 8 or 12 mod 16, heights of
// 14 mod 16) and the smallest frame: every mode renders them inside its buffers.
TEST(BandPacked422, RendersAwkwardFrameSizes) {
    for (const auto &[w, h] : {std::pair{96, 96}, std::pair{264, 254}, std::pair{268, 255},
                               std::pair{300, 110}}) {
        for (bool localCurve : {true, false}) {
            BandSession b(w, h, {4, -3, 2}, {-5, 6, 2});
            b.SetLocalCurve(localCurve);
            EXPECT_EQ(b.RunPass(fusion_test::RunJobsHere<false>), RESULT_OK) << w << "x" << h;
        }
    }
}

}  // namespace

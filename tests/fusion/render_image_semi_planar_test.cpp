// The whole-image renders of the semi-planar formats: the band worker's bytes where the two
// walks expand the same rows, normal mode whatever lowResMapsReady holds, the odd row's chroma
// kept for a 4:2:0 pair, the fade's refinements, the checks before any row, progress, cancel and
// the gain row given back on every path.
#include <gtest/gtest.h>

#include <vector>

#include "core/memory.h"
#include "filters/grid_rows.h"
#include "fusion/grid_rows32.h"
#include "fusion/render_image_semi_planar.h"
#include "planar_band_support.h"

namespace {

using fusion_test::BandSession;
using fusion_test::PlanarFrames;
using fusion_test::PlanarJob;
using fusion_test::RunJobsHere;
using fusion_test::RunPlanarJob;

constexpr int kRef = BandSession::kReference;

struct Output {
    std::vector<uint8_t> planes[2];
    bool operator==(const Output &) const = default;
};

Output FreshOutput(const PlanarFrames &f) { return {{f.planes[kRef][0], f.planes[kRef][1]}}; }

void PointOutputAt(HdrSession *s, Output &out) {
    s->outputPlanes[0] = out.planes[0].data();
    s->outputPlanes[1] = out.planes[1].data();
}

int Render(BandSession &b, PlanarFrames &f, Output &out, MemoryContext memory = nullptr,
           ProgressCallback callback = nullptr, void *user = nullptr,
           const RegionRect *rect = nullptr) {
    HdrSession *s = b.session();
    PointOutputAt(s, out);
    uint8_t *luma[3], *chroma[3];
    for (int e = 0; e < 3; ++e) {
        luma[e] = f.planes[e][0].data();
        chroma[e] = f.planes[e][1].data();
    }
    const auto render = f.format == PIXEL_FORMAT_NV16 ? RenderFusedImageSemiPlanar422
                                                      : RenderFusedImageSemiPlanar420;
    return render(memory, s, luma, 3, f.width, f.height, f.pitch[0], chroma, f.pitch[1],
                  rect ? rect : &s->processRect, nullptr, nullptr, callback, user);
}

void FlattenGridRows(int16_t *grid, int cols, int rows, int keep) {
    for (int i = 0; i < rows; ++i)
        std::copy(grid + keep * cols, grid + (keep + 1) * cols, grid + i * cols);
}

constexpr uint32_t kFormats[] = {PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16};

// Grids that do not change down the frame and the fade off: the band worker (rows refreshed
// every fourth row) and the whole-image render (every even row) expand the same rows, and the
// render reads the offset and mask rows the band worker left. Semi-planar 4:2:2's band worker
// fades its chroma rows whatever the flag, so its chroma is compared only for 4:2:0.
TEST(RenderImageSemiPlanar, GivesTheBandWorkersBytesOnFlatGrids) {
    for (uint32_t format : kFormats) {
        SCOPED_TRACE(format);
        BandSession b(520, 300, {0, 0, 3}, {2, -1, 2});
        HdrSession *s = b.session();
        s->offsetFadeEnabled = 0;
        b.SetLocalCurve(false);
        const int cols = s->paddedBlocksAcross, rows = s->paddedBlocksDown;
        for (int16_t *grid : s->fusionWeightGrids) FlattenGridRows(grid, cols, rows, 6);
        FlattenGridRows(s->recoveryMaskGrid, cols, rows, 6);
        for (int16_t *plane : s->paddedBlockPlanes) FlattenGridRows(plane, cols, rows, 6);
        PlanarFrames f(b, format);
        Output band = FreshOutput(f), image = FreshOutput(f);
        PointOutputAt(s, band);
        PlanarJob job{&b, &f, {0, 0, b.height() & ~1, 0}};
        ASSERT_EQ(RunPlanarJob(&job), RESULT_OK);
        ASSERT_EQ(Render(b, f, image), RESULT_OK);
        EXPECT_EQ(image.planes[0], band.planes[0]);
        if (format != PIXEL_FORMAT_NV16) {
            EXPECT_EQ(image.planes[1], band.planes[1]);
        }
        EXPECT_NE(image.planes[0], f.planes[kRef][0]);
    }
}

// With lowResMapsReady set the render still fuses in normal mode: the same bytes as with it
// clear, and neither the 1/8-scale maps nor their lines nor the local-curve table are read.
TEST(RenderImageSemiPlanar, LowResMapsReadyStillRendersNormalMode) {
    for (uint32_t format : kFormats) {
        SCOPED_TRACE(format);
        BandSession b(360, 200, {3, -2, 1}, {-1, 2, 2});
        HdrSession *s = b.session();
        s->offsetFadeEnabled = 1;
        s->globalShift[0] = 2;
        s->globalShift[1] = 2;
        PlanarFrames f(b, format);
        Output plain = FreshOutput(f), flagged = FreshOutput(f);
        b.SetLocalCurve(false);
        ASSERT_EQ(Render(b, f, plain), RESULT_OK);
        b.SetLocalCurve(true);
        uint16_t *localCurve = s->localCurveFusionTable;
        int16_t *grids[kFineGridCount], *lines[9 * kWorkerCount];
        std::copy(std::begin(s->fineGrids), std::end(s->fineGrids), grids);
        std::copy(std::begin(s->mapLineBuffers), std::end(s->mapLineBuffers), lines);
        s->localCurveFusionTable = nullptr;
        std::fill(std::begin(s->fineGrids), std::end(s->fineGrids), nullptr);
        std::fill(std::begin(s->mapLineBuffers), std::end(s->mapLineBuffers), nullptr);
        ASSERT_EQ(Render(b, f, flagged), RESULT_OK);
        s->localCurveFusionTable = localCurve;
        std::copy(grids, grids + kFineGridCount, s->fineGrids);
        std::copy(lines, lines + 9 * kWorkerCount, s->mapLineBuffers);
        EXPECT_TRUE(flagged == plain);
    }
}

// 4:2:0: both rows of a pair fuse the chroma row they share and the odd row's result is the one
// that stays. A scene whose even rows differ from its odd rows gives the chroma of the scene
// whose even rows are copies of the odd ones (no motion, so each row fetches its own row).
TEST(RenderImageSemiPlanar, OddRowOfAPairLeavesTheChroma) {
    Output outputs[2];
    std::vector<uint8_t> lumaOfOddRows[2];
    for (int scene = 0; scene < 2; ++scene) {
        BandSession b(360, 200, {0, 0, 0}, {0, 0, 0});
        b.session()->offsetFadeEnabled = 0;
        for (int e = 0; e < 3; ++e)
            for (int y = 0; y < b.height(); y += 2)
                for (int x = 0; x < b.width(); ++x) {
                    uint8_t *even = b.frame(e).data() + size_t(y) * b.pitch() + 2 * x;
                    even[0] = scene == 0 ? uint8_t(255 - even[0]) : even[b.pitch()];
                }
        PlanarFrames f(b, PIXEL_FORMAT_NV12);
        outputs[scene] = FreshOutput(f);
        ASSERT_EQ(Render(b, f, outputs[scene]), RESULT_OK);
        for (int y = 1; y < b.height(); y += 2)
            lumaOfOddRows[scene].insert(lumaOfOddRows[scene].end(),
                                        outputs[scene].planes[0].begin() + y * f.pitch[0],
                                        outputs[scene].planes[0].begin() + (y + 1) * f.pitch[0]);
    }
    EXPECT_EQ(outputs[0].planes[1], outputs[1].planes[1]);
    EXPECT_EQ(lumaOfOddRows[0], lumaOfOddRows[1]);
    EXPECT_NE(outputs[0].planes[0], outputs[1].planes[0]);
}

// With the fade on, a two-row rectangle refreshes on its even row: semi-planar 4:2:2 fades the
// chroma highlight rows only (its luma highlight row stays as expanded although the dark luma is
// near clipping); 4:2:0 fades all three.
TEST(RenderImageSemiPlanar, FadeRefinesOnEvenRowsAndNeverTheLumaRowOf422) {
    for (uint32_t format : {PIXEL_FORMAT_NV16, PIXEL_FORMAT_NV12}) {
        SCOPED_TRACE(format);
        BandSession b(360, 200, {0, 0, 0}, {0, 0, 0});
        HdrSession *s = b.session();
        s->offsetFadeEnabled = 1;
        PlanarFrames f(b, format);
        std::fill(f.planes[BandSession::kDark][0].begin(), f.planes[BandSession::kDark][0].end(), 250);
        for (int q = 0; q < 2; ++q)  // a strongly coloured dark exposure: chroma factor 0
            for (size_t i = q; i < f.planes[BandSession::kDark][1].size(); i += 2)
                f.planes[BandSession::kDark][1][i] = uint8_t(q ? 40 : 220);
        const int r0 = 40;
        const RegionRect rect = {s->processRect.x, r0, s->processRect.width, 2};
        Output out = FreshOutput(f);
        ASSERT_EQ(Render(b, f, out, nullptr, nullptr, nullptr, &rect), RESULT_OK);

        const int x0 = rect.x, x1 = x0 + rect.width, stride = s->blocksAcross + 2;
        const int gy = (r0 + 16) >> 5, v = (r0 + 16) & 31;
        std::vector<int16_t> expanded[4], mask(x1);
        for (int k = 0; k < 4; ++k) {
            expanded[k].assign(x1, 0);
            const int plane[4] = {0, 2, 5, 6};
            InterpolateGridRow32(expanded[k].data(), x0, x1, gy, s->paddedBlockPlanes[plane[k]],
                                 stride, v);
        }
        InterpolateGridRowSparse32(mask.data(), x0, x1, gy, s->recoveryMaskGrid, stride, v);
        const int16_t *rows = s->offsetRows[0];
        int lumaFaded = 0, chromaFaded = 0;
        for (int x = x0; x < x1; ++x) {
            const int16_t luma = rows[b.width() + x], u = rows[2 * b.width() + x];
            EXPECT_EQ(rows[x], expanded[0][x]) << x;  // the shadow row is never faded
            lumaFaded += luma != expanded[1][x];
            chromaFaded += u != expanded[2][x];
            if (mask[x & ~3] == 0) {
                EXPECT_EQ(luma, expanded[1][x]) << x;
                EXPECT_EQ(u, expanded[2][x]) << x;
            }
        }
        EXPECT_GT(chromaFaded, 0);
        if (format == PIXEL_FORMAT_NV16) {
            EXPECT_EQ(lumaFaded, 0);
        } else {
            EXPECT_GT(lumaFaded, 0);
        }
    }
}

// Missing buffers, grids and tables give 4 before any row; a rectangle without rows gives 0
// after the checks; the gain row goes back to the pool on every path, a cancel included.
TEST(RenderImageSemiPlanar, ChecksBeforeAnyRowAndGivesBackItsGainRow) {
    for (uint32_t format : {PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV16}) {
        SCOPED_TRACE(format);
        BandSession b(200, 100, {1, 1, 0}, {0, 0, 1});
        HdrSession *s = b.session();
        PlanarFrames f(b, format);
        std::vector<uint8_t> buffer(1 << 16);
        MemoryContext pool = InitMemoryPool(buffer.data(), buffer.size());
        const int64_t whole = LargestFreeBlock(pool);
        Output out = FreshOutput(f);
        const Output untouched = FreshOutput(f);
        auto missing = [&](auto *&slot) {
            auto *kept = slot;
            slot = nullptr;
            EXPECT_EQ(Render(b, f, out, pool), RESULT_OUT_OF_MEMORY);
            slot = kept;
            EXPECT_EQ(LargestFreeBlock(pool), whole);
        };
        missing(s->gainGrid);
        missing(s->gainTable);
        missing(s->toneTable);
        missing(s->fusionTable);
        missing(s->recoveryMaskGrid);
        missing(s->fusionWeightGrids[kWeightReference]);
        missing(s->paddedBlockPlanes[1]);
        missing(s->offsetRows[0]);
        missing(s->workerRows[3][0]);
        missing(s->warpBuffer[0]);
        missing(s->runLists[0][0]);
        if (format == PIXEL_FORMAT_NV16) missing(s->chromaTable2);
        EXPECT_TRUE(out == untouched);
        // The render brings its own gain rows, and without the fade it reads no mask grid (a
        // session prepared by the two-call merge has neither).
        {
            Output plain = FreshOutput(f);
            uint16_t *gainRows = s->workerRows16[0];
            int16_t *mask = s->recoveryMaskGrid;
            s->workerRows16[0] = nullptr;
            s->recoveryMaskGrid = nullptr;
            s->offsetFadeEnabled = 0;
            EXPECT_EQ(Render(b, f, plain, pool), RESULT_OK);
            s->offsetFadeEnabled = 1;
            EXPECT_EQ(Render(b, f, plain, pool), RESULT_OUT_OF_MEMORY);
            s->workerRows16[0] = gainRows;
            s->recoveryMaskGrid = mask;
            EXPECT_EQ(LargestFreeBlock(pool), whole);
        }

        const RegionRect empty = {s->processRect.x, 0, s->processRect.width, 0};
        EXPECT_EQ(Render(b, f, out, pool, nullptr, nullptr, &empty), RESULT_OK);
        uint16_t *table = s->fusionTable;
        s->fusionTable = nullptr;
        EXPECT_EQ(Render(b, f, out, pool, nullptr, nullptr, &empty), RESULT_OUT_OF_MEMORY);
        s->fusionTable = table;
        EXPECT_TRUE(out == untouched);
        EXPECT_EQ(LargestFreeBlock(pool), whole);

        auto cancel = [](int64_t, int64_t, void *) -> int64_t { return RESULT_CANCELLED; };
        EXPECT_EQ(Render(b, f, out, pool, cancel), RESULT_CANCELLED);
        EXPECT_TRUE(out == untouched);
        EXPECT_EQ(LargestFreeBlock(pool), whole);

        std::vector<int64_t> reports;
        auto record = [](int64_t percent, int64_t, void *user) -> int64_t {
            static_cast<std::vector<int64_t> *>(user)->push_back(percent);
            return 0;
        };
        EXPECT_EQ(Render(b, f, out, pool, record, &reports), RESULT_OK);
        EXPECT_EQ(reports, (std::vector<int64_t>{25, 25 + 25 * 32 / 100, 25 + 25 * 64 / 100,
                                                 25 + 25 * 96 / 100}));
        EXPECT_FALSE(out == untouched);
        EXPECT_EQ(LargestFreeBlock(pool), whole);

        EXPECT_EQ(Render(b, f, out, nullptr, nullptr, nullptr, nullptr), RESULT_OK);
        EXPECT_EQ(RenderFusedImageSemiPlanar420(pool, nullptr, nullptr, 3, 200, 100, 200, nullptr,
                                                200, &s->processRect, nullptr, nullptr, nullptr,
                                                nullptr),
                  RESULT_INVALID_ARGUMENT);
        EXPECT_EQ(LargestFreeBlock(pool), whole);
        std::vector<uint8_t> small(3 * 2 * 200);
        EXPECT_EQ(Render(b, f, out, InitMemoryPool(small.data(), small.size())),
                  RESULT_OUT_OF_MEMORY);
    }
}

}  // namespace

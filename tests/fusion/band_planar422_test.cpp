// The planar 4:2:2 band worker, its whole-image form and its row drivers: bands against one
// band and the whole image, bands that start on odd rows, the luma of the planar 4:2:0 worker,
// the rows the walk leaves alone with the fade off, checks, progress, cancel and the memory
// the whole-image form takes.
#include <gtest/gtest.h>

#include <vector>

#include "core/memory.h"
#include "fusion/direct_output_rows.h"
#include "planar_band_support.h"

namespace {

using fusion_test::BandSession;
using fusion_test::PlanarFrames;
using fusion_test::PlanarJob;
using fusion_test::RunJobsHere;
using fusion_test::RunPlanarJob;
using fusion_test::RunPlanarPass;

constexpr int kRef = BandSession::kReference;

struct PlaneOutput {
    std::vector<uint8_t> planes[3];
    bool operator==(const PlaneOutput &) const = default;
};

// Output planes made from the reference's planes, so rows left unrendered keep its bytes.
PlaneOutput FreshOutput(const PlanarFrames &f) {
    PlaneOutput out;
    for (int k = 0; k < 3; ++k) out.planes[k] = f.planes[kRef][k];
    return out;
}

void PointOutputAt(HdrSession *s, PlaneOutput &out) {
    for (int k = 0; k < 3; ++k) s->outputPlanes[k] = out.planes[k].data();
}

// Renders the bands with RenderFusedRowsPlanar422 into separate planes.
int RenderBands(BandSession &b, PlanarFrames &f, const std::vector<RowBand> &bands,
                PlaneOutput &out, int (*runner)(int, int (*)(void *), void *, size_t) = RunJobsHere<false>) {
    PointOutputAt(b.session(), out);
    std::vector<PlanarJob> jobs;
    for (const RowBand &band : bands) jobs.push_back({&b, &f, band});
    return runner(static_cast<int>(jobs.size()), RunPlanarJob, jobs.data(), sizeof(PlanarJob));
}

struct PlanePointers {
    uint8_t *p[3][3];
    explicit PlanePointers(PlanarFrames &f) {
        for (int k = 0; k < 3; ++k)
            for (int e = 0; e < 3; ++e) p[k][e] = f.planes[e][k].data();
    }
};

int RenderImage(BandSession &b, PlanarFrames &f, PlaneOutput &out, MemoryContext memory = nullptr,
                ProgressCallback callback = nullptr, void *user = nullptr,
                const RegionRect *rect = nullptr) {
    HdrSession *s = b.session();
    PointOutputAt(s, out);
    PlanePointers p(f);
    return RenderFusedImagePlanar422(memory, s, p.p[0], 0, f.width, f.height, f.pitch[0], p.p[1],
                                     f.pitch[1], p.p[2], f.pitch[2], rect ? rect : &s->processRect,
                                     nullptr, nullptr, callback, user);
}

// Every row of a grid set to its row `keep`, so the expanded rows do not change down the frame.
void FlattenGridRows(int16_t *grid, int cols, int rows, int keep) {
    for (int i = 0; i < rows; ++i)
        std::copy(grid + keep * cols, grid + (keep + 1) * cols, grid + i * cols);
}

// A frame with whole-pixel and 1/16-pixel motion and a global shift for the refinement.
struct Scene : BandSession {
    explicit Scene(bool fade) : BandSession(360, 232, {4, -6, 0}, {-3, 5, 1}) {
        HdrSession *s = session();
        s->offsetFadeEnabled = fade ? 1 : 0;
        s->globalShift[0] = 2;
        s->globalShift[1] = -2;
    }
};

int Height(const BandSession &b) { return b.height() & ~1; }

// Four bands in reverse order, one band over the whole rectangle and the whole-image render
// give the same bytes; the local-curve flag the fixture sets changes nothing (normal mode only).
TEST(BandPlanar422, BandsOneBandAndWholeImageAgree) {
    for (bool fade : {true, false}) {
        SCOPED_TRACE(fade ? "fade" : "no fade");
        Scene b(fade);
        PlanarFrames f(b, PIXEL_FORMAT_YUV422P);
        PlaneOutput bands = FreshOutput(f), one = FreshOutput(f), image = FreshOutput(f),
                    normal = FreshOutput(f);
        ASSERT_EQ(RenderBands(b, f, b.Bands(), bands, RunJobsHere<true>), RESULT_OK);
        ASSERT_EQ(RenderBands(b, f, {{0, 0, Height(b), 0}}, one), RESULT_OK);
        ASSERT_EQ(RenderImage(b, f, image), RESULT_OK);
        b.SetLocalCurve(false);
        ASSERT_EQ(RenderBands(b, f, {{2, 0, Height(b), 0}}, normal), RESULT_OK);
        EXPECT_TRUE(bands == one);
        EXPECT_TRUE(image == one);
        EXPECT_TRUE(normal == one);
        for (int k = 0; k < 3; ++k) EXPECT_NE(one.planes[k], f.planes[kRef][k]) << k;
    }
}

// A band that starts on an odd row (or on an even row off the 8-row gain grid) renders its
// rows as a band from row 0 does: it refreshes from the even row before it and replays the
// gain rows from the last multiple of 8.
TEST(BandPlanar422, BandStartingOnAnOddRowMatchesABandFromRowZero) {
    for (bool fade : {true, false})
        for (int first : {1, 5, 37, 38, 99}) {
            SCOPED_TRACE(testing::Message() << (fade ? "fade " : "no fade ") << first);
            Scene b(fade);
            PlanarFrames f(b, PIXEL_FORMAT_YUV422P);
            PlaneOutput whole = FreshOutput(f), tail = FreshOutput(f);
            ASSERT_EQ(RenderBands(b, f, {{0, 0, Height(b), 0}}, whole), RESULT_OK);
            ASSERT_EQ(RenderBands(b, f, {{1, first, Height(b), first}}, tail), RESULT_OK);
            const int pitches[3] = {f.pitch[0], f.pitch[1], f.pitch[2]};
            for (int k = 0; k < 3; ++k) {
                const size_t from = size_t(first) * pitches[k];
                EXPECT_TRUE(std::equal(whole.planes[k].begin() + from, whole.planes[k].end(),
                                       tail.planes[k].begin() + from))
                    << k;
                EXPECT_TRUE(std::equal(tail.planes[k].begin(), tail.planes[k].begin() + from,
                                       f.planes[kRef][k].begin()))
                    << k;
            }
        }
}

// With grids that do not change down the frame (so the two refresh cadences expand the same
// rows) and the fade off, the luma equals the planar 4:2:0 worker's: the same fetch luma and
// the same kernels. The 4:2:0 pass runs first on the same workers and leaves in their offset
// and mask rows what the 4:2:2 walk, which never refreshes them here, then reads.
TEST(BandPlanar422, LumaEqualsThePlanar420Worker) {
    for (int keep : {1, 3, 6}) {
        SCOPED_TRACE(keep);
        BandSession b(520, 300, {0, 0, 3}, {2, -1, 2});
        HdrSession *s = b.session();
        s->offsetFadeEnabled = 0;
        b.SetLocalCurve(false);
        const int cols = s->paddedBlocksAcross, rows = s->paddedBlocksDown;
        for (int16_t *grid : s->fusionWeightGrids) FlattenGridRows(grid, cols, rows, keep);
        FlattenGridRows(s->recoveryMaskGrid, cols, rows, keep);
        for (int16_t *plane : s->paddedBlockPlanes) FlattenGridRows(plane, cols, rows, keep);
        PlanarFrames i420(b, PIXEL_FORMAT_I420), i422(b, PIXEL_FORMAT_YUV422P);
        ASSERT_EQ(RunPlanarPass(b, i420, false, RunJobsHere<false>), RESULT_OK);
        ASSERT_EQ(RunPlanarPass(b, i422, false, RunJobsHere<false>), RESULT_OK);
        EXPECT_EQ(i422.output[0], i420.output[0]);
        EXPECT_NE(i422.output[0], i422.planes[kRef][0]);
    }
}

// With the fade off the walk never writes the offset rows or the mask row (and never refines);
// with it on, it does.
TEST(BandPlanar422, FadeOffLeavesOffsetAndMaskRowsAlone) {
    for (bool fade : {false, true}) {
        Scene b(fade);
        HdrSession *s = b.session();
        PlanarFrames f(b, PIXEL_FORMAT_YUV422P);
        const size_t offsetValues = 4 * size_t(b.width()), maskValues = s->processRect.width;
        std::fill(s->offsetRows[0], s->offsetRows[0] + offsetValues, int16_t{77});
        std::fill(s->workerRows[3][0], s->workerRows[3][0] + maskValues, int16_t{33});
        PlaneOutput out = FreshOutput(f);
        ASSERT_EQ(RenderBands(b, f, {{0, 0, 64, 0}}, out), RESULT_OK);
        const auto unchanged = [](const int16_t *row, size_t n, int16_t v) {
            return std::all_of(row, row + n, [v](int16_t x) { return x == v; });
        };
        EXPECT_EQ(unchanged(s->offsetRows[0], offsetValues, 77), !fade);
        EXPECT_EQ(unchanged(s->workerRows[3][0], maskValues, 33), !fade);
    }
}

TEST(BandPlanar422, ChecksArgumentsAndBuffers) {
    BandSession b(200, 96, {0, 0, 0}, {0, 0, 0});
    HdrSession *s = b.session();
    PlanarFrames f(b, PIXEL_FORMAT_YUV422P);
    PlanePointers p(f);
    PlaneOutput out = FreshOutput(f);
    PointOutputAt(s, out);
    const RowBand band = {0, 0, 8, 0};
    auto run = [&](const RowBand &bd, uint8_t *const *v = nullptr) {
        return RenderFusedRowsPlanar422(&bd, s, p.p[0], 0, f.width, f.height, f.pitch[0], p.p[1],
                                        f.pitch[1], v ? v : p.p[2], f.pitch[2], &s->processRect);
    };
    EXPECT_EQ(RenderFusedRowsPlanar422(nullptr, s, p.p[0], 0, f.width, f.height, f.pitch[0],
                                       p.p[1], f.pitch[1], p.p[2], f.pitch[2], &s->processRect),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run({4, 0, 8, 0}), RESULT_INVALID_ARGUMENT);
    uint8_t *noV[3] = {p.p[2][0], nullptr, p.p[2][2]};
    EXPECT_EQ(run(band, noV), RESULT_INVALID_ARGUMENT);
    s->outputPlanes[2] = nullptr;
    EXPECT_EQ(run(band), RESULT_INVALID_ARGUMENT);
    PointOutputAt(s, out);
    EXPECT_EQ(run({0, 8, 8, 0}), RESULT_OK);  // no rows
    // A missing buffer returns 4 before any row is written, rows or not.
    auto missing = [&](auto *&slot) {
        auto *kept = slot;
        slot = nullptr;
        EXPECT_EQ(run(band), RESULT_OUT_OF_MEMORY);
        EXPECT_EQ(run({0, 8, 8, 0}), RESULT_OUT_OF_MEMORY);
        slot = kept;
    };
    missing(s->fusionTable);
    missing(s->recoveryMaskGrid);
    missing(s->fusionWeightGrids[kWeightBright]);
    missing(s->warpBuffer[0]);
    missing(s->offsetRows[0]);
    missing(s->gainTable);
    missing(s->gainGrid);
    missing(s->toneTable);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(out.planes[k], f.planes[kRef][k]);
    // In place without the luma copy the border estimates have nothing to read.
    for (int k = 0; k < 3; ++k) s->outputPlanes[k] = p.p[k][kRef];
    EXPECT_EQ(run(band), RESULT_OUT_OF_MEMORY);
}

// The whole-image render reports progressBase + 25 r / height every 32 rows, stops at a cancel,
// and gives back its gain row on every path.
TEST(BandPlanar422, WholeImageProgressCancelAndMemory) {
    BandSession b(200, 130, {1, 0, 0}, {0, 1, 1});
    HdrSession *s = b.session();
    PlanarFrames f(b, PIXEL_FORMAT_YUV422P);
    PlaneOutput out = FreshOutput(f);
    std::vector<uint8_t> buffer(1 << 16);
    MemoryContext pool = InitMemoryPool(buffer.data(), buffer.size());
    const int64_t whole = LargestFreeBlock(pool);

    std::vector<int64_t> reports;
    auto record = [](int64_t percent, int64_t, void *user) -> int64_t {
        static_cast<std::vector<int64_t> *>(user)->push_back(percent);
        return 0;
    };
    ASSERT_EQ(RenderImage(b, f, out, pool, record, &reports), RESULT_OK);
    EXPECT_EQ(reports, (std::vector<int64_t>{25, 25 + 25 * 32 / 130, 25 + 25 * 64 / 130,
                                             25 + 25 * 96 / 130, 25 + 25 * 128 / 130}));
    EXPECT_EQ(LargestFreeBlock(pool), whole);

    auto cancel = [](int64_t, int64_t, void *) -> int64_t { return RESULT_CANCELLED; };
    PlaneOutput untouched = FreshOutput(f);
    EXPECT_EQ(RenderImage(b, f, untouched, pool, cancel), RESULT_CANCELLED);
    EXPECT_TRUE(untouched == FreshOutput(f));
    EXPECT_EQ(LargestFreeBlock(pool), whole);

    const RegionRect empty = {s->processRect.x, 0, s->processRect.width, 0};
    EXPECT_EQ(RenderImage(b, f, untouched, pool, nullptr, nullptr, &empty), RESULT_OK);
    EXPECT_EQ(LargestFreeBlock(pool), whole);
    uint16_t *kept = s->fusionTable;
    s->fusionTable = nullptr;
    EXPECT_EQ(RenderImage(b, f, untouched, pool), RESULT_OUT_OF_MEMORY);
    s->fusionTable = kept;
    EXPECT_EQ(LargestFreeBlock(pool), whole);
    EXPECT_TRUE(untouched == FreshOutput(f));

    // A pool too small for the gain row.
    std::vector<uint8_t> small(3 * 2 * 200);
    EXPECT_EQ(RenderImage(b, f, untouched, InitMemoryPool(small.data(), small.size())),
              RESULT_OUT_OF_MEMORY);
}

// The chroma-gain row drivers write the plain drivers' luma; their chroma lies on the same side
// of neutral and at least as far from it (a monotone chroma table); a neutral scene gives the
// same bytes.
TEST(BandPlanar422, ChromaGainDriversPushChromaFromNeutral) {
    for (bool neutral : {false, true}) {
        BandSession b(360, 96, {2, 0, 0}, {0, 0, 1});
        HdrSession *s = b.session();
        s->offsetFadeEnabled = 0;
        for (int i = 0; i < 4096; ++i) s->chromaTable[i] = uint8_t(i >> 4);
        if (neutral)
            for (int e = 0; e < 3; ++e)
                for (size_t i = 1; i < b.frame(e).size(); i += 2) b.frame(e)[i] = 128;
        PlanarFrames f(b, PIXEL_FORMAT_YUV422P);
        PlanePointers p(f);
        using Driver = void (*)(const PlanarBandContext &, const BandRow &);
        const Driver plain[3] = {
            FuseOutputRowPlanar422, FuseOutputRowRefOnlyPlanar422,
            [](const PlanarBandContext &c, const BandRow &r) { FuseOutputRowOneSecondaryPlanar422(c, r, true); }};
        const Driver gain[3] = {
            FuseOutputRowChromaGainPlanar422, FuseOutputRowRefOnlyChromaGainPlanar422,
            [](const PlanarBandContext &c, const BandRow &r) {
                FuseOutputRowOneSecondaryChromaGainPlanar422(c, r, true);
            }};
        const int r = 40;
        for (int d = 0; d < 3; ++d) {
            PlaneOutput outs[2] = {FreshOutput(f), FreshOutput(f)};
            for (int set = 0; set < 2; ++set) {
                PointOutputAt(s, outs[set]);
                PlanarBandContext c;
                const direct_output::InputPlanes in = {{p.p[0], p.p[1], p.p[2]}, {f.pitch[0], f.pitch[1], f.pitch[2]}, 3};
                ASSERT_EQ(direct_output::SetUpContext(c, s, 0, in, f.width, f.height, s->processRect,
                                                      Height(b), false),
                          RESULT_OK);
                band_detail::BandFlags flags;
                band_detail::RefreshWeightRows(c, s, 0, r, flags);
                direct_output::ExpandGainRow(c, s, s->workerRows16[0], r, r);
                (set == 0 ? plain : gain)[d](c, {r, (r + 128) >> 8, (r + 128) & 255, true});
            }
            const size_t lumaRow = size_t(r) * f.pitch[0];
            EXPECT_TRUE(std::equal(outs[0].planes[0].begin() + lumaRow,
                                   outs[0].planes[0].begin() + lumaRow + f.width,
                                   outs[1].planes[0].begin() + lumaRow));
            int further = 0;
            for (int k = 1; k < 3; ++k)
                for (int q = 0; q < int(s->processRect.width / 2); ++q) {
                    const int a = outs[0].planes[k][size_t(r) * f.pitch[k] + q] - 128;
                    const int g = outs[1].planes[k][size_t(r) * f.pitch[k] + q] - 128;
                    if (neutral) {
                        EXPECT_EQ(g, 0);
                        EXPECT_EQ(a, 0);
                        continue;
                    }
                    if (a != 0) {
                        EXPECT_GT(a * g, 0) << d << " " << k << " " << q;
                    }
                    EXPECT_GE(std::abs(g), std::abs(a)) << d << " " << k << " " << q;
                    further += std::abs(g) > std::abs(a);
                }
            if (!neutral) {
                EXPECT_GT(further, 0) << d;
            }
        }
    }
}

}  // namespace

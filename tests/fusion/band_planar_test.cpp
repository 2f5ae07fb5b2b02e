// The planar and semi-planar band workers against the packed 4:2:2 worker on the same session
// and the same exposures converted to each layout.
#include <gtest/gtest.h>

#include <vector>

#include "planar_band_support.h"

namespace {

using fusion_test::BandSession;
using fusion_test::PlanarFrames;
using fusion_test::PlanarJob;
using fusion_test::RunJobsHere;
using fusion_test::RunPlanarJob;
using fusion_test::RunPlanarPass;

// Where the format's kernels are the packed ones, the planar pass gives the packed pass's bytes:
// luma wherever the luma offsets are sampled alike (all but semi-planar 4:2:0 in local-curve
// mode), chroma where the layouts keep the same pairs (4:2:2 in local-curve mode; in normal
// mode it pulls the bright chroma in), and 4:2:0 chroma row k equal to the packed chroma of the
// row that keeps it: row 2k in local-curve mode, row 2k + 1 in normal mode (rendered in place,
// so the odd row must not fuse chroma the even row already wrote). The motion is 1/16-pixel
// (the whole-pixel border estimate of the planar formats sums luma from another column).
TEST(BandPlanar, FusesLikeThePackedBandWhereTheKernelsAgree) {
    struct Case {
        uint32_t format;
        bool localCurve;
        bool sameLuma;
        int chromaRowOf2k;  // packed row 2k + this holds chroma row k; -1: not compared
    };
    const Case cases[] = {
        {PIXEL_FORMAT_I420, true, true, 0},   {PIXEL_FORMAT_I420, false, true, 1},
        {PIXEL_FORMAT_NV12, true, false, 0},  {PIXEL_FORMAT_NV12, false, true, 1},
        {PIXEL_FORMAT_NV16, true, true, 0},   {PIXEL_FORMAT_NV16, false, true, -1},
    };
    for (const Case &c : cases) {
        BandSession b(520, 300, {0, 0, 3}, {0, 0, 2});
        b.PairChromaRows();
        b.SetLocalCurve(c.localCurve);
        b.session()->offsetFadeEnabled = 0;
        PlanarFrames planar(b, c.format);
        ASSERT_EQ(b.RunPass(RunJobsHere<false>), RESULT_OK);
        ASSERT_EQ(RunPlanarPass(b, planar, true, RunJobsHere<false>), RESULT_OK);
        const std::vector<uint8_t> &packed = b.frame(BandSession::kReference);
        const int ref = BandSession::kReference, bottom = b.height() & ~1, right = b.width() & ~7;
        int lumaDiffs = 0, chromaDiffs = 0;
        for (int y = 0; y < bottom; ++y)
            for (int x = 0; x < right; ++x)
                lumaDiffs += planar.Luma(ref, x, y) != packed[size_t(y) * b.pitch() + 2 * x];
        if (c.chromaRowOf2k >= 0) {
            const int step = planar.Subsampled() ? 2 : 1;
            for (int y = 0; y < bottom; y += step)
                for (int x = 0; x < right; x += 2)
                    for (int k = 0; k < 2; ++k)
                        chromaDiffs +=
                            planar.Chroma(ref, x, y / step, k) !=
                            packed[size_t(y + (step == 2 ? c.chromaRowOf2k : 0)) * b.pitch() +
                                   2 * x + 1 + 2 * k];
        }
        const std::string what = std::to_string(c.format) + (c.localCurve ? " local" : " normal");
        if (c.sameLuma)
            EXPECT_EQ(lumaDiffs, 0) << what;
        else
            EXPECT_GT(lumaDiffs, 0) << what;
        EXPECT_EQ(chromaDiffs, 0) << what;
    }
}

TEST(BandPlanar, MissingBuffersAndCancel) {
    BandSession b(200, 96, {0, 0, 0}, {0, 0, 0});
    PlanarFrames f(b, PIXEL_FORMAT_NV12);
    HdrSession *s = b.session();
    // In place without the luma copy: nothing to read the border estimates from.
    s->outputPlanes[0] = f.planes[BandSession::kReference][0].data();
    s->outputPlanes[1] = f.planes[BandSession::kReference][1].data();
    PlanarJob job{&b, &f, {0, 0, 8, 0}};
    EXPECT_EQ(RunPlanarJob(&job), RESULT_OUT_OF_MEMORY);
    PlanarFrames i420(b, PIXEL_FORMAT_I420);
    job.frames = &i420;
    EXPECT_EQ(RunPlanarJob(&job), RESULT_INVALID_ARGUMENT);  // no output V plane
    job.frames = &f;
    job.band.workerIndex = 4;
    EXPECT_EQ(RunPlanarJob(&job), RESULT_INVALID_ARGUMENT);
    job.band.workerIndex = 0;
    auto cancel = [](int64_t, int64_t, void *) -> int64_t { return RESULT_CANCELLED; };
    ASSERT_EQ(CopyReferenceLumaPlaneForBandPass(nullptr, s, f.planes[2][0].data(), f.width,
                                                f.height, f.pitch[0]),
              RESULT_OK);
    uint8_t *p[3][3] = {};
    for (int e = 0; e < 3; ++e)
        for (int k = 0; k < 2; ++k) p[k][e] = f.planes[e][k].data();
    EXPECT_EQ(RenderFusedBandSemiPlanar420(&job.band, s, p[0], f.width, f.height, f.pitch[0], p[1],
                                           f.pitch[1], &s->processRect, nullptr, nullptr, cancel,
                                           nullptr),
              RESULT_CANCELLED);
    EXPECT_EQ(CopyReferenceLumaPlaneForBandPass(nullptr, s, p[0][0], f.width, f.height,
                                                f.width - 1),
              RESULT_INVALID_ARGUMENT);
    FreeAndClear(nullptr, s->bandReferenceLuma);
}

}  // namespace

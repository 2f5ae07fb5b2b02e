// The packed 4:2:2 band pass gives, bit for bit, the same picture on four threads as with its
// bands one after another in either order, although it renders the reference in place and the
// border estimates of a large vertical shift read rows of other bands.
#include <gtest/gtest.h>

#include "fusion/band_session_support.h"

namespace {

using fusion_test::BandSession;
using fusion_test::MeshMotion;
using fusion_test::RunJobsHere;

TEST(BandPassPacked422Threads, FourThreadsMatchBandsInEitherOrder) {
    struct Case {
        const char *name;
        bool localCurve;
        MeshMotion dark, bright;
    };
    // A dark shift of 80 rows makes the top rows' border estimates read band 1's rows.
    for (const Case &c : {Case{"local-curve, sub-pixel mesh", true, {2, 80, 0}, {-3, -1, 2}},
                          Case{"normal, whole-pixel shifts", false, {5, -70, 0}, {-6, 3, 0}},
                          Case{"normal, sub-pixel mesh", false, {1, 2, 3}, {0, -2, 2}}}) {
        SCOPED_TRACE(c.name);
        BandSession b(264, 254, c.dark, c.bright);
        b.SetLocalCurve(c.localCurve);
        ASSERT_EQ(b.RunPass(RunParallelJobs), RESULT_OK);
        const std::vector<uint8_t> threaded = b.frame(BandSession::kReference);
        for (auto runner : {RunJobsHere<false>, RunJobsHere<true>}) {
            b.RestoreInputs();
            ASSERT_EQ(b.RunPass(runner), RESULT_OK);
            EXPECT_EQ(b.frame(BandSession::kReference), threaded);
        }
        b.RestoreInputs();
        EXPECT_NE(b.frame(BandSession::kReference), threaded);  // the pass did change the picture
    }
}

int64_t CancelAtSecondReport(int64_t, int64_t, void *user) {
    return ++*static_cast<int *>(user) == 2 ? RESULT_CANCELLED : 0;
}

TEST(BandPassPacked422Threads, CancelStopsBandZeroAndThePassReportsIt) {
    BandSession b(264, 254, {2, 1, 1}, {-1, 0, 1});
    int reports = 0;
    EXPECT_EQ(b.RunPass(RunParallelJobs, CancelAtSecondReport, &reports), RESULT_CANCELLED);
    EXPECT_EQ(reports, 2);
    // Band 0 stopped at row 32: the rows from there to its end keep the reference's pixels.
    const std::vector<uint8_t> &original = b.frame(BandSession::kReference);
    BandSession fresh(264, 254, {2, 1, 1}, {-1, 0, 1});
    const size_t rowBytes = size_t(b.pitch());
    const auto bands = b.Bands();
    for (int r = 32; r < bands[0].endRow; ++r)
        EXPECT_EQ(0, std::memcmp(original.data() + r * rowBytes,
                                 fresh.frame(BandSession::kReference).data() + r * rowBytes, 2 * 264))
            << r;
}

}  // namespace

// The planar and semi-planar band passes give, bit for bit, the same picture rendered in place on
// four threads as rendered band after band into separate planes: no band reads luma or chroma
// another row has fused.
#include <gtest/gtest.h>

#include "fusion/planar_band_support.h"

namespace {

using fusion_test::BandSession;
using fusion_test::PlanarFrames;
using fusion_test::RunJobsHere;
using fusion_test::RunPlanarPass;

// Rendered in place on four threads or into separate planes band after band, with the fade and
// whole-pixel motion that takes the border estimate: the same bytes.
TEST(BandPlanarThreads, InPlaceOnFourThreadsMatchesSeparateOutput) {
    for (uint32_t format : {PIXEL_FORMAT_I420, PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV16}) {
        for (bool localCurve : {true, false}) {
            BandSession b(360, 232, {4, -6, 0}, {-3, 5, 1});
            b.SetLocalCurve(localCurve);
            b.session()->offsetFadeEnabled = 1;
            b.session()->globalShift[0] = 2;
            b.session()->globalShift[1] = -2;
            PlanarFrames inPlace(b, format), separate(b, format);
            ASSERT_EQ(RunPlanarPass(b, inPlace, true, RunParallelJobs), RESULT_OK);
            ASSERT_EQ(RunPlanarPass(b, separate, false, RunJobsHere<true>), RESULT_OK);
            const int ref = BandSession::kReference;
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(inPlace.planes[ref][k], separate.output[k])
                    << format << (localCurve ? " local" : " normal") << " plane " << k;
            EXPECT_NE(inPlace.planes[ref][0], separate.planes[ref][0]);
        }
    }
}

}  // namespace

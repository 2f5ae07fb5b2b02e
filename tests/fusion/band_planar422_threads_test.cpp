// The planar 4:2:2 band worker on four threads, rendering in place, gives the bytes of the same
// bands rendered one after another into separate planes and of the whole-image render.
#include <gtest/gtest.h>

#include "fusion/planar_band_support.h"

namespace {

using fusion_test::BandSession;
using fusion_test::PlanarFrames;
using fusion_test::RunJobsHere;
using fusion_test::RunPlanarPass;

TEST(BandPlanar422Threads, InPlaceOnFourThreadsMatchesBandsInTurnAndTheWholeImage) {
    for (bool fade : {true, false}) {
        BandSession b(360, 232, {4, -6, 0}, {-3, 5, 1});
        HdrSession *s = b.session();
        s->offsetFadeEnabled = fade ? 1 : 0;
        s->globalShift[0] = 2;
        s->globalShift[1] = -2;
        PlanarFrames inPlace(b, PIXEL_FORMAT_YUV422P), separate(b, PIXEL_FORMAT_YUV422P),
            image(b, PIXEL_FORMAT_YUV422P);
        const int ref = BandSession::kReference;
        ASSERT_EQ(RunPlanarPass(b, inPlace, true, RunParallelJobs), RESULT_OK);
        ASSERT_EQ(RunPlanarPass(b, separate, false, RunJobsHere<true>), RESULT_OK);
        uint8_t *p[3][3];
        for (int k = 0; k < 3; ++k) {
            image.output[k] = image.planes[ref][k];
            s->outputPlanes[k] = image.output[k].data();
            for (int e = 0; e < 3; ++e) p[k][e] = image.planes[e][k].data();
        }
        ASSERT_EQ(RenderFusedImagePlanar422(nullptr, s, p[0], 0, image.width, image.height,
                                            image.pitch[0], p[1], image.pitch[1], p[2],
                                            image.pitch[2], &s->processRect, nullptr, nullptr,
                                            nullptr, nullptr),
                  RESULT_OK);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(inPlace.planes[ref][k], separate.output[k]) << fade << " plane " << k;
            EXPECT_EQ(image.output[k], separate.output[k]) << fade << " plane " << k;
        }
        EXPECT_NE(separate.output[0], separate.planes[ref][0]);
    }
}

}  // namespace

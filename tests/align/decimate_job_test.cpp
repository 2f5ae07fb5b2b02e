// The thumbnail job routine: the whole image at factor 8 into the caller's output, the same
// bytes as a direct reduction, also when run as a job on worker threads.
#include <gtest/gtest.h>

#include <vector>

#include "align/decimate.h"
#include "align/decimate_job.h"
#include "core/threads.h"
#include "decimate_support.h"

namespace {

using decimate_test::Output444;
using decimate_test::RandomImage;
using decimate_test::TestImage;

std::vector<uint8_t> Bytes(const Output444 &out, int plane) {
    const ImageDesc &d = out.desc;
    const uint8_t *p = d.ppu8Plane[plane];
    return {p, p + static_cast<size_t>(d.pi32Pitch[plane]) * d.i32Height};
}

TEST(DecimateJobWorker, ReducesTheWholeImageByEightOnWorkerThreads) {
    TestImage images[2] = {RandomImage(PIXEL_FORMAT_NV12, 200, 136, 5),
                           RandomImage(PIXEL_FORMAT_YUYV, 120, 96, 6)};
    // 200 x 136 gives 24 x 16; 120 x 96 gives 14 x 12.
    Output444 jobs[2] = {Output444(24, 16), Output444(14, 12)};
    DecimateJob records[2] = {{&images[0].desc, &jobs[0].desc}, {&images[1].desc, &jobs[1].desc}};
    ASSERT_EQ(RunParallelJobs(2, DecimateJobWorker, records, sizeof(DecimateJob)), RESULT_OK);
    for (int i = 0; i < 2; ++i) {
        Output444 direct(jobs[i].desc.i32Width, jobs[i].desc.i32Height);
        ASSERT_EQ(DecimateToYuv444(nullptr, &images[i].desc, &direct.desc, nullptr, 8, 0),
                  RESULT_OK);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(Bytes(jobs[i], p), Bytes(direct, p)) << i << " " << p;
    }
}

TEST(DecimateJobWorker, PassesTheReductionsRefusals) {
    TestImage image = RandomImage(PIXEL_FORMAT_NV12, 200, 136, 5);
    Output444 small(8, 8);  // cannot hold 24 x 16
    DecimateJob job = {&image.desc, &small.desc};
    EXPECT_EQ(DecimateJobWorker(&job), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(DecimateJobWorker(nullptr), RESULT_INVALID_ARGUMENT);
}

}  // namespace

// The first halves of the merge into the intermediate (top tiles, band 0) on a second thread
// give the intermediate and the weights of the sequential run; a thread that fails to start
// has its half run on the calling thread.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "alt/intermediate_image.h"
#include "intermediate_merge_support.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;
using alt_merge::IntermediateOutputs;

std::atomic<int> gRefusedStarts{0};

ThreadHandle RefuseToStart(ThreadRoutine, void *) {
    ++gRefusedStarts;
    return nullptr;
}

struct Result {
    std::vector<int16_t> samples, weights;
};

Result MergeWith(ThreadStarter starter, int32_t layout, uint32_t format = PIXEL_FORMAT_YUYV) {
    SessionHolder h;
    HdrSession *s = h.session;
    s->threadStarter = starter;
    Bracket b(s->gammaCompressTable, format, 1024, 768, 6, -4);
    IntermediateOutputs out(b.inputs()[0], layout);
    EXPECT_EQ(MergeToIntermediate(nullptr, s, b.inputs(), 0, 3, out.descs, layout, 0, 0, nullptr,
                                  nullptr),
              RESULT_OK);
    Result r;
    // Every byte of the output planes: what the merge wrote and what it left.
    for (const auto &descriptor : out.planes)
        for (const auto &plane : descriptor)
            for (size_t i = 0; i + 1 < plane.size(); i += 2)
                r.samples.push_back(int16_t(plane[i] | plane[i + 1] << 8));
    const int64_t cells = int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown;
    for (int16_t *g : s->fusionWeightGrids) r.weights.insert(r.weights.end(), g, g + cells);
    return r;
}

TEST(MergeToIntermediateThreads, SecondThreadGivesTheSequentialIntermediate) {
    for (int32_t layout : {INTERMEDIATE_LAYOUT_PARITY_SPLIT, INTERMEDIATE_LAYOUT_FULL}) {
        gRefusedStarts = 0;
        const Result inline_ = MergeWith(RefuseToStart, layout);
        EXPECT_EQ(gRefusedStarts.load(), 2);  // top tiles and band 0, both run inline
        const Result threaded = MergeWith(nullptr, layout);
        ASSERT_FALSE(threaded.samples.empty());
        EXPECT_TRUE(threaded.samples == inline_.samples) << layout;
        EXPECT_TRUE(threaded.weights == inline_.weights) << layout;
    }
}

// The planar and semi-planar band passes: the same bands on two threads or one.
TEST(MergeToIntermediateThreads, PlanarFormatsGiveTheSequentialIntermediate) {
    for (uint32_t format : {PIXEL_FORMAT_I420, PIXEL_FORMAT_YUV422P, PIXEL_FORMAT_NV12,
                            PIXEL_FORMAT_NV16})
        for (int32_t layout : {INTERMEDIATE_LAYOUT_PARITY_SPLIT, INTERMEDIATE_LAYOUT_FULL}) {
            const Result inline_ = MergeWith(RefuseToStart, layout, format);
            const Result threaded = MergeWith(nullptr, layout, format);
            ASSERT_FALSE(threaded.samples.empty());
            EXPECT_TRUE(threaded.samples == inline_.samples) << format << " " << layout;
            EXPECT_TRUE(threaded.weights == inline_.weights) << format << " " << layout;
        }
}

}  // namespace

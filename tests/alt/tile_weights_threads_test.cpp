// The two halves of the tile weights on two threads give the grids of the halves in sequence.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "alt/intermediate_prepare.h"
#include "alt/tile_weights.h"
#include "intermediate_bracket_support.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;

std::vector<int16_t> Grids(const HdrSession *s) {
    const int64_t cells = int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown;
    std::vector<int16_t> all;
    for (int16_t *g : s->fusionWeightGrids) all.insert(all.end(), g, g + cells);
    return all;
}

TEST(TileWeightsThreads, HalvesOnTwoThreadsMatchTheSequence) {
    std::vector<int16_t> results[2];
    for (int threaded = 0; threaded < 2; ++threaded) {
        SessionHolder h;
        HdrSession *s = h.session;
        Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 1024, 768, 6, -4);
        ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
        int top = -1, bottom = -1;
        if (threaded) {
            std::thread worker([&] { top = ComputeTileWeightsTop(nullptr, s, b.inputs(), 3, s->globalShift); });
            bottom = ComputeTileWeightsBottom(nullptr, s, b.inputs(), 3, s->globalShift);
            worker.join();
        } else {
            top = ComputeTileWeightsTop(nullptr, s, b.inputs(), 3, s->globalShift);
            bottom = ComputeTileWeightsBottom(nullptr, s, b.inputs(), 3, s->globalShift);
        }
        ASSERT_EQ(top, RESULT_OK);
        ASSERT_EQ(bottom, RESULT_OK);
        results[threaded] = Grids(s);
    }
    EXPECT_EQ(results[0], results[1]);
}

}  // namespace

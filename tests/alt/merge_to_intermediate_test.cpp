// The merge into the 16-bit intermediate end to end on synthetic packed 4:2:2 brackets.
#include <gtest/gtest.h>

#include <vector>

#include "alt/intermediate_image.h"
#include "alt/merge_to_intermediate.h"
#include "intermediate_merge_support.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;
using alt_merge::IntermediateOutputs;

int Merge(HdrSession *s, Bracket &b, IntermediateOutputs &out, int32_t layout,
          ProgressCallback progress = nullptr, void *user = nullptr) {
    return MergeToIntermediate(nullptr, s, b.inputs(), 0, 3, out.descs, layout, 0, 0, progress,
                               user);
}

struct SizeCase {
    int32_t w, h;
};

class MergeSizes : public testing::TestWithParam<SizeCase> {};

// Luma never negative, chroma in 0..16320, neutral chroma exactly 8192; progressBase 33.
TEST_P(MergeSizes, SamplesStayInTheirRanges) {
    const SizeCase c = GetParam();
    SessionHolder h;
    HdrSession *s = h.session;
    Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, c.w, c.h);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(Merge(s, b, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    EXPECT_EQ(s->progressBase, 33);
    EXPECT_EQ(s->intermediateReady, 1);
    EXPECT_EQ(s->splitRow, 128 * (s->processRect.height / 256));
    const RegionRect &rect = s->processRect;
    int64_t neutral = 0;
    for (int32_t r = 0; r < rect.height; ++r) {
        const int16_t *row = IntermediateLumaRow(s, r);
        ASSERT_NE(row, nullptr);
        for (int32_t x = int32_t(rect.x); x < int32_t(rect.x + rect.width); ++x) {
            ASSERT_GE(row[2 * x], 0) << r << " " << x;
            const int16_t chroma = row[2 * x + 1];
            ASSERT_GE(chroma, 0);
            ASSERT_LE(chroma, 16320);
            uint8_t u, v;
            alt_bracket::Chroma(c.w, c.h, x, r, &u, &v);
            // Away from the coloured patches' borders every exposure is neutral.
            uint8_t u2, v2, u3, v3;
            alt_bracket::Chroma(c.w, c.h, std::max(x - 24, 0), r, &u2, &v2);
            alt_bracket::Chroma(c.w, c.h, std::min(x + 24, c.w - 1), std::min(r + 24, c.h - 1), &u3, &v3);
            uint8_t u4, v4;
            alt_bracket::Chroma(c.w, c.h, x, std::max(r - 24, 0), &u4, &v4);
            if (u == 128 && v == 128 && u2 == 128 && v2 == 128 && u3 == 128 && v3 == 128 &&
                u4 == 128 && v4 == 128) {
                ASSERT_EQ(chroma, 8192) << r << " " << x;
                ++neutral;
            }
        }
    }
    EXPECT_GT(neutral, int64_t{rect.width} * rect.height / 2);
}

INSTANTIATE_TEST_SUITE_P(Brackets, MergeSizes,
                         testing::Values(SizeCase{512, 512}, SizeCase{1024, 768}));

}  // namespace

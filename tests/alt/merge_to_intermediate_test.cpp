// The merge into the 16-bit intermediate end to end on synthetic packed 4:2:2 brackets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "alt/intermediate_image.h"
#include "core/image.h"
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

TEST_P(MergeSizes, IdenticalExposuresGiveTheReferenceValueInMidTones) {
    const SizeCase c = GetParam();
    SessionHolder h;
    HdrSession *s = h.session;
    alt_bracket::Frame frames[3];
    ImageDesc inputs[3];
    for (int i = 0; i < 3; ++i) {
        alt_bracket::Render(&frames[i], s->gammaCompressTable, PIXEL_FORMAT_YUYV, c.w, c.h, 1.0,
                            0, 0, 0);
        inputs[i] = frames[i].desc;
    }
    IntermediateOutputs out(inputs[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(MergeToIntermediate(nullptr, s, inputs, 0, 3, out.descs,
                                  INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, 0, nullptr, nullptr),
              RESULT_OK);
    const uint8_t *ref = inputs[s->referenceIndex].ppu8Plane[0];
    const int32_t pitch = inputs[0].pi32Pitch[0];
    int64_t checked = 0;
    for (int32_t r = 0; r < s->processRect.height; ++r) {
        const int16_t *row = IntermediateLumaRow(s, r);
        for (int32_t x = 0; x < int32_t(s->processRect.width); ++x) {
            const int32_t code = ref[int64_t{r} * pitch + 2 * x];
            if (code < 33 || code > 191) continue;
            const int32_t value = s->fusionTable[512 + code] << (2 - s->valueShift);
            ASSERT_EQ(row[2 * x], value) << r << " " << x << " code " << code;
            ++checked;
        }
    }
    EXPECT_GT(checked, int64_t{c.w} * c.h / 4);
}

INSTANTIATE_TEST_SUITE_P(Brackets, MergeSizes,
                         testing::Values(SizeCase{512, 512}, SizeCase{1024, 768}));

// The fusion's Q10 gains are the measured gains rounded to nearest, not truncated.
TEST(MergeToIntermediate, Q10GainsAreTheMeasuredGainsRounded) {
    SessionHolder h;
    HdrSession *s = h.session;
    Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 384);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(Merge(s, b, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    int roundedUp = 0;
    for (int i = 0; i < 3; ++i) {
        const double q10 = s->exposureGain[i] * 1024;
        EXPECT_EQ(s->exposureGainQ10[i], std::lround(q10)) << i;
        roundedUp += q10 - std::floor(q10) >= 0.5;
    }
    EXPECT_GT(roundedUp, 0);  // else truncating would pass too
}

TEST(MergeToIntermediate, SplitRowOf1024By768Is384) {
    SessionHolder h;
    HdrSession *s = h.session;
    Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 1024, 768);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_FULL);
    ASSERT_EQ(Merge(s, b, out, INTERMEDIATE_LAYOUT_FULL), RESULT_OK);
    EXPECT_EQ(s->processRect.height, 768);
    EXPECT_EQ(s->splitRow, 384);
}

// The parity-split run, de-interleaved, is the full-layout run; any layout value other than
// the parity split is the full layout.
TEST(MergeToIntermediate, ParitySplitDeinterleavedEqualsTheFullLayout) {
    std::vector<int16_t> runs[3];
    const int32_t layouts[3] = {INTERMEDIATE_LAYOUT_PARITY_SPLIT, INTERMEDIATE_LAYOUT_FULL, 7};
    for (int i = 0; i < 3; ++i) {
        SessionHolder h;
        HdrSession *s = h.session;
        Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 1024, 768, 6, -4);
        IntermediateOutputs out(b.inputs()[0], layouts[i]);
        ASSERT_EQ(Merge(s, b, out, layouts[i]), RESULT_OK);
        EXPECT_EQ(s->intermediate.layout, i == 0 ? INTERMEDIATE_LAYOUT_PARITY_SPLIT
                                                 : INTERMEDIATE_LAYOUT_FULL);
        runs[i] = alt_merge::AllSamples(s);
    }
    ASSERT_FALSE(runs[0].empty());
    EXPECT_TRUE(runs[0] == runs[1]);
    EXPECT_TRUE(runs[1] == runs[2]);
}

// A session merged twice gives the same intermediate both times.
TEST(MergeToIntermediate, SecondMergeOnOneSessionGivesTheSameBytes) {
    SessionHolder h;
    HdrSession *s = h.session;
    Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 512, 4, 2);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(Merge(s, b, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    const std::vector<int16_t> first = alt_merge::AllSamples(s);
    ASSERT_EQ(Merge(s, b, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    EXPECT_TRUE(first == alt_merge::AllSamples(s));
    EXPECT_EQ(s->progressBase, 33);
}

// Three identical exposures: mid-tone luma is the reference's value whatever the weights.
struct ProgressLog {
    HdrSession *session = nullptr;
    std::vector<int64_t> values;
    int64_t cancelFromBase = 1000;  // cancel the first report made with this progressBase or more
};

int64_t LogProgress(int64_t percent, int64_t, void *user) {
    auto *log = static_cast<ProgressLog *>(user);
    log->values.push_back(percent);
    return log->session->progressBase >= log->cancelFromBase ? RESULT_CANCELLED : 0;
}

TEST(MergeToIntermediate, ReportsRiseTo49) {
    SessionHolder h;
    HdrSession *s = h.session;
    Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 512);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ProgressLog log;
    log.session = s;
    ASSERT_EQ(Merge(s, b, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT, LogProgress, &log), RESULT_OK);
    ASSERT_FALSE(log.values.empty());
    EXPECT_TRUE(std::is_sorted(log.values.begin(), log.values.end()));
    EXPECT_GE(log.values.front(), 0);
    EXPECT_EQ(log.values.back(), 49);
    EXPECT_EQ(s->progressBase, 49);
}

// The first report of the driver itself (after the preparation) cancels before any tile weight.
TEST(MergeToIntermediate, CancelAtTheFirstDriverReport) {
    SessionHolder h;
    HdrSession *s = h.session;
    Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 512);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ProgressLog log;
    log.session = s;
    // The preparation's reports (one per input, then the aligner's) stay below 3 + 5.
    log.cancelFromBase = 3 + 5;
    EXPECT_EQ(Merge(s, b, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT, LogProgress, &log),
              RESULT_CANCELLED);
    EXPECT_EQ(s->progressBase, log.values.back());
    EXPECT_GE(s->progressBase, 8);
    EXPECT_LT(s->progressBase, 15);
    EXPECT_EQ(s->intermediateReady, 0);
    const int64_t cells = int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown;
    for (int16_t *grid : s->fusionWeightGrids) {
        ASSERT_NE(grid, nullptr);
        EXPECT_TRUE(std::all_of(grid, grid + cells, [](int16_t v) { return v == 0; }));
    }
}

// Refused with its code, before anything is written.
TEST(MergeToIntermediate, BadInputIsRefusedWithNothingWritten) {
    SessionHolder h;
    HdrSession *s = h.session;
    Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 512);
    Bracket short383(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 383);
    Bracket wide(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 512, 0, 0, 8);
    Bracket i420(s->gammaCompressTable, PIXEL_FORMAT_I420, 512, 512);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ImageDesc *in = b.inputs();
    struct Case {
        const char *name;
        std::vector<ImageDesc> inputs;
        int32_t count;
        bool nullOutputs;
        int32_t layout;
        int expected;
    };
    std::vector<ImageDesc> three(in, in + 3);
    auto with = [&](int i, auto change) {
        std::vector<ImageDesc> v = three;
        change(v[i]);
        return v;
    };
    std::vector<ImageDesc> uyvy = three;
    for (ImageDesc &d : uyvy) d.u32PixelArrayFormat = PIXEL_FORMAT_UYVY;
    std::vector<ImageDesc> mixedPitch = three;
    mixedPitch[2] = wide.inputs()[2];
    const int32_t split = INTERMEDIATE_LAYOUT_PARITY_SPLIT;
    const Case cases[] = {
        {"count 2", three, 2, false, split, RESULT_INVALID_ARGUMENT},
        {"count 4", {in[0], in[1], in[2], in[0]}, 4, false, split, RESULT_INVALID_ARGUMENT},
        {"0x503", uyvy, 3, false, split, RESULT_UNSUPPORTED_FORMAT},
        {"I420 into packed outputs", {i420.inputs()[0], i420.inputs()[1], i420.inputs()[2]}, 3,
         false, split, RESULT_INVALID_ARGUMENT},
        {"mixed sizes", with(1, [](ImageDesc &d) { d.i32Height = 500; }), 3, false, split,
         RESULT_INVALID_ARGUMENT},
        {"mixed pitches", mixedPitch, 3, false, split, RESULT_INVALID_ARGUMENT},
        {"383 rows", {short383.inputs()[0], short383.inputs()[1], short383.inputs()[2]}, 3, false,
         split, RESULT_INVALID_ARGUMENT},
        {"missing plane", with(0, [](ImageDesc &d) { d.ppu8Plane[0] = nullptr; }), 3, false,
         split, RESULT_INVALID_ARGUMENT},
        {"null outputs", three, 3, true, split, RESULT_INVALID_ARGUMENT},
        {"full layout into images of the inputs' pitch", three, 3, false, 0,
         RESULT_INVALID_ARGUMENT},
    };
    const std::vector<uint8_t> before = out.planes[0][0];
    for (const Case &c : cases) {
        EXPECT_EQ(MergeToIntermediate(nullptr, s, c.inputs.data(), 0, c.count,
                                      c.nullOutputs ? nullptr : out.descs, c.layout, 0, 0,
                                      nullptr, nullptr),
                  c.expected)
            << c.name;
        EXPECT_EQ(out.planes[0][0], before) << c.name;
        EXPECT_EQ(s->progressBase, 0) << c.name;
    }
    EXPECT_EQ(MergeToIntermediate(nullptr, nullptr, in, 0, 3, out.descs, split, 0, 0, nullptr,
                                  nullptr),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(MergeToIntermediate(nullptr, s, nullptr, 0, 3, out.descs, split, 0, 0, nullptr,
                                  nullptr),
              RESULT_INVALID_ARGUMENT);
    // A descriptor over an input's plane, and the two halves over each other.
    ImageDesc onto[3] = {out.descs[0], in[1], out.descs[2]};
    EXPECT_EQ(MergeToIntermediate(nullptr, s, in, 0, 3, onto, split, 0, 0, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
    ImageDesc same[3] = {out.descs[0], out.descs[0], out.descs[2]};
    EXPECT_EQ(MergeToIntermediate(nullptr, s, in, 0, 3, same, split, 0, 0, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(out.planes[0][0], before);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(std::memcmp(&three[i], &in[i], sizeof(ImageDesc)), 0);
}

// Copies of a bracket's images, merged in place by the one-pass merge.
std::vector<uint8_t> OnePassMerge(HdrSession *s, Bracket &b) {
    std::vector<uint8_t> planes[3];
    ImageDesc copies[3];
    for (int i = 0; i < 3; ++i) {
        const ImageDesc &d = b.inputs()[i];
        planes[i].assign(d.ppu8Plane[0], d.ppu8Plane[0] + size_t(d.pi32Pitch[0]) * d.i32Height);
        copies[i] = d;
        copies[i].ppu8Plane[0] = planes[i].data();
    }
    const MergeParams params = {45, 10, 40};
    EXPECT_EQ(RunHdrMerge(nullptr, s, copies, 3, copies, 0, &params, 0, nullptr, nullptr),
              RESULT_OK);
    return planes[0];
}

// After a merge into the intermediate that ended with excessive motion pending, the one-pass
// merge on the same session gives a fresh session's bytes.
TEST(MergeToIntermediate, OnePassMergeAfterwardsMatchesAFreshSession) {
    SessionHolder h;
    HdrSession *s = h.session;
    Bracket moved(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 1024, 768, 60, 0);
    IntermediateOutputs out(moved.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(Merge(s, moved, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    EXPECT_EQ(s->pendingStatus, uint64_t{RESULT_EXCESSIVE_MOTION});
    EXPECT_EQ(s->intermediateReady, 1);

    Bracket still(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 512);
    const std::vector<uint8_t> after = OnePassMerge(s, still);
    EXPECT_EQ(s->intermediateReady, 0);
    SessionHolder fresh;
    EXPECT_TRUE(after == OnePassMerge(fresh.session, still));
}

}  // namespace

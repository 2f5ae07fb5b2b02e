// The two-call merge end to end on the synthetic bracket: re-tone determinism, layouts, the
// exposure map of the merge, and agreement of the tone kernels with the 8-bit span kernels.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "alt/block_exposure_map.h"
#include "alt/span_intermediate_packed422.h"
#include "alt/tone_map_kernels.h"
#include "alt/tone_map_support.h"
#include "core/constant_tables.h"
#include "fusion/span_kernel_support.h"
#include "fusion/span_normal_packed422.h"
#include "intermediate_merge_support.h"

namespace {

using alt_bracket::Bracket;
using alt_merge::IntermediateOutputs;
using tone_support::OwnedImage;

constexpr int32_t kW = 512, kH = 512;

std::vector<uint8_t> Bytes(const ImageDesc &d) {
    std::vector<uint8_t> all;
    const PixelFormatInfo *info = FindPixelFormat(d.u32PixelArrayFormat);
    for (int p = 0; p < info->planes; ++p) {
        const int32_t rows = p == 0 ? d.i32Height : d.i32Height >> info->chromaRowShift;
        const int64_t bytes = MinimumRowBytes(*info, p, d.i32Width);
        for (int32_t r = 0; r < rows; ++r)
            all.insert(all.end(), d.ppu8Plane[p] + int64_t{r} * d.pi32Pitch[p],
                       d.ppu8Plane[p] + int64_t{r} * d.pi32Pitch[p] + bytes);
    }
    return all;
}

// One merged session: the bracket, its intermediate and the session that merged it.
struct Merged {
    Bracket bracket;
    IntermediateOutputs outputs;
    alt_bracket::SessionHolder holder;
    int result;
    Merged(uint32_t format, int32_t layout)
        : bracket(kGammaCompressTable, format, kW, kH),
          outputs(bracket.inputs()[0], layout),
          result(MergeToIntermediate(nullptr, holder.session, bracket.inputs(), 0, 3,
                                     outputs.descs, layout, 0, 0, nullptr, nullptr)) {}
    HdrSession *s() { return holder.session; }
    std::vector<uint8_t> Tone(int32_t t, int32_t br, int *r = nullptr) {
        OwnedImage out;
        out.Like(bracket.inputs()[0], 0);
        const int code = ToneMapIntermediate(nullptr, s(), outputs.descs, 3, &out.desc, t, br,
                                             nullptr, nullptr);
        if (r) *r = code;
        return code == RESULT_OK ? Bytes(out.desc) : std::vector<uint8_t>{};
    }
};

#define SKIP_UNLESS_MERGED(m)                                                              \
    if ((m).result == RESULT_UNSUPPORTED_FORMAT)                                           \
        GTEST_SKIP() << "the merge into the intermediate does not take this format yet"; \
    ASSERT_EQ((m).result, RESULT_OK)

const std::pair<int32_t, int32_t> kPairs[] = {{70, 0}, {45, 0}, {25, -30}, {90, 40}, {50, 100}};

class TwoCallMerge : public ::testing::TestWithParam<uint32_t> {};

TEST_P(TwoCallMerge, ReTonedBytesEqualFreshOnes) {
    Merged m(GetParam(), INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    SKIP_UNLESS_MERGED(m);
    // Fresh bytes of each pair: the first call after a merge of its own.
    std::vector<std::vector<uint8_t>> fresh;
    for (const auto &[t, br] : kPairs) {
        Merged f(GetParam(), INTERMEDIATE_LAYOUT_PARITY_SPLIT);
        ASSERT_EQ(f.result, RESULT_OK);
        fresh.push_back(f.Tone(t, br));
        ASSERT_FALSE(fresh.back().empty());
    }
    // T = 70 then T = 45 (the same contrast level): the second gives fresh bytes and the tone
    // table is the same before and after each call.
    ASSERT_EQ(m.Tone(70, 0), fresh[0]);
    const std::vector<uint8_t> after70(m.s()->toneTable, m.s()->toneTable + 4096);
    EXPECT_EQ(m.Tone(45, 0), fresh[1]);
    EXPECT_EQ(std::vector<uint8_t>(m.s()->toneTable, m.s()->toneTable + 4096), after70);
    // Any order of the five pairs, twice round.
    const int order[] = {4, 2, 0, 3, 1, 1, 3, 0, 2, 4};
    for (int i : order) {
        const int32_t level = m.s()->contrastLevel;
        const std::vector<uint8_t> tone(m.s()->toneTable, m.s()->toneTable + 4096);
        EXPECT_EQ(m.Tone(kPairs[i].first, kPairs[i].second), fresh[size_t(i)]) << "pair " << i;
        if (m.s()->contrastLevel == level) {
            EXPECT_EQ(std::vector<uint8_t>(m.s()->toneTable, m.s()->toneTable + 4096), tone);
        }
        EXPECT_EQ(m.s()->toneTableComposed, 0);
    }
}

TEST_P(TwoCallMerge, FullAndParitySplitIntermediatesToneMapAlike) {
    Merged split(GetParam(), INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    SKIP_UNLESS_MERGED(split);
    Merged full(GetParam(), INTERMEDIATE_LAYOUT_FULL);
    ASSERT_EQ(full.result, RESULT_OK);
    for (const auto &[t, br] : {std::pair{30, 0}, std::pair{75, -20}})
        EXPECT_EQ(split.Tone(t, br), full.Tone(t, br)) << t;
}

// The synthetic scene with a dark stripe over columns w - 3 and w - 2.
double StripeBesideTheRightSide(int32_t w, int32_t h, int32_t x, int32_t y) {
    return x == w - 3 || x == w - 2 ? 6.0 : alt_bracket::Linear(w, h, x, y);
}

// A frame whose width is a multiple of 4 but not of 8 is fused to its last column: a stripe in
// the last four columns stays in the toned picture where the photos have it, rather than the
// columns past the last group of 8 repeating the group before them.
TEST_P(TwoCallMerge, TheLastColumnsOfAWidthNotAMultipleOfEightAreFused) {
    constexpr int32_t w = 516, h = 400;
    Bracket bracket(kGammaCompressTable, GetParam(), w, h, 0, 0, 0, StripeBesideTheRightSide);
    IntermediateOutputs outputs(bracket.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    alt_bracket::SessionHolder holder;
    const int merged = MergeToIntermediate(nullptr, holder.session, bracket.inputs(), 0, 3,
                                           outputs.descs, INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, 0,
                                           nullptr, nullptr);
    if (merged == RESULT_UNSUPPORTED_FORMAT) GTEST_SKIP() << "format not merged yet";
    ASSERT_EQ(merged, RESULT_OK);
    OwnedImage out;
    out.Like(bracket.inputs()[0], 0);
    ASSERT_EQ(ToneMapIntermediate(nullptr, holder.session, outputs.descs, 3, &out.desc, 45, 0,
                                  nullptr, nullptr),
              RESULT_OK);
    const int32_t step = GetParam() == PIXEL_FORMAT_YUYV ? 2 : 1;
    auto luma = [&](int32_t x, int32_t y) {
        return int(out.desc.ppu8Plane[0][int64_t{y} * out.desc.pi32Pitch[0] + step * x]);
    };
    for (int32_t y = 16; y < h - 16; y += 16)
        for (int32_t x : {w - 3, w - 2}) {
            EXPECT_LT(luma(x, y) + 20, luma(w - 5, y)) << x << "," << y;
            EXPECT_LT(luma(x, y) + 20, luma(w - 1, y)) << x << "," << y;
        }
}

TEST(TwoCallMerge, RunHdrMergeInBetweenEndsTheIntermediate) {
    Merged m(PIXEL_FORMAT_YUYV, INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    SKIP_UNLESS_MERGED(m);
    ASSERT_FALSE(m.Tone(50, 0).empty());
    // A normal run on the same session, into copies of the inputs.
    OwnedImage copies[3];
    ImageDesc images[3];
    for (int i = 0; i < 3; ++i) {
        copies[i].Like(m.bracket.inputs()[i], 0);
        for (int p = 0; p < 3; ++p)
            if (copies[i].desc.ppu8Plane[p])
                std::memcpy(copies[i].desc.ppu8Plane[p], m.bracket.inputs()[i].ppu8Plane[p],
                            copies[i].planes[p].size());
        images[i] = copies[i].desc;
    }
    ASSERT_EQ(RunHdrMerge(nullptr, m.s(), images, 3, images, 0, nullptr, 0, nullptr, nullptr),
              RESULT_OK);
    int r = 0;
    m.Tone(50, 0, &r);
    EXPECT_EQ(r, RESULT_INVALID_ARGUMENT);
}

INSTANTIATE_TEST_SUITE_P(Formats, TwoCallMerge, ::testing::ValuesIn(tone_support::kFormats));

int BlockLevel(const std::vector<uint8_t> &bordered, int32_t across, int32_t bx, int32_t by) {
    return bordered[size_t(by + 1) * size_t(across + 2) + size_t(bx + 1)];
}

TEST(TwoCallMerge, ExposureMapOfTheBracket) {
    Merged m(PIXEL_FORMAT_YUYV, INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    SKIP_UNLESS_MERGED(m);
    HdrSession *s = m.s();
    const int32_t across = s->blocksAcross, down = s->blocksDown;
    std::vector<uint8_t> bordered(size_t(across + 2) * size_t(down + 2));
    std::vector<double> table(255);
    uint8_t *planes[3];
    for (int i = 0; i < 3; ++i) planes[i] = m.bracket.inputs()[i].ppu8Plane[0];
    const int32_t pitch = m.bracket.inputs()[0].pi32Pitch[0];
    auto build = [&](int64_t bytes, int32_t entries, uint32_t format = PIXEL_FORMAT_YUYV) {
        return BuildBlockExposureMap(nullptr, s, planes, 3, kW, kH, pitch, 0, 0, 90, 0, format,
                                     nullptr, nullptr, bordered.data(), bytes, table.data(),
                                     entries);
    };
    ASSERT_EQ(build(int64_t(bordered.size()), 255), RESULT_OK);
    EXPECT_EQ(s->progressBase, 50);
    // Bright window: columns 5w/8..7w/8, rows h/8..3h/8; deep shadow: columns w/8..3w/8, rows
    // 5h/8..7h/8. Their centre blocks lie below and above the middle level.
    EXPECT_LT(BlockLevel(bordered, across, 12, 4), 127);
    EXPECT_GT(BlockLevel(bordered, across, 3, 11), 127);
    EXPECT_EQ(table[127], 0.0);
    for (int l = 1; l < 255; ++l) EXPECT_GE(table[l], table[l - 1]) << l;
    EXPECT_LT(table[0], 0.0);
    EXPECT_GT(table[254], 0.0);
    // The border repeats the edge cells.
    for (int32_t y = 0; y < down + 2; ++y) {
        const uint8_t *row = &bordered[size_t(y) * size_t(across + 2)];
        EXPECT_EQ(row[0], row[1]);
        EXPECT_EQ(row[across + 1], row[across]);
    }
    EXPECT_EQ(std::memcmp(&bordered[0], &bordered[size_t(across + 2)], size_t(across + 2)), 0);

    // Bad arguments.
    EXPECT_EQ(build(int64_t(bordered.size()) - 1, 255), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(build(int64_t(bordered.size()), 254), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(build(int64_t(bordered.size()), 255, PIXEL_FORMAT_UYVY), RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(build(int64_t(bordered.size()), 255, PIXEL_FORMAT_NV12), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(BuildBlockExposureMap(nullptr, s, planes, 2, kW, kH, pitch, 0, 0, 90, 0,
                                    PIXEL_FORMAT_YUYV, nullptr, nullptr, bordered.data(),
                                    int64_t(bordered.size()), table.data(), 255),
              RESULT_INVALID_ARGUMENT);
    // Shifts at the alignment's limit: every block near the border is read inside the frame.
    for (int k = 0; k < 4; ++k) s->globalShift[k] = (k & 1) ? -54 : 54;
    EXPECT_EQ(build(int64_t(bordered.size()), 255), RESULT_OK);
    s->intermediateReady = 0;
    EXPECT_EQ(build(int64_t(bordered.size()), 255), RESULT_INVALID_ARGUMENT);
}

int64_t CancelAt49(int64_t percent, int64_t, void *) { return percent == 49 ? PROGRESS_CANCEL : 0; }

TEST(TwoCallMerge, ExposureMapCancelReleasesEverything) {
    Merged m(PIXEL_FORMAT_YUYV, INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    SKIP_UNLESS_MERGED(m);
    std::vector<uint8_t> bordered(size_t(m.s()->blocksAcross + 2) * size_t(m.s()->blocksDown + 2));
    std::vector<double> table(255);
    uint8_t *planes[3];
    for (int i = 0; i < 3; ++i) planes[i] = m.bracket.inputs()[i].ppu8Plane[0];
    EXPECT_EQ(BuildBlockExposureMap(nullptr, m.s(), planes, 3, kW, kH,
                                    m.bracket.inputs()[0].pi32Pitch[0], 0, 0, 40, 0,
                                    PIXEL_FORMAT_YUYV, CancelAt49, nullptr, bordered.data(),
                                    int64_t(bordered.size()), table.data(), 255),
              RESULT_CANCELLED);
}

// The packed tone kernels behind the 16-bit span kernels give the 8-bit span kernels' bytes;
// with two different chroma tables (T >= 50) U differs, by design.
TEST(TwoCallMerge, PackedToneKernelsOverTheSixteenBitSpansEqualTheEightBitSpans) {
    using fusion_test::KernelBench;
    using fusion_test::kRowLength;
    KernelBench k;
    std::mt19937 random(5);
    const auto pick = [&](int lo, int hi) { return lo + int(random() % uint32_t(hi - lo + 1)); };
    std::vector<uint8_t> chroma2(4096);
    for (int trial = 0; trial < 100; ++trial) {
        for (auto &t : k.tone) t = uint8_t(random());
        for (auto &t : k.chroma) t = uint8_t(random());
        for (auto &t : chroma2) t = uint8_t(random());
        for (auto *row : {&k.weightReference, &k.weightDark, &k.weightBright})
            for (int16_t &v : *row) v = int16_t(pick(0, 256));
        for (int16_t &v : k.mask) v = int16_t(pick(0, 256));
        for (auto &row : k.offsets)
            for (int16_t &v : row) v = int16_t(pick(-80, 80));
        for (uint16_t &g : k.gain) g = uint16_t(pick(256, 6000));
        std::vector<uint8_t> ref(2 * kRowLength), warp(4 * kRowLength);
        for (uint8_t &v : ref) v = uint8_t(pick(0, 255));
        for (uint8_t &v : warp) v = uint8_t(pick(0, 255));
        const SpanTables t = k.Tables(false);
        const SpanRows rows = k.Rows();
        RunningWeights w8{{8000, 9000, kFusionWeightOne - 17000}}, w16 = w8;
        std::vector<uint8_t> eight(2 * kRowLength), toned(2 * kRowLength);
        std::vector<int16_t> sixteen(2 * kRowLength);
        FuseSpanBothPacked422(0, kRowLength, ref.data(), warp.data(), t, rows, &w8, eight.data());
        FuseIntermediateSpanBothPacked422(0, kRowLength, ref.data(), warp.data(), t, rows, &w16,
                                          sixteen.data());
        const ToneRowTables tables{k.tone.data(), k.chroma.data(), chroma2.data(), k.gain.data()};
        const auto *in = reinterpret_cast<const uint16_t *>(sixteen.data());
        ToneMapRowPacked422(0, kRowLength, in, toned.data(), tables);
        ASSERT_EQ(toned, eight) << "trial " << trial;
        ToneMapRowTwoTablesPacked422(0, kRowLength, in, toned.data(), tables);
        for (int32_t i = 0; i < 2 * kRowLength; ++i) {
            const bool u = (i & 3) == 1;
            if (!u) ASSERT_EQ(toned[size_t(i)], eight[size_t(i)]) << i;
            else
                ASSERT_EQ(toned[size_t(i)], chroma2[std::min(uint16_t(in[i] >> 2), uint16_t(4095))]);
        }
    }
}

}  // namespace

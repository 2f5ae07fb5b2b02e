// The tone mapping's top pass on a second thread gives the bytes of the two passes in sequence.
#include <gtest/gtest.h>

#include <vector>

#include "alt/tone_map_intermediate.h"
#include "alt/tone_map_support.h"

namespace {

using tone_support::HandIntermediate;
using tone_support::OwnedImage;

uint16_t Textured(int32_t plane, int32_t x, int32_t r) {
    if (plane == 0) return uint16_t(400 + (x * 37 + r * 11) % 9000 + ((x / 40 + r / 24) & 1) * 4000);
    return uint16_t(8192 + ((x * 13 + r * 7) % 4000) - 2000);
}

std::vector<uint8_t> Plane(const ImageDesc &d, int p) {
    const PixelFormatInfo *info = FindPixelFormat(d.u32PixelArrayFormat);
    const int32_t rows = p == 0 ? d.i32Height : d.i32Height >> info->chromaRowShift;
    return std::vector<uint8_t>(d.ppu8Plane[p], d.ppu8Plane[p] + int64_t{rows} * d.pi32Pitch[p]);
}

class ToneMapThreads : public ::testing::TestWithParam<uint32_t> {};

// Frames whose top range ends exactly at, past (planar 4:2:2) or with no top rows before the
// bottom pass's first row, one of them with a process rectangle away from the corner.
struct ThreadCase {
    int32_t width, height;
    RegionRect rect;
};
const ThreadCase kThreadCases[] = {
    {384, 520, {0, 0, 384, 520}},   // ranges meet at row 256
    {200, 600, {0, 0, 200, 600}},   // planar 4:2:2's top range runs 40 rows past the split
    {264, 1000, {8, 6, 248, 990}},  // 112 shared rows, offset rectangle
    {96, 136, {0, 0, 96, 136}},     // split at 0: the bottom pass renders every row
};

TEST_P(ToneMapThreads, TopPassOnASecondThreadGivesTheSequentialBytes) {
    for (const ThreadCase &c : kThreadCases) {
        HandIntermediate hi;
        ASSERT_TRUE(hi.Create(GetParam(), c.width, c.height, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                              c.rect, Textured));
        const ImageDesc d[2] = {hi.Descriptors(0), hi.Descriptors(1)};
        for (int32_t t : {20, 40, 80}) {
            OwnedImage a, b;
            a.Like(hi.inputs[0].desc, 0);
            b.Like(hi.inputs[0].desc, 0);
            ASSERT_EQ(RunToneMapIntermediate(nullptr, hi.s, d, 3, &a.desc, t, 10, nullptr,
                                             nullptr, true),
                      RESULT_OK);
            ASSERT_EQ(RunToneMapIntermediate(nullptr, hi.s, d, 3, &b.desc, t, 10, nullptr,
                                             nullptr, false),
                      RESULT_OK);
            for (int p = 0; p < FindPixelFormat(GetParam())->planes; ++p)
                EXPECT_EQ(Plane(a.desc, p), Plane(b.desc, p))
                    << std::hex << GetParam() << std::dec << " " << c.height << " T " << t
                    << " plane " << p;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ToneMapThreads, ::testing::ValuesIn(tone_support::kFormats));

}  // namespace

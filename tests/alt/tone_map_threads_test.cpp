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

TEST_P(ToneMapThreads, TopPassOnASecondThreadGivesTheSequentialBytes) {
    for (int32_t t : {40, 80}) {
        HandIntermediate hi;
        ASSERT_TRUE(hi.Create(GetParam(), 384, 520, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                              RegionRect{0, 0, 384, 520}, Textured));
        OwnedImage a, b;
        a.Like(hi.inputs[0].desc, 0);
        b.Like(hi.inputs[0].desc, 0);
        const ImageDesc d[2] = {hi.Descriptors(0), hi.Descriptors(1)};
        ASSERT_EQ(RunToneMapIntermediate(nullptr, hi.s, d, 3, &a.desc, t, 10, nullptr, nullptr,
                                         true),
                  RESULT_OK);
        ASSERT_EQ(RunToneMapIntermediate(nullptr, hi.s, d, 3, &b.desc, t, 10, nullptr, nullptr,
                                         false),
                  RESULT_OK);
        for (int p = 0; p < FindPixelFormat(GetParam())->planes; ++p)
            EXPECT_EQ(Plane(a.desc, p), Plane(b.desc, p)) << std::hex << GetParam() << " " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ToneMapThreads, ::testing::ValuesIn(tone_support::kFormats));

}  // namespace

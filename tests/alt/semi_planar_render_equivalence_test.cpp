// The one-pass 8-bit render of semi-planar 4:2:0 against the two-call merge on one session:
// with the highlight fade off, the render's rows equal the rows MergeToIntermediate then
// ToneMapIntermediate give, except the last 16 rows of the process rectangle, where the
// render's gain rows hold the last gain-grid row instead of interpolating towards it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "alt/tone_map_support.h"
#include "core/constant_tables.h"
#include "fusion/render_image_semi_planar.h"
#include "intermediate_merge_support.h"

namespace {

using alt_bracket::Bracket;
using alt_merge::IntermediateOutputs;
using tone_support::OwnedImage;

constexpr int32_t kW = 512, kH = 512, kLastRows = 16;

struct Mismatch {
    int64_t samples = 0;
    int32_t firstRow = -1;
};

// Differences of plane p between two images over rows [top, end) of the plane and columns
// [left, right) of bytes.
Mismatch Compare(const ImageDesc &a, const ImageDesc &b, int p, int32_t top, int32_t end,
                 int32_t left, int32_t right) {
    Mismatch m;
    for (int32_t r = top; r < end; ++r)
        for (int32_t x = left; x < right; ++x)
            if (a.ppu8Plane[p][int64_t{r} * a.pi32Pitch[p] + x] !=
                b.ppu8Plane[p][int64_t{r} * b.pi32Pitch[p] + x]) {
                if (m.firstRow < 0) m.firstRow = r;
                ++m.samples;
            }
    return m;
}

class SemiPlanarRender : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SemiPlanarRender, EqualsTheTwoCallMergeAboveTheLastSixteenRows) {
    Bracket bracket(kGammaCompressTable, GetParam(), kW, kH);
    ImageDesc *in = bracket.inputs();
    IntermediateOutputs outputs(in[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    alt_bracket::SessionHolder holder;
    HdrSession *s = holder.session;
    ASSERT_NE(s, nullptr);
    s->offsetFadeEnabled = 0;
    ASSERT_EQ(MergeToIntermediate(nullptr, s, in, 0, 3, outputs.descs,
                                  INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, 0, nullptr, nullptr),
              RESULT_OK);
    OwnedImage toned;
    toned.Like(in[0], 0);
    ASSERT_EQ(
        ToneMapIntermediate(nullptr, s, outputs.descs, 3, &toned.desc, 45, 0, nullptr, nullptr),
        RESULT_OK);

    // The render on the session the two calls prepared, into its own output.
    OwnedImage rendered;
    rendered.Like(in[0], 0);
    s->outputPlanes[0] = rendered.desc.ppu8Plane[0];
    s->outputPlanes[1] = rendered.desc.ppu8Plane[1];
    uint8_t *luma[3], *chroma[3];
    for (int e = 0; e < 3; ++e) {
        luma[e] = in[e].ppu8Plane[0];
        chroma[e] = in[e].ppu8Plane[1];
    }
    const RegionRect rect = s->processRect;
    ASSERT_EQ(RenderFusedImageSemiPlanar420(nullptr, s, luma, 3, kW, kH, in[0].pi32Pitch[0], chroma,
                                            in[0].pi32Pitch[1], &rect, nullptr, nullptr, nullptr,
                                            nullptr),
              RESULT_OK);

    const int32_t top = int32_t(rect.y), end = top + int32_t(rect.height) - kLastRows;
    const int32_t left = int32_t(rect.x), right = int32_t(rect.x + rect.width);
    ASSERT_GT(end - top, kH / 2);
    int64_t written = 0;
    for (int32_t x = left; x < right; ++x)
        written += rendered.desc.ppu8Plane[0][int64_t{top + 64} * in[0].pi32Pitch[0] + x];
    ASSERT_GT(written, 0);
    const Mismatch y = Compare(toned.desc, rendered.desc, 0, top, end, left, right);
    EXPECT_EQ(y.samples, 0) << "first differing luma row " << y.firstRow;
    // A chroma row belongs to luma rows 2c and 2c + 1; both must lie above the
    // last rows.
    const Mismatch uv =
        Compare(toned.desc, rendered.desc, 1, (top + 1) / 2, end / 2, left & ~1, right & ~1);
    EXPECT_EQ(uv.samples, 0) << "first differing chroma row " << uv.firstRow;
}

INSTANTIATE_TEST_SUITE_P(Formats, SemiPlanarRender,
                         ::testing::Values(uint32_t{PIXEL_FORMAT_NV12},
                                           uint32_t{PIXEL_FORMAT_NV21}));

}  // namespace

// Every decimation kernel against the brute-force tap model, on random images of odd and even
// sizes, whole and with a rectangle that starts inside the image.
#include <gtest/gtest.h>

#include "align/decimate.h"
#include "align/decimate_kernels.h"
#include "decimate_support.h"

namespace {

using decimate_test::ModelPixel;
using decimate_test::Output444;
using decimate_test::RandomImage;
using decimate_test::TestImage;

using decimate_test::FormatFactors;
using decimate_test::kFormats;

struct Size {
    int32_t width, height;
};

constexpr Size kSizes[] = {{37, 29}, {64, 48}, {61, 90}, {118, 57}};

int Decimate(TestImage &img, ImageDesc *out, const InclusiveRect *rect, int factor) {
    return factor <= 8 ? DecimateToYuv444(nullptr, &img.desc, out, rect, factor, 0)
                       : DecimateByLargeFactor(&img.desc, out, rect, factor);
}

// Decimates the rectangle and compares every output sample with the model; returns the
// number of output pixels checked.
int CheckAgainstModel(TestImage &img, const InclusiveRect &rect, int factor) {
    const int32_t ow = ((rect.x1 - rect.x0 + 1) / (2 * factor)) * 2;
    const int32_t oh = ((rect.y1 - rect.y0 + 1) / (2 * factor)) * 2;
    Output444 out(ow, oh);
    EXPECT_EQ(Decimate(img, &out.desc, &rect, factor), RESULT_OK);
    for (int32_t oy = 0; oy < oh; ++oy)
        for (int32_t ox = 0; ox < ow; ++ox) {
            const auto want = ModelPixel(img, factor, rect.x0, rect.y0, ox, oy);
            const bool same = out.At(0, ox, oy) == want.y && out.At(1, ox, oy) == want.u &&
                              out.At(2, ox, oy) == want.v;
            if (!same) {
                ADD_FAILURE() << "format 0x" << std::hex << img.format << std::dec << " "
                              << img.width << "x" << img.height << " factor " << factor << " at ("
                              << ox << ", " << oy << "): got " << int(out.At(0, ox, oy)) << ","
                              << int(out.At(1, ox, oy)) << "," << int(out.At(2, ox, oy)) << " want "
                              << int(want.y) << "," << int(want.u) << "," << int(want.v);
                return -1;
            }
        }
    // Bytes between the output width and the pitch are never written.
    for (int p = 0; p < 3; ++p)
        for (int32_t oy = 0; oy < oh; ++oy)
            for (int32_t x = ow; x < out.desc.pi32Pitch[p]; ++x) EXPECT_EQ(out.At(p, x, oy), 0xA5);
    return ow * oh;
}

TEST(DecimateModelTest, EveryKernelMatchesTheTapModelOnWholeImages) {
    uint32_t seed = 1;
    for (const FormatFactors &f : kFormats)
        for (const Size &size : kSizes)
            for (int factor = 1; factor <= f.maxFactor; ++factor) {
                TestImage img = RandomImage(f.format, size.width, size.height, seed++);
                const InclusiveRect whole = {0, 0, size.width - 1, size.height - 1};
                const int checked = CheckAgainstModel(img, whole, factor);
                ASSERT_GE(checked, 0);
                EXPECT_GT(checked, 0) << "no output for factor " << factor;
            }
}

TEST(DecimateModelTest, EveryKernelMatchesTheTapModelInsideARectangle) {
    uint32_t seed = 100;
    for (const FormatFactors &f : kFormats)
        for (int factor = 1; factor <= f.maxFactor; ++factor) {
            TestImage img = RandomImage(f.format, 97, 75, seed++);
            // Starts on an even pixel and row inside the image; the block origins of odd
            // factors then fall on odd columns and rows as well.
            const InclusiveRect rect = {6, 4, 6 + 2 * factor * 3 + 1, 4 + 2 * factor * 2 + 2};
            ASSERT_GT(CheckAgainstModel(img, rect, factor), 0) << factor;
        }
}

// The optimised packed factor-8 kernel against its plain per-channel reference, bit for bit.
TEST(DecimateModelTest, PackedFactor8MatchesItsReference) {
    for (const Size &size : {Size{1000, 750}, Size{37, 29}, Size{118, 57}}) {
        TestImage img = RandomImage(PIXEL_FORMAT_YUYV, size.width, size.height, 7);
        DecimateSource view;
        ASSERT_TRUE(MakeDecimateSource(img.desc, &view));
        const int32_t ow = (size.width / 16) * 2;
        const int32_t oh = (size.height / 16) * 2;
        const InclusiveRect rect = {0, 0, ow * 8 - 1, oh * 8 - 1};
        Output444 fast(ow, oh);
        Output444 reference(ow, oh);
        DecimatePackedFactor8(view, &fast.desc, rect);
        DecimatePackedFactor8Reference(view, &reference.desc, rect);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(fast.planes[p], reference.planes[p]) << p;
    }
}

}  // namespace

// Three-quarter reduction of planar 4:2:0 images and the displaced chroma row fetch.
#include <gtest/gtest.h>

#include <vector>

#include "align/chroma_resample.h"
#include "decimate_support.h"

namespace {

using decimate_test::MakeImage;
using decimate_test::Output444;
using decimate_test::TestImage;

// Luma holds 10 x column + row so a sample names its source; chroma holds 100 + pair + 10 row.
TestImage NamedI420(int32_t width, int32_t height) {
    TestImage img =
        MakeImage(PIXEL_FORMAT_I420, width, height, [](int, size_t) { return uint8_t(0); });
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) img.Y(x, y) = static_cast<uint8_t>(10 * x + y);
    for (int r = 0; r < height / 2; ++r)
        for (int k = 0; k < width / 2; ++k) {
            img.U(k, r) = static_cast<uint8_t>(100 + k + 10 * r);
            img.V(k, r) = static_cast<uint8_t>(200 + k + 10 * r);
        }
    return img;
}

TEST(ResampleThreeQuartersTest, DropsColumnAndRowOneOfEveryGroupOfFour) {
    TestImage img = NamedI420(8, 8);
    Output444 out(6, 6);
    ASSERT_EQ(ResampleThreeQuarters420(&img.desc, &out.desc, nullptr), RESULT_OK);
    const int kept[6] = {0, 2, 3, 4, 6, 7};  // columns and rows 1 and 5 are dropped
    const int pairOf[6] = {0, 1, 1, 2, 3, 3};
    for (int oy = 0; oy < 6; ++oy)
        for (int ox = 0; ox < 6; ++ox) {
            EXPECT_EQ(out.At(0, ox, oy), 10 * kept[ox] + kept[oy]);
            EXPECT_EQ(out.At(1, ox, oy), 100 + pairOf[ox] + 10 * (kept[oy] / 2));
            EXPECT_EQ(out.At(2, ox, oy), 200 + pairOf[ox] + 10 * (kept[oy] / 2));
        }
    EXPECT_EQ(out.At(0, 6, 0), 0xA5);  // beyond the output width: untouched
}

TEST(ResampleThreeQuartersTest, RectangleAndArgumentChecks) {
    TestImage img = NamedI420(16, 12);
    Output444 out(3, 3);
    const InclusiveRect rect = {4, 4, 7, 7};
    ASSERT_EQ(ResampleThreeQuarters420(&img.desc, &out.desc, &rect), RESULT_OK);
    EXPECT_EQ(out.At(0, 1, 2), 10 * 6 + 7);
    EXPECT_EQ(out.At(1, 2, 0), 100 + 3 + 10 * 2);
    const InclusiveRect empty = {4, 4, 3, 7};
    EXPECT_EQ(ResampleThreeQuarters420(&img.desc, &out.desc, &empty), RESULT_OK);
    for (const InclusiveRect bad :
         {InclusiveRect{0, 0, 5, 7}, InclusiveRect{12, 0, 19, 3}, InclusiveRect{0, 8, 3, 15}})
        EXPECT_EQ(ResampleThreeQuarters420(&img.desc, &out.desc, &bad), RESULT_INVALID_ARGUMENT);
    TestImage square = NamedI420(8, 8);
    Output444 small(5, 6);
    EXPECT_EQ(ResampleThreeQuarters420(&square.desc, &small.desc, nullptr),
              RESULT_INVALID_ARGUMENT);
    TestImage nv12 = MakeImage(PIXEL_FORMAT_NV12, 8, 8, [](int, size_t) { return uint8_t(0); });
    EXPECT_EQ(ResampleThreeQuarters420(&nv12.desc, &out.desc, nullptr), RESULT_UNSUPPORTED_FORMAT);
}

TEST(FetchDisplacedChromaRowTest, ZeroDisplacementCopiesTheRow) {
    std::vector<uint8_t> chroma(4 * 8);
    for (size_t i = 0; i < chroma.size(); ++i) chroma[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> out(4, 0);
    ASSERT_EQ(FetchDisplacedChromaRow(16, 4, 0, 0, 0, 0, 0, 2, 8, 8, chroma.data(), out.data(), 0),
              RESULT_OK);
    EXPECT_EQ(out, (std::vector<uint8_t>{16, 17, 18, 19}));
}

TEST(FetchDisplacedChromaRowTest, DisplacementsAreClampedToTheBounds) {
    std::vector<uint8_t> chroma(4 * 8);
    for (size_t i = 0; i < chroma.size(); ++i) chroma[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> out(4, 0);
    // A displacement of 100 pixels (1600/16, given as 1600 << 2 with shift 2) is larger than
    // every position: each sample clamps to column 0 of the row.
    ASSERT_EQ(FetchDisplacedChromaRow(16, 4, 1600 << 2, 0, 0, 0, 0, 1, 8, 8, chroma.data(),
                                      out.data(), 34),  // shift 34 acts as 2
              RESULT_OK);
    EXPECT_EQ(out, (std::vector<uint8_t>{8, 8, 8, 8}));
    // dx falls by 2 x 8/16 pixel per output byte, so each sample lies one pixel further right
    // than the last; columns beyond widthBound - 2 and rows beyond heightBound - 2 clamp.
    ASSERT_EQ(
        FetchDisplacedChromaRow(16, 4, 0, -160, -8, 0, 10, 9, 16, 8, chroma.data(), out.data(), 0),
        RESULT_OK);
    // x = 10, 12, 14 with displacements 0, -1, -2 pixels: columns 10, 13, 16 -> 14; row 19 -> 2.
    EXPECT_EQ(out[0], 16 + 5);
    EXPECT_EQ(out[1], 16 + 6);
    EXPECT_EQ(out[2], 16 + 7);
    EXPECT_EQ(FetchDisplacedChromaRow(1, 4, 0, 0, 0, 0, 0, 0, 2, 8, chroma.data(), out.data(), 0),
              RESULT_INVALID_ARGUMENT);
}

}  // namespace

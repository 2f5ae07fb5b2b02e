// Thumbnail decimation: output sizes, the division shortcuts, worked values and the argument
// checks of the entry points.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "align/decimate.h"
#include "align/decimate_kernels.h"
#include "core/memory.h"
#include "decimate_support.h"

namespace {

using decimate_test::FlatImage;
using decimate_test::MakeImage;
using decimate_test::ModelPixel;
using decimate_test::Output444;
using decimate_test::RandomImage;
using decimate_test::TestImage;

constexpr uint32_t kAllFormats[] = {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420, PIXEL_FORMAT_YUV422P,
                                    PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16};

TEST(DecimateShortcutTest, DivisionsByMultiplyMatchTheQuotientExceptAtMultiples) {
    for (uint32_t s = 0; s <= 2295; ++s) {
        const uint32_t want = s / 9 - (s > 0 && s % 9 == 0 ? 1 : 0);
        ASSERT_EQ(NinthByMultiply(s), want) << s;
    }
    for (uint32_t s = 0; s <= 3060; ++s) {
        const uint32_t want = s / 12 - (s > 0 && s % 12 == 0 ? 1 : 0);
        ASSERT_EQ(TwelfthByMultiply(s), want) << s;
    }
    for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t b = 0; b < 256; ++b) ASSERT_EQ(ThirdOfTwoAPlusB(a, b), (2 * a + b) / 3);
    EXPECT_EQ(kNinthMultiplier, (1u << 20) / 9);
    EXPECT_EQ(kTwelfthMultiplier, (1u << 20) / 12);
    EXPECT_EQ(kSixthMultiplier, ((1u << 20) + 5) / 6);
}

// A 12 MP packed frame at factor 8 is 500 x 374; its last 8 rows are never read.
TEST(DecimateTest, TwelveMegapixelPackedFrameAtFactorEight) {
    TestImage img = RandomImage(PIXEL_FORMAT_YUYV, 4000, 3000, 3);
    ImageDesc allocated{};
    ASSERT_EQ(DecimateToYuv444(nullptr, &img.desc, &allocated, nullptr, 8, 1), RESULT_OK);
    EXPECT_EQ(allocated.i32Width, 500);
    EXPECT_EQ(allocated.i32Height, 374);
    for (int oy : {0, 1, 200, 373})
        for (int ox : {0, 1, 250, 499}) {
            const auto want = ModelPixel(img, 8, 0, 0, ox, oy);
            EXPECT_EQ(allocated.ppu8Plane[0][oy * 500 + ox], want.y);
            EXPECT_EQ(allocated.ppu8Plane[1][oy * 500 + ox], want.u);
            EXPECT_EQ(allocated.ppu8Plane[2][oy * 500 + ox], want.v);
        }
    std::vector<uint8_t> first(allocated.ppu8Plane[0], allocated.ppu8Plane[0] + 3 * 500 * 374);
    std::memset(img.planes[0].data() + 2992 * img.pitch[0], 0xFF, 8 * img.pitch[0]);
    ASSERT_EQ(DecimateToYuv444(nullptr, &img.desc, &allocated, nullptr, 8, 0), RESULT_OK);
    EXPECT_EQ(0, std::memcmp(first.data(), allocated.ppu8Plane[0], first.size()));
    FreeMemory(nullptr, allocated.ppu8Plane[0]);
}

// A flat area keeps its value at factors 1 to 4 and loses one at 5 to 8 (multiples of 9).
TEST(DecimateTest, FlatAreaAtEveryFactor) {
    for (uint32_t format : kAllFormats)
        for (int factor = 1; factor <= 8; ++factor) {
            TestImage img = FlatImage(format, 64, 64, 200);
            const int32_t side = (64 / (2 * factor)) * 2;
            Output444 out(side, side);
            ASSERT_EQ(DecimateToYuv444(nullptr, &img.desc, &out.desc, nullptr, factor, 0),
                      RESULT_OK);
            const uint8_t want = factor <= 4 ? 200 : 199;
            for (int p = 0; p < 3; ++p)
                EXPECT_EQ(out.At(p, side - 1, side - 1), want)
                    << format << " " << factor << " " << p;
        }
}

// Taps 17, 0 x 7 and a ninth of 11: the packed mean of eight truncates (8 x 2 + 11 = 27, a
// multiple of 9 -> 2); the planar sum is 28 -> 3.
TEST(DecimateTest, PackedMeanOfEightTruncatesBeforeTheNinthTap) {
    for (uint32_t format : {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420}) {
        TestImage img = FlatImage(format, 16, 16, 0);
        img.Y(0, 0) = 17;
        img.Y(6, 6) = 11;  // the bottom-right tap of both tap sets
        Output444 out(2, 2);
        ASSERT_EQ(DecimateToYuv444(nullptr, &img.desc, &out.desc, nullptr, 8, 0), RESULT_OK);
        EXPECT_EQ(out.At(0, 0, 0), format == PIXEL_FORMAT_YUYV ? 2 : 3);
    }
}

TEST(DecimateTest, OutputSidesAreEvenAndTheRemainderIsNotRead) {
    struct Case {
        int32_t width;
        int32_t wantWidth;
    };
    for (const Case c : {Case{17, 2}, Case{15, 0}, Case{31, 2}, Case{32, 4}}) {
        TestImage img = FlatImage(PIXEL_FORMAT_YUYV, c.width, 16, 50);
        ImageDesc allocated{};
        ASSERT_EQ(DecimateToYuv444(nullptr, &img.desc, &allocated, nullptr, 8, 1), RESULT_OK);
        EXPECT_EQ(allocated.i32Width, c.wantWidth) << c.width;
        EXPECT_EQ(allocated.i32Height, 2);
        FreeMemory(nullptr, allocated.ppu8Plane[0]);
    }
    // Nothing to write: the output, however small, is left alone.
    TestImage narrow = FlatImage(PIXEL_FORMAT_YUYV, 15, 16, 50);
    Output444 out(0, 0);
    EXPECT_EQ(DecimateToYuv444(nullptr, &narrow.desc, &out.desc, nullptr, 8, 0), RESULT_OK);
}

TEST(DecimateTest, AllocationGivesOnePlanarBlockWithPitchesEqualToTheWidth) {
    TestImage img = RandomImage(PIXEL_FORMAT_NV12, 50, 36, 5);
    ImageDesc out{};
    out.ppu8Plane[3] = reinterpret_cast<uint8_t *>(&out);  // plane 3 is not touched
    out.pi32Pitch[3] = 77;
    ASSERT_EQ(DecimateToYuv444(nullptr, &img.desc, &out, nullptr, 3, 1), RESULT_OK);
    EXPECT_EQ(out.u32PixelArrayFormat, static_cast<uint32_t>(PIXEL_FORMAT_YUV444P));
    EXPECT_EQ(out.i32Width, 16);
    EXPECT_EQ(out.i32Height, 12);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(out.pi32Pitch[p], 16);
    EXPECT_EQ(out.ppu8Plane[1], out.ppu8Plane[0] + 16 * 12);
    EXPECT_EQ(out.ppu8Plane[2], out.ppu8Plane[0] + 2 * 16 * 12);
    EXPECT_EQ(out.ppu8Plane[3], reinterpret_cast<uint8_t *>(&out));
    EXPECT_EQ(out.pi32Pitch[3], 77);
    FreeMemory(nullptr, out.ppu8Plane[0]);
}

TEST(DecimateTest, FailedAllocationIsReported) {
    alignas(16) static uint8_t pool[256];
    MemoryContext small = InitMemoryPool(pool, sizeof pool);
    ASSERT_NE(small, nullptr);
    TestImage img = RandomImage(PIXEL_FORMAT_YUYV, 160, 160, 9);
    ImageDesc out{};
    EXPECT_EQ(DecimateToYuv444(small, &img.desc, &out, nullptr, 8, 1), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(out.ppu8Plane[0], nullptr);
    EXPECT_EQ(out.i32Width, 0);
}

// From factor 2 up the two chroma orders give exchanged U and V planes. Factor 1 treats U and
// V differently (own pair for one, mean of two pairs for the other), so there the planes are
// not a plain exchange.
TEST(DecimateTest, SemiPlanarChromaOrdersSwapUAndV) {
    for (int factor = 2; factor <= 8; ++factor) {
        TestImage nv12 = RandomImage(PIXEL_FORMAT_NV12, 48, 48, 11);
        TestImage nv21 = nv12;
        nv21.format = nv21.desc.u32PixelArrayFormat = PIXEL_FORMAT_NV21;
        nv21.desc.ppu8Plane[0] = nv21.planes[0].data();
        nv21.desc.ppu8Plane[1] = nv21.planes[1].data();
        const int32_t side = (48 / (2 * factor)) * 2;
        Output444 a(side, side);
        Output444 b(side, side);
        ASSERT_EQ(DecimateToYuv444(nullptr, &nv12.desc, &a.desc, nullptr, factor, 0), RESULT_OK);
        ASSERT_EQ(DecimateToYuv444(nullptr, &nv21.desc, &b.desc, nullptr, factor, 0), RESULT_OK);
        EXPECT_EQ(a.planes[0], b.planes[0]) << factor;
        EXPECT_EQ(a.planes[1], b.planes[2]) << factor;
        EXPECT_EQ(a.planes[2], b.planes[1]) << factor;
    }
}

// At factor 2 the semi-planar 4:2:2 source copies the top row's chroma, the planar and packed
// ones average the two rows of the block.
TEST(DecimateTest, FactorTwoChromaRowsByFormat) {
    struct Case {
        uint32_t format;
        uint8_t wantU;
    };
    for (const Case c : {Case{PIXEL_FORMAT_NV16, 10}, Case{PIXEL_FORMAT_YUV422P, 15},
                         Case{PIXEL_FORMAT_YUYV, 15}}) {
        TestImage img = FlatImage(c.format, 8, 4, 0);
        for (int k = 0; k < img.Pairs(); ++k) {
            img.U(k, 0) = 10;
            img.U(k, 1) = 21;
        }
        Output444 out(4, 2);
        ASSERT_EQ(DecimateToYuv444(nullptr, &img.desc, &out.desc, nullptr, 2, 0), RESULT_OK);
        EXPECT_EQ(out.At(1, 0, 0), c.wantU) << c.format;
    }
}

// At factor 1 the U of an odd pixel is the mean with the next pair on a packed source and with
// the previous pair on a planar one; at the image's edges the pixel's own pair stands in.
TEST(DecimateTest, FactorOneNeighbouringPairs) {
    for (uint32_t format : {PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420}) {
        TestImage img = FlatImage(format, 8, 2, 0);
        for (int k = 0; k < 4; ++k) {
            img.U(k, 0) = static_cast<uint8_t>(10 * (k + 1));
            img.V(k, 0) = static_cast<uint8_t>(100 + 10 * k);
        }
        Output444 out(8, 2);
        ASSERT_EQ(DecimateToYuv444(nullptr, &img.desc, &out.desc, nullptr, 1, 0), RESULT_OK);
        const bool packed = format == PIXEL_FORMAT_YUYV;
        EXPECT_EQ(out.At(1, 3, 0), packed ? 25 : 15);  // pixel 3: pair 1 with pair 2 or 0
        EXPECT_EQ(out.At(1, 2, 0), 20);                // even pixels take their own U
        EXPECT_EQ(out.At(2, 2, 0), 105);               // and the mean of V with the pair before
        EXPECT_EQ(out.At(2, 0, 0), 100);               // pair -1 does not exist
        EXPECT_EQ(out.At(1, 1, 0), packed ? 15 : 10);
        EXPECT_EQ(out.At(1, 7, 0), packed ? 40 : 35);  // packed: pair 4 does not exist
    }
}

TEST(DecimateTest, ArgumentChecks) {
    TestImage img = RandomImage(PIXEL_FORMAT_YUYV, 64, 64, 13);
    Output444 out(8, 8);
    const std::vector<uint8_t> untouched = out.planes[0];
    // Factor zero or negative: refused, even an allocation request is not served.
    for (int factor : {0, -3}) {
        ImageDesc fresh{};
        EXPECT_EQ(DecimateToYuv444(nullptr, &img.desc, &fresh, nullptr, factor, 1),
                  RESULT_INVALID_ARGUMENT);
        EXPECT_EQ(fresh.ppu8Plane[0], nullptr);
    }
    // Factor 9 has no kernel in the dispatcher: nothing written.
    EXPECT_EQ(DecimateToYuv444(nullptr, &img.desc, &out.desc, nullptr, 9, 0), RESULT_OK);
    EXPECT_EQ(out.planes[0], untouched);
    const InclusiveRect bad[] = {{1, 0, 63, 63}, {0, 1, 63, 63},  {0, 0, 64, 63},
                                 {0, 0, 63, 64}, {-2, 0, 63, 63}, {10, 0, 8, 63}};
    for (const InclusiveRect &r : bad)
        EXPECT_EQ(DecimateToYuv444(nullptr, &img.desc, &out.desc, &r, 8, 0),
                  RESULT_INVALID_ARGUMENT);
    Output444 tooSmall(7, 8);
    EXPECT_EQ(DecimateToYuv444(nullptr, &img.desc, &tooSmall.desc, nullptr, 8, 0),
              RESULT_INVALID_ARGUMENT);
    ImageDesc wrongFormat = out.desc;
    wrongFormat.u32PixelArrayFormat = PIXEL_FORMAT_I420;
    EXPECT_EQ(DecimateToYuv444(nullptr, &img.desc, &wrongFormat, nullptr, 8, 0),
              RESULT_INVALID_ARGUMENT);
    ImageDesc shortPitch = img.desc;
    shortPitch.pi32Pitch[0] = 126;
    EXPECT_EQ(DecimateToYuv444(nullptr, &shortPitch, &out.desc, nullptr, 8, 0),
              RESULT_INVALID_ARGUMENT);
    ImageDesc uyvy = img.desc;
    uyvy.u32PixelArrayFormat = PIXEL_FORMAT_UYVY;
    ImageDesc fresh{};
    EXPECT_EQ(DecimateToYuv444(nullptr, &uyvy, &fresh, nullptr, 8, 1), RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(fresh.ppu8Plane[0], nullptr);
    EXPECT_EQ(DecimateToYuv444(nullptr, nullptr, &out.desc, nullptr, 8, 0),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(out.planes[0], untouched);
    // The plain form reports what the dispatcher reports.
    EXPECT_EQ(DecimateIntoImage(&img.desc, &out.desc, nullptr, 0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(DecimateIntoImage(&img.desc, &out.desc, nullptr, 8), RESULT_OK);
}

TEST(DecimateTest, IntoWindowWritesOnlyTheWindow) {
    TestImage img = RandomImage(PIXEL_FORMAT_I420, 64, 48, 17);
    Output444 whole(8, 6);
    ASSERT_EQ(DecimateToYuv444(nullptr, &img.desc, &whole.desc, nullptr, 8, 0), RESULT_OK);
    Output444 big(20, 12);
    const InclusiveRect rect = {0, 0, 63, 47};
    int32_t window[4] = {5, 3, 13, 9};  // rounded to {4, 2, 13, 9}: 9 x 7, not 8 x 6
    EXPECT_EQ(DecimateIntoWindow(&img.desc, &big.desc, &rect, window, 8), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(window[0], 4);
    EXPECT_EQ(window[1], 2);
    window[2] = 12;
    window[3] = 8;
    ASSERT_EQ(DecimateIntoWindow(&img.desc, &big.desc, &rect, window, 8), RESULT_OK);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 20; ++x) {
                const bool inside = x >= 4 && x < 12 && y >= 2 && y < 8;
                EXPECT_EQ(big.At(p, x, y), inside ? whole.At(p, x - 4, y - 2) : 0xA5);
            }
    int32_t outside[4] = {16, 0, 24, 6};
    EXPECT_EQ(DecimateIntoWindow(&img.desc, &big.desc, &rect, outside, 8), RESULT_INVALID_ARGUMENT);
    const InclusiveRect empty = {0, 0, 0, 47};
    EXPECT_EQ(DecimateIntoWindow(&img.desc, &big.desc, &empty, window, 8), RESULT_OK);
}

TEST(DecimateLargeFactorTest, FlatAreasAndAvailableKernels) {
    for (int factor = 9; factor <= 14; ++factor) {
        TestImage i420 = FlatImage(PIXEL_FORMAT_I420, 64, 64, 100);
        const int32_t side = (64 / (2 * factor)) * 2;
        Output444 out(side, side);
        ASSERT_EQ(DecimateByLargeFactor(&i420.desc, &out.desc, nullptr, factor), RESULT_OK);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(out.At(p, 1, 1), factor >= 11 ? 100 : 99) << factor;
        TestImage yuyv = FlatImage(PIXEL_FORMAT_YUYV, 64, 64, 120);
        ASSERT_EQ(DecimateByLargeFactor(&yuyv.desc, &out.desc, nullptr, factor), RESULT_OK);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(out.At(p, 1, 1), 119) << factor;
    }
    TestImage nv21 = FlatImage(PIXEL_FORMAT_NV21, 40, 40, 1);
    TestImage nv12 = FlatImage(PIXEL_FORMAT_NV12, 40, 40, 1);
    Output444 out(4, 4);
    EXPECT_EQ(DecimateByLargeFactor(&nv21.desc, &out.desc, nullptr, 10), RESULT_OK);
    EXPECT_EQ(DecimateByLargeFactor(&nv21.desc, &out.desc, nullptr, 11), RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(DecimateByLargeFactor(&nv12.desc, &out.desc, nullptr, 9), RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(DecimateByLargeFactor(&nv12.desc, &out.desc, nullptr, 8), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(DecimateByLargeFactor(&nv12.desc, &out.desc, nullptr, 15), RESULT_INVALID_ARGUMENT);
}

// The engine's thumbnail reads its outer ring one pixel in: whatever the outermost rows and
// columns of a photo hold (a dark line, say), the thumbnail is the same, and inside the ring it
// is the plain reduction by 8.
TEST(DecimateThumbnailTest, OuterRowsAndColumnsOfThePhotoAreNeverRead) {
    struct Size {
        int32_t width, height;
    };
    uint32_t seed = 11;
    for (uint32_t format : kAllFormats)
        for (const Size size : {Size{64, 48}, Size{70, 53}, Size{96, 80}}) {
            TestImage img = RandomImage(format, size.width, size.height, seed++);
            const int32_t ow = (size.width / 16) * 2, oh = (size.height / 16) * 2;
            Output444 plain(ow, oh), thumb(ow, oh), lined(ow, oh);
            ASSERT_EQ(DecimateToYuv444(nullptr, &img.desc, &plain.desc, nullptr, 8, 0), RESULT_OK);
            ASSERT_EQ(DecimateThumbnail(&img.desc, &thumb.desc), RESULT_OK);
            for (int p = 0; p < 3; ++p)
                for (int32_t y = 0; y < oh; ++y)
                    for (int32_t x = 0; x < ow; ++x)
                        if (x > 0 && y > 0 && x < ow - 1 && y < oh - 1) {
                            ASSERT_EQ(thumb.At(p, x, y), plain.At(p, x, y))
                                << format << " " << x << "," << y;
                        }
            const int32_t w = img.width, h = img.height;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    if (x == 0 || y == 0 || x == w - 1 || y == h - 1) img.Y(x, y) = 0;
            for (int32_t r = 0; r < img.ChromaRows(); ++r)
                for (int32_t k = 0; k < w / 2; ++k)
                    if (k == 0 || r == 0 || k == w / 2 - 1 || r == img.ChromaRows() - 1)
                        img.U(k, r) = img.V(k, r) = 0;
            ASSERT_EQ(DecimateThumbnail(&img.desc, &lined.desc), RESULT_OK);
            for (int p = 0; p < 3; ++p)
                for (int32_t y = 0; y < oh; ++y)
                    for (int32_t x = 0; x < ow; ++x)
                        ASSERT_EQ(lined.At(p, x, y), thumb.At(p, x, y))
                            << "format 0x" << std::hex << format << std::dec << " " << w << "x" << h
                            << " plane " << p << " at " << x << "," << y;
        }
}

TEST(DecimateThumbnailTest, RefusesWhatTheReductionRefuses) {
    TestImage img = FlatImage(PIXEL_FORMAT_YUYV, 64, 48, 9);
    Output444 small(4, 4);
    EXPECT_EQ(DecimateThumbnail(&img.desc, nullptr), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(DecimateThumbnail(nullptr, &small.desc), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(DecimateThumbnail(&img.desc, &small.desc), RESULT_INVALID_ARGUMENT);
    img.desc.u32PixelArrayFormat = PIXEL_FORMAT_YUV444P;
    Output444 out(8, 6);
    EXPECT_EQ(DecimateThumbnail(&img.desc, &out.desc), RESULT_UNSUPPORTED_FORMAT);
}

}  // namespace

#include "align/transform_warp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/image.h"
#include "tracking_scene_support.h"

namespace {

using tracking_test::ApplyTransform;
using tracking_test::Identity;
using tracking_test::RotationScale;
using tracking_test::Translation;

struct ImageDeleter {
    void operator()(ImageDesc *image) const { DestroyImage(&image, nullptr); }
};
using ImagePtr = std::unique_ptr<ImageDesc, ImageDeleter>;

int32_t PlaneRows(const ImageDesc *image, int32_t plane) {
    const uint32_t f = image->u32PixelArrayFormat;
    const bool semi = f == PIXEL_FORMAT_NV12 || f == PIXEL_FORMAT_NV21;
    return plane > 0 && semi ? image->i32Height >> 1 : image->i32Height;
}

int32_t PlaneBytes(const ImageDesc *image, int32_t plane) {
    const uint32_t f = image->u32PixelArrayFormat;
    const bool semi = f == PIXEL_FORMAT_NV12 || f == PIXEL_FORMAT_NV21;
    return plane > 0 && semi ? (image->i32Width + 1) & ~1 : image->i32Width;
}

int32_t PlaneCount(const ImageDesc *image) {
    switch (image->u32PixelArrayFormat) {
        case PIXEL_FORMAT_GRAY8: return 1;
        case PIXEL_FORMAT_YUV444P: return 3;
        default: return 2;
    }
}

uint8_t &Sample(ImageDesc *image, int32_t plane, int32_t x, int32_t y) {
    return image->ppu8Plane[plane][static_cast<int64_t>(y) * image->pi32Pitch[plane] + x];
}

// A smooth ramp 20 + x + y / 2 in every luma-like plane (never 255); chroma pairs (60, 200).
ImagePtr RampImage(int32_t w, int32_t h, uint32_t format) {
    ImageDesc *image = nullptr;
    EXPECT_EQ(CreateImage(&image, w, h, format, nullptr), RESULT_OK);
    ImagePtr owned(image);
    const bool semi = format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21;
    for (int32_t p = 0; p < PlaneCount(image); ++p)
        for (int32_t y = 0; y < PlaneRows(image, p); ++y)
            for (int32_t x = 0; x < PlaneBytes(image, p); ++x)
                Sample(image, p, x, y) = semi && p == 1 ? ((x & 1) ? 200 : 60)
                                                        : static_cast<uint8_t>(20 + x + y / 2 + 10 * p);
    return owned;
}

ImagePtr Filled(int32_t w, int32_t h, uint32_t format, uint8_t value) {
    ImageDesc *image = nullptr;
    EXPECT_EQ(CreateImage(&image, w, h, format, nullptr), RESULT_OK);
    ImagePtr owned(image);
    for (int32_t p = 0; p < PlaneCount(image); ++p)
        for (int32_t y = 0; y < PlaneRows(image, p); ++y)
            for (int32_t x = 0; x < PlaneBytes(image, p); ++x) Sample(image, p, x, y) = value;
    return owned;
}

int Warp(const ImageDesc *src, ImageDesc *dst, const ProjectiveTransform &t, PixelRect *crop,
         const PixelRect *clip = nullptr) {
    return WarpImageByTransform(src, dst, t.matrix, t.translation, t.perspective, clip, crop);
}

bool SameRect(const PixelRect &a, const PixelRect &b) {
    return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1;
}

TEST(WarpCellShift, GivesCellsOfAboutATenthOfTheLargerSide) {
    EXPECT_EQ(WarpCellShift(500), 5);
    EXPECT_EQ(WarpCellShift(96), 3);
    EXPECT_EQ(WarpCellShift(20), 1);
    EXPECT_EQ(WarpCellShift(19), 10);
}

TEST(WarpImageByTransform, IdentityCopiesTheWholeImage) {
    const ImagePtr src = RampImage(96, 64, PIXEL_FORMAT_YUV444P);
    const ImagePtr dst = Filled(96, 64, PIXEL_FORMAT_YUV444P, 255);
    PixelRect crop{};
    EXPECT_EQ(Warp(src.get(), dst.get(), Identity(), &crop), 1);
    EXPECT_TRUE(SameRect(crop, {0, 0, 96, 64}));
    for (int32_t p = 0; p < 3; ++p) EXPECT_EQ(Sample(dst.get(), p, 95, 63), Sample(src.get(), p, 95, 63));
}

TEST(WarpImageByTransform, WholePixelTranslationCopiesTheOverlap) {
    const ImagePtr src = RampImage(96, 64, PIXEL_FORMAT_GRAY8);
    // (3.2, -1.8) rounds to (3, -2) at every corner.
    for (const ProjectiveTransform &t : {Translation(3.0, -2.0), Translation(3.2, -1.8)}) {
        const ImagePtr dst = Filled(96, 64, PIXEL_FORMAT_GRAY8, 255);
        PixelRect crop{};
        EXPECT_EQ(Warp(src.get(), dst.get(), t, &crop), 1);
        EXPECT_TRUE(SameRect(crop, {0, 2, 93, 64}));
        for (int32_t y = 0; y < 64; ++y)
            for (int32_t x = 0; x < 96; ++x) {
                const bool inside = x <= 92 && y >= 2;
                EXPECT_EQ(Sample(dst.get(), 0, x, y),
                          inside ? Sample(src.get(), 0, x + 3, y - 2) : 255)
                    << x << "," << y;
            }
    }
}

TEST(WarpImageByTransform, TranslationBeyondTheImageWritesNothing) {
    const ImagePtr src = RampImage(96, 64, PIXEL_FORMAT_GRAY8);
    const ImagePtr dst = Filled(96, 64, PIXEL_FORMAT_GRAY8, 255);
    PixelRect crop{1, 1, 1, 1};
    EXPECT_EQ(Warp(src.get(), dst.get(), Translation(96.0, 0.0), &crop), 1);
    EXPECT_TRUE(SameRect(crop, {0, 0, 0, 0}));
    EXPECT_EQ(Sample(dst.get(), 0, 0, 0), 255);
    EXPECT_EQ(Warp(src.get(), dst.get(), Translation(-3.0e12, 5.0), &crop), 1);
    EXPECT_TRUE(SameRect(crop, {0, 0, 0, 0}));
}

// Every pixel inside the crop was written and follows the ramp at its true source; every pixel
// left untouched lies outside the crop.
void ExpectFaithfulWarp(const ImageDesc *src, ImageDesc *dst, const ProjectiveTransform &t,
                        const PixelRect &crop) {
    const int32_t w = src->i32Width, h = src->i32Height;
    EXPECT_GE(crop.x0, 0);
    EXPECT_LE(crop.x1, w);
    EXPECT_GE(crop.y0, 0);
    EXPECT_LE(crop.y1, h);
    EXPECT_LT(crop.x0, crop.x1);
    EXPECT_LT(crop.y0, crop.y1);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t v = Sample(dst, 0, x, y);
            const bool inCrop = x >= crop.x0 && x < crop.x1 && y >= crop.y0 && y < crop.y1;
            if (v == 255) {
                EXPECT_FALSE(inCrop) << x << "," << y;
                continue;
            }
            double X, Y;
            ApplyTransform(t, x, y, &X, &Y);
            EXPECT_NEAR(v, 20.0 + X + std::floor(Y) / 2.0, 2.0) << x << "," << y;
        }
}

TEST(WarpImageByTransform, SmallRotationLeavesPixelsWithoutASourceAlone) {
    const ImagePtr src = RampImage(96, 64, PIXEL_FORMAT_GRAY8);
    const ImagePtr dst = Filled(96, 64, PIXEL_FORMAT_GRAY8, 255);
    const ProjectiveTransform t = RotationScale(2.0, 1.0, 48.0, 32.0);
    PixelRect crop{};
    EXPECT_EQ(Warp(src.get(), dst.get(), t, &crop), 1);
    ExpectFaithfulWarp(src.get(), dst.get(), t, crop);
    // The rotation moves the corners by about two pixels; the crop excludes them.
    EXPECT_GT(crop.x0, 0);
    EXPECT_LT(crop.y1, 64);
}

TEST(WarpImageByTransform, ClipLimitsThePixelsWritten) {
    const ImagePtr src = RampImage(96, 64, PIXEL_FORMAT_GRAY8);
    const PixelRect clip = {10, 5, 50, 40};
    for (const ProjectiveTransform &t : {Identity(), RotationScale(1.0, 1.01, 48.0, 32.0)}) {
        const ImagePtr dst = Filled(96, 64, PIXEL_FORMAT_GRAY8, 255);
        PixelRect crop{};
        Warp(src.get(), dst.get(), t, &crop, &clip);
        for (int32_t y = 0; y < 64; ++y)
            for (int32_t x = 0; x < 96; ++x)
                if (x < clip.x0 || x >= clip.x1 || y < clip.y0 || y >= clip.y1) {
                    EXPECT_EQ(Sample(dst.get(), 0, x, y), 255) << x << "," << y;
                }
        EXPECT_NE(Sample(dst.get(), 0, 30, 20), 255);
    }
}

// Odd sizes, every cell format, rotations, scales and perspectives inside the plausible range:
// reads and writes stay inside the planes (checked by the sanitizer builds) and the crop holds.
TEST(WarpImageByTransform, SweepOfOddSizesAndMildTransforms) {
    const uint32_t formats[] = {PIXEL_FORMAT_GRAY8, PIXEL_FORMAT_YUV444P, PIXEL_FORMAT_NV12,
                                PIXEL_FORMAT_NV21};
    const int32_t sizes[][2] = {{97, 65}, {95, 63}, {131, 77}};
    for (uint32_t format : formats)
        for (const auto &size : sizes) {
            const int32_t w = size[0], h = size[1];
            const ImagePtr src = RampImage(w, h, format);
            for (double degrees = -4.0; degrees <= 4.0; degrees += 2.0)
                for (double scale : {0.95, 1.0, 1.05})
                    for (double g : {-1.0e-4, 0.0, 1.0e-4}) {
                        ProjectiveTransform t = RotationScale(degrees, scale, w / 2.0, h / 2.0, 0.3, -0.6);
                        t.perspective[0] = g;
                        t.perspective[1] = -g;
                        const ImagePtr dst = Filled(w, h, format, 255);
                        PixelRect crop{};
                        ASSERT_EQ(Warp(src.get(), dst.get(), t, &crop), 1);
                        ExpectFaithfulWarp(src.get(), dst.get(), t, crop);
                        if (format != PIXEL_FORMAT_NV12 && format != PIXEL_FORMAT_NV21) continue;
                        // Chroma pairs keep their byte order (the pairs under the luma width).
                        for (int32_t y = 0; y < (h >> 1); ++y)
                            for (int32_t x = 0; x + 1 < w; x += 2) {
                                const uint8_t u = Sample(dst.get(), 1, x, y);
                                const uint8_t v = Sample(dst.get(), 1, x + 1, y);
                                EXPECT_TRUE((u == 60 && v == 200) || (u == 255 && v == 255))
                                    << int(u) << " " << int(v) << " at " << x << "," << y;
                            }
                    }
        }
}

TEST(WarpImageByTransform, WildTransformsStayDefined) {
    const ImagePtr src = RampImage(100, 60, PIXEL_FORMAT_GRAY8);
    const ProjectiveTransform wild[] = {
        {{1, 0, 0, 1}, {0, 0}, {0.0099, 0.0}},  // w near 0 at the right edge
        {{1, 0, 0, 1}, {0, 0}, {0.02, 0.01}},   // w <= 0 over part of the image
        {{1e9, 0, 0, 1e9}, {0, 0}, {0, 0}},     // sources far outside
        {{-1, 0, 0, 1}, {99, 0}, {0, 0}},       // a mirror folds every cell
        {{1, 0, 0, 1}, {NAN, 0}, {0, 0}},
    };
    for (const ProjectiveTransform &t : wild) {
        const ImagePtr dst = Filled(100, 60, PIXEL_FORMAT_GRAY8, 255);
        PixelRect crop{};
        EXPECT_EQ(Warp(src.get(), dst.get(), t, &crop), 1);
        EXPECT_LE(crop.x1, 100);
        EXPECT_LE(crop.y1, 60);
        // No rectangle of pixels with a source can be claimed where cells could not be warped.
        if (&t >= &wild[2]) { EXPECT_TRUE(SameRect(crop, {0, 0, 0, 0})); }
        std::vector<int32_t> gx(9), gy(9);
        EXPECT_EQ(BuildMotionGridFromTransform(t.matrix, t.translation, t.perspective, gx.data(),
                                               gy.data(), 8, 3, 3),
                  0);
    }
}

TEST(WarpImageByTransform, RejectsMissingOrMismatchedImages) {
    const ImagePtr src = RampImage(96, 64, PIXEL_FORMAT_GRAY8);
    const ImagePtr other = Filled(97, 64, PIXEL_FORMAT_GRAY8, 255);
    const ImagePtr yuv = Filled(96, 64, PIXEL_FORMAT_YUV444P, 255);
    PixelRect crop{5, 5, 5, 5};
    EXPECT_EQ(Warp(src.get(), other.get(), Identity(), &crop), 2);
    EXPECT_TRUE(SameRect(crop, {0, 0, 0, 0}));
    EXPECT_EQ(Warp(src.get(), yuv.get(), Identity(), &crop), 2);
    EXPECT_EQ(Warp(nullptr, yuv.get(), Identity(), &crop), 2);
    EXPECT_EQ(Sample(other.get(), 0, 0, 0), 255);
}

TEST(ComputeCellValidRegion, LastCellsStopOnePixelShortOfTheBorder) {
    const int32_t zero[4] = {0, 0, 0, 0};
    PixelRect crop = {0, 0, 96, 64}, valid{};
    int32_t cx[4], cy[4];
    EXPECT_EQ(ComputeCellValidRegion(11, 7, 96, 64, 3, zero, zero, cx, cy, &valid, &crop), 0);
    EXPECT_TRUE(SameRect(valid, {0, 0, 7, 7}));
    EXPECT_TRUE(SameRect(crop, {0, 0, 95, 63}));
    EXPECT_EQ(cx[CELL_TOP_RIGHT], 16 * 96);
    EXPECT_EQ(cy[CELL_BOTTOM_LEFT], 16 * 64);
    EXPECT_EQ(ComputeCellValidRegion(3, 3, 96, 64, 3, zero, zero, nullptr, nullptr, &valid, &crop), 0);
    EXPECT_TRUE(SameRect(valid, {0, 0, 8, 8}));
}

TEST(ComputeCellValidRegion, FoldedAndEmptyCells) {
    const int32_t zero[4] = {0, 0, 0, 0};
    PixelRect crop = {0, 0, 96, 64}, valid{};
    EXPECT_EQ(ComputeCellValidRegion(2, 2, 96, 64, 3, zero, zero, nullptr, nullptr, &valid, nullptr), 2);
    const int32_t folded[4] = {0, -200, 0, 0};  // top right left of top left
    EXPECT_EQ(ComputeCellValidRegion(2, 2, 96, 64, 3, folded, zero, nullptr, nullptr, &valid, &crop), 2);
    EXPECT_TRUE(SameRect(crop, {0, 0, 96, 64}));
    const int32_t farLeft[4] = {-16 * 20, -16 * 20, -16 * 20, -16 * 20};
    EXPECT_EQ(ComputeCellValidRegion(0, 2, 96, 64, 3, farLeft, zero, nullptr, nullptr, &valid, &crop), 3);
    EXPECT_EQ(crop.x0, 8);  // pushed past the cell
}

TEST(SampleRowBilinear16, WritesExactlyItsSpan) {
    std::vector<uint8_t> src(2 * 20);
    for (int32_t i = 0; i < 40; ++i) src[i] = static_cast<uint8_t>(10 * (i % 20));
    std::vector<uint8_t> row(20, 255);
    SampleRowBilinear16(src.data(), 20, 2, 20, row.data(), 0, 5, 7, 0, 0, 0, 0, 3);
    for (int32_t x = 0; x < 20; ++x) EXPECT_EQ(row[x], x == 5 || x == 6 ? 10 * x : 255) << x;
}

TEST(SampleRowBilinear16, UsesFourBitWeights) {
    const int32_t s = 3;
    std::vector<uint8_t> src = {10, 21, 30, 40, 50, 60, 70, 80,  //
                                90, 90, 90, 90, 90, 90, 90, 90};
    uint8_t row[8] = {};
    // Half a pixel to the right: weight 8 of 16, the mean rounded down.
    const int64_t half = int64_t{8} << (2 * s);
    SampleRowBilinear16(src.data(), 8, 2, 8, row, 0, 1, 2, half, 0, 0, 0, s);
    EXPECT_EQ(row[1], (21 + 30) / 2);
    // Three sixteenths down: (16 * 21 + 3 * (90 - 21)) * 16 >> 8.
    SampleRowBilinear16(src.data(), 8, 2, 8, row, 0, 1, 2, 0, int64_t{3} << (2 * s), 0, 0, s);
    EXPECT_EQ(row[1], (16 * (16 * 21 + 3 * (90 - 21))) >> 8);
}

TEST(SampleRowBilinear16, GroupsOfFourShareDisplacementsInPairs) {
    const int32_t s = 2;
    std::vector<uint8_t> src(2 * 32);
    for (int32_t i = 0; i < 32; ++i) src[i] = src[32 + i] = static_cast<uint8_t>(3 * i);
    uint8_t row[12];
    // Each pixel's own displacement grows by one whole pixel per pixel.
    const int64_t pixel = int64_t{1} << (2 * s + 4);
    SampleRowBilinear16(src.data(), 32, 2, 32, row, 0, 2, 11, 0, 0, pixel, 0, s);
    // 2, 3: own displacements; 4..7 and the tail 8..10 by the pairing rule.
    const int32_t expectedColumn[11] = {0, 0, 2, 4, 6, 7, 10, 11, 14, 16, 18};
    for (int32_t x = 2; x < 11; ++x) EXPECT_EQ(row[x], 3 * expectedColumn[x]) << x;
}

TEST(BuildMotionGridFromTransform, HoldsRoundedNodeDisplacements) {
    std::vector<int32_t> gx(12, 7), gy(12, 7);
    const ProjectiveTransform identity = Identity();
    ASSERT_EQ(BuildMotionGridFromTransform(identity.matrix, identity.translation,
                                           identity.perspective, gx.data(), gy.data(), 8, 4, 3),
              0);
    for (int32_t i = 0; i < 12; ++i) EXPECT_EQ(gx[i] | gy[i], 0);
    const ProjectiveTransform shift = Translation(8.5, -3.5);
    BuildMotionGridFromTransform(shift.matrix, shift.translation, shift.perspective, gx.data(),
                                 gy.data(), 8, 4, 3);
    for (int32_t i = 0; i < 12; ++i) {
        EXPECT_EQ(gx[i], -9);  // round(-8.5) away from zero
        EXPECT_EQ(gy[i], 4);
    }
    // A node scaled about the origin: node (2, 1) stands at (384, 128).
    const ProjectiveTransform grow = {{1.01, 0, 0, 1.01}, {0, 0}, {0, 0}};
    BuildMotionGridFromTransform(grow.matrix, grow.translation, grow.perspective, gx.data(),
                                 gy.data(), 8, 4, 3);
    EXPECT_EQ(gx[1 * 4 + 2], -4);  // 384 - 387.84
    EXPECT_EQ(gy[1 * 4 + 2], -1);  // 128 - 129.28
    EXPECT_EQ(BuildMotionGridFromTransform(grow.matrix, grow.translation, grow.perspective,
                                           nullptr, gy.data(), 8, 4, 3),
              2);
}

TEST(ComputeMatchResiduals, LeavesWhatTheTransformDoesNotExplain) {
    const ProjectiveTransform t = {{1.01, 0.02, -0.01, 0.99}, {3.0, -1.0}, {1e-5, -2e-5}};
    float refX[3] = {10, 200, 400}, refY[3] = {20, 150, 300}, curX[3], curY[3];
    for (int i = 0; i < 3; ++i) {
        double X, Y;
        ApplyTransform(t, refX[i], refY[i], &X, &Y);
        curX[i] = static_cast<float>(X + (i == 1 ? 0.5 : 0.0));
        curY[i] = static_cast<float>(Y);
    }
    EXPECT_EQ(ComputeMatchResiduals(refX, refY, curX, curY, 3, t.matrix, t.translation,
                                    t.perspective),
              1);
    EXPECT_NEAR(curX[0], 0.0, 1e-4);
    EXPECT_NEAR(curX[1], 0.5, 1e-4);
    EXPECT_NEAR(curY[2], 0.0, 1e-4);
}

}  // namespace

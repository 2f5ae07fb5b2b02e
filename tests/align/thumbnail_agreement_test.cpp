#include "align/thumbnail_agreement.h"

#include <gtest/gtest.h>

#include <cmath>

#include "align/image_fill_support.h"

namespace {

using align_test::TestImage;

constexpr int32_t kW = 48, kH = 32;

// A smooth texture that stays clear of both clip levels.
uint8_t Texture(double x, double y) {
    return static_cast<uint8_t>(std::lround(128 + 60 * std::sin(0.7 * x) * std::cos(0.5 * y)));
}

ProjectiveTransform Translation(double tx, double ty) {
    ProjectiveTransform t;
    SetIdentityProjective(t.matrix, t.translation, t.perspective);
    t.translation[0] = tx;
    t.translation[1] = ty;
    return t;
}

// The exposure shows the reference's content half a pixel to the left and a quarter lower:
// the transform that lays it onto the reference moves by (-0.5, 0.25), and it is told from no
// motion and from the opposite move.
TEST(ThumbnailAgreement, TheTrueSubPixelMotionFitsBest) {
    TestImage reference(kW, kH, PIXEL_FORMAT_GRAY8), exposure(kW, kH, PIXEL_FORMAT_GRAY8);
    reference.Fill(0, kW, kH, [](int32_t x, int32_t y) { return Texture(x, y); });
    exposure.Fill(0, kW, kH, [](int32_t x, int32_t y) { return Texture(x + 0.5, y - 0.25); });
    const ProjectiveTransform candidates[3] = {Translation(0, 0), Translation(-0.5, 0.25),
                                               Translation(0.5, -0.25)};
    double error[3];
    ASSERT_GT(MeasureThumbnailDisagreement(reference.get(), exposure.get(), exposure.get(),
                                           candidates, 3, error),
              0);
    EXPECT_LT(error[1], 0.5 * error[0]);
    EXPECT_LT(error[0], error[2]);
}

// Where the exposure is blown (its level mapped to anything) or the reference is clipped, the
// thumbnails are not compared: an exposure that differs only there agrees exactly.
TEST(ThumbnailAgreement, ClippedSamplesOfEitherPhotoAreLeftOut) {
    TestImage reference(kW, kH, PIXEL_FORMAT_GRAY8), own(kW, kH, PIXEL_FORMAT_GRAY8),
        mapped(kW, kH, PIXEL_FORMAT_GRAY8);
    const auto inBlown = [](int32_t x, int32_t y) { return x >= 20 && x < 30 && y >= 8 && y < 14; };
    const auto inWhite = [](int32_t x, int32_t y) { return x >= 5 && x < 9 && y >= 20 && y < 23; };
    reference.Fill(0, kW, kH, [&](int32_t x, int32_t y) {
        return inWhite(x, y) ? uint8_t{kClippedHigh} : Texture(x, y);
    });
    own.Fill(0, kW, kH, [&](int32_t x, int32_t y) {
        return inBlown(x, y) ? uint8_t{255} : inWhite(x, y) ? uint8_t{90} : Texture(x, y);
    });
    mapped.Fill(0, kW, kH, [&](int32_t x, int32_t y) {
        return inBlown(x, y) ? uint8_t{40} : inWhite(x, y) ? uint8_t{90} : Texture(x, y);
    });
    const ProjectiveTransform candidates[2] = {Translation(0, 0), Translation(0.25, 0)};
    double error[2];
    // Interior pixels less the white patch and every pixel whose bilinear neighbours (itself,
    // right, below, below right) reach the blown block, for each candidate.
    int64_t expected = 0;
    for (int32_t y = 1; y < kH - 1; ++y)
        for (int32_t x = 1; x < kW - 1; ++x)
            expected += !inWhite(x, y) && !inBlown(x, y) && !inBlown(x + 1, y) &&
                        !inBlown(x, y + 1) && !inBlown(x + 1, y + 1);
    EXPECT_EQ(MeasureThumbnailDisagreement(reference.get(), mapped.get(), own.get(), candidates,
                                           2, error),
              expected);
    EXPECT_EQ(error[0], 0.0);
    EXPECT_GT(error[1], 0.0);
    // Without a candidate nothing is measured.
    EXPECT_EQ(MeasureThumbnailDisagreement(reference.get(), mapped.get(), own.get(), candidates,
                                           0, error),
              0);
}

}  // namespace

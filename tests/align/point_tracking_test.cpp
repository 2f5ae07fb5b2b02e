#include "align/point_tracking.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "align/keypoint_descriptor.h"
#include "align/tracker_pyramid.h"
#include "tracker_planes_support.h"
#include "tracking_scene_support.h"

namespace {

using namespace tracker_test;
using tracking_test::GrayImage;

// Reference levels with gradients and frame levels, built with the engine's own reductions.
struct Pyramids {
    int32_t levels;
    std::vector<PlanePtr> reference, gx, gy, frame;
    const Plane8 *ref[4], *gradX[4], *gradY[4], *frm[4];

    Pyramids(const GrayImage &a, const GrayImage &b, int32_t levelCount) : levels(levelCount) {
        std::vector<int32_t> scratch(3 * a.width);
        for (int32_t l = 0; l < levels; ++l) {
            reference.push_back(MakePlane(a.width >> l, a.height >> l));
            gx.push_back(MakePlane(a.width >> l, a.height >> l));
            gy.push_back(MakePlane(a.width >> l, a.height >> l));
            frame.push_back(MakePlane(a.width >> l, a.height >> l));
        }
        for (int32_t y = 0; y < a.height; ++y)
            for (int32_t x = 0; x < a.width; ++x) {
                PlaneRow(reference[0].get(), y)[x] = a.at(x, y);
                PlaneRow(frame[0].get(), y)[x] = b.at(x, y);
            }
        for (int32_t l = 0; l < levels; ++l) {
            ComputeGradients8(scratch.data(), reference[l].get(), gx[l].get(), gy[l].get(),
                              l + 1 < levels ? reference[l + 1].get() : nullptr);
            if (l > 0) ReducePlane8(scratch.data(), frame[l - 1].get(), frame[l].get());
            ref[l] = reference[l].get();
            gradX[l] = gx[l].get();
            gradY[l] = gy[l].get();
            frm[l] = frame[l].get();
        }
    }

    // Tracks with descriptors; returns the status.
    int32_t Track(float x, float y, float *outX, float *outY, int32_t *det = nullptr,
                  int32_t radius = 10) const {
        uint8_t reference[32], scratch[32];
        ComputeKeypointDescriptor(ref[0]->data, ref[0]->stride, ref[0]->width, ref[0]->height,
                                  static_cast<int32_t>(std::lround(x)),
                                  static_cast<int32_t>(std::lround(y)), reference);
        int32_t determinant;
        const int32_t status = TrackPointPyramid(ref, gradX, gradY, frm, levels, radius, x, y,
                                                 outX, outY, reference, scratch, &determinant);
        if (det) *det = determinant;
        return status;
    }
};

GrayImage Textured(int32_t w, int32_t h, const ProjectiveTransform &t,
                   uint32_t seed = 5) {
    const tracking_test::SceneTexture scene(w, h, seed, w * h / 60);
    return tracking_test::RenderView(scene, w, h, t, 1.0);
}

TEST(SixteenthStep, IsNotSymmetricAboutZero) {
    EXPECT_EQ(SixteenthStep(0.04), 1);   // trunc(0.64 + 0.5)
    EXPECT_EQ(SixteenthStep(-0.04), 0);  // trunc(-0.64 + 0.5)
    EXPECT_EQ(SixteenthStep(-0.1), -1);
    EXPECT_EQ(SixteenthStep(1.0), 16);
}

TEST(StructureTensor, ClipsItsWindowAtTheBorder) {
    const PlanePtr gx = MakePlane(8, 6), gy = MakePlane(8, 6);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x) {
            GradientRow(gx.get(), y)[x] = static_cast<int8_t>(x + 1);
            GradientRow(gy.get(), y)[x] = static_cast<int8_t>(-y);
        }
    StructureTensor t;
    ComputeStructureTensor(gx.get(), GradientRow(gy.get(), 0), 0, 0, 2, &t);  // 3 x 3 window
    EXPECT_DOUBLE_EQ(t.gxx, (1.0 + 4.0 + 9.0) * 3.0 / 9.0);
    EXPECT_DOUBLE_EQ(t.gxy, -(1.0 + 2.0 + 3.0) * (0.0 + 1.0 + 2.0) / 9.0);
    EXPECT_DOUBLE_EQ(t.gyx, t.gxy);
    EXPECT_DOUBLE_EQ(t.gyy, (0.0 + 1.0 + 4.0) * 3.0 / 9.0);
}

TEST(TrackPointPyramid, StartTestKeepsTwoPixelsFromTheBorder) {
    const GrayImage image = Textured(96, 72, tracking_test::Identity());
    const Pyramids p(image, image, 3);
    float ox, oy;
    int32_t det;
    // The determinant stays 0 only when the start test fails.
    EXPECT_EQ(p.Track(1.0f, 36.0f, &ox, &oy, &det), -1);
    EXPECT_EQ(det, 0);
    p.Track(2.0f, 36.0f, &ox, &oy, &det);
    EXPECT_GT(det, 0);
    p.Track(93.0f, 36.0f, &ox, &oy, &det);  // W0 - 3
    EXPECT_GT(det, 0);
    EXPECT_EQ(p.Track(94.0f, 36.0f, &ox, &oy, &det), -1);  // W0 - 2
    EXPECT_EQ(det, 0);
    p.Track(48.0f, 70.0f, &ox, &oy, &det);  // H0 - 2
    EXPECT_GT(det, 0);
    EXPECT_EQ(p.Track(48.0f, 71.0f, &ox, &oy, &det), -1);
    EXPECT_EQ(det, 0);
    EXPECT_EQ(ox, 48.0f);
    EXPECT_EQ(oy, 71.0f);
}

TEST(TrackPointPyramid, FlatRegionIsLost) {
    GrayImage flat(80, 60);
    std::fill(flat.pixels.begin(), flat.pixels.end(), uint8_t{128});
    const Pyramids p(flat, flat, 3);
    float ox = 0, oy = 0;
    EXPECT_EQ(p.Track(40.3f, 30.0f, &ox, &oy), -1);
    EXPECT_EQ(ox, 40.3f);
    EXPECT_EQ(oy, 30.0f);
}

TEST(TrackPointPyramid, IdenticalImagesKeepEveryPositionExactly) {
    const GrayImage image = Textured(120, 90, tracking_test::Identity());
    const Pyramids p(image, image, 3);
    for (const auto &pt : {std::pair{30.0f, 30.0f}, {60.25f, 45.0f}, {85.0f, 61.5f}}) {
        float ox, oy;
        EXPECT_EQ(p.Track(pt.first, pt.second, &ox, &oy), 0);
        EXPECT_EQ(ox, pt.first);
        EXPECT_EQ(oy, pt.second);
    }
}

struct ShiftCase {
    double dx, dy;
    int32_t levels;
};

void PrintTo(const ShiftCase &c, std::ostream *out) {
    *out << "(" << c.dx << ", " << c.dy << ") over " << c.levels << " levels";
}

class TrackShift : public ::testing::TestWithParam<ShiftCase> {};

TEST_P(TrackShift, FollowsATexturedFrame) {
    const ShiftCase c = GetParam();
    const GrayImage reference = Textured(160, 120, tracking_test::Identity());
    const GrayImage frame = Textured(160, 120, tracking_test::Translation(c.dx, c.dy));
    const Pyramids p(reference, frame, c.levels);
    int32_t tracked = 0;
    for (float y = 30.0f; y <= 90.0f; y += 15.0f)
        for (float x = 30.0f; x <= 130.0f; x += 25.0f) {
            float ox, oy;
            const int32_t status = p.Track(x, y, &ox, &oy);
            if (status < 0) continue;
            ++tracked;
            EXPECT_NEAR(ox, x + c.dx, 0.15) << x << "," << y;
            EXPECT_NEAR(oy, y + c.dy, 0.15) << x << "," << y;
            EXPECT_LE(status, 44);
        }
    EXPECT_GE(tracked, 20);
}

INSTANTIATE_TEST_SUITE_P(Shifts, TrackShift,
                         ::testing::Values(ShiftCase{3.0, -2.0, 3}, ShiftCase{2.5, -1.25, 3},
                                           ShiftCase{-7.0, 5.5, 3}, ShiftCase{1.25, 0.5, 1}));

TEST(TrackPointsPyramid, CountsTrackedPointsAndUsesOneDescriptorSlotEach) {
    const GrayImage reference = Textured(160, 120, tracking_test::Identity());
    const GrayImage frame = Textured(160, 120, tracking_test::Translation(3.0, -2.0));
    const Pyramids p(reference, frame, 3);
    const float xs[3] = {50.0f, 1.0f, 110.0f}, ys[3] = {60.0f, 60.0f, 60.0f};
    std::vector<uint8_t> descriptors(3 * 32), scratch(3 * 32);
    for (int32_t i = 0; i < 3; ++i)
        ComputeKeypointDescriptor(p.ref[0]->data, p.ref[0]->stride, 160, 120,
                                  static_cast<int32_t>(xs[i]), static_cast<int32_t>(ys[i]),
                                  &descriptors[32 * i]);
    float ox[3], oy[3];
    int32_t status[3];
    EXPECT_EQ(TrackPointsPyramid(p.ref, p.gradX, p.gradY, p.frm, 3, 10, xs, ys, 3, ox, oy, status,
                                 descriptors.data(), scratch.data()),
              2);
    EXPECT_EQ(status[1], -1);
    // Slot i of the scratch holds the frame's descriptor at point i's tracked position.
    uint8_t expected[32];
    ComputeKeypointDescriptor(p.frm[0]->data, p.frm[0]->stride, 160, 120,
                              static_cast<int32_t>(std::floor(ox[2])),
                              static_cast<int32_t>(std::floor(oy[2])), expected);
    EXPECT_EQ(std::memcmp(expected, &scratch[64], 32), 0);
    EXPECT_EQ(status[2], DescriptorDistance(&descriptors[64], expected));
    // Without descriptors the tracked statuses are 0.
    EXPECT_EQ(TrackPointsPyramid(p.ref, p.gradX, p.gradY, p.frm, 3, 10, xs, ys, 3, ox, oy, status,
                                 nullptr, nullptr),
              2);
    EXPECT_EQ(status[0], 0);
}

TEST(TrackPointsBetweenImages, TracksWithItsOwnPyramidsAndChecksSizes) {
    const GrayImage a = Textured(160, 120, tracking_test::Identity());
    const GrayImage b = Textured(160, 120, tracking_test::Translation(2.0, 1.0));
    const float xs[2] = {60.0f, 100.0f}, ys[2] = {50.0f, 70.0f};
    float ox[2], oy[2];
    int32_t status[2], det[2];
    EXPECT_EQ(TrackPointsBetweenImages(nullptr, a.image(), b.image(), xs, ys, ox, oy, status, det,
                                       2),
              2);
    for (int32_t i = 0; i < 2; ++i) {
        EXPECT_NEAR(ox[i], xs[i] + 2.0, 0.15);
        EXPECT_NEAR(oy[i], ys[i] + 1.0, 0.15);
        EXPECT_EQ(status[i], DescriptorDistanceImages(a.image(), b.image(), int32_t(xs[i]),
                                                      int32_t(ys[i]), std::lround(ox[i]),
                                                      std::lround(oy[i])));
        EXPECT_GT(det[i], 0);
    }
    const GrayImage small = Textured(150, 120, tracking_test::Identity());
    EXPECT_EQ(TrackPointsBetweenImages(nullptr, a.image(), small.image(), xs, ys, ox, oy, status,
                                       det, 2),
              0);
    EXPECT_EQ(status[0], -1);
    EXPECT_EQ(ox[1], xs[1]);
}

}  // namespace

#include "align/feature_tracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "tracking_scene_support.h"

namespace {

using namespace tracking_test;

struct TrackerDeleter {
    void operator()(FeatureTracker *t) const { DestroyFeatureTracker(nullptr, &t); }
};
using TrackerPtr = std::unique_ptr<FeatureTracker, TrackerDeleter>;

GrayImage Flat(int32_t w, int32_t h, uint8_t value = 100) {
    GrayImage image(w, h);
    std::fill(image.pixels.begin(), image.pixels.end(), value);
    return image;
}

GrayImage Scene(int32_t w, int32_t h, const ProjectiveTransform &t, double gain = 1.0) {
    const SceneTexture scene(w, h, 21);
    return RenderView(scene, w, h, t, gain);
}

TEST(CreateFeatureTracker, UsesAFourthLevelAbove921600Pixels) {
    const GrayImage hd = Flat(1280, 720);
    const GrayImage larger = Flat(1281, 720);
    TrackerPtr three(CreateFeatureTrackerSingle(nullptr, hd.image(), 5, 4, 5, 128, nullptr, nullptr));
    TrackerPtr four(
        CreateFeatureTrackerSingle(nullptr, larger.image(), 5, 4, 5, 128, nullptr, nullptr));
    ASSERT_TRUE(three && four);
    EXPECT_EQ(three->levels, 3);
    EXPECT_EQ(four->levels, 4);
    EXPECT_EQ(four->referencePyramid[3]->width, 1281 >> 3);
    EXPECT_EQ(four->framePyramidSlots[0][3]->height, 720 >> 3);
    EXPECT_EQ(three->referencePyramid[3], nullptr);
}

TEST(CreateFeatureTracker, GivesTheLongerSideTheLargerCellCount) {
    struct Case {
        int32_t w, h, a, b, across, down;
    } cases[] = {{400, 600, 5, 4, 4, 5}, {500, 500, 5, 4, 5, 4}, {600, 400, 4, 5, 5, 4},
                 {500, 500, 4, 5, 4, 5}};
    for (const Case &c : cases) {
        const GrayImage image = Flat(c.w, c.h);
        TrackerPtr t(CreateFeatureTrackerSingle(nullptr, image.image(), c.a, c.b, 5, 128, nullptr,
                                                nullptr));
        ASSERT_TRUE(t);
        EXPECT_EQ(t->cellsAcross, c.across) << c.w << "x" << c.h;
        EXPECT_EQ(t->cellsDown, c.down) << c.w << "x" << c.h;
    }
}

TEST(CreateFeatureTracker, RejectsBadFrameCountsImagesAndCells) {
    const GrayImage image = Flat(64, 48);
    EXPECT_EQ(CreateFeatureTracker(nullptr, image.image(), 5, 4, 5, 128, 0, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(CreateFeatureTracker(nullptr, image.image(), 5, 4, 5, 128, 9, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(CreateFeatureTracker(nullptr, nullptr, 5, 4, 5, 128, 1, nullptr, nullptr), nullptr);
    EXPECT_EQ(CreateFeatureTracker(nullptr, image.image(), 0, 4, 5, 128, 1, nullptr, nullptr),
              nullptr);
    TrackerPtr eight(CreateFeatureTracker(nullptr, image.image(), 5, 4, 5, 128, 8, nullptr, nullptr));
    ASSERT_TRUE(eight);
    EXPECT_NE(eight->frameDescriptors[6], nullptr);
    FeatureTracker *none = nullptr;
    DestroyFeatureTracker(nullptr, &none);  // null is ignored
    DestroyFeatureTracker(nullptr, nullptr);
}

TEST(CreateFeatureTracker, UniformImageHasNoFeaturesToTrack) {
    const GrayImage image = Flat(200, 150);
    TrackerPtr t(CreateFeatureTrackerSingle(nullptr, image.image(), 5, 4, 5, 128, nullptr, nullptr));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->count, 0);
    EXPECT_EQ(TrackFeatures(t.get(), image.image(), nullptr, nullptr, 0), 0);
    float x[1], y[1];
    EXPECT_EQ(CopyTrackerFeatures(t.get(), x, y), 0);
}

TEST(CreateFeatureTracker, FindsSeparatedCornersWithDescriptors) {
    const GrayImage image = Scene(500, 374, Identity());
    std::vector<float> x(128), y(128);
    TrackerPtr t(CreateFeatureTrackerSingle(nullptr, image.image(), 5, 4, 5, 128, x.data(), y.data()));
    ASSERT_TRUE(t);
    ASSERT_GT(t->count, 60);
    EXPECT_LE(t->count, 100);  // 20 cells, 5 picks each
    int32_t closePairs = 0;
    for (int32_t i = 0; i < t->count; ++i) {
        EXPECT_EQ(x[i], t->referenceX[i]);
        EXPECT_EQ(y[i], t->referenceY[i]);
        EXPECT_EQ(x[i], std::floor(x[i]));
        EXPECT_GE(x[i], 10.0f);
        EXPECT_LT(x[i], 490.0f);
        uint8_t d[32];
        const Plane8 *base = t->referencePyramid[0];
        ComputeKeypointDescriptor(base->data, base->stride, 500, 374, int32_t(x[i]), int32_t(y[i]), d);
        EXPECT_EQ(std::memcmp(d, t->referenceDescriptors + 32 * i, 32), 0);
        for (int32_t j = 0; j < i; ++j)
            if (std::hypot(x[i] - x[j], y[i] - y[j]) < 25.0) ++closePairs;  // r = 125 / 5
        EXPECT_EQ(t->trackedStatus[i], -1);  // nothing tracked yet
    }
    EXPECT_EQ(closePairs, 0);
}

TEST(TrackFeatures, WithoutUpdateLeavesTheReferenceAlone) {
    const GrayImage reference = Scene(240, 180, Identity());
    GrayImage frame = Scene(240, 180, Translation(2.5, -1.5), 4.0);
    MatchLevels(frame, reference);
    TrackerPtr t(CreateFeatureTrackerSingle(nullptr, reference.image(), 5, 4, 5, 128, nullptr, nullptr));
    ASSERT_TRUE(t && t->count > 10);
    const std::vector<float> refX(t->referenceX, t->referenceX + t->count);
    std::vector<float> x(t->count), y(t->count);
    const int32_t first = TrackFeatures(t.get(), frame.image(), x.data(), y.data(), 0);
    EXPECT_GT(first, t->count / 2);
    const std::vector<int32_t> statuses(t->trackedStatus, t->trackedStatus + t->count);
    int32_t close = 0;
    for (int32_t j = 0; j < t->count; ++j) {
        EXPECT_EQ(x[j], t->trackedX[j]);
        if (statuses[j] >= 0 && statuses[j] <= 44 && std::fabs(x[j] - refX[j] - 2.5f) < 0.2f &&
            std::fabs(y[j] - t->referenceY[j] + 1.5f) < 0.2f)
            ++close;
        if (statuses[j] < 0) { EXPECT_EQ(x[j], refX[j]); }
    }
    EXPECT_GT(close, t->count / 2);
    EXPECT_EQ(TrackFeatures(t.get(), frame.image(), nullptr, nullptr, 0), first);
    EXPECT_EQ(std::vector<int32_t>(t->trackedStatus, t->trackedStatus + t->count), statuses);
    EXPECT_EQ(std::vector<float>(t->referenceX, t->referenceX + t->count), refX);
}

TEST(TrackFeatures, UpdateHandsTheReferenceOverToASingleFrame) {
    const GrayImage reference = Scene(240, 180, Identity());
    const GrayImage frame = Scene(240, 180, Translation(2.0, 1.0));
    TrackerPtr t(CreateFeatureTrackerSingle(nullptr, reference.image(), 5, 4, 5, 128, nullptr, nullptr));
    ASSERT_TRUE(t && t->count > 10);
    const Plane8 *oldReference = t->referencePyramid[0];
    TrackFeatures(t.get(), frame.image(), nullptr, nullptr, 1);
    EXPECT_EQ(t->framePyramidSlots[0][0], oldReference);  // the planes were swapped
    for (int32_t j = 0; j < t->count; ++j) EXPECT_EQ(t->referenceX[j], t->trackedX[j]);
    // Tracking the same frame again starts from the handed-over positions: nothing moves. (A
    // status need not be 0: the handed-over descriptor was taken at the floor of the tracked
    // position, the new one at its rounding.)
    const std::vector<float> handed(t->referenceX, t->referenceX + t->count);
    EXPECT_GT(TrackFeatures(t.get(), frame.image(), nullptr, nullptr, 0), t->count / 2);
    for (int32_t j = 0; j < t->count; ++j) {
        if (t->trackedStatus[j] < 0) continue;
        EXPECT_EQ(t->trackedX[j], handed[j]);
        EXPECT_LE(t->trackedStatus[j], 44);
    }
}

TEST(TrackFeatures, SeveralFramesNeverHandOver) {
    const GrayImage reference = Scene(240, 180, Identity());
    const GrayImage frame = Scene(240, 180, Translation(2.0, 1.0));
    TrackerPtr t(CreateFeatureTracker(nullptr, reference.image(), 5, 4, 5, 128, 2, nullptr, nullptr));
    ASSERT_TRUE(t && t->count > 10);
    const Plane8 *oldReference = t->referencePyramid[0];
    const std::vector<float> refX(t->referenceX, t->referenceX + t->count);
    EXPECT_GT(TrackFeaturesIntoFrame(t.get(), frame.image(), nullptr, nullptr, 1, 1), 0);
    EXPECT_EQ(t->referencePyramid[0], oldReference);
    EXPECT_EQ(std::vector<float>(t->referenceX, t->referenceX + t->count), refX);
    int32_t trackedInFrameOne = 0;
    for (int32_t j = 0; j < t->count; ++j) trackedInFrameOne += t->frameStatus[1][j] >= 0;
    EXPECT_GT(trackedInFrameOne, t->count / 2);
    EXPECT_EQ(t->frameStatus[0][0], -1);  // frame 0 untouched
    EXPECT_EQ(TrackFeaturesIntoFrame(t.get(), frame.image(), nullptr, nullptr, 2, 0), 0);
    EXPECT_EQ(TrackFeaturesIntoFrame(t.get(), frame.image(), nullptr, nullptr, -1, 0), 0);
    EXPECT_EQ(TrackFeaturesIntoFrame(nullptr, frame.image(), nullptr, nullptr, 0, 0), 0);
}

TEST(TrackFeatures, RefusesAFrameOfAnotherSize) {
    const GrayImage reference = Scene(240, 180, Identity());
    const GrayImage larger = Scene(260, 190, Identity());
    TrackerPtr t(CreateFeatureTrackerSingle(nullptr, reference.image(), 5, 4, 5, 128, nullptr, nullptr));
    ASSERT_TRUE(t && t->count > 0);
    EXPECT_EQ(TrackFeatures(t.get(), larger.image(), nullptr, nullptr, 0), 0);
    EXPECT_EQ(RedetectFeatures(nullptr, t.get(), larger.image(), nullptr, nullptr, 0), 0);
}

TEST(RedetectFeatures, TakesGivenPointsOrFindsCornersAgain) {
    const GrayImage reference = Scene(240, 180, Identity());
    const GrayImage other = Scene(240, 180, Translation(5.0, 3.0));
    TrackerPtr t(CreateFeatureTracker(nullptr, reference.image(), 5, 4, 5, 3, 1, nullptr, nullptr));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->count, 3);  // capacity
    const float gx[4] = {20.4f, 30.5f, 40.6f, 50.0f}, gy[4] = {10.0f, 20.49f, -3.7f, 60.0f};
    EXPECT_EQ(RedetectFeatures(nullptr, t.get(), other.image(), gx, gy, 4), 3);
    const float ex[3] = {20.0f, 31.0f, 41.0f}, ey[3] = {10.0f, 20.0f, -3.0f};
    for (int32_t j = 0; j < 3; ++j) {
        EXPECT_EQ(t->referenceX[j], ex[j]);
        EXPECT_EQ(t->referenceY[j], ey[j]);
    }
    TrackerPtr fresh(CreateFeatureTracker(nullptr, other.image(), 5, 4, 5, 3, 1, nullptr, nullptr));
    EXPECT_EQ(RedetectFeatures(nullptr, t.get(), other.image(), nullptr, nullptr, 0), 3);
    for (int32_t j = 0; j < 3; ++j) EXPECT_EQ(t->referenceX[j], fresh->referenceX[j]);
    EXPECT_EQ(std::memcmp(t->referenceDescriptors, fresh->referenceDescriptors, 96), 0);
}

TEST(CreateFeatureTracker, FreesEverythingWhenAnAllocationFails) {
    const GrayImage image = Scene(120, 90, Identity());
    std::vector<uint8_t> buffer(400000);
    int32_t failures = 0, successes = 0;
    for (size_t size = 2000; size < buffer.size(); size += 6000) {
        MemoryContext pool = InitMemoryPool(buffer.data(), size);
        ASSERT_NE(pool, nullptr);
        const int64_t before = LargestFreeBlock(pool);
        FeatureTracker *t =
            CreateFeatureTracker(pool, image.image(), 5, 4, 5, 128, 2, nullptr, nullptr);
        t ? ++successes : ++failures;
        DestroyFeatureTracker(pool, &t);
        EXPECT_EQ(t, nullptr);
        EXPECT_EQ(LargestFreeBlock(pool), before) << "pool of " << size;
    }
    EXPECT_GT(failures, 0);
    EXPECT_GT(successes, 0);
}

}  // namespace

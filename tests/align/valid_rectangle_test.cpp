#include "align/valid_rectangle.h"

#include <gtest/gtest.h>

#include "align/handoff_session_support.h"

namespace {

using handoff_test::HandoffSession;

struct Expected {
    RegionRect overlap;
    int32_t crop[4];  // top, left, bottom, right
};

void ExpectRects(const HdrSession *s, const Expected &e, const char *name) {
    EXPECT_EQ(s->overlapRect.x, e.overlap.x) << name;
    EXPECT_EQ(s->overlapRect.y, e.overlap.y) << name;
    EXPECT_EQ(s->overlapRect.width, e.overlap.width) << name;
    EXPECT_EQ(s->overlapRect.height, e.overlap.height) << name;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(s->cropRect[k], e.crop[k]) << name << " crop " << k;
}

TEST(ComputeValidRectangle, ShiftsNarrowTheCoveredArea) {
    struct Case {
        const char *name;
        int32_t w, h;
        int32_t shifts[6];
        Expected expected;
    };
    const Case cases[] = {
        {"no motion", 901, 601, {0, 0, 0, 0, 0, 0}, {{0, 0, 896, 600}, {0, 0, 592, 896}}},
        {"dark right", 640, 480, {5, 0, 0, 0, 0, 0}, {{8, 0, 632, 480}, {0, 16, 480, 640}}},
        {"bright left", 640, 480, {0, 0, -9, 0, 0, 0}, {{0, 0, 624, 480}, {0, 0, 480, 624}}},
        {"both ways", 640, 480, {3, -6, -2, 7, 0, 0}, {{4, 8, 632, 464}, {16, 16, 464, 624}}},
        // Shifts that leave nothing covered fall back to the whole frame.
        {"no overlap", 640, 480, {400, 0, -400, 0, 0, 0}, {{0, 0, 640, 480}, {0, 0, 480, 640}}},
        {"crop empty", 640, 480, {0, 470, 0, 0, 0, 0}, {{0, 0, 640, 480}, {0, 0, 480, 640}}},
    };
    for (const Case &c : cases) {
        HandoffSession h(c.w, c.h);
        RegionRect process{};
        ASSERT_EQ(ComputeValidRectangle(h.s, c.shifts, 3, c.w, c.h, &process), RESULT_OK);
        EXPECT_EQ(process.width, static_cast<uint32_t>(c.w & ~7)) << c.name;
        EXPECT_EQ(process.height, c.h & ~1) << c.name;
        ExpectRects(h.s, c.expected, c.name);
    }
    HandoffSession h(901, 601);
    RegionRect process{};
    const int32_t none[6] = {};
    ASSERT_EQ(ComputeValidRectangle(h.s, none, 3, 901, 601, &process), RESULT_OK);
    EXPECT_EQ(h.s->splitRow, 256);
}

TEST(ComputeValidRectangle, MotionGridEdgesNarrowFurther) {
    HandoffSession h(640, 480);
    HdrSession *s = h.s;
    h.AddMotionGrids(0);
    const int cols = s->meshCols, rows = s->meshRows;
    for (int r = 0; r < rows; ++r) {
        s->offsetGridX[0][r * cols] = 6;
        s->offsetGridX[0][r * cols + cols - 1] = -10;
    }
    for (int c = 0; c < cols; ++c) {
        s->offsetGridY[0][c] = 3;
        s->offsetGridY[0][(rows - 1) * cols + c] = -4;
    }
    const int32_t shifts[6] = {};
    RegionRect process{};
    ASSERT_EQ(ComputeValidRectangle(s, shifts, 2, 640, 480, &process), RESULT_OK);
    ExpectRects(s, {{8, 4, 616, 472}, {16, 16, 464, 624}}, "grid");
}

TEST(ComputeValidRectangle, PendingStatusTakesTheWholeFrame) {
    HandoffSession h(901, 601);
    h.s->pendingStatus = RESULT_EXCESSIVE_MOTION;
    h.s->splitRow = 77;
    const int32_t shifts[6] = {40, 40, -40, -40, 0, 0};
    RegionRect process{};
    ASSERT_EQ(ComputeValidRectangle(h.s, shifts, 3, 901, 601, &process), RESULT_OK);
    ExpectRects(h.s, {{0, 0, 896, 600}, {0, 0, 601, 901}}, "pending");
    EXPECT_EQ(h.s->splitRow, 77);
    EXPECT_EQ(ComputeValidRectangle(h.s, nullptr, 3, 901, 601, &process), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ComputeValidRectangle(h.s, shifts, 4, 901, 601, &process), RESULT_INVALID_ARGUMENT);
}

}  // namespace

#include "align/coarse_field_grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/memory.h"
#include "core/session.h"

namespace {

// A session holding what the coarse-field grid reads: input sizes, thumbnail sizes, the two
// coarse fields and the mesh constants.
class CoarseFieldGrid : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
        const int32_t mesh[7] = {256, 128, 127, 8, 12, 16, 8};
        for (int k = 0; k < 7; ++k) s->meshConstants[k] = mesh[k];
        s->registrationSetting = 7;
        for (int i = 0; i < 3; ++i) {
            inputs[i].i32Width = 4000;
            inputs[i].i32Height = 3000;
            thumbs[i].i32Width = 500;
            thumbs[i].i32Height = 374;
            s->smallImages[i] = &thumbs[i];
        }
        s->inputImages = inputs;
        for (int g = 0; g < 5; ++g) s->registrationGrids[g] = AllocateZeroed<float>(nullptr, 128);
    }
    void TearDown() override {
        for (auto &image : s->smallImages) image = nullptr;  // not owned by the session here
        s->inputImages = nullptr;
        DestroyHdrSession(nullptr, s);
    }
    // Field value at coarse column c, row r (5 columns for a 500-wide thumbnail).
    void FillFields(float (*fx)(int, int), float (*fy)(int, int)) {
        for (int r = 0; r <= 3; ++r)
            for (int c = 0; c <= 4; ++c) {
                s->registrationGrids[2][r * 5 + c] = fx(c, r);
                s->registrationGrids[3][r * 5 + c] = fy(c, r);
            }
    }
    int32_t X(int slot, int r, int c) const { return s->offsetGridX[slot][r * 18 + c]; }
    int32_t Y(int slot, int r, int c) const { return s->offsetGridY[slot][r * 18 + c]; }

    HdrSession *s = nullptr;
    ImageDesc inputs[3] = {};
    ImageDesc thumbs[3] = {};
};

// 4000 x 3000 gives 16 x 12 blocks: grids of 18 x 14 nodes.
constexpr int kNodes = 18 * 14;

TEST_F(CoarseFieldGrid, ZeroFieldsGiveZeroGridsAndNoShift) {
    s->globalShift[2] = 5;
    ASSERT_EQ(BuildMotionGridFromCoarseField(nullptr, s, 1, nullptr, nullptr), RESULT_OK);
    for (int k = 0; k < kNodes; ++k) {
        EXPECT_EQ(s->offsetGridX[0][k], 0);
        EXPECT_EQ(s->offsetGridY[0][k], 0);
    }
    EXPECT_EQ(s->globalShift[2], 0);
    EXPECT_EQ(s->globalShift[3], 0);
    EXPECT_EQ(s->alignGradientMode, 1);
    EXPECT_EQ(s->progressBase, 20);
}

TEST_F(CoarseFieldGrid, ConstantFieldsScaleToFullResolutionMinusTheGlobalShift) {
    FillFields([](int, int) { return 1.5f; }, [](int, int) { return -0.75f; });
    ASSERT_EQ(BuildMotionGridFromCoarseField(nullptr, s, 2, nullptr, nullptr), RESULT_OK);
    for (int k = 0; k < kNodes; ++k) {
        EXPECT_EQ(s->offsetGridX[1][k], 12);  // 1.5 / (500 / 4000)
        EXPECT_EQ(s->offsetGridY[1][k], -6);
    }
    // A whole-image estimate of (0.5, -0.25) thumbnail pixels is (4, -2) at full size; it goes
    // to the global shift and is removed from every node.
    s->globalOffsetEstimate[0] = 0.5f;
    s->globalOffsetEstimate[1] = -0.25f;
    ASSERT_EQ(BuildMotionGridFromCoarseField(nullptr, s, 2, nullptr, nullptr), RESULT_OK);
    EXPECT_EQ(s->globalShift[4], 4);
    EXPECT_EQ(s->globalShift[5], -2);
    for (int k = 0; k < kNodes; ++k) {
        EXPECT_EQ(s->offsetGridX[1][k], 8);
        EXPECT_EQ(s->offsetGridY[1][k], -4);
    }
}

TEST_F(CoarseFieldGrid, ExposureZeroUsesSlotZero) {
    FillFields([](int, int) { return 1.0f; }, [](int, int) { return 1.0f; });
    ASSERT_EQ(BuildMotionGridFromCoarseField(nullptr, s, 0, nullptr, nullptr), RESULT_OK);
    ASSERT_NE(s->offsetGridX[0], nullptr);
    EXPECT_EQ(s->offsetGridX[1], nullptr);
    EXPECT_EQ(X(0, 5, 5), 8);
}

TEST_F(CoarseFieldGrid, RampsBetweenTheFittedFirstAndLastRows) {
    // Motion that grows down the frame and wobbles across it: the top and bottom rows become
    // straight lines and every row between is their linear blend (blended before the end rows
    // are rounded, hence within one of the blend of the rounded ends).
    FillFields([](int c, int r) { return 0.5f * r + ((c & 1) ? 0.25f : -0.25f); },
               [](int c, int) { return 0.125f * c; });
    ASSERT_EQ(BuildMotionGridFromCoarseField(nullptr, s, 1, nullptr, nullptr), RESULT_OK);
    const int last = 13;
    for (int c = 0; c < 18; ++c) {
        for (int r = 1; r < last; ++r) {
            const double blend = (X(0, last, c) * r + X(0, 0, c) * (last - r)) / double(last);
            EXPECT_LE(std::abs(X(0, r, c) - blend), 1.0) << r << " " << c;
        }
    }
    for (int row : {0, last})
        for (int c = 1; c < 17; ++c)
            EXPECT_LE(std::abs(X(0, row, c + 1) - 2 * X(0, row, c) + X(0, row, c - 1)), 1);
    // The bottom row carries more motion than the top one; the y motion rises to the right.
    EXPECT_GT(X(0, last, 8), X(0, 0, 8));
    EXPECT_GT(Y(0, 0, 17), Y(0, 0, 0));
    EXPECT_GT(Y(0, last, 17), Y(0, last, 0));
}

int64_t CancelAlways(int64_t, int64_t, void *) { return PROGRESS_CANCEL; }

TEST_F(CoarseFieldGrid, CancelAfterStoringAndOutOfMemoryStoresNothing) {
    EXPECT_EQ(BuildMotionGridFromCoarseField(nullptr, s, 1, CancelAlways, nullptr),
              RESULT_CANCELLED);
    EXPECT_NE(s->offsetGridX[0], nullptr);
    // A second build replaces the slot's grids (the first ones are freed, not leaked).
    ASSERT_EQ(BuildMotionGridFromCoarseField(nullptr, s, 1, nullptr, nullptr), RESULT_OK);

    std::vector<uint8_t> buffer(1024);
    MemoryContext pool = InitMemoryPool(buffer.data(), buffer.size());
    s->globalOffsetEstimate[0] = 3;
    EXPECT_EQ(BuildMotionGridFromCoarseField(pool, s, 2, nullptr, nullptr), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(s->offsetGridX[1], nullptr);
    EXPECT_EQ(s->globalShift[4], 0);
    EXPECT_EQ(LargestFreeBlock(pool), 1024 - 2 * 16);
}

}  // namespace

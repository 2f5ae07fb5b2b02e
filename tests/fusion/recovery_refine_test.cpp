// Recovery-offset refinement of packed 4:2:2: chroma factors, luma fade, mask and window.
#include <gtest/gtest.h>

#include <vector>

#include "core/session.h"
#include "fusion/recovery_refine_packed422.h"

namespace {

constexpr int kWidth = 32;

struct Rows {
    HdrSession session = {};
    std::vector<uint8_t> dark = std::vector<uint8_t>(2 * kWidth, 128);
    std::vector<uint8_t> reference = std::vector<uint8_t>(2 * kWidth, 128);
    std::vector<int16_t> mask = std::vector<int16_t>(kWidth, 256);
    std::vector<int16_t> luma = std::vector<int16_t>(kWidth, 160);
    std::vector<int16_t> u = std::vector<int16_t>(kWidth, 64), v = std::vector<int16_t>(kWidth, -64);
    Rows() {
        session.overlapRect = {0, 0, kWidth, 100};
        session.processRect = {0, 0, kWidth, 100};
    }
    void SetChroma(std::vector<uint8_t> &row, int x, int du, int dv) {
        row[2 * x + 1] = uint8_t(128 + du);
        row[2 * x + 3] = uint8_t(128 + dv);
    }
    void Run(int y, bool lumaPart = true, bool chromaPart = true) {
        RefineRecoveryOffsetsRowPacked422(&session, mask.data(), y, dark.data(), reference.data(),
                                          lumaPart ? luma.data() : nullptr,
                                          chromaPart ? u.data() : nullptr, chromaPart ? v.data() : nullptr);
    }
};

TEST(RecoveryRefinePacked422, ChromaFactorsByNeutrality) {
    struct Case {
        int t, u, mask;
        int expectU;  // from 64 (V from -64 alike)
    };
    for (const Case &c : {Case{0, 0, 256, 0}, Case{7, 31, 256, (64 * 14) >> 4},
                          Case{20, 0, 256, 0}, Case{20, 40, 256, 0}, Case{48, 0, 128, 16},
                          Case{33, 0, 256, (64 * 31) >> 5}, Case{65, 0, 256, 0},
                          Case{6, 40, 256, 0}}) {
        SCOPED_TRACE(testing::Message() << "t " << c.t << " u " << c.u);
        Rows r;
        r.SetChroma(r.reference, 8, c.t / 2, -(c.t - c.t / 2));
        r.SetChroma(r.dark, 8, c.u - c.u / 2, c.u / 2);
        r.mask[8] = int16_t(c.mask);
        r.Run(10, false, true);
        EXPECT_EQ(r.u[8], c.expectU);
        EXPECT_EQ(r.u[10], c.expectU);
        EXPECT_EQ(r.v[8], -c.expectU);
    }
}

TEST(RecoveryRefinePacked422, LumaFadesAboveDarkLuma240) {
    Rows r;
    const int lumas[4] = {240, 241, 255, 100};
    for (int k = 0; k < 4; ++k) r.dark[2 * (12 + k)] = uint8_t(lumas[k]);
    r.Run(10, true, false);
    EXPECT_EQ(r.luma[12], 160);
    EXPECT_EQ(r.luma[13], 150);  // 15/16
    EXPECT_EQ(r.luma[14], 10);   // 1/16
    EXPECT_EQ(r.luma[15], 160);
    EXPECT_EQ(r.u[12], 64);  // the chroma part did not run
}

TEST(RecoveryRefinePacked422, MaskWindowAndOverlapLeaveRowsUntouched) {
    Rows r;
    for (int x = 0; x < kWidth; ++x) r.dark[2 * x] = 250;
    r.mask[4] = 0;
    r.mask[5] = 256;  // not a group start
    r.session.overlapRect = {4, 0, 16, 100};
    r.session.globalShift[1] = 6;
    r.Run(10);
    EXPECT_EQ(r.luma[0], 160);   // left of the overlap
    EXPECT_EQ(r.luma[5], 160);   // group 4's mask is 0
    EXPECT_EQ(r.luma[8], 60);    // refined
    EXPECT_EQ(r.luma[20], 160);  // right of the overlap
    for (int y : {9, 103})  // the window is dy + 4 <= y <= dy + H - 4 (10..102)
    {
        Rows outside;
        for (int x = 0; x < kWidth; ++x) outside.dark[2 * x] = 250;
        outside.session.globalShift[1] = 6;
        outside.Run(y);
        EXPECT_EQ(outside.luma[8], 160) << y;
    }
}

}  // namespace

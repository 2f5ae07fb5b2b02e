// The two-call merge's last tile column when the frame leaves it narrower than the move of an
// exposure: 776 pixels across make three whole tiles and one of 8 columns. A move that carries
// the tile's right edge to or past the frame's left side leaves no part of it where all three
// windows lie inside their frames, and its one real cell column then takes the reference alone.
#include <gtest/gtest.h>

#include "alt/intermediate_prepare.h"
#include "alt/tile_layout.h"
#include "alt/tile_weights.h"
#include "intermediate_bracket_support.h"

namespace {

using alt_bracket::SessionHolder;

constexpr int32_t kW = 776, kH = 520;
constexpr int32_t kLastTileWidth = kW - 3 * kTileSide;

// Inputs 0, 1, 2 at gains 1, 1/4, 4; one of the other two exposures moved across by `move`
// (its pixel x shows the scene at x + move).
struct MovedBracket {
    alt_bracket::Frame frames[3];
    ImageDesc inputs[3];
    MovedBracket(const uint8_t *compress, int moved, int32_t move) {
        const double gains[3] = {1.0, 0.25, 4.0};
        for (int i = 0; i < 3; ++i) {
            alt_bracket::Render(&frames[i], compress, PIXEL_FORMAT_NV12, kW, kH, gains[i],
                                i == moved ? move : 0, 0, 0);
            inputs[i] = frames[i].desc;
        }
    }
};

TEST(LastTileColumn, IsTheReferenceAloneExactlyWhenTheMoveTakesItsRightEdgeOutOfTheFrame) {
    static_assert(kLastTileWidth == 8);
    struct Case {
        int moved;  // 1: the dark exposure, 2: the bright one
        int32_t move;
    };
    const Case cases[] = {{1, 12}, {1, -12}, {2, 12}, {2, -12}, {1, -8}, {1, -6}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.moved == 1 ? "dark" : "bright") << " moved "
                                          << c.move);
        SessionHolder h;
        HdrSession *s = h.session;
        MovedBracket b(s->gammaCompressTable, c.moved, c.move);
        ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs, 3, nullptr, nullptr), RESULT_OK);
        ASSERT_EQ(s->pendingStatus, 0u);
        // The last tile's displacements: its grid node plus the global shift.
        const int32_t across = s->meshCols - 2;
        ASSERT_EQ(across, 4);
        const int k = c.moved - 1;
        for (int32_t i = 0; i < s->meshRows - 2; ++i) {
            const int64_t node = int64_t{i + 1} * s->meshCols + across;
            ASSERT_EQ(s->offsetGridX[k][node] + s->globalShift[2 * k], c.move) << "tile row " << i;
            ASSERT_EQ(s->offsetGridX[1 - k][node] + s->globalShift[2 * (1 - k)], 0);
        }
        ASSERT_EQ(ComputeTileWeightsTop(nullptr, s, b.inputs, 3, s->globalShift), RESULT_OK);
        ASSERT_EQ(ComputeTileWeightsBottom(nullptr, s, b.inputs, 3, s->globalShift), RESULT_OK);
        const bool referenceOnly = kLastTileWidth + c.move <= 0;
        const int32_t cols = s->paddedBlocksAcross, column = s->blocksAcross;
        int32_t alone = 0;
        for (int32_t row = 1; row <= s->blocksDown; ++row) {
            const int64_t at = int64_t{row} * cols + column;
            const int16_t R = s->fusionWeightGrids[kWeightReference][at];
            const int16_t D = s->fusionWeightGrids[kWeightDark][at];
            const int16_t B = s->fusionWeightGrids[kWeightBright][at];
            alone += R == 256 && D == 0 && B == 0;
        }
        // Otherwise the cells are decided, and at the ramp's bright end none takes the
        // reference alone (the bright exposure is clipped there, which its weight marks).
        if (referenceOnly)
            EXPECT_EQ(alone, s->blocksDown);
        else
            EXPECT_EQ(alone, 0);
    }
}

}  // namespace

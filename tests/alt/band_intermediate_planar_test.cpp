// The planar and semi-planar band passes: the cadence of their row refreshes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "alt/band_intermediate_common.h"
#include "alt/band_intermediate_packed422.h"
#include "alt/band_intermediate_planar.h"
#include "alt/merge_to_intermediate.h"
#include "fusion/grid_rows32.h"
#include "intermediate_merge_support.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;
using alt_merge::IntermediateOutputs;

constexpr int32_t kSide = 512;  // splitRow 256: the lower band's head is rows 256..383
constexpr int kMaskRow = 3;     // the worker's rows: reference, dark, bright weights, mask

int Merge(HdrSession *s, Bracket &b, IntermediateOutputs &out, int32_t layout) {
    return MergeToIntermediate(nullptr, s, b.inputs(), 0, 3, out.descs, layout, 0, 0, nullptr,
                               nullptr);
}

// A 32-pixel grid expanded at row r over the process rectangle's columns.
std::vector<int16_t> Expanded(const HdrSession *s, const int16_t *grid, int32_t r) {
    const int32_t x0 = int32_t(s->processRect.x), x1 = x0 + int32_t(s->processRect.width);
    std::vector<int16_t> row(size_t(x1), 0);
    InterpolateGridRowSparse32(row.data(), x0, x1, (r + 16) >> 5, grid, s->blocksAcross + 2,
                               (r + 16) & 31);
    return std::vector<int16_t>(row.begin() + x0, row.end());
}

std::vector<int16_t> Held(const HdrSession *s, const int16_t *row) {
    const int32_t x0 = int32_t(s->processRect.x);
    return std::vector<int16_t>(row + x0, row + x0 + int32_t(s->processRect.width));
}

// After a band over rows 0..131 the worker's rows hold their last refresh: weights on even rows
// (semi-planar 4:2:2: multiples of 4); the mask with the fade on even rows (semi-planar 4:2:0:
// every row, semi-planar 4:2:2: multiples of 4, with or without the fade); without the fade
// the other families leave the mask row cleared.
TEST(PlanarBandRefreshes, EachFamilyRefreshesAtItsCadence) {
    struct Case {
        uint32_t format;
        int32_t weightRow, maskRow;
    };
    const Case cases[] = {{PIXEL_FORMAT_I420, 130, 130},
                          {PIXEL_FORMAT_YUV422P, 130, 130},
                          {PIXEL_FORMAT_NV12, 130, 131},
                          {PIXEL_FORMAT_NV16, 128, 128}};
    for (const Case &c : cases) {
        SessionHolder h;
        Bracket b(h.session->gammaCompressTable, c.format, kSide, kSide, 4, 2);
        IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_FULL);
        ASSERT_EQ(Merge(h.session, b, out, INTERMEDIATE_LAYOUT_FULL), RESULT_OK);
        HdrSession *s = h.session;
        // Grid rows 4 and 5 (what rows 128..131 blend) made to differ.
        const int32_t stride = s->blocksAcross + 2;
        for (int32_t gy = 4; gy <= 5; ++gy)
            for (int32_t k = 0; k < stride; ++k) {
                s->recoveryMaskGrid[gy * stride + k] = int16_t(gy == 4 ? 40 : 200);
                s->fusionWeightGrids[kWeightReference][gy * stride + k] = int16_t(gy == 4 ? 64 : 192);
            }
        const int16_t *maskGrid = s->recoveryMaskGrid;
        const int16_t *weightGrid = s->fusionWeightGrids[kWeightReference];
        // The fixture must tell the candidate rows apart.
        ASSERT_NE(Expanded(s, maskGrid, 128), Expanded(s, maskGrid, 130));
        ASSERT_NE(Expanded(s, maskGrid, 130), Expanded(s, maskGrid, 131));
        ASSERT_NE(Expanded(s, weightGrid, 128), Expanded(s, weightGrid, 130));
        const RowBand band = {0, 0, 132, 0};
        for (int fade : {1, 0}) {
            s->offsetFadeEnabled = fade;
            ASSERT_EQ(FuseIntermediateBandPlanar(&band, s, b.inputs(), 3, nullptr, nullptr),
                      RESULT_OK);
            EXPECT_EQ(Held(s, s->workerRows[kWeightReference][0]),
                      Expanded(s, weightGrid, c.weightRow))
                << c.format;
            const bool maskRefreshed = fade || c.format == PIXEL_FORMAT_NV16;
            const std::vector<int16_t> zero(size_t(s->processRect.width), 0);
            EXPECT_EQ(Held(s, s->workerRows[kMaskRow][0]),
                      maskRefreshed ? Expanded(s, maskGrid, c.maskRow) : zero)
                << c.format << " fade " << fade;
        }
    }
}

}  // namespace

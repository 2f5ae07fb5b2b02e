// The planar and semi-planar band passes: the cadence of their row refreshes, and the ring and
// seam scheme (what each band leaves in the planes, the rings and the seam buffer, and what the
// flush writes).
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

constexpr uint16_t kUnwritten = 0x5555;

bool Subsampled(uint32_t f) {
    return f == PIXEL_FORMAT_I420 || f == 0x605 || f == PIXEL_FORMAT_NV12 ||
           f == PIXEL_FORMAT_NV21;
}

int32_t ChromaPlanes(uint32_t f) { return IntermediatePlaneCount(f) - 1; }

// Row `row` of plane p of a ring or seam block (luma rows first, then each chroma plane's).
const int16_t *BlockRow(const HdrSession *s, int block, int p, int32_t row) {
    int64_t at = int64_t{row} * s->intermediate.pitch[p];
    for (int k = 0; k < p; ++k) at += int64_t{kIntermediateRingRowsAllocated} * s->intermediate.pitch[k];
    return reinterpret_cast<const int16_t *>(s->ringBuffers16[block]) + at;
}

std::vector<int16_t> Samples(const int16_t *row, int32_t count) {
    return row ? std::vector<int16_t>(row, row + count) : std::vector<int16_t>{};
}

// Every written plane row of the intermediate (luma, then each chroma plane row r keeps).
struct Snapshot {
    std::vector<std::vector<int16_t>> rows[3];
};

Snapshot Take(const HdrSession *s) {
    Snapshot shot;
    const uint32_t f = s->intermediate.format;
    for (int32_t r = 0; r < s->processRect.height; ++r) {
        shot.rows[0].push_back(Samples(IntermediateLumaRow(s, r), s->intermediate.pitch[0]));
        for (int p = 1; p <= ChromaPlanes(f); ++p)
            shot.rows[p].push_back(
                Samples(IntermediateChromaRow(s, p, r), s->intermediate.pitch[p]));
    }
    return shot;
}

bool Unwritten(const std::vector<int16_t> &row) {
    for (int16_t v : row)
        if (uint16_t(v) != kUnwritten) return false;
    return true;
}

void Clear(IntermediateOutputs &out) {
    for (auto &descriptor : out.planes)
        for (auto &plane : descriptor) std::fill(plane.begin(), plane.end(), uint8_t{0x55});
}

class PlanarRings : public testing::TestWithParam<uint32_t> {};

using BandEntry = int (*)(const RowBand *, HdrSession *, const ImageDesc *, int32_t,
                          ProgressCallback, void *);
using FlushEntry = int (*)(HdrSession *, const ImageDesc *, int32_t, ProgressCallback, void *);
struct NamedEntries {
    uint32_t format;
    BandEntry band;
    FlushEntry flush;
};
constexpr NamedEntries kNamed[] = {
    {PIXEL_FORMAT_I420, FuseIntermediateBandPlanar420, FlushIntermediateSeamsPlanar420},
    {PIXEL_FORMAT_YUV422P, FuseIntermediateBandPlanar422, FlushIntermediateSeamsPlanar422},
    {PIXEL_FORMAT_NV12, FuseIntermediateBandSemiPlanar420, FlushIntermediateSeamsSemiPlanar420},
    {PIXEL_FORMAT_NV16, FuseIntermediateBandSemiPlanar422, FlushIntermediateSeamsSemiPlanar422},
};

const NamedEntries &NamedFor(uint32_t f) {
    for (const NamedEntries &e : kNamed)
        if (e.format == f) return e;
    return kNamed[0];
}

// Parity-split, 512 rows: band 0 writes rows 0..127 and keeps 128..255 in ring 0; band 1 sends
// rows 256..383 to the seam buffer (4:2:0 chroma: the odd rows' only) and keeps 384..511 in
// ring 1; a cancelled flush writes nothing; the flush then completes the merge's intermediate.
TEST_P(PlanarRings, BandsHoldRowsBackUntilTheFlush) {
    const uint32_t f = GetParam();
    SessionHolder h;
    Bracket b(h.session->gammaCompressTable, f, kSide, kSide, 4, 2);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(Merge(h.session, b, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    HdrSession *s = h.session;
    ASSERT_EQ(s->processRect.height, kSide);
    ASSERT_EQ(s->splitRow, 256);
    const Snapshot merged = Take(s);

    Clear(out);
    const RowBand upper = {0, 0, 256, 0}, lower = {1, 256, kSide, 256};
    // The family's named entries take its inputs; every other family's refuses them.
    const NamedEntries &named = NamedFor(f);
    ASSERT_EQ(named.format, f);
    for (const NamedEntries &e : kNamed) {
        if (e.format == f) continue;
        EXPECT_EQ(e.band(&upper, s, b.inputs(), 3, nullptr, nullptr), RESULT_UNSUPPORTED_FORMAT);
        EXPECT_EQ(e.flush(s, b.inputs(), 3, nullptr, nullptr), RESULT_UNSUPPORTED_FORMAT);
    }
    ASSERT_EQ(named.band(&upper, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
    ASSERT_EQ(named.band(&lower, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
    const Snapshot bands = Take(s);
    for (int32_t r = 0; r < kSide; ++r) {
        if (r < 128)
            ASSERT_EQ(bands.rows[0][size_t(r)], merged.rows[0][size_t(r)]) << r;
        else
            ASSERT_TRUE(Unwritten(bands.rows[0][size_t(r)])) << r;
    }
    const int32_t *pitch = s->intermediate.pitch;
    for (int32_t i = 0; i < 128; ++i) {
        const int32_t r = 256 + i;
        ASSERT_EQ(Samples(BlockRow(s, 2, 0, i), pitch[0]), merged.rows[0][size_t(r)]) << r;
        if (Subsampled(f) && (r & 1) == 0) continue;
        const int32_t chromaRow = Subsampled(f) ? i / 2 : i;
        for (int p = 1; p <= ChromaPlanes(f); ++p)
            ASSERT_EQ(Samples(BlockRow(s, 2, p, chromaRow), pitch[p]), merged.rows[p][size_t(r)])
                << r << " plane " << p;
    }
    for (int32_t r = 384; r < kSide; ++r)
        ASSERT_EQ(Samples(BlockRow(s, 1, 0, r & 127), pitch[0]), merged.rows[0][size_t(r)]) << r;

    const ProgressCallback cancel = [](int64_t, int64_t, void *) -> int64_t {
        return RESULT_CANCELLED;
    };
    ASSERT_EQ(FlushIntermediateSeamsPlanar(s, b.inputs(), 3, cancel, nullptr), RESULT_CANCELLED);
    EXPECT_TRUE(Unwritten(Take(s).rows[0][300]));
    ASSERT_EQ(named.flush(s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
    const Snapshot flushed = Take(s);
    for (int p = 0; p <= ChromaPlanes(f); ++p)
        for (int32_t r = 0; r < kSide; ++r)
            ASSERT_EQ(flushed.rows[p][size_t(r)], merged.rows[p][size_t(r)]) << r << " " << p;
}

// The full layout writes every row straight to the planes: the rings and the seam buffer stay
// as the merge allocated them (zero) and the flush writes nothing.
TEST_P(PlanarRings, FullLayoutLeavesTheRingsAlone) {
    const uint32_t f = GetParam();
    SessionHolder h;
    Bracket b(h.session->gammaCompressTable, f, kSide, 384, 4, 2);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_FULL);
    ASSERT_EQ(Merge(h.session, b, out, INTERMEDIATE_LAYOUT_FULL), RESULT_OK);
    const HdrSession *s = h.session;
    const int64_t samples = int64_t{kIntermediateRingRowsAllocated} *
                            (s->intermediate.pitch[0] + s->intermediate.pitch[1] +
                             s->intermediate.pitch[2]);
    for (int block = 0; block < 3; ++block) {
        ASSERT_NE(s->ringBuffers16[block], nullptr);
        const uint16_t *at = s->ringBuffers16[block];
        EXPECT_TRUE(std::all_of(at, at + samples, [](uint16_t v) { return v == 0; })) << block;
    }
    const Snapshot before = Take(s);
    EXPECT_EQ(FlushIntermediateSeamsPlanar(h.session, b.inputs(), 3, nullptr, nullptr),
              RESULT_OK);
    const Snapshot after = Take(s);
    for (int p = 0; p < 3; ++p) EXPECT_TRUE(before.rows[p] == after.rows[p]) << p;
}

// A lower band needs the seam buffer, and any band its ring, in the parity-split layout.
TEST_P(PlanarRings, MissingRingOrSeamIsOutOfMemory) {
    SessionHolder h;
    Bracket b(h.session->gammaCompressTable, GetParam(), kSide, 384, 4, 2);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(Merge(h.session, b, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    HdrSession *s = h.session;
    const RowBand upper = {0, 0, 128, 0}, lower = {1, 128, 384, 128};
    for (int block = 0; block < 3; ++block) {
        uint16_t *kept = s->ringBuffers16[block];
        s->ringBuffers16[block] = nullptr;
        EXPECT_EQ(FuseIntermediateBandPlanar(&upper, s, b.inputs(), 3, nullptr, nullptr),
                  block == 0 ? RESULT_OUT_OF_MEMORY : RESULT_OK)
            << block;
        EXPECT_EQ(FuseIntermediateBandPlanar(&lower, s, b.inputs(), 3, nullptr, nullptr),
                  block == 0 ? RESULT_OK : RESULT_OUT_OF_MEMORY)
            << block;
        EXPECT_EQ(FlushIntermediateSeamsPlanar(s, b.inputs(), 3, nullptr, nullptr),
                  RESULT_OUT_OF_MEMORY)
            << block;
        s->ringBuffers16[block] = kept;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PlanarRings,
                         testing::Values(PIXEL_FORMAT_I420, PIXEL_FORMAT_YUV422P,
                                         PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV16));

}  // namespace

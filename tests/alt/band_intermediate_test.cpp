// The packed band pass of the merge into the 16-bit intermediate, band by band on a session
// planned by the real stages: where each row goes in both layouts, the seam buffer, the
// reference-only rows, cancelling, and the row drivers' fetches.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "alt/band_intermediate_packed422.h"
#include "alt/intermediate_prepare.h"
#include "alt/merge_to_intermediate.h"
#include "alt/rows_intermediate_packed422.h"
#include "alt/tile_weights.h"
#include "intermediate_merge_support.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;
using alt_merge::AllSamples;
using alt_merge::IntermediateOutputs;

// A session planned up to the band pass.
struct Staged {
    Staged(int32_t w, int32_t h, int32_t layout, bool fade = true)
        : bracket(holder.session->gammaCompressTable, PIXEL_FORMAT_YUYV, w, h),
          out(bracket.inputs()[0], layout), layout(layout) {
        HdrSession *s = holder.session;
        ImageDesc *in = bracket.inputs();
        s->offsetFadeEnabled = fade ? 1 : 0;
        result = PrepareIntermediateMerge(nullptr, s, in, 3, nullptr, nullptr);
        if (result == RESULT_OK) result = ComputeTileWeightsTop(nullptr, s, in, 3, s->globalShift);
        if (result == RESULT_OK) result = ComputeTileWeightsBottom(nullptr, s, in, 3, s->globalShift);
        if (result == RESULT_OK)
            result = RunIntermediateGridStage(nullptr, s, in, 0, 3, out.descs, layout, 0, nullptr,
                                              nullptr);
        for (int i = 0; i < 3; ++i) planes[i] = in[i].ppu8Plane[0];
    }
    HdrSession *s() { return holder.session; }
    int32_t Pitch() { return bracket.inputs()[0].pi32Pitch[0]; }
    int Band(int t, ProgressCallback callback = nullptr, void *user = nullptr) {
        HdrSession *ss = s();
        const int32_t split = ss->splitRow, h = ss->processRect.height;
        const RowBand band = t == 0 ? RowBand{0, 0, split, 0} : RowBand{1, split, h, split};
        const ImageDesc &first = bracket.inputs()[0];
        return FuseIntermediateBandPacked422(&band, ss, planes, 3, first.i32Width, first.i32Height,
                                             Pitch(), &ss->processRect, nullptr, nullptr, callback,
                                             user);
    }
    int Flush() {
        const ImageDesc &first = bracket.inputs()[0];
        return FlushIntermediateSeamsPacked422(nullptr, s(), planes, 3, first.i32Width,
                                               first.i32Height, Pitch(), &s()->processRect,
                                               nullptr, nullptr, nullptr, nullptr);
    }
    std::vector<int16_t> Ring(int ring, int32_t slot) {
        const int16_t *row = reinterpret_cast<int16_t *>(s()->ringBuffers16[ring]) + int64_t{slot} * Pitch();
        return std::vector<int16_t>(row, row + Pitch());
    }
    std::vector<int16_t> Plane(int32_t r) {
        const int16_t *row = IntermediateLumaRow(s(), r);
        return std::vector<int16_t>(row, row + Pitch());
    }
    void FillRing(int ring, int16_t value) {
        const int64_t n = int64_t{129} * Pitch();
        std::fill(s()->ringBuffers16[ring], s()->ringBuffers16[ring] + n, uint16_t(value));
    }

    SessionHolder holder;
    Bracket bracket;
    IntermediateOutputs out;
    int32_t layout;
    int result = RESULT_OK;
    uint8_t *planes[3] = {};
};

// The finished intermediate of a whole merge, row by row.
std::vector<std::vector<int16_t>> MergedRows(int32_t w, int32_t h, int32_t layout) {
    SessionHolder holder;
    HdrSession *s = holder.session;
    Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, w, h);
    IntermediateOutputs out(b.inputs()[0], layout);
    EXPECT_EQ(MergeToIntermediate(nullptr, s, b.inputs(), 0, 3, out.descs, layout, 0, 0, nullptr,
                                  nullptr),
              RESULT_OK);
    std::vector<std::vector<int16_t>> rows;
    const int32_t pitch = b.inputs()[0].pi32Pitch[0];
    for (int32_t r = 0; r < s->processRect.height; ++r) {
        const int16_t *row = IntermediateLumaRow(s, r);
        rows.emplace_back(row, row + pitch);
    }
    return rows;
}

const std::vector<int16_t> kUntouched(2048, int16_t(0x5555));

TEST(IntermediateBandPacked422, FullLayoutWritesPlanesAndLeavesTheRingsAlone) {
    Staged st(512, 512, INTERMEDIATE_LAYOUT_FULL);
    ASSERT_EQ(st.result, RESULT_OK);
    for (int ring = 0; ring < 3; ++ring) st.FillRing(ring, 0x1234);
    ASSERT_EQ(st.Band(0), RESULT_OK);
    ASSERT_EQ(st.Band(1), RESULT_OK);
    ASSERT_EQ(st.Flush(), RESULT_OK);
    for (int ring = 0; ring < 3; ++ring)
        for (int32_t slot = 0; slot < 129; ++slot)
            ASSERT_EQ(st.Ring(ring, slot), std::vector<int16_t>(st.Pitch(), 0x1234)) << ring;
    const auto merged = MergedRows(512, 512, INTERMEDIATE_LAYOUT_FULL);
    for (int32_t r = 0; r < 512; ++r) ASSERT_EQ(st.Plane(r), merged[r]) << r;
}

// 512 rows, parity split: band 1 (rows 256..511) sends 256..383 to the seam buffer and keeps
// 384..511 in its ring; band 0 keeps 128..255 in its ring and never writes the seam buffer;
// the flush puts them all in place.
TEST(IntermediateBandPacked422, ParitySplitSendsTheLowerBandsHeadThroughTheSeamBuffer) {
    Staged st(512, 512, INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(st.result, RESULT_OK);
    ASSERT_EQ(st.s()->splitRow, 256);
    const auto merged = MergedRows(512, 512, INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    const std::vector<int16_t> untouched(kUntouched.begin(), kUntouched.begin() + st.Pitch());
    st.FillRing(2, 0x2222);

    ASSERT_EQ(st.Band(0), RESULT_OK);
    for (int32_t slot = 0; slot < 129; ++slot)
        ASSERT_EQ(st.Ring(2, slot), std::vector<int16_t>(st.Pitch(), 0x2222));
    for (int32_t r = 0; r < 128; ++r) ASSERT_EQ(st.Plane(r), merged[r]) << r;
    for (int32_t r = 128; r < 512; ++r) ASSERT_EQ(st.Plane(r), untouched) << r;
    for (int32_t r = 128; r < 256; ++r) ASSERT_EQ(st.Ring(0, r & 127), merged[r]) << r;

    ASSERT_EQ(st.Band(1), RESULT_OK);
    for (int32_t r = 256; r < 384; ++r) {
        ASSERT_EQ(st.Ring(2, r - 256), merged[r]) << r;
        ASSERT_EQ(st.Plane(r), untouched) << r;
    }
    for (int32_t r = 384; r < 512; ++r) {
        ASSERT_EQ(st.Ring(1, r & 127), merged[r]) << r;
        ASSERT_EQ(st.Plane(r), untouched) << r;
    }

    ASSERT_EQ(st.Flush(), RESULT_OK);
    for (int32_t r = 0; r < 512; ++r) ASSERT_EQ(st.Plane(r), merged[r]) << r;
}

// Dark and bright weights zero everywhere and no recovery: luma = the reference's table
// value x 2^(2 - valueShift), chroma 64 x the reference's.
TEST(IntermediateBandPacked422, ZeroSecondaryWeightsGiveTheReference) {
    Staged st(512, 384, INTERMEDIATE_LAYOUT_PARITY_SPLIT, false);
    ASSERT_EQ(st.result, RESULT_OK);
    HdrSession *s = st.s();
    const int64_t cells = int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown;
    for (int k : {kWeightDark, kWeightBright})
        std::fill(s->fusionWeightGrids[k], s->fusionWeightGrids[k] + cells, int16_t{0});
    ASSERT_EQ(st.Band(0), RESULT_OK);
    ASSERT_EQ(st.Band(1), RESULT_OK);
    ASSERT_EQ(st.Flush(), RESULT_OK);
    const uint8_t *ref = st.planes[s->referenceIndex];
    const int32_t pitch = st.Pitch();
    for (int32_t r = 0; r < s->processRect.height; ++r) {
        const int16_t *row = IntermediateLumaRow(s, r);
        for (int32_t x = 0; x < int32_t(s->processRect.width); ++x) {
            const uint8_t code = ref[int64_t{r} * pitch + 2 * x];
            const int32_t light = s->fusionTable[512 + code];
            ASSERT_EQ(row[2 * x], s->valueShift <= 2 ? light << (2 - s->valueShift)
                                                     : light >> (s->valueShift - 2));
            ASSERT_EQ(row[2 * x + 1], 64 * ref[int64_t{r} * pitch + 2 * x + 1]);
        }
    }
}

struct Calls {
    int count = 0;
    int64_t first = -1;
};

int64_t CancelAtOnce(int64_t percent, int64_t, void *user) {
    auto *calls = static_cast<Calls *>(user);
    if (calls->count++ == 0) calls->first = percent;
    return RESULT_CANCELLED;
}

TEST(IntermediateBandPacked422, CancelAtTheFirstMultipleOf32) {
    Staged st(512, 512, INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(st.result, RESULT_OK);
    st.FillRing(1, 0x3333);
    Calls calls;
    st.s()->progressBase = 25;
    EXPECT_EQ(st.Band(1, CancelAtOnce, &calls), RESULT_CANCELLED);
    EXPECT_EQ(calls.count, 1);
    EXPECT_EQ(calls.first, 25);
    EXPECT_EQ(st.Ring(1, 0), std::vector<int16_t>(st.Pitch(), 0x3333));  // row 256 not fused
}

TEST(IntermediateBandPacked422, MissingBufferRefusesBeforeAnyRow) {
    Staged st(512, 512, INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(st.result, RESULT_OK);
    HdrSession *s = st.s();
    std::swap(s->ringBuffers16[2], s->ringBuffers16[0]);
    uint16_t *seam = s->ringBuffers16[2];
    s->ringBuffers16[2] = nullptr;
    st.FillRing(1, 0x4444);
    EXPECT_EQ(st.Band(1), RESULT_OUT_OF_MEMORY);  // the lower band needs the seam buffer
    EXPECT_EQ(st.Ring(1, 0), std::vector<int16_t>(st.Pitch(), 0x4444));
    s->ringBuffers16[2] = seam;
    std::swap(s->ringBuffers16[2], s->ringBuffers16[0]);
    RowBand bad = {2, 0, 4, 0};
    EXPECT_EQ(FuseIntermediateBandPacked422(&bad, s, st.planes, 3, 512, 512, st.Pitch(),
                                            &s->processRect, nullptr, nullptr, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
}

TEST(IntermediateBandPacked422, OneBandPassEqualsTheTwoBands) {
    Staged st(512, 512, INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(st.result, RESULT_OK);
    const auto merged = MergedRows(512, 512, INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    HdrSession *s = st.s();
    const int32_t base = s->progressBase;
    ASSERT_EQ(FuseIntermediateImagePacked422(nullptr, s, st.planes, 3, 512, 512, st.Pitch(),
                                             &s->processRect, nullptr, nullptr, nullptr, nullptr),
              RESULT_OK);
    EXPECT_EQ(s->progressBase, base + 25);
    for (int32_t r = 0; r < 512; ++r) ASSERT_EQ(st.Plane(r), merged[r]) << r;
}

// --- Row drivers ------------------------------------------------------------------------------

struct DriverFixture {
    explicit DriverFixture(Staged &st, int32_t dx) : st(st) {
        HdrSession *s = st.s();
        const ImageDesc &first = st.bracket.inputs()[0];
        SetUpIntermediatePackedContext(c, s, 0, st.planes, first.i32Width, first.i32Height,
                                       st.Pitch(), s->processRect);
        const size_t nodes = size_t(s->meshCols) * s->meshRows;
        shift.assign(nodes, 256 * dx);  // dx pixels: the source at x - dx
        zero.assign(nodes, 0);
        c.xOffsets = {shift.data(), shift.data()};
        c.yOffsets = c.xSlopes = c.ySlopes = {zero.data(), zero.data()};
        std::fill(c.warp, c.warp + 16 * int64_t{c.x1 + 64}, uint8_t{0xEE});
        out.assign(st.Pitch(), 0);
    }
    void Runs(bool darkActive, bool brightActive) {
        darkRuns[0] = darkRuns[1] = brightRuns[0] = brightRuns[1] = c.x0;
        darkRuns[2] = brightRuns[2] = c.x1;
        if (!darkActive) darkRuns[1] = c.x1;
        if (!brightActive) brightRuns[1] = c.x1;
        c.runs[0] = darkRuns;
        c.runs[1] = brightRuns;
        c.runCounts[0] = darkActive ? 3 : 2;
        c.runCounts[1] = brightActive ? 3 : 2;
    }
    const uint8_t *Source(const uint8_t *plane, int32_t r, int32_t x) {
        return plane + int64_t{r} * st.Pitch() + 2 * x;
    }
    Staged &st;
    IntermediatePackedContext c;
    std::vector<int32_t> shift, zero;
    int32_t darkRuns[3] = {}, brightRuns[3] = {};
    std::vector<int16_t> out;
};

// A whole-pixel shift reaching past the process rectangle's right edge fetches the frame's
// own pixels there: the packed fetch clamps to the image size.
TEST(IntermediateRowsPacked422, WholePixelFetchClampsToTheImageSize) {
    Staged st(518, 384, INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(st.result, RESULT_OK);
    DriverFixture f(st, -2);  // the source at x + 2
    ASSERT_LT(int32_t(st.s()->processRect.width), 518);
    f.Runs(true, false);
    const int32_t r = 100;
    const BandRow row = {r, (r + 128) >> 8, (r + 128) & 255, true};
    FuseIntermediateRowPacked422(f.c, row, f.out.data());
    const int32_t a = f.c.x1 - 4;  // the quad reads pixels x1 - 2 .. x1 + 1
    const uint8_t *dark = st.planes[st.s()->darkIndex];
    EXPECT_EQ(std::memcmp(f.c.warp + 4 * a, f.Source(dark, r, a + 2), 8), 0);
    // The first span is the empty reference-only span before the dark one.
    EXPECT_EQ(f.c.spanTypes[0], SPAN_REFERENCE_ONLY);
    EXPECT_EQ(f.c.spanBounds[0], f.c.spanBounds[1]);
    EXPECT_EQ(f.c.spanTypes[1], SPAN_DARK);
}

TEST(IntermediateRowsPacked422, OneSecondaryBrightRowUsesTheDarkQuad) {
    Staged st(512, 384, INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(st.result, RESULT_OK);
    DriverFixture f(st, -2);
    f.Runs(false, true);
    const int32_t r = 64, a = 100;
    const BandRow row = {r, (r + 128) >> 8, (r + 128) & 255, true};
    FuseIntermediateRowOneSecondaryPacked422(f.c, row, f.out.data(), false);
    const uint8_t *bright = st.planes[st.s()->brightIndex];
    EXPECT_EQ(std::memcmp(f.c.warp + 4 * a, f.Source(bright, r, a + 2), 8), 0);
    for (int i = 8; i < 16; ++i) EXPECT_EQ(f.c.warp[4 * a + i], 0xEE);  // the bright quad unused
}

}  // namespace

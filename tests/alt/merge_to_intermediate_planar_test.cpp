// The merge into the 16-bit intermediate for the planar and semi-planar formats: both layouts
// alike, luma as the packed merge gives it, sizes from 384 x 384 with odd chroma widths,
// and the one-band pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "alt/band_intermediate_planar.h"
#include "alt/intermediate_image.h"
#include "alt/merge_to_intermediate.h"
#include "alt/tone_map_intermediate.h"
#include "alt/tone_map_support.h"
#include "intermediate_merge_support.h"

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;
using alt_merge::IntermediateOutputs;

const uint32_t kPlanarFormats[] = {PIXEL_FORMAT_I420, 0x605, PIXEL_FORMAT_YUV422P,
                                   PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16};

bool SeparateChroma(uint32_t f) {
    return f == PIXEL_FORMAT_I420 || f == 0x605 || f == PIXEL_FORMAT_YUV422P;
}

int Merge(HdrSession *s, Bracket &b, IntermediateOutputs &out, int32_t layout) {
    return MergeToIntermediate(nullptr, s, b.inputs(), 0, 3, out.descs, layout, 0, 0, nullptr,
                               nullptr);
}

// The written luma samples of the process rectangle, row after row.
std::vector<int16_t> LumaSamples(const HdrSession *s) {
    std::vector<int16_t> all;
    const RegionRect &rect = s->processRect;
    for (int32_t r = 0; r < rect.height; ++r) {
        const int16_t *row = IntermediateLumaRow(s, r);
        if (!row) return {};
        all.insert(all.end(), row + rect.x, row + rect.x + rect.width);
    }
    return all;
}

// The chroma samples row r keeps, both chroma planes (semi-planar: the interleaved pairs).
std::vector<int16_t> ChromaSamples(const HdrSession *s, int32_t r) {
    const RegionRect &rect = s->processRect;
    const uint32_t f = s->intermediate.format;
    const int32_t a = SeparateChroma(f) ? int32_t(rect.x) / 2 : int32_t(rect.x);
    const int32_t b = SeparateChroma(f) ? int32_t(rect.x + rect.width) / 2
                                        : int32_t(rect.x + rect.width);
    std::vector<int16_t> all;
    for (int p = 1; p <= (SeparateChroma(f) ? 2 : 1); ++p) {
        const int16_t *row = IntermediateChromaRow(s, p, r);
        if (!row) return {};
        all.insert(all.end(), row + a, row + b);
    }
    return all;
}

class PlanarMerge : public testing::TestWithParam<uint32_t> {};

// Parity-split read back row by row equals the full layout in luma; in chroma on every row
// whose chroma the full layout keeps (semi-planar 4:2:2 full keeps one chroma row per pair:
// the odd row's).
TEST_P(PlanarMerge, ParitySplitEqualsTheFullLayout) {
    const uint32_t f = GetParam();
    SessionHolder hs, hf;
    Bracket b(hs.session->gammaCompressTable, f, 1024, 768, 6, -4);
    IntermediateOutputs split(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    IntermediateOutputs full(b.inputs()[0], INTERMEDIATE_LAYOUT_FULL);
    ASSERT_EQ(Merge(hs.session, b, split, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    ASSERT_EQ(Merge(hf.session, b, full, INTERMEDIATE_LAYOUT_FULL), RESULT_OK);
    const std::vector<int16_t> luma = LumaSamples(hs.session);
    ASSERT_FALSE(luma.empty());
    EXPECT_TRUE(luma == LumaSamples(hf.session));
    const int32_t rows = hs.session->processRect.height;
    for (int32_t r = 0; r < rows; ++r) {
        if (f == PIXEL_FORMAT_NV16 && (r & 1) == 0) continue;
        const std::vector<int16_t> c = ChromaSamples(hs.session, r);
        ASSERT_FALSE(c.empty()) << r;
        ASSERT_TRUE(c == ChromaSamples(hf.session, r)) << "row " << r;
    }
}

// The luma the packed merge gives for the same scene: the blend reads luma and weights alone,
// so only the recovery offsets (measured on each format's own chroma) may move a few samples.
TEST_P(PlanarMerge, LumaAgreesWithThePackedMerge) {
    SessionHolder hp, hq;
    Bracket packed(hp.session->gammaCompressTable, PIXEL_FORMAT_YUYV, 768, 512, 4, 2);
    Bracket planar(hq.session->gammaCompressTable, GetParam(), 768, 512, 4, 2);
    IntermediateOutputs po(packed.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    IntermediateOutputs qo(planar.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(Merge(hp.session, packed, po, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    ASSERT_EQ(Merge(hq.session, planar, qo, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    const RegionRect &rp = hp.session->processRect, &rq = hq.session->processRect;
    ASSERT_EQ(rp.x, rq.x);
    ASSERT_EQ(rp.y, rq.y);
    ASSERT_EQ(rp.width, rq.width);
    ASSERT_EQ(rp.height, rq.height);
    int64_t differing = 0, total = 0;
    int worst = 0;
    for (int32_t r = 0; r < rp.height; ++r) {
        const int16_t *a = IntermediateLumaRow(hp.session, r);
        const int16_t *b = IntermediateLumaRow(hq.session, r);
        for (int32_t x = int32_t(rp.x); x < int32_t(rp.x + rp.width); ++x, ++total) {
            const int d = std::abs(a[2 * x] - b[x]);
            differing += d != 0;
            worst = std::max(worst, d);
        }
    }
    // Semi-planar 4:2:2 refreshes its weights every fourth row only and fades its highlight
    // luma row with its own rule on every row, which moves more samples of the bright window.
    const bool everyFourth = GetParam() == PIXEL_FORMAT_NV16;
    EXPECT_LE(differing * 100, total * (everyFourth ? 6 : 1))
        << "differing " << differing << " of " << total;
    EXPECT_LE(worst, everyFourth ? 96 : 64);

    // Tone-mapped at T = 45: the coarse gain cells sample other pixels of each cell than the
    // packed format's, and some rows take their gain-grid row by another bound (see
    // ToneMappedLumaAgreesWithThePackedMerge), so on textured light the output luma agrees on
    // average within two codes and nowhere by much.
    tone_support::OwnedImage pt, qt;
    pt.Like(packed.inputs()[0], 0);
    qt.Like(planar.inputs()[0], 0);
    ASSERT_EQ(ToneMapIntermediate(nullptr, hp.session, po.descs, 3, &pt.desc, 45, 0, nullptr,
                                  nullptr),
              RESULT_OK);
    ASSERT_EQ(ToneMapIntermediate(nullptr, hq.session, qo.descs, 3, &qt.desc, 45, 0, nullptr,
                                  nullptr),
              RESULT_OK);
    int64_t toneDiffering = 0;  // the sum of absolute differences
    int toneWorst = 0;
    for (int32_t r = 0; r < 512; ++r)
        for (int32_t x = 0; x < 768; ++x) {
            const int a = pt.desc.ppu8Plane[0][int64_t{r} * pt.desc.pi32Pitch[0] + 2 * x];
            const int b = qt.desc.ppu8Plane[0][int64_t{r} * qt.desc.pi32Pitch[0] + x];
            toneDiffering += std::abs(a - b);
            toneWorst = std::max(toneWorst, std::abs(a - b));
        }
    EXPECT_LE(toneDiffering, 2 * 768 * 512) << toneDiffering;
    EXPECT_LE(toneWorst, 48);
}

// Light that does not change along a row: whichever pixels of an 8-pixel cell the tone
// mapping's coarse gain grid samples, it reads the same light.
double RowConstantScene(int32_t w, int32_t h, int32_t, int32_t y) {
    return alt_bracket::Linear(w, h, 11 * w / 16, y);
}

// Merged, then tone-mapped at T = 45, the luma equals the packed merge's of the same scene. The
// two differ only where the tone mapping itself treats the formats apart: its coarse cells take
// pixels 3 and 4 of a cell in the packed intermediate and pixels 6 and 8 in the others (which
// this scene cannot tell apart), and rows that are not multiples of 8 take the next gain-grid
// row only below a per-format bound: the packed top pass stops at splitRow - 8, so rows
// splitRow - 7 .. splitRow - 1 differ for the formats whose top pass goes on (all but
// semi-planar 4:2:2), and planar 4:2:0 also stops 8 rows before the packed format at the bottom
// (rows h - 15 .. h - 9, and the rows below, whose gain rows blend those).
TEST_P(PlanarMerge, ToneMappedLumaAgreesWithThePackedMerge) {
    const uint32_t f = GetParam();
    const int32_t w = 768, h = 512, split = 256;
    SessionHolder hp, hq;
    Bracket packed(hp.session->gammaCompressTable, PIXEL_FORMAT_YUYV, w, h, 0, 0, 0,
                   RowConstantScene);
    Bracket planar(hq.session->gammaCompressTable, f, w, h, 0, 0, 0, RowConstantScene);
    IntermediateOutputs po(packed.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    IntermediateOutputs qo(planar.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(Merge(hp.session, packed, po, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    ASSERT_EQ(Merge(hq.session, planar, qo, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    ASSERT_EQ(hq.session->processRect.height, h);
    ASSERT_EQ(hq.session->splitRow, split);
    for (int32_t r = 0; r < h; ++r) {
        const int16_t *a = IntermediateLumaRow(hp.session, r);
        const int16_t *b = IntermediateLumaRow(hq.session, r);
        for (int32_t x = 0; x < w; ++x) ASSERT_EQ(a[2 * x], b[x]) << x << "," << r;
    }
    tone_support::OwnedImage pt, qt;
    pt.Like(packed.inputs()[0], 0);
    qt.Like(planar.inputs()[0], 0);
    ASSERT_EQ(ToneMapIntermediate(nullptr, hp.session, po.descs, 3, &pt.desc, 45, 0, nullptr,
                                  nullptr),
              RESULT_OK);
    ASSERT_EQ(ToneMapIntermediate(nullptr, hq.session, qo.descs, 3, &qt.desc, 45, 0, nullptr,
                                  nullptr),
              RESULT_OK);
    const bool planar420 = f == PIXEL_FORMAT_I420 || f == 0x605;
    const auto mayDiffer = [&](int32_t r) {
        if (f != PIXEL_FORMAT_NV16 && r > split - 8 && r < split) return true;
        return planar420 && r > h - 16;
    };
    int32_t differingRows = 0;
    for (int32_t r = 0; r < h; ++r) {
        const uint8_t *a = pt.desc.ppu8Plane[0] + int64_t{r} * pt.desc.pi32Pitch[0];
        const uint8_t *b = qt.desc.ppu8Plane[0] + int64_t{r} * qt.desc.pi32Pitch[0];
        bool differs = false;
        for (int32_t x = 0; x < w; ++x) differs |= a[2 * x] != b[x];
        differingRows += differs;
        if (!mayDiffer(r)) { ASSERT_FALSE(differs) << "row " << r; }
    }
    // The bound rows do differ on this scene: the difference is the tone stage's, not the merge's.
    EXPECT_EQ(differingRows, f == PIXEL_FORMAT_NV16 ? 0 : planar420 ? 7 + 15 : 7);
}

// The smallest accepted frame and odd chroma widths: luma never negative, chroma within
// 0..16320, every row of the process rectangle written.
TEST_P(PlanarMerge, SmallFramesAndOddChromaWidths) {
    const uint32_t f = GetParam();
    const int32_t sizes[][2] = {{384, 384}, {390, 386}, {402, 512}};
    for (const auto &size : sizes) {
        for (int32_t layout : {INTERMEDIATE_LAYOUT_PARITY_SPLIT, INTERMEDIATE_LAYOUT_FULL}) {
            SessionHolder h;
            Bracket b(h.session->gammaCompressTable, f, size[0], size[1], 3, 1);
            IntermediateOutputs out(b.inputs()[0], layout);
            ASSERT_EQ(Merge(h.session, b, out, layout), RESULT_OK) << size[0] << "x" << size[1];
            const std::vector<int16_t> luma = LumaSamples(h.session);
            ASSERT_FALSE(luma.empty());
            EXPECT_GE(*std::min_element(luma.begin(), luma.end()), 0);
            const RegionRect &rect = h.session->processRect;
            for (int32_t r = 0; r < rect.height; ++r) {
                const std::vector<int16_t> c = ChromaSamples(h.session, r);
                ASSERT_FALSE(c.empty());
                EXPECT_GE(*std::min_element(c.begin(), c.end()), 0) << r;
                EXPECT_LE(*std::max_element(c.begin(), c.end()), 16320) << r;
            }
        }
    }
}

// With the highlight fade off the hand-off builds no recovery mask: every family merges
// without it, and the one-band pass too; the luma stays within the codes.
TEST_P(PlanarMerge, MergesWithTheFadeOff) {
    SessionHolder h;
    h.session->offsetFadeEnabled = 0;
    Bracket b(h.session->gammaCompressTable, GetParam(), 384, 384);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(Merge(h.session, b, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    EXPECT_EQ(h.session->recoveryMaskGrid, nullptr);
    const std::vector<int16_t> luma = LumaSamples(h.session);
    ASSERT_FALSE(luma.empty());
    EXPECT_GE(*std::min_element(luma.begin(), luma.end()), 0);
    EXPECT_EQ(FuseIntermediateImagePlanar(h.session, b.inputs(), 3, nullptr, nullptr),
              RESULT_OK);
    EXPECT_EQ(LumaSamples(h.session), luma);
}

// The one-band pass over a merged session gives the two bands' intermediate.
TEST_P(PlanarMerge, OneBandPassEqualsTheTwoBands) {
    SessionHolder h;
    Bracket b(h.session->gammaCompressTable, GetParam(), 512, 512, 4, 2);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(Merge(h.session, b, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    const std::vector<int16_t> luma = LumaSamples(h.session);
    std::vector<std::vector<int16_t>> chroma;
    for (int32_t r = 0; r < h.session->processRect.height; ++r)
        chroma.push_back(ChromaSamples(h.session, r));
    for (auto &plane : out.planes)
        for (auto &p : plane) std::fill(p.begin(), p.end(), uint8_t{0x55});
    const int64_t base = h.session->progressBase;
    ASSERT_EQ(FuseIntermediateImagePlanar(h.session, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
    EXPECT_EQ(h.session->progressBase, base);
    EXPECT_TRUE(luma == LumaSamples(h.session));
    for (int32_t r = 0; r < h.session->processRect.height; ++r)
        ASSERT_TRUE(chroma[size_t(r)] == ChromaSamples(h.session, r)) << r;
    // The named passes of the 4:2:0 families take their own formats only.
    const uint32_t f = GetParam();
    const bool planar420 = f == PIXEL_FORMAT_I420 || f == 0x605;
    const bool semi420 = f == PIXEL_FORMAT_NV12 || f == PIXEL_FORMAT_NV21;
    EXPECT_EQ(FuseIntermediateImagePlanar420(h.session, b.inputs(), 3, nullptr, nullptr),
              planar420 ? RESULT_OK : RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(FuseIntermediateImageSemiPlanar420(h.session, b.inputs(), 3, nullptr, nullptr),
              semi420 ? RESULT_OK : RESULT_UNSUPPORTED_FORMAT);
    EXPECT_TRUE(luma == LumaSamples(h.session));
}

// The flush keeps no rows back: it reports progressBase (semi-planar 4:2:0 raised by 5 first)
// and returns RESULT_CANCELLED when the report asks.
TEST_P(PlanarMerge, FlushReportsAndHonoursACancel) {
    const uint32_t f = GetParam();
    SessionHolder h;
    Bracket b(h.session->gammaCompressTable, f, 512, 384, 4, 2);
    IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
    ASSERT_EQ(Merge(h.session, b, out, INTERMEDIATE_LAYOUT_PARITY_SPLIT), RESULT_OK);
    struct Record {
        int64_t seen = -1;
        int64_t answer = RESULT_OK;
    } record;
    const ProgressCallback report = [](int64_t percent, int64_t, void *user) -> int64_t {
        auto *r = static_cast<Record *>(user);
        r->seen = percent;
        return r->answer;
    };
    const bool raises = f == PIXEL_FORMAT_NV12 || f == PIXEL_FORMAT_NV21;
    h.session->progressBase = 30;
    EXPECT_EQ(FlushIntermediateSeamsPlanar(h.session, b.inputs(), 3, report, &record), RESULT_OK);
    EXPECT_EQ(record.seen, raises ? 35 : 30);
    record.answer = RESULT_CANCELLED;
    h.session->progressBase = 30;
    EXPECT_EQ(FlushIntermediateSeamsPlanar(h.session, b.inputs(), 3, report, &record),
              RESULT_CANCELLED);
    EXPECT_EQ(FlushIntermediateSeamsPlanar(h.session, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
    EXPECT_EQ(FlushIntermediateSeamsPlanar(nullptr, b.inputs(), 3, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
}

// Which chroma rows reach the planes: the first chroma plane of each descriptor, counted in
// rows holding at least one written sample (0x5555 marks a sample never written).
TEST_P(PlanarMerge, ChromaRowsReachTheirPlanes) {
    const uint32_t f = GetParam();
    const int32_t w = 512, h = 512;
    for (int32_t layout : {INTERMEDIATE_LAYOUT_PARITY_SPLIT, INTERMEDIATE_LAYOUT_FULL}) {
        SessionHolder hs;
        Bracket b(hs.session->gammaCompressTable, f, w, h);
        IntermediateOutputs out(b.inputs()[0], layout);
        ASSERT_EQ(Merge(hs.session, b, out, layout), RESULT_OK);
        const RegionRect &rect = hs.session->processRect;
        ASSERT_EQ(rect.height % 4, 0);
        int32_t written[2] = {};
        for (int d = 0; d < 2; ++d) {
            const std::vector<uint8_t> &plane = out.planes[d][1];
            const int64_t rowBytes = hs.session->intermediate.rowBytes[d][1];
            if (plane.empty() || rowBytes == 0) continue;
            for (int64_t at = 0; at + rowBytes <= int64_t(plane.size()); at += rowBytes) {
                const auto *row = reinterpret_cast<const int16_t *>(plane.data() + at);
                bool any = false;
                for (int64_t x = 0; x < rowBytes / 2 && !any; ++x) any = row[x] != 0x5555;
                written[d] += any;
            }
        }
        const int32_t rows = rect.height;
        const bool split = layout == INTERMEDIATE_LAYOUT_PARITY_SPLIT;
        const bool everyRow = f == PIXEL_FORMAT_YUV422P || (f == PIXEL_FORMAT_NV16 && split);
        if (everyRow && split) {
            EXPECT_EQ(written[0], rows / 2);
            EXPECT_EQ(written[1], rows / 2);
        } else if (everyRow) {
            EXPECT_EQ(written[0], rows);
        } else if (split) {  // 4:2:0: chroma row k in the plane of k's parity
            EXPECT_EQ(written[0], rows / 4);
            EXPECT_EQ(written[1], rows / 4);
        } else {  // 4:2:0 and semi-planar 4:2:2 full: one chroma row per pair
            EXPECT_EQ(written[0], rows / 2);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PlanarMerge, testing::ValuesIn(kPlanarFormats));

}  // namespace

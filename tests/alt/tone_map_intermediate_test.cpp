#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "alt/tone_map_intermediate.h"
#include "alt/tone_map_support.h"
#include "core/tone_tables.h"
#include "filters/local_gain.h"

namespace {

using tone_support::HandIntermediate;
using tone_support::OwnedImage;

constexpr int32_t kW = 384, kH = 392;

std::vector<uint8_t> Bytes(const ImageDesc &d) {
    std::vector<uint8_t> all;
    const PixelFormatInfo *info = FindPixelFormat(d.u32PixelArrayFormat);
    for (int p = 0; p < info->planes; ++p) {
        const int32_t rows = p == 0 ? d.i32Height : d.i32Height >> info->chromaRowShift;
        const int64_t bytes = MinimumRowBytes(*info, p, d.i32Width);
        for (int32_t r = 0; r < rows; ++r)
            all.insert(all.end(), d.ppu8Plane[p] + int64_t{r} * d.pi32Pitch[p],
                       d.ppu8Plane[p] + int64_t{r} * d.pi32Pitch[p] + bytes);
    }
    return all;
}

// A textured intermediate: luma varies across and down (so the gain grid varies), chroma
// away from neutral in places.
uint16_t Textured(int32_t plane, int32_t x, int32_t r) {
    if (plane == 0) return uint16_t(400 + (x * 37 + r * 11) % 9000 + ((x / 40 + r / 24) & 1) * 4000);
    return uint16_t(8192 + ((x * 13 + r * 7) % 4000) - 2000 + (plane == 2 ? 700 : 0));
}

int ToneMap(HandIntermediate &hi, ImageDesc *out, int32_t t, int32_t br,
            ProgressCallback cb = nullptr, void *user = nullptr) {
    const ImageDesc d[2] = {hi.Descriptors(0), hi.Descriptors(1)};
    return ToneMapIntermediate(nullptr, hi.s, d, 3, out, t, br, cb, user);
}

class ToneMapFormats : public ::testing::TestWithParam<uint32_t> {};

// A flat intermediate at 4 x 884 (mid-grey) with neutral chroma, T = 50, Br = 0: identity
// contrast and brightness curves, neutral chroma reads entry 2048 (128 in both families). The
// coarse cells of a flat 884 are +402 (the local statistics give minus the shifted log luma,
// positive this dark), so the strength-80 gain is 1989 / 1024: luma (3536 x 1989) >> 12 = 1717,
// code 173. Everything outside the process rectangle repeats its edge.
TEST_P(ToneMapFormats, FlatMidGreyGivesOneLumaAndNeutralChromaInBothLayouts) {
    for (int32_t layout : {INTERMEDIATE_LAYOUT_PARITY_SPLIT, INTERMEDIATE_LAYOUT_FULL}) {
        HandIntermediate hi;
        ASSERT_TRUE(hi.Create(GetParam(), kW, kH, layout, RegionRect{8, 0, kW - 16, kH - 8},
                              tone_support::Flat(3536, 8192)));
        OwnedImage out;
        out.Like(hi.inputs[0].desc, 7);
        ASSERT_EQ(ToneMap(hi, &out.desc, 50, 0), RESULT_OK);
        const ImageDesc &d = out.desc;
        const bool packed = GetParam() == PIXEL_FORMAT_YUYV;
        const PixelFormatInfo *info = FindPixelFormat(GetParam());
        int64_t wrong = 0;
        for (int p = 0; p < info->planes; ++p) {
            const int32_t rows = p == 0 ? kH : kH >> info->chromaRowShift;
            for (int32_t r = 0; r < rows; ++r)
                for (int64_t x = 0; x < MinimumRowBytes(*info, p, kW); ++x) {
                    const uint8_t v = d.ppu8Plane[p][r * int64_t{d.pi32Pitch[p]} + x];
                    const bool chroma = p > 0 || (packed && (x & 1));
                    wrong += v != (chroma ? 128 : 173);
                }
        }
        EXPECT_EQ(wrong, 0) << std::hex << GetParam() << " layout " << layout;
    }
}

TEST_P(ToneMapFormats, TwoIdenticalCallsGiveIdenticalBytesAndKeepTheToneTable) {
    HandIntermediate hi;
    ASSERT_TRUE(hi.Create(GetParam(), kW, kH, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                          RegionRect{0, 0, kW, kH}, Textured));
    OwnedImage a, b;
    a.Like(hi.inputs[0].desc, 0);
    b.Like(hi.inputs[0].desc, 0);
    ASSERT_EQ(ToneMap(hi, &a.desc, 70, 20), RESULT_OK);
    const std::vector<uint8_t> tone(hi.s->toneTable, hi.s->toneTable + 4096);
    ASSERT_EQ(ToneMap(hi, &b.desc, 70, 20), RESULT_OK);
    EXPECT_EQ(Bytes(a.desc), Bytes(b.desc));
    EXPECT_EQ(std::vector<uint8_t>(hi.s->toneTable, hi.s->toneTable + 4096), tone);
    EXPECT_EQ(hi.s->toneTableComposed, 0);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ToneMapFormats, ::testing::ValuesIn(tone_support::kFormats));

TEST(ToneMapIntermediate, FlatFixtureAtOtherSettings) {
    // Re-derived with the flat cells' +402: T = 25 (strength 35, gain 1451) gives 1252, the
    // level-10 curve 1277, code 152; T = 45 (strength 55, gain 1682) 1452 through level 40,
    // code 168; T = 50 with brightness 50 lifts 173 to 204.
    const struct {
        int32_t t, br;
        uint8_t y;
    } cases[] = {{25, 0, 152}, {45, 0, 168}, {50, 50, 204}};
    for (const auto &c : cases) {
        HandIntermediate hi;
        ASSERT_TRUE(hi.Create(PIXEL_FORMAT_NV12, kW, kH, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                              RegionRect{0, 0, kW, kH}, tone_support::Flat(3536, 8192)));
        OwnedImage out;
        out.Like(hi.inputs[0].desc, 0);
        ASSERT_EQ(ToneMap(hi, &out.desc, c.t, c.br), RESULT_OK);
        EXPECT_EQ(out.desc.ppu8Plane[0][1000], c.y) << c.t << " " << c.br;
        EXPECT_EQ(out.desc.ppu8Plane[1][100], 128) << c.t;
    }
}

TEST(ToneMapIntermediate, OutOfRangeLevelsFollowTheMergeParameterRule) {
    HandIntermediate hi;
    ASSERT_TRUE(hi.Create(PIXEL_FORMAT_YUYV, kW, kH, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                          RegionRect{0, 0, kW, kH}, Textured));
    OwnedImage ref, out;
    ref.Like(hi.inputs[0].desc, 0);
    out.Like(hi.inputs[0].desc, 0);
    ASSERT_EQ(ToneMap(hi, &ref.desc, 25, 0), RESULT_OK);
    for (int32_t t : {500, -3}) {
        ASSERT_EQ(ToneMap(hi, &out.desc, t, 1000), RESULT_OK);
        EXPECT_EQ(Bytes(out.desc), Bytes(ref.desc)) << t;
        EXPECT_EQ(hi.s->toneLength, 25);
        EXPECT_EQ(hi.s->brightness, 0);
    }
}

struct ProgressLog {
    std::vector<int64_t> reports;
    int64_t cancelAt = -1;  // index of the report answered with cancel
};

int64_t Record(int64_t percent, int64_t, void *user) {
    auto *log = static_cast<ProgressLog *>(user);
    log->reports.push_back(percent);
    return int64_t(log->reports.size()) - 1 == log->cancelAt ? PROGRESS_CANCEL : 0;
}

TEST(ToneMapIntermediate, ReportsRiseWithinFiftyToHundredInEveryFormat) {
    for (uint32_t f : tone_support::kFormats) {
        HandIntermediate hi;
        ASSERT_TRUE(hi.Create(f, kW, 520, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                              RegionRect{0, 0, kW, 520}, Textured));
        OwnedImage out;
        out.Like(hi.inputs[0].desc, 0);
        ProgressLog log;
        ASSERT_EQ(ToneMap(hi, &out.desc, 60, 0, Record, &log), RESULT_OK);
        ASSERT_FALSE(log.reports.empty());
        EXPECT_TRUE(std::is_sorted(log.reports.begin(), log.reports.end())) << std::hex << f;
        EXPECT_GE(log.reports.front(), 50);
        EXPECT_EQ(log.reports.back(), 100);
        EXPECT_EQ(hi.s->progressBase, 100);
    }
}

TEST(ToneMapIntermediate, CancelAtTheFirstBottomReportWritesTheTopHalfOnly) {
    for (uint32_t f : {uint32_t(PIXEL_FORMAT_YUYV), uint32_t(PIXEL_FORMAT_NV12)}) {
        HandIntermediate hi;
        ASSERT_TRUE(hi.Create(f, kW, 520, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                              RegionRect{0, 0, kW, 520}, Textured));
        OwnedImage out;
        out.Like(hi.inputs[0].desc, 3);  // no tone-mapped sample of this content is 3
        ProgressLog log;
        log.cancelAt = 0;
        const std::vector<uint8_t> tone(hi.s->toneTable, hi.s->toneTable + 4096);
        ASSERT_EQ(ToneMap(hi, &out.desc, 30, 0, Record, &log), RESULT_CANCELLED);
        EXPECT_EQ(log.reports.size(), 1u);
        EXPECT_NE(log.reports.back(), 100);
        const int32_t split = hi.s->splitRow;
        ASSERT_EQ(split, 256);
        const uint8_t *luma = out.desc.ppu8Plane[0];
        const int32_t pitch = out.desc.pi32Pitch[0];
        EXPECT_NE(luma[int64_t{split - 1} * pitch], 3) << "top half written";
        for (int32_t r = split; r < 520; ++r) EXPECT_EQ(luma[int64_t{r} * pitch], 3) << r;
        EXPECT_EQ(hi.s->toneTableComposed, 0);
        EXPECT_EQ(std::memcmp(hi.s->toneTable, hi.s->toneTable + kSavedToneTableOffset, 4096), 0);
    }
}

TEST(ToneMapIntermediate, HeightNotAMultipleOfEightUsesTheLastGridRow) {
    // 396 rows: grid rows 0..48; rows 392..395 take row 48 alone, so equal input rows give
    // equal output rows there, while rows 384..391 blend rows 48 and 49 (held at 48)...
    HandIntermediate hi;
    const int32_t h = 396;
    ASSERT_TRUE(hi.Create(PIXEL_FORMAT_I420, kW, h, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                          RegionRect{0, 0, kW, h}, [](int32_t p, int32_t x, int32_t r) {
                              // Rows from 388 on repeat one row; above, content varies.
                              const int32_t rr = r >= 388 ? 388 : r;
                              return Textured(p, x, rr);
                          }));
    OwnedImage out;
    out.Like(hi.inputs[0].desc, 0);
    ASSERT_EQ(ToneMap(hi, &out.desc, 60, 0), RESULT_OK);
    EXPECT_EQ(hi.s->gainGridRows, 49);
    const uint8_t *luma = out.desc.ppu8Plane[0];
    const int32_t pitch = out.desc.pi32Pitch[0];
    for (int32_t r = 393; r < h; ++r)
        EXPECT_EQ(std::memcmp(luma + int64_t{392} * pitch, luma + int64_t{r} * pitch, kW), 0) << r;
}

TEST(ToneMapIntermediate, RefusesWhatTheMergeDidNotLeave) {
    HandIntermediate hi;
    ASSERT_TRUE(hi.Create(PIXEL_FORMAT_NV12, kW, kH, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                          RegionRect{0, 0, kW, kH}, Textured));
    OwnedImage out;
    out.Like(hi.inputs[0].desc, 0);
    const ImageDesc d[2] = {hi.Descriptors(0), hi.Descriptors(1)};
    EXPECT_EQ(ToneMapIntermediate(nullptr, nullptr, d, 3, &out.desc, 50, 0, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ToneMapIntermediate(nullptr, hi.s, d, 2, &out.desc, 50, 0, nullptr, nullptr),
              RESULT_INVALID_ARGUMENT);

    ImageDesc other = out.desc;
    other.u32PixelArrayFormat = PIXEL_FORMAT_UYVY;
    EXPECT_EQ(ToneMap(hi, &other, 50, 0), RESULT_UNSUPPORTED_FORMAT);
    other = out.desc;
    other.u32PixelArrayFormat = PIXEL_FORMAT_NV16;  // merged as 4:2:0
    EXPECT_EQ(ToneMap(hi, &other, 50, 0), RESULT_INVALID_ARGUMENT);
    other = out.desc;
    other.i32Height -= 2;
    EXPECT_EQ(ToneMap(hi, &other, 50, 0), RESULT_INVALID_ARGUMENT);
    other = out.desc;
    other.pi32Pitch[1] += 4;
    EXPECT_EQ(ToneMap(hi, &other, 50, 0), RESULT_INVALID_ARGUMENT);
    // Writing into the intermediate would spoil every later call.
    ImageDesc onto = hi.Descriptors(1);
    EXPECT_EQ(ToneMap(hi, &onto, 50, 0), RESULT_INVALID_ARGUMENT);
    other = out.desc;
    other.ppu8Plane[1] = hi.outputs[0].desc.ppu8Plane[1] + 64;
    EXPECT_EQ(ToneMap(hi, &other, 50, 0), RESULT_INVALID_ARGUMENT);

    hi.s->intermediateReady = 0;
    EXPECT_EQ(ToneMap(hi, &out.desc, 50, 0), RESULT_INVALID_ARGUMENT);
}

TEST(ToneMapPreparation, DerivedLevels) {
    HdrSession s{};
    const struct {
        int32_t t, e, start, g, m;
    } cases[] = {{0, 10, 0, 10, 0},     {25, 10, 0, 35, 0},    {26, 2, 0, 36, 0},
                 {35, 20, 0, 45, 0},    {49, 48, 0, 59, 0},    {50, 0, 0, 80, 50},
                 {70, 40, 40, 100, 90}, {100, 100, 100, 130, 150}};
    for (const auto &c : cases) {
        const ToneMapLevels l = DeriveToneMapLevels(&s, c.t);
        EXPECT_EQ(l.contrast, c.e) << c.t;
        EXPECT_EQ(l.brightnessStart, c.start) << c.t;
        EXPECT_EQ(l.gainStrength, c.g) << c.t;
        EXPECT_EQ(l.saturation, c.m) << c.t;
    }
    s.refBrightChromaOffsetU = -9;
    s.refBrightChromaOffsetV = 7;  // 16 together: the scene's colours disagree
    EXPECT_EQ(DeriveToneMapLevels(&s, 70).saturation, 20);
    s.refBrightChromaOffsetV = 6;
    EXPECT_EQ(DeriveToneMapLevels(&s, 70).saturation, 90);
}

TEST(ToneMapPreparation, TablesGainTableAndGrid) {
    HandIntermediate hi;
    ASSERT_TRUE(hi.Create(PIXEL_FORMAT_YUYV, kW, kH, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                          RegionRect{0, 0, kW, kH}, Textured));
    OwnedImage out;
    out.Like(hi.inputs[0].desc, 0);
    const ImageDesc d[2] = {hi.Descriptors(0), hi.Descriptors(1)};
    std::vector<uint16_t> expected(65536);
    const struct {
        int32_t t, sceneClass, lacks, contrast, strength;
        bool variant;
    } cases[] = {{25, 0, 0, 10, 35, false}, {26, 0, 0, 2, 36, false}, {35, 3, 0, 20, 20, false},
                 {35, 3, 1, 20, 45, false}, {70, 0, 0, 40, 100, true}, {70, 3, 0, 40, 75, true},
                 {50, 0, 0, 0, 80, true},   {100, 0, 0, 100, 130, true}};
    for (const auto &c : cases) {
        hi.s->sceneClass = c.sceneClass;
        hi.s->darkLacksHighlights = c.lacks;
        ASSERT_EQ(PrepareIntermediateToneMapping(nullptr, hi.s, d, 3, &out.desc, c.t, 0, nullptr,
                                                 nullptr),
                  RESULT_OK);
        EXPECT_EQ(hi.s->contrastLevel, c.contrast) << c.t;
        EXPECT_EQ(hi.s->saturationFamily, c.variant ? 1 : 0) << c.t;
        BuildLocalGainTable(expected.data(), c.strength, kGainUnity);
        EXPECT_EQ(std::memcmp(expected.data(), hi.s->gainTable, 65536 * 2), 0) << c.t;
        EXPECT_EQ(hi.s->gainGridStride, kW / 8);
        EXPECT_EQ(hi.s->gainGridRows, kH / 8);
        EXPECT_GE(hi.s->offsetRowsCapacity[0], 6 * kW);
        EXPECT_GE(hi.s->offsetRowsCapacity[1], 6 * kW);
        // The brightness curve starts at 2T - 100 from T = 50 on: below it the darkest entry.
        const uint8_t *saved = hi.s->toneTable + kSavedToneTableOffset;
        const int32_t start = c.t >= 50 ? 2 * c.t - 100 : 0;
        for (int32_t j = 0; j < start; ++j) ASSERT_EQ(hi.s->toneTable[j], saved[0]) << j;
        if (c.t == 50) {
            EXPECT_EQ(std::memcmp(hi.s->toneTable, saved, 4096), 0) << "identity at T = 50";
        }
        std::memcpy(hi.s->toneTable, saved, 4096);
        hi.s->toneTableComposed = 0;
    }
}

TEST(ToneMapPreparation, ContrastCurveFigures) {
    HdrSession *s = nullptr;
    ASSERT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
    ASSERT_EQ(BuildContrastCurve(s, 0, 10), RESULT_OK);  // x = 0.05
    EXPECT_EQ(s->contrastCurve[368], 350);
    EXPECT_EQ(s->contrastCurve[2416], 2499);
    ASSERT_EQ(BuildContrastCurve(s, 0, 100), RESULT_OK);  // x = 0.5
    EXPECT_EQ(s->contrastCurve[368], 184);
    EXPECT_EQ(s->contrastCurve[2416], 3255);
    for (int j : {0, 736, 4095}) EXPECT_EQ(s->contrastCurve[j], j);
    DestroyHdrSession(nullptr, s);
}

TEST(ToneMapPreparation, SaturationCacheKnowsTheFamily) {
    HdrSession *s = nullptr;
    ASSERT_EQ(CreateHdrSession(nullptr, 0, &s), RESULT_OK);
    ASSERT_EQ(BuildSaturationTable(s, 0, 0), RESULT_OK);
    const std::vector<uint8_t> plain(s->chromaTable, s->chromaTable + 8192);
    ASSERT_EQ(BuildSaturationTableVariant(s, 0, 0), RESULT_OK);
    EXPECT_EQ(s->saturationLevel, 0);
    ASSERT_EQ(BuildSaturationTable(s, 0, 0), RESULT_OK);
    EXPECT_EQ(std::vector<uint8_t>(s->chromaTable, s->chromaTable + 8192), plain);
    DestroyHdrSession(nullptr, s);
}

TEST(ToneMapOnePass, PlanarVariantMatchesTheTwoPassRender) {
    HandIntermediate hi;
    ASSERT_TRUE(hi.Create(PIXEL_FORMAT_I420, kW, kH, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                          RegionRect{0, 0, kW, kH}, Textured));
    OwnedImage a, b;
    a.Like(hi.inputs[0].desc, 0);
    b.Like(hi.inputs[0].desc, 0);
    ASSERT_EQ(ToneMap(hi, &a.desc, 40, 0), RESULT_OK);
    // Same tables (T = 40 below 50: one chroma table), same strength.
    const ImageDesc d[2] = {hi.Descriptors(0), hi.Descriptors(1)};
    ASSERT_EQ(PrepareIntermediateToneMapping(nullptr, hi.s, d, 3, &b.desc, 40, 0, nullptr, nullptr),
              RESULT_OK);
    ASSERT_EQ(ToneMapImagePlanar420(nullptr, hi.s, &b.desc, 50, nullptr, nullptr), RESULT_OK);
    EXPECT_EQ(Bytes(a.desc), Bytes(b.desc));
    // The packed and semi-planar variants differ from the two passes only where the passes'
    // grid bounds differ from the variants' h - 16: packed from 8 rows above the split on.
    for (uint32_t f : {uint32_t(PIXEL_FORMAT_YUYV), uint32_t(PIXEL_FORMAT_NV12)}) {
        HandIntermediate h2;
        ASSERT_TRUE(h2.Create(f, kW, kH, INTERMEDIATE_LAYOUT_PARITY_SPLIT,
                              RegionRect{0, 0, kW, kH}, Textured));
        OwnedImage x, y;
        x.Like(h2.inputs[0].desc, 0);
        y.Like(h2.inputs[0].desc, 0);
        const ImageDesc d2[2] = {h2.Descriptors(0), h2.Descriptors(1)};
        ASSERT_EQ(ToneMap(h2, &x.desc, 40, 0), RESULT_OK);
        ASSERT_EQ(PrepareIntermediateToneMapping(nullptr, h2.s, d2, 3, &y.desc, 40, 0, nullptr,
                                                 nullptr),
                  RESULT_OK);
        const int r = f == PIXEL_FORMAT_YUYV
                          ? ToneMapImagePacked422(nullptr, h2.s, &y.desc, 50, nullptr, nullptr)
                          : ToneMapImageSemiPlanar420(nullptr, h2.s, &y.desc, 50, nullptr, nullptr);
        ASSERT_EQ(r, RESULT_OK);
        const int64_t rowBytes = MinimumRowBytes(*FindPixelFormat(f), 0, kW);
        const int32_t same = f == PIXEL_FORMAT_YUYV ? h2.s->splitRow - 8 : kH - 16;
        for (int32_t row = 0; row < same; ++row)
            ASSERT_EQ(std::memcmp(x.desc.ppu8Plane[0] + int64_t{row} * x.desc.pi32Pitch[0],
                                  y.desc.ppu8Plane[0] + int64_t{row} * y.desc.pi32Pitch[0],
                                  size_t(rowBytes)),
                      0)
                << std::hex << f << std::dec << " row " << row;
    }
}

}  // namespace

#include "run/tone_setup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/image.h"
#include "core/memory.h"
#include "core/session.h"
#include "filters/local_gain.h"

namespace {

// A session as the planning stages leave it for a W x H frame: 1/8-scale images, preview,
// correction maps and the local-curve fusion table.
struct SetUpSession {
    HdrSession *s = nullptr;
    ImageDesc frames[3] = {};
    SetUpSession(int32_t width, int32_t height, int32_t count = 3,
                 uint32_t format = PIXEL_FORMAT_YUYV) {
        CreateHdrSession(nullptr, 0, &s);
        s->exposureCount = count;
        s->referenceIndex = count >= 2 ? 1 : 0;
        s->brightIndex = count == 3 ? 2 : s->referenceIndex;
        const int32_t w = width / 16 * 2, h = height / 16 * 2;
        for (int e = 0; e < count; ++e) {
            CreateImage(&s->smallImages[e], w, h, PIXEL_FORMAT_YUV444P, nullptr);
            CreateImage(&s->alignedSmall[e], w, h, PIXEL_FORMAT_YUV444P, nullptr);
            for (int p = 0; p < 3; ++p)
                std::memset(s->smallImages[e]->ppu8Plane[p], 90 + 40 * e,
                            s->smallImages[e]->pi32Pitch[p] * h);
        }
        CreateImage(&s->previewImage, w, h, PIXEL_FORMAT_YUV444P, nullptr);
        for (int p = 0; p < 3; ++p)
            std::memset(s->previewImage->ppu8Plane[p], 60, s->previewImage->pi32Pitch[p] * h);
        for (int b = 0; b < 3; ++b) {
            int16_t *block =
                AllocateZeroed<int16_t>(nullptr, 3 * static_cast<uint64_t>(w + 2) * (h + 2));
            for (int k = 0; k < 3; ++k) s->fineGrids[3 * b + k] = block + k * (w + 2) * (h + 2);
        }
        s->localCurveFusionTable = AllocateZeroed<uint16_t>(nullptr, 6016);
        for (int k = 0; k < 256; ++k)
            s->localCurveFusionTable[256 + k] = static_cast<uint16_t>(4 * s->gammaExpandTable[k]);
        s->lowResMapsReady = 1;
        s->darkShareQ10 = 16;
        s->toneLength = 45;
        s->brightness = 10;
        s->toneSaturation = 40;
        s->processRect = RegionRect{0, 0, static_cast<uint32_t>(width & ~7), height & ~1};
        for (ImageDesc &f : frames) {
            f.u32PixelArrayFormat = format;
            f.i32Width = width;
            f.i32Height = height;
            f.pi32Pitch[0] = format == PIXEL_FORMAT_YUYV ? 2 * width + 64 : width + 64;
        }
    }
    ~SetUpSession() { DestroyHdrSession(nullptr, s); }
    int Run() { return SetUpToneTables(nullptr, s, frames, frames); }
};

TEST(SetUpToneTables, LevelsFromToneLengthBrightnessAndSaturation) {
    struct Case {
        int32_t toneLength, darkShare, chromaU, chromaV;
        int32_t contrast, saturation;
        int32_t gainStrength;
    };
    const Case cases[] = {
        {45, 16, 0, 0, 45, 60, 35},      // the application's defaults
        {35, 16, 0, 0, 25, 40, 25},      // F = 0
        {36, 16, 0, 0, 27, 42, 26},      // F = 2
        {45, 15, 0, 0, 45, 60, 23},      // dark share 15: 15 x 25 / 16
        {45, 16, 20, 0, 45, 40, 35},     // chroma differs: offset max(0, T - 60) = 0
        {45, 16, -9, 7, 45, 40, 35},     // |U| + |V| = 16 already differs
        {45, 16, -9, 6, 45, 60, 35},     // 15 does not: offset F
        {120, 16, 0, 0, 195, 100, 110},  // after the fallback: F = 170
    };
    for (const Case &c : cases) {
        SetUpSession t(4000, 96);
        t.s->toneLength = c.toneLength;
        t.s->darkShareQ10 = c.darkShare;
        t.s->refBrightChromaOffsetU = c.chromaU;
        t.s->refBrightChromaOffsetV = c.chromaV;
        ASSERT_EQ(t.Run(), RESULT_OK) << c.toneLength;
        EXPECT_EQ(t.s->contrastLevel, c.contrast) << c.toneLength;
        EXPECT_EQ(t.s->saturationLevel, c.saturation) << c.toneLength;
        std::vector<uint16_t> gains(65536);
        BuildLocalGainTable(gains.data(), c.gainStrength, kGainUnity);
        EXPECT_EQ(std::memcmp(gains.data(), t.s->gainTable, 2 * 65536), 0) << c.toneLength;
        EXPECT_EQ(t.s->planeWidths[0], 4000);
        EXPECT_EQ(t.s->planeWidths[1], 2000);
        EXPECT_EQ(t.s->planeWidths[2], 2000);
    }
    // T = 45 lowers the brightness by 5: the curve of brightness 5 at factor 1.0.
    SetUpSession t(4000, 96);
    ASSERT_EQ(t.Run(), RESULT_OK);
    EXPECT_EQ(t.s->contrastCurve[100], 108);
    EXPECT_EQ(t.s->contrastCurve[880], 935);
    EXPECT_EQ(t.s->contrastCurve[2048], 2145);
}

TEST(SetUpToneTables, ReleasesTheSmallImagesAndASecondSetUpGivesTheSameToneTable) {
    SetUpSession t(200, 104);
    ASSERT_EQ(t.Run(), RESULT_OK);
    std::vector<uint8_t> first(t.s->toneTable, t.s->toneTable + 4096);
    for (int e = 0; e < 3; ++e) {
        EXPECT_EQ(t.s->smallImages[e], nullptr);
        EXPECT_EQ(t.s->alignedSmall[e], nullptr);
    }
    EXPECT_EQ(t.s->previewImage, nullptr);
    ASSERT_NE(t.s->gainGrid, nullptr);
    EXPECT_EQ(t.s->gainGridStride, 25);

    // The same levels again (the images made anew, as a second run would).
    SetUpSession again(200, 104);
    std::swap(again.s->smallImages, t.s->smallImages);
    std::swap(again.s->previewImage, t.s->previewImage);
    ASSERT_EQ(t.Run(), RESULT_OK);
    EXPECT_EQ(std::memcmp(first.data(), t.s->toneTable, 4096), 0);
    // A new contrast level rebuilds the table from its curve before the brightness step.
    SetUpSession third(200, 104);
    std::swap(third.s->smallImages, t.s->smallImages);
    std::swap(third.s->previewImage, t.s->previewImage);
    t.s->toneLength = 50;
    ASSERT_EQ(t.Run(), RESULT_OK);
    EXPECT_NE(std::memcmp(first.data(), t.s->toneTable, 4096), 0);
}

TEST(SetUpToneTables, TwoExposuresLeaveTheCallersDescriptorsAlone) {
    SetUpSession t(1000, 600, 2, PIXEL_FORMAT_I420);
    t.s->planeWidths[0] = 1000;
    const ImageDesc before = t.frames[0];
    ASSERT_EQ(t.Run(), RESULT_OK);
    EXPECT_EQ(std::memcmp(&before, &t.frames[0], sizeof before), 0);
    EXPECT_EQ(t.s->planeWidths[1], 500);
    EXPECT_EQ(t.s->gainGridStride, 1000 / 8);
}

TEST(SetUpToneTables, AFailedStepKeepsTheSmallImages) {
    SetUpSession t(200, 104);
    uint16_t *table = t.s->gainTable;
    t.s->gainTable = nullptr;
    EXPECT_EQ(t.Run(), RESULT_OUT_OF_MEMORY);
    EXPECT_NE(t.s->smallImages[0], nullptr);
    EXPECT_NE(t.s->previewImage, nullptr);
    t.s->gainTable = table;
}

}  // namespace

namespace {

// Small frames and widths with W mod 16 of 8 and 12 (run under the sanitizers).
TEST(SetUpToneTables, SmallAndOddFrames) {
    struct Size {
        int32_t w, h;
    };
    for (Size z : {Size{96, 96}, Size{104, 111}, Size{108, 110}, Size{1000, 126}}) {
        SetUpSession t(z.w, z.h);
        ASSERT_EQ(t.Run(), RESULT_OK) << z.w << "x" << z.h;
        EXPECT_EQ(t.s->gainGridStride, z.w / 8);
        EXPECT_EQ(t.s->gainGridRows, z.h / 8);
    }
}

}  // namespace

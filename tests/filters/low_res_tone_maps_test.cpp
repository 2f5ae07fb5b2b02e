#include "filters/low_res_tone_maps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/image.h"
#include "core/memory.h"
#include "core/session.h"

namespace {

// A session with 1/8-scale images of w x h, a flat gain grid, the six maps and a ghost mask
// block of the padded 32-pixel grid; every sample starts at the value the test sets.
struct ToneMapSession {
    HdrSession *s = nullptr;
    std::vector<uint8_t> masks;
    int32_t w, h;
    ToneMapSession(int32_t width, int32_t height) : w(width), h(height) {
        CreateHdrSession(nullptr, 0, &s);
        s->exposureCount = 3;
        s->darkIndex = 0, s->referenceIndex = 1, s->brightIndex = 2;
        for (int e = 0; e < 3; ++e)
            CreateImage(&s->smallImages[e], w, h, PIXEL_FORMAT_YUV444P, nullptr);
        CreateImage(&s->previewImage, w, h, PIXEL_FORMAT_YUV444P, nullptr);
        s->gainGrid = AllocateZeroed<int16_t>(nullptr, static_cast<uint64_t>(w) * h);
        s->gainGridStride = w;
        s->gainGridRows = h;
        for (int b = 0; b < 3; ++b) {
            int16_t *block =
                AllocateZeroed<int16_t>(nullptr, 3 * static_cast<uint64_t>(w + 2) * (h + 2));
            for (int k = 0; k < 3; ++k) s->fineGrids[3 * b + k] = block + k * (w + 2) * (h + 2);
        }
        s->paddedBlocksAcross = (8 * w + 31) / 32 + 2;
        s->paddedBlocksDown = (8 * h + 31) / 32 + 2;
        masks.assign(4 * s->paddedBlocksAcross * s->paddedBlocksDown, 0);
        for (int k = 0; k < 4; ++k)
            s->ghostMasks[k] = masks.data() + k * s->paddedBlocksAcross * s->paddedBlocksDown;
        std::fill_n(s->gainTable, 65536, 1024);
    }
    ~ToneMapSession() {
        for (uint8_t *&m : s->ghostMasks) m = nullptr;
        DestroyHdrSession(nullptr, s);
    }
    void Fill(ImageDesc *image, uint8_t y, uint8_t u, uint8_t v) {
        const uint8_t values[3] = {y, u, v};
        for (int p = 0; p < 3; ++p)
            for (int r = 0; r < h; ++r)
                std::fill_n(image->ppu8Plane[p] + r * image->pi32Pitch[p], w, values[p]);
    }
    int16_t Map(int k) const { return s->fineGrids[k][0]; }
};

TEST(LowResToneMaps, PreviewTakesTheGainAndItsChromaFollows) {
    ToneMapSession t(8, 8);
    HdrSession *s = t.s;
    std::fill_n(s->gainTable, 65536, 2048);
    struct Case {
        uint8_t y, u;
        uint8_t wantY, wantU;
    };
    for (Case c : {Case{100, 160, 138, 167}, Case{100, 90, 138, 81}, Case{20, 90, 0, 90}}) {
        t.Fill(s->previewImage, c.y, c.u, c.u);
        for (int e = 0; e < 3; ++e) t.Fill(s->smallImages[e], 100, 128, 128);
        ASSERT_EQ(BuildLowResToneAndChromaMaps(nullptr, s), RESULT_OK);
        EXPECT_EQ(s->previewImage->ppu8Plane[1][0], c.wantU) << int{c.y} << " " << int{c.u};
        if (c.y == 100) {
            EXPECT_EQ(s->previewImage->ppu8Plane[0][0], c.wantY);
        }
    }
    // The chroma factor stops at four times the old luma.
    EXPECT_EQ(RescaleChroma(160, 40, 255, 288, 224),
              128 + (32 * ((288 - 40) * 40 + 264 * 160)) / (512 * 40));
    // Unit gain keeps the chroma: a + b = 512.
    EXPECT_EQ(RescaleChroma(200, 90, 90, 288, 224), 200);
}

TEST(LowResToneMaps, CorrectionMapsPerExposure) {
    struct Case {
        const char *name;
        uint8_t darkY, refY, brightY;  // chroma 150 / 110 for every exposure
        uint8_t mask0, mask3;          // ghost masks of the reference and the brightest
        int16_t ref, dark, bright;     // U maps; the preview's U is 140
    };
    const Case cases[] = {
        {"no ghosts", 50, 100, 150, 0, 0, -10, -10, -10},
        // Dark luma 65 weighs the rescaled own chroma by 4/256: almost all preview.
        {"dark weight 4", 65, 100, 150, 0, 0, -10, -10, -10},
        {"dark weight 256", 129, 100, 150, 0, 0, -10, 0, -10},
        // Mask 255 keeps 255/256 of the reference's own chroma (the preview luma equals it).
        {"reference ghost", 50, 100, 150, 255, 0, 0, -10, -10},
        // Nothing clips: the bright map is 0 from luma 193 up.
        {"bright high", 50, 100, 200, 0, 0, -10, -10, 0},
    };
    for (const Case &c : cases) {
        ToneMapSession t(6, 6);
        HdrSession *s = t.s;
        t.Fill(s->previewImage, 100, 140, 140);
        t.Fill(s->smallImages[s->darkIndex], c.darkY, 150, 150);
        t.Fill(s->smallImages[s->referenceIndex], c.refY, 150, 150);
        t.Fill(s->smallImages[s->brightIndex], c.brightY, 150, 150);
        std::fill_n(s->ghostMasks[0], t.masks.size() / 4, c.mask0);
        std::fill_n(s->ghostMasks[3], t.masks.size() / 4, c.mask3);
        ASSERT_EQ(BuildLowResToneAndChromaMaps(nullptr, s), RESULT_OK) << c.name;
        EXPECT_EQ(t.Map(3), c.ref) << c.name;
        EXPECT_EQ(t.Map(4), c.dark) << c.name;
        EXPECT_EQ(t.Map(5), c.bright) << c.name;
        EXPECT_EQ(t.Map(6), c.ref) << c.name;
    }
}

TEST(LowResToneMaps, ClippedBrightnessTakesTheDarkMinusBrightOffset) {
    ToneMapSession t(4, 4);
    HdrSession *s = t.s;
    t.Fill(s->previewImage, 100, 128, 128);
    t.Fill(s->smallImages[s->darkIndex], 130, 140, 120);
    t.Fill(s->smallImages[s->referenceIndex], 170, 128, 128);
    t.Fill(s->smallImages[s->brightIndex], 240, 131, 125);
    // Column 1 sits half-way up the ramp from 192 and does not clip.
    ImageDesc *bright = s->smallImages[s->brightIndex];
    for (int r = 0; r < 4; ++r) bright->ppu8Plane[0][r * bright->pi32Pitch[0] + 1] = 208;
    // Without ghost masks (after the single-image fallback) nothing is masked.
    for (uint8_t *&m : s->ghostMasks) m = nullptr;
    ASSERT_EQ(BuildLowResToneAndChromaMaps(nullptr, s), RESULT_OK);
    // Means over the 12 clipped positions, rounded half away then truncated toward zero:
    // (108 + 6) / 12 = 9 and (-60 + 6) / 12 = -4.
    EXPECT_EQ(s->fineGrids[5][0], 9);
    EXPECT_EQ(s->fineGrids[8][0], -4);
    EXPECT_EQ(s->fineGrids[5][1], 4);   // floor(16 * 9 / 32)
    EXPECT_EQ(s->fineGrids[8][1], -2);  // floor(16 * -4 / 32)
}

TEST(LowResToneMaps, MissingGainTableChangesNothing) {
    ToneMapSession t(4, 4);
    HdrSession *s = t.s;
    t.Fill(s->previewImage, 100, 140, 140);
    uint16_t *table = s->gainTable;
    s->gainTable = nullptr;
    EXPECT_EQ(BuildLowResToneAndChromaMaps(nullptr, s), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(s->previewImage->ppu8Plane[0][0], 100);
    s->gainTable = table;
    s->fineGrids[5] = nullptr;
    EXPECT_EQ(BuildLowResToneAndChromaMaps(nullptr, s), RESULT_INVALID_ARGUMENT);
    s->fineGrids[5] = s->fineGrids[4] + 6 * 6;
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "difference_map_frames.h"
#include "weights/auxiliary_tools.h"

namespace {

using planning::DifferenceMapFrames;

TEST(RegionHistogram, CountsTheRectangleOrTheWholePlane) {
    // 6 x 4 plane of pitch 8; byte value = x + 10 y; the padding bytes hold 99.
    std::vector<uint8_t> plane(8 * 4, 99);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) plane[y * 8 + x] = static_cast<uint8_t>(x + 10 * y);
    const struct {
        bool withRect;
        PixelRect rect;
        int32_t total;
    } cases[] = {
        {false, {}, 24},
        {true, {1, 1, 3, 3}, 4},
        {true, {-2, 2, 9, 9}, 12},  // clipped to the plane
        {true, {4, 1, 2, 3}, 0},    // empty
    };
    for (const auto &c : cases) {
        std::vector<int32_t> histogram(256, -1);
        ASSERT_EQ(RegionHistogram(plane.data(), 4, 6, 8, histogram.data(), c.withRect ? &c.rect : nullptr), RESULT_OK);
        int32_t total = 0;
        for (int v = 0; v < 256; ++v) {
            const PixelRect r = c.withRect ? c.rect : PixelRect{0, 0, 6, 4};
            const int32_t x = v % 10, y = v / 10;
            const bool inside = v < 40 && x < 6 && x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1;
            EXPECT_EQ(histogram[v], inside ? 1 : 0) << "value " << v;
            total += histogram[v];
        }
        EXPECT_EQ(total, c.total);
    }
    std::vector<int32_t> histogram(256);
    EXPECT_EQ(RegionHistogram(plane.data(), 4, 9, 8, histogram.data(), nullptr), RESULT_INVALID_ARGUMENT);
}

TEST(PickHighestEntropyImage, ChoosesTheMostSpreadHistogram) {
    // 0: uniform; 1: two levels in halves (ln 2); 2: four levels in quarters (ln 4); 3: as 2.
    const int32_t w = 16, h = 8;
    std::vector<std::vector<uint8_t>> bytes(4, std::vector<uint8_t>(w * h, 77));
    for (int32_t i = 0; i < w * h; ++i) {
        bytes[1][i] = static_cast<uint8_t>(i % 2 ? 10 : 200);
        bytes[2][i] = bytes[3][i] = static_cast<uint8_t>(40 * (i % 4));
    }
    std::vector<ImageDesc> images(4);
    std::vector<ImageDesc *> list;
    for (int k = 0; k < 4; ++k) {
        images[k].u32PixelArrayFormat = PIXEL_FORMAT_GRAY8;
        images[k].i32Width = w;
        images[k].i32Height = h;
        images[k].ppu8Plane[0] = bytes[k].data();
        images[k].pi32Pitch[0] = w;
        list.push_back(&images[k]);
    }
    const struct {
        int32_t first, count, index;
        double entropy;
    } cases[] = {
        {0, 1, 0, 0.0},  // a uniform image: about 0 (none positive)
        {0, 2, 1, std::log(2.0)},
        {0, 4, 2, std::log(4.0)},  // the first of two equal ones
        {1, 1, 0, std::log(2.0)},
    };
    for (const auto &c : cases) {
        int32_t index = -1;
        float entropy = -1.0f;
        ASSERT_EQ(PickHighestEntropyImage(nullptr, list.data() + c.first, c.count, &index, &entropy), RESULT_OK);
        EXPECT_EQ(index, c.index);
        EXPECT_NEAR(entropy, c.entropy, 1e-4);
    }
    // Each image is read with its own size: a smaller second image is not overread.
    std::vector<uint8_t> tiny = {1, 2, 3, 4};
    ImageDesc small{};
    small.u32PixelArrayFormat = PIXEL_FORMAT_GRAY8;
    small.i32Width = 2;
    small.i32Height = 2;
    small.ppu8Plane[0] = tiny.data();
    small.pi32Pitch[0] = 2;
    ImageDesc *mixed[] = {&images[1], &small};
    int32_t index = -1;
    float entropy = 0.0f;
    ASSERT_EQ(PickHighestEntropyImage(nullptr, mixed, 2, &index, &entropy), RESULT_OK);
    EXPECT_EQ(index, 1);
    EXPECT_NEAR(entropy, std::log(4.0), 1e-4);
    EXPECT_EQ(PickHighestEntropyImage(nullptr, mixed, 0, &index, &entropy), RESULT_INVALID_ARGUMENT);
}

TEST(ApplyDifferenceMapsFullRes, ConstantMapsShiftEveryRowWithFades) {
    // Values per map: reference, dark, bright. 70 x 69 pixels: 8 x 8 maps, a partial last group
    // of four, and rows 0, 32 and 64 included.
    const struct {
        std::array<uint8_t, 3> luma;
        std::array<int16_t, 3> maps;
        std::array<uint8_t, 3> expected;
    } cases[] = {
        {{100, 240, 30}, {256, 256, 256}, {100, 240, 30}},
        {{250, 240, 32}, {266, 288, 224}, {255, 255, 16}},  // dark 32 * 15 / 32; bright -32 * 32 / 64
        {{20, 223, 64}, {226, 224, 224}, {0, 191, 32}},     // no fade at 223 and 64
        {{20, 230, 10}, {256, 200, 255}, {20, 186, 9}},     // -56 * 25 >> 5 = -44; -1 * 10 >> 6 = -1
    };
    for (uint32_t format : {uint32_t{PIXEL_FORMAT_GRAY8}, uint32_t{PIXEL_FORMAT_YUYV}, uint32_t{PIXEL_FORMAT_UYVY}})
        for (const auto &c : cases) {
            DifferenceMapFrames f(70, 69, c.luma, c.maps, format);
            ASSERT_EQ(ApplyDifferenceMapsFullRes(&f.session), RESULT_OK);
            for (int k = 0; k < 3; ++k) {
                int32_t wrong = 0;
                for (int32_t y = 0; y < f.height; ++y)
                    for (int32_t x = 0; x < f.width; ++x) wrong += f.Luma(k, x, y) != c.expected[k];
                EXPECT_EQ(wrong, 0) << "map " << k << " luma " << int{c.luma[k]} << " format " << format;
                if (f.step == 2) {
                    int32_t chroma = 0;
                    for (size_t i = 1 - f.lumaOffset; i < f.frames[k].size(); i += 2) chroma += f.frames[k][i] != 128;
                    EXPECT_EQ(chroma, 0) << "chroma bytes stay";
                }
            }
        }
}

TEST(ApplyDifferenceMapsFullRes, OneOffsetPerGroupOfFourFromTheInterpolatedMap) {
    // Reference map columns 256 + 8 j: node j stands at x = 8 j + 4, so the offset at x is
    // x - 4 between the first and the last node and held beyond them.
    DifferenceMapFrames f(72, 40, {100, 100, 100}, {256, 256, 256});
    const int32_t mapWidth = f.preview.i32Width;
    for (size_t i = 0; i < f.grids[0].size(); ++i) f.grids[0][i] = static_cast<int16_t>(256 + 8 * (i % mapWidth));
    ASSERT_EQ(ApplyDifferenceMapsFullRes(&f.session), RESULT_OK);
    for (int32_t y : {0, 17, 39})
        for (int32_t x = 0; x < f.width; ++x) {
            const int32_t group = x & ~3;
            const int32_t offset = group < 4 ? 0 : (group > 8 * (mapWidth - 1) + 4 ? 8 * (mapWidth - 1) : group - 4);
            EXPECT_EQ(f.Luma(0, x, y), 100 + offset) << x << "," << y;
        }
}

TEST(ApplyDifferenceMapsFullRes, RefusesWhatItCannotAddress) {
    const struct {
        const char *name;
        void (*spoil)(DifferenceMapFrames &);
        int32_t result;
    } cases[] = {
        {"two maps for one image", [](DifferenceMapFrames &f) { f.session.darkIndex = 1; }, RESULT_INVALID_ARGUMENT},
        {"two exposures", [](DifferenceMapFrames &f) { f.session.exposureCount = 2; }, RESULT_INVALID_ARGUMENT},
        {"no bright map", [](DifferenceMapFrames &f) { f.session.fineGrids[2] = nullptr; }, RESULT_INVALID_ARGUMENT},
        {"maps of another size", [](DifferenceMapFrames &f) { f.session.fineGridStride += 2; }, RESULT_INVALID_ARGUMENT},
        {"short pitch", [](DifferenceMapFrames &f) { f.inputs[2].pi32Pitch[0] -= 1; }, RESULT_INVALID_ARGUMENT},
        {"frames of other sizes", [](DifferenceMapFrames &f) { f.inputs[0].i32Height -= 1; }, RESULT_INVALID_ARGUMENT},
        {"luma of unknown place",
         [](DifferenceMapFrames &f) {
             for (ImageDesc &d : f.inputs) d.u32PixelArrayFormat = 0x505;
         },
         RESULT_UNSUPPORTED_FORMAT},
    };
    for (const auto &c : cases) {
        DifferenceMapFrames f(64, 64, {100, 100, 100}, {300, 300, 300});
        c.spoil(f);
        EXPECT_EQ(ApplyDifferenceMapsFullRes(&f.session), c.result) << c.name;
        EXPECT_EQ(f.Luma(0, 5, 5), 100) << c.name;
    }
    EXPECT_EQ(ApplyDifferenceMapsFullRes(nullptr), RESULT_INVALID_ARGUMENT);
}

}  // namespace

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/hdr_engine.h"
#include "filters/mask_morphology.h"

namespace {

// One pass as defined: a pixel changes when one of its neighbours inside the mask held the
// opposite value when the pass began.
std::vector<uint8_t> ModelPass(const std::vector<uint8_t> &in, int w, int h, int pitch, bool erode) {
    std::vector<uint8_t> out = in;
    const uint8_t from = erode ? 255 : 0;
    const uint8_t to = erode ? 0 : 255;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (in[y * pitch + x] != from) continue;
            const bool hit = (x > 0 && in[y * pitch + x - 1] == to) ||
                             (x + 1 < w && in[y * pitch + x + 1] == to) ||
                             (y > 0 && in[(y - 1) * pitch + x] == to) ||
                             (y + 1 < h && in[(y + 1) * pitch + x] == to);
            if (hit) out[y * pitch + x] = to;
        }
    return out;
}

struct Shape {
    int width, height, pitch;
};

// Random masks against the model, including masks one or two pixels wide or high and a
// pitch beyond the width whose padding must stay as it is.
TEST(MaskMorphology, MatchesNeighbourhoodModel) {
    const Shape shapes[] = {{1, 1, 1}, {1, 6, 3}, {6, 1, 6}, {2, 2, 2}, {2, 7, 2},
                            {7, 2, 9}, {3, 3, 3}, {16, 9, 20}, {40, 33, 40}};
    std::mt19937 random(5);
    for (const Shape &s : shapes)
        for (int passes = 0; passes <= 4; ++passes)
            for (bool erode : {true, false})
                for (int density : {30, 70}) {
                    std::vector<uint8_t> mask(s.pitch * s.height);
                    for (uint8_t &m : mask) m = static_cast<int>(random() % 100) < density ? 255 : 0;
                    for (int y = 0; y < s.height; ++y)
                        for (int x = s.width; x < s.pitch; ++x) mask[y * s.pitch + x] = 77;
                    std::vector<uint8_t> expected = mask;
                    for (int p = 0; p < passes; ++p)
                        expected = ModelPass(expected, s.width, s.height, s.pitch, erode);
                    const int32_t result = erode ? ErodeMask(mask.data(), s.pitch, s.width, s.height, passes)
                                                 : DilateMask(mask.data(), s.pitch, s.width, s.height, passes);
                    ASSERT_EQ(result, RESULT_OK);
                    EXPECT_EQ(mask, expected) << s.width << "x" << s.height << " passes " << passes
                                              << (erode ? " erode" : " dilate");
                }
}

int CountSet(const std::vector<uint8_t> &mask) {
    int n = 0;
    for (uint8_t m : mask) n += m == 255;
    return n;
}

TEST(MaskMorphology, SinglePixelFigures) {
    std::vector<uint8_t> mask(9 * 9, 0);
    mask[4 * 9 + 4] = 255;
    std::vector<uint8_t> eroded = mask;
    ErodeMask(eroded.data(), 9, 9, 9, 1);
    EXPECT_EQ(CountSet(eroded), 0);
    DilateMask(mask.data(), 9, 9, 9, 1);
    EXPECT_EQ(CountSet(mask), 5);  // a plus
    EXPECT_EQ(mask[3 * 9 + 4], 255);
    EXPECT_EQ(mask[4 * 9 + 3], 255);
    DilateMask(mask.data(), 9, 9, 9, 1);
    EXPECT_EQ(CountSet(mask), 13);  // a diamond
    EXPECT_EQ(mask[2 * 9 + 4], 255);
    EXPECT_EQ(mask[3 * 9 + 3], 255);
}

// The outside of the mask never counts as a neighbour.
TEST(MaskMorphology, OutsideNeverCounts) {
    std::vector<uint8_t> full(5 * 4, 255);
    ErodeMask(full.data(), 5, 5, 4, 3);
    EXPECT_EQ(full, std::vector<uint8_t>(20, 255));
    std::vector<uint8_t> empty(5 * 4, 0);
    DilateMask(empty.data(), 5, 5, 4, 3);
    EXPECT_EQ(empty, std::vector<uint8_t>(20, 0));
}

// A one-pixel clear line between set regions closes in one dilation; a one-pixel set line
// goes in one erosion and does not come back with the dilation that follows.
TEST(MaskMorphology, ThinLines) {
    std::vector<uint8_t> gap(7 * 5, 255);
    for (int y = 0; y < 5; ++y) gap[y * 7 + 3] = 0;
    DilateMask(gap.data(), 7, 7, 5, 1);
    EXPECT_EQ(CountSet(gap), 35);

    std::vector<uint8_t> line(7 * 5, 0);
    for (int x = 0; x < 7; ++x) line[2 * 7 + x] = 255;
    ErodeMask(line.data(), 7, 7, 5, 1);
    EXPECT_EQ(CountSet(line), 0);
    DilateMask(line.data(), 7, 7, 5, 1);
    EXPECT_EQ(CountSet(line), 0);
}

TEST(MaskMorphology, RejectsBadArguments) {
    std::vector<uint8_t> mask(4 * 4, 255);
    EXPECT_EQ(ErodeMask(nullptr, 4, 4, 4, 1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(DilateMask(mask.data(), 3, 4, 4, 1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ErodeMask(mask.data(), 4, -1, 4, 1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(DilateMask(nullptr, 0, 0, 0, 1), RESULT_OK);
}

}  // namespace

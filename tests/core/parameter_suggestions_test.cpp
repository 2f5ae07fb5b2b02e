// Parameter suggestions from the shadow and highlight shares of an image.
#include <gtest/gtest.h>

#include "core/memory.h"
#include "core/parameter_suggestions.h"
#include "exposure_support.h"

namespace {

using exposure_test::Planar444;

struct Expected {
    uint8_t level;
    uint32_t format;
    ParameterSuggestion plain;
    int32_t plainCount;
    ParameterSuggestion scaled;  // c = 10
    int32_t scaledCount;
};

TEST(ParameterSuggestionsTest, BlackWhiteAndUnreadImages) {
    const Expected cases[] = {
        // black: shadows 100 %, highlights 0, low level 0
        {0, PIXEL_FORMAT_YUV444P, {3, 2, 6}, 3, {10, 0, 11}, 3},
        // white: shadows 0, highlights 100 %, low level 255
        {255, PIXEL_FORMAT_YUV444P, {2, -6, 0}, 2, {0, -5, 0}, 2},
        // a format without readable luma: an empty histogram, both shares 0, low level 0
        {255, PIXEL_FORMAT_NV16, {2, 1, 3}, 3, {0, -1, 3}, 3},
    };
    for (const Expected &c : cases) {
        Planar444 image(32, 32, c.level);
        image.desc.u32PixelArrayFormat = c.format;
        ParameterSuggestion s{-9, -9, -9};
        int32_t count = -1;
        ASSERT_EQ(SuggestParameters(nullptr, &image.desc, &s, &count), RESULT_OK);
        EXPECT_EQ(s.s0, c.plain.s0) << int(c.level);
        EXPECT_EQ(s.s1, c.plain.s1) << int(c.level);
        EXPECT_EQ(s.s2, c.plain.s2) << int(c.level);
        EXPECT_EQ(count, c.plainCount);
        ASSERT_EQ(SuggestParametersScaled(nullptr, &image.desc, -1, 1, 10, &s, &count), RESULT_OK);
        EXPECT_EQ(s.s0, c.scaled.s0) << int(c.level);
        EXPECT_EQ(s.s1, c.scaled.s1) << int(c.level);
        EXPECT_EQ(s.s2, c.scaled.s2) << int(c.level);
        EXPECT_EQ(count, c.scaledCount);
    }
}

TEST(ParameterSuggestionsTest, RefusedArgumentsAndFailedAllocation) {
    Planar444 image(8, 8, 0);
    ParameterSuggestion s{7, 7, 7};
    int32_t count = 7;
    const int32_t refused[][3] = {{0, 1, 1}, {-1, 0, 1}, {-1, 1, 0}};  // a >= 0, b <= 0, c <= 0
    for (const auto &abc : refused)
        EXPECT_EQ(SuggestParametersScaled(nullptr, &image.desc, abc[0], abc[1], abc[2], &s, &count),
                  RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(s.s0, 7);
    EXPECT_EQ(count, 7);
    alignas(16) static uint8_t pool[512];
    MemoryContext small = InitMemoryPool(pool, sizeof pool);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(SuggestParameters(small, &image.desc, &s, &count), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(count, 7);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/memory.h"
#include "core/row_image.h"
#include "image_support.h"

using image_support::PoolBuffer;

namespace {

bool AllZero(const RowImage &image) {
    for (int32_t i = 0; i < image.totalBytes; ++i)
        if (image.data[i] != 0) return false;
    return true;
}

void ExpectRowsFollowData(const RowImage &image) {
    for (int32_t i = 0; i < image.height; ++i)
        EXPECT_EQ(image.rows[i], image.data + static_cast<int64_t>(i) * image.rowBytes) << i;
}

TEST(RowImage, RowBytesAreWholeWordsOfTheSamples) {
    const struct {
        int32_t width, channels, bits, rowBytes;
    } cases[] = {
        {5, 1, 8, 8},  {4, 1, 8, 4},   {3, 1, 32, 12}, {1, 1, 8, 4},  {3, 3, 8, 12},
        {2, 1, 16, 4}, {3, 1, 16, 8},  {4, 2, 16, 16}, {0, 1, 8, 0},  {33, 1, 1, 8},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.channels << " x " << c.bits);
        RowImage *image = CreateRowImage(nullptr, c.width, 3, c.bits, c.channels);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->width, c.width);
        EXPECT_EQ(image->height, 3);
        EXPECT_EQ(image->channels, c.channels);
        EXPECT_EQ(image->bitsPerChannel, c.bits);
        EXPECT_EQ(image->rowBytes, c.rowBytes);
        EXPECT_EQ(image->totalBytes, 3 * c.rowBytes);
        EXPECT_TRUE(AllZero(*image));
        ExpectRowsFollowData(*image);
        FreeRowImage(nullptr, &image);
        EXPECT_EQ(image, nullptr);
    }
}

TEST(RowImage, HeightZeroHasNoBytesAndNoRows) {
    RowImage *image = CreateRowImage(nullptr, 5, 0, 8, 1);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->rowBytes, 8);
    EXPECT_EQ(image->totalBytes, 0);
    EXPECT_EQ(image->rows, nullptr);
    RowImage *clone = CloneRowImage(nullptr, image);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->totalBytes, 0);
    ClearRowImage(image);
    FreeRowImage(nullptr, &clone);
    FreeRowImage(nullptr, &image);
}

TEST(RowImage, CloneOwnsACopyOfThePixels) {
    RowImage *source = CreateRowImage(nullptr, 7, 4, 8, 1);
    ASSERT_NE(source, nullptr);
    for (int32_t i = 0; i < source->totalBytes; ++i) source->data[i] = static_cast<uint8_t>(3 * i + 1);
    RowImage *clone = CloneRowImage(nullptr, source);
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone->data, source->data);
    EXPECT_EQ(clone->rowBytes, source->rowBytes);
    EXPECT_EQ(clone->totalBytes, source->totalBytes);
    ExpectRowsFollowData(*clone);
    EXPECT_EQ(std::vector<uint8_t>(clone->data, clone->data + clone->totalBytes),
              std::vector<uint8_t>(source->data, source->data + source->totalBytes));
    clone->rows[1][2] = 0;
    EXPECT_EQ(source->rows[1][2], static_cast<uint8_t>(3 * (8 + 2) + 1));
    EXPECT_EQ(CloneRowImage(nullptr, nullptr), nullptr);
    FreeRowImage(nullptr, &clone);
    FreeRowImage(nullptr, &source);
}

TEST(RowImage, WrappedImageUsesTheCallersPitchAndLeavesThePixels) {
    std::vector<uint8_t> pixels(6 * 10);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i);
    const std::vector<uint8_t> original = pixels;
    RowImage *image = WrapRowImage(nullptr, pixels.data(), 7, 6, 8, 1, 10);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->rowBytes, 10);
    EXPECT_EQ(image->totalBytes, 60);
    EXPECT_EQ(image->data, pixels.data());
    ExpectRowsFollowData(*image);

    RowImage *clone = CloneRowImage(nullptr, image);  // a wrapped image clones into its own block
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->rowBytes, 10);
    EXPECT_EQ(std::vector<uint8_t>(clone->data, clone->data + 60), original);
    FreeRowImage(nullptr, &clone);

    FreeRowImageHeader(nullptr, &image);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(pixels, original);
}

TEST(RowImage, ClearZeroesEveryByte) {
    std::vector<uint8_t> pixels(3 * 8, 0xab);
    RowImage *image = WrapRowImage(nullptr, pixels.data(), 5, 3, 8, 1, 8);
    ASSERT_NE(image, nullptr);
    ClearRowImage(image);
    EXPECT_EQ(pixels, std::vector<uint8_t>(24, 0));
    ClearRowImage(nullptr);
    FreeRowImageHeader(nullptr, &image);
}

TEST(RowImage, UnusableSizesGiveNull) {
    EXPECT_EQ(CreateRowImage(nullptr, -1, 4, 8, 1), nullptr);
    EXPECT_EQ(CreateRowImage(nullptr, 4, -1, 8, 1), nullptr);
    EXPECT_EQ(CreateRowImage(nullptr, 4, 4, 0, 1), nullptr);
    EXPECT_EQ(CreateRowImage(nullptr, 4, 4, 8, 0), nullptr);
    // 2^20 pixels of 4 x 32 bits are 16 MiB a row; 512 rows overflow the 32-bit byte count.
    EXPECT_EQ(CreateRowImage(nullptr, 1 << 20, 512, 32, 4), nullptr);
    EXPECT_EQ(CreateRowImage(nullptr, INT32_MAX, 1, 32, 4), nullptr);

    uint8_t pixels[64] = {};
    EXPECT_EQ(WrapRowImage(nullptr, pixels, 8, 2, 8, 1, 7), nullptr);   // pitch under a row
    EXPECT_EQ(WrapRowImage(nullptr, pixels, 3, 2, 32, 1, 11), nullptr);
    EXPECT_EQ(WrapRowImage(nullptr, nullptr, 8, 2, 8, 1, 8), nullptr);
    EXPECT_EQ(WrapRowImage(nullptr, pixels, 8, 2, 8, 1, INT32_MAX), nullptr);  // 2 x pitch
    RowImage *tight = WrapRowImage(nullptr, pixels, 3, 2, 32, 1, 12);
    EXPECT_NE(tight, nullptr);
    FreeRowImageHeader(nullptr, &tight);
}

// Every allocation step failing in turn: null, and the pool gets everything back.
TEST(RowImage, AllocationFailuresLeaveNothingBehind) {
    for (size_t size = 48; size <= 512; size += 8) {
        PoolBuffer buffer(size);
        MemoryContext pool = buffer.Init();
        ASSERT_NE(pool, nullptr);
        const int64_t freeBefore = LargestFreeBlock(pool);
        RowImage *image = CreateRowImage(pool, 10, 10, 8, 1);
        if (image) {
            EXPECT_TRUE(AllZero(*image));
            RowImage *clone = CloneRowImage(pool, image);
            FreeRowImage(pool, &clone);
        }
        FreeRowImage(pool, &image);
        uint8_t pixels[40];
        RowImage *wrapped = WrapRowImage(pool, pixels, 4, 10, 8, 1, 4);
        FreeRowImageHeader(pool, &wrapped);
        EXPECT_EQ(LargestFreeBlock(pool), freeBefore) << size;
    }
}

}  // namespace

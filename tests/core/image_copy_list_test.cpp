#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/image.h"
#include "core/image_copy_list.h"
#include "core/memory.h"
#include "image_support.h"

using namespace image_support;

namespace {

// Three small YUYV images with distinct contents, and a 4 x 2 extra block for each.
struct Sources {
    Sources() {
        std::mt19937 rng(3);
        for (int i = 0; i < 3; ++i) {
            images[i] = MakeImage(4, 2, PIXEL_FORMAT_YUYV);
            FillRandom(*images[i], rng);
            extras[i].assign(8, static_cast<uint8_t>(10 * (i + 1)));
        }
    }
    OwnedImage images[3];
    std::vector<uint8_t> extras[3];
};

bool SamePixels(const ImageDesc *a, const ImageDesc *b) {
    return SameImageShape(a, b) && Snapshot(*a) == Snapshot(*b);
}

int64_t Tags(int32_t tag0, int32_t tag1) {
    return static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(tag1)) << 32 |
                                static_cast<uint32_t>(tag0));
}

void ExpectEmpty(const ImageCopyList &list) {
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.first, nullptr);
    EXPECT_EQ(list.cursor, nullptr);
    EXPECT_EQ(list.last, nullptr);
}

class ImageCopyListTest : public testing::Test {
protected:
    void AppendAll() {
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(AppendImageCopy(&list, sources.images[i].get(), sources.extras[i].data(),
                                      i, -i - 1, nullptr),
                      RESULT_OK);
    }
    void TearDown() override { ClearImageCopies(&list, nullptr); }
    Sources sources;
    ImageCopyList list{};
};

TEST_F(ImageCopyListTest, ForwardWalkHandsOutPrivateCopiesInOrder) {
    AppendAll();
    EXPECT_EQ(list.count, 3);
    ASSERT_EQ(RewindImageCopies(&list), list.first);
    for (int i = 0; i < 3; ++i) {
        ImageDesc *image = nullptr;
        int64_t tags = 0;
        ASSERT_EQ(NextImageCopy(&list, &image, nullptr, &tags), 1) << i;
        EXPECT_NE(image, sources.images[i].get());
        EXPECT_TRUE(SamePixels(image, sources.images[i].get())) << i;
        EXPECT_EQ(tags, Tags(i, -i - 1));
    }
    ImageDesc *image = nullptr;
    EXPECT_EQ(NextImageCopy(&list, &image, nullptr, nullptr), 0);
    EXPECT_EQ(image, nullptr);
}

TEST_F(ImageCopyListTest, BackwardWalkHandsOutExtraBlocksAndTags) {
    AppendAll();
    ASSERT_EQ(WindImageCopies(&list), list.last);
    for (int i = 2; i >= 0; --i) {
        ImageDesc *image = nullptr;
        uint8_t *extra = nullptr;
        int64_t tags = 0;
        ASSERT_EQ(PrevImageCopy(&list, &image, &extra, &tags), 1);
        EXPECT_TRUE(SamePixels(image, sources.images[i].get()));
        ASSERT_NE(extra, nullptr);
        EXPECT_NE(extra, sources.extras[i].data());
        EXPECT_EQ(std::vector<uint8_t>(extra, extra + 8), sources.extras[i]);
        // tag0 in the low half, tag1 (negative here) in the high half.
        EXPECT_EQ(tags, Tags(i, -i - 1));
        EXPECT_EQ(static_cast<int32_t>(tags >> 32), -i - 1);
    }
    EXPECT_EQ(PrevImageCopy(&list, nullptr, nullptr, nullptr), 0);
}

TEST_F(ImageCopyListTest, FirstAppendSetsTheCursorForBothAppends) {
    ASSERT_EQ(AppendImageCopy(&list, sources.images[0].get(), nullptr, 1, 2, nullptr), RESULT_OK);
    EXPECT_EQ(list.cursor, list.first);
    ImageDesc *image = nullptr;
    EXPECT_EQ(NextImageCopy(&list, &image, nullptr, nullptr), 1);
    ClearImageCopies(&list, nullptr);

    const PixelRect rect{1, 0, 3, 2};
    ASSERT_EQ(AppendImageCropCopy(&list, sources.images[0].get(), nullptr, &rect, 1, 2, nullptr),
              RESULT_OK);
    EXPECT_EQ(list.cursor, list.first);
    // Later appends leave the cursor where it was.
    ASSERT_EQ(AppendImageCopy(&list, sources.images[1].get(), nullptr, 3, 4, nullptr), RESULT_OK);
    EXPECT_EQ(list.cursor, list.first);
}

TEST_F(ImageCopyListTest, CropCopyHoldsTheRectangleAndTheWholeExtraBlock) {
    const PixelRect rect{1, 1, 4, 2};
    ASSERT_EQ(AppendImageCropCopy(&list, sources.images[2].get(), sources.extras[2].data(), &rect,
                                  5, 6, nullptr),
              RESULT_OK);
    ImageDesc *expected = nullptr;
    ASSERT_EQ(CropToNewImage(&expected, sources.images[2].get(), &rect, nullptr), RESULT_OK);
    OwnedImage owned(expected);
    ImageDesc *image = nullptr;
    uint8_t *extra = nullptr;
    ASSERT_EQ(PrevImageCopy(&list, &image, &extra, nullptr), 1);
    EXPECT_EQ(image->i32Width, 3);
    EXPECT_EQ(image->i32Height, 1);
    EXPECT_EQ(std::vector<uint8_t>(image->ppu8Plane[0], image->ppu8Plane[0] + 6),
              std::vector<uint8_t>(expected->ppu8Plane[0], expected->ppu8Plane[0] + 6));
    EXPECT_EQ(std::vector<uint8_t>(extra, extra + 8), sources.extras[2]);
}

TEST_F(ImageCopyListTest, RemovingTheOnlyNodeEmptiesTheList) {
    ASSERT_EQ(AppendImageCopy(&list, sources.images[0].get(), sources.extras[0].data(), 0, 0,
                              nullptr),
              RESULT_OK);
    EXPECT_EQ(RemoveFirstImageCopy(&list, nullptr), RESULT_OK);
    ExpectEmpty(list);
    ASSERT_EQ(AppendImageCopy(&list, sources.images[0].get(), nullptr, 0, 0, nullptr), RESULT_OK);
    EXPECT_EQ(RemoveLastImageCopy(&list, nullptr), RESULT_OK);
    ExpectEmpty(list);
    EXPECT_EQ(RemoveFirstImageCopy(&list, nullptr), RESULT_OK);  // empty: nothing to do
    EXPECT_EQ(RemoveLastImageCopy(&list, nullptr), RESULT_OK);
    ExpectEmpty(list);
}

// The cursor never points at a removed node: removing at either end moves it to the new end.
TEST_F(ImageCopyListTest, RemovalsMoveTheCursorToTheNewEnd) {
    AppendAll();
    WindImageCopies(&list);  // cursor on the last node
    ImageCopyNode *middle = list.first->next;
    ASSERT_EQ(RemoveLastImageCopy(&list, nullptr), RESULT_OK);
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.last, middle);
    EXPECT_EQ(middle->next, nullptr);
    EXPECT_EQ(list.cursor, middle);
    ImageDesc *image = nullptr;
    ASSERT_EQ(PrevImageCopy(&list, &image, nullptr, nullptr), 1);
    EXPECT_TRUE(SamePixels(image, sources.images[1].get()));

    RewindImageCopies(&list);
    ASSERT_EQ(RemoveFirstImageCopy(&list, nullptr), RESULT_OK);
    EXPECT_EQ(list.first, middle);
    EXPECT_EQ(middle->prev, nullptr);
    EXPECT_EQ(list.cursor, middle);
    EXPECT_EQ(list.count, 1);
}

TEST_F(ImageCopyListTest, BadArgumentsAreRefused) {
    const PixelRect outside{0, 0, 5, 2};
    EXPECT_EQ(AppendImageCopy(nullptr, sources.images[0].get(), nullptr, 0, 0, nullptr),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(AppendImageCopy(&list, nullptr, nullptr, 0, 0, nullptr), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(AppendImageCropCopy(&list, sources.images[0].get(), nullptr, nullptr, 0, 0, nullptr),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(AppendImageCropCopy(&list, sources.images[0].get(), nullptr, &outside, 0, 0, nullptr),
              RESULT_INVALID_ARGUMENT);
    ExpectEmpty(list);
    EXPECT_EQ(RemoveFirstImageCopy(nullptr, nullptr), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(RemoveLastImageCopy(nullptr, nullptr), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(RewindImageCopies(nullptr), nullptr);
    EXPECT_EQ(WindImageCopies(nullptr), nullptr);
    EXPECT_EQ(NextImageCopy(nullptr, nullptr, nullptr, nullptr), 0);
    ClearImageCopies(nullptr, nullptr);
}

// Pools of growing size make each allocation of an append fail in turn (node, descriptor,
// plane block, extra block). A failed append returns 4, leaves the list as it was and gives
// every byte back.
TEST(ImageCopyListMemory, FailedAppendsLeakNothingAndLeaveTheListAlone) {
    Sources sources;
    const PixelRect rect{0, 0, 2, 2};
    int failures = 0;
    for (size_t size = 64; size <= 1024; size += 8) {
        PoolBuffer buffer(size);
        MemoryContext pool = buffer.Init();
        ASSERT_NE(pool, nullptr);
        const int64_t freeBefore = LargestFreeBlock(pool);
        ImageCopyList list{};
        for (int i = 0; i < 3; ++i) {
            const ImageCopyList before = list;
            const int result =
                i == 1 ? AppendImageCropCopy(&list, sources.images[i].get(),
                                             sources.extras[i].data(), &rect, i, i, pool)
                       : AppendImageCopy(&list, sources.images[i].get(), sources.extras[i].data(),
                                         i, i, pool);
            if (result != RESULT_OK) {
                ++failures;
                EXPECT_EQ(result, RESULT_OUT_OF_MEMORY);
                EXPECT_EQ(list.count, before.count);
                EXPECT_EQ(list.first, before.first);
                EXPECT_EQ(list.last, before.last);
                EXPECT_EQ(list.cursor, before.cursor);
                break;
            }
        }
        ClearImageCopies(&list, pool);
        ExpectEmpty(list);
        EXPECT_EQ(LargestFreeBlock(pool), freeBefore) << "pool of " << size;
    }
    EXPECT_GT(failures, 20);
}

}  // namespace

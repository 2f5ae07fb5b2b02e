#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/memory.h"

namespace {

// An 8-aligned buffer of the given size.
struct PoolBuffer {
    explicit PoolBuffer(size_t bytes) : storage((bytes + 7) / 8 + 1) {}
    void *data() { return storage.data(); }
    std::vector<uint64_t> storage;
};

TEST(MemoryPool, NewPoolIsOneFreeBlockBeforeTheSentinel) {
    PoolBuffer buffer(1024);
    MemoryContext pool = InitMemoryPool(buffer.data(), 1024);
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->payloadSize, 992);
    EXPECT_EQ(pool->inUse, 0);
    auto *sentinel = reinterpret_cast<PoolBlockHeader *>(static_cast<uint8_t *>(buffer.data()) + 1008);
    EXPECT_EQ(sentinel->payloadSize, -1);
    EXPECT_EQ(sentinel->inUse, -1);
    EXPECT_EQ(LargestFreeBlock(pool), 992);
}

TEST(MemoryPool, TooSmallOrNullBufferGivesNoPool) {
    PoolBuffer buffer(64);
    EXPECT_EQ(InitMemoryPool(nullptr, 1024), nullptr);
    EXPECT_EQ(InitMemoryPool(buffer.data(), 39), nullptr);
    EXPECT_NE(InitMemoryPool(buffer.data(), 40), nullptr);
    // An odd start loses its first bytes to alignment.
    EXPECT_EQ(InitMemoryPool(static_cast<uint8_t *>(buffer.data()) + 1, 40), nullptr);
}

TEST(MemoryPool, SmallAllocationSplitsLargeOneTakesWholeBlock) {
    PoolBuffer buffer(1024);
    MemoryContext pool = InitMemoryPool(buffer.data(), 1024);
    void *one = AllocateMemory(pool, 1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(one) % 8, 0u);
    EXPECT_EQ(LargestFreeBlock(pool), 968);
    FreeMemory(pool, one);
    EXPECT_EQ(LargestFreeBlock(pool), 992);

    void *big = AllocateMemory(pool, 960);  // 992 - 960 - 16 = 16: not worth a split
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(reinterpret_cast<PoolBlockHeader *>(big)[-1].payloadSize, 992);
    EXPECT_EQ(LargestFreeBlock(pool), 0);
    EXPECT_EQ(AllocateMemory(pool, 8), nullptr);
}

TEST(MemoryPool, FreeingInAnyOrderCoalescesToOneBlock) {
    const int orders[][3] = {{0, 2, 1}, {1, 0, 2}, {2, 1, 0}, {0, 1, 2}};
    for (const auto &order : orders) {
        PoolBuffer buffer(1024);
        MemoryContext pool = InitMemoryPool(buffer.data(), 1024);
        void *blocks[3] = {AllocateMemory(pool, 100), AllocateMemory(pool, 200),
                           AllocateMemory(pool, 300)};
        for (int i : order) FreeMemory(pool, blocks[i]);
        EXPECT_EQ(LargestFreeBlock(pool), 992);
        EXPECT_EQ(pool->payloadSize, 992);
    }
}

TEST(MemoryPool, NullContextAndZeroSizes) {
    EXPECT_EQ(LargestFreeBlock(nullptr), RESULT_INVALID_ARGUMENT);
    PoolBuffer buffer(256);
    MemoryContext pool = InitMemoryPool(buffer.data(), 256);
    EXPECT_EQ(AllocateMemory(pool, 0), nullptr);
    EXPECT_EQ(ReallocateMemory(pool, nullptr, 0), nullptr);
    FreeMemory(pool, nullptr);
    EXPECT_EQ(LargestFreeBlock(pool), 224);
}

TEST(MemoryPool, SizesThatWouldWrapIn32BitsAreRefused) {
    PoolBuffer buffer(256);
    MemoryContext pool = InitMemoryPool(buffer.data(), 256);
    EXPECT_EQ(AllocateMemory(pool, UINT32_MAX), nullptr);
    EXPECT_EQ(AllocateMemory(pool, uint64_t{1} << 32 | 8), nullptr);
    EXPECT_EQ(LargestFreeBlock(pool), 224);
}

TEST(MemoryPool, ForeignPointerIsIgnoredNotWalkedPast) {
    PoolBuffer buffer(256);
    MemoryContext pool = InitMemoryPool(buffer.data(), 256);
    void *block = AllocateMemory(pool, 16);
    int elsewhere = 0;
    FreeMemory(pool, &elsewhere);
    EXPECT_EQ(ReallocateMemory(pool, &elsewhere, 32), nullptr);
    FreeMemory(pool, block);
    EXPECT_EQ(LargestFreeBlock(pool), 224);
}

TEST(MemoryPool, ReallocateGrowsInPlaceIntoFreeNeighbour) {
    PoolBuffer buffer(1024);
    MemoryContext pool = InitMemoryPool(buffer.data(), 1024);
    auto *block = static_cast<uint8_t *>(AllocateMemory(pool, 64));
    for (int i = 0; i < 64; ++i) block[i] = static_cast<uint8_t>(i);
    auto *grown = static_cast<uint8_t *>(ReallocateMemory(pool, block, 128));
    EXPECT_EQ(grown, block);
    EXPECT_EQ(reinterpret_cast<PoolBlockHeader *>(grown)[-1].payloadSize, 128);
    EXPECT_EQ(LargestFreeBlock(pool), 992 - 128 - 16);
}

TEST(MemoryPool, ReallocateMovesWhenNeighbourIsUsedAndKeepsContents) {
    PoolBuffer buffer(1024);
    MemoryContext pool = InitMemoryPool(buffer.data(), 1024);
    auto *block = static_cast<uint8_t *>(AllocateMemory(pool, 64));
    void *fence = AllocateMemory(pool, 64);
    for (int i = 0; i < 64; ++i) block[i] = static_cast<uint8_t>(i + 1);
    auto *moved = static_cast<uint8_t *>(ReallocateMemory(pool, block, 200));
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, block);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(moved[i], i + 1);
    // Too large to move anywhere: null, and the old block stays valid.
    EXPECT_EQ(ReallocateMemory(pool, moved, 4096), nullptr);
    EXPECT_EQ(moved[10], 11);
    FreeMemory(pool, moved);
    FreeMemory(pool, fence);
    EXPECT_EQ(LargestFreeBlock(pool), 992);
}

TEST(MemoryPool, ReallocateShrinksOnlyWhenTheRestIsWorthABlock) {
    PoolBuffer buffer(1024);
    MemoryContext pool = InitMemoryPool(buffer.data(), 1024);
    void *block = AllocateMemory(pool, 128);
    void *fence = AllocateMemory(pool, 8);
    EXPECT_EQ(ReallocateMemory(pool, block, 80), block);  // 128 - 80 - 16 = 32: kept whole
    EXPECT_EQ(reinterpret_cast<PoolBlockHeader *>(block)[-1].payloadSize, 128);
    EXPECT_EQ(ReallocateMemory(pool, block, 64), block);  // 48 left: split off
    EXPECT_EQ(reinterpret_cast<PoolBlockHeader *>(block)[-1].payloadSize, 64);
    FreeMemory(pool, fence);
    FreeMemory(pool, block);
    EXPECT_EQ(LargestFreeBlock(pool), 992);
}

TEST(MemoryHeap, NullContextUsesTheSystemHeap) {
    auto *block = static_cast<uint8_t *>(AllocateMemory(nullptr, 32));
    ASSERT_NE(block, nullptr);
    FillBytes(block, 7, 32);
    block = static_cast<uint8_t *>(ReallocateMemory(nullptr, block, 64));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[31], 7);
    FreeMemory(nullptr, block);
}

}  // namespace

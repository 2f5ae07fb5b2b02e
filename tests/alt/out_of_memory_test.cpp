// The planning stages of the two-call merge with each of their allocations failing in turn:
// RESULT_OUT_OF_MEMORY, earlier grids kept, the aligner back in its plain mode, and nothing
// left behind that releasing the session does not free.
#include <gtest/gtest.h>

#include <atomic>

#include <vector>

#include "alt/intermediate_prepare.h"
#include "alt/tile_weights.h"
#include "alt/weight_finalize.h"
#include "core/memory.h"
#include "intermediate_bracket_support.h"
#include "intermediate_merge_support.h"

// The engine's allocations pass through here (the linker wraps AllocateMemory for this program).
namespace {
std::atomic<int64_t> gAllocations{0};
std::atomic<int64_t> gFailingAllocation{-1};
}  // namespace

extern "C" void *__real__Z14AllocateMemoryP15PoolBlockHeaderm(PoolBlockHeader *memory, uint64_t size);
extern "C" void *__wrap__Z14AllocateMemoryP15PoolBlockHeaderm(PoolBlockHeader *memory, uint64_t size) {
    if (gAllocations++ == gFailingAllocation.load()) return nullptr;
    return __real__Z14AllocateMemoryP15PoolBlockHeaderm(memory, size);
}

namespace {

using alt_bracket::Bracket;
using alt_bracket::SessionHolder;

struct FailAt {
    explicit FailAt(int64_t n) {
        gAllocations = 0;
        gFailingAllocation = n;
    }
    ~FailAt() { gFailingAllocation = -1; }
};

bool HasAllGrids(const HdrSession *s) {
    for (int k = 0; k < 2; ++k)
        if (!s->offsetGridX[k] || !s->offsetGridY[k]) return false;
    for (int16_t *g : s->fusionWeightGrids)
        if (!g) return false;
    return true;
}

// A second preparation on a prepared session, failing at every allocation in turn.
TEST(AltOutOfMemory, PreparationAndLocalAlignment) {
    for (int64_t n = 0;; ++n) {
        SessionHolder h;
        HdrSession *s = h.session;
        Bracket b(s->gammaCompressTable, PIXEL_FORMAT_YUYV, 512, 384, 4, 2);
        ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
        int r;
        {
            FailAt fail(n);
            r = PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr);
        }
        EXPECT_EQ(s->alignStridedPyramid, 0) << n;
        EXPECT_TRUE(HasAllGrids(s)) << n;
        if (r == RESULT_OK) {
            EXPECT_GT(n, 3);
            break;
        }
        ASSERT_EQ(r, RESULT_OUT_OF_MEMORY) << n;
    }
}

TEST(AltOutOfMemory, FinalisationReportsIt) {
    for (int64_t n = 0;; ++n) {
        SessionHolder h;
        HdrSession *s = h.session;
        Bracket b(s->gammaCompressTable, PIXEL_FORMAT_NV12, 512, 512);
        ASSERT_EQ(PrepareIntermediateMerge(nullptr, s, b.inputs(), 3, nullptr, nullptr), RESULT_OK);
        ASSERT_EQ(ComputeTileWeightsTop(nullptr, s, b.inputs(), 3, s->globalShift), RESULT_OK);
        ASSERT_EQ(ComputeTileWeightsBottom(nullptr, s, b.inputs(), 3, s->globalShift), RESULT_OK);
        int r;
        {
            FailAt fail(n);
            r = FinalizeWeightMaps(nullptr, s, b.inputs(), 3, s->globalShift);
        }
        if (r == RESULT_OK) {
            EXPECT_GT(n, 0);
            break;
        }
        ASSERT_EQ(r, RESULT_OUT_OF_MEMORY) << n;
    }
}

// The whole merge into the intermediate in a pool, each allocation failing in turn: 4, and the
// pool whole again once the session is gone.
class AltOutOfMemoryFormats : public testing::TestWithParam<uint32_t> {};

TEST_P(AltOutOfMemoryFormats, MergeToIntermediateInAPool) {
    std::vector<uint8_t> buffer(48 << 20);
    for (int64_t n = 0;; ++n) {
        MemoryContext pool = InitMemoryPool(buffer.data(), buffer.size());
        const int64_t whole = LargestFreeBlock(pool);
        int r;
        {
            SessionHolder h(pool);
            ASSERT_NE(h.session, nullptr);
            Bracket b(h.session->gammaCompressTable, GetParam(), 512, 384, 4, 2);
            alt_merge::IntermediateOutputs out(b.inputs()[0], INTERMEDIATE_LAYOUT_PARITY_SPLIT);
            FailAt fail(n);
            r = MergeToIntermediate(pool, h.session, b.inputs(), 0, 3, out.descs,
                                    INTERMEDIATE_LAYOUT_PARITY_SPLIT, 0, 0, nullptr, nullptr);
            EXPECT_EQ(h.session->intermediateReady, r == RESULT_OK ? 1 : 0) << n;
        }
        EXPECT_EQ(LargestFreeBlock(pool), whole) << n;
        if (r == RESULT_OK) {
            EXPECT_GT(n, 20);
            break;
        }
        ASSERT_EQ(r, RESULT_OUT_OF_MEMORY) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, AltOutOfMemoryFormats,
                         testing::Values(PIXEL_FORMAT_YUYV, PIXEL_FORMAT_I420, 0x605,
                                         PIXEL_FORMAT_YUV422P, PIXEL_FORMAT_NV12,
                                         PIXEL_FORMAT_NV21, PIXEL_FORMAT_NV16));

}  // namespace

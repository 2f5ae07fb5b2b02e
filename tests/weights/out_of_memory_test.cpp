// Every planning stage, with each of its allocations failing in turn, reports
// RESULT_OUT_OF_MEMORY and leaves nothing behind that releasing the session does not free.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <vector>

#include "difference_map_frames.h"
#include "planning_session_support.h"
#include "weights/auxiliary_tools.h"
#include "weights/deghost.h"

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

using planning::PlanningSession;
using Stage = std::function<int(MemoryContext, HdrSession *)>;

struct StageCase {
    const char *name;
    Stage prepare;  // the stages before, run without failures
    Stage run;
};

int Stage2(MemoryContext m, HdrSession *s) { return BuildLowResWeightMaps(m, s, s->smallImages); }
int Stage3(MemoryContext m, HdrSession *s) { return BuildExposureWeightMaps(m, s, 0); }
int Stage4(MemoryContext m, HdrSession *s) { return FuseLowResPreview(m, s, s->smallImages); }
int Through(MemoryContext m, HdrSession *s, int last) {
    int r = RESULT_OK;
    if (last >= 2 && r == RESULT_OK) r = Stage2(m, s);
    if (last >= 3 && r == RESULT_OK) r = Stage3(m, s);
    if (last >= 4 && r == RESULT_OK) r = Stage4(m, s);
    return r;
}

// Square in the darkest exposure: the ghost stages take their full road.
planning::Thumbnail Scene() {
    return [](int e, int32_t x, int32_t y) {
        const uint8_t v = planning::Texture(x, y);
        return static_cast<uint8_t>(e == 0 && x >= 24 && x < 40 && y >= 16 && y < 32 ? v + 19 : v);
    };
}

// Runs the stage once in a fresh session; returns its result and the allocations it made.
int RunOnce(MemoryContext pool, const StageCase &c, int64_t failAt, int64_t *allocations) {
    PlanningSession ps(512, 384, Scene(), pool);
    EXPECT_TRUE(ps.ok());
    HdrSession *s = ps.session();
    s->ghostLevel = 6;
    EXPECT_EQ(c.prepare(pool, s), RESULT_OK);
    gAllocations = 0;
    gFailingAllocation = failAt;
    const int result = c.run(pool, s);
    gFailingAllocation = -1;
    *allocations = gAllocations;
    return result;
}

TEST(PlanningOutOfMemory, EveryAllocationFailureIsReportedAndNothingLeaks) {
    const StageCase cases[] = {
        {"low-resolution weight maps", [](MemoryContext, HdrSession *) { return RESULT_OK; }, Stage2},
        {"block weights and ghosts", [](MemoryContext m, HdrSession *s) { return Through(m, s, 2); }, Stage3},
        {"preview fusion", [](MemoryContext m, HdrSession *s) { return Through(m, s, 3); }, Stage4},
        {"deghosting", [](MemoryContext m, HdrSession *s) { return Through(m, s, 4); },
         [](MemoryContext m, HdrSession *s) { return DeghostLowRes(m, s); }},
        {"fallback",
         [](MemoryContext m, HdrSession *s) {
             const int r = Through(m, s, 4);
             s->pendingStatus = RESULT_EXCESSIVE_MOTION;
             return r;
         },
         [](MemoryContext m, HdrSession *s) { return DeghostLowRes(m, s); }},
    };
    std::vector<uint64_t> buffer((48u << 20) / 8);
    MemoryContext pool = InitMemoryPool(buffer.data(), buffer.size() * 8);
    ASSERT_NE(pool, nullptr);
    const int64_t empty = LargestFreeBlock(pool);
    for (const StageCase &c : cases) {
        int64_t total = 0;
        ASSERT_EQ(RunOnce(pool, c, -1, &total), RESULT_OK) << c.name;
        ASSERT_EQ(LargestFreeBlock(pool), empty) << c.name;
        ASSERT_GT(total, 0) << c.name;
        for (int64_t k = 0; k < total; ++k) {
            int64_t made = 0;
            ASSERT_EQ(RunOnce(pool, c, k, &made), RESULT_OUT_OF_MEMORY) << c.name << ", allocation " << k;
            ASSERT_EQ(LargestFreeBlock(pool), empty) << c.name << ", allocation " << k;
        }
    }
}

// The full-resolution difference maps allocate from the system heap: every failing allocation
// is reported and leaves the frames as they were.
TEST(PlanningOutOfMemory, FullResolutionDifferenceMapsChangeNothingWithoutMemory) {
    gAllocations = 0;
    {
        planning::DifferenceMapFrames f(96, 96, {100, 100, 100}, {300, 300, 300});
        ASSERT_EQ(ApplyDifferenceMapsFullRes(&f.session), RESULT_OK);
    }
    const int64_t total = gAllocations;
    ASSERT_GT(total, 0);
    for (int64_t k = 0; k < total; ++k) {
        planning::DifferenceMapFrames f(96, 96, {100, 100, 100}, {300, 300, 300});
        const auto before = f.frames;
        gAllocations = 0;
        gFailingAllocation = k;
        const int result = ApplyDifferenceMapsFullRes(&f.session);
        gFailingAllocation = -1;
        EXPECT_EQ(result, RESULT_OUT_OF_MEMORY) << "allocation " << k;
        EXPECT_EQ(f.frames, before) << "allocation " << k;
    }
}

}  // namespace

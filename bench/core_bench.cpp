// Engine core: the full-frame copy the merge makes at its end, and the cost of one
// four-thread stage (start and join, no work), against four tiny jobs handed to workers that
// live for the whole run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/image.h"
#include "core/threads.h"

namespace {

void BM_CopyImageYuyv12MP(benchmark::State &state) {
    ImageDesc *source = nullptr;
    ImageDesc *destination = nullptr;
    if (CreateImage(&source, 4000, 3000, PIXEL_FORMAT_YUYV, nullptr) != RESULT_OK ||
        CreateImage(&destination, 4000, 3000, PIXEL_FORMAT_YUYV, nullptr) != RESULT_OK) {
        state.SkipWithError("allocation failed");
        return;
    }
    const size_t bytes = static_cast<size_t>(source->pi32Pitch[0]) * 3000;
    std::memset(source->ppu8Plane[0], 0x5a, bytes);
    std::memset(destination->ppu8Plane[0], 0, bytes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(CopyImage(destination, source));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    DestroyImage(&source, nullptr);
    DestroyImage(&destination, nullptr);
}
BENCHMARK(BM_CopyImageYuyv12MP)->Unit(benchmark::kMillisecond);

// The same bytes through memcpy, as the floor the copy is measured against.
void BM_MemcpyYuyv12MP(benchmark::State &state) {
    const size_t bytes = static_cast<size_t>(8000) * 3000;
    std::vector<uint8_t> source(bytes, 0x5a);
    std::vector<uint8_t> destination(bytes, 0);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_MemcpyYuyv12MP)->Unit(benchmark::kMillisecond);

void *DoNothing(void *) { return nullptr; }

void BM_StartAndJoinFourThreads(benchmark::State &state) {
    for (auto _ : state) {
        ThreadHandle threads[4];
        for (ThreadHandle &thread : threads) thread = StartThread(DoNothing, nullptr);
        for (ThreadHandle thread : threads) {
            JoinThreadWithTimeout(thread, -1);
            CloseThreadHandle(thread);
        }
    }
}
BENCHMARK(BM_StartAndJoinFourThreads)->Unit(benchmark::kMicrosecond);

// Four jobs that do next to nothing: what is left is the cost of dispatching them.
int CountOne(void *record) {
    ++*static_cast<int64_t *>(record);
    return 0;
}

void BM_FourTinyJobsOnNewThreads(benchmark::State &state) {
    int64_t counts[4] = {};
    for (auto _ : state) benchmark::DoNotOptimize(RunParallelJobs(4, CountOne, counts, sizeof(int64_t)));
}
BENCHMARK(BM_FourTinyJobsOnNewThreads)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_FourTinyJobsOnPoolWorkers(benchmark::State &state) {
    WorkerPool *pool = CreateWorkerPool(nullptr);
    int64_t counts[4] = {};
    for (auto _ : state)
        benchmark::DoNotOptimize(RunPoolJobs(pool, 4, CountOne, counts, sizeof(int64_t)));
    DestroyWorkerPool(pool);
}
BENCHMARK(BM_FourTinyJobsOnPoolWorkers)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

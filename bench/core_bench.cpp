// Engine core: the full-frame copy the merge makes at its end, and the cost of one
// four-thread stage (start and join, no work).
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

}  // namespace

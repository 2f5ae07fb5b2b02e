// The run's worker pool: stage after stage through one pool gives what threads started for each
// stage give, each started worker serves its job slot in every stage, a worker that cannot
// start leaves its job to the caller, and destroying the pool joins every worker; a merge
// starts its workers once and joins them whether it succeeds, is cancelled or fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "bracket_support.h"
#include "core/hdr_engine.h"
#include "core/image_support.h"
#include "core/memory.h"
#include "core/session.h"
#include "core/threads.h"

namespace {

struct Job {
    int index;
    int stage;
    int result;
    int ran;
    uint32_t value;
    pthread_t thread;
};

// A little arithmetic per job, so that the jobs overlap in time.
int WorkJob(void *record) {
    auto *job = static_cast<Job *>(record);
    uint32_t v = uint32_t(job->index) * 2654435761u + uint32_t(job->stage);
    for (int k = 0; k < 500; ++k) v = v * 1664525u + 1013904223u;
    job->value = v;
    job->ran += 1;
    job->thread = pthread_self();
    return job->result;
}

std::vector<Job> MakeJobs(int count, int stage) {
    std::vector<Job> jobs(count);
    for (int i = 0; i < count; ++i) {
        // Some stages fail in a job or two, one is cancelled in a late job.
        int result = RESULT_OK;
        if (stage % 5 == 1 && i == count / 2) result = RESULT_OUT_OF_MEMORY;
        if (stage % 5 == 3 && i == count - 1) result = RESULT_CANCELLED;
        if (stage % 5 == 3 && i == 0) result = RESULT_INVALID_ARGUMENT;
        jobs[i] = {i, stage, result, 0, 0, {}};
    }
    return jobs;
}

// Starters that refuse some workers: the pool asks for its workers in job order.
std::atomic<int> startCalls{0};
ThreadHandle StartEveryOther(ThreadRoutine routine, void *argument) {
    return startCalls.fetch_add(1) % 2 == 1 ? nullptr : StartThread(routine, argument);
}
ThreadHandle StartNone(ThreadRoutine, void *) { return nullptr; }

TEST(WorkerPool, StagesThroughOnePoolMatchThreadsStartedPerStage) {
    struct Case {
        const char *name;
        ThreadStarter starter;
    };
    for (const Case &c : {Case{"all workers", nullptr}, Case{"every other worker", StartEveryOther},
                          Case{"no worker", StartNone}}) {
        SCOPED_TRACE(c.name);
        startCalls = 0;
        WorkerPool *pool = CreateWorkerPool(c.starter);
        ASSERT_NE(pool, nullptr);
        std::vector<pthread_t> workerOf(64);
        std::vector<bool> seen(64, false);
        const int counts[] = {4, 1, 4, 7, 64, 4, 3, 4};
        for (int stage = 0; stage < 16; ++stage) {
            const int count = counts[stage % 8];
            std::vector<Job> pooled = MakeJobs(count, stage);
            std::vector<Job> plain = MakeJobs(count, stage);
            EXPECT_EQ(RunPoolJobs(pool, count, WorkJob, pooled.data(), sizeof(Job)),
                      RunParallelJobs(count, WorkJob, plain.data(), sizeof(Job)))
                << "stage " << stage;
            for (int i = 0; i < count; ++i) {
                EXPECT_EQ(pooled[i].ran, 1);
                EXPECT_EQ(pooled[i].value, plain[i].value);
                // A started worker keeps its slot for the whole run; a refused one's job runs
                // on the caller.
                const bool onCaller = pthread_equal(pooled[i].thread, pthread_self());
                if (c.starter == StartNone) { EXPECT_TRUE(onCaller); }
                if (onCaller) continue;
                if (seen[i]) { EXPECT_TRUE(pthread_equal(pooled[i].thread, workerOf[i])) << i; }
                workerOf[i] = pooled[i].thread;
                seen[i] = true;
            }
        }
        if (c.starter == StartEveryOther) {
            EXPECT_NE(std::count(seen.begin(), seen.end(), true), 0);
        }
        DestroyWorkerPool(pool);
    }
}

TEST(WorkerPool, RefusesWhatRunParallelJobsRefuses) {
    WorkerPool *pool = CreateWorkerPool(nullptr);
    std::vector<Job> jobs = MakeJobs(65, 0);
    EXPECT_EQ(RunPoolJobs(pool, 65, WorkJob, jobs.data(), sizeof(Job)), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(RunPoolJobs(pool, 4, nullptr, jobs.data(), sizeof(Job)), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(RunPoolJobs(pool, 0, WorkJob, jobs.data(), sizeof(Job)), RESULT_OK);
    for (const Job &job : jobs) EXPECT_EQ(job.ran, 0);
    DestroyWorkerPool(pool);
    DestroyWorkerPool(nullptr);
}

// A starter that counts the workers still running: a worker leaves its routine only when told
// to stop, and that must have happened once the pool is destroyed.
std::atomic<int> started{0};
std::atomic<int> running{0};

struct Counted {
    ThreadRoutine routine;
    void *argument;
};
Counted countedSlots[64];

void *RunCounted(void *argument) {
    auto *c = static_cast<Counted *>(argument);
    void *out = c->routine(c->argument);
    running.fetch_sub(1);
    return out;
}

ThreadHandle StartCounted(ThreadRoutine routine, void *argument) {
    const int k = started.fetch_add(1);
    countedSlots[k] = {routine, argument};
    running.fetch_add(1);
    ThreadHandle thread = StartThread(RunCounted, &countedSlots[k]);
    if (!thread) running.fetch_sub(1);
    return thread;
}

TEST(WorkerPool, DestroyJoinsEveryWorkerThatStarted) {
    started = 0;
    running = 0;
    WorkerPool *pool = CreateWorkerPool(StartCounted);
    EXPECT_EQ(started.load(), 0);  // workers start at their first job
    for (int stage = 0; stage < 10; ++stage) {
        std::vector<Job> jobs = MakeJobs(stage == 5 ? 9 : 4, stage);
        RunPoolJobs(pool, int(jobs.size()), WorkJob, jobs.data(), sizeof(Job));
    }
    EXPECT_EQ(started.load(), 9);
    EXPECT_EQ(running.load(), 9);
    DestroyWorkerPool(pool);
    EXPECT_EQ(running.load(), 0);
}

using bracket_support::Bracket;
using bracket_support::MakeBracket;
using bracket_support::TexturedScene;

// How a run ends: merged, cancelled at the first band report, or out of memory because the
// caller's pool is drained at the last report before the band pass.
enum class Ending { kMerged, kCancelled, kOutOfMemory };

struct RunWatch {
    Ending ending;
    MemoryContext memory;
    std::vector<void *> ballast;
    int startedBeforeBands = -1;
};

int64_t Watch(int64_t percent, int64_t, void *user) {
    auto *w = static_cast<RunWatch *>(user);
    if (percent == 20) w->startedBeforeBands = started.load();
    if (percent == 20 && w->ending == Ending::kOutOfMemory) {
        while (void *block = AllocateMemory(w->memory, uint64_t(LargestFreeBlock(w->memory))))
            w->ballast.push_back(block);
    }
    return percent > 25 && w->ending == Ending::kCancelled ? PROGRESS_CANCEL : 0;
}

TEST(RunHdrMergeWorkers, StartOnceAndAreJoinedHoweverTheRunEnds) {
    const int w = 384, h = 256;
    const Bracket base = MakeBracket(TexturedScene(w, h), w, h);
    std::vector<uint8_t> inOrder;
    struct Case {
        const char *name;
        Ending ending;
        ThreadStarter starter;
        JobRunner runner;
        int result;
    };
    for (const Case &c :
         {Case{"merged", Ending::kMerged, StartCounted, {}, RESULT_OK},
          Case{"threads per stage", Ending::kMerged, StartNone, RunParallelJobs, RESULT_OK},
          Case{"no thread starts", Ending::kMerged, StartNone, {}, RESULT_OK},
          Case{"cancelled", Ending::kCancelled, StartCounted, {}, RESULT_CANCELLED},
          Case{"out of memory", Ending::kOutOfMemory, StartCounted, {}, RESULT_OUT_OF_MEMORY}}) {
        SCOPED_TRACE(c.name);
        image_support::PoolBuffer buffer(64 << 20);
        RunWatch watch{c.ending, buffer.Init(), {}};
        HdrSession *s = nullptr;
        ASSERT_EQ(CreateHdrSession(watch.memory, 0, &s), RESULT_OK);
        SetGhostSuppressionLevel(0, s, 6);
        s->threadStarter = c.starter;
        s->jobRunner = c.runner;
        started = 0;
        running = 0;
        Bracket b = base;
        b.Describe();
        EXPECT_EQ(RunHdrMerge(watch.memory, s, b.descriptors.data(), 3, b.descriptors.data(), 2,
                              nullptr, 0, Watch, &watch),
                  c.result);
        EXPECT_EQ(running.load(), 0);
        EXPECT_EQ(s->workerPool, nullptr);
        // Every threaded stage runs four jobs: four workers serve them all, from the planning
        // stages on.
        if (c.starter == StartCounted) {
            EXPECT_EQ(watch.startedBeforeBands, 4);
            EXPECT_EQ(started.load(), 4);
        }
        if (c.result == RESULT_OK) {
            if (inOrder.empty()) inOrder = b.images[2].bytes;
            EXPECT_EQ(b.images[2].bytes, inOrder);
        }
        for (void *block : watch.ballast) FreeMemory(watch.memory, block);
        DestroyHdrSession(watch.memory, s);
    }
}

}  // namespace

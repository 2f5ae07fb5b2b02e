#include <gtest/gtest.h>

#include <atomic>

#include "core/hdr_engine.h"
#include "core/threads.h"

namespace {

TEST(AutoResetEvent, SignalBeforeWaitIsRememberedAndConsumed) {
    AutoResetEvent *event = CreateAutoResetEvent(0, 0);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(SignalAutoResetEvent(event), EVENT_OK);
    EXPECT_EQ(WaitAutoResetEvent(event, -1), EVENT_OK);
    EXPECT_EQ(event->signalled, 0u);
    EXPECT_EQ(DestroyAutoResetEvent(0, event), EVENT_OK);
}

TEST(AutoResetEvent, ZeroTimeoutOnClearEventReturnsAtOnce) {
    AutoResetEvent *event = CreateAutoResetEvent(0, 0);
    EXPECT_EQ(WaitAutoResetEvent(event, 0), EVENT_OK);
    EXPECT_EQ(event->signalled, 0u);
    DestroyAutoResetEvent(0, event);
}

TEST(AutoResetEvent, NullEventIsInvalid) {
    EXPECT_EQ(WaitAutoResetEvent(nullptr, -1), EVENT_INVALID);
    EXPECT_EQ(SignalAutoResetEvent(nullptr), EVENT_INVALID);
    EXPECT_EQ(DestroyAutoResetEvent(0, nullptr), EVENT_INVALID);
}

struct Waker {
    AutoResetEvent *event;
    std::atomic<int> stage{0};
};

void *SetFlagThenSignal(void *argument) {
    auto *waker = static_cast<Waker *>(argument);
    waker->stage.store(1);
    SignalAutoResetEvent(waker->event);
    return nullptr;
}

// Two signals before two waits count as one: the second wait blocks until a third signal,
// which the helper thread sends only after setting its flag.
TEST(AutoResetEvent, TwoSignalsCountAsOne) {
    Waker waker;
    waker.event = CreateAutoResetEvent(0, 0);
    SignalAutoResetEvent(waker.event);
    SignalAutoResetEvent(waker.event);
    EXPECT_EQ(WaitAutoResetEvent(waker.event, -1), EVENT_OK);
    ThreadHandle thread = StartThread(SetFlagThenSignal, &waker);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitAutoResetEvent(waker.event, -1), EVENT_OK);
    EXPECT_EQ(waker.stage.load(), 1);
    EXPECT_EQ(JoinThreadWithTimeout(thread, -1), 0);
    EXPECT_EQ(CloseThreadHandle(thread), 0);
    DestroyAutoResetEvent(0, waker.event);
}

TEST(Threads, NullRoutineAndNullHandle) {
    EXPECT_EQ(StartThread(nullptr, nullptr), nullptr);
    EXPECT_EQ(JoinThreadWithTimeout(nullptr, -1), 0);
    EXPECT_EQ(JoinThread(nullptr), 0);
}

struct Job {
    int index;
    int result;
    int ran;
};

int RunJob(void *record) {
    auto *job = static_cast<Job *>(record);
    job->ran += 1;
    return job->result;
}

TEST(Threads, ParallelJobsRunOnceEachAndReportTheFirstFailure) {
    struct Case {
        int results[4];
        int expected;
    } cases[] = {
        {{0, 0, 0, 0}, RESULT_OK},
        {{0, 4, 3, 0}, RESULT_OUT_OF_MEMORY},
        {{0, 4, 0, 6}, RESULT_CANCELLED},
    };
    for (const Case &c : cases) {
        Job jobs[4];
        for (int i = 0; i < 4; ++i) jobs[i] = {i, c.results[i], 0};
        EXPECT_EQ(RunParallelJobs(4, RunJob, jobs, sizeof(Job)), c.expected);
        for (const Job &job : jobs) EXPECT_EQ(job.ran, 1);
    }
}

}  // namespace

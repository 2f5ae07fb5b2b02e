#include "threads.h"

#include <cstdlib>

#include "hdr_engine.h"

struct EngineThread {
    pthread_t id;
};

AutoResetEvent *CreateAutoResetEvent(int64_t, int64_t) {
    auto *event = static_cast<AutoResetEvent *>(std::malloc(sizeof(AutoResetEvent)));
    if (!event) return nullptr;
    if (pthread_mutex_init(&event->mutex, nullptr) != 0) {
        std::free(event);
        return nullptr;
    }
    if (pthread_cond_init(&event->condition, nullptr) != 0) {
        pthread_mutex_destroy(&event->mutex);
        std::free(event);
        return nullptr;
    }
    event->signalled = 0;
    return event;
}

int DestroyAutoResetEvent(int64_t, AutoResetEvent *event) {
    if (!event) return EVENT_INVALID;
    pthread_mutex_destroy(&event->mutex);
    pthread_cond_destroy(&event->condition);
    std::free(event);
    return EVENT_OK;
}

int WaitAutoResetEvent(AutoResetEvent *event, int32_t timeout) {
    if (!event) return EVENT_INVALID;
    if (pthread_mutex_lock(&event->mutex) != 0) return EVENT_FAILED;
    bool failed = false;
    if (timeout == -1) {
        while (!event->signalled && !failed)
            failed = pthread_cond_wait(&event->condition, &event->mutex) != 0;
    }
    event->signalled = 0;
    if (pthread_mutex_unlock(&event->mutex) != 0) failed = true;
    return failed ? EVENT_FAILED : EVENT_OK;
}

int SignalAutoResetEvent(AutoResetEvent *event) {
    if (!event) return EVENT_INVALID;
    if (pthread_mutex_lock(&event->mutex) != 0) return EVENT_FAILED;
    event->signalled = 1;
    const bool failed = pthread_cond_signal(&event->condition) != 0;
    pthread_mutex_unlock(&event->mutex);
    return failed ? EVENT_FAILED : EVENT_OK;
}

ThreadHandle StartThread(ThreadRoutine routine, void *argument) {
    if (!routine) return nullptr;
    auto *thread = static_cast<EngineThread *>(std::malloc(sizeof(EngineThread)));
    if (!thread) return nullptr;
    if (pthread_create(&thread->id, nullptr, routine, argument) != 0) {
        std::free(thread);
        return nullptr;
    }
    return thread;
}

int JoinThread(ThreadHandle thread) {
    if (thread) {
        pthread_join(thread->id, nullptr);
        std::free(thread);
    }
    return 0;
}

int JoinThreadWithTimeout(ThreadHandle thread, int32_t) { return JoinThread(thread); }

int CloseThreadHandle(ThreadHandle) { return 0; }

namespace {

struct JobSlot {
    int (*job)(void *);
    void *record;
    int result;
};

void *RunJobSlot(void *argument) {
    auto *slot = static_cast<JobSlot *>(argument);
    slot->result = slot->job(slot->record);
    return nullptr;
}

}  // namespace

int RunParallelJobs(int count, int (*job)(void *), void *records, size_t recordBytes) {
    constexpr int kMaxJobs = 64;
    if (count <= 0) return RESULT_OK;
    if (count > kMaxJobs || !job) return RESULT_INVALID_ARGUMENT;
    JobSlot slots[kMaxJobs];
    ThreadHandle threads[kMaxJobs];
    for (int i = 0; i < count; ++i) {
        slots[i] = {job, static_cast<char *>(records) + i * recordBytes, RESULT_OK};
        threads[i] = StartThread(RunJobSlot, &slots[i]);
    }
    for (int i = 0; i < count; ++i) {
        if (threads[i]) {
            JoinThreadWithTimeout(threads[i], -1);
            CloseThreadHandle(threads[i]);
        } else {
            RunJobSlot(&slots[i]);
        }
    }
    int results[kMaxJobs];
    for (int i = 0; i < count; ++i) results[i] = slots[i].result;
    return CombineJobResults(results, count);
}

int CombineJobResults(const int *results, int count) {
    int result = RESULT_OK;
    for (int i = 0; i < count; ++i) {
        if (results[i] == RESULT_CANCELLED) return RESULT_CANCELLED;
        if (result == RESULT_OK) result = results[i];
    }
    return result;
}

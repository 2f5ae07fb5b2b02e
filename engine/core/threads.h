// Events and threads: the engine's whole threading service.
#pragma once

#include <cstdint>
#include <pthread.h>

enum { EVENT_OK = 0, EVENT_FAILED = -1, EVENT_INVALID = -2 };

// A mutex, a condition variable and a signalled flag. Signal sets the flag and wakes one
// waiter; a wait consumes the flag. A signal before the wait is remembered, two count as one.
struct AutoResetEvent {
    pthread_mutex_t mutex;
    pthread_cond_t condition;
    uint64_t signalled;
};

// Events live on the system heap, never in a memory pool.
AutoResetEvent *CreateAutoResetEvent(int64_t ignored0, int64_t ignored1);
int DestroyAutoResetEvent(int64_t ignored, AutoResetEvent *event);
// With timeout -1 the wait blocks until the event is signalled. Any other timeout does not
// wait: it clears the flag and returns 0 whether or not the event was signalled. Every
// caller in the engine waits with -1.
int WaitAutoResetEvent(AutoResetEvent *event, int32_t timeout);
int SignalAutoResetEvent(AutoResetEvent *event);

// A thread handle: null when the thread was not started.
struct EngineThread;
using ThreadHandle = EngineThread *;
using ThreadRoutine = void *(*)(void *);

ThreadHandle StartThread(ThreadRoutine routine, void *argument);
// How a stage starts its second thread: StartThread, or a stand-in (a test's that never
// starts one).
using ThreadStarter = ThreadHandle (*)(ThreadRoutine routine, void *argument);
// Both joins wait for the thread to end; the timeout is not used. Null handles do nothing.
int JoinThread(ThreadHandle thread);
int JoinThreadWithTimeout(ThreadHandle thread, int32_t timeout);
int CloseThreadHandle(ThreadHandle thread);

// Runs count jobs on count threads started in order and joined in order. A job whose thread
// fails to start runs on the calling thread, so no job is ever skipped or waited for in vain.
// Returns the first non-zero job result, RESULT_CANCELLED winning over the others.
int RunParallelJobs(int count, int (*job)(void *record), void *records, size_t recordBytes);

// Events and threads: the engine's whole threading service.
#pragma once

#include <cstddef>
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
// The first non-zero of count job results, RESULT_CANCELLED winning over the others.
int CombineJobResults(const int *results, int count);

// Worker threads that live for one run, so that its threaded stages do not each start and
// join threads of their own. A worker starts at its first job and stays until the pool is
// destroyed. The pool serves one caller: its stages run one after another.
struct WorkerPool;
// Workers start through start (null: StartThread). Null when the pool cannot be allocated.
WorkerPool *CreateWorkerPool(ThreadStarter start);
// Stops and joins every worker that started, then frees the pool. Null does nothing.
void DestroyWorkerPool(WorkerPool *pool);
// RunParallelJobs on the pool's workers: job i runs on worker i, the results are collected in
// job order, and a job whose worker cannot start runs on the calling thread. A null pool runs
// the jobs through RunParallelJobs.
int RunPoolJobs(WorkerPool *pool, int count, int (*job)(void *record), void *records,
                size_t recordBytes);

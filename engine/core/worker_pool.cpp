// Worker threads kept alive across the stages of one run. A stage hands each worker one job and
// waits for them in order, exactly as RunParallelJobs does with threads of its own, so the jobs,
// their split and their results are the same; only the start and join of the threads is paid
// once per run instead of once per stage.
#include <cstdlib>

#include "hdr_engine.h"
#include "threads.h"

namespace {

constexpr int kMaxPoolJobs = 64;  // as many as RunParallelJobs takes

// One worker and its mailbox. The caller posts a job and later collects its result; the
// worker is busy from the post to the collect, so a result is never overwritten unread.
struct PoolWorker {
    pthread_mutex_t mutex;
    pthread_cond_t changed;  // a job posted, a job finished, or the worker told to stop
    ThreadHandle thread;     // null until the worker has started
    int (*job)(void *);      // the posted job; null once it has run
    void *record;
    int result;
    bool busy;
    bool stop;
};

void *ServeJobs(void *argument) {
    auto *w = static_cast<PoolWorker *>(argument);
    pthread_mutex_lock(&w->mutex);
    for (;;) {
        while (!w->job && !w->stop) pthread_cond_wait(&w->changed, &w->mutex);
        if (!w->job) break;
        int (*job)(void *) = w->job;
        void *record = w->record;
        pthread_mutex_unlock(&w->mutex);
        const int result = job(record);
        pthread_mutex_lock(&w->mutex);
        w->result = result;
        w->job = nullptr;
        pthread_cond_signal(&w->changed);
    }
    pthread_mutex_unlock(&w->mutex);
    return nullptr;
}

}  // namespace

struct WorkerPool {
    ThreadStarter start;
    PoolWorker workers[kMaxPoolJobs];
};

namespace {

// Starts the worker at its first job. False when its lock or its thread cannot be made; the
// next stage tries again, as RunParallelJobs tries a new thread for every stage.
bool EnsureStarted(WorkerPool *pool, PoolWorker *w) {
    if (w->thread) return true;
    if (pthread_mutex_init(&w->mutex, nullptr) != 0) return false;
    if (pthread_cond_init(&w->changed, nullptr) != 0) {
        pthread_mutex_destroy(&w->mutex);
        return false;
    }
    w->job = nullptr;
    w->busy = false;
    w->stop = false;
    w->thread = pool->start(ServeJobs, w);
    if (w->thread) return true;
    pthread_cond_destroy(&w->changed);
    pthread_mutex_destroy(&w->mutex);
    return false;
}

// Hands the job to the worker; false when the worker cannot take it (it could not start, or a
// job of an enclosing stage still holds it), and the caller then runs the job itself.
bool PostJob(WorkerPool *pool, PoolWorker *w, int (*job)(void *), void *record) {
    if (!EnsureStarted(pool, w)) return false;
    pthread_mutex_lock(&w->mutex);
    const bool free = !w->busy;
    if (free) {
        w->busy = true;
        w->job = job;
        w->record = record;
        w->result = RESULT_OK;
        pthread_cond_signal(&w->changed);
    }
    pthread_mutex_unlock(&w->mutex);
    return free;
}

int CollectJob(PoolWorker *w) {
    pthread_mutex_lock(&w->mutex);
    while (w->job) pthread_cond_wait(&w->changed, &w->mutex);
    const int result = w->result;
    w->busy = false;
    pthread_mutex_unlock(&w->mutex);
    return result;
}

}  // namespace

WorkerPool *CreateWorkerPool(ThreadStarter start) {
    auto *pool = static_cast<WorkerPool *>(std::calloc(1, sizeof(WorkerPool)));
    if (pool) pool->start = start ? start : StartThread;
    return pool;
}

void DestroyWorkerPool(WorkerPool *pool) {
    if (!pool) return;
    // Every worker is told first, so they wind down together, then each is joined.
    for (PoolWorker &w : pool->workers) {
        if (!w.thread) continue;
        pthread_mutex_lock(&w.mutex);
        w.stop = true;
        pthread_cond_signal(&w.changed);
        pthread_mutex_unlock(&w.mutex);
    }
    for (PoolWorker &w : pool->workers) {
        if (!w.thread) continue;
        JoinThread(w.thread);
        pthread_cond_destroy(&w.changed);
        pthread_mutex_destroy(&w.mutex);
    }
    std::free(pool);
}

int RunPoolJobs(WorkerPool *pool, int count, int (*job)(void *), void *records,
                size_t recordBytes) {
    if (!pool) return RunParallelJobs(count, job, records, recordBytes);
    if (count <= 0) return RESULT_OK;
    if (count > kMaxPoolJobs || !job) return RESULT_INVALID_ARGUMENT;
    bool posted[kMaxPoolJobs];
    int results[kMaxPoolJobs];
    for (int i = 0; i < count; ++i)
        posted[i] = PostJob(pool, &pool->workers[i], job, static_cast<char *>(records) + i * recordBytes);
    // In job order, as RunParallelJobs joins its threads: a job no worker took runs here once
    // the workers before it have finished.
    for (int i = 0; i < count; ++i)
        results[i] = posted[i] ? CollectJob(&pool->workers[i])
                               : job(static_cast<char *>(records) + i * recordBytes);
    return CombineJobResults(results, count);
}

// How a threaded stage runs its jobs. The filters pass RunParallelJobs (four threads, a job
// whose thread fails to start run on the caller's thread); keeping the runner apart from the
// algorithm lets the same jobs run one after another on one thread, which must give the
// same picture bit for bit.
#pragma once

#include <cstddef>
#include <type_traits>

#include "core/threads.h"

using JobRunFunction = int (*)(int count, int (*job)(void *record), void *records,
                               size_t recordBytes);

// A runner function, or the worker pool of a run. Any runner function converts to one, so a
// filter is called with RunParallelJobs or a test's runner as before; a run passes its pool,
// whose workers outlive each stage. An empty runner tests false.
struct JobRunner {
    JobRunFunction function = nullptr;
    WorkerPool *pool = nullptr;

    JobRunner() = default;
    template <typename F>
        requires std::is_convertible_v<F, JobRunFunction>
    JobRunner(F f) : function(f) {}
    explicit JobRunner(WorkerPool *workers) : pool(workers) {}

    explicit operator bool() const { return function || pool; }
    int operator()(int count, int (*job)(void *record), void *records, size_t recordBytes) const {
        if (pool) return RunPoolJobs(pool, count, job, records, recordBytes);
        return function(count, job, records, recordBytes);
    }
};

// How a threaded filter runs its jobs. The filters pass RunParallelJobs (four threads, a job
// whose thread fails to start run on the caller's thread); keeping the runner apart from the
// algorithm lets the same jobs run one after another on one thread, which must give the
// same picture bit for bit.
#pragma once

#include <cstddef>

using JobRunner = int (*)(int count, int (*job)(void *record), void *records, size_t recordBytes);

#include "decimate_job.h"

#include "decimate.h"

int DecimateJobWorker(void *record) {
    const auto *job = static_cast<const DecimateJob *>(record);
    if (!job) return RESULT_INVALID_ARGUMENT;
    return DecimateToYuv444(nullptr, job->source, job->destination, nullptr, 8, 0);
}

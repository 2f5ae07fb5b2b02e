// A whole-image 1/8 reduction packaged as a job routine, for a caller that wants a thumbnail
// made on a worker thread (RunParallelJobs, RunPoolJobs). The merge itself makes its
// thumbnails on the calling thread and does not use it.
#pragma once

#include "core/engine_types.h"

struct DecimateJob {
    const ImageDesc *source;
    ImageDesc *destination;  // a PIXEL_FORMAT_YUV444P image of at least the reduced size
};

// DecimateToYuv444 of the record's whole source into its destination at factor 8, without
// allocation and on the system heap; returns its result (RESULT_INVALID_ARGUMENT for a null
// record).
int DecimateJobWorker(void *record);

// Striped guided filter: an edge-preserving smoothing of a signed 32-bit map that follows an
// 8-bit guide, with integer coefficients and a regularisation of 5. Each of its two phases
// runs on four threads that take 32 row stripes one at a time from a counter guarded by an
// AutoResetEvent used as a lock.
#pragma once

#include <cstdint>

#include "core/hdr_engine.h"
#include "core/job_runner.h"
#include "core/row_image.h"
#include "core/threads.h"
#include "filters/integral_row_cache.h"

enum { STRIPE_COUNT = 32 };

// Shared by the four workers of a phase. nextStripe is read and advanced only while holding
// lockEvent (signalled means free).
struct StripeQueue {
    AutoResetEvent *lockEvent;
    int32_t nextStripe;
    int32_t stripeCount;
};

// One per worker, reused by both phases.
struct StripeWorkerArgs {
    int32_t workerNumber;  // 1..4
    int32_t resumeRow;     // the worker walks its integral rows forward from here
    IntegralRowCache *sumI, *sumII, *sumIp, *sumP;  // phase 1
    const RowImage *guide;
    const RowImage *input;
    RowImage *output;
    RowImage *coeffA;
    RowImage *coeffB;
    int32_t radius;
    StripeQueue *queue;
    IntegralRowCache *sumA, *sumB;  // phase 2
};

// Windows are clipped at the image borders and divided by the samples they hold. The guide is
// 8 bits, the input and output 32 bits, one channel each, all of the guide's size; with input
// samples within -32767..32767 no 32-bit step overflows. The output may be the input.
// Any radius >= 0 works (the cache keeps max(3r, 2r + 2) rows, at most height + 1).
// Results: RESULT_OK; RESULT_INVALID_ARGUMENT for null or mismatched images or a negative
// radius; RESULT_OUT_OF_MEMORY when an image, cache or the lock cannot be made (or the lock
// fails), with the output then not fully written.
int32_t GuidedFilterStriped(MemoryContext memory, const RowImage *guide, const RowImage *input,
                            RowImage *output, int32_t radius);
// The same with the four workers of each phase run by the given runner.
int32_t GuidedFilterStripedWithRunner(MemoryContext memory, const RowImage *guide,
                                      const RowImage *input, RowImage *output, int32_t radius,
                                      JobRunner runner);

// Worker routines: take stripes until none is left. 0, or RESULT_OUT_OF_MEMORY when the lock
// could not be taken or freed.
int32_t GuidedFilterPass1Worker(StripeWorkerArgs *args);
int32_t GuidedFilterPass2Worker(StripeWorkerArgs *args);

// Rows [first, end) of stripe s of an image of the given height.
void StripeRows(int32_t height, int32_t stripe, int32_t *first, int32_t *end);

#include "guided_striped.h"

#include <algorithm>
#include <cstddef>

#include "core/memory.h"

namespace {

constexpr int32_t kWorkers = 4;
constexpr int32_t kRegularisation = 5;

// The per-sample arithmetic is 32-bit and wraps like the machine's: each step is formed in
// 64 bits and brought back to its low 32 bits.
inline int32_t Low32(int64_t v) { return static_cast<int32_t>(v); }

int32_t *Row32(RowImage *image, int32_t y) { return reinterpret_cast<int32_t *>(image->rows[y]); }

// The rows a window around row k covers, clipped to the image: [y0, y1).
struct RowSpan {
    int32_t y0, y1;
};

RowSpan WindowRows(int32_t k, int32_t radius, int32_t height) {
    return {std::max(0, k - radius), std::min(k + radius + 1, height)};
}

// Brings a cache to hold exactly the integral rows y0..y1 of the window around row k:
// frees the rows below and appends the missing ones above.
template <typename Append>
void SlideCache(IntegralRowCache *cache, int32_t k, int32_t radius, RowSpan rows, Append append) {
    if (k - radius > 0) ReleaseIntegralRowsBelow(cache, rows.y0);
    for (int32_t l = rows.y0; l < rows.y1; ++l) append(cache, l);
}

// Mean of a quantity over the clipped window [x0, x1) x [y0, y1): a 64-bit sum divided with
// truncation toward zero, taken as its low 32 bits.
inline int32_t WindowMean(const IntegralRowCache *cache, RowSpan rows, int32_t x0, int32_t x1,
                          int64_t count) {
    const int64_t *top = cache->rowTable[rows.y0];
    const int64_t *bottom = cache->rowTable[rows.y1];
    const int64_t sum = bottom[x1] - bottom[x0] - top[x1] + top[x0];
    return Low32(sum / count);
}

void Pass1RowStep(StripeWorkerArgs *a, int32_t k, RowSpan rows) {
    const RowImage *guide = a->guide;
    const RowImage *input = a->input;
    SlideCache(a->sumI, k, a->radius, rows, [guide](IntegralRowCache *c, int32_t l) {
        AppendIntegralRow8(c, guide, l, INTEGRAL_SUM);
    });
    SlideCache(a->sumII, k, a->radius, rows, [guide](IntegralRowCache *c, int32_t l) {
        AppendIntegralRow8(c, guide, l, INTEGRAL_SQUARES);
    });
    SlideCache(a->sumP, k, a->radius, rows,
               [input](IntegralRowCache *c, int32_t l) { AppendIntegralRow32(c, input, l); });
    SlideCache(a->sumIp, k, a->radius, rows, [guide, input](IntegralRowCache *c, int32_t l) {
        AppendIntegralRowProduct(c, guide, input, l);
    });
}

// Coefficients of row k: a = 256 cov / (var + 5), b = 256 mean(p) - a mean(I).
void Pass1Row(StripeWorkerArgs *a, int32_t k, RowSpan rows) {
    const int32_t width = a->guide->width;
    int32_t *rowA = Row32(a->coeffA, k);
    int32_t *rowB = Row32(a->coeffB, k);
    for (int32_t x = 0; x < width; ++x) {
        const int32_t x0 = std::max(0, x - a->radius);
        const int32_t x1 = std::min(x + a->radius + 1, width);
        const int64_t count = static_cast<int64_t>(x1 - x0) * (rows.y1 - rows.y0);
        const int32_t mI = WindowMean(a->sumI, rows, x0, x1, count);
        const int32_t mII = WindowMean(a->sumII, rows, x0, x1, count);
        const int32_t mIp = WindowMean(a->sumIp, rows, x0, x1, count);
        const int32_t mp = WindowMean(a->sumP, rows, x0, x1, count);
        const int32_t var = Low32(static_cast<int64_t>(mII) - Low32(int64_t{mI} * mI));
        const int32_t cov = Low32(static_cast<int64_t>(mIp) - Low32(int64_t{mI} * mp));
        // var is never negative (the mean of squares is at least the squared mean, also after
        // truncation), so the divisor is at least 5.
        const int32_t coefA = Low32(int64_t{cov} * 256) / Low32(int64_t{var} + kRegularisation);
        rowA[x] = coefA;
        rowB[x] = Low32(static_cast<int64_t>(Low32(int64_t{mp} * 256)) - Low32(int64_t{coefA} * mI));
    }
}

void Pass2RowStep(StripeWorkerArgs *a, int32_t k, RowSpan rows) {
    const RowImage *coeffA = a->coeffA;
    const RowImage *coeffB = a->coeffB;
    SlideCache(a->sumA, k, a->radius, rows,
               [coeffA](IntegralRowCache *c, int32_t l) { AppendIntegralRow32(c, coeffA, l); });
    SlideCache(a->sumB, k, a->radius, rows,
               [coeffB](IntegralRowCache *c, int32_t l) { AppendIntegralRow32(c, coeffB, l); });
}

// Output of row k: (I mean(a) + mean(b)) >> 8, a floor; no clamp.
void Pass2Row(StripeWorkerArgs *a, int32_t k, RowSpan rows) {
    const int32_t width = a->guide->width;
    const uint8_t *guide = a->guide->rows[k];
    int32_t *out = Row32(a->output, k);
    for (int32_t x = 0; x < width; ++x) {
        const int32_t x0 = std::max(0, x - a->radius);
        const int32_t x1 = std::min(x + a->radius + 1, width);
        const int64_t count = static_cast<int64_t>(x1 - x0) * (rows.y1 - rows.y0);
        const int32_t ma = WindowMean(a->sumA, rows, x0, x1, count);
        const int32_t mb = WindowMean(a->sumB, rows, x0, x1, count);
        out[x] = Low32(static_cast<int64_t>(Low32(int64_t{guide[x]} * ma)) + mb) >> 8;
    }
}

// Takes the next stripe under the lock; false when none is left. *failed reports a lock
// that could not be taken or freed.
bool TakeStripe(StripeQueue *queue, int32_t *stripe, bool *failed) {
    if (WaitAutoResetEvent(queue->lockEvent, -1) != EVENT_OK) {
        *failed = true;
        return false;
    }
    const int32_t s = queue->nextStripe;
    const bool taken = s < queue->stripeCount;
    if (taken) queue->nextStripe = s + 1;
    if (SignalAutoResetEvent(queue->lockEvent) != EVENT_OK) *failed = true;
    *stripe = s;
    return taken && !*failed;
}

// The worker loop of both phases. Integral rows are cumulative, so a worker cannot skip rows:
// it walks its caches over every row up to its next stripe, and only the per-sample work is
// divided among the workers.
template <typename Step, typename Compute>
int32_t RunStripes(StripeWorkerArgs *a, Step step, Compute compute) {
    const int32_t height = a->guide->height;
    bool failed = false;
    int32_t stripe = 0;
    while (TakeStripe(a->queue, &stripe, &failed)) {
        int32_t first = 0;
        int32_t end = 0;
        StripeRows(height, stripe, &first, &end);
        for (int32_t k = a->resumeRow; k < first; ++k) step(a, k, WindowRows(k, a->radius, height));
        if (first < end) a->resumeRow = first;
        for (int32_t k = first; k < end; ++k) {
            const RowSpan rows = WindowRows(k, a->radius, height);
            step(a, k, rows);
            compute(a, k, rows);
        }
    }
    return failed ? RESULT_OUT_OF_MEMORY : RESULT_OK;
}

int Pass1Job(void *record) { return GuidedFilterPass1Worker(static_cast<StripeWorkerArgs *>(record)); }
int Pass2Job(void *record) { return GuidedFilterPass2Worker(static_cast<StripeWorkerArgs *>(record)); }

bool IsPlane(const RowImage *image, int32_t bits) {
    return image && image->channels == 1 && image->bitsPerChannel == bits &&
           (image->height <= 0 || image->rows);
}

// Everything one call owns; freed in one place whatever stage failed.
struct StripedState {
    RowImage *coeffA = nullptr;
    RowImage *coeffB = nullptr;
    StripeQueue queue{nullptr, 0, STRIPE_COUNT};
    StripeWorkerArgs workers[kWorkers] = {};
};

void FreePhaseCaches(MemoryContext memory, StripedState *s) {
    for (StripeWorkerArgs &w : s->workers) {
        FreeIntegralRowCache(memory, &w.sumI);
        FreeIntegralRowCache(memory, &w.sumII);
        FreeIntegralRowCache(memory, &w.sumIp);
        FreeIntegralRowCache(memory, &w.sumP);
        FreeIntegralRowCache(memory, &w.sumA);
        FreeIntegralRowCache(memory, &w.sumB);
    }
}

void FreeStripedState(MemoryContext memory, StripedState *s) {
    FreePhaseCaches(memory, s);
    if (s->queue.lockEvent) DestroyAutoResetEvent(0, s->queue.lockEvent);
    FreeRowImage(memory, &s->coeffA);
    FreeRowImage(memory, &s->coeffB);
}

// Starts a phase: the counter at 0 and every worker's walk at row 0.
void ResetQueue(StripedState *s) {
    s->queue.nextStripe = 0;
    for (StripeWorkerArgs &w : s->workers) w.resumeRow = 0;
}

bool CreatePhase1Caches(MemoryContext memory, StripedState *s, int32_t slots) {
    for (StripeWorkerArgs &w : s->workers) {
        w.sumI = CreateIntegralRowCache(memory, w.guide, slots);
        w.sumII = CreateIntegralRowCache(memory, w.guide, slots);
        w.sumIp = CreateIntegralRowCache(memory, w.guide, slots);
        w.sumP = CreateIntegralRowCache(memory, w.input, slots);
        if (!w.sumI || !w.sumII || !w.sumIp || !w.sumP) return false;
    }
    return true;
}

bool CreatePhase2Caches(MemoryContext memory, StripedState *s, int32_t slots) {
    for (StripeWorkerArgs &w : s->workers) {
        w.sumA = CreateIntegralRowCache(memory, s->coeffA, slots);
        w.sumB = CreateIntegralRowCache(memory, s->coeffB, slots);
        if (!w.sumA || !w.sumB) return false;
    }
    return true;
}

int32_t RunPhases(MemoryContext memory, StripedState *s, int32_t slots, JobRunner runner) {
    // Everything the workers use is allocated here, on the calling thread, before they start.
    if (!CreatePhase1Caches(memory, s, slots)) return RESULT_OUT_OF_MEMORY;
    ResetQueue(s);
    int32_t result = runner(kWorkers, Pass1Job, s->workers, sizeof(StripeWorkerArgs));
    FreePhaseCaches(memory, s);
    if (result != RESULT_OK) return result;
    // Phase 2 starts only after every phase-1 worker has stopped: the window of a row needs
    // coefficients from rows that other workers wrote.
    if (!CreatePhase2Caches(memory, s, slots)) return RESULT_OUT_OF_MEMORY;
    ResetQueue(s);
    return runner(kWorkers, Pass2Job, s->workers, sizeof(StripeWorkerArgs));
}

}  // namespace

void StripeRows(int32_t height, int32_t stripe, int32_t *first, int32_t *end) {
    const int32_t rowsPerStripe = height / STRIPE_COUNT;
    *first = stripe * rowsPerStripe;
    *end = stripe == STRIPE_COUNT - 1 ? height : *first + rowsPerStripe;
}

int32_t GuidedFilterPass1Worker(StripeWorkerArgs *args) {
    if (!args) return RESULT_INVALID_ARGUMENT;
    return RunStripes(args, Pass1RowStep, Pass1Row);
}

int32_t GuidedFilterPass2Worker(StripeWorkerArgs *args) {
    if (!args) return RESULT_INVALID_ARGUMENT;
    return RunStripes(args, Pass2RowStep, Pass2Row);
}

int32_t GuidedFilterStripedWithRunner(MemoryContext memory, const RowImage *guide,
                                      const RowImage *input, RowImage *output, int32_t radius,
                                      JobRunner runner) {
    if (!IsPlane(guide, 8) || !IsPlane(input, 32) || !IsPlane(output, 32) || !runner)
        return RESULT_INVALID_ARGUMENT;
    const int32_t width = guide->width;
    const int32_t height = guide->height;
    if (radius < 0 || width < 0 || height < 0) return RESULT_INVALID_ARGUMENT;
    if (input->width != width || input->height != height || output->width != width ||
        output->height != height)
        return RESULT_INVALID_ARGUMENT;
    if (width == 0 || height == 0) return RESULT_OK;
    // Windows are clipped, so a radius beyond the image's size covers the same samples as
    // one equal to it.
    radius = std::min(radius, std::max(width, height));
    // A window needs 2r + 2 integral rows at once; 3r slots hold them for r >= 2.
    const int64_t slots =
        std::min<int64_t>(std::max<int64_t>(3 * int64_t{radius}, 2 * int64_t{radius} + 2),
                          int64_t{height} + 1);

    StripedState s;
    s.coeffA = CreateRowImage(memory, width, height, 32, 1);
    s.coeffB = CreateRowImage(memory, width, height, 32, 1);
    s.queue.lockEvent = CreateAutoResetEvent(0, 0);
    if (!s.coeffA || !s.coeffB || !s.queue.lockEvent ||
        SignalAutoResetEvent(s.queue.lockEvent) != EVENT_OK) {  // the lock starts free
        FreeStripedState(memory, &s);
        return RESULT_OUT_OF_MEMORY;
    }
    for (int32_t n = 0; n < kWorkers; ++n) {
        StripeWorkerArgs &w = s.workers[n];
        w.workerNumber = n + 1;
        w.guide = guide;
        w.input = input;
        w.output = output;
        w.coeffA = s.coeffA;
        w.coeffB = s.coeffB;
        w.radius = radius;
        w.queue = &s.queue;
    }
    const int32_t result = RunPhases(memory, &s, static_cast<int32_t>(slots), runner);
    FreeStripedState(memory, &s);
    return result;
}

int32_t GuidedFilterStriped(MemoryContext memory, const RowImage *guide, const RowImage *input,
                            RowImage *output, int32_t radius) {
    return GuidedFilterStripedWithRunner(memory, guide, input, output, radius, RunParallelJobs);
}

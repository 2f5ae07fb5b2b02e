// The merge entry point: argument checks, the tone parameters, the preparation when the caller
// did not prepare the exposures, the pipeline and the copy of the result to the output index.
#include "align/feature_tracker.h"
#include "alt/intermediate_image.h"
#include "band_pass.h"
#include "core/exposure_order.h"
#include "core/image.h"
#include "run_driver.h"
#include "session_lifecycle.h"

namespace {

constexpr int32_t kMinFrameSide = 96;

// The engine reads the low 32 bits of each 64-bit slot as a signed value.
int32_t Low32(int64_t slot) { return static_cast<int32_t>(static_cast<uint32_t>(slot)); }

struct ToneParameters {
    int32_t toneLength = 25;
    int32_t brightness = 0;
    int32_t toneSaturation = 0;
};

ToneParameters ClampParameters(const MergeParams *params) {
    ToneParameters p;
    if (!params) return p;
    const int32_t tone = Low32(params->toneLength);
    const int32_t bright = Low32(params->brightness);
    const int32_t saturation = Low32(params->toneSaturation);
    p.toneLength = static_cast<uint32_t>(tone) <= 100 ? tone : 25;
    p.brightness = bright >= -100 && bright <= 100 ? bright : 0;
    p.toneSaturation = static_cast<uint32_t>(saturation) <= 100 ? saturation : 0;
    return p;
}

// Every plane the format needs is present and its pitch holds a row.
bool PlanesHoldRows(const ImageDesc &image) {
    ImageDesc layout;
    int32_t rows[3] = {};
    if (LayoutImagePlanes(&layout, image.i32Width, image.i32Height, image.u32PixelArrayFormat,
                          rows) != RESULT_OK)
        return false;
    for (int p = 0; p < 3; ++p) {
        if (layout.pi32Pitch[p] == 0) continue;
        if (!image.ppu8Plane[p] || image.pi32Pitch[p] < layout.pi32Pitch[p]) return false;
    }
    return true;
}

int CheckRunArguments(const HdrSession *s, const ImageDesc *inputs, int32_t count,
                      const ImageDesc *outputs, int32_t outputIndex) {
    if (!s || !inputs || !outputs || outputs != inputs) return RESULT_INVALID_ARGUMENT;
    if (count < 1 || count > kMaxExposures || outputIndex < 0 || outputIndex >= count)
        return RESULT_INVALID_ARGUMENT;
    const ImageDesc &first = inputs[0];
    if (first.i32Width < kMinFrameSide || first.i32Height < kMinFrameSide)
        return RESULT_INVALID_ARGUMENT;
    // Pixels come in chroma pairs: an odd width leaves its last pixel without chroma.
    if (first.i32Width & 1) return RESULT_INVALID_ARGUMENT;
    // The band renderers address every exposure with the first one's pitches.
    for (int32_t i = 1; i < count; ++i) {
        if (inputs[i].u32PixelArrayFormat != first.u32PixelArrayFormat ||
            inputs[i].i32Width != first.i32Width || inputs[i].i32Height != first.i32Height)
            return RESULT_INVALID_ARGUMENT;
        for (int p = 0; p < 3; ++p)
            if (inputs[i].pi32Pitch[p] != first.pi32Pitch[p]) return RESULT_INVALID_ARGUMENT;
    }
    // The formats the run accepts are those the band pass can fuse.
    if (!HasBandRenderer(first.u32PixelArrayFormat))
        return RESULT_UNSUPPORTED_FORMAT;
    for (int32_t i = 0; i < count; ++i)
        if (!PlanesHoldRows(inputs[i])) return RESULT_INVALID_ARGUMENT;
    return RESULT_OK;
}

bool AllPrepared(const HdrSession *s, int32_t count) {
    const uint32_t all = (1u << count) - 1;
    return (s->preparedImages & all) == all;
}

// The exposures prepared by this run, or the caller's one-by-one preparation checked and
// ordered.
int PrepareSet(MemoryContext memory, HdrSession *s, ImageDesc *inputs, int32_t count,
               ProgressCallback progress, void *user) {
    if (!s->tracker) {
        ResetMergeRunState(s);
        s->preparedByRun = 1;
        return PrepareExposures(memory, s, inputs, count, progress, user);
    }
    // A caller who prepares the exposures one by one must prepare each image of this set.
    if (!AllPrepared(s, count) || s->inputImages != inputs) return RESULT_INVALID_ARGUMENT;
    // That preparation measures the gains but cannot know the count: the set is ordered here,
    // once, as PrepareExposures orders its own.
    return OrderExposures(s, s->exposureGain, count);
}

// The run after its arguments were checked.
int MergeCheckedSet(MemoryContext memory, HdrSession *s, ImageDesc *inputs, int32_t count,
                    ImageDesc *outputs, int32_t outputIndex, const MergeParams *params,
                    ProgressCallback progress, void *user) {
    // This run reuses the session's buffers: an intermediate merged earlier is gone.
    ClearIntermediateImage(s);
    int r = PrepareSet(memory, s, inputs, count, progress, user);
    s->preparedImages = 0;
    if (r == RESULT_OK) {
        DestroyFeatureTracker(memory, &s->tracker);
        const ToneParameters p = ClampParameters(params);
        s->toneLength = p.toneLength;
        // Nothing on this road reads a work area or a buffer: none is handed down.
        r = RunMergePipeline(memory, s, inputs, nullptr, count, outputs, outputIndex, 0, nullptr,
                             progress, user, p.toneLength, p.brightness, p.toneSaturation);
    }
    // The one place the run's buffers go, whatever the result.
    ReleasePipelineBuffers(memory, s);
    if (r != RESULT_OK || s->referenceIndex == outputIndex) return r;
    return CopyImage(&outputs[outputIndex], &inputs[s->referenceIndex]);
}

}  // namespace

int RunHdrMerge(MemoryContext memory, HdrSession *s, ImageDesc *inputs, int32_t count,
                ImageDesc *outputs, int32_t outputIndex, const MergeParams *params, int64_t,
                ProgressCallback progress, void *user) {
    const int r = CheckRunArguments(s, inputs, count, outputs, outputIndex);
    if (r != RESULT_OK) return r;
    // The threaded stages share the run's workers, which are joined before the run returns,
    // whatever its result. Without a pool each stage starts threads of its own.
    s->workerPool = CreateWorkerPool(s->threadStarter);
    const int merged =
        MergeCheckedSet(memory, s, inputs, count, outputs, outputIndex, params, progress, user);
    DestroyWorkerPool(s->workerPool);
    s->workerPool = nullptr;
    return merged;
}

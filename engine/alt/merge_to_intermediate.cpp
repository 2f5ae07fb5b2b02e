#include "merge_to_intermediate.h"

#include <algorithm>

#include "align/band_pass_handoff.h"
#include "align/valid_rectangle.h"
#include "alt/band_intermediate_packed422.h"
#include "alt/band_intermediate_planar.h"
#include "alt/intermediate_image.h"
#include "alt/intermediate_prepare.h"
#include "alt/tile_weights.h"
#include "alt/weight_finalize.h"
#include "core/memory.h"
#include "core/pixel_format.h"
#include "core/session.h"
#include "core/threads.h"

namespace {

constexpr int32_t kMergeProgressCeiling = 49;

// Reports of one merge never go back and never pass 49, whatever a stage computes.
struct ProgressGate {
    ProgressCallback callback;
    void *user;
    int64_t last;
};

int64_t GatedReport(int64_t percent, int64_t, void *record) {
    auto *gate = static_cast<ProgressGate *>(record);
    const int64_t value = std::min<int64_t>(std::max(percent, gate->last), kMergeProgressCeiling);
    gate->last = value;
    return gate->callback(value, 0, gate->user);
}

// A report of progressBase when a callback is given: RESULT_CANCELLED when it asks.
int Report(const HdrSession *s, ProgressCallback progress, void *user) {
    if (progress && progress(s->progressBase, 0, user) == RESULT_CANCELLED) return RESULT_CANCELLED;
    return RESULT_OK;
}

// Runs first on a second thread beside second() on this one. A thread that does not start
// has first run here, before second, as a sequential run would. Returns second's result;
// first's is in args->result after the join.
template <class Second>
int RunBeside(HdrSession *s, ThreadRoutine first, BandWorkerArgs *args, Second second) {
    const ThreadStarter start = s->threadStarter ? s->threadStarter : StartThread;
    ThreadHandle thread = start(first, args);
    if (!thread) first(args);
    const int result = second();
    if (thread) JoinThread(thread);
    return result;
}

// A cancel wins, else the first half's failure, else the second's.
int FirstFailure(int first, int second) {
    if (first == RESULT_CANCELLED || second == RESULT_CANCELLED) return RESULT_CANCELLED;
    return first != RESULT_OK ? first : second;
}

struct PlaneLists {
    uint8_t *planes[3][kMaxExposures] = {};
    int32_t gains[kMaxExposures] = {};
};

PlaneLists CollectPlanes(const HdrSession *s, const ImageDesc *inputs, int32_t count) {
    PlaneLists l;
    for (int32_t e = 0; e < std::min(count, kMaxExposures); ++e) {
        l.gains[e] = s->exposureGainQ10[e];
        for (int p = 0; p < 3; ++p) l.planes[p][e] = inputs[e].ppu8Plane[p];
    }
    return l;
}

bool PlanesHoldRows(const ImageDesc &image, const PixelFormatInfo &info) {
    for (int p = 0; p < info.planes; ++p)
        if (!image.ppu8Plane[p] || image.pi32Pitch[p] < MinimumRowBytes(info, p, image.i32Width))
            return false;
    return true;
}

// Ring and seam blocks: 129 rows of each plane, luma first, then the two chroma planes.
int AllocateRings(MemoryContext memory, HdrSession *s, const ImageDesc &input) {
    const int64_t samples = int64_t{kIntermediateRingRowsAllocated} *
                            (int64_t{input.pi32Pitch[0]} + input.pi32Pitch[1] + input.pi32Pitch[2]);
    for (uint16_t *&ring : s->ringBuffers16) {
        FreeAndClear(memory, ring);
        ring = AllocateZeroed<uint16_t>(memory, static_cast<uint64_t>(samples));
        if (!ring) return RESULT_OUT_OF_MEMORY;
    }
    return RESULT_OK;
}

}  // namespace

int CheckMergeToIntermediate(const HdrSession *s, const ImageDesc *inputs, int32_t count,
                             const ImageDesc *outputs) {
    if (!s || !inputs || !outputs || count != 3) return RESULT_INVALID_ARGUMENT;
    const ImageDesc &first = inputs[0];
    const uint32_t format = first.u32PixelArrayFormat;
    for (int32_t i = 1; i < count; ++i) {
        if (inputs[i].u32PixelArrayFormat != format || inputs[i].i32Width != first.i32Width ||
            inputs[i].i32Height != first.i32Height)
            return RESULT_INVALID_ARGUMENT;
        for (int p = 0; p < 3; ++p)
            if (inputs[i].pi32Pitch[p] != first.pi32Pitch[p]) return RESULT_INVALID_ARGUMENT;
    }
    if (!IsIntermediateFormat(format)) return RESULT_UNSUPPORTED_FORMAT;
    const PixelFormatInfo *info = FindPixelFormat(format);
    if (!info) return RESULT_UNSUPPORTED_FORMAT;
    if (first.i32Width < kIntermediateMinSide || first.i32Height < kIntermediateMinSide)
        return RESULT_INVALID_ARGUMENT;
    for (int32_t i = 0; i < count; ++i)
        if (!PlanesHoldRows(inputs[i], *info)) return RESULT_INVALID_ARGUMENT;
    return RESULT_OK;
}

void *TileWeightsTopWorker(void *record) {
    auto *args = static_cast<BandWorkerArgs *>(record);
    args->result = ComputeTileWeightsTop(args->memory, args->session, args->inputs, args->count,
                                         args->session->globalShift);
    return record;
}

void *IntermediateBandWorker(void *record) {
    auto *args = static_cast<BandWorkerArgs *>(record);
    args->result = FuseIntermediateBand(args->band, args->session, args->inputs, 0, args->count,
                                        0, 0, 0, nullptr, args->user);
    return record;
}

int FuseIntermediateBand(const RowBand &band, HdrSession *s, const ImageDesc *inputs, int64_t,
                         int32_t count, int64_t, int64_t, int64_t, ProgressCallback progress,
                         void *user) {
    if (!s || !inputs || count < 1) return RESULT_INVALID_ARGUMENT;
    const ImageDesc &first = inputs[0];
    PlaneLists l = CollectPlanes(s, inputs, count);
    switch (first.u32PixelArrayFormat) {
        case PIXEL_FORMAT_YUYV:
            return FuseIntermediateBandPacked422(&band, s, l.planes[0], count, first.i32Width,
                                                 first.i32Height, first.pi32Pitch[0],
                                                 &s->processRect, l.gains, s->globalShift,
                                                 progress, user);
        case PIXEL_FORMAT_I420:
        case 0x605:
            return FuseIntermediateBandPlanar420(&band, s, inputs, count, progress, user);
        case PIXEL_FORMAT_YUV422P:
            return FuseIntermediateBandPlanar422(&band, s, inputs, count, progress, user);
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
            return FuseIntermediateBandSemiPlanar420(&band, s, inputs, count, progress, user);
        case PIXEL_FORMAT_NV16:
            return FuseIntermediateBandSemiPlanar422(&band, s, inputs, count, progress, user);
        default:
            return FuseIntermediateBandPlanar(&band, s, inputs, count, progress, user);
    }
}

int FlushIntermediateSeams(MemoryContext memory, HdrSession *s, const ImageDesc *inputs, int64_t,
                           int32_t count, int64_t, int64_t, int64_t, ProgressCallback progress,
                           void *user) {
    if (!s || !inputs || count < 1) return RESULT_INVALID_ARGUMENT;
    const ImageDesc &first = inputs[0];
    PlaneLists l = CollectPlanes(s, inputs, count);
    int r;
    switch (first.u32PixelArrayFormat) {
        case PIXEL_FORMAT_YUYV:
            r = FlushIntermediateSeamsPacked422(memory, s, l.planes[0], count, first.i32Width,
                                                first.i32Height, first.pi32Pitch[0],
                                                &s->processRect, l.gains, s->globalShift,
                                                progress, user);
            break;
        case PIXEL_FORMAT_I420:
        case 0x605:
            r = FlushIntermediateSeamsPlanar420(s, inputs, count, progress, user);
            break;
        case PIXEL_FORMAT_YUV422P:
            r = FlushIntermediateSeamsPlanar422(s, inputs, count, progress, user);
            break;
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
            r = FlushIntermediateSeamsSemiPlanar420(s, inputs, count, progress, user);
            break;
        case PIXEL_FORMAT_NV16:
            r = FlushIntermediateSeamsSemiPlanar422(s, inputs, count, progress, user);
            break;
        default:
            r = FlushIntermediateSeamsPlanar(s, inputs, count, progress, user);
    }
    if (r == RESULT_CANCELLED) return r;
    if (progress) {
        s->progressBase += 4;
        if (Report(s, progress, user) == RESULT_CANCELLED) return RESULT_CANCELLED;
        s->progressBase += 1;
    }
    return r;
}

int BuildMotionFieldsWithProgress(MemoryContext memory, HdrSession *s, uint8_t *const *planes,
                                  int32_t count, const ImageDesc *inputs,
                                  const ImageDesc *outputs, int32_t layout, int32_t width,
                                  const RegionRect *rect, const int32_t *shifts,
                                  ProgressCallback progress, void *user) {
    if (!s || !planes || !inputs || !outputs || !rect || !shifts) return RESULT_INVALID_ARGUMENT;
    // The hand-off reads only the descriptors the layout uses.
    const bool split = layout == INTERMEDIATE_LAYOUT_PARITY_SPLIT;
    ImageDesc used[kMaxExposures] = {outputs[0], split ? outputs[1] : ImageDesc{}, ImageDesc{}};
    int r = PrepareBandPassInputs(memory, s, planes, count, used,
                                  split ? INTERMEDIATE_LAYOUT_PARITY_SPLIT : INTERMEDIATE_LAYOUT_FULL,
                                  width, 0, 0, rect, 0, shifts);
    if (r != RESULT_OK) return r;
    r = RecordIntermediateImage(s, inputs, count, outputs, layout, *rect);
    if (r != RESULT_OK) return r;
    if (progress) {
        s->progressBase += 2;
        if (Report(s, progress, user) == RESULT_CANCELLED) return RESULT_CANCELLED;
    }
    // The highlight refinements walk the overlap's groups of four, which may reach past the
    // process rectangle's right edge: the worker rows cover both.
    const int64_t overlapRight = (int64_t{s->overlapRect.x} + s->overlapRect.width + 3) & ~int64_t{3};
    const int64_t right = std::max(int64_t{rect->x} + rect->width, overlapRight);
    // Worker 0's rows came with the hand-off at the process rectangle's width alone.
    if (right > int64_t{rect->x} + rect->width) {
        r = AllocateBandWorkerBuffers(memory, s, 0, width, static_cast<int32_t>(right));
        if (r != RESULT_OK) return r;
    }
    r = AllocateBandWorkerBuffers(memory, s, 1, width, static_cast<int32_t>(right));
    if (r != RESULT_OK) return r;
    return AllocateRings(memory, s, inputs[0]);
}

int RunTileWeightsTopStage(MemoryContext memory, HdrSession *s, const ImageDesc *inputs, int64_t,
                           int32_t count, const ImageDesc *, int32_t, int64_t, ProgressCallback,
                           void *) {
    if (!s) return RESULT_INVALID_ARGUMENT;
    return ComputeTileWeightsTop(memory, s, inputs, count, s->globalShift);
}

int RunTileWeightsBottomStage(MemoryContext memory, HdrSession *s, const ImageDesc *inputs,
                              int64_t, int32_t count, const ImageDesc *, int32_t, int64_t,
                              ProgressCallback, void *) {
    if (!s) return RESULT_INVALID_ARGUMENT;
    return ComputeTileWeightsBottom(memory, s, inputs, count, s->globalShift);
}

int RunIntermediateGridStage(MemoryContext memory, HdrSession *s, const ImageDesc *inputs,
                             int64_t, int32_t count, const ImageDesc *outputs, int32_t layout,
                             int64_t, ProgressCallback progress, void *user) {
    if (!s || !inputs || !outputs || count < 1 || count > kMaxExposures)
        return RESULT_INVALID_ARGUMENT;
    uint8_t *planes[kMaxExposures] = {};
    for (int32_t i = 0; i < count; ++i) planes[i] = inputs[i].ppu8Plane[0];
    int r = FinalizeWeightMaps(memory, s, inputs, count, s->globalShift);
    if (r != RESULT_OK) return r;
    const ImageDesc &first = inputs[0];
    r = ComputeValidRectangle(s, s->globalShift, count, first.i32Width, first.i32Height,
                              &s->processRect);
    if (r != RESULT_OK) return r;
    // The bands fuse every whole four-pixel group of a row, not only whole groups of 8: the
    // margin the tone map fills by repeating the last group is then under 4 columns (none for
    // the widths the application sends).
    s->processRect.width = static_cast<uint32_t>(first.i32Width & ~3);
    // Computed here whether or not a status is pending: the bands meet on a multiple of 128.
    s->splitRow = 128 * (s->processRect.height / 256);
    return BuildMotionFieldsWithProgress(memory, s, planes, count, inputs, outputs, layout,
                                         first.i32Width, &s->processRect, s->globalShift,
                                         progress, user);
}

int MergeToIntermediate(MemoryContext memory, HdrSession *s, const ImageDesc *inputs, int64_t,
                        int32_t count, const ImageDesc *outputs, int32_t layout, int64_t, int64_t,
                        ProgressCallback progress, void *user) {
    int r = CheckMergeToIntermediate(s, inputs, count, outputs);
    if (r != RESULT_OK) return r;
    const ImageDesc &first = inputs[0];
    // The descriptors checked against the inputs before anything is touched.
    HdrSession probe{};
    r = RecordIntermediateImage(&probe, inputs, count, outputs, layout,
                                RegionRect{0, 0, static_cast<uint32_t>(first.i32Width),
                                           first.i32Height});
    if (r != RESULT_OK) return r;

    ClearIntermediateImage(s);
    ResetMergeRunState(s);
    ProgressGate gate = {progress, user, 0};
    const ProgressCallback report = progress ? GatedReport : nullptr;
    void *const reportUser = progress ? static_cast<void *>(&gate) : nullptr;

    r = PrepareIntermediateMerge(memory, s, inputs, count, report, reportUser);
    if (r != RESULT_OK) return r;
    s->progressBase += 5;
    if (Report(s, report, reportUser) == RESULT_CANCELLED) return RESULT_CANCELLED;

    BandWorkerArgs top = {memory, s, inputs, count, {}, nullptr, RESULT_OK};
    const int bottom = RunBeside(s, TileWeightsTopWorker, &top, [&] {
        return RunTileWeightsBottomStage(memory, s, inputs, 0, count, outputs, layout, 0, report,
                                         reportUser);
    });
    s->progressBase += 5;
    if (Report(s, report, reportUser) == RESULT_CANCELLED) return RESULT_CANCELLED;
    r = FirstFailure(top.result, bottom);
    if (r != RESULT_OK) return r;

    r = RunIntermediateGridStage(memory, s, inputs, 0, count, outputs, layout, 0, report,
                                 reportUser);
    s->progressBase += 10;
    if (r != RESULT_OK) return r;
    if (Report(s, report, reportUser) == RESULT_CANCELLED) return RESULT_CANCELLED;

    const RegionRect &rect = s->processRect;
    const int32_t y = static_cast<int32_t>(rect.y);
    BandWorkerArgs band0 = {memory, s, inputs, count, {0, y, y + s->splitRow, 0}, nullptr,
                            RESULT_OK};
    const RowBand band1 = {1, y + s->splitRow, y + rect.height, s->splitRow};
    const int lower = RunBeside(s, IntermediateBandWorker, &band0, [&] {
        return FuseIntermediateBand(band1, s, inputs, 0, count, 0, 0, 0, report, reportUser);
    });
    r = FirstFailure(band0.result, lower);
    if (r != RESULT_OK) return r;

    s->progressBase += 10;
    r = FlushIntermediateSeams(memory, s, inputs, 0, count, 0, 0, 0, report, reportUser);
    if (r != RESULT_OK) return r;
    if (progress) {
        s->progressBase = kMergeProgressCeiling;
        if (Report(s, report, reportUser) == RESULT_CANCELLED) return RESULT_CANCELLED;
    }
    s->intermediateReady = 1;
    return RESULT_OK;
}

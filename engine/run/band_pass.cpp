// The full-resolution band pass.
#include "band_pass.h"

#include "core/threads.h"
#include "fusion/band_packed422.h"
#include "fusion/band_planar.h"
#include "fusion/tail_columns.h"

int FusionBandWorker(void *record) {
    auto *args = static_cast<FusionBandWorkerArgs *>(record);
    if (!args || !args->band) return RESULT_INVALID_ARGUMENT;
    return DispatchFusionBand(*args->band, args->session, args->inputs, args->progress, args->user);
}

void SplitFusionBands(const RegionRect &process, RowBand bands[kWorkerCount]) {
    const int64_t y = process.y;
    const int64_t h = process.height > 0 ? process.height : 0;
    for (int i = 0; i < kWorkerCount; ++i) {
        const int64_t first = 8 * ((i * h) / 32);
        const int64_t end = i == kWorkerCount - 1 ? h : 8 * (((i + 1) * h) / 32);
        bands[i] = {i, static_cast<int32_t>(y + first), static_cast<int32_t>(y + end),
                    static_cast<int32_t>(first)};
    }
}

bool HasBandRenderer(uint32_t format) {
    switch (format) {
        case PIXEL_FORMAT_YUYV:
        case PIXEL_FORMAT_I420:
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
        case PIXEL_FORMAT_NV16:
            return true;
        default:
            return false;
    }
}

int DispatchFusionBand(const RowBand &band, HdrSession *s, const ImageDesc *inputs,
                       ProgressCallback progress, void *user) {
    const ImageDesc &first = inputs[0];
    const int32_t count = s->exposureCount < kMaxExposures ? s->exposureCount : kMaxExposures;
    int32_t gains[kMaxExposures] = {};
    uint8_t *planes[3][kMaxExposures] = {};
    for (int32_t e = 0; e < count; ++e) {
        gains[e] = s->exposureGainQ10[e];
        for (int p = 0; p < 3; ++p) planes[p][e] = inputs[e].ppu8Plane[p];
    }
    const int32_t w = first.i32Width, h = first.i32Height;
    const int32_t *pitch = first.pi32Pitch;
    switch (first.u32PixelArrayFormat) {
        case PIXEL_FORMAT_YUYV:
            return RenderFusedBandPacked422(&band, s, planes[0], w, h, pitch[0], &s->processRect,
                                            gains, s->globalShift, progress, user);
        case PIXEL_FORMAT_I420:
            return RenderFusedBandPlanar420(&band, s, planes[0], w, h, pitch[0], planes[1],
                                            pitch[1], planes[2], pitch[2], &s->processRect, gains,
                                            s->globalShift, progress, user);
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
            return RenderFusedBandSemiPlanar420(
                &band, s, planes[0], w, h, pitch[0], planes[1], pitch[1], &s->processRect, gains,
                s->globalShift, progress, user,
                first.u32PixelArrayFormat == PIXEL_FORMAT_NV21 ? kChromaOrderVU : kChromaOrderUV);
        case PIXEL_FORMAT_NV16:
            return RenderFusedBandSemiPlanar422(&band, s, planes[0], w, h, pitch[0], planes[1],
                                                pitch[1], &s->processRect, gains, s->globalShift,
                                                progress, user);
        default:
            return RESULT_UNSUPPORTED_FORMAT;
    }
}

int RunFusionBandPass(MemoryContext memory, HdrSession *s, const ImageDesc *inputs,
                      ProgressCallback progress, void *user) {
    const ImageDesc &reference = inputs[s->referenceIndex];
    if (!HasBandRenderer(reference.u32PixelArrayFormat)) return RESULT_UNSUPPORTED_FORMAT;
    // Bands fuse in place; the border estimates read the reference's luma as it was.
    const auto copy = reference.u32PixelArrayFormat == PIXEL_FORMAT_YUYV
                          ? CopyReferenceLumaForBandPass
                          : CopyReferenceLumaPlaneForBandPass;
    const int r = copy(memory, s, reference.ppu8Plane[0], reference.i32Width, reference.i32Height,
                       reference.pi32Pitch[0]);
    if (r != RESULT_OK) return r;
    RowBand bands[kWorkerCount];
    SplitFusionBands(s->processRect, bands);
    FusionBandWorkerArgs args[kWorkerCount];
    for (int i = 0; i < kWorkerCount; ++i)
        args[i] = {memory, s, inputs, nullptr, s->exposureCount, nullptr, 0, nullptr,
                   progress, user, i, &bands[i]};
    const int fused =
        StageJobRunner(s)(kWorkerCount, FusionBandWorker, args, sizeof(FusionBandWorkerArgs));
    if (fused != RESULT_OK) return fused;
    ImageDesc output = reference;
    for (int p = 0; p < 3; ++p) output.ppu8Plane[p] = s->outputPlanes[p];
    FuseTailColumns(output, static_cast<int32_t>(s->processRect.width), s->bandReferenceLuma,
                    reference.i32Width);
    return RESULT_OK;
}

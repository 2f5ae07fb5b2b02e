#include "guided_band16.h"

#include <cmath>

#include "core/threads.h"
#include "filters/guided_band_internal.h"
#include "filters/guided_row_kernels.h"

using namespace guided_band;

namespace {

bool IsSixteenBitGuideFormat(uint32_t format) {
    return format == PIXEL_FORMAT_YUV444P || format == PIXEL_FORMAT_GRAY8 ||
           format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21;
}

// The output of mode 1: q = (I mA + 64 mB) >> 10, its low 16 bits stored; whole rows go
// through the row kernel.
struct DoubleOutput {
    void Row(GuidedBandContext *ctx, int32_t u, const uint8_t *guideRow, int32_t r) const {
        int16_t *out = reinterpret_cast<int16_t *>(ctx->outputPlane) +
                       static_cast<int64_t>(ctx->bandY + u) * ctx->outputPitch + ctx->bandX;
        GuidedOutputRow16(ctx->colSumA, ctx->colSumB, ctx->bandWidth, r, ctx->windowArea, guideRow, out);
    }
};

// Mode 1: the double-precision coefficients of the 8-bit filter, constant windows up to
// 2 x 255 x N and eps as passed.
void FilterBandDouble(GuidedBandContext *c) {
    // Difference maps are mostly zero or negative: such windows take their mean.
    FilterBand<int16_t>(c, MakeDoubleCoefficientRule(c, 510, c->eps), DoubleOutput{});
}

// Mode 0: integer coefficients in Q8 with a fixed regularisation of 5, not clamped.
void FilterBandInteger(GuidedBandContext *c) {
    const int32_t area = c->windowArea;
    const int64_t bound = 510 * int64_t{area};
    FilterBand<int16_t>(
        c,
        [area, bound](int64_t sI, int64_t sII, int64_t sIp, int64_t sP) -> Coefficients {
            if (sP <= 0 || sP >= bound) return {0, static_cast<int32_t>(sP / area * 256)};
            const int64_t mI = sI / area, mp = sP / area, mIp = sIp / area, mII = sII / area;
            // At least 5 for a non-negative guide.
            const int64_t a = ((mIp - mp * mI) * 256) / (mII + 5 - mI * mI);
            return {static_cast<int32_t>(a), static_cast<int32_t>(mp * 256 - mI * a)};
        },
        [](GuidedBandContext *ctx, int32_t y, int32_t x, int32_t guide, int64_t mA, int64_t mB) {
            const int64_t q = (guide * mA + mB) >> 8;
            reinterpret_cast<int16_t *>(ctx->outputPlane)[static_cast<int64_t>(y) * ctx->outputPitch + x] =
                static_cast<int16_t>(q);
        });
}

int BandJob16(void *record) {
    return GuidedFilterBandWorker16(*static_cast<GuidedBandContext **>(record));
}

}  // namespace

int32_t GuidedFilterBandWorker16(GuidedBandContext *c) {
    if (!c) return RESULT_INVALID_ARGUMENT;
    if (c->filterMode == 0)
        FilterBandInteger(c);
    else
        FilterBandDouble(c);
    return RESULT_OK;
}

int32_t GuidedFilterThreaded16WithRunner(MemoryContext memory, const ImageDesc *guide,
                                         const int16_t *input, int32_t radius,
                                         const PixelRect *rect, int16_t *output, double eps,
                                         int32_t mode, JobRunner runner) {
    if (!guide || !input || !output || !runner) return RESULT_INVALID_ARGUMENT;
    if (!IsSixteenBitGuideFormat(guide->u32PixelArrayFormat)) return RESULT_UNSUPPORTED_FORMAT;
    const int32_t width = guide->i32Width;
    const int32_t height = guide->i32Height;
    if (width < 0 || height < 0 || (mode != 0 && mode != 1)) return RESULT_INVALID_ARGUMENT;
    if (radius < 0 || radius > GUIDED_MAX_RADIUS || std::isnan(eps)) return RESULT_INVALID_ARGUMENT;
    const PixelRect area = rect ? *rect : PixelRect{0, 0, width, height};
    if (area.x0 < 0 || area.y0 < 0 || area.x0 > area.x1 || area.y0 > area.y1 ||
        area.x1 > width || area.y1 > height)
        return RESULT_INVALID_ARGUMENT;
    if (area.x0 == area.x1 || area.y0 == area.y1) return RESULT_OK;
    if (!guide->ppu8Plane[0] || guide->pi32Pitch[0] < width) return RESULT_INVALID_ARGUMENT;

    const int64_t planeBytes = int64_t{width} * 2;
    const Aliasing inputAlias =
        CompareRanges(input, planeBytes, planeBytes, height, output, planeBytes, planeBytes, height);
    const Aliasing guideAlias = CompareRanges(guide->ppu8Plane[0], guide->pi32Pitch[0], width, height,
                                              output, planeBytes, planeBytes, height);
    if (inputAlias == Aliasing::kOverlap || guideAlias != Aliasing::kNone)
        return RESULT_INVALID_ARGUMENT;

    const BandPlanes planes{guide,
                            input,
                            output,
                            reinterpret_cast<const uint8_t *>(input),
                            reinterpret_cast<uint8_t *>(output),
                            width,
                            width,
                            2};
    int32_t bounds[5];
    SplitGuidedBands(area.y0, area.y1, bounds);
    GuidedBandContext *contexts[4] = {};
    // Created, primed and snapshotted on this thread, in band order, before any worker
    // starts (see GuidedFilterThreaded8).
    for (int32_t i = 0; i < 4; ++i) {
        const PixelRect band{area.x0, bounds[i], area.x1, bounds[i + 1]};
        contexts[i] = AllocateContext(memory, planes, radius, band, eps);
        bool ready = contexts[i] != nullptr;
        if (ready) {
            contexts[i]->filterMode = mode;
            ready = PrimeGuidedBandContext(contexts[i], 0) == RESULT_OK &&
                    FreezeRowsBelowBand(memory, contexts[i], false,
                                        inputAlias == Aliasing::kSameRows);
        }
        if (!ready) {
            FreeBandContexts(memory, contexts);
            return RESULT_OUT_OF_MEMORY;
        }
    }
    return RunBands(memory, contexts, BandJob16, runner);
}

int32_t GuidedFilterThreaded16(MemoryContext memory, const ImageDesc *guide, const int16_t *input,
                               int32_t radius, const PixelRect *rect, int16_t *output, double eps,
                               int32_t mode) {
    return GuidedFilterThreaded16WithRunner(memory, guide, input, radius, rect, output, eps, mode,
                                            RunParallelJobs);
}

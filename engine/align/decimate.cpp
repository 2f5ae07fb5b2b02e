// Thumbnail decimation entry points: argument checks, output size and trimming, allocation,
// then the (format, factor) kernel.
#include "decimate.h"

#include "core/memory.h"
#include "decimate_kernels.h"

namespace {

constexpr int kLargestDispatchedFactor = 8;

// Bytes of one row that the kernels may read: packed rows hold whole pixel pairs; chroma rows
// hold the pairs of the pixels below the width (interleaved pairs take two bytes).
bool SourcePlanesHoldRows(const ImageDesc &s, const DecimateSource &view) {
    const int64_t width = s.i32Width;
    if (view.lumaStep == 2) return s.ppu8Plane[0] && s.pi32Pitch[0] >= 4 * ((width + 1) / 2);
    if (!s.ppu8Plane[0] || s.pi32Pitch[0] < width) return false;
    const int64_t chromaBytes = (width / 2) * view.pairStep;
    const int chromaPlanes = view.pairStep == 1 ? 2 : 1;
    for (int p = 1; p <= chromaPlanes; ++p)
        if (!s.ppu8Plane[p] || s.pi32Pitch[p] < chromaBytes) return false;
    return true;
}

// The rectangle must lie inside the source and start on an even pixel and row, so that block
// origins and chroma pairs line up.
bool RectFitsSource(const InclusiveRect &r, const ImageDesc &s) {
    return r.x0 >= 0 && r.y0 >= 0 && r.x0 <= r.x1 && r.y0 <= r.y1 && r.x1 < s.i32Width &&
           r.y1 < s.i32Height && (r.x0 & 1) == 0 && (r.y0 & 1) == 0;
}

struct DecimatePlan {
    InclusiveRect rect;  // trimmed to whole blocks
    int32_t width;       // output size
    int32_t height;
};

// Output size (even in both directions) and the rectangle trimmed to the blocks it covers.
DecimatePlan PlanDecimation(const InclusiveRect &rect, int factor) {
    // 64-bit sides: a caller's rectangle is not checked yet when a window is sized from it.
    const int64_t sideX = static_cast<int64_t>(rect.x1) - rect.x0 + 1;
    const int64_t sideY = static_cast<int64_t>(rect.y1) - rect.y0 + 1;
    DecimatePlan plan;
    plan.width = static_cast<int32_t>(sideX / (2 * factor) * 2);
    plan.height = static_cast<int32_t>(sideY / (2 * factor) * 2);
    plan.rect = {rect.x0, rect.y0, static_cast<int32_t>(rect.x0 + int64_t{plan.width} * factor - 1),
                 static_cast<int32_t>(rect.y0 + int64_t{plan.height} * factor - 1)};
    return plan;
}

bool OutputHolds(const ImageDesc &out, int32_t width, int32_t height) {
    if (out.u32PixelArrayFormat != PIXEL_FORMAT_YUV444P || out.i32Width < width ||
        out.i32Height < height)
        return false;
    for (int p = 0; p < 3; ++p)
        if (!out.ppu8Plane[p] || out.pi32Pitch[p] < width) return false;
    return true;
}

// Checks source, rectangle and format; fills the source view and the plan.
int PrepareDecimation(const ImageDesc *source, const InclusiveRect *rect, int factor,
                      DecimateSource *view, DecimatePlan *plan) {
    if (!source || factor <= 0) return RESULT_INVALID_ARGUMENT;
    const InclusiveRect whole = {0, 0, source->i32Width - 1, source->i32Height - 1};
    const InclusiveRect r = rect ? *rect : whole;
    if (!RectFitsSource(r, *source)) return RESULT_INVALID_ARGUMENT;
    if (!MakeDecimateSource(*source, view)) return RESULT_UNSUPPORTED_FORMAT;
    if (!SourcePlanesHoldRows(*source, *view)) return RESULT_INVALID_ARGUMENT;
    *plan = PlanDecimation(r, factor);
    return RESULT_OK;
}

// Fills output as a packed-planes YUV444P image of the plan's size in one block.
int AllocateOutput(MemoryContext memory, ImageDesc *output, const DecimatePlan &plan) {
    const int64_t planeBytes = static_cast<int64_t>(plan.width) * plan.height;
    uint8_t *block = nullptr;
    if (planeBytes > 0) {
        block =
            static_cast<uint8_t *>(AllocateMemory(memory, 3 * static_cast<uint64_t>(planeBytes)));
        if (!block) return RESULT_OUT_OF_MEMORY;
    }
    output->u32PixelArrayFormat = PIXEL_FORMAT_YUV444P;
    output->i32Width = plan.width;
    output->i32Height = plan.height;
    for (int p = 0; p < 3; ++p) {
        output->ppu8Plane[p] = block ? block + p * planeBytes : nullptr;
        output->pi32Pitch[p] = plan.width;
    }
    return RESULT_OK;
}

int RunKernel(const DecimateSource &view, uint32_t format, int factor, ImageDesc *output,
              const DecimatePlan &plan) {
    if (plan.width == 0 || plan.height == 0) return RESULT_OK;
    if (!OutputHolds(*output, plan.width, plan.height)) return RESULT_INVALID_ARGUMENT;
    const DecimateKernel kernel = FindDecimateKernel(format, factor);
    if (!kernel) return RESULT_UNSUPPORTED_FORMAT;
    kernel(view, output, plan.rect);
    return RESULT_OK;
}

}  // namespace

bool MakeDecimateSource(const ImageDesc &s, DecimateSource *view) {
    DecimateSource v{};
    v.luma = s.ppu8Plane[0];
    v.lumaPitch = s.pi32Pitch[0];
    v.lumaStep = 1;
    v.width = s.i32Width;
    switch (s.u32PixelArrayFormat) {
    case PIXEL_FORMAT_YUYV:
        v.lumaStep = 2;
        v.u = s.ppu8Plane[0] ? s.ppu8Plane[0] + 1 : nullptr;
        v.v = s.ppu8Plane[0] ? s.ppu8Plane[0] + 3 : nullptr;
        v.uPitch = v.vPitch = s.pi32Pitch[0];
        v.pairStep = 4;
        break;
    case PIXEL_FORMAT_I420:
    case PIXEL_FORMAT_YUV422P:
        v.u = s.ppu8Plane[1];
        v.v = s.ppu8Plane[2];
        v.uPitch = s.pi32Pitch[1];
        v.vPitch = s.pi32Pitch[2];
        v.pairStep = 1;
        break;
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_NV16:
    case PIXEL_FORMAT_NV21: {
        // NV21 stores V first in each pair.
        const bool vFirst = s.u32PixelArrayFormat == PIXEL_FORMAT_NV21;
        const uint8_t *pairs = s.ppu8Plane[1];
        v.u = pairs ? pairs + (vFirst ? 1 : 0) : nullptr;
        v.v = pairs ? pairs + (vFirst ? 0 : 1) : nullptr;
        v.uPitch = v.vPitch = s.pi32Pitch[1];
        v.pairStep = 2;
        break;
    }
    default: return false;
    }
    const uint32_t f = s.u32PixelArrayFormat;
    v.chromaRowShift =
        (f == PIXEL_FORMAT_I420 || f == PIXEL_FORMAT_NV12 || f == PIXEL_FORMAT_NV21) ? 1 : 0;
    *view = v;
    return true;
}

int DecimateToYuv444(MemoryContext memory, const ImageDesc *source, ImageDesc *output,
                     const InclusiveRect *rect, int factor, int allocate) {
    if (!output) return RESULT_INVALID_ARGUMENT;
    DecimateSource view;
    DecimatePlan plan;
    const int checked = PrepareDecimation(source, rect, factor, &view, &plan);
    if (checked != RESULT_OK) return checked;
    // The dispatcher selects kernels up to factor 8 only; larger factors have their own entry.
    if (factor > kLargestDispatchedFactor) return RESULT_OK;
    if (allocate) {
        const int allocated = AllocateOutput(memory, output, plan);
        if (allocated != RESULT_OK) return allocated;
    }
    return RunKernel(view, source->u32PixelArrayFormat, factor, output, plan);
}

int DecimateThumbnail(const ImageDesc *source, ImageDesc *output) {
    constexpr int kFactor = 8;
    if (!output) return RESULT_INVALID_ARGUMENT;
    DecimateSource view;
    DecimatePlan plan;
    const int checked = PrepareDecimation(source, nullptr, kFactor, &view, &plan);
    if (checked != RESULT_OK) return checked;
    const int r = RunKernel(view, source->u32PixelArrayFormat, kFactor, output, plan);
    if (r != RESULT_OK || plan.width == 0 || plan.height == 0) return r;
    RereadOuterRingInward(view, source->u32PixelArrayFormat, source->i32Height, kFactor, output,
                          plan.rect);
    return RESULT_OK;
}

int DecimateIntoImage(const ImageDesc *source, ImageDesc *output, const InclusiveRect *rect,
                      int factor) {
    return DecimateToYuv444(nullptr, source, output, rect, factor, 0);
}

int DecimateIntoWindow(const ImageDesc *source, const ImageDesc *output,
                       const InclusiveRect *sourceRect, int32_t window[4], int factor) {
    if (!source || !output || !sourceRect || !window || factor <= 0) return RESULT_INVALID_ARGUMENT;
    window[0] &= ~1;
    window[1] &= ~1;
    if (sourceRect->x0 >= sourceRect->x1 || sourceRect->y0 >= sourceRect->y1) return RESULT_OK;
    const int32_t x0 = window[0], y0 = window[1], x1 = window[2], y1 = window[3];
    if (x0 < 0 || y0 < 0 || x1 > output->i32Width || y1 > output->i32Height)
        return RESULT_INVALID_ARGUMENT;
    const DecimatePlan plan = PlanDecimation(*sourceRect, factor);
    if (x1 - x0 != plan.width || y1 - y0 != plan.height) return RESULT_INVALID_ARGUMENT;
    ImageDesc local = *output;
    local.i32Width = x1 - x0;
    local.i32Height = y1 - y0;
    for (int p = 0; p < 3; ++p)
        if (local.ppu8Plane[p])
            local.ppu8Plane[p] += static_cast<ptrdiff_t>(y0) * local.pi32Pitch[p] + x0;
    return DecimateToYuv444(nullptr, source, &local, sourceRect, factor, 0);
}

int DecimateByLargeFactor(const ImageDesc *source, ImageDesc *output, const InclusiveRect *rect,
                          int factor) {
    if (!output || factor <= kLargestDispatchedFactor || factor > 14)
        return RESULT_INVALID_ARGUMENT;
    DecimateSource view;
    DecimatePlan plan;
    const int checked = PrepareDecimation(source, rect, factor, &view, &plan);
    if (checked != RESULT_OK) return checked;
    if (!FindDecimateKernel(source->u32PixelArrayFormat, factor)) return RESULT_UNSUPPORTED_FORMAT;
    return RunKernel(view, source->u32PixelArrayFormat, factor, output, plan);
}

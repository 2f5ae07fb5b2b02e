#include "guided_variants.h"

#include <cmath>

#include "core/image.h"
#include "core/memory.h"
#include "filters/guided_band.h"
#include "filters/guided_band_internal.h"

using namespace guided_band;

namespace {

// Checks everything a one-band call over channels 0..lastChannel needs; *area receives the
// rectangle.
int32_t CheckBandCall(const ImageDesc *guide, const ImageDesc *input, ImageDesc *output,
                      int32_t radius, const PixelRect *rect, double eps, int32_t lastChannel,
                      PixelRect *area) {
    if (!guide || !input || !output) return RESULT_INVALID_ARGUMENT;
    const uint32_t format = guide->u32PixelArrayFormat;
    if (!IsEightBitGuideFormat(format)) return RESULT_UNSUPPORTED_FORMAT;
    const int32_t width = guide->i32Width;
    const int32_t height = guide->i32Height;
    if (width < 0 || height < 0 || input->u32PixelArrayFormat != format ||
        output->u32PixelArrayFormat != format || input->i32Width != width ||
        input->i32Height != height || output->i32Width != width || output->i32Height != height)
        return RESULT_INVALID_ARGUMENT;
    if (radius < 0 || radius > GUIDED_MAX_RADIUS || !std::isfinite(eps))
        return RESULT_INVALID_ARGUMENT;
    *area = rect ? *rect : PixelRect{0, 0, width, height};
    if (area->x0 < 0 || area->y0 < 0 || area->x0 > area->x1 || area->y0 > area->y1 ||
        area->x1 > width || area->y1 > height)
        return RESULT_INVALID_ARGUMENT;
    // The planes each channel selects, and how guide and input sit against the output.
    for (int32_t channel = 0; channel <= lastChannel; ++channel) {
        Aliasing guideAlias = Aliasing::kNone, inputAlias = Aliasing::kNone;
        const int32_t result =
            ProbeChannelPlanes(guide, input, output, *area, channel, &guideAlias, &inputAlias);
        if (result != RESULT_OK) return result;
    }
    return RESULT_OK;
}

bool IsEmpty(const PixelRect &area) { return area.x0 == area.x1 || area.y0 == area.y1; }

// The band schedule with signed input bytes, eps as passed and a signed 8-bit output.
void FilterBandSigned(GuidedBandContext *c) {
    FilterBand<int8_t>(
        c, MakeDoubleCoefficientRule(c, 255, c->eps),
        [](GuidedBandContext *ctx, int32_t y, int32_t x, int32_t guide, int64_t mA, int64_t mB) {
            int64_t q = (guide * mA + 64 * mB) >> 10;
            q = q < -128 ? -128 : (q > 127 ? 127 : q);
            ctx->outputPlane[static_cast<int64_t>(y) * ctx->outputPitch +
                             static_cast<int64_t>(x) * ctx->sampleStep + ctx->sampleOffset] =
                static_cast<uint8_t>(static_cast<int8_t>(q));
        });
}

// A GRAY8 view of one plane of a planar image: channel 0 of the band filter then reads that
// plane with its own pitch.
ImageDesc PlaneView(const ImageDesc *image, int32_t plane) {
    ImageDesc view{};
    view.u32PixelArrayFormat = PIXEL_FORMAT_GRAY8;
    view.i32Width = image->i32Width;
    view.i32Height = image->i32Height;
    view.ppu8Plane[0] = image->ppu8Plane[plane];
    view.pi32Pitch[0] = image->pi32Pitch[plane];
    return view;
}

void CopyPlaneRows(uint8_t *destination, int32_t destinationPitch, const uint8_t *source,
                   int32_t sourcePitch, int32_t width, int32_t height) {
    for (int32_t y = 0; y < height; ++y)
        CopyBytes(destination + static_cast<int64_t>(y) * destinationPitch,
                  source + static_cast<int64_t>(y) * sourcePitch, static_cast<size_t>(width));
}

bool IsPlanarIterativeFormat(uint32_t format) {
    return format == PIXEL_FORMAT_YUV444P || format == PIXEL_FORMAT_GRAY8;
}

bool PlaneUsable(const ImageDesc *image, int32_t plane) {
    return image->ppu8Plane[plane] && image->pi32Pitch[plane] >= image->i32Width;
}

// Creates one band context over the whole area, runs filter(context) on it and frees it.
template <typename Filter>
int32_t FilterAsOneBand(MemoryContext memory, const ImageDesc *guide, const ImageDesc *input,
                        int32_t radius, const PixelRect &area, ImageDesc *output, double eps,
                        int32_t signedInput, Filter filter) {
    GuidedBandContext *c =
        CreateGuidedBandContext(memory, guide, input, radius, &area, output, eps, signedInput);
    if (!c) return RESULT_OUT_OF_MEMORY;
    filter(c);
    FreeGuidedBandContext(memory, c);
    return RESULT_OK;
}

}  // namespace

int32_t GuidedFilterSigned8(MemoryContext memory, const ImageDesc *guide, const ImageDesc *input,
                            int32_t radius, const PixelRect *rect, ImageDesc *output, double eps) {
    PixelRect area{};
    const int32_t checked = CheckBandCall(guide, input, output, radius, rect, eps, 0, &area);
    if (checked != RESULT_OK || IsEmpty(area)) return checked;
    return FilterAsOneBand(memory, guide, input, radius, area, output, eps, 1, FilterBandSigned);
}

int32_t GuidedFilterThreeChannels(MemoryContext memory, const ImageDesc *guide,
                                  const ImageDesc *input, int32_t radius, const PixelRect *rect,
                                  ImageDesc *output) {
    PixelRect area{};
    const int32_t checked = CheckBandCall(guide, input, output, radius, rect, 4.0, 2, &area);
    if (checked != RESULT_OK || IsEmpty(area)) return checked;
    // The channels use disjoint samples, so each is filtered from the input as it was.
    return FilterAsOneBand(memory, guide, input, radius, area, output, 4.0, 0,
                           [](GuidedBandContext *c) {
                               for (int32_t channel = 0; channel < 3; ++channel) {
                                   if (channel > 0) PrimeGuidedBandContext(c, channel);
                                   GuidedFilterBandWorker8(c);
                               }
                           });
}

int32_t GuidedFilterSelf(MemoryContext memory, const ImageDesc *image, int32_t radius,
                         uint32_t strength, const PixelRect *rect, ImageDesc *output) {
    const double eps = static_cast<double>((strength * strength) >> 2);
    PixelRect area{};
    const int32_t checked = CheckBandCall(image, image, output, radius, rect, eps, 0, &area);
    if (checked != RESULT_OK) return checked;
    if (output != image && output->ppu8Plane[0] != image->ppu8Plane[0]) {
        const int32_t copied = CopyImage(output, image);
        if (copied != RESULT_OK) return copied;
    }
    if (IsEmpty(area)) return RESULT_OK;
    return FilterAsOneBand(memory, image, image, radius, area, output, eps, 0,
                           GuidedFilterBandWorker8);
}

int32_t GuidedFilterIterative(MemoryContext memory, const ImageDesc *source,
                              const ImageDesc *start, ImageDesc *result, int32_t iterations,
                              int32_t planeIndex, double eps) {
    if (!source || !start || !result) return RESULT_INVALID_ARGUMENT;
    const uint32_t format = source->u32PixelArrayFormat;
    if (!IsPlanarIterativeFormat(format)) return RESULT_UNSUPPORTED_FORMAT;
    const int32_t width = source->i32Width;
    const int32_t height = source->i32Height;
    const int32_t planes = format == PIXEL_FORMAT_GRAY8 ? 1 : 3;
    if (!SameImageShape(source, start) || !SameImageShape(source, result) || width < 1 ||
        height < 1 || planeIndex < 0 || planeIndex >= planes || !std::isfinite(eps))
        return RESULT_INVALID_ARGUMENT;
    if (!PlaneUsable(source, planeIndex) || !PlaneUsable(start, planeIndex) ||
        !PlaneUsable(result, planeIndex))
        return RESULT_INVALID_ARGUMENT;

    ImageDesc *a = nullptr, *b = nullptr, *c = nullptr;
    CreateImage(&a, width, height, PIXEL_FORMAT_GRAY8, memory);
    CreateImage(&b, width, height, PIXEL_FORMAT_GRAY8, memory);
    CreateImage(&c, width, height, PIXEL_FORMAT_GRAY8, memory);
    int32_t status = a && b && c ? RESULT_OK : RESULT_OUT_OF_MEMORY;
    const ImageDesc s = PlaneView(source, planeIndex);
    if (status == RESULT_OK) status = GuidedFilterSigned8(memory, &s, &s, 16, nullptr, a, eps);
    if (status == RESULT_OK) {
        CopyPlaneRows(c->ppu8Plane[0], c->pi32Pitch[0], start->ppu8Plane[planeIndex],
                      start->pi32Pitch[planeIndex], width, height);
        for (int32_t pass = 0; pass < iterations && status == RESULT_OK; ++pass) {
            status = GuidedFilterSigned8(memory, &s, c, 16, nullptr, b, eps);
            if (status != RESULT_OK) break;
            // Adds 0.8 times the source's detail S - A back onto the re-filtered estimate.
            for (int32_t y = 0; y < height; ++y) {
                const uint8_t *rowS = s.ppu8Plane[0] + static_cast<int64_t>(y) * s.pi32Pitch[0];
                const uint8_t *rowA = a->ppu8Plane[0] + static_cast<int64_t>(y) * a->pi32Pitch[0];
                const auto *rowB = reinterpret_cast<const int8_t *>(
                    b->ppu8Plane[0] + static_cast<int64_t>(y) * b->pi32Pitch[0]);
                uint8_t *rowC = c->ppu8Plane[0] + static_cast<int64_t>(y) * c->pi32Pitch[0];
                for (int32_t x = 0; x < width; ++x)
                    rowC[x] = static_cast<uint8_t>((10 * rowB[x] - 8 * rowA[x] + 8 * rowS[x]) / 10);
            }
        }
    }
    if (status == RESULT_OK)
        CopyPlaneRows(result->ppu8Plane[planeIndex], result->pi32Pitch[planeIndex], c->ppu8Plane[0],
                      c->pi32Pitch[0], width, height);
    DestroyImage(&a, memory);
    DestroyImage(&b, memory);
    DestroyImage(&c, memory);
    return status;
}

// Copies of whole images and of rectangles between images of the same format.
#include <cstring>

#include "image.h"
#include "image_internal.h"

namespace {

PixelRect WholeImage(const ImageDesc &image) {
    return {0, 0, image.i32Width, image.i32Height};
}

bool SameSize(const PixelRect &a, const PixelRect &b) {
    return a.x1 - a.x0 == b.x1 - b.x0 && a.y1 - a.y0 == b.y1 - b.y0;
}

bool IsEmpty(const PixelRect &rect) { return rect.x1 == rect.x0 || rect.y1 == rect.y0; }

// Copies plane p of the plan's rectangles with the plain byte rule of the format.
void CopyPlane(ImageDesc *destination, const ImageDesc *source, const CopyPlan &plan, int p) {
    CopyPlaneSpan(destination->ppu8Plane[p], destination->pi32Pitch[p],
                  SpanOfRect(*plan.info, p, plan.destination), source->ppu8Plane[p],
                  source->pi32Pitch[p], SpanOfRect(*plan.info, p, plan.source));
}

bool HasBytePairs(const PixelFormatInfo &info, int plane) {
    if (info.pairing == ChromaPairing::kSemiPlanar) return plane == 1;
    return info.pairing == ChromaPairing::kPackedLumaEven ||
           info.pairing == ChromaPairing::kPackedLumaOdd;
}

// An odd-width rectangle that starts on a pair and ends at the right edge of both images ends
// on half a pair: the pair's second chroma byte lies past the last pixel's bytes but belongs to
// it, so it travels too. Inside an image the byte beyond would belong to a pixel outside the
// rectangle and is left alone.
void CopyLastHalfPair(ImageDesc *destination, const ImageDesc *source, const CopyPlan &plan,
                      int p) {
    const PixelRect &to = plan.destination;
    const PixelRect &from = plan.source;
    const bool edge = to.x1 == destination->i32Width && from.x1 == source->i32Width;
    if (!edge || ((to.x1 - to.x0) & 1) == 0 || (to.x0 & 1) != 0 || (from.x0 & 1) != 0) return;
    PlaneSpan toSpan = SpanOfRect(*plan.info, p, to);
    PlaneSpan fromSpan = SpanOfRect(*plan.info, p, from);
    // Packed 4:2:2: the pair's last two bytes (Y1 slot and V); interleaved chroma: V.
    const int64_t extra = p == 0 ? 2 : 1;
    toSpan.firstByte += toSpan.rowBytes;
    fromSpan.firstByte += fromSpan.rowBytes;
    toSpan.rowBytes = fromSpan.rowBytes = extra;
    CopyPlaneSpan(destination->ppu8Plane[p], destination->pi32Pitch[p], toSpan,
                  source->ppu8Plane[p], source->pi32Pitch[p], fromSpan);
}

void CopyAllPlanes(ImageDesc *destination, const ImageDesc *source, const CopyPlan &plan) {
    for (int p = 0; p < plan.info->planes; ++p) {
        CopyPlane(destination, source, plan, p);
        if (HasBytePairs(*plan.info, p)) CopyLastHalfPair(destination, source, plan, p);
    }
}

void CopyPackedKeepChroma(ImageDesc *destination, const ImageDesc *source,
                          const CopyPlan &plan) {
    const int lumaOffset = plan.info->pairing == ChromaPairing::kPackedLumaOdd ? 1 : 0;
    const PixelRect &to = plan.destination;
    const PixelRect &from = plan.source;
    for (int32_t r = 0; r < to.y1 - to.y0; ++r) {
        uint8_t *destinationRow = destination->ppu8Plane[0] +
                                  static_cast<int64_t>(to.y0 + r) * destination->pi32Pitch[0];
        const uint8_t *sourceRow =
            source->ppu8Plane[0] + static_cast<int64_t>(from.y0 + r) * source->pi32Pitch[0];
        CopyPackedRowKeepChroma(destinationRow, to.x0, sourceRow, from.x0, to.x1 - to.x0,
                                lumaOffset);
    }
}

void CopySemiPlanarKeepChroma(ImageDesc *destination, const ImageDesc *source,
                              const CopyPlan &plan) {
    CopyPlane(destination, source, plan, 0);
    const PlaneSpan to = SpanOfRect(*plan.info, 1, plan.destination);
    const PlaneSpan from = SpanOfRect(*plan.info, 1, plan.source);
    for (int32_t r = 0; r < to.rows; ++r) {
        uint8_t *destinationRow = destination->ppu8Plane[1] +
                                  static_cast<int64_t>(to.firstRow + r) * destination->pi32Pitch[1];
        const uint8_t *sourceRow = source->ppu8Plane[1] +
                                   static_cast<int64_t>(from.firstRow + r) * source->pi32Pitch[1];
        CopyChromaPairRowKeepOrder(destinationRow, plan.destination.x0, sourceRow,
                                   plan.source.x0, static_cast<int32_t>(to.rowBytes));
    }
}

// A destination chroma column covers destination pixels 2c and 2c + 1. Only the columns whose
// two pixels both lie in the rectangle are written, each from the source column that holds the
// source pixel of its first pixel.
void CopyPlanarKeepChroma(ImageDesc *destination, const ImageDesc *source,
                          const CopyPlan &plan) {
    CopyPlane(destination, source, plan, 0);
    const int32_t width = plan.destination.x1 - plan.destination.x0;
    const bool destinationOdd = (plan.destination.x0 & 1) != 0;
    for (int p = 1; p < plan.info->planes; ++p) {
        PlaneSpan to = SpanOfRect(*plan.info, p, plan.destination);
        PlaneSpan from = SpanOfRect(*plan.info, p, plan.source);
        if (destinationOdd) {
            to.firstByte = (plan.destination.x0 + 1) / 2;
            to.rowBytes = from.rowBytes = (width - 1) / 2;
        }
        CopyPlaneSpan(destination->ppu8Plane[p], destination->pi32Pitch[p], to,
                      source->ppu8Plane[p], source->pi32Pitch[p], from);
    }
}

}  // namespace

bool RectInsideImage(const PixelRect &rect, int32_t width, int32_t height) {
    return rect.x0 >= 0 && rect.y0 >= 0 && rect.x0 <= rect.x1 && rect.y0 <= rect.y1 &&
           rect.x1 <= width && rect.y1 <= height;
}

int PrepareCopy(const ImageDesc *destination, const PixelRect *destinationRect,
                const ImageDesc *source, const PixelRect *sourceRect, CopyPlan *plan) {
    if (!destination || !source) return RESULT_INVALID_ARGUMENT;
    if (destination->u32PixelArrayFormat != source->u32PixelArrayFormat)
        return RESULT_INVALID_ARGUMENT;
    plan->destination = destinationRect ? *destinationRect : WholeImage(*destination);
    plan->source = sourceRect ? *sourceRect : WholeImage(*source);
    if (!RectInsideImage(plan->destination, destination->i32Width, destination->i32Height) ||
        !RectInsideImage(plan->source, source->i32Width, source->i32Height) ||
        !SameSize(plan->destination, plan->source))
        return RESULT_INVALID_ARGUMENT;
    // The format is known before any plane is touched, so an unsupported code never leaves a
    // half-copied image behind.
    plan->info = FindPixelFormat(source->u32PixelArrayFormat);
    if (!plan->info) return RESULT_UNSUPPORTED_FORMAT;
    if (CheckImagePlanes(*destination, *plan->info) != RESULT_OK ||
        CheckImagePlanes(*source, *plan->info) != RESULT_OK)
        return RESULT_INVALID_ARGUMENT;
    return RESULT_OK;
}

void CopyPlaneSpan(uint8_t *destination, int32_t destinationPitch, const PlaneSpan &to,
                   const uint8_t *source, int32_t sourcePitch, const PlaneSpan &from) {
    if (to.rowBytes <= 0) return;
    for (int32_t r = 0; r < to.rows; ++r)
        std::memcpy(destination + SpanRowOffset(to, destinationPitch, r),
                    source + SpanRowOffset(from, sourcePitch, r),
                    static_cast<size_t>(to.rowBytes));
}

int CopyImage(ImageDesc *destination, const ImageDesc *source) {
    return CopyImageRect(destination, nullptr, source, nullptr);
}

int CopyImageRect(ImageDesc *destination, const PixelRect *destinationRect,
                  const ImageDesc *source, const PixelRect *sourceRect) {
    CopyPlan plan;
    const int checked = PrepareCopy(destination, destinationRect, source, sourceRect, &plan);
    if (checked != RESULT_OK) return checked;
    if (!IsEmpty(plan.destination)) CopyAllPlanes(destination, source, plan);
    return RESULT_OK;
}

int CopyImageRectKeepChromaOrder(ImageDesc *destination, const PixelRect *destinationRect,
                                 const ImageDesc *source, const PixelRect *sourceRect) {
    CopyPlan plan;
    const int checked = PrepareCopy(destination, destinationRect, source, sourceRect, &plan);
    if (checked != RESULT_OK) return checked;
    // Two bytes per pixel with no known chroma pairing cannot be re-paired.
    if (plan.info->pairing == ChromaPairing::kPlainTwoBytes) return RESULT_UNSUPPORTED_FORMAT;
    if (IsEmpty(plan.destination)) return RESULT_OK;
    if (((plan.destination.x0 ^ plan.source.x0) & 1) == 0) {
        CopyAllPlanes(destination, source, plan);  // equal parity: the pairs line up already
        return RESULT_OK;
    }
    switch (plan.info->pairing) {
        case ChromaPairing::kPackedLumaEven:
        case ChromaPairing::kPackedLumaOdd:
            CopyPackedKeepChroma(destination, source, plan);
            break;
        case ChromaPairing::kSemiPlanar:
            CopySemiPlanarKeepChroma(destination, source, plan);
            break;
        case ChromaPairing::kPlanarHalfWidth:
            CopyPlanarKeepChroma(destination, source, plan);
            break;
        default:
            CopyAllPlanes(destination, source, plan);
            break;
    }
    return RESULT_OK;
}

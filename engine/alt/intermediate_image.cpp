#include "intermediate_image.h"

#include <algorithm>

#include "core/pixel_format.h"
#include "core/session.h"

namespace {

// Byte range [begin, end) of one plane of a descriptor.
struct ByteRange {
    const uint8_t *begin;
    const uint8_t *end;
};

bool Overlap(const ByteRange &a, const ByteRange &b) {
    return a.begin && b.begin && a.begin < b.end && b.begin < a.end;
}

int32_t PlaneRows(const PixelFormatInfo &info, int32_t plane, int32_t height) {
    return plane == 0 ? height : height >> info.chromaRowShift;
}

ByteRange PlaneRange(const ImageDesc &image, const PixelFormatInfo &info, int32_t plane,
                     int64_t bytesPerRow) {
    const uint8_t *base = image.ppu8Plane[plane];
    const int32_t rows = PlaneRows(info, plane, image.i32Height);
    if (!base || rows < 1) return {nullptr, nullptr};
    const int64_t size = int64_t{rows - 1} * image.pi32Pitch[plane] + bytesPerRow;
    return {base, base + size};
}

// The descriptors must be of the inputs' format and size with planes present and pitches of
// at least `pitchFactor` times the inputs'.
bool DescriptorFits(const ImageDesc &d, const ImageDesc &input, const PixelFormatInfo &info,
                    int32_t pitchFactor) {
    if (d.u32PixelArrayFormat != input.u32PixelArrayFormat || d.i32Width != input.i32Width ||
        d.i32Height != input.i32Height)
        return false;
    for (int32_t p = 0; p < info.planes; ++p)
        if (!d.ppu8Plane[p] || int64_t{d.pi32Pitch[p]} < int64_t{input.pi32Pitch[p]} * pitchFactor)
            return false;
    return true;
}

}  // namespace

IntermediateChromaRows IntermediateChromaPlacement(uint32_t format) {
    switch (format) {
        case 0x601: case 0x605: case 0x801: case 0x802: return kIntermediateChromaPairs;
        case 0x803: return kIntermediateChromaEveryRow;
        case 0x603: return kIntermediateChromaPlanar422;
        default: return kIntermediateNoChroma;
    }
}

bool IsParitySplit(const IntermediateImage &image) {
    return image.layout == INTERMEDIATE_LAYOUT_PARITY_SPLIT;
}

uint8_t *IntermediateEvenPlane(const HdrSession *s, int32_t plane) {
    if (!s || plane < 0 || plane > 2) return nullptr;
    return s->alternativeOutputPlanes[0][plane];
}

uint8_t *IntermediateOddPlane(const HdrSession *s, int32_t plane) {
    if (!s || plane < 0 || plane > 2) return nullptr;
    return s->alternativeOutputPlanes[1][plane];
}

IntermediateRowPlace PlaceIntermediateRow(int32_t layout, uint32_t format, int32_t plane,
                                          int32_t r) {
    const int32_t planes = IntermediatePlaneCount(format);
    if (r < 0 || plane < 0 || plane >= planes) return {0, -1};
    const bool split = layout == INTERMEDIATE_LAYOUT_PARITY_SPLIT;
    if (plane == 0) return split ? IntermediateRowPlace{r & 1, r >> 1} : IntermediateRowPlace{0, r};
    switch (IntermediateChromaPlacement(format)) {
        case kIntermediateChromaPairs: {
            const int32_t k = r >> 1;
            return split ? IntermediateRowPlace{k & 1, k >> 1} : IntermediateRowPlace{0, k};
        }
        case kIntermediateChromaEveryRow:
            return split ? IntermediateRowPlace{r & 1, r >> 1} : IntermediateRowPlace{0, r >> 1};
        case kIntermediateChromaPlanar422:
            return split ? IntermediateRowPlace{r & 1, r >> 1} : IntermediateRowPlace{0, r};
        default:
            return {0, -1};
    }
}

int16_t *IntermediatePlaneRow(const HdrSession *s, int32_t plane, int32_t r) {
    if (!s || plane < 0 || plane > 2) return nullptr;
    const IntermediateImage &image = s->intermediate;
    if (r < 0 || r >= image.processRect.height) return nullptr;
    const IntermediateRowPlace place = PlaceIntermediateRow(image.layout, image.format, plane, r);
    if (place.row < 0) return nullptr;
    uint8_t *base = s->alternativeOutputPlanes[place.descriptor][plane];
    if (!base) return nullptr;
    return reinterpret_cast<int16_t *>(base + place.row * image.rowBytes[place.descriptor][plane]);
}

int RecordIntermediateImage(HdrSession *s, const ImageDesc *inputs, int32_t count,
                            const ImageDesc *outputs, int32_t layout,
                            const RegionRect &processRect) {
    if (!s || !inputs || !outputs || count < 1 || count > kMaxExposures)
        return RESULT_INVALID_ARGUMENT;
    const ImageDesc &input = inputs[0];
    const uint32_t format = input.u32PixelArrayFormat;
    const PixelFormatInfo *info = FindPixelFormat(format);
    if (!info || !IsIntermediateFormat(format)) return RESULT_INVALID_ARGUMENT;
    const bool split = layout == INTERMEDIATE_LAYOUT_PARITY_SPLIT;
    const int32_t descriptors = split ? 2 : 1;
    for (int32_t d = 0; d < descriptors; ++d)
        if (!DescriptorFits(outputs[d], input, *info, split ? 1 : 2)) return RESULT_INVALID_ARGUMENT;

    // What the merge may write of each plane: 16-bit rows of twice the inputs' row bytes; in
    // a parity plane 16-bit row j covers 8-bit rows 2j and 2j + 1, so the last 8-bit row holds
    // the second half of a 16-bit row.
    ByteRange written[2][3] = {};
    for (int32_t d = 0; d < descriptors; ++d)
        for (int32_t p = 0; p < info->planes; ++p)
            written[d][p] =
                PlaneRange(outputs[d], *info, p, int64_t{input.pi32Pitch[p]} * (split ? 1 : 2));
    for (int32_t a = 0; a < descriptors * info->planes; ++a) {
        const ByteRange &range = written[a / info->planes][a % info->planes];
        for (int32_t b = a + 1; b < descriptors * info->planes; ++b)
            if (Overlap(range, written[b / info->planes][b % info->planes]))
                return RESULT_INVALID_ARGUMENT;
        for (int32_t i = 0; i < count; ++i)
            for (int32_t p = 0; p < info->planes; ++p)
                if (Overlap(range, PlaneRange(inputs[i], *info, p, inputs[i].pi32Pitch[p])))
                    return RESULT_INVALID_ARGUMENT;
    }

    IntermediateImage image{};
    image.layout = split ? INTERMEDIATE_LAYOUT_PARITY_SPLIT : INTERMEDIATE_LAYOUT_FULL;
    image.format = format;
    image.width = input.i32Width;
    image.height = input.i32Height;
    image.processRect = processRect;
    for (int32_t p = 0; p < 3; ++p) {
        image.pitch[p] = p < info->planes ? input.pi32Pitch[p] : 0;
        for (int32_t d = 0; d < 2; ++d) {
            const bool used = p < info->planes && d < descriptors;
            // A parity plane's 16-bit row j covers the descriptor's 8-bit rows 2j and 2j + 1.
            image.rowBytes[d][p] = used ? int64_t{outputs[d].pi32Pitch[p]} * (split ? 2 : 1) : 0;
            s->alternativeOutputPlanes[d][p] = used ? outputs[d].ppu8Plane[p] : nullptr;
        }
    }
    s->intermediate = image;
    return RESULT_OK;
}

void ClearIntermediateImage(HdrSession *s) {
    if (!s) return;
    s->intermediateReady = 0;
    s->intermediate = IntermediateImage{};
    for (auto &planes : s->alternativeOutputPlanes)
        for (uint8_t *&plane : planes) plane = nullptr;
}

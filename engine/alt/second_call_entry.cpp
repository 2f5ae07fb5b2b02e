// Public entries of the two-call merge's second calls: everything is checked against the record
// the merge left before a byte is read or written.
#include "alt/block_exposure_map.h"
#include "alt/intermediate_image.h"
#include "alt/tone_map_intermediate.h"
#include "core/hdr_engine.h"
#include "core/pixel_format.h"
#include "core/session.h"

namespace {

constexpr int32_t kTwoCallExposures = 3;

struct Range {
    const uint8_t *begin;
    const uint8_t *end;
};

bool Overlaps(const Range &a, const Range &b) {
    return a.begin && b.begin && a.begin < b.end && b.begin < a.end;
}

int32_t PlaneRows(const PixelFormatInfo &info, int32_t plane, int32_t height) {
    return plane == 0 ? height : height >> info.chromaRowShift;
}

// Bytes of the intermediate's plane p in descriptor d: every 16-bit row it may hold.
Range IntermediateRange(const HdrSession *s, const PixelFormatInfo &info, int32_t d, int32_t p) {
    const IntermediateImage &im = s->intermediate;
    const uint8_t *base = s->alternativeOutputPlanes[d][p];
    const int32_t rows = PlaneRows(info, p, im.height);
    if (!base || rows < 1) return {nullptr, nullptr};
    const int32_t kept = IsParitySplit(im) ? (rows + 1) / 2 : rows;
    return {base, base + int64_t{kept - 1} * im.rowBytes[d][p] + 2 * int64_t{im.pitch[p]}};
}

Range OutputRange(const ImageDesc &out, const PixelFormatInfo &info, int32_t p) {
    const int32_t rows = PlaneRows(info, p, out.i32Height);
    const uint8_t *base = out.ppu8Plane[p];
    if (!base || rows < 1) return {nullptr, nullptr};
    return {base, base + int64_t{rows - 1} * out.pi32Pitch[p] + MinimumRowBytes(info, p, out.i32Width)};
}

int CheckToneOutput(const HdrSession *s, const ImageDesc *output) {
    const uint32_t f = output->u32PixelArrayFormat;
    if (!IsIntermediateFormat(f)) return RESULT_UNSUPPORTED_FORMAT;
    const IntermediateImage &im = s->intermediate;
    if (f != im.format || output->i32Width != im.width || output->i32Height != im.height)
        return RESULT_INVALID_ARGUMENT;
    const PixelFormatInfo *info = FindPixelFormat(f);
    if (!info) return RESULT_UNSUPPORTED_FORMAT;
    const int32_t descriptors = IsParitySplit(im) ? 2 : 1;
    for (int32_t p = 0; p < info->planes; ++p) {
        if (!output->ppu8Plane[p] || output->pi32Pitch[p] != im.pitch[p])
            return RESULT_INVALID_ARGUMENT;
        for (int32_t d = 0; d < descriptors; ++d)
            for (int32_t q = 0; q < info->planes; ++q)
                if (Overlaps(OutputRange(*output, *info, p), IntermediateRange(s, *info, d, q)))
                    return RESULT_INVALID_ARGUMENT;
    }
    // The renderer writes whole four-pixel groups of the process rectangle.
    if (im.processRect.width < 8 || im.processRect.width % 4 != 0 || im.processRect.height < 8 ||
        int64_t{im.processRect.x} + im.processRect.width > im.width ||
        int64_t{im.processRect.y} + im.processRect.height > im.height)
        return RESULT_INVALID_ARGUMENT;
    return RESULT_OK;
}

}  // namespace

int ToneMapIntermediate(MemoryContext memory, HdrSession *session,
                        const __tag_QELV_OFFSCREEN *descriptors, int32_t count,
                        __tag_QELV_OFFSCREEN *output, int32_t toneLength, int32_t brightness,
                        ProgressCallback progress, void *user) {
    if (!session || !descriptors || !output || count != kTwoCallExposures)
        return RESULT_INVALID_ARGUMENT;
    if (!session->intermediateReady) return RESULT_INVALID_ARGUMENT;
    const int r = CheckToneOutput(session, output);
    if (r != RESULT_OK) return r;
    return RunToneMapIntermediate(memory, session, descriptors, count, output,
                                  SanitizeToneLength(toneLength), SanitizeBrightness(brightness),
                                  progress, user, true);
}

int BuildBlockExposureMap(MemoryContext memory, HdrSession *session, uint8_t *const *planes,
                          int32_t count, int32_t width, int32_t height, int32_t pitch, int32_t,
                          int64_t, int32_t toneLength, int64_t, uint32_t format,
                          ProgressCallback progress, void *user, uint8_t *borderedMap,
                          int64_t borderedMapBytes, double *stopTable, int32_t stopTableEntries) {
    if (!session || !planes || count != kTwoCallExposures) return RESULT_INVALID_ARGUMENT;
    if (!IsIntermediateFormat(format)) return RESULT_UNSUPPORTED_FORMAT;
    const IntermediateImage &im = session->intermediate;
    if (!session->intermediateReady || format != im.format || width != im.width ||
        height != im.height || pitch != im.pitch[0])
        return RESULT_INVALID_ARGUMENT;
    for (int32_t i = 0; i < count; ++i)
        if (!planes[i] || !session->exposureLuts[i]) return RESULT_INVALID_ARGUMENT;
    for (const int16_t *grid : session->fusionWeightGrids)
        if (!grid) return RESULT_INVALID_ARGUMENT;
    if (session->blocksAcross != (width + 31) / 32 || session->blocksDown != (height + 31) / 32)
        return RESULT_INVALID_ARGUMENT;
    const uint8_t *const *readPlanes = planes;
    return RunBlockExposureMap(memory, session, readPlanes, width, height, pitch,
                              SanitizeToneLength(toneLength), format, progress, user,
                              {borderedMap, borderedMapBytes, stopTable, stopTableEntries});
}

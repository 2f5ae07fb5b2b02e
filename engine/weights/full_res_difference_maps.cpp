// Applies the 1/8-scale difference maps to the full-resolution inputs in place: every row's
// offsets are expanded bilinearly from the padded maps, one offset per group of four pixels.
#include "auxiliary_tools.h"
#include "core/memory.h"
#include "core/pixel_format.h"
#include "core/plane_border.h"
#include "filters/grid_rows.h"

namespace {

// The three maps in the order of fineGrids: reference, dark, bright.
enum { kMapReference = 0, kMapDark = 1, kMapBright = 2, kMapCount = 3 };

// Where the luma of pixel x lies in a row of plane 0.
struct LumaLayout {
    int32_t step;
    int32_t offset;
};

bool FindLumaLayout(uint32_t format, LumaLayout *layout) {
    const PixelFormatInfo *info = FindPixelFormat(format);
    if (!info) return false;
    if (info->lumaBytes == 1) *layout = {1, 0};
    else if (info->pairing == ChromaPairing::kPackedLumaEven) *layout = {2, 0};
    else if (info->pairing == ChromaPairing::kPackedLumaOdd) *layout = {2, 1};
    else return false;
    return true;
}

struct Target {
    uint8_t *plane;
    int32_t pitch;
};

int32_t CheckInputs(const HdrSession &s, Target *targets, LumaLayout *layout) {
    const int32_t indices[kMapCount] = {s.referenceIndex, s.darkIndex, s.brightIndex};
    if (s.exposureCount < kMapCount || s.exposureCount > kMaxExposures) return RESULT_INVALID_ARGUMENT;
    for (int k = 0; k < kMapCount; ++k)
        if (indices[k] < 0 || indices[k] >= s.exposureCount || indices[k] == indices[(k + 1) % kMapCount])
            return RESULT_INVALID_ARGUMENT;
    const ImageDesc &first = s.inputImages[indices[0]];
    if (first.i32Width < 1 || first.i32Height < 1) return RESULT_INVALID_ARGUMENT;
    if (!FindLumaLayout(first.u32PixelArrayFormat, layout)) return RESULT_UNSUPPORTED_FORMAT;
    const int64_t rowBytes = int64_t{layout->step} * first.i32Width;
    for (int k = 0; k < kMapCount; ++k) {
        const ImageDesc &image = s.inputImages[indices[k]];
        if (image.u32PixelArrayFormat != first.u32PixelArrayFormat || image.i32Width != first.i32Width ||
            image.i32Height != first.i32Height || !image.ppu8Plane[0] || image.pi32Pitch[0] < rowBytes)
            return RESULT_INVALID_ARGUMENT;
        targets[k] = {image.ppu8Plane[0], image.pi32Pitch[0]};
    }
    return RESULT_OK;
}

uint8_t AddClamped(uint8_t value, int32_t offset) {
    const int32_t v = value + offset;
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// One full-resolution row: offsets from the expanded map rows, taken at each group's first pixel.
void ApplyRow(uint8_t *const rows[kMapCount], int16_t *const offsets[kMapCount], int32_t width,
              const LumaLayout &layout) {
    for (int32_t x = 0; x < width; x += 4) {
        const size_t at = static_cast<size_t>(x) * layout.step + layout.offset;
        int32_t o[kMapCount];
        for (int k = 0; k < kMapCount; ++k) o[k] = offsets[k][x] - 256;
        // Near black the bright exposure's change fades out, near white the dark one's.
        const int32_t bright = rows[kMapBright][at], dark = rows[kMapDark][at];
        if (bright < 64) o[kMapBright] = (o[kMapBright] * bright) >> 6;
        if (dark >= 224) o[kMapDark] = (o[kMapDark] * (255 - dark)) >> 5;
        const int32_t end = x + 4 < width ? x + 4 : width;
        for (int k = 0; k < kMapCount; ++k)
            for (int32_t p = x; p < end; ++p) {
                uint8_t &luma = rows[k][static_cast<size_t>(p) * layout.step + layout.offset];
                luma = AddClamped(luma, o[k]);
            }
    }
}

}  // namespace

int32_t ApplyDifferenceMapsFullRes(HdrSession *session) {
    if (!session || !session->inputImages || !session->previewImage) return RESULT_INVALID_ARGUMENT;
    const HdrSession &s = *session;
    const int32_t mapWidth = s.previewImage->i32Width, mapHeight = s.previewImage->i32Height;
    if (mapWidth < 1 || mapHeight < 1 || s.fineGridStride != mapWidth || s.fineGridRows != mapHeight)
        return RESULT_INVALID_ARGUMENT;
    for (int k = 0; k < kMapCount; ++k)
        if (!s.fineGrids[k]) return RESULT_INVALID_ARGUMENT;
    Target targets[kMapCount];
    LumaLayout layout{};
    if (const int32_t r = CheckInputs(s, targets, &layout); r != RESULT_OK) return r;
    const int32_t width = s.inputImages[s.referenceIndex].i32Width;
    const int32_t height = s.inputImages[s.referenceIndex].i32Height;

    // One block: the three padded maps, then one expanded row per map.
    const int32_t stride = mapWidth + 2, gridRows = mapHeight + 2;
    const uint64_t padded = static_cast<uint64_t>(stride) * static_cast<uint64_t>(gridRows);
    const uint64_t rowLength = (static_cast<uint64_t>(width) + 3) & ~uint64_t{3};
    auto *block = static_cast<int16_t *>(AllocateMemory(nullptr, kMapCount * (padded + rowLength) * sizeof(int16_t)));
    if (!block) return RESULT_OUT_OF_MEMORY;
    int16_t *maps[kMapCount];
    int16_t *offsets[kMapCount];
    for (int k = 0; k < kMapCount; ++k) {
        maps[k] = block + k * padded;
        offsets[k] = block + kMapCount * padded + k * rowLength;
        PadPlane16(s.fineGrids[k], maps[k], mapWidth, mapHeight);
    }
    for (int32_t y = 0; y < height; ++y) {
        uint8_t *rows[kMapCount];
        for (int k = 0; k < kMapCount; ++k) {
            InterpolateGridRow8(offsets[k], 0, width, (y + 4) >> 3, maps[k], stride, gridRows, (y + 4) & 7);
            rows[k] = targets[k].plane + static_cast<size_t>(y) * targets[k].pitch;
        }
        ApplyRow(rows, offsets, width, layout);
    }
    FreeMemory(nullptr, block);
    return RESULT_OK;
}

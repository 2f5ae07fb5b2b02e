// Preparation of the intermediate's tone mapping: tone, chroma and brightness tables from T and
// Br, the gain-row buffers, the coarse gain grid of the intermediate's luma and the gain table.
#include <algorithm>
#include <cstdlib>

#include "alt/intermediate_image.h"
#include "alt/tone_map_intermediate.h"
#include "core/memory.h"
#include "core/tone_tables.h"
#include "filters/base_layer.h"
#include "filters/local_gain.h"

namespace {

constexpr int32_t kDefaultToneLength = 25;
constexpr int32_t kCellSide = 8;
// Below this sum of the reference's chroma offsets from the bright exposure the scene's colour
// is trusted and saturated more.
constexpr int32_t kChromaAgreement = 16;

// Gain-row values a pass needs: the three rows ExpandGainRow8 keeps, more for packed rows.
int64_t GainRowValues(uint32_t format, int32_t planeWidth) {
    switch (format) {
        case PIXEL_FORMAT_YUYV: return 6 * int64_t{planeWidth};
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
        case PIXEL_FORMAT_NV16: return 3 * int64_t{planeWidth} + 192;
        default: return 3 * int64_t{planeWidth};
    }
}

int GrowOffsetRows(MemoryContext memory, HdrSession *s, int slot, int64_t values) {
    if (s->offsetRows[slot] && s->offsetRowsCapacity[slot] >= values) return RESULT_OK;
    FreeAndClear(memory, s->offsetRows[slot]);
    s->offsetRowsCapacity[slot] = 0;
    s->offsetRows[slot] = AllocateZeroed<int16_t>(memory, uint64_t(values));
    if (!s->offsetRows[slot]) return RESULT_OUT_OF_MEMORY;
    s->offsetRowsCapacity[slot] = values;
    return RESULT_OK;
}

bool EvenPlanesPresent(const HdrSession *s, uint32_t format) {
    for (int32_t p = 0; p < IntermediatePlaneCount(format); ++p)
        if (!IntermediateEvenPlane(s, p)) return false;
    return IntermediatePlaneCount(format) > 0;
}

void SetPlaneWidths(HdrSession *s, uint32_t format, int32_t width) {
    s->planeWidths[0] = width;
    if (format == PIXEL_FORMAT_YUYV) return;
    if (format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21) {
        s->planeWidths[1] = width;
    } else {
        s->planeWidths[1] = width / 2;
        s->planeWidths[2] = width / 2;
    }
}

// One format's preparation; `gridFormat` is the code the coarse cells are sampled for.
int PrepareFormat(MemoryContext memory, HdrSession *s, int32_t width, int32_t height,
                  int32_t strength, uint32_t gridFormat) {
    if (!s->toneTable || !s->chromaTable) return RESULT_OUT_OF_MEMORY;
    const uint32_t format = s->intermediate.format;
    const int64_t values =
        std::max(GainRowValues(format, s->planeWidths[0]), 3 * int64_t{width});
    for (int slot = 0; slot < 2; ++slot)
        if (GrowOffsetRows(memory, s, slot, values) != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    if (!s->gainTable || !EvenPlanesPresent(s, format)) return RESULT_OUT_OF_MEMORY;
    if (BuildIntermediateGainGrid(memory, s, width, height, gridFormat) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    return SetUpLocalGainTable(memory, s, strength);
}

// Luma sample at column c of a 16-bit luma row, held to the last column the merge wrote.
int32_t CoarseSample(const int16_t *row, int32_t column, int32_t lastColumn, bool packed) {
    const int32_t c = std::min(column, lastColumn);
    return std::max<int32_t>(row[packed ? 2 * c : c], 0);
}

}  // namespace

int32_t SanitizeToneLength(int64_t t) {
    return t < 0 || t > 100 ? kDefaultToneLength : int32_t(t);
}

int32_t SanitizeBrightness(int64_t b) { return b < -100 || b > 100 ? 0 : int32_t(b); }

ToneMapLevels DeriveToneMapLevels(const HdrSession *s, int32_t t) {
    ToneMapLevels l{};
    if (t < 26) {
        l.contrast = 10;
    } else if (t < 50) {
        l.contrast = 2 * t - 50;
    } else {
        l.contrast = 2 * t - 100;
        l.brightnessStart = 2 * t - 100;
    }
    l.gainStrength = t < 50 ? t + 10 : t + 30;
    if (t >= 50) {
        const int32_t offset =
            std::abs(s->refBrightChromaOffsetU) + std::abs(s->refBrightChromaOffsetV);
        l.saturation = offset < kChromaAgreement ? 2 * t - 50 : t - 50;
    }
    return l;
}

ToneRenderSize ToneMapRenderSize(const HdrSession *s) {
    return {int32_t(s->intermediate.processRect.width), s->intermediate.processRect.height};
}

int BuildIntermediateGainGrid(MemoryContext memory, HdrSession *s, int32_t width, int32_t height,
                              uint32_t format) {
    const int32_t n = width / kCellSide, rows = height / kCellSide;
    if (n < 1 || rows < 1) return RESULT_OUT_OF_MEMORY;
    const int64_t cells = int64_t{n} * rows;
    int16_t *grid = AllocateZeroed<int16_t>(memory, uint64_t(cells));
    int16_t *scratch = AllocateZeroed<int16_t>(memory, uint64_t(cells));
    if (!grid || !scratch) {
        FreeAndClear(memory, grid);
        FreeAndClear(memory, scratch);
        return RESULT_OUT_OF_MEMORY;
    }
    const bool packed = format == PIXEL_FORMAT_YUYV;
    const int32_t x0 = int32_t(s->intermediate.processRect.x);
    const int32_t last = x0 + width - 1;
    // Packed cells take pixels 3 and 4 of the cell, the others pixels 6 and 8 (the next
    // cell's first), from process rows 8r + 6 and 8r + 1.
    const int32_t first = packed ? 3 : 6, second = packed ? 4 : 8;
    for (int32_t r = 0; r < rows; ++r) {
        const int16_t *even = IntermediateLumaRow(s, kCellSide * r + 6);
        const int16_t *odd = IntermediateLumaRow(s, kCellSide * r + 1);
        for (int32_t c = 0; c < n; ++c) {
            const int32_t x = x0 + kCellSide * c;
            const int32_t sum = CoarseSample(even, x + first, last, packed) +
                                CoarseSample(even, x + second, last, packed) +
                                CoarseSample(odd, x + first, last, packed) +
                                CoarseSample(odd, x + second, last, packed);
            scratch[int64_t{r} * n + c] = int16_t((sum + 2) >> 4);
        }
    }
    const int r = ComputeLocalLogStatistics(memory, nullptr, scratch, n, rows,
                                            reinterpret_cast<uint16_t *>(grid));
    FreeAndClear(memory, scratch);
    if (r != RESULT_OK) {
        FreeAndClear(memory, grid);
        return RESULT_OUT_OF_MEMORY;
    }
    FreeAndClear(memory, s->gainGrid);
    s->gainGrid = grid;
    s->gainGridStride = n;
    s->gainGridRows = rows;
    return RESULT_OK;
}

int PrepareToneMappingPacked422(MemoryContext memory, HdrSession *s, int32_t w, int32_t h,
                                int32_t strength) {
    return PrepareFormat(memory, s, w, h, strength, PIXEL_FORMAT_YUYV);
}

int PrepareToneMappingSemiPlanar420(MemoryContext memory, HdrSession *s, int32_t w, int32_t h,
                                    int32_t strength) {
    return PrepareFormat(memory, s, w, h, strength, PIXEL_FORMAT_NV12);
}

int PrepareToneMappingSemiPlanar422(MemoryContext memory, HdrSession *s, int32_t w, int32_t h,
                                    int32_t strength) {
    return PrepareFormat(memory, s, w, h, strength, PIXEL_FORMAT_NV16);
}

int PrepareToneMappingPlanar420(MemoryContext memory, HdrSession *s, int32_t w, int32_t h,
                                int32_t strength) {
    return PrepareFormat(memory, s, w, h, strength, PIXEL_FORMAT_I420);
}

int PrepareToneMappingPlanar422(MemoryContext memory, HdrSession *s, int32_t w, int32_t h,
                                int32_t strength) {
    return PrepareFormat(memory, s, w, h, strength, PIXEL_FORMAT_YUV422P);
}

int PrepareIntermediateToneMapping(MemoryContext memory, HdrSession *s, const ImageDesc *, int32_t,
                                   ImageDesc *output, int32_t t, int32_t br, ProgressCallback,
                                   void *) {
    if (!IsIntermediateFormat(output->u32PixelArrayFormat)) return RESULT_UNSUPPORTED_FORMAT;
    s->toneLength = t;
    s->brightness = br;
    const ToneMapLevels l = DeriveToneMapLevels(s, t);
    const uint32_t format = output->u32PixelArrayFormat;
    SetPlaneWidths(s, format, output->i32Width);
    int r = BuildContrastCurve(s, 0, l.contrast);
    if (r != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    r = t < 50 ? BuildSaturationTable(s, 0, l.saturation)
               : BuildSaturationTableVariant(s, 0, l.saturation);
    if (r != RESULT_OK) return RESULT_OUT_OF_MEMORY;
    if (ApplyBrightnessLevel(memory, s, 0, br, l.brightnessStart) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    const ToneRenderSize size = ToneMapRenderSize(s);
    switch (format) {
        case PIXEL_FORMAT_YUYV:
            return PrepareToneMappingPacked422(memory, s, size.width, size.height, l.gainStrength);
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
            return PrepareToneMappingSemiPlanar420(memory, s, size.width, size.height,
                                                   l.gainStrength);
        case PIXEL_FORMAT_NV16:
            return PrepareToneMappingSemiPlanar422(memory, s, size.width, size.height,
                                                   l.gainStrength);
        case PIXEL_FORMAT_I420:
        case 0x605:
            return PrepareToneMappingPlanar420(memory, s, size.width, size.height,
                                               l.gainStrength);
        case PIXEL_FORMAT_YUV422P:
            return PrepareToneMappingPlanar422(memory, s, size.width, size.height,
                                               l.gainStrength);
        default: return RESULT_UNSUPPORTED_FORMAT;  // refused at the entry; never "done"
    }
}

#include "guided_band.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "core/memory.h"
#include "core/row_helpers.h"
#include "core/threads.h"
#include "filters/guided_band_internal.h"
#include "filters/guided_row_kernels.h"

namespace guided_band {
namespace {

inline int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// A table of equal rows in one block; table[0] is the block.
template <typename T>
T **AllocateRows(MemoryContext memory, int32_t rows, int64_t rowBytes) {
    T **table = AllocateZeroed<T *>(memory, static_cast<uint64_t>(rows));
    if (!table) return nullptr;
    const uint64_t bytes = static_cast<uint64_t>(rows) * static_cast<uint64_t>(rowBytes);
    auto *block = AllocateZeroed<uint8_t>(memory, bytes > 0 ? bytes : 8);
    if (!block) {
        FreeMemory(memory, table);
        return nullptr;
    }
    for (int32_t i = 0; i < rows; ++i) table[i] = reinterpret_cast<T *>(block + i * rowBytes);
    return table;
}

template <typename T>
void FreeRows(MemoryContext memory, T **&table) {
    if (!table) return;
    FreeMemory(memory, table[0]);
    FreeAndClear(memory, table);
}

// Reads band-relative row j of the guide and/or the input straight from the planes into
// buffers of rowCapacity samples (index 0 = column bandX - r).
void ReadPlaneRow(const GuidedBandContext *c, int32_t j, int32_t r, uint8_t *guide,
                  uint8_t *input) {
    const int32_t row = Clamp(c->bandY + j, 0, c->planeHeight - 1);
    if (guide)
        ReadClampedRow8(c->guidePlane, c->guidePitch, c->planeWidth, c->sampleStep,
                        c->sampleOffset, r, c->bandX, c->bandWidth, row, guide + r);
    if (!input) return;
    if (c->inputBytes == 2) {
        ReadClampedRow16(reinterpret_cast<const int16_t *>(c->inputPlane), c->inputPitch,
                         c->planeWidth, 1, 0, r, c->bandX, c->bandWidth, row,
                         reinterpret_cast<int16_t *>(input) + r);
    } else {
        ReadClampedRow8(c->inputPlane, c->inputPitch, c->planeWidth, c->sampleStep,
                        c->sampleOffset, r, c->bandX, c->bandWidth, row, input + r);
    }
}

void AccumulateAny(GuidedBandContext *c, int32_t slot, int32_t length, bool add) {
    if (c->inputBytes == 2)
        AccumulateRow<int16_t>(c, slot, length, add);
    else if (c->signedInput)
        AccumulateRow<int8_t>(c, slot, length, add);
    else
        AccumulateRow<uint8_t>(c, slot, length, add);
}

}  // namespace

void LoadRow(GuidedBandContext *c, int32_t j, int32_t r) {
    const int32_t slot = Mod(j, 2 * r + 1);
    uint8_t *guide = c->guideRows[slot];
    uint8_t *input = c->inputRows[slot];
    const bool frozen = j >= c->frozenFirst && j < c->frozenFirst + c->frozenCount;
    const size_t length = static_cast<size_t>(c->bandWidth + 2 * r);
    if (frozen && c->frozenGuideRows) {
        CopyBytes(guide, c->frozenGuideRows[j - c->frozenFirst], length);
        guide = nullptr;
    }
    if (frozen && c->frozenInputRows) {
        CopyBytes(input, c->frozenInputRows[j - c->frozenFirst], length * c->inputBytes);
        input = nullptr;
    }
    ReadPlaneRow(c, j, r, guide, input);
}

GuidedBandContext *AllocateContext(MemoryContext memory, const BandPlanes &planes, int32_t radius,
                                   const PixelRect &band, double eps) {
    auto *c = AllocateZeroed<GuidedBandContext>(memory, 1);
    if (!c) return nullptr;
    c->guideImage = planes.guide;
    c->inputImage = planes.inputImage;
    c->outputImage = planes.outputImage;
    c->inputPlane = planes.inputPlane;
    c->outputPlane = planes.outputPlane;
    c->inputPitch = planes.inputPitch;
    c->outputPitch = planes.outputPitch;
    c->inputBytes = planes.inputBytes;
    c->bandRect = band;
    c->radius = radius;
    c->eps = eps;
    c->maxValue = 255;
    c->radiusDivisor = 1;
    const int64_t capacity = int64_t{band.x1} - band.x0 + 2 * int64_t{radius};
    c->rowCapacity = static_cast<int32_t>(capacity);
    const int32_t ring = 2 * radius + 1;
    const int32_t width = band.x1 - band.x0;
    c->guideRows = AllocateRows<uint8_t>(memory, ring, capacity);
    c->inputRows = AllocateRows<uint8_t>(memory, ring, capacity * planes.inputBytes);
    c->coeffRowsA = AllocateRows<int32_t>(memory, ring + 1, width * int64_t{sizeof(int32_t)});
    c->coeffRowsB = AllocateRows<int32_t>(memory, ring + 1, width * int64_t{sizeof(int32_t)});
    const uint64_t sums = static_cast<uint64_t>(capacity > 0 ? capacity : 1);
    c->sumII = AllocateZeroed<int64_t>(memory, sums);
    c->sumIp = AllocateZeroed<int64_t>(memory, sums);
    c->sumI = AllocateZeroed<int64_t>(memory, sums);
    c->sumP = AllocateZeroed<int64_t>(memory, sums);
    c->colSumA = AllocateZeroed<int64_t>(memory, static_cast<uint64_t>(width > 0 ? width : 1));
    c->colSumB = AllocateZeroed<int64_t>(memory, static_cast<uint64_t>(width > 0 ? width : 1));
    if (!c->guideRows || !c->inputRows || !c->coeffRowsA || !c->coeffRowsB || !c->sumII ||
        !c->sumIp || !c->sumI || !c->sumP || !c->colSumA || !c->colSumB) {
        FreeGuidedBandContext(memory, c);
        return nullptr;
    }
    return c;
}

bool FreezeRowsBelowBand(MemoryContext memory, GuidedBandContext *c, bool guide, bool input) {
    if ((!guide && !input) || c->bandHeight <= 0 || c->bandWidth <= 0) return true;
    const int32_t r = c->radius / c->radiusDivisor;
    // After priming, the worker reads band rows r + 1 .. H - 1 + r; those from H on belong
    // to the bands below.
    const int32_t first = r + 1 > c->bandHeight ? r + 1 : c->bandHeight;
    const int32_t last = c->bandHeight - 1 + r;
    if (first > last) return true;
    const int32_t count = last - first + 1;
    const int64_t length = c->bandWidth + 2 * int64_t{r};
    if (guide) {
        c->frozenGuideRows = AllocateRows<uint8_t>(memory, count, length);
        if (!c->frozenGuideRows) return false;
    }
    if (input) {
        c->frozenInputRows = AllocateRows<uint8_t>(memory, count, length * c->inputBytes);
        if (!c->frozenInputRows) return false;
    }
    for (int32_t i = 0; i < count; ++i)
        ReadPlaneRow(c, first + i, r, guide ? c->frozenGuideRows[i] : nullptr,
                     input ? c->frozenInputRows[i] : nullptr);
    c->frozenFirst = first;
    c->frozenCount = count;
    return true;
}

Aliasing CompareRanges(const void *a, int64_t aPitch, int64_t aBytesPerRow, int32_t aRows,
                       const void *b, int64_t bPitch, int64_t bBytesPerRow, int32_t bRows) {
    if (!a || !b || aRows <= 0 || bRows <= 0) return Aliasing::kNone;
    if (a == b && aPitch == bPitch) return Aliasing::kSameRows;
    const auto aStart = reinterpret_cast<uintptr_t>(a);
    const auto bStart = reinterpret_cast<uintptr_t>(b);
    const uintptr_t aEnd = aStart + static_cast<uintptr_t>(aPitch * (aRows - 1) + aBytesPerRow);
    const uintptr_t bEnd = bStart + static_cast<uintptr_t>(bPitch * (bRows - 1) + bBytesPerRow);
    return aStart < bEnd && bStart < aEnd ? Aliasing::kOverlap : Aliasing::kNone;
}

void FreeBandContexts(MemoryContext memory, GuidedBandContext *contexts[4]) {
    for (int32_t i = 0; i < 4; ++i) {
        FreeGuidedBandContext(memory, contexts[i]);
        contexts[i] = nullptr;
    }
}

int32_t RunBands(MemoryContext memory, GuidedBandContext *contexts[4], int (*job)(void *),
                 JobRunner runner) {
    const int32_t result = runner(4, job, contexts, sizeof(GuidedBandContext *));
    FreeBandContexts(memory, contexts);
    return result;
}

}  // namespace guided_band

using namespace guided_band;

namespace {

bool SameImageSize(const ImageDesc &a, const ImageDesc &b) {
    return a.i32Width == b.i32Width && a.i32Height == b.i32Height;
}


// The 8-bit output: q = (I mA + 64 mB) >> 10 clamped to 0..255; rows of contiguous samples go
// through the row kernel, interleaved ones sample by sample.
struct Output8 {
    void operator()(GuidedBandContext *ctx, int32_t y, int32_t x, int32_t guide, int64_t mA,
                    int64_t mB) const {
        const int64_t q = (guide * mA + 64 * mB) >> 10;
        ctx->outputPlane[static_cast<int64_t>(y) * ctx->outputPitch +
                         static_cast<int64_t>(x) * ctx->sampleStep + ctx->sampleOffset] =
            static_cast<uint8_t>(ClampByte(q));
    }
    void Row(GuidedBandContext *ctx, int32_t u, const uint8_t *guideRow, int32_t r) const {
        if (ctx->sampleStep != 1) {
            OutputRow(ctx, u, guideRow, r, *this);
            return;
        }
        uint8_t *out = ctx->outputPlane + static_cast<int64_t>(ctx->bandY + u) * ctx->outputPitch +
                       ctx->bandX + ctx->sampleOffset;
        GuidedOutputRow8(ctx->colSumA, ctx->colSumB, ctx->bandWidth, r, ctx->windowArea, guideRow, out);
    }
};

// Runs the 8-bit band schedule with input samples of type In.
template <typename In>
void FilterBand8(GuidedBandContext *c) {
    // eps is truncated: 4.9 acts as 4, 0.5 as 0. A window of zeros or of 255s has no slope.
    FilterBand<In>(c, MakeDoubleCoefficientRule(c, 255, std::trunc(c->eps)), Output8{});
}

int BandJob8(void *record) {
    return GuidedFilterBandWorker8(*static_cast<GuidedBandContext **>(record));
}

}  // namespace

namespace {

// The columns left of the plane repeat its first sample and those right of it its last;
// the columns inside are copied straight.
template <typename Sample>
void ReadClampedRow(const Sample *plane, int32_t pitch, int32_t planeWidth, int32_t step,
                    int32_t offset, int32_t radius, int32_t x0, int32_t width, int32_t row,
                    Sample *destination) {
    const Sample *source = plane + static_cast<int64_t>(row) * pitch + offset;
    const int32_t begin = -radius, end = width + radius;
    // Indices whose column x0 + i lies inside the plane: [inFirst, inEnd).
    const int32_t inFirst = std::clamp(-x0, begin, end);
    const int32_t inEnd = std::clamp(planeWidth - x0, inFirst, end);
    for (int32_t i = begin; i < inFirst; ++i) destination[i] = source[0];
    if (step == 1) {
        std::copy(source + x0 + inFirst, source + x0 + inEnd, destination + inFirst);
    } else {
        for (int32_t i = inFirst; i < inEnd; ++i)
            destination[i] = source[static_cast<int64_t>(x0 + i) * step];
    }
    const Sample last = source[static_cast<int64_t>(planeWidth - 1) * step];
    for (int32_t i = inEnd; i < end; ++i) destination[i] = last;
}

}  // namespace

void ReadClampedRow8(const uint8_t *plane, int32_t pitch, int32_t planeWidth, int32_t step,
                     int32_t offset, int32_t radius, int32_t x0, int32_t width, int32_t row,
                     uint8_t *destination) {
    ReadClampedRow(plane, pitch, planeWidth, step, offset, radius, x0, width, row, destination);
}

void ReadClampedRow16(const int16_t *plane, int32_t pitch, int32_t planeWidth, int32_t step,
                      int32_t offset, int32_t radius, int32_t x0, int32_t width, int32_t row,
                      int16_t *destination) {
    ReadClampedRow(plane, pitch, planeWidth, step, offset, radius, x0, width, row, destination);
}

int32_t SelectGuidedChannel(GuidedBandContext *c, int32_t channel) {
    const ImageDesc *guide = c->guideImage;
    int32_t plane = 0, step = 1, offset = 0, divisor = 1;
    switch (guide->u32PixelArrayFormat) {
    case PIXEL_FORMAT_YUV444P:
        if (channel < 0 || channel > 2) return RESULT_UNSUPPORTED_FORMAT;
        plane = channel;
        break;
    case PIXEL_FORMAT_GRAY8:
        if (channel != 0) return RESULT_UNSUPPORTED_FORMAT;
        break;
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_NV21:
        if (channel < 0 || channel > 2) return RESULT_UNSUPPORTED_FORMAT;
        if (channel > 0) {
            // Interleaved chroma at half size in both directions.
            plane = 1;
            step = 2;
            offset = channel - 1;
            divisor = 2;
        }
        break;
    case 0x201:
    case 0x401:
        if (channel < 0 || channel > 2) return RESULT_UNSUPPORTED_FORMAT;
        step = 3;
        offset = channel;
        break;
    default:
        return RESULT_UNSUPPORTED_FORMAT;
    }
    c->channel = channel;
    c->radiusDivisor = divisor;
    c->sampleStep = step;
    c->sampleOffset = offset;
    c->guidePlane = guide->ppu8Plane[plane];
    c->guidePitch = guide->pi32Pitch[plane];
    if (c->inputBytes == 1) {
        // The 8-bit filter reads and writes the same plane of the input and output images.
        const auto *input = static_cast<const ImageDesc *>(c->inputImage);
        auto *output = static_cast<ImageDesc *>(c->outputImage);
        c->inputPlane = input->ppu8Plane[plane];
        c->inputPitch = input->pi32Pitch[plane];
        c->outputPlane = output->ppu8Plane[plane];
        c->outputPitch = output->pi32Pitch[plane];
    }
    const PixelRect &band = c->bandRect;
    c->planeWidth = guide->i32Width / divisor;
    c->planeHeight = guide->i32Height / divisor;
    c->bandX = band.x0 / divisor;
    c->bandY = band.y0 / divisor;
    c->bandWidth = band.x1 / divisor - band.x0 / divisor;
    c->bandHeight = band.y1 / divisor - band.y0 / divisor;
    return RESULT_OK;
}

namespace guided_band {

int32_t ProbeChannelPlanes(const ImageDesc *guide, const ImageDesc *input, ImageDesc *output,
                           const PixelRect &area, int32_t channel, Aliasing *guideAlias,
                           Aliasing *inputAlias) {
    GuidedBandContext probe{};
    probe.guideImage = guide;
    probe.inputImage = input;
    probe.outputImage = output;
    probe.inputBytes = 1;
    probe.bandRect = area;
    const int32_t selected = SelectGuidedChannel(&probe, channel);
    if (selected != RESULT_OK) return selected;
    const int64_t rowBytes =
        probe.planeWidth > 0
            ? int64_t{probe.planeWidth - 1} * probe.sampleStep + probe.sampleOffset + 1
            : 0;
    if (!probe.guidePlane || probe.guidePitch < rowBytes || !probe.inputPlane ||
        probe.inputPitch < rowBytes || !probe.outputPlane || probe.outputPitch < rowBytes)
        return RESULT_INVALID_ARGUMENT;
    const int32_t rows = probe.planeHeight;
    *guideAlias = CompareRanges(probe.guidePlane, probe.guidePitch, rowBytes, rows,
                                probe.outputPlane, probe.outputPitch, rowBytes, rows);
    *inputAlias = CompareRanges(probe.inputPlane, probe.inputPitch, rowBytes, rows,
                                probe.outputPlane, probe.outputPitch, rowBytes, rows);
    if (*guideAlias == Aliasing::kOverlap || *inputAlias == Aliasing::kOverlap)
        return RESULT_INVALID_ARGUMENT;
    return RESULT_OK;
}

}  // namespace guided_band

int32_t PrimeGuidedBandContext(GuidedBandContext *c, int32_t channel) {
    const int32_t result = SelectGuidedChannel(c, channel);
    if (result != RESULT_OK) return result;
    const int32_t r = c->radius / c->radiusDivisor;
    c->windowArea = (2 * r + 1) * (2 * r + 1);
    c->frozenCount = 0;  // snapshots belong to the channel they were taken for
    for (int32_t i = 0; i < c->rowCapacity; ++i) c->sumII[i] = c->sumIp[i] = c->sumI[i] = c->sumP[i] = 0;
    if (c->bandWidth <= 0 || c->bandHeight <= 0) return RESULT_OK;
    const int32_t length = c->bandWidth + 2 * r;
    for (int32_t j = -r; j <= r; ++j) {
        LoadRow(c, j, r);
        AccumulateAny(c, Mod(j, 2 * r + 1), length, true);
    }
    return RESULT_OK;
}

GuidedBandContext *CreateGuidedBandContext(MemoryContext memory, const ImageDesc *guide,
                                           const ImageDesc *input, int32_t radius,
                                           const PixelRect *band, ImageDesc *output, double eps,
                                           int32_t signedInput) {
    if (!guide || !input || !output || !band || radius < 0) return nullptr;
    const BandPlanes planes{guide, input, output, nullptr, nullptr, 0, 0, 1};
    GuidedBandContext *c = AllocateContext(memory, planes, radius, *band, eps);
    if (!c) return nullptr;
    c->signedInput = signedInput != 0;
    if (PrimeGuidedBandContext(c, 0) != RESULT_OK) {
        FreeGuidedBandContext(memory, c);
        return nullptr;
    }
    return c;
}

void FreeGuidedBandContext(MemoryContext memory, GuidedBandContext *c) {
    if (!c) return;
    FreeRows(memory, c->guideRows);
    FreeRows(memory, c->inputRows);
    FreeRows(memory, c->coeffRowsA);
    FreeRows(memory, c->coeffRowsB);
    FreeRows(memory, c->frozenGuideRows);
    FreeRows(memory, c->frozenInputRows);
    FreeAndClear(memory, c->sumII);
    FreeAndClear(memory, c->sumIp);
    FreeAndClear(memory, c->sumI);
    FreeAndClear(memory, c->sumP);
    FreeAndClear(memory, c->colSumA);
    FreeAndClear(memory, c->colSumB);
    FreeMemory(memory, c);
}

int32_t GuidedFilterBandWorker8(GuidedBandContext *c) {
    if (!c) return RESULT_INVALID_ARGUMENT;
    if (c->signedInput)
        FilterBand8<int8_t>(c);
    else
        FilterBand8<uint8_t>(c);
    return RESULT_OK;
}

void SplitGuidedBands(int32_t y0, int32_t y1, int32_t bounds[5]) {
    const int32_t h = y1 - y0;
    const int32_t first = h / 4;
    const int32_t rest = h - first;
    bounds[0] = y0;
    bounds[1] = y0 + first;
    bounds[2] = bounds[1] + rest / 3;
    bounds[3] = bounds[2] + (rest - rest / 3) / 2;
    bounds[4] = y1;
}

int32_t GuidedFilterThreaded8WithRunner(MemoryContext memory, const ImageDesc *guide,
                                        const ImageDesc *input, int32_t radius,
                                        const PixelRect *rect, ImageDesc *output, double eps,
                                        JobRunner runner) {
    if (!guide || !input || !output || !runner) return RESULT_INVALID_ARGUMENT;
    const uint32_t format = guide->u32PixelArrayFormat;
    if (!IsEightBitGuideFormat(format)) return RESULT_UNSUPPORTED_FORMAT;
    const int32_t width = guide->i32Width;
    const int32_t height = guide->i32Height;
    if (width < 0 || height < 0 || !SameImageSize(*guide, *input) || !SameImageSize(*guide, *output) ||
        input->u32PixelArrayFormat != format || output->u32PixelArrayFormat != format)
        return RESULT_INVALID_ARGUMENT;
    if (radius < 0 || radius > GUIDED_MAX_RADIUS || std::isnan(eps)) return RESULT_INVALID_ARGUMENT;
    const PixelRect whole{0, 0, width, height};
    const PixelRect area = rect ? *rect : whole;
    if (area.x0 < 0 || area.y0 < 0 || area.x0 > area.x1 || area.y0 > area.y1 ||
        area.x1 > width || area.y1 > height)
        return RESULT_INVALID_ARGUMENT;
    if (area.x0 == area.x1 || area.y0 == area.y1) return RESULT_OK;

    // Check the planes of channel 0 and how guide and input sit against the output.
    Aliasing guideAlias = Aliasing::kNone, inputAlias = Aliasing::kNone;
    const int32_t probed =
        ProbeChannelPlanes(guide, input, output, area, 0, &guideAlias, &inputAlias);
    if (probed != RESULT_OK) return probed;

    int32_t bounds[5];
    SplitGuidedBands(area.y0, area.y1, bounds);
    GuidedBandContext *contexts[4] = {};
    // Contexts are created, primed and given their snapshots on this thread, in band order,
    // before any worker starts: a band then reads the rows above it and the rows below it
    // that the next bands rewrite as they were before the call.
    for (int32_t i = 0; i < 4; ++i) {
        const PixelRect band{area.x0, bounds[i], area.x1, bounds[i + 1]};
        contexts[i] = CreateGuidedBandContext(memory, guide, input, radius, &band, output, eps, 0);
        if (!contexts[i] ||
            !FreezeRowsBelowBand(memory, contexts[i], guideAlias == Aliasing::kSameRows,
                                 inputAlias == Aliasing::kSameRows)) {
            FreeBandContexts(memory, contexts);
            return RESULT_OUT_OF_MEMORY;
        }
    }
    return RunBands(memory, contexts, BandJob8, runner);
}

int32_t GuidedFilterThreaded8(MemoryContext memory, const ImageDesc *guide, const ImageDesc *input,
                              int32_t radius, const PixelRect *rect, ImageDesc *output,
                              double eps) {
    return GuidedFilterThreaded8WithRunner(memory, guide, input, radius, rect, output, eps,
                                           RunParallelJobs);
}

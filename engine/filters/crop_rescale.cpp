#include "crop_rescale.h"

#include <algorithm>
#include <cstddef>

#include "core/image.h"
#include "core/memory.h"
#include "core/threads.h"
#include "filters/crop_rescale_kernels.h"

namespace {

// The pieces of one destination pixel's source position.
struct Position {
    int32_t c0, c1, fx;
};

// Bilinear luma on 1/16 fractions: first down the rows, then across; 0..255.
inline uint8_t LumaSample(const uint8_t *row0, const uint8_t *row1, int32_t fy, Position p,
                          int32_t step) {
    const int32_t s00 = row0[static_cast<ptrdiff_t>(p.c0) * step];
    const int32_t s01 = row1[static_cast<ptrdiff_t>(p.c0) * step];
    const int32_t s10 = row0[static_cast<ptrdiff_t>(p.c1) * step];
    const int32_t s11 = row1[static_cast<ptrdiff_t>(p.c1) * step];
    const int32_t a = 16 * s00 + fy * (s01 - s00);
    const int32_t b = 16 * s10 + fy * (s11 - s10);
    return static_cast<uint8_t>((16 * a + p.fx * (b - a)) >> 8);
}

struct Tables {
    const int32_t *columnPairs, *rowPairs, *columnFractions, *rowFractions;
    int32_t width, height;
    Position Column(int32_t x) const {
        return {columnPairs[x], columnPairs[width + x], columnFractions[x]};
    }
    int32_t Row0(int32_t y) const { return rowPairs[y]; }
    int32_t Row1(int32_t y) const { return rowPairs[height + y]; }
};

inline const uint8_t *PlaneRow(const ImageDesc *image, int plane, int32_t row) {
    return image->ppu8Plane[plane] + static_cast<ptrdiff_t>(row) * image->pi32Pitch[plane];
}
inline uint8_t *PlaneRow(ImageDesc *image, int plane, int32_t row) {
    return image->ppu8Plane[plane] + static_cast<ptrdiff_t>(row) * image->pi32Pitch[plane];
}

// Packed 4:2:2: both pixels of a pair by the luma rule, the pair's U and V from the source
// group that holds the first pixel's left column (the row kernel).
void RescaleYuyv(const CropRescaleJob &job, const Tables &t) {
    for (int32_t y = job.firstRow; y < job.endRow; ++y) {
        const uint8_t *s0 = PlaneRow(job.source, 0, t.Row0(y));
        const uint8_t *s1 = PlaneRow(job.source, 0, t.Row1(y));
        const int32_t fy = t.rowFractions[y];
        RescaleYuyvRow(s0, s1, fy, t.columnPairs, t.columnFractions, t.width,
                       PlaneRow(job.destination, 0, y));
    }
}

// Luma of destination row y in a planar or semi-planar image.
void RescaleLumaRow(const CropRescaleJob &job, const Tables &t, int32_t y) {
    const uint8_t *s0 = PlaneRow(job.source, 0, t.Row0(y));
    const uint8_t *s1 = PlaneRow(job.source, 0, t.Row1(y));
    const int32_t fy = t.rowFractions[y];
    uint8_t *out = PlaneRow(job.destination, 0, y);
    for (int32_t x = 0; x < t.width; ++x) out[x] = LumaSample(s0, s1, fy, t.Column(x), 1);
}

// 4:2:0 planar: chroma of the pair of rows (y, y + 1) from the source chroma at the left
// column of x and the upper source row of y + 1.
void RescaleI420(const CropRescaleJob &job, const Tables &t) {
    for (int32_t y = job.firstRow; y < job.endRow; y += 2) {
        RescaleLumaRow(job, t, y);
        RescaleLumaRow(job, t, y + 1);
        const int32_t sourceRow = t.Row0(y + 1) / 2;
        for (int plane = 1; plane <= 2; ++plane) {
            const uint8_t *s = PlaneRow(job.source, plane, sourceRow);
            uint8_t *d = PlaneRow(job.destination, plane, y / 2);
            for (int32_t x = 0; x < t.width; x += 2) d[x / 2] = s[t.columnPairs[x] / 2];
        }
    }
}

// Interleaved chroma row: the pair at (x, x + 1) is the source pair at the left column of x
// rounded down to even.
void CopyChromaPairs(const uint8_t *source, uint8_t *destination, const Tables &t) {
    for (int32_t x = 0; x < t.width; x += 2) {
        const int32_t c = t.columnPairs[x] & ~1;
        destination[x] = source[c];
        destination[x + 1] = source[c + 1];
    }
}

void RescaleNv12(const CropRescaleJob &job, const Tables &t) {
    for (int32_t y = job.firstRow; y < job.endRow; y += 2) {
        RescaleLumaRow(job, t, y);
        RescaleLumaRow(job, t, y + 1);
        CopyChromaPairs(PlaneRow(job.source, 1, t.Row0(y + 1) / 2),
                        PlaneRow(job.destination, 1, y / 2), t);
    }
}

void RescaleNv16(const CropRescaleJob &job, const Tables &t) {
    for (int32_t y = job.firstRow; y < job.endRow; ++y) {
        RescaleLumaRow(job, t, y);
        CopyChromaPairs(PlaneRow(job.source, 1, t.Row0(y)), PlaneRow(job.destination, 1, y), t);
    }
}

int RescaleJob(void *record) { return CropRescaleWorker(static_cast<CropRescaleJob *>(record)); }

bool IsRescaleFormat(uint32_t format) {
    return format == PIXEL_FORMAT_YUYV || format == PIXEL_FORMAT_I420 ||
           format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21 || format == PIXEL_FORMAT_NV16;
}

// The bytes and rows each plane of an image of a rescale format occupies.
struct PlaneExtent {
    int64_t rowBytes;
    int32_t rows;
};

int PlaneExtents(const ImageDesc &image, PlaneExtent extents[3]) {
    const int32_t w = image.i32Width, h = image.i32Height;
    switch (image.u32PixelArrayFormat) {
    case PIXEL_FORMAT_YUYV:
        extents[0] = {2 * int64_t{w}, h};
        return 1;
    case PIXEL_FORMAT_I420:
        extents[0] = {w, h};
        extents[1] = extents[2] = {w / 2, h / 2};
        return 3;
    case PIXEL_FORMAT_NV16:
        extents[0] = extents[1] = {w, h};
        return 2;
    default:  // NV12, NV21
        extents[0] = {w, h};
        extents[1] = {w, h / 2};
        return 2;
    }
}

bool PlanesFit(const ImageDesc &image) {
    PlaneExtent extents[3];
    const int planes = PlaneExtents(image, extents);
    for (int i = 0; i < planes; ++i)
        if (!image.ppu8Plane[i] || image.pi32Pitch[i] < extents[i].rowBytes) return false;
    return true;
}

bool RangesOverlap(const uint8_t *a, int64_t aBytes, const uint8_t *b, int64_t bBytes) {
    const auto as = reinterpret_cast<uintptr_t>(a), bs = reinterpret_cast<uintptr_t>(b);
    return as < bs + static_cast<uintptr_t>(bBytes) && bs < as + static_cast<uintptr_t>(aBytes);
}

// The workers read the source while others write the destination: no plane may share bytes.
bool ImagesOverlap(const ImageDesc &a, const ImageDesc &b) {
    PlaneExtent ea[3], eb[3];
    const int na = PlaneExtents(a, ea), nb = PlaneExtents(b, eb);
    for (int i = 0; i < na; ++i) {
        const int64_t aBytes = int64_t{a.pi32Pitch[i]} * (ea[i].rows - 1) + ea[i].rowBytes;
        for (int j = 0; j < nb; ++j) {
            const int64_t bBytes = int64_t{b.pi32Pitch[j]} * (eb[j].rows - 1) + eb[j].rowBytes;
            if (ea[i].rows > 0 && eb[j].rows > 0 &&
                RangesOverlap(a.ppu8Plane[i], aBytes, b.ppu8Plane[j], bBytes))
                return true;
        }
    }
    return false;
}

int32_t CheckImages(const ImageDesc *source, const ImageDesc *destination, const PixelRect *rect) {
    if (!source || !destination || !rect) return RESULT_INVALID_ARGUMENT;
    const uint32_t format = destination->u32PixelArrayFormat;
    if (source->u32PixelArrayFormat != format) return RESULT_INVALID_ARGUMENT;
    if (!IsRescaleFormat(format)) return RESULT_UNSUPPORTED_FORMAT;
    const int32_t w = destination->i32Width, h = destination->i32Height;
    // Positions divide by W - 1 and H - 1; pixels are walked in pairs of columns, and of rows
    // for the 4:2:0 formats.
    const bool rowPairs = format != PIXEL_FORMAT_YUYV && format != PIXEL_FORMAT_NV16;
    if (w < 2 || h < 2 || (w & 1) || (rowPairs && (h & 1))) return RESULT_INVALID_ARGUMENT;
    if (source->i32Width < w || source->i32Height < h) return RESULT_INVALID_ARGUMENT;
    if (!PlanesFit(*source) || !PlanesFit(*destination) || ImagesOverlap(*source, *destination))
        return RESULT_INVALID_ARGUMENT;
    return RESULT_OK;
}

int32_t CopyFrame(const ImageDesc *source, ImageDesc *destination) {
    const PixelRect frame{0, 0, destination->i32Width, destination->i32Height};
    return CopyImageRect(destination, nullptr, source, &frame);
}

// Clamps both corners of the rectangle into the frame (a caller's corners may lie anywhere,
// and their difference may not fit 32 bits until they do), then trims it to the frame's
// aspect so that both axes scale alike: the wider side keeps the nearest even length (never
// more than it had) and is cut around its centre, the cut even so that chroma pairs and rows
// keep their phase. Products are 64-bit.
int64_t NearestEven(int64_t numerator, int64_t denominator) {
    return (numerator + denominator) / (2 * denominator) * 2;
}

void CutAroundCentre(int32_t *start, int32_t *end, int64_t keep) {
    const int64_t length = int64_t{*end} - *start;
    keep = std::min(keep, length & ~int64_t{1});
    *start += static_cast<int32_t>(((length - keep) / 2) & ~int64_t{1});
    *end = *start + static_cast<int32_t>(keep);
}

void ClampAndTrim(PixelRect *r, int32_t w, int32_t h) {
    r->x0 = std::clamp(r->x0, 0, w);
    r->x1 = std::clamp(r->x1, 0, w);
    r->y0 = std::clamp(r->y0, 0, h);
    r->y1 = std::clamp(r->y1, 0, h);
    if (r->x1 - r->x0 == w && r->y1 - r->y0 == h) return;
    const int64_t rw = int64_t{r->x1} - r->x0;
    const int64_t rh = int64_t{r->y1} - r->y0;
    if (rw <= 0 || rh <= 0) return;
    if (rw * h > rh * w)
        CutAroundCentre(&r->x0, &r->x1, NearestEven(rh * w, h));
    else
        CutAroundCentre(&r->y0, &r->y1, NearestEven(rw * h, w));
}

struct TableBlock {
    int32_t *columnPairs = nullptr, *rowPairs = nullptr;
    int32_t *columnFractions = nullptr, *rowFractions = nullptr;
    void Free(MemoryContext memory) {
        FreeAndClear(memory, columnPairs);
        FreeAndClear(memory, rowPairs);
        FreeAndClear(memory, columnFractions);
        FreeAndClear(memory, rowFractions);
    }
};

}  // namespace

void BuildRescalePositions(int32_t count, int32_t start, int32_t end, int32_t *pairs,
                           int32_t *fractions) {
    const int64_t span = int64_t{end} - 1 - start;
    const float last = static_cast<float>(count - 1);
    for (int32_t i = 0; i < count; ++i) {
        // Single precision, the integer product converted first; the half is added in double.
        const float p = static_cast<float>(i * span) / last + static_cast<float>(start);
        int32_t k = static_cast<int32_t>(p);
        if (k > count - 1) k = count - 1;
        if (k < 0) k = 0;
        pairs[i] = k;
        pairs[count + i] = k + 1 < count ? k + 1 : count - 1;
        fractions[i] =
            static_cast<int32_t>(static_cast<double>((p - static_cast<float>(k)) * 16.0f) + 0.5);
    }
}

void SplitRescaleBands(int32_t height, int32_t bounds[5]) {
    const int64_t h = height;
    bounds[0] = 0;
    for (int i = 1; i < 4; ++i) bounds[i] = static_cast<int32_t>((i * h / 4) & ~int64_t{3});
    bounds[4] = height;
}

int32_t CropRescaleWorker(CropRescaleJob *job) {
    if (!job || !job->source || !job->destination) return RESULT_INVALID_ARGUMENT;
    const Tables t{job->columnPairs,   job->rowPairs,
                   job->columnFractions, job->rowFractions,
                   job->destination->i32Width, job->destination->i32Height};
    switch (job->source->u32PixelArrayFormat) {
    case PIXEL_FORMAT_YUYV:
        RescaleYuyv(*job, t);
        return RESULT_OK;
    case PIXEL_FORMAT_I420:
        RescaleI420(*job, t);
        return RESULT_OK;
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_NV21:
        RescaleNv12(*job, t);
        return RESULT_OK;
    case PIXEL_FORMAT_NV16:
        RescaleNv16(*job, t);
        return RESULT_OK;
    default:
        return RESULT_UNSUPPORTED_FORMAT;
    }
}

int32_t CropAndRescaleWithRunner(MemoryContext memory, const ImageDesc *source,
                                 ImageDesc *destination, PixelRect *rect, JobRunner runner) {
    if (!runner) return RESULT_INVALID_ARGUMENT;
    const int32_t checked = CheckImages(source, destination, rect);
    if (checked != RESULT_OK) return checked;
    const int32_t w = destination->i32Width, h = destination->i32Height;
    ClampAndTrim(rect, w, h);
    if (rect->x1 - rect->x0 == w && rect->y1 - rect->y0 == h) return CopyFrame(source, destination);
    if (rect->x1 - rect->x0 < 2 || rect->y1 - rect->y0 < 2) {
        // Nothing left to scale up: keep the whole frame and say so through the rectangle.
        *rect = PixelRect{0, 0, w, h};
        return CopyFrame(source, destination);
    }

    TableBlock tables;
    tables.columnPairs = AllocateZeroed<int32_t>(memory, 2 * static_cast<uint64_t>(w));
    tables.rowPairs = AllocateZeroed<int32_t>(memory, 2 * static_cast<uint64_t>(h));
    tables.columnFractions = AllocateZeroed<int32_t>(memory, static_cast<uint64_t>(w));
    tables.rowFractions = AllocateZeroed<int32_t>(memory, static_cast<uint64_t>(h));
    if (!tables.columnPairs || !tables.rowPairs || !tables.columnFractions || !tables.rowFractions) {
        tables.Free(memory);
        return RESULT_OUT_OF_MEMORY;
    }
    BuildRescalePositions(w, rect->x0, rect->x1, tables.columnPairs, tables.columnFractions);
    BuildRescalePositions(h, rect->y0, rect->y1, tables.rowPairs, tables.rowFractions);

    int32_t bounds[5];
    SplitRescaleBands(h, bounds);
    CropRescaleJob jobs[4];
    for (int32_t i = 0; i < 4; ++i)
        jobs[i] = {source,           destination,           bounds[i],
                   bounds[i + 1],    tables.columnPairs,    tables.rowPairs,
                   tables.columnFractions, tables.rowFractions, i};
    const int32_t result = runner(4, RescaleJob, jobs, sizeof(CropRescaleJob));
    tables.Free(memory);
    return result;
}

int32_t CropAndRescale(MemoryContext memory, const ImageDesc *source, ImageDesc *destination,
                       PixelRect *rect) {
    return CropAndRescaleWithRunner(memory, source, destination, rect, RunParallelJobs);
}

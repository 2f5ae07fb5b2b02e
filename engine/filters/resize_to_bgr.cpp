#include "resize_to_bgr.h"

#include <algorithm>

#include "core/memory.h"
#include "core/pixel_format.h"
#include "core/row_helpers.h"

namespace {

constexpr uint32_t kPackedBgr = 0x201;

inline uint8_t Round14(int32_t z) { return static_cast<uint8_t>((z + 8192) >> 14); }

const uint8_t *RowOf(const uint8_t *plane, int32_t pitch, int32_t y) {
    return plane + static_cast<int64_t>(y) * pitch;
}

// Where the interpolated values of a source row come from: `values` samples per pixel,
// `step` bytes from a pixel's first sample to the next pixel's.
struct RowLayout {
    const uint8_t *plane;
    int32_t pitch;
    int32_t step;
    int32_t values;
};

// Q7 horizontal interpolation of `values` samples per output pixel of one source row.
void InterpolateRow(const RowLayout &layout, int32_t sourceRow, int32_t sourceWidth,
                    const BilinearMapEntry *columns, int32_t outputWidth, int32_t *out) {
    const uint8_t *row = RowOf(layout.plane, layout.pitch, sourceRow);
    for (int32_t i = 0; i < outputWidth; ++i) {
        const BilinearMapEntry e = columns[i];
        const uint8_t *p = row + static_cast<int64_t>(e.index) * layout.step;
        for (int32_t c = 0; c < layout.values; ++c) {
            const int32_t v = p[c];
            out[i * layout.values + c] =
                e.index >= sourceWidth - 1 ? v * 128 : v * 128 + (p[layout.step + c] - v) * e.weight;
        }
    }
}

// Two work rows that remember the source rows they hold (as in ResizeBilinearPlane).
struct WorkRows {
    int32_t *row[2];
    int32_t holds[2] = {-1, -1};
    const int32_t *Fetch(int32_t slot, int32_t sourceRow, const RowLayout &layout,
                         int32_t sourceWidth, const BilinearMapEntry *columns, int32_t outputWidth) {
        if (holds[slot] == sourceRow) return row[slot];
        if (holds[1 - slot] == sourceRow) {
            std::swap(row[0], row[1]);
            std::swap(holds[0], holds[1]);
            if (holds[slot] == sourceRow) return row[slot];
        }
        InterpolateRow(layout, sourceRow, sourceWidth, columns, outputWidth, row[slot]);
        holds[slot] = sourceRow;
        return row[slot];
    }
};

// Q14 vertical blend of value k: top 128 + (bottom - top) wy, or top 128 from one row.
inline int32_t Blend(const int32_t *top, const int32_t *bottom, int32_t wy, int32_t k) {
    return bottom ? top[k] * 128 + (bottom[k] - top[k]) * wy : top[k] * 128;
}

// The chroma sample pair (U, V) covering source pixel x of source row y.
struct ChromaReader {
    uint32_t format;
    const ImageDesc *image;
    int32_t Row(int32_t y) const {
        if (format == PIXEL_FORMAT_YUYV) return y;
        return std::min(y >> 1, (image->i32Height >> 1) - 1);
    }
    void At(int32_t x, int32_t y, int32_t *u, int32_t *v) const {
        const int32_t r = Row(y);
        switch (format) {
        case PIXEL_FORMAT_YUYV: {
            const uint8_t *p = RowOf(image->ppu8Plane[0], image->pi32Pitch[0], r) + 4 * (x >> 1);
            *u = p[1];
            *v = p[3];
            return;
        }
        case PIXEL_FORMAT_I420: {
            const int32_t cx = std::min(x >> 1, (image->i32Width >> 1) - 1);
            *u = RowOf(image->ppu8Plane[1], image->pi32Pitch[1], r)[cx];
            *v = RowOf(image->ppu8Plane[2], image->pi32Pitch[2], r)[cx];
            return;
        }
        default: {  // NV21: V at the even byte of the pair, U at the odd one
            const uint8_t *p = RowOf(image->ppu8Plane[1], image->pi32Pitch[1], r) + (x & ~1);
            *v = p[0];
            *u = p[1];
            return;
        }
        }
    }
};

void WriteBgr(uint8_t *out, int32_t y, int32_t u, int32_t v) {
    const int32_t du = u - 128, dv = v - 128, base = y * 16384 + 8192;
    out[0] = ClampByte((base + 29049 * du) >> 14);
    out[1] = ClampByte((base - 5636 * du - 11698 * dv) >> 14);
    out[2] = ClampByte((base + 22987 * dv) >> 14);
}

bool SourceOk(const ImageDesc *source, uint32_t format, int32_t mode) {
    const int32_t w = source->i32Width, h = source->i32Height;
    if (w < 1 || h < 1) return false;
    if (format == kPackedBgr)
        return source->ppu8Plane[0] && int64_t{source->pi32Pitch[0]} >= 3 * int64_t{w};
    const PixelFormatInfo *info = FindPixelFormat(format);
    if (!info || CheckImagePlanes(*source, *info) != RESULT_OK) return false;
    // The chroma of a colour conversion needs at least one chroma row and column.
    if (mode == RESIZE_TO_BGR && format != PIXEL_FORMAT_YUYV && (w < 2 || h < 2)) return false;
    return true;
}

struct Scratch {
    MemoryContext memory;
    int32_t *rows = nullptr;
    BilinearMapEntry *maps = nullptr;
    ~Scratch() {
        FreeAndClear(memory, rows);
        FreeAndClear(memory, maps);
    }
};

}  // namespace

void ResizeLumaPlane(const uint8_t *luma, int32_t lumaPitch, int32_t sourceWidth,
                     int32_t sourceHeight, uint8_t *destination, int32_t destinationPitch,
                     int32_t outputWidth, int32_t outputHeight, const BilinearMapEntry *columns,
                     const BilinearMapEntry *rows, int32_t *workRows) {
    const RowLayout layout{luma, lumaPitch, 1, 1};
    WorkRows work{{workRows, workRows + outputWidth}};
    for (int32_t j = 0; j < outputHeight; ++j) {
        const BilinearMapEntry r = rows[j];
        const bool two = r.index < sourceHeight - 1 && r.weight != 0;
        const int32_t *top = work.Fetch(0, r.index, layout, sourceWidth, columns, outputWidth);
        const int32_t *bottom =
            two ? work.Fetch(1, r.index + 1, layout, sourceWidth, columns, outputWidth) : nullptr;
        uint8_t *out = destination + static_cast<int64_t>(j) * destinationPitch;
        for (int32_t i = 0; i < outputWidth; ++i) out[i] = Round14(Blend(top, bottom, r.weight, i));
    }
}

int32_t ResizeToBgr(MemoryContext memory, const ImageDesc *source, uint8_t *destination,
                    int32_t outputWidth, int32_t outputHeight, int32_t destinationPitch,
                    int32_t mode) {
    if (!source || !destination) return RESULT_INVALID_ARGUMENT;
    const uint32_t format = source->u32PixelArrayFormat;
    if (format != kPackedBgr && format != PIXEL_FORMAT_YUYV && format != PIXEL_FORMAT_I420 &&
        format != PIXEL_FORMAT_NV21)
        return RESULT_UNSUPPORTED_FORMAT;
    if (outputHeight < 1) return RESULT_OK;
    const bool colour = mode == RESIZE_TO_BGR;
    if (!SourceOk(source, format, mode) || outputWidth < 1 ||
        int64_t{destinationPitch} < int64_t{outputWidth} * (colour ? 3 : 1))
        return RESULT_INVALID_ARGUMENT;
    const int32_t sw = source->i32Width, sh = source->i32Height;
    const bool packed = format == kPackedBgr;
    const RowLayout layout = packed ? RowLayout{source->ppu8Plane[0], source->pi32Pitch[0], 3, 3}
                                    : RowLayout{source->ppu8Plane[0], source->pi32Pitch[0],
                                                format == PIXEL_FORMAT_YUYV ? 2 : 1, 1};
    Scratch s{memory};
    s.rows = AllocateZeroed<int32_t>(memory, 2 * static_cast<uint64_t>(outputWidth) * layout.values);
    s.maps = AllocateZeroed<BilinearMapEntry>(memory, static_cast<uint64_t>(outputWidth) + outputHeight);
    if (!s.rows || !s.maps) return RESULT_OUT_OF_MEMORY;
    const BilinearMapEntry *columns = s.maps;
    const BilinearMapEntry *rowMap = s.maps + outputWidth;
    BuildBilinearMap(sw, outputWidth, s.maps);
    BuildBilinearMap(sh, outputHeight, s.maps + outputWidth);
    if (!packed && !colour && format != PIXEL_FORMAT_YUYV) {
        ResizeLumaPlane(source->ppu8Plane[0], source->pi32Pitch[0], sw, sh, destination,
                        destinationPitch, outputWidth, outputHeight, columns, rowMap, s.rows);
        return RESULT_OK;
    }
    WorkRows work{{s.rows, s.rows + int64_t{outputWidth} * layout.values}};
    const ChromaReader chroma{format, source};
    for (int32_t j = 0; j < outputHeight; ++j) {
        const BilinearMapEntry r = rowMap[j];
        const bool two = r.index < sh - 1 && r.weight != 0;
        const int32_t *top = work.Fetch(0, r.index, layout, sw, columns, outputWidth);
        const int32_t *bottom = two ? work.Fetch(1, r.index + 1, layout, sw, columns, outputWidth) : nullptr;
        uint8_t *out = destination + static_cast<int64_t>(j) * destinationPitch;
        if (packed) {
            for (int32_t i = 0; i < outputWidth; ++i) {
                const uint8_t b = Round14(Blend(top, bottom, r.weight, 3 * i));
                const uint8_t g = Round14(Blend(top, bottom, r.weight, 3 * i + 1));
                const uint8_t red = Round14(Blend(top, bottom, r.weight, 3 * i + 2));
                if (colour) {
                    out[3 * i] = b, out[3 * i + 1] = g, out[3 * i + 2] = red;
                } else {
                    out[i] = static_cast<uint8_t>((13 * b + 83 * g + 32 * red) >> 7);
                }
            }
            continue;
        }
        if (!colour) {
            for (int32_t i = 0; i < outputWidth; ++i) out[i] = Round14(Blend(top, bottom, r.weight, i));
            continue;
        }
        // Pixel pairs share one chroma, the mean of the samples under their source columns in
        // each source row used; a last single pixel takes its own.
        for (int32_t i = 0; i < outputWidth; i += 2) {
            const bool pair = i + 1 < outputWidth;
            int32_t sumU = 0, sumV = 0, count = 0;
            for (int32_t k = 0; k < (pair ? 2 : 1); ++k)
                for (int32_t row = 0; row < (two ? 2 : 1); ++row) {
                    int32_t u, v;
                    chroma.At(columns[i + k].index, r.index + row, &u, &v);
                    sumU += u, sumV += v, ++count;
                }
            const int32_t u = (sumU + count / 2) / count, v = (sumV + count / 2) / count;
            WriteBgr(out + 3 * i, Round14(Blend(top, bottom, r.weight, i)), u, v);
            if (pair) WriteBgr(out + 3 * i + 3, Round14(Blend(top, bottom, r.weight, i + 1)), u, v);
        }
    }
    return RESULT_OK;
}

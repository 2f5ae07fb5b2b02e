#include "resizers.h"

#include <algorithm>
#include <cmath>

#include "core/memory.h"

namespace {

bool PlaneOk(const uint8_t *plane, int32_t width, int32_t height, int32_t pitch,
             int32_t bytesPerPixel = 1) {
    return plane && width >= 1 && height >= 1 && int64_t{pitch} >= int64_t{width} * bytesPerPixel;
}

const uint8_t *RowOf(const uint8_t *plane, int32_t pitch, int32_t y) {
    return plane + static_cast<int64_t>(y) * pitch;
}
uint8_t *RowOf(uint8_t *plane, int32_t pitch, int32_t y) {
    return plane + static_cast<int64_t>(y) * pitch;
}

void CopyRows(const uint8_t *source, int32_t sourcePitch, uint8_t *destination,
              int32_t destinationPitch, int64_t rowBytes, int32_t first, int32_t end,
              int32_t destinationRowOffset) {
    for (int32_t y = first; y < end; ++y)
        CopyBytes(RowOf(destination, destinationPitch, y - destinationRowOffset),
                  RowOf(source, sourcePitch, y), static_cast<size_t>(rowBytes));
}

// The checks and the same-size case of the plane resizers: planes of one size are copied
// straight (nothing to do in place). false when nothing is left to resize, *result then
// holding the call's result.
bool NeedsResize(const uint8_t *source, int32_t sourceWidth, int32_t sourceHeight,
                 int32_t sourcePitch, uint8_t *destination, int32_t destinationWidth,
                 int32_t destinationHeight, int32_t destinationPitch, int32_t *result) {
    *result = RESULT_OK;
    if (!PlaneOk(source, sourceWidth, sourceHeight, sourcePitch) ||
        !PlaneOk(destination, destinationWidth, destinationHeight, destinationPitch)) {
        *result = RESULT_INVALID_ARGUMENT;
        return false;
    }
    if (sourceWidth != destinationWidth || sourceHeight != destinationHeight) return true;
    if (source != destination)
        CopyRows(source, sourcePitch, destination, destinationPitch, sourceWidth, 0, sourceHeight, 0);
    return false;
}

// Q7 horizontal interpolation of one source row at one map entry.
inline int32_t Interpolate(const uint8_t *row, int32_t sourceWidth, BilinearMapEntry e) {
    if (e.index >= sourceWidth - 1) return row[sourceWidth - 1] * 128;
    const int32_t p = row[e.index];
    return p * 128 + (row[e.index + 1] - p) * e.weight;
}

// The same over columns [x0, x1) of the map.
void InterpolateRow(const uint8_t *row, int32_t sourceWidth, const BilinearMapEntry *columns,
                    int32_t x0, int32_t x1, int32_t *out) {
    for (int32_t i = x0; i < x1; ++i) out[i] = Interpolate(row, sourceWidth, columns[i]);
}

// Vertical blend of the Q7 rows into bytes: (top 128 + (bottom - top) wy + 8192) >> 14.
void BlendRows(const int32_t *top, const int32_t *bottom, int32_t wy, int32_t x0, int32_t x1,
               uint8_t *out) {
    if (!bottom) {
        for (int32_t i = x0; i < x1; ++i) out[i] = static_cast<uint8_t>((top[i] * 128 + 8192) >> 14);
        return;
    }
    for (int32_t i = x0; i < x1; ++i)
        out[i] = static_cast<uint8_t>((top[i] * 128 + (bottom[i] - top[i]) * wy + 8192) >> 14);
}

// Two Q7 work rows that remember which source rows they hold, so consecutive output rows
// that share source rows filter nothing again.
struct WorkRows {
    int32_t *row[2];
    int32_t holds[2] = {-1, -1};

    int32_t *Fetch(int32_t slot, int32_t sourceRow, const uint8_t *source, int32_t sourcePitch,
                   int32_t sourceWidth, const BilinearMapEntry *columns, int32_t x0, int32_t x1) {
        if (holds[slot] == sourceRow) return row[slot];
        const int32_t other = 1 - slot;
        if (holds[other] == sourceRow) {
            std::swap(row[0], row[1]);
            std::swap(holds[0], holds[1]);
            if (holds[slot] == sourceRow) return row[slot];
        }
        InterpolateRow(RowOf(source, sourcePitch, sourceRow), sourceWidth, columns, x0, x1, row[slot]);
        holds[slot] = sourceRow;
        return row[slot];
    }
};

// Output row j over columns [x0, x1).
void BilinearRow(WorkRows *work, const uint8_t *source, int32_t sourceWidth, int32_t sourceHeight,
                 int32_t sourcePitch, const BilinearMapEntry *columns, BilinearMapEntry rowEntry,
                 int32_t x0, int32_t x1, uint8_t *out) {
    const bool two = rowEntry.index < sourceHeight - 1 && rowEntry.weight != 0;
    const int32_t *top = work->Fetch(0, rowEntry.index, source, sourcePitch, sourceWidth, columns, x0, x1);
    const int32_t *bottom =
        two ? work->Fetch(1, rowEntry.index + 1, source, sourcePitch, sourceWidth, columns, x0, x1)
            : nullptr;
    BlendRows(top, bottom, rowEntry.weight, x0, x1, out);
}

// A source sample of a row with its index clamped to the row.
inline int32_t Tap(const uint8_t *row, int32_t x, int32_t width) {
    return row[x < 0 ? 0 : (x >= width ? width - 1 : x)];
}

double CubicKernel(double x) {
    x = std::fabs(x);
    if (x <= 1.0) return 1.5 * x * x * x - 2.5 * x * x + 1.0;
    if (x < 2.0) return -0.5 * x * x * x + 2.5 * x * x - 4.0 * x + 2.0;
    return 0.0;
}

inline int32_t Near(const int32_t *table, int32_t f) { return table[2 * f]; }
inline int32_t Far(const int32_t *table, int32_t f) { return table[2 * f + 1]; }

// Index and Q10 fraction of a corner-aligned coordinate s = (S / D) i.
void CubicPosition(int32_t sourceSize, int32_t destinationSize, int32_t i, int32_t *index,
                   int32_t *fraction) {
    const double s = static_cast<double>(sourceSize) / destinationSize * i;
    int32_t v = static_cast<int32_t>(s);
    v = std::clamp(v, -2, sourceSize);
    *index = v;
    *fraction = std::clamp(static_cast<int32_t>((s - v) * 1024.0 + 0.5), 0, 1024);
}

// Q10 horizontal cubic filter of one source row at every destination column.
void CubicRow(const uint8_t *row, int32_t sourceWidth, const int32_t *columnMap,
              const int32_t *table, int32_t destinationWidth, int32_t *out) {
    for (int32_t i = 0; i < destinationWidth; ++i) {
        const int32_t x = columnMap[2 * i], f = columnMap[2 * i + 1];
        out[i] = Far(table, f) * Tap(row, x - 1, sourceWidth) + Near(table, f) * Tap(row, x, sourceWidth) +
                 Near(table, 1024 - f) * Tap(row, x + 1, sourceWidth) +
                 Far(table, 1024 - f) * Tap(row, x + 2, sourceWidth);
    }
}

bool PrepareBicubicCache(MemoryContext memory, BicubicCache *cache, int32_t sourceWidth,
                         int32_t destinationWidth) {
    if (!cache->kernelTable) {
        cache->kernelTable = AllocateZeroed<int32_t>(memory, 2 * 1025);
        if (!cache->kernelTable) return false;
        BuildCubicKernelTable(cache->kernelTable);
    }
    if (cache->work && cache->sourceWidth == sourceWidth && cache->destinationWidth == destinationWidth)
        return true;
    if (!cache->work || cache->workColumns < destinationWidth) {
        FreeAndClear(memory, cache->work);
        cache->work = AllocateZeroed<int32_t>(memory, 6 * static_cast<uint64_t>(destinationWidth));
        if (!cache->work) return false;
        cache->workColumns = destinationWidth;
    }
    int32_t *columnMap = cache->work + 4 * int64_t{cache->workColumns};
    for (int32_t i = 0; i < destinationWidth; ++i)
        CubicPosition(sourceWidth, destinationWidth, i, &columnMap[2 * i], &columnMap[2 * i + 1]);
    cache->sourceWidth = sourceWidth;
    cache->destinationWidth = destinationWidth;
    return true;
}

}  // namespace

int32_t ResizeNearest(MemoryContext memory, const uint8_t *source, int32_t sourcePitch,
                      int32_t sourceWidth, int32_t sourceHeight, uint8_t *destination,
                      int32_t destinationPitch, int32_t destinationWidth,
                      int32_t destinationHeight, int32_t bytesPerPixel) {
    if ((bytesPerPixel != 1 && bytesPerPixel != 3) ||
        !PlaneOk(source, sourceWidth, sourceHeight, sourcePitch, bytesPerPixel) ||
        !PlaneOk(destination, destinationWidth, destinationHeight, destinationPitch, bytesPerPixel))
        return RESULT_INVALID_ARGUMENT;
    auto *columns = AllocateZeroed<int64_t>(memory, static_cast<uint64_t>(destinationWidth));
    if (!columns) return RESULT_OUT_OF_MEMORY;
    const auto nearest = [](int64_t i, int64_t s, int64_t d) {
        const int64_t x = (2 * i * s + std::min(s, d) - 1) / (2 * d);
        return x >= s ? s - 1 : x;
    };
    for (int32_t i = 0; i < destinationWidth; ++i)
        columns[i] = nearest(i, sourceWidth, destinationWidth) * bytesPerPixel;
    for (int32_t j = 0; j < destinationHeight; ++j) {
        const uint8_t *in = RowOf(source, sourcePitch,
                                  static_cast<int32_t>(nearest(j, sourceHeight, destinationHeight)));
        uint8_t *out = RowOf(destination, destinationPitch, j);
        if (bytesPerPixel == 1) {
            for (int32_t i = 0; i < destinationWidth; ++i) out[i] = in[columns[i]];
        } else {
            for (int32_t i = 0; i < destinationWidth; ++i, out += 3) {
                const uint8_t *p = in + columns[i];
                out[0] = p[0], out[1] = p[1], out[2] = p[2];
            }
        }
    }
    FreeMemory(memory, columns);
    return RESULT_OK;
}

void BuildBilinearMap(int32_t sourceSize, int32_t destinationSize, BilinearMapEntry *map) {
    const double scale = static_cast<double>(sourceSize) / destinationSize;
    bool clamped = false;
    for (int32_t i = 0; i < destinationSize; ++i) {
        const double s = scale * (i + 0.5) - 0.5;
        BilinearMapEntry e{0, 0};
        if (s >= 0.0) {
            e.index = static_cast<int32_t>(s);
            e.weight = static_cast<int32_t>((s - e.index) * 128.0 + 0.5);
        }
        if (clamped || e.index >= sourceSize - 1) {
            clamped = true;
            e = {sourceSize - 1, 0};
        }
        map[i] = e;
    }
}

int32_t ResizeBilinearPlane(MemoryContext memory, const uint8_t *source, int32_t sourceWidth,
                            int32_t sourceHeight, int32_t sourcePitch, uint8_t *destination,
                            int32_t destinationWidth, int32_t destinationHeight,
                            int32_t destinationPitch) {
    int32_t result = RESULT_OK;
    if (!NeedsResize(source, sourceWidth, sourceHeight, sourcePitch, destination, destinationWidth,
                     destinationHeight, destinationPitch, &result))
        return result;
    const uint64_t w = static_cast<uint64_t>(destinationWidth);
    auto *rows = AllocateZeroed<int32_t>(memory, 2 * w);
    auto *maps = AllocateZeroed<BilinearMapEntry>(memory, w + static_cast<uint64_t>(destinationHeight));
    if (!rows || !maps) {
        if (rows) FreeMemory(memory, rows);
        if (maps) FreeMemory(memory, maps);
        return RESULT_OUT_OF_MEMORY;
    }
    BilinearMapEntry *columns = maps;
    BilinearMapEntry *rowMap = maps + destinationWidth;
    BuildBilinearMap(sourceWidth, destinationWidth, columns);
    BuildBilinearMap(sourceHeight, destinationHeight, rowMap);
    WorkRows work{{rows, rows + destinationWidth}};
    for (int32_t j = 0; j < destinationHeight; ++j)
        BilinearRow(&work, source, sourceWidth, sourceHeight, sourcePitch, columns, rowMap[j], 0,
                    destinationWidth, RowOf(destination, destinationPitch, j));
    FreeMemory(memory, rows);
    FreeMemory(memory, maps);
    return RESULT_OK;
}

int32_t ResizeRowImage(MemoryContext memory, const RowImage *source, RowImage *destination) {
    if (!source || !destination || source->channels != 1 || source->bitsPerChannel != 8 ||
        destination->channels != 1 || destination->bitsPerChannel != 8)
        return RESULT_INVALID_ARGUMENT;
    return ResizeBilinearPlane(memory, source->data, source->width, source->height,
                               source->rowBytes, destination->data, destination->width,
                               destination->height, destination->rowBytes);
}

int64_t BilinearBandBufferBytes(int32_t destinationWidth, int32_t destinationHeight) {
    if (destinationWidth < 1 || destinationHeight < 1) return 0;
    return (int64_t{destinationWidth} + destinationHeight) * int64_t{sizeof(BilinearMapEntry)};
}

int32_t ResizeBilinearBand(void *mapBuffer, int32_t *mapsStale, const uint8_t *source,
                           int32_t sourceWidth, int32_t sourceHeight, int32_t sourcePitch,
                           uint8_t *band, int32_t destinationWidth, int32_t destinationHeight,
                           int32_t destinationPitch, int32_t firstRow, int32_t endRow,
                           PixelRect window) {
    if (!mapBuffer) return RESULT_OUT_OF_MEMORY;
    if (!mapsStale || !PlaneOk(source, sourceWidth, sourceHeight, sourcePitch) || !band ||
        destinationWidth < 1 || destinationHeight < 1 || destinationPitch < destinationWidth ||
        firstRow < 0 || firstRow > endRow || endRow > destinationHeight || window.x0 < 0 ||
        window.y0 < 0 || window.x0 > window.x1 || window.y0 > window.y1 ||
        window.x1 > destinationWidth || window.y1 > destinationHeight)
        return RESULT_INVALID_ARGUMENT;
    if (sourceWidth == destinationWidth && sourceHeight == destinationHeight) {
        CopyRows(source, sourcePitch, band, destinationPitch, sourceWidth, firstRow, endRow, firstRow);
        return RESULT_OK;
    }
    auto *columns = static_cast<BilinearMapEntry *>(mapBuffer);
    BilinearMapEntry *rowMap = columns + destinationWidth;
    if (*mapsStale) {
        BuildBilinearMap(sourceWidth, destinationWidth, columns);
        BuildBilinearMap(sourceHeight, destinationHeight, rowMap);
        *mapsStale = 0;
    }
    for (int32_t j = firstRow; j < endRow; ++j) {
        uint8_t *out = RowOf(band, destinationPitch, j - firstRow);
        FillBytes(out, 0, static_cast<size_t>(destinationWidth));
        if (j < window.y0 || j >= window.y1) continue;
        // Each sample from its own taps: the buffer holds only the maps, which stay read-only.
        const BilinearMapEntry r = rowMap[j];
        const bool two = r.index < sourceHeight - 1 && r.weight != 0;
        const uint8_t *topRow = RowOf(source, sourcePitch, r.index);
        const uint8_t *bottomRow = two ? RowOf(source, sourcePitch, r.index + 1) : nullptr;
        for (int32_t i = window.x0; i < window.x1; ++i) {
            const int32_t top = Interpolate(topRow, sourceWidth, columns[i]);
            if (!two) {
                out[i] = static_cast<uint8_t>((top * 128 + 8192) >> 14);
                continue;
            }
            const int32_t bottom = Interpolate(bottomRow, sourceWidth, columns[i]);
            out[i] = static_cast<uint8_t>((top * 128 + (bottom - top) * r.weight + 8192) >> 14);
        }
    }
    return RESULT_OK;
}

int32_t ResizeBilinearRows(const RowImage *source, RowImage *destination) {
    if (!source || !destination || source->bitsPerChannel != 8 || destination->bitsPerChannel != 8 ||
        source->channels < destination->channels || destination->channels < 1 ||
        source->width < 1 || source->height < 1 || destination->width < 1 ||
        destination->height < 1 || !source->rows || !destination->rows)
        return RESULT_INVALID_ARGUMENT;
    const int64_t sw = source->width, sh = source->height;
    const int64_t fx = sw * 256 / destination->width;
    const int64_t fy = sh * 256 / destination->height;
    const int32_t inStep = source->channels, outStep = destination->channels;
    for (int32_t j = 0; j < destination->height; ++j) {
        const int64_t y = (j * fy) >> 8;
        const int32_t v = static_cast<int32_t>((j * fy) & 255);
        const uint8_t *row0 = source->rows[y];
        const uint8_t *row1 = source->rows[y >= sh - 1 ? y : y + 1];
        uint8_t *out = destination->rows[j];
        for (int32_t i = 0; i < destination->width; ++i, out += outStep) {
            const int64_t x = (i * fx) >> 8;
            const int32_t u = static_cast<int32_t>((i * fx) & 255);
            const int64_t x1 = x >= sw - 1 ? x : x + 1;
            for (int32_t c = 0; c < outStep; ++c) {
                const int32_t a = row0[x * inStep + c], b = row0[x1 * inStep + c];
                const int32_t cc = row1[x * inStep + c], d = row1[x1 * inStep + c];
                out[c] = static_cast<uint8_t>(
                    ((a * (256 - v) + cc * v) * (256 - u) + (b * (256 - v) + d * v) * u) >> 16);
            }
        }
    }
    return RESULT_OK;
}

void FreeBicubicCache(MemoryContext memory, BicubicCache *cache) {
    if (!cache) return;
    FreeAndClear(memory, cache->work);
    FreeAndClear(memory, cache->kernelTable);
    cache->sourceWidth = cache->destinationWidth = cache->workColumns = 0;
}

void BuildCubicKernelTable(int32_t *table) {
    for (int32_t i = 0; i <= 1024; ++i) {
        const double t = i / 1024.0;
        table[2 * i] = static_cast<int32_t>(1024.0 * CubicKernel(t) + 0.5);
        table[2 * i + 1] = static_cast<int32_t>(1024.0 * CubicKernel(t + 1.0) + 0.5);
    }
}

int32_t ResizeBicubicPlane(MemoryContext memory, const uint8_t *source, int32_t sourceWidth,
                           int32_t sourceHeight, int32_t sourcePitch, uint8_t *destination,
                           int32_t destinationWidth, int32_t destinationHeight,
                           int32_t destinationPitch, BicubicCache *cache) {
    if (!cache) return RESULT_INVALID_ARGUMENT;
    int32_t result = RESULT_OK;
    if (!NeedsResize(source, sourceWidth, sourceHeight, sourcePitch, destination, destinationWidth,
                     destinationHeight, destinationPitch, &result))
        return result;
    if (std::min(sourceWidth, destinationWidth) < 5 || std::min(sourceHeight, destinationHeight) < 5)
        return RESULT_INVALID_ARGUMENT;
    if (!PrepareBicubicCache(memory, cache, sourceWidth, destinationWidth)) return RESULT_OUT_OF_MEMORY;
    return ResizeBicubicRows(source, sourceWidth, sourceHeight, sourcePitch, destination,
                             destinationWidth, destinationHeight, destinationPitch, cache);
}

int32_t ResizeBicubicRows(const uint8_t *source, int32_t sourceWidth, int32_t sourceHeight,
                          int32_t sourcePitch, uint8_t *destination, int32_t destinationWidth,
                          int32_t destinationHeight, int32_t destinationPitch,
                          const BicubicCache *cache) {
    if (!source || !destination || !cache || !cache->kernelTable || !cache->work ||
        cache->sourceWidth != sourceWidth || cache->destinationWidth != destinationWidth ||
        sourceHeight < 1 || destinationHeight < 1 || sourcePitch < sourceWidth ||
        destinationPitch < destinationWidth)
        return RESULT_INVALID_ARGUMENT;
    const int32_t *table = cache->kernelTable;
    const int64_t columns = cache->workColumns;
    const int32_t *columnMap = cache->work + 4 * columns;
    // Four filtered rows, each remembering its source row; rows above the top and below the
    // bottom are the first and last rows.
    int32_t *ring[4];
    int32_t holds[4] = {-1, -1, -1, -1};
    for (int32_t k = 0; k < 4; ++k) ring[k] = cache->work + k * columns;
    const auto fetch = [&](int32_t sourceRow) -> const int32_t * {
        sourceRow = std::clamp(sourceRow, 0, sourceHeight - 1);
        int32_t slot = 0;
        for (int32_t k = 0; k < 4; ++k) {
            if (holds[k] == sourceRow) return ring[k];
            if (holds[k] < holds[slot]) slot = k;  // the oldest row leaves
        }
        CubicRow(RowOf(source, sourcePitch, sourceRow), sourceWidth, columnMap, table,
                 destinationWidth, ring[slot]);
        holds[slot] = sourceRow;
        return ring[slot];
    };
    for (int32_t j = 0; j < destinationHeight; ++j) {
        int32_t v = 0, fy = 0;
        CubicPosition(sourceHeight, destinationHeight, j, &v, &fy);
        const int32_t *rows[4];
        for (int32_t k = 0; k < 4; ++k) rows[k] = fetch(v - 1 + k);
        const int64_t k0 = Far(table, fy), k1 = Near(table, fy);
        const int64_t k2 = Near(table, 1024 - fy), k3 = Far(table, 1024 - fy);
        uint8_t *out = RowOf(destination, destinationPitch, j);
        for (int32_t i = 0; i < destinationWidth; ++i) {
            const int64_t sum = k0 * rows[0][i] + k1 * rows[1][i] + k2 * rows[2][i] + k3 * rows[3][i];
            const int64_t q = (sum + 0x80000) >> 20;
            out[i] = static_cast<uint8_t>(q < 0 ? 0 : (q > 255 ? 255 : q));
        }
    }
    return RESULT_OK;
}

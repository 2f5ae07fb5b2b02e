#include "signature_maps.h"

#include <algorithm>

#include "core/memory.h"
#include "align/bit_count_kernels.h"
#include "align/gradient_code_kernels.h"

namespace {

// Offset of the centred crop inside its cell, per tile type.
int32_t CropOffset(int32_t levelSize, int32_t tileType) {
    const int32_t cell = levelSize / 4;
    switch (tileType) {
        case 1:
            return levelSize / 16;
        case 2:
            return (cell * 3) / 8;
        default:
            return (cell * 7) / 16;
    }
}

// Lays out the four tiles along one axis; false when the crops do not fit the level.
bool LayOutTiles(int32_t levelSize, int32_t tileType, int32_t *mapPos, int32_t *tileSize,
                 int32_t *levelPos) {
    const int32_t mapSize = levelSize >> tileType;
    const int32_t tile = mapSize / 4;
    const int32_t cell = levelSize / 4;
    const int32_t offset = CropOffset(levelSize, tileType);
    for (int i = 0; i < 4; ++i) {
        mapPos[i] = i * tile;
        tileSize[i] = i < 3 ? tile : tile + mapSize % 4;
        levelPos[i] = i * cell + offset;
    }
    // Every tile needs an interior (3 samples), the gradient of crop column 0 reads one sample
    // left of the crop, and the last crop must end inside the level.
    return tile >= 3 && offset >= 1 && levelPos[3] + tileSize[3] <= levelSize;
}

// Codes of `rows` level rows from y, samples x0 + k for k < count, into out at map pitch
// `pitch`; the neighbours one level sample away must exist.
void GradientCodeRows(const LevelView &level, int32_t y, int32_t x0, int32_t count, int32_t rows,
                      uint8_t *out, int64_t pitch) {
    const uint8_t *centre = level.base + y * level.rowStep + x0 * int64_t{level.colStep};
    GradientCodeBlockKernel(centre, level.rowStep, level.colStep, count, rows, out, pitch);
}

// Each row of [first, end) copies its second sample into its first and the one before its last
// into its last.
void CopyEdgeColumns(uint8_t *map, int64_t pitch, int32_t first, int32_t end, int32_t width) {
    for (int32_t y = first; y < end; ++y) {
        uint8_t *row = map + y * pitch;
        row[0] = row[1];
        row[width - 1] = row[width - 2];
    }
}

// Counts the set bits of columns [x0, x1) of one packed bitmap row.
int64_t CountRowBits(const uint8_t *row, int32_t x0, int32_t x1, const uint8_t *table) {
    if (x1 <= x0) return 0;
    const int32_t firstByte = x0 >> 3;
    const int32_t lastByte = (x1 - 1) >> 3;
    const uint32_t headMask = 0xFFu << (x0 & 7);
    const uint32_t tailMask = 0xFFu >> (7 - ((x1 - 1) & 7));
    if (firstByte == lastByte) return table[row[firstByte] & headMask & tailMask];
    int64_t count = table[row[firstByte] & headMask] + table[row[lastByte] & tailMask];
    for (int32_t n = firstByte + 1; n < lastByte; ++n) count += table[row[n]];
    return count;
}

// The counting region of one tile along one axis, in map coordinates: [*from, *to).
void RegionSpan(int32_t mapPos, int32_t size, int32_t estimate, int32_t *from, int32_t *to) {
    *from = mapPos + std::max(estimate, 0) + 1;
    *to = mapPos + size + std::min(estimate, 0) - 1;
}

inline void SetBit(uint8_t *row, int32_t x, bool value) {
    const uint8_t mask = static_cast<uint8_t>(1u << (x & 7));
    row[x >> 3] = value ? static_cast<uint8_t>(row[x >> 3] | mask)
                        : static_cast<uint8_t>(row[x >> 3] & ~mask);
}

inline bool GetBit(const uint8_t *row, int32_t x) { return (row[x >> 3] >> (x & 7)) & 1; }

// The destination span [from, to) whose source x - d lies inside [0, size).
void SourcedSpan(int32_t size, int32_t d, int32_t *from, int32_t *to) {
    *from = std::clamp(d, 0, size);
    *to = std::clamp(size + d, *from, size);
}

// An in-place shift reads from a copy of the plane taken first: then *source points at the copy
// and *copy holds it for the caller to free (null when source and destination differ). False
// when the copy cannot be allocated.
bool SnapshotIfInPlace(MemoryContext memory, const uint8_t **source, const uint8_t *destination,
                       size_t bytes, uint8_t **copy) {
    *copy = nullptr;
    if (*source != destination) return true;
    *copy = static_cast<uint8_t *>(AllocateMemory(memory, bytes));
    if (!*copy) return false;
    CopyBytes(*copy, *source, bytes);
    *source = *copy;
    return true;
}

}  // namespace

SignatureMapGeometry MakeSignatureMapGeometry(int32_t width, int32_t height, int32_t tileType) {
    SignatureMapGeometry g{};
    if (tileType >= 1 && tileType <= 3 &&
        LayOutTiles(width, tileType, g.mapX, g.tileWidth, g.levelX) &&
        LayOutTiles(height, tileType, g.mapY, g.tileHeight, g.levelY)) {
        g.tileType = tileType;
        g.mapWidth = width >> tileType;
        g.mapHeight = height >> tileType;
        g.tilesAcross = g.tilesDown = 4;
        return g;
    }
    g = SignatureMapGeometry{};
    g.tileType = 0;
    g.mapWidth = width;
    g.mapHeight = height;
    g.tilesAcross = g.tilesDown = 1;
    g.tileWidth[0] = width;
    g.tileHeight[0] = height;
    return g;
}

int32_t SignatureRowBytes(const SignatureMapGeometry &geometry, bool bitmap) {
    return bitmap ? (geometry.mapWidth + 7) / 8 : geometry.mapWidth;
}

void ComputeGradientCodes(const LevelView &level, uint8_t *map) {
    const int32_t w = level.width;
    const int32_t h = level.height;
    if (w < 3 || h < 3) {
        FillBytes(map, 0, static_cast<size_t>(std::max(w, 0)) * std::max(h, 0));
        return;
    }
    GradientCodeRows(level, 1, 1, w - 2, h - 2, map + w + 1, w);
    CopyEdgeColumns(map, w, 1, h - 1, w);
    CopyBytes(map, map + w, static_cast<size_t>(w));
    CopyBytes(map + static_cast<int64_t>(h - 1) * w, map + static_cast<int64_t>(h - 2) * w,
              static_cast<size_t>(w));
}

void ComputeGradientCodesTiled(const LevelView &level, const SignatureMapGeometry &g,
                               uint8_t *map) {
    const int32_t pitch = g.mapWidth;
    for (int ty = 0; ty < g.tilesDown; ++ty) {
        const int32_t th = g.tileHeight[ty];
        uint8_t *band = map + static_cast<int64_t>(g.mapY[ty]) * pitch;
        for (int tx = 0; tx < g.tilesAcross && th > 2; ++tx) {
            // Map column m of a tile holds the code of crop column m - 1.
            uint8_t *tile = band + g.mapX[tx];
            const int32_t tw = g.tileWidth[tx];
            GradientCodeRows(level, g.levelY[ty] + 1, g.levelX[tx], tw - 2, th - 2,
                             tile + pitch + 1, pitch);
            CopyEdgeColumns(tile, pitch, 1, th - 1, tw);
        }
        uint8_t *first = map + static_cast<int64_t>(g.mapY[ty]) * pitch;
        uint8_t *last = map + static_cast<int64_t>(g.mapY[ty] + th - 1) * pitch;
        CopyBytes(first, first + pitch, static_cast<size_t>(pitch));
        CopyBytes(last, last - pitch, static_cast<size_t>(pitch));
    }
}

void ThresholdToBitmap(const LevelView &level, int32_t threshold, uint8_t *map) {
    const int32_t rowBytes = (level.width + 7) / 8;
    for (int32_t y = 0; y < level.height; ++y) {
        uint8_t *row = map + static_cast<int64_t>(y) * rowBytes;
        FillBytes(row, 0, static_cast<size_t>(rowBytes));
        for (int32_t x = 0; x < level.width; ++x)
            if (LevelSample(level, x, y) > threshold)
                row[x >> 3] |= static_cast<uint8_t>(1u << (x & 7));
    }
}

void ThresholdToBitmapTiled(const LevelView &level, const SignatureMapGeometry &g,
                            int32_t threshold, uint8_t *map) {
    const int32_t rowBytes = SignatureRowBytes(g, true);
    FillBytes(map, 0, static_cast<size_t>(rowBytes) * g.mapHeight);
    for (int ty = 0; ty < g.tilesDown; ++ty) {
        for (int32_t r = 0; r < g.tileHeight[ty]; ++r) {
            uint8_t *row = map + static_cast<int64_t>(g.mapY[ty] + r) * rowBytes;
            const int32_t y = g.levelY[ty] + r;
            for (int tx = 0; tx < g.tilesAcross; ++tx)
                for (int32_t c = 0; c < g.tileWidth[tx]; ++c) {
                    const int32_t x = g.mapX[tx] + c;
                    if (LevelSample(level, g.levelX[tx] + c, y) > threshold)
                        row[x >> 3] |= static_cast<uint8_t>(1u << (x & 7));
                }
        }
    }
}

int64_t SampleLumaHistogram(const LevelView &level, int32_t histogram[256]) {
    FillBytes(histogram, 0, 256 * sizeof(int32_t));
    const int32_t step = level.width > 1024 && level.height > 1024 ? 4 : 1;
    int64_t count = 0;
    for (int32_t y = 0; y < level.height; y += step)
        for (int32_t x = 0; x < level.width; x += step) {
            ++histogram[LevelSample(level, x, y)];
            ++count;
        }
    return count;
}

int64_t CountMapBits(const uint8_t *map, const SignatureMapGeometry &g, int32_t ex, int32_t ey,
                     const uint8_t *table) {
    int64_t count = 0;
    for (int ty = 0; ty < g.tilesDown; ++ty) {
        int32_t y0, y1;
        RegionSpan(g.mapY[ty], g.tileHeight[ty], ey, &y0, &y1);
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t *row = map + static_cast<int64_t>(y) * g.mapWidth;
            for (int tx = 0; tx < g.tilesAcross; ++tx) {
                int32_t x0, x1;
                RegionSpan(g.mapX[tx], g.tileWidth[tx], ex, &x0, &x1);
                for (int32_t x = x0; x < x1; ++x) count += table[row[x]];
            }
        }
    }
    return count;
}

int64_t CountBitmapBits(const uint8_t *bitmap, const SignatureMapGeometry &g, int32_t ex,
                        int32_t ey, const uint8_t *table) {
    const int32_t rowBytes = SignatureRowBytes(g, true);
    int64_t count = 0;
    for (int ty = 0; ty < g.tilesDown; ++ty) {
        int32_t y0, y1;
        RegionSpan(g.mapY[ty], g.tileHeight[ty], ey, &y0, &y1);
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t *row = bitmap + static_cast<int64_t>(y) * rowBytes;
            for (int tx = 0; tx < g.tilesAcross; ++tx) {
                int32_t x0, x1;
                RegionSpan(g.mapX[tx], g.tileWidth[tx], ex, &x0, &x1);
                count += CountRowBits(row, x0, x1, table);
            }
        }
    }
    return count;
}

int64_t CountShiftedMapDifference(const uint8_t *exposure, const uint8_t *reference,
                                  const SignatureMapGeometry &g, int32_t dx, int32_t dy, int32_t ex,
                                  int32_t ey) {
    const XorBitCountKernel countXorBits = ChooseCountXorBits();
    int64_t count = 0;
    for (int ty = 0; ty < g.tilesDown; ++ty) {
        int32_t y0, y1;
        RegionSpan(g.mapY[ty], g.tileHeight[ty], ey, &y0, &y1);
        for (int32_t y = y0; y < y1; ++y) {
            const uint8_t *ref = reference + static_cast<int64_t>(y) * g.mapWidth;
            const uint8_t *exp = exposure + static_cast<int64_t>(y - dy) * g.mapWidth - dx;
            for (int tx = 0; tx < g.tilesAcross; ++tx) {
                int32_t x0, x1;
                RegionSpan(g.mapX[tx], g.tileWidth[tx], ex, &x0, &x1);
                if (x1 > x0) count += countXorBits(ref + x0, exp + x0, x1 - x0);
            }
        }
    }
    return count;
}

int ShiftPlane8(MemoryContext memory, const uint8_t *source, uint8_t *destination, int32_t width,
                int32_t height, int32_t pitch, int32_t dx, int32_t dy) {
    const size_t bytes = static_cast<size_t>(pitch) * std::max(height, 0);
    uint8_t *copy;
    if (!SnapshotIfInPlace(memory, &source, destination, bytes, &copy))
        return RESULT_OUT_OF_MEMORY;
    int32_t x0, x1, y0, y1;
    SourcedSpan(width, dx, &x0, &x1);
    SourcedSpan(height, dy, &y0, &y1);
    for (int32_t y = y0; y < y1 && x1 > x0; ++y)
        CopyBytes(destination + static_cast<int64_t>(y) * pitch + x0,
                  source + static_cast<int64_t>(y - dy) * pitch + (x0 - dx),
                  static_cast<size_t>(x1 - x0));
    if (copy) FreeMemory(memory, copy);
    return RESULT_OK;
}

int ShiftBitmap(MemoryContext memory, const uint8_t *source, uint8_t *destination, int32_t width,
                int32_t height, int32_t rowBytes, int32_t dx, int32_t dy) {
    const size_t bytes = static_cast<size_t>(rowBytes) * std::max(height, 0);
    uint8_t *copy;
    if (!SnapshotIfInPlace(memory, &source, destination, bytes, &copy))
        return RESULT_OUT_OF_MEMORY;
    if (!copy) FillBytes(destination, 0xFF, bytes);
    int32_t x0, x1, y0, y1;
    SourcedSpan(width, dx, &x0, &x1);
    SourcedSpan(height, dy, &y0, &y1);
    for (int32_t y = y0; y < y1; ++y) {
        uint8_t *out = destination + static_cast<int64_t>(y) * rowBytes;
        const uint8_t *in = source + static_cast<int64_t>(y - dy) * rowBytes;
        if ((dx & 7) == 0) {
            // Whole-byte shift: copy the inner bytes, then the partial bytes at the ends.
            const int32_t fullFrom = (x0 + 7) >> 3;
            const int32_t fullTo = x1 >> 3;
            if (fullTo > fullFrom)
                CopyBytes(out + fullFrom, in + fullFrom - (dx >> 3),
                          static_cast<size_t>(fullTo - fullFrom));
            const int32_t headEnd = std::min(fullFrom << 3, x1);
            for (int32_t x = x0; x < headEnd; ++x) SetBit(out, x, GetBit(in, x - dx));
            for (int32_t x = std::max(fullTo << 3, headEnd); x < x1; ++x)
                SetBit(out, x, GetBit(in, x - dx));
        } else {
            for (int32_t x = x0; x < x1; ++x) SetBit(out, x, GetBit(in, x - dx));
        }
    }
    if (copy) FreeMemory(memory, copy);
    return RESULT_OK;
}

void OrMaps(const uint8_t *a, const uint8_t *b, uint8_t *out, int32_t width, int32_t rows) {
    const int64_t n = static_cast<int64_t>(width) * rows;
    for (int64_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(a[i] | b[i]);
}

void XorMaps(const uint8_t *a, const uint8_t *b, uint8_t *out, int32_t width, int32_t rows) {
    const int64_t n = static_cast<int64_t>(width) * rows;
    for (int64_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(a[i] ^ b[i]);
}

void XorShiftedMap(const uint8_t *a, const uint8_t *b, uint8_t *out, int32_t width, int32_t rows,
                   int32_t dx, int32_t dy) {
    int32_t x0, x1, y0, y1;
    SourcedSpan(width, dx, &x0, &x1);
    SourcedSpan(rows, dy, &y0, &y1);
    for (int32_t y = y0; y < y1; ++y) {
        const int64_t row = static_cast<int64_t>(y) * width;
        const int64_t sourceRow = static_cast<int64_t>(y - dy) * width;
        for (int32_t x = x0; x < x1; ++x)
            out[row + x] = static_cast<uint8_t>(a[row + x] ^ b[sourceRow + x - dx]);
    }
}

#include "integral_row_cache.h"

#include <cstddef>

#include "core/memory.h"

namespace {

// Takes the lowest free slot for row y + 1, or null when row y is absent, row y + 1 is
// already present or no slot is free (callers size the cache so that one always is).
int64_t *BeginRow(IntegralRowCache *cache, int32_t y) {
    if (y < 0 || y + 1 >= cache->rowCount) return nullptr;
    if (!cache->rowTable[y] || cache->rowTable[y + 1]) return nullptr;
    for (int32_t slot = 0; slot < cache->slotCount; ++slot) {
        if (cache->slotInUse[slot]) continue;
        cache->slotInUse[slot] = 1;
        int64_t *row = cache->slotStorage + static_cast<size_t>(slot) * cache->rowLength;
        cache->rowTable[y + 1] = row;
        row[0] = 0;
        return row;
    }
    return nullptr;
}

// row[x + 1] := above[x + 1] + sum of value(0..x).
template <typename Value>
void FillRow(int64_t *row, const int64_t *above, int32_t width, Value value) {
    int64_t running = 0;
    for (int32_t x = 0; x < width; ++x) {
        running += value(x);
        row[x + 1] = above[x + 1] + running;
    }
}

}  // namespace

IntegralRowCache *CreateIntegralRowCache(MemoryContext memory, const RowImage *image,
                                         int32_t slotCount) {
    if (!image || slotCount < 1 || image->width < 0 || image->height < 0) return nullptr;
    auto *cache = AllocateZeroed<IntegralRowCache>(memory, 1);
    if (!cache) return nullptr;
    cache->rowLength = image->width + 1;
    cache->rowCount = image->height + 1;
    cache->slotCount = slotCount;
    cache->rowTable = AllocateZeroed<int64_t *>(memory, static_cast<uint64_t>(cache->rowCount));
    cache->slotInUse = AllocateZeroed<int32_t>(memory, static_cast<uint64_t>(slotCount));
    cache->slotStorage = AllocateZeroed<int64_t>(
        memory, static_cast<uint64_t>(slotCount) * static_cast<uint64_t>(cache->rowLength));
    if (!cache->rowTable || !cache->slotInUse || !cache->slotStorage) {
        FreeIntegralRowCache(memory, &cache);
        return nullptr;
    }
    cache->slotInUse[0] = 1;
    cache->rowTable[0] = cache->slotStorage;
    return cache;
}

void FreeIntegralRowCache(MemoryContext memory, IntegralRowCache **cache) {
    if (!cache || !*cache) return;
    FreeAndClear(memory, (*cache)->slotInUse);
    FreeAndClear(memory, (*cache)->slotStorage);
    FreeAndClear(memory, (*cache)->rowTable);
    FreeAndClear(memory, *cache);
}

void AppendIntegralRow8(IntegralRowCache *cache, const RowImage *image, int32_t y, int32_t kind) {
    int64_t *row = BeginRow(cache, y);
    if (!row) return;
    const int64_t *above = cache->rowTable[y];
    const uint8_t *samples = image->rows[y];
    const int32_t width = cache->rowLength - 1;
    if (kind == INTEGRAL_SQUARES) {
        FillRow(row, above, width, [samples](int32_t x) {
            return static_cast<int64_t>(samples[x]) * samples[x];
        });
    } else {
        FillRow(row, above, width, [samples](int32_t x) { return static_cast<int64_t>(samples[x]); });
    }
}

void AppendIntegralRowProduct(IntegralRowCache *cache, const RowImage *guide,
                              const RowImage *input, int32_t y) {
    int64_t *row = BeginRow(cache, y);
    if (!row) return;
    const uint8_t *g = guide->rows[y];
    const auto *p = reinterpret_cast<const int32_t *>(input->rows[y]);
    // The product is formed in 32 bits (modulo 2^32), then widened.
    FillRow(row, cache->rowTable[y], cache->rowLength - 1, [g, p](int32_t x) {
        return static_cast<int64_t>(
            static_cast<int32_t>(static_cast<uint32_t>(g[x]) * static_cast<uint32_t>(p[x])));
    });
}

void AppendIntegralRowProduct8(IntegralRowCache *cache, const RowImage *a, const RowImage *b,
                               int32_t y) {
    int64_t *row = BeginRow(cache, y);
    if (!row) return;
    const uint8_t *pa = a->rows[y];
    const uint8_t *pb = b->rows[y];
    FillRow(row, cache->rowTable[y], cache->rowLength - 1,
            [pa, pb](int32_t x) { return static_cast<int64_t>(pa[x]) * pb[x]; });
}

void AppendIntegralRow32(IntegralRowCache *cache, const RowImage *image, int32_t y) {
    int64_t *row = BeginRow(cache, y);
    if (!row) return;
    const auto *samples = reinterpret_cast<const int32_t *>(image->rows[y]);
    FillRow(row, cache->rowTable[y], cache->rowLength - 1,
            [samples](int32_t x) { return static_cast<int64_t>(samples[x]); });
}

void ReleaseIntegralRowsBelow(IntegralRowCache *cache, int32_t y) {
    for (int32_t row = y - 1; row >= 0 && row < cache->rowCount; --row) {
        int64_t *slot = cache->rowTable[row];
        if (!slot) break;
        const size_t index = static_cast<size_t>(slot - cache->slotStorage) / cache->rowLength;
        cache->slotInUse[index] = 0;
        cache->rowTable[row] = nullptr;
    }
}

#include "alt/block_exposure_map.h"

#include <algorithm>
#include <cstring>

#include "core/memory.h"

namespace {

constexpr int32_t kMapProgress = 49;  // the map sits between the merge (..49) and the tone mapping
constexpr int32_t kMapProgressEnd = 50;

// The work buffers of one map; released together on every path.
struct MapBuffers {
    MemoryContext memory;
    int32_t *sums = nullptr;  // fused, bright, dark: three arrays of B
    double *stops = nullptr;
    uint8_t *levels = nullptr;
    uint8_t *second = nullptr;

    bool Allocate(int64_t blocks) {
        sums = AllocateZeroed<int32_t>(memory, uint64_t(3 * blocks));
        stops = AllocateZeroed<double>(memory, uint64_t(blocks));
        levels = AllocateZeroed<uint8_t>(memory, uint64_t(blocks));
        second = AllocateZeroed<uint8_t>(memory, uint64_t(blocks));
        return sums && stops && levels && second;
    }
    ~MapBuffers() {
        FreeAndClear(memory, sums);
        FreeAndClear(memory, stops);
        FreeAndClear(memory, levels);
        FreeAndClear(memory, second);
    }
};

bool PlanarLuma(uint32_t format) {
    switch (format) {
        case PIXEL_FORMAT_I420:
        case 0x605:
        case PIXEL_FORMAT_YUV422P:
        case PIXEL_FORMAT_NV12:
        case PIXEL_FORMAT_NV21:
        case PIXEL_FORMAT_NV16: return true;
        default: return false;
    }
}

}  // namespace

int RunBlockExposureMap(MemoryContext memory, HdrSession *s, const uint8_t *const *planes,
                        int32_t width, int32_t height, int32_t pitch, int32_t toneLength,
                        uint32_t format, ProgressCallback progress, void *user,
                        const BlockExposureProducts &products) {
    if (format != PIXEL_FORMAT_YUYV && !PlanarLuma(format)) return RESULT_UNSUPPORTED_FORMAT;
    const int64_t blocks = int64_t{s->blocksAcross} * s->blocksDown;
    const int64_t borderedCells = (int64_t{s->blocksAcross} + 2) * (int64_t{s->blocksDown} + 2);
    if (!products.borderedMap || !products.stopTable ||
        products.borderedMapBytes < borderedCells || products.stopTableEntries < kStopLevels)
        return RESULT_INVALID_ARGUMENT;
    MapBuffers buffers{memory};
    if (!buffers.Allocate(blocks)) return RESULT_OUT_OF_MEMORY;
    const BlockSums sums{buffers.sums, buffers.sums + blocks, buffers.sums + 2 * blocks};
    const BlockProgress report{progress, user, kMapProgress};
    const int r = format == PIXEL_FORMAT_YUYV
                      ? SumExposureBlocksPacked422(memory, s, planes, width, height, pitch, sums,
                                                   0, report)
                      : SumExposureBlocksPlanar(memory, s, planes, width, height, pitch, sums,
                                                report);
    if (r != RESULT_OK) return r;
    ComputeBlockStops(s, sums, buffers.stops, s->blocksAcross, s->blocksDown, toneLength - 80);
    double minStop = 0, maxStop = 0;
    FindStopRange(buffers.stops, blocks, &minStop, &maxStop);
    QuantiseStopMap(buffers.stops, buffers.levels, blocks, kStopLevels, products.stopTable,
                    minStop, 0.0, maxStop);
    SpreadBrightLevels(buffers.levels, buffers.second, s->blocksAcross, s->blocksDown,
                       s->blocksAcross, 1, 224);
    std::memcpy(buffers.levels, buffers.second, size_t(blocks));
    if (SmoothLevelMap5Tap(memory, buffers.levels, buffers.second, s->blocksAcross,
                           s->blocksDown) != RESULT_OK)
        return RESULT_OUT_OF_MEMORY;
    BorderLevelMap(buffers.second, s->blocksAcross, s->blocksDown, products.borderedMap);
    FillStopTable(products.stopTable, minStop, maxStop, toneLength, s->sceneClass);
    s->progressBase = kMapProgress;
    if (progress && progress(kMapProgress, 0, user) == PROGRESS_CANCEL) return RESULT_CANCELLED;
    s->progressBase = kMapProgressEnd;
    return RESULT_OK;
}

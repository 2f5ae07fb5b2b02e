// Global and per-tile registration of the two-call merge.
#include "local_alignment.h"

#include <algorithm>
#include <cstdlib>

#include "align/aligned_block_planes.h"
#include "align/luma_window.h"
#include "align/pyramid_aligner.h"
#include "core/memory.h"
#include "tile_layout.h"

namespace {

constexpr int32_t kMeshConstants[7] = {256, 128, 127, 8, 12, 16, 8};
constexpr int32_t kMinLevels = 5;
constexpr int32_t kLevelLimitSide = 64;
constexpr int32_t kShiftCap = 128;
constexpr int32_t kSumCap = 129;
constexpr int32_t kRangeSpan = 16;  // block cells a tile of the level range spans
constexpr int32_t kBrightTileCells = 60;

bool HasBlockGrid(const HdrSession *s) {
    return s->blockStats && s->blocksAcross >= 1 && s->blocksDown >= 1 &&
           s->referenceIndex >= 0 && s->referenceIndex < kMaxExposures && s->darkIndex >= 0 &&
           s->darkIndex < kMaxExposures && s->brightIndex >= 0 && s->brightIndex < kMaxExposures;
}

const int16_t *LevelPlane(const HdrSession *s, int32_t index) {
    const int64_t cells = int64_t{s->blocksAcross + 2} * (s->blocksDown + 2);
    return s->blockStats + cells * index;
}

// The seven new grids are made together: on a failure the new ones go and the old stay.
int ReplaceGrids(MemoryContext memory, HdrSession *s) {
    const uint64_t meshCells = uint64_t(s->meshCols) * uint64_t(s->meshRows);
    const uint64_t weightCells = uint64_t(s->paddedBlocksAcross) * uint64_t(s->paddedBlocksDown);
    int32_t *offsets[4] = {};
    int16_t *weights[3] = {};
    bool ok = true;
    for (int32_t *&g : offsets) ok = ok && (g = AllocateZeroed<int32_t>(memory, meshCells));
    for (int16_t *&g : weights) ok = ok && (g = AllocateZeroed<int16_t>(memory, weightCells));
    if (!ok) {
        for (int32_t *&g : offsets) FreeAndClear(memory, g);
        for (int16_t *&g : weights) FreeAndClear(memory, g);
        return RESULT_OUT_OF_MEMORY;
    }
    int32_t **targets[4] = {&s->offsetGridX[0], &s->offsetGridY[0], &s->offsetGridX[1],
                            &s->offsetGridY[1]};
    for (int k = 0; k < 4; ++k) {
        FreeAndClear(memory, *targets[k]);
        *targets[k] = offsets[k];
    }
    for (int k = 0; k < 3; ++k) {
        FreeAndClear(memory, s->fusionWeightGrids[k]);
        s->fusionWeightGrids[k] = weights[k];
    }
    return RESULT_OK;
}

int EnsureTileScratch(MemoryContext memory, HdrSession *s) {
    for (uint8_t *&block : s->tileScratch) {
        if (!block) block = AllocateZeroed<uint8_t>(memory, kTileScratchBytes);
        if (!block) return RESULT_OUT_OF_MEMORY;
    }
    return RESULT_OK;
}

struct Planes {
    uint8_t *reference;
    uint8_t *dark;
    uint8_t *bright;
    uint32_t format;
    int32_t width;
    int32_t height;
    int32_t pitch;
};

// Global offsets by the tile level flags; alignStridedPyramid is set by the caller.
int AlignGlobally(MemoryContext memory, HdrSession *s, const Planes &p, int32_t flags,
                  int32_t levels, int32_t shift[4], ProgressCallback progress, void *user) {
    int state = 1;
    const uint32_t format = LumaFormat(p.format);
    if (flags == 3)
        return AlignTriplePyramid(memory, s, p.reference, p.dark, p.bright, format, 0, p.width,
                                  p.height, p.pitch, p.width, p.height, p.pitch, &shift[0],
                                  &shift[1], &shift[2], &shift[3], &state, levels, 0, progress,
                                  user);
    if (flags == 2)
        return AlignPairPyramid(memory, s, p.reference, p.bright, format, 0, p.width, p.height,
                                p.pitch, p.width, p.height, p.pitch, &shift[2], &shift[3], &state,
                                levels, 0, progress, user);
    if (flags == 1)
        return AlignPairPyramid(memory, s, p.reference, p.dark, format, 0, p.width, p.height,
                                p.pitch, p.width, p.height, p.pitch, &shift[0], &shift[1], &state,
                                levels, 0, progress, user);
    return RESULT_OK;
}

bool ExceedsReach(const int32_t shift[4], int32_t levels) {
    const int32_t limit = std::min((1 << (levels + 1)) - 10, kShiftCap);
    for (int k = 0; k < 4; ++k)
        if (std::abs(shift[k]) > limit) return true;
    const int32_t mx = std::max(std::abs(shift[0]), std::abs(shift[2]));
    const int32_t my = std::max(std::abs(shift[1]), std::abs(shift[3]));
    return mx + my >= kSumCap;
}

// Aligns the windows of one tile, the reference's at (x, y), and stores the four results at
// grid cell (row, column).
int MeasureTile(MemoryContext memory, HdrSession *s, const Planes &p, const int32_t shift[4],
                int32_t x, int32_t y, int32_t row, int32_t column, ProgressCallback progress,
                void *user) {
    const uint32_t format = LumaFormat(p.format);
    const int32_t T = kTileSide;
    ExtractLumaWindow(p.reference, p.width, p.height, p.pitch, TileWindowAt(s, 0, kWindowReference),
                      T, T, T, x, y, format);
    ExtractLumaWindow(p.dark, p.width, p.height, p.pitch, TileWindowAt(s, 0, kWindowDark), T, T,
                      T, x - shift[0], y - shift[1], format);
    uint8_t *bright = nullptr;
    if (p.bright) {
        bright = TileWindowAt(s, 0, kWindowBright);
        ExtractLumaWindow(p.bright, p.width, p.height, p.pitch, bright, T, T, T, x - shift[2],
                          y - shift[3], format);
    }
    int32_t found[4] = {};
    int state = 1;
    // The windows are plain luma whatever the input's layout.
    const int r = AlignTriplePyramid(memory, s, TileWindowAt(s, 0, kWindowReference),
                                     TileWindowAt(s, 0, kWindowDark), bright, PIXEL_FORMAT_I420,
                                     0, T, T, T, T, T, T, &found[0], &found[1], &found[2],
                                     &found[3], &state, s->alignPyramidDepth, 0, progress, user);
    if (r != RESULT_OK) return r;
    const int64_t cell = int64_t{row} * s->meshCols + column;
    s->offsetGridX[0][cell] = found[0];
    s->offsetGridY[0][cell] = found[1];
    s->offsetGridX[1][cell] = found[2];
    s->offsetGridY[1][cell] = found[3];
    return RESULT_OK;
}

int MeasureTileColumns(MemoryContext memory, HdrSession *s, const Planes &p,
                       const int32_t shift[4], ProgressCallback progress, void *user) {
    const int32_t tilesAcross = TilesAcross(p.width);
    const int32_t tilesDown = TilesDown(p.height);
    const int32_t mx = std::max(std::abs(shift[0]), std::abs(shift[2]));
    const int32_t my = std::max(std::abs(shift[1]), std::abs(shift[3]));
    for (int side = 0; side < 2; ++side) {
        const int32_t tileColumn = side == 0 ? 0 : tilesAcross - 1;
        const int32_t x = side == 0 ? mx : p.width - mx - kTileSide;
        const int32_t gridColumn = side == 0 ? 1 : tilesAcross - 1;
        for (int32_t r = 0; r + 1 < tilesDown; ++r) {
            LoadTileFromSessionPlanes(s, kTileCells, kTileCells, tileColumn, r, nullptr, 0);
            const int result = MeasureTile(memory, s, p, shift, x, kTileSide * r + my, r + 1,
                                           gridColumn, progress, user);
            if (result != RESULT_OK) return result;
        }
    }
    return RESULT_OK;
}

int Measure(MemoryContext memory, HdrSession *s, const Planes &p, int32_t shift[4],
            ProgressCallback progress, void *user) {
    s->meshCols = TilesAcross(p.width) + 2;
    s->meshRows = TilesDown(p.height) + 2;
    s->paddedBlocksAcross = (p.width + 31) / 32 + 2;
    s->paddedBlocksDown = (p.height + 31) / 32 + 2;
    std::copy(kMeshConstants, kMeshConstants + 7, s->meshConstants);
    const int32_t levels = std::max(CountPyramidLevels(p.width, p.height, kLevelLimitSide), kMinLevels);

    s->alignStridedPyramid = 1;
    int32_t flags = 0;
    int r = MeasureTileLevelRange(memory, s, &flags);
    if (r != RESULT_OK) return r;
    s->alignGradientMode = 1;
    const int aligned = AlignGlobally(memory, s, p, flags, levels, shift, progress, user);
    if (ExceedsReach(shift, levels)) s->pendingStatus = RESULT_EXCESSIVE_MOTION;
    s->darkBrightShift[0] = shift[0];
    s->darkBrightShift[1] = shift[2];
    s->darkBrightShift[2] = shift[1];
    s->darkBrightShift[3] = shift[3];
    r = ApplyGlobalOffsets(memory, s, shift[0], shift[1], shift[2], shift[3]);
    s->alignStridedPyramid = 0;
    if (aligned != RESULT_OK) return aligned;
    if (r != RESULT_OK) return r;

    r = EnsureTileScratch(memory, s);
    if (r != RESULT_OK) return r;
    r = ReplaceGrids(memory, s);
    if (r != RESULT_OK) return r;
    r = MeasureTileColumns(memory, s, p, shift, progress, user);
    if (r != RESULT_OK) return r;
    int32_t *grids[4] = {s->offsetGridX[0], s->offsetGridY[0], s->offsetGridX[1], s->offsetGridY[1]};
    for (int k = 0; k < 4; ++k) FitDisplacementGridColumns(grids[k], s->meshCols, s->meshRows, 0, nullptr, nullptr);
    return RESULT_OK;
}

}  // namespace

int MeasureLocalDisplacements(MemoryContext memory, HdrSession *s, uint8_t *reference,
                              uint8_t *dark, uint8_t *bright, uint32_t format, int32_t width,
                              int32_t height, int32_t pitch, int32_t *darkDx, int32_t *darkDy,
                              int32_t *brightDx, int32_t *brightDy, ProgressCallback progress,
                              void *user) {
    if (!s || !reference || !dark || !darkDx || !darkDy || !brightDx || !brightDy || width < 1 ||
        height < 1 || !HasBlockGrid(s))
        return RESULT_INVALID_ARGUMENT;
    if (!IsIntermediateFormat(format)) return RESULT_UNSUPPORTED_FORMAT;
    int32_t shift[4] = {};
    const Planes p = {reference, dark, bright, format, width, height, pitch};
    const int r = Measure(memory, s, p, shift, progress, user);
    s->alignStridedPyramid = 0;
    *darkDx = shift[0];
    *darkDy = shift[1];
    *brightDx = shift[2];
    *brightDy = shift[3];
    return r;
}

int RunLocalAlignment(MemoryContext memory, HdrSession *s, const ImageDesc *inputs, int32_t count,
                      int32_t *globalShift, ProgressCallback progress, void *user) {
    const int checked = CheckIntermediateInputs(s, inputs, count);
    if (checked != RESULT_OK) return checked;
    if (!globalShift || !HasBlockGrid(s)) return RESULT_INVALID_ARGUMENT;
    const ImageDesc &first = inputs[0];
    return MeasureLocalDisplacements(
        memory, s, inputs[s->referenceIndex].ppu8Plane[0], inputs[s->darkIndex].ppu8Plane[0],
        inputs[s->brightIndex].ppu8Plane[0], first.u32PixelArrayFormat, first.i32Width,
        first.i32Height, first.pi32Pitch[0], &globalShift[0], &globalShift[1], &globalShift[2],
        &globalShift[3], progress, user);
}

int MeasureTileLevelRange(MemoryContext memory, HdrSession *s, int32_t *flags) {
    if (!s || !flags || !HasBlockGrid(s) || s->frameWidth < 1 || s->frameHeight < 1)
        return RESULT_INVALID_ARGUMENT;
    const int32_t across = TilesAcross(s->frameWidth);
    const int32_t down = TilesDown(s->frameHeight);
    const int64_t tiles = int64_t{across} * down;
    int16_t *block = AllocateZeroed<int16_t>(memory, 2 * tiles);
    if (!block) return RESULT_OUT_OF_MEMORY;
    const int16_t *levels = LevelPlane(s, s->referenceIndex);
    int32_t result = 0;
    for (int32_t ty = 0; ty < down; ++ty)
        for (int32_t tx = 0; tx < across; ++tx) {
            int32_t low = 255, high = 0;
            bool any = false;
            for (int32_t l = 1; l <= 14; ++l)
                for (int32_t m = 1; m <= 14; ++m) {
                    const int32_t row = kRangeSpan * ty + l;
                    const int32_t column = kRangeSpan * tx + m;
                    if (row >= s->blocksDown || column >= s->blocksAcross) continue;
                    const int32_t v = levels[int64_t{row} * s->blocksAcross + column];
                    low = std::min(low, v);
                    high = std::max(high, v);
                    any = true;
                }
            // A tile without block cells has no levels: it says nothing about the scene.
            if (!any) low = high = 0;
            block[ty * across + tx] = static_cast<int16_t>(low);
            block[tiles + ty * across + tx] = static_cast<int16_t>(high);
            if (any && high > s->sceneThresholds[1]) result |= 1;
            if (any && low < s->sceneThresholds[4]) result |= 2;
        }
    FreeAndClear(memory, s->tileLevelMin);
    s->tileLevelMin = block;
    s->tileLevelMax = block + tiles;
    s->localAlignSet = result;
    *flags = result;
    return RESULT_OK;
}

int LoadTileFromSessionPlanes(HdrSession *s, int32_t cellsAcross, int32_t cellsDown,
                              int32_t tileColumn, int32_t tileRow, int32_t *flag, int set) {
    if (!s || set < 0 || set > 1 || !s->tileScratch[set] || !HasBlockGrid(s) || cellsAcross < 1 ||
        cellsDown < 1 || int64_t{cellsAcross} * cellsDown > kTileCellCount)
        return RESULT_INVALID_ARGUMENT;
    int16_t *buffers[5];
    for (int k = 0; k < 5; ++k) {
        buffers[k] = TileBlockBuffer(s, set, k);
        std::fill(buffers[k], buffers[k] + cellsAcross * cellsDown, int16_t{0});
    }
    const int16_t *ref = LevelPlane(s, s->referenceIndex);
    const int16_t *dark = LevelPlane(s, s->darkIndex);
    const int16_t *bright = LevelPlane(s, s->brightIndex);
    const int16_t *u = s->paddedBlockPlanes[5];
    const int16_t *v = s->paddedBlockPlanes[6];
    const int32_t T1 = s->sceneThresholds[1];
    int32_t brightCells = 0;
    for (int32_t r = 0; r < cellsDown; ++r)
        for (int32_t c = 0; c < cellsAcross; ++c) {
            const int32_t row = cellsDown * tileRow + r;
            const int32_t column = cellsAcross * tileColumn + c;
            if (row < 0 || column < 0 || row >= s->blocksDown || column >= s->blocksAcross) continue;
            const int64_t dense = int64_t{row} * s->blocksAcross + column;
            const int64_t padded = int64_t{row + 1} * s->paddedBlocksAcross + column + 1;
            const int32_t k = r * cellsAcross + c;
            buffers[kTileReferenceLevel][k] = ref[dense];
            buffers[kTileDarkLevel][k] = dark[dense];
            buffers[kTileBrightLevel][k] = bright[dense];
            if (u) buffers[kTileChromaDiffU][k] = u[padded];
            if (v) buffers[kTileChromaDiffV][k] = v[padded];
            if (ref[dense] > T1) ++brightCells;
        }
    if (flag) {
        const int32_t across = TilesAcross(s->frameWidth);
        const int32_t down = TilesDown(s->frameHeight);
        bool minimumAbove = false;
        if (s->tileLevelMin && tileColumn >= 0 && tileRow >= 0 && tileColumn < across && tileRow < down)
            minimumAbove = s->tileLevelMin[tileRow * across + tileColumn] > T1;
        *flag = (brightCells > kBrightTileCells || minimumAbove) ? 1 : 0;
    }
    return RESULT_OK;
}

#include "aligned_block_planes.h"

#include <cstddef>
#include <initializer_list>

#include "core/memory.h"
#include "core/plane_border.h"
#include "core/session.h"

namespace {

constexpr int32_t kBlockSide = 32;
constexpr int32_t kMeshSide = 256;

bool ValidIndex(int32_t i) { return i >= 0 && i < kMaxExposures; }

bool HasBlockGrid(const HdrSession *s) {
    return s && s->blockStats && s->blocksAcross >= 1 && s->blocksDown >= 1 &&
           s->paddedBlocksAcross == s->blocksAcross + 2 &&
           s->paddedBlocksDown == s->blocksDown + 2 && ValidIndex(s->darkIndex) &&
           ValidIndex(s->brightIndex) && ValidIndex(s->referenceIndex);
}

size_t PaddedCells(const HdrSession *s) {
    return static_cast<size_t>(s->paddedBlocksAcross) * static_cast<size_t>(s->paddedBlocksDown);
}

int16_t *BlockPlane(HdrSession *s, int index) {
    return s->blockStats + static_cast<size_t>(index) * PaddedCells(s);
}

// Whole-cell part of a shift: floor(-d / 32), and the weight of the cell it lands on (1..32).
void SplitShift(int32_t d, int32_t *cells, int32_t *weight) {
    *cells = d < 0 ? (-d) / kBlockSide : (1 - d - kBlockSide) / kBlockSide;
    *weight = d + kBlockSide + kBlockSide * *cells;
}

// Pads a plane in place through a temporary of the padded size.
int PadInPlace(MemoryContext memory, HdrSession *s, int16_t *plane) {
    int16_t *padded = AllocateZeroed<int16_t>(memory, PaddedCells(s));
    if (!padded) return RESULT_OUT_OF_MEMORY;
    PadPlane16(plane, padded, s->blocksAcross, s->blocksDown);
    CopyBytes(plane, padded, PaddedCells(s) * sizeof(int16_t));
    FreeMemory(memory, padded);
    return RESULT_OK;
}

int AllocateWeightGrids(MemoryContext memory, HdrSession *s) {
    int16_t *grids[3] = {};
    for (int16_t *&grid : grids) {
        grid = AllocateZeroed<int16_t>(memory, PaddedCells(s));
        if (!grid) {
            for (int16_t *&g : grids) FreeAndClear(memory, g);
            return RESULT_OUT_OF_MEMORY;
        }
    }
    for (int k = 0; k < 3; ++k) {
        FreeAndClear(memory, s->fusionWeightGrids[k]);
        s->fusionWeightGrids[k] = grids[k];
    }
    return RESULT_OK;
}

}  // namespace

int ShiftBlockPlane(MemoryContext memory, HdrSession *s, int16_t *plane, int32_t dx, int32_t dy) {
    if (!HasBlockGrid(s) || !plane) return RESULT_INVALID_ARGUMENT;
    if (dx < -(1 << 20) || dx > (1 << 20) || dy < -(1 << 20) || dy > (1 << 20))
        return RESULT_INVALID_ARGUMENT;
    const int32_t e = s->blocksAcross;
    const int32_t f = s->blocksDown;
    int32_t gx, gy, wx, wy;
    SplitShift(dx, &gx, &wx);
    SplitShift(dy, &gy, &wy);
    const int32_t lx = gx < 0 ? -gx : gx;
    const int32_t ly = gy < 0 ? -gy : gy;
    const size_t cells = static_cast<size_t>(e) * static_cast<size_t>(f);
    int16_t *t = AllocateZeroed<int16_t>(memory, cells);
    if (!t) return RESULT_OUT_OF_MEMORY;
    CopyBytes(t, plane, cells * sizeof(int16_t));
    auto at = [&](int32_t x, int32_t y) { return int32_t{plane[static_cast<size_t>(y) * e + x]}; };
    for (int32_t y = ly; y <= f - ly - 2; ++y) {
        for (int32_t x = lx; x <= e - lx - 2; ++x) {
            const int32_t sx = x + gx;
            const int32_t sy = y + gy;
            const int32_t upper = wx * at(sx, sy) + (kBlockSide - wx) * at(sx + 1, sy);
            const int32_t lower = wx * at(sx, sy + 1) + (kBlockSide - wx) * at(sx + 1, sy + 1);
            t[static_cast<size_t>(y) * e + x] =
                static_cast<int16_t>((wy * upper + (kBlockSide - wy) * lower) >> 10);
        }
    }
    CopyBytes(plane, t, cells * sizeof(int16_t));
    FreeMemory(memory, t);
    return RESULT_OK;
}

int ShiftDarkBlockPlanes(MemoryContext memory, HdrSession *s, int32_t dx, int32_t dy) {
    if (!HasBlockGrid(s)) return RESULT_INVALID_ARGUMENT;
    for (int plane : {s->darkIndex, kBlockPlaneDarkU, kBlockPlaneDarkV}) {
        const int r = ShiftBlockPlane(memory, s, BlockPlane(s, plane), dx, dy);
        if (r != RESULT_OK) return r;
    }
    return RESULT_OK;
}

int ShiftBrightBlockPlane(MemoryContext memory, HdrSession *s, int32_t dx, int32_t dy) {
    if (!HasBlockGrid(s)) return RESULT_INVALID_ARGUMENT;
    return ShiftBlockPlane(memory, s, BlockPlane(s, s->brightIndex), dx, dy);
}

int SubtractPlane(const int16_t *p, int16_t *q, int32_t width, int32_t rows) {
    if (!p || !q || width < 0 || rows < 0) return RESULT_INVALID_ARGUMENT;
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(rows);
    for (size_t i = 0; i < n; ++i) q[i] = static_cast<int16_t>(q[i] - p[i]);
    return RESULT_OK;
}

int ApplyGlobalOffsets(MemoryContext memory, HdrSession *s, int32_t darkDx, int32_t darkDy,
                       int32_t brightDx, int32_t brightDy) {
    if (!HasBlockGrid(s)) return RESULT_INVALID_ARGUMENT;
    s->paddedBlockPlanes[0] = BlockPlane(s, kBlockPlanePaddedDark);
    s->paddedBlockPlanes[1] = BlockPlane(s, kBlockPlanePaddedReference);
    s->paddedBlockPlanes[2] = BlockPlane(s, kBlockPlaneReferenceCopy);
    int r = ShiftDarkBlockPlanes(memory, s, darkDx, darkDy);
    if (r == RESULT_OK) r = ShiftBrightBlockPlane(memory, s, brightDx, brightDy);
    if (r != RESULT_OK) return r;

    PadPlane16(BlockPlane(s, s->darkIndex), s->paddedBlockPlanes[0], s->blocksAcross,
               s->blocksDown);
    PadPlane16(BlockPlane(s, s->referenceIndex), s->paddedBlockPlanes[1], s->blocksAcross,
               s->blocksDown);
    CopyBytes(s->paddedBlockPlanes[2], s->paddedBlockPlanes[1], PaddedCells(s) * sizeof(int16_t));

    const int chromaPlanes[4] = {kBlockPlaneReferenceU, kBlockPlaneReferenceV, kBlockPlaneDarkU,
                                 kBlockPlaneDarkV};
    for (int k = 0; k < 4; ++k) {
        s->paddedBlockPlanes[3 + k] = BlockPlane(s, chromaPlanes[k]);
        r = PadInPlace(memory, s, s->paddedBlockPlanes[3 + k]);
        if (r != RESULT_OK) return r;
    }
    if (s->offsetFadeEnabled) {
        const int32_t w = s->paddedBlocksAcross;
        const int32_t h = s->paddedBlocksDown;
        SubtractPlane(s->paddedBlockPlanes[3], s->paddedBlockPlanes[5], w, h);
        SubtractPlane(s->paddedBlockPlanes[4], s->paddedBlockPlanes[6], w, h);
    }
    return RESULT_OK;
}

int PrepareAlignedPlanes(MemoryContext memory, HdrSession *s) {
    if (!HasBlockGrid(s) || !s->inputImages) return RESULT_INVALID_ARGUMENT;
    const int32_t side = s->meshConstants[0] > 0 ? s->meshConstants[0] : kMeshSide;
    const int64_t w = s->inputImages[0].i32Width;
    const int64_t h = s->inputImages[0].i32Height;
    if (w < 1 || h < 1) return RESULT_INVALID_ARGUMENT;
    s->meshCols = static_cast<int32_t>((w + side - 1) / side + 2);
    s->meshRows = static_cast<int32_t>((h + side - 1) / side + 2);
    s->alignGradientMode = 1;
    int r = ApplyGlobalOffsets(memory, s, DarkShiftX(*s), DarkShiftY(*s), BrightShiftX(*s),
                           BrightShiftY(*s));
    if (r != RESULT_OK) return r;
    return AllocateWeightGrids(memory, s);
}

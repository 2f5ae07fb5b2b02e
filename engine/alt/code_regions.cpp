// Labelling and per-region decisions of the weight finalisation's code cleanup.
#include <algorithm>
#include <vector>

#include "core/memory.h"
#include "weight_finalize.h"

namespace {

constexpr int16_t kFull = 256;

// Reference block level of padded cell (x, y); 0 outside the block grid.
int32_t ReferenceLevel(const HdrSession *s, int32_t x, int32_t y) {
    if (s->paddedBlockPlanes[1] && x >= 0 && y >= 0 && x < s->paddedBlocksAcross &&
        y < s->paddedBlocksDown)
        return s->paddedBlockPlanes[1][int64_t{y} * s->paddedBlocksAcross + x];
    if (!s->blockStats || x < 1 || y < 1 || x > s->blocksAcross || y > s->blocksDown) return 0;
    const int64_t plane = int64_t{s->paddedBlocksAcross} * s->paddedBlocksDown * s->referenceIndex;
    return s->blockStats[plane + int64_t{y - 1} * s->blocksAcross + (x - 1)];
}

int32_t DarkLevel(const HdrSession *s, int64_t cell) {
    return s->paddedBlockPlanes[0] ? s->paddedBlockPlanes[0][cell] : 0;
}

GridBox ClipToInterior(const GridBox &b, int32_t cols, int32_t rows) {
    return {std::max(b.x0, 1), std::min(b.x1, cols - 2), std::max(b.y0, 1), std::min(b.y1, rows - 2)};
}

bool Compares(int32_t v, int32_t level, int32_t comparison) {
    return comparison == kCompareAtLeast ? v >= level
           : comparison == kCompareAtMost ? v <= level
                                          : v == level;
}

void SetRegion(int16_t *grid, int32_t stride, const int16_t *labels, int16_t label,
               const GridBox &b, int16_t value) {
    for (int32_t y = b.y0; y <= b.y1; ++y)
        for (int32_t x = b.x0; x <= b.x1; ++x) {
            const int64_t k = int64_t{y} * stride + x;
            if (labels[k] == label) grid[k] = value;
        }
}

struct RegionRules {
    int32_t quarter;
    bool largeMap;
};

// Dark regions: confirmed ones become -2, others -1; one too large asks for the fallback.
int ResolveDarkRegions(MemoryContext memory, HdrSession *s, int16_t *D, int16_t *S, int32_t cols,
                       int32_t rows, int32_t stride, const RegionRules &rules) {
    std::fill(S, S + int64_t{stride} * rows, int16_t{0});
    int16_t label = 2;
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < cols; ++x) {
            const int64_t k = int64_t{y} * stride + x;
            if (S[k] != 0 || D[k] >= -1) continue;
            if (label == INT16_MAX) return RESULT_OK;
            GridBox b{};
            const int32_t L = LabelCodeRegion(memory, D, cols, rows, stride, S, label, x, y, 8, -1,
                                              &b, kCompareAtMost);
            if (L == 0) return RESULT_OUT_OF_MEMORY;
            int32_t ring = 0;
            const int32_t M = MeasureCodeRegionBox(s, D, cols, rows, stride, b, &ring);
            if (L > rules.quarter && b.x1 - b.x0 + 3 >= cols && s->statsLevelFlag == 0 &&
                static_cast<uint32_t>(s->highQuantileIndex) >= 15) {
                s->pendingStatus = RESULT_EXCESSIVE_MOTION;
            } else if ((M > 60 && rules.largeMap && L < 100 * M) ||
                       (L <= 30 && (ring == 1 || M > 20))) {
                SetRegion(D, stride, S, label, b, -2);
            } else {
                SetRegion(D, stride, S, label, b, -1);
            }
            ++label;
        }
    return RESULT_OK;
}

// Bright regions: kept, turned into -1, or taken from one exposure (-3).
int ResolveBrightRegions(MemoryContext memory, HdrSession *s, int16_t *B, int16_t *S, int32_t cols,
                         int32_t rows, int32_t stride, const RegionRules &rules) {
    std::fill(S, S + int64_t{stride} * rows, int16_t{0});
    const int32_t factor = s->sceneClass == 3 ? 10 : 100;
    const int32_t lowLevel = std::min(s->sceneThresholds[4], 8);
    int16_t label = 2;
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < cols; ++x) {
            const int64_t k = int64_t{y} * stride + x;
            if (S[k] != 0 || B[k] >= -2) continue;
            if (label == INT16_MAX) return RESULT_OK;
            GridBox b{};
            const int32_t M = LabelCodeRegion(memory, B, cols, rows, stride, S, label, x, y, 8, -2,
                                              &b, kCompareAtMost);
            if (M == 0) return RESULT_OUT_OF_MEMORY;
            const GridBox in = ClipToInterior(b, cols, rows);
            int32_t w = 0, ones = 0;
            for (int32_t j = in.y0; j <= in.y1; ++j)
                for (int32_t i = in.x0; i <= in.x1; ++i) {
                    const int64_t c = int64_t{j} * stride + i;
                    if (S[c] == label && ReferenceLevel(s, i, j) < lowLevel) ++w;
                    if (B[c] == 1) ++ones;
                }
            if (M > rules.quarter && b.x1 - b.x0 + 3 >= cols && s->sceneClass == 0 &&
                static_cast<uint32_t>(s->highQuantileIndex) >= 15) {
                s->pendingStatus = RESULT_EXCESSIVE_MOTION;
            } else if (ones > 0) {
                const int64_t area = int64_t{b.x1 - b.x0} * (b.y1 - b.y0);
                if ((2 * w < M && ((40 * w < M && M < 600) || area < 3 * ones || factor < ones)) ||
                    (3 * w < M && M > 900))
                    SetRegion(B, stride, S, label, b, -1);
            } else {
                SetRegion(B, stride, S, label, b, -3);
            }
            ++label;
        }
    return RESULT_OK;
}

// Codes to weights: what each code asks of the three grids.
void MapCodes(const HdrSession *s, int16_t *D, int16_t *R, int16_t *B, int32_t cols, int32_t rows,
              int32_t stride) {
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < cols; ++x) {
            const int64_t k = int64_t{y} * stride + x;
            if (D[k] == -3) {
                D[k] = kFull;
                R[k] = -1;
                if (B && B[k] >= 0) B[k] = -1;
                if (DarkLevel(s, k) <= 31) D[k] = 0, R[k] = kFull;
            } else if (D[k] == -2) {
                D[k] = -1;
                R[k] = kFull;
            } else if (D[k] == -1) {
                R[k] = kFull;
            }
            if (B && B[k] < -2) {
                D[k] = -1;
                R[k] = -1;
                B[k] = kFull;
            } else if (B && B[k] == 1) {
                B[k] = -1;
            }
            if (D[k] == 1) D[k] = -1;
        }
}

}  // namespace

int32_t LabelCodeRegion(MemoryContext memory, const int16_t *values, int32_t cols, int32_t rows,
                        int32_t stride, int16_t *labels, int16_t label, int32_t sx, int32_t sy,
                        int32_t connectivity, int32_t level, GridBox *box, int32_t comparison) {
    if (!values || !labels || (connectivity != 4 && connectivity != 8) || sx < 0 || sy < 0 ||
        sx >= cols || sy >= rows)
        return 0;
    if (box) *box = {sx, sx, sy, sy};
    labels[int64_t{sy} * stride + sx] = label;
    if (comparison < kCompareAtLeast || comparison > kCompareEqual) return 0;
    const uint64_t capacity = uint64_t(cols) * uint64_t(rows) + 1;
    int16_t *qx = AllocateZeroed<int16_t>(memory, capacity);
    int16_t *qy = qx ? AllocateZeroed<int16_t>(memory, capacity) : nullptr;
    if (!qy) {
        FreeAndClear(memory, qx);
        return 0;
    }
    // Every cell enters the queue once (it is labelled on entry), so the queue never wraps.
    uint64_t head = 0, tail = 0;
    qx[tail] = static_cast<int16_t>(sx), qy[tail++] = static_cast<int16_t>(sy);
    GridBox b = {sx, sx, sy, sy};
    static const int32_t kSteps[8][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1},
                                         {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    while (head < tail) {
        const int32_t x = qx[head], y = qy[head++];
        for (int32_t n = 0; n < connectivity; ++n) {
            const int32_t i = x + kSteps[n][0], j = y + kSteps[n][1];
            if (i < 0 || j < 0 || i >= cols || j >= rows) continue;
            const int64_t k = int64_t{j} * stride + i;
            if (labels[k] != 0 || !Compares(values[k], level, comparison)) continue;
            labels[k] = label;
            qx[tail] = static_cast<int16_t>(i), qy[tail++] = static_cast<int16_t>(j);
            b = {std::min(b.x0, i), std::max(b.x1, i), std::min(b.y0, j), std::max(b.y1, j)};
        }
    }
    FreeMemory(memory, qx);
    FreeMemory(memory, qy);
    if (box) *box = b;
    return static_cast<int32_t>(tail);
}

int32_t MeasureCodeRegionBox(const HdrSession *s, const int16_t *grid, int32_t cols, int32_t rows,
                             int32_t stride, const GridBox &box, int32_t *ring) {
    if (ring) *ring = 0;
    if (!s || !grid) return 0;
    const GridBox in = ClipToInterior(box, cols, rows);
    const int32_t bright = std::max(224, s->sceneThresholds[1]);
    int32_t count = 0;
    for (int32_t y = in.y0; y <= in.y1; ++y)
        for (int32_t x = in.x0; x <= in.x1; ++x)
            if (grid[int64_t{y} * stride + x] < 0 && ReferenceLevel(s, x, y) > bright) ++count;
    if (ring && in.x0 <= in.x1 && in.y0 <= in.y1) {
        int64_t positive = 0;
        for (int32_t y = in.y0 - 1; y <= in.y1 + 1; ++y)
            for (int32_t x = in.x0 - 1; x <= in.x1 + 1; ++x)
                positive += grid[int64_t{y} * stride + x] > 0;
        const int64_t area = int64_t{box.x1 - box.x0 + 1} * (box.y1 - box.y0 + 1);
        const int64_t grown = int64_t{in.x1 - in.x0 + 3} * (in.y1 - in.y0 + 3);
        *ring = positive + area == grown ? 1 : 0;
    }
    return count;
}

int32_t CountRegionCells(const HdrSession *s, const int16_t *grid, int32_t cols, int32_t rows,
                         int32_t stride, const int16_t *labels, int16_t label, const GridBox &box,
                         int32_t *ones, int32_t *minusTwos, int32_t *otherLabels, int32_t mode) {
    int32_t o = 0, m = 0, other = 0, result = 0;
    if (!grid) return RESULT_INVALID_ARGUMENT;
    const GridBox in = ClipToInterior(box, cols, rows);
    if (mode == 0 || mode == 1) {
        const int32_t low = s ? std::min(s->sceneThresholds[4], 8) : 0;
        for (int32_t y = in.y0; y <= in.y1; ++y)
            for (int32_t x = in.x0; x <= in.x1; ++x) {
                const int64_t k = int64_t{y} * stride + x;
                o += grid[k] == 1;
                if (mode == 1) continue;
                m += grid[k] == -2;
                if (!s || !labels || ReferenceLevel(s, x, y) >= low) continue;
                if (labels[k] == label)
                    ++result;
                else if (labels[k] != 0)
                    ++other;
            }
    }
    if (mode == 1) result = o, o = 0;
    if (ones) *ones = o;
    if (minusTwos) *minusTwos = m;
    if (otherLabels) *otherLabels = other;
    return result;
}

void RepaintCodeRegion(int16_t *grid, int32_t stride, int16_t *labels, int16_t label,
                       int16_t value, const GridBox &b) {
    if (!grid || !labels) return;
    bool strong = false;
    for (int32_t y = b.y0; y <= b.y1 && !strong; ++y)
        for (int32_t x = b.x0; x <= b.x1; ++x) {
            const int64_t k = int64_t{y} * stride + x;
            if (labels[k] == label && grid[k] < -1) strong = true;
        }
    if (!strong) return;
    for (int32_t y = b.y0; y <= b.y1; ++y)
        for (int32_t x = b.x0; x <= b.x1; ++x) {
            const int64_t k = int64_t{y} * stride + x;
            if (labels[k] == label || (value == -3 && grid[k] < 0)) {
                grid[k] = value;
                labels[k] = label;
            }
        }
}

int PaintRegionColumns(MemoryContext memory, int16_t *grid, int32_t cols, int32_t rows,
                       int32_t stride, int16_t *labels, int16_t label, int16_t value,
                       const GridBox &box, int extend) {
    if (!grid || !labels) return RESULT_INVALID_ARGUMENT;
    const GridBox b = {std::max(box.x0, 0), std::min(box.x1, cols - 1), std::max(box.y0, 0),
                       std::min(box.y1, rows - 1)};
    if (b.x0 > b.x1 || b.y0 > b.y1) return RESULT_OK;
    int32_t *counts = AllocateZeroed<int32_t>(memory, uint64_t(cols));
    if (!counts) return RESULT_OUT_OF_MEMORY;
    auto at = [&](int32_t x, int32_t y) -> int64_t { return int64_t{y} * stride + x; };
    for (int32_t y = b.y0; y <= b.y1; ++y)
        for (int32_t x = b.x0; x <= b.x1; ++x)
            if (labels[at(x, y)] == label) grid[at(x, y)] = value, ++counts[x];
    auto paint = [&](int32_t x, int32_t y) { grid[at(x, y)] = value, labels[at(x, y)] = label; };
    for (int32_t x = b.x0; extend && x <= b.x1; ++x) {
        const int32_t c = counts[x];
        if (!(3 * c > 2 * (b.y1 - b.y0) || c > 15)) continue;
        for (int32_t y = b.y1; y >= b.y0; --y)
            if (grid[at(x, y)] == value) {
                for (int32_t j = y + 1; j <= std::min(y + 6, rows - 1); ++j) paint(x, j);
                break;
            }
        if (grid[at(x, b.y0)] != value) continue;
        int32_t top = b.y0;
        while (top > 0) {
            const int32_t from = std::max(top - 6, 0);
            bool hadCodes = false;
            for (int32_t j = from; j < top; ++j) {
                hadCodes = hadCodes || grid[at(x, j)] < 0;
                paint(x, j);
            }
            if (!hadCodes || from <= 1) break;
            top = from;
        }
    }
    FreeMemory(memory, counts);
    return RESULT_OK;
}

int ResolveCodeRegions(MemoryContext memory, HdrSession *s, int16_t *D, int16_t *R, int16_t *B,
                       int16_t *S, int32_t cols, int32_t rows, int32_t stride) {
    if (!s || !D || !R || !S || cols < 1 || rows < 1 || stride < cols) return RESULT_INVALID_ARGUMENT;
    const int64_t cells = int64_t{cols} * rows;
    int64_t strong = 0;
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < cols; ++x) strong += D[int64_t{y} * stride + x] < -1;

    ErodeGridBelowLevel(D, S, cols, rows, stride, 1, 0);
    RestoreCodeCells(D, S, cols, rows, stride);
    ErodeGridBelowLevel(D, S, cols, rows, stride, 1, -2);
    RestoreCodeCells(D, S, cols, rows, stride);
    if (B) {
        ErodeGridBelowLevel(B, S, cols, rows, stride, 1, -1);
        RestoreCodeCellsVariant(B, S, nullptr, cols, rows, stride, 0, nullptr);
        ErodeGridBelowLevel(B, S, cols, rows, stride, 1, -2);
        int32_t ignored = 0;
        RestoreCodeCellsVariant(B, S, R, cols, rows, stride, 1, &ignored);
    }
    MarkEnclosedDarkCells(D, cols, rows, stride);
    if (B) MarkEnclosedBrightCells(B, cols, rows, stride);

    const RegionRules rules = {static_cast<int32_t>(cells / 4), cells < 20001 || cells / 1000 < strong};
    int r = ResolveDarkRegions(memory, s, D, S, cols, rows, stride, rules);
    if (r == RESULT_OK && B) r = ResolveBrightRegions(memory, s, B, S, cols, rows, stride, rules);
    if (r != RESULT_OK) return r;
    MapCodes(s, D, R, B, cols, rows, stride);
    return RESULT_OK;
}

// Cell operations on the padded weight grids of the weight finalisation.
#include <algorithm>

#include "weight_finalize.h"

namespace {

int32_t CeilDiv32(int32_t v) { return (v + 31) / 32; }

bool IsCode(int16_t v) { return v == 1 || v == -1 || v == -2 || v == -3; }

}  // namespace

void ReplicateWeightGridMargins(int16_t *grid, int32_t cols, int32_t rows, int32_t meshCols,
                                int32_t meshRows, int32_t cellsAcross, int32_t cellsDown,
                                int32_t dx, int32_t dy) {
    if (!grid || cols < 1 || rows < 1) return;
    const int32_t left = dx >= 0 ? 2 + CeilDiv32(dx) : 2;
    int32_t last = dx >= 0 ? cols - 3 : cols - 3 - CeilDiv32(-dx);
    last = std::min(last, cellsAcross * (meshCols - 2));
    const int32_t top = dy >= 0 ? 2 + CeilDiv32(dy) : 2;
    int32_t bottom = dy >= 0 ? rows - 3 : rows - 3 - CeilDiv32(-dy);
    bottom = std::min(bottom, cellsDown * (meshRows - 2));
    // A shift that leaves no kept cell (a frame narrower than its margins) changes nothing.
    if (left > last || top > bottom || last >= cols || bottom >= rows) return;
    for (int32_t y = top; y <= bottom; ++y) {
        int16_t *row = grid + int64_t{y} * cols;
        std::fill(row, row + left, row[left]);
        std::fill(row + last + 1, row + cols, row[last]);
    }
    for (int32_t y = 0; y < top; ++y)
        std::copy(grid + int64_t{top} * cols, grid + int64_t{top + 1} * cols, grid + int64_t{y} * cols);
    for (int32_t y = bottom + 1; y < rows; ++y)
        std::copy(grid + int64_t{bottom} * cols, grid + int64_t{bottom + 1} * cols,
                  grid + int64_t{y} * cols);
}

void DespeckleWeightCodes(const int16_t *source, int16_t *destination, int32_t cols, int32_t rows) {
    if (!source || !destination || cols < 1 || rows < 1) return;
    std::copy(source, source + int64_t{cols} * rows, destination);
    for (int32_t y = 1; y + 1 < rows; ++y)
        for (int32_t x = 1; x + 1 < cols; ++x) {
            const int64_t k = int64_t{y} * cols + x;
            const int16_t n[4] = {source[k - 1], source[k - cols], source[k + 1], source[k + cols]};
            const int16_t v = source[k];
            const int weights = (n[0] >= 0) + (n[1] >= 0) + (n[2] >= 0) + (n[3] >= 0);
            if ((v < 0 && weights >= 3) || (v > 0 && weights == 0))
                destination[k] = std::max<int16_t>({n[0], n[1], n[2], n[3], int16_t{-10}});
        }
}

void ErodeGridBelowLevel(const int16_t *source, int16_t *destination, int32_t cols, int32_t rows,
                         int32_t stride, int32_t radius, int32_t level) {
    if (!source || !destination || cols < 1 || rows < 1 || radius < 0) return;
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < cols; ++x) {
            int32_t lowest = source[int64_t{y} * stride + x];
            for (int32_t j = std::max(0, y - radius); j <= std::min(rows - 1, y + radius); ++j)
                for (int32_t i = std::max(0, x - radius); i <= std::min(cols - 1, x + radius); ++i)
                    lowest = std::min<int32_t>(lowest, source[int64_t{j} * stride + i]);
            destination[int64_t{y} * stride + x] =
                lowest <= level ? static_cast<int16_t>(lowest) : source[int64_t{y} * stride + x];
        }
}

void MarkEnclosedDarkCells(int16_t *g, int32_t cols, int32_t rows, int32_t stride) {
    if (!g) return;
    for (int32_t y = 1; y + 1 < rows; ++y) {
        bool open = false;
        int16_t *row = g + int64_t{y} * stride;
        const int16_t *up = row - stride;
        for (int32_t x = 1; x + 1 < cols; ++x) {
            const int16_t L = row[x - 1], C = row[x], N = row[x + 1], U = up[x];
            if (L < 0 && C >= 0) {
                if (open) continue;
                open = true;
                if (N <= -2 && C >= 255 && U <= -2) row[x] = -3, open = false;
            } else if (N < 0 && C >= 0) {
                open = false;
            }
        }
    }
}

void MarkEnclosedBrightCells(int16_t *g, int32_t cols, int32_t rows, int32_t stride) {
    if (!g) return;
    for (int32_t y = 1; y + 1 < rows; ++y) {
        bool open = false;
        int16_t *row = g + int64_t{y} * stride;
        const int16_t *up = row - stride;
        for (int32_t x = 1; x + 1 < cols; ++x) {
            const int16_t L = row[x - 1], C = row[x], N = row[x + 1], U = up[x];
            if (L < -1 && C >= 255) {
                if (open) continue;
                open = true;
                if (N < -1 && U < -1) row[x] = -3, open = false;
            } else if (N < -1 && C >= 255) {
                open = false;
            } else if (C < 128) {
                open = false;
            }
        }
    }
}

void RestoreCodeCells(int16_t *grid, const int16_t *values, int32_t cols, int32_t rows,
                      int32_t stride) {
    if (!grid || !values) return;
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < cols; ++x) {
            const int64_t k = int64_t{y} * stride + x;
            if (!IsCode(grid[k])) grid[k] = values[k];
        }
}

void RestoreCodeCellsVariant(int16_t *grid, const int16_t *values, int16_t *scratch, int32_t cols,
                             int32_t rows, int32_t stride, int32_t mode, int32_t *count) {
    if (!grid || !values || (mode != 0 && mode != 1)) return;
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < cols; ++x) {
            const int64_t k = int64_t{y} * stride + x;
            const int16_t v = grid[k];
            if (mode == 0) {
                if (v != 1 && v != -1 && v != -3) grid[k] = values[k];
                continue;
            }
            if (v == 1 || v == -1) {
                if (values[k] == -3 && count) ++*count;
                continue;
            }
            grid[k] = values[k];
            if (values[k] == -3 && scratch) scratch[k] = 256;
        }
}

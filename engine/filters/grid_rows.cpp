#include "grid_rows.h"

#include <algorithm>
#include <cstddef>

#include "grid_row_kernels.h"

namespace {

struct Region {
    int32_t x0, end, y0, y1;
};

// The grid rows and vertical weight of output row i: row coordinate i / g - 1, held at the
// first and the last grid row.
template <typename Cell>
void RowPair(const Cell *grid, int32_t gridRows, int32_t gridPitch, int32_t i, int32_t shift,
             const Cell **upper, const Cell **lower, int32_t *tv) {
    const int32_t h = i >> shift;
    *tv = i - (h << shift);
    int32_t u = 0;
    int32_t d = 0;
    if (h >= gridRows - 1) {
        u = d = gridRows - 1;
    } else if (h > 0) {
        u = h - 1;
        d = h;
    }
    *upper = grid + static_cast<ptrdiff_t>(u) * gridPitch;
    *lower = grid + static_cast<ptrdiff_t>(d) * gridPitch;
}

// Value of column x between the two rows; the next node is read only when it is weighted.
template <typename Cell>
int32_t ColumnValue(const Cell *upper, const Cell *lower, int32_t x, int32_t shift, int32_t tv) {
    const int32_t g = 1 << shift;
    const int32_t c = x >> shift;
    const int32_t t = x - (c << shift);
    int32_t q = upper[c] * g;
    int32_t p = lower[c] * g;
    if (t != 0) {
        q += t * (upper[c + 1] - upper[c]);
        p += t * (lower[c + 1] - lower[c]);
    }
    return (q * g + (p - q) * tv) >> (2 * shift);
}

template <typename Cell>
void Upsample(uint8_t *out, int32_t outPitch, const Cell *grid, int32_t gridCols, int32_t gridRows,
              int32_t gridPitch, Region region, int32_t shift) {
    if (region.end <= region.x0) return;
    for (int32_t i = region.y0; i < region.y1; ++i) {
        uint8_t *row = out + static_cast<ptrdiff_t>(i) * outPitch;
        if (shift == 0) {
            const Cell *src = grid + static_cast<ptrdiff_t>(std::min(i, gridRows - 1)) * gridPitch;
            for (int32_t x = region.x0; x < region.end; ++x)
                row[x] = static_cast<uint8_t>(src[std::min(x, gridCols - 1)]);
            continue;
        }
        const Cell *upper;
        const Cell *lower;
        int32_t tv;
        RowPair(grid, gridRows, gridPitch, i, shift, &upper, &lower, &tv);
        // Interpolation runs to the last node; later columns repeat the last one computed
        // (column 0 itself when the grid is one cell wide).
        const int32_t limit = std::min(region.end, (gridCols - 1) << shift);
        const int32_t last = std::max(limit - 1, 0);
        for (int32_t x = region.x0; x < region.end; ++x)
            row[x] = static_cast<uint8_t>(ColumnValue(upper, lower, std::min(x, last), shift, tv));
    }
}

bool ValidShift(int32_t shift) { return shift >= 0 && shift <= 8; }

}  // namespace

int32_t UpsampleGrid2n(uint8_t *out, int32_t end, int32_t rows, int32_t outPitch,
                       const uint8_t *grid, int32_t gridCols, int32_t gridRows, int32_t gridPitch,
                       const PixelRect *rect, int32_t shift) {
    if (!out || !grid || gridCols < 1 || gridRows < 1 || gridPitch < gridCols || !ValidShift(shift))
        return RESULT_INVALID_ARGUMENT;
    Region region = rect ? Region{rect->x0, rect->x1, rect->y0, rect->y1} : Region{0, end, 0, rows};
    if (region.x0 < 0 || region.y0 < 0 || (region.end > region.x0 && outPitch < region.end))
        return RESULT_INVALID_ARGUMENT;
    Upsample(out, outPitch, grid, gridCols, gridRows, gridPitch, region, shift);
    return RESULT_OK;
}

int32_t UpsampleGrayGrid2n(int64_t, const ImageDesc *gridImage, ImageDesc *output,
                           const PixelRect *rect, int32_t shift) {
    if (!gridImage || !output || !rect || !ValidShift(shift)) return RESULT_INVALID_ARGUMENT;
    const uint8_t *cells = gridImage->ppu8Plane[0];
    const int32_t cols = gridImage->i32Width;
    const int32_t gridRows = gridImage->i32Height;
    const int32_t gridPitch = gridImage->pi32Pitch[0];
    if (!cells || cols < 1 || gridRows < 1 || gridPitch < cols || !output->ppu8Plane[0])
        return RESULT_INVALID_ARGUMENT;
    const Region region{rect->x0, rect->x1, rect->y0, rect->y1};
    if (region.x0 < 0 || region.y0 < 0 || region.end > output->i32Width ||
        region.y1 > output->i32Height || output->pi32Pitch[0] < output->i32Width)
        return RESULT_INVALID_ARGUMENT;
    Upsample(output->ppu8Plane[0], output->pi32Pitch[0], reinterpret_cast<const int8_t *>(cells),
             cols, gridRows, gridPitch, region, shift);
    return RESULT_OK;
}

int32_t UpsampleGrayGridImage(int64_t ignored, const ImageDesc *gridImage, ImageDesc *output,
                              const PixelRect *rect, int32_t shift) {
    if (!gridImage || !output) return RESULT_INVALID_ARGUMENT;
    if (gridImage->u32PixelArrayFormat != PIXEL_FORMAT_GRAY8) return RESULT_OK;
    const PixelRect whole{0, 0, output->i32Width, output->i32Height};
    return UpsampleGrayGrid2n(ignored, gridImage, output, rect ? rect : &whole, shift);
}

void InterpolateGridRow8(int16_t *out, int32_t x, int32_t end, int32_t b, const int16_t *grid,
                         int32_t stride, int32_t gridRows, int32_t wy) {
    if (!out || !grid || stride < 1 || gridRows < 1) return;
    const int32_t upperRow = std::clamp(b, 0, gridRows - 1);
    const int32_t lowerRow = std::min(upperRow + 1, gridRows - 1);
    InterpolateMapRow8(out, x, end, grid + static_cast<ptrdiff_t>(upperRow) * stride,
                   grid + static_cast<ptrdiff_t>(lowerRow) * stride, stride, wy, 0);
}

void InterpolateGridRow8FromX(int16_t *out, int32_t x, int32_t end, int32_t b, const int16_t *grid,
                              int32_t stride, int32_t gridRows, int32_t wy, int32_t origin) {
    if (!out || !grid || stride < 1) return;
    int32_t upperRow = b;
    int32_t lowerRow = b + 1;
    if (gridRows > 0) {
        upperRow = std::clamp(b, 0, gridRows - 1);
        lowerRow = std::min(upperRow + 1, gridRows - 1);
    }
    InterpolateMapRow8(out, x, end, grid + static_cast<ptrdiff_t>(upperRow) * stride,
                   grid + static_cast<ptrdiff_t>(lowerRow) * stride, stride, wy, origin);
}

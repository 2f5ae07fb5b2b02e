// Cell statistics of the tile weights: how far another exposure's luma, brought onto the
// reference's levels, lies from the reference over one 32 x 32 cell, one sample in four.
#include <algorithm>
#include <cstdlib>

#include "tile_weights.h"

namespace {

template <typename Accumulate>
CellStatistics Visit(const CellWindows &w, int32_t cellColumn, int32_t firstRow,
                     int32_t cellWidth, int32_t cellHeight, const uint8_t *table, int32_t xShift,
                     int32_t yShift, Accumulate accumulate) {
    CellStatistics s{};
    if (!w.reference || !w.other || !table) return s;
    const int32_t x0 = cellColumn * cellWidth;
    for (int32_t row = firstRow; row <= firstRow + cellHeight - 2; row += 2) {
        const int32_t otherRow = row - yShift;
        if (row < 0 || row >= w.height || otherRow < 0 || otherRow >= w.height) continue;
        const uint8_t *ref = w.reference + int64_t{row} * w.pitch;
        const uint8_t *other = w.other + int64_t{otherRow} * w.pitch;
        for (int32_t column = x0; column < x0 + cellWidth; column += 2) {
            const int32_t c = column - xShift;
            if (column < 0 || column >= w.width || c < 0 || c >= w.width) continue;
            accumulate(&s, ref[column], other[c], table[other[c]]);
        }
    }
    return s;
}

}  // namespace

CellStatistics MeasureCellDifferenceClamped(const CellWindows &windows, int32_t cellColumn,
                                            int32_t firstRow, int32_t cellWidth,
                                            int32_t cellHeight, const uint8_t *table,
                                            int32_t xShift, int32_t yShift) {
    return Visit(windows, cellColumn, firstRow, cellWidth, cellHeight, table, xShift, yShift,
                 [](CellStatistics *s, int32_t ref, int32_t, int32_t mapped) {
                     const int32_t d = std::abs(ref - mapped);
                     ++s->samples;
                     s->differenceSum += std::min(d, 64);
                     s->largeCount += d > 64;
                     s->saturatedCount += ref > 251;
                 });
}

CellStatistics MeasureCellDifferenceClipped(const CellWindows &windows, int32_t cellColumn,
                                            int32_t firstRow, int32_t cellWidth,
                                            int32_t cellHeight, const uint8_t *table,
                                            int32_t xShift, int32_t yShift) {
    return Visit(windows, cellColumn, firstRow, cellWidth, cellHeight, table, xShift, yShift,
                 [](CellStatistics *s, int32_t ref, int32_t raw, int32_t mapped) {
                     const int32_t d = std::abs(ref - mapped);
                     ++s->samples;
                     s->differenceSum += d;
                     s->largeCount += d > 32;
                     s->saturatedCount += raw > 248;
                 });
}

int MarkBrightDetailCells(const int16_t *levels, int32_t cellsAcross, int32_t cellsDown,
                          const uint8_t *window, int32_t windowWidth, int32_t windowHeight,
                          int32_t pitch, uint8_t *marks) {
    if (!levels || !window || !marks || cellsAcross < 1 || cellsDown < 1)
        return RESULT_INVALID_ARGUMENT;
    const int32_t cw = windowWidth / cellsAcross;
    const int32_t ch = windowHeight / cellsDown;
    for (int32_t r = 0; r < cellsDown; ++r)
        for (int32_t c = 0; c < cellsAcross; ++c) {
            const int32_t k = r * cellsAcross + c;
            const int32_t v = levels[k];
            if (v <= 128) {
                marks[k] = 0;
                continue;
            }
            int64_t sum = 0, n = 0;
            for (int32_t y = r * ch; y < (r + 1) * ch; y += 2)
                for (int32_t x = c * cw; x < (c + 1) * cw; x += 2) {
                    const int32_t t = window[int64_t{y} * pitch + x];
                    if (t > v) sum += t, ++n;
                }
            if (n > 0) marks[k] = sum / n > 192 ? 1 : 0;
        }
    return RESULT_OK;
}

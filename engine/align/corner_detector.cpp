#include "align/corner_detector.h"

#include <algorithm>
#include <cstdlib>

#include "core/memory.h"

int32_t ApproximateHypotenuse(int32_t d, int32_t e) {
    const int32_t larger = std::max(d, e);
    const int32_t smaller = std::min(d, e);
    if (53 * larger < 128 * smaller) return (217 * larger + 145 * smaller + 255) >> 8;
    return larger + ((51 * smaller + 255) >> 8);
}

void CornerScoreRow(const int32_t *sums, int32_t width, int32_t *scores) {
    const int32_t *xx = sums;
    const int32_t *xy = sums + width;
    const int32_t *yy = sums + 2 * width;
    for (int32_t x = 0; x < width; ++x) {
        const int32_t l = std::max(x - 1, 0), r = std::min(x + 1, width - 1);
        const int32_t a = xx[l] + xx[x] + xx[r];
        const int32_t b = xy[l] + xy[x] + xy[r];
        const int32_t c = yy[l] + yy[x] + yy[r];
        if (a < kCornerScoreThreshold || c < kCornerScoreThreshold) {
            scores[x] = 0;
            continue;
        }
        const int32_t sum = a + c;
        const int32_t h = ApproximateHypotenuse(std::abs(a - c), std::abs(2 * b));
        const int32_t score = (sum - std::min(h, sum)) >> 1;
        scores[x] = score < kCornerScoreThreshold ? 0 : score;
    }
}

namespace {

// Products gx^2, gx*gy, gy^2 of one row, as three runs of width entries.
void GradientProducts(const Plane8 *gradientX, const Plane8 *gradientY, int32_t y,
                      int32_t *products) {
    const int32_t width = gradientX->width;
    const int8_t *gx = GradientRow(gradientX, y);
    const int8_t *gy = GradientRow(gradientY, y);
    for (int32_t x = 0; x < width; ++x) {
        products[x] = gx[x] * gx[x];
        products[width + x] = gx[x] * gy[x];
        products[2 * width + x] = gy[x] * gy[x];
    }
}

// Scores every pixel; rows above the first and below the last repeat the border row.
void ScorePlane(const Plane8 *gradientX, const Plane8 *gradientY, int32_t *productRows,
                int32_t *sumRow, int32_t *scores) {
    const int32_t width = gradientX->width;
    const int32_t height = gradientX->height;
    const int32_t run = 3 * width;
    auto slot = [&](int32_t row) { return productRows + (row % 3) * run; };
    GradientProducts(gradientX, gradientY, 0, slot(0));
    for (int32_t y = 0; y < height; ++y) {
        if (y + 1 < height) GradientProducts(gradientX, gradientY, y + 1, slot(y + 1));
        const int32_t *above = slot(std::max(y - 1, 0));
        const int32_t *centre = slot(y);
        const int32_t *below = slot(std::min(y + 1, height - 1));
        for (int32_t i = 0; i < run; ++i) sumRow[i] = above[i] + centre[i] + below[i];
        CornerScoreRow(sumRow, width, scores + static_cast<int64_t>(y) * width);
    }
}

struct Cell {
    int32_t left, top, width, height;
};

struct CornerSet {
    int32_t *x;
    int32_t *y;
    int32_t *score;
    int32_t count;
    int32_t capacity;
};

struct ScoreMap {
    int32_t *scores;
    int32_t width;
    int32_t &at(int32_t x, int32_t y) const { return scores[static_cast<int64_t>(y) * width + x]; }
};

// Zeroes the scores of the cell within radius of (cx, cy); scores outside the cell stay.
void ClearDisk(const ScoreMap &map, const Cell &cell, int32_t cx, int32_t cy, int32_t radius) {
    const int64_t limit = static_cast<int64_t>(radius) * radius;
    const int32_t y0 = std::max(cell.top, cy - radius + 1);
    const int32_t y1 = std::min(cell.top + cell.height, cy + radius);
    const int32_t x0 = std::max(cell.left, cx - radius + 1);
    const int32_t x1 = std::min(cell.left + cell.width, cx + radius);
    for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x) {
            const int64_t dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy < limit) map.at(x, y) = 0;
        }
}

// The largest score of the cell, the first in raster order on ties.
int32_t BestInCell(const ScoreMap &map, const Cell &cell, int32_t *bestX, int32_t *bestY) {
    int32_t best = 0;
    for (int32_t y = cell.top; y < cell.top + cell.height; ++y)
        for (int32_t x = cell.left; x < cell.left + cell.width; ++x)
            if (map.at(x, y) > best) {
                best = map.at(x, y);
                *bestX = x;
                *bestY = y;
            }
    return best;
}

int32_t FirstNear(const CornerSet &set, int32_t x, int32_t y, int32_t radius) {
    const int64_t limit = static_cast<int64_t>(radius) * radius;
    for (int32_t j = 0; j < set.count; ++j) {
        const int64_t dx = set.x[j] - x, dy = set.y[j] - y;
        if (dx * dx + dy * dy < limit) return j;
    }
    return -1;
}

int32_t FirstWeakest(const CornerSet &set) {
    int32_t weakest = -1;
    for (int32_t j = 0; j < set.count; ++j)
        if (weakest < 0 || set.score[j] < set.score[weakest]) weakest = j;
    return weakest;
}

void PlaceCorner(CornerSet &set, int32_t j, int32_t x, int32_t y, int32_t score) {
    set.x[j] = x;
    set.y[j] = y;
    set.score[j] = score;
}

// Runs the picks of one cell.
void SelectInCell(const ScoreMap &map, const Cell &cell, int32_t radius, int32_t attempts,
                  CornerSet &set) {
    for (int32_t attempt = 0; attempt < attempts; ++attempt) {
        int32_t x = 0, y = 0;
        const int32_t score = BestInCell(map, cell, &x, &y);
        if (score <= 0) return;
        const int32_t near = FirstNear(set, x, y, radius);
        if (near >= 0) {
            if (set.score[near] < score) {
                PlaceCorner(set, near, x, y, score);
                ClearDisk(map, cell, x, y, radius);
            } else {
                ClearDisk(map, cell, set.x[near], set.y[near], radius);
            }
        } else if (set.count < set.capacity) {
            PlaceCorner(set, set.count++, x, y, score);
            ClearDisk(map, cell, x, y, radius);
        } else {
            const int32_t weakest = FirstWeakest(set);
            if (weakest < 0 || set.score[weakest] >= score) {
                for (int32_t cy = cell.top; cy < cell.top + cell.height; ++cy)
                    for (int32_t cx = cell.left; cx < cell.left + cell.width; ++cx)
                        map.at(cx, cy) = 0;
                return;
            }
            PlaceCorner(set, weakest, x, y, score);
            ClearDisk(map, cell, x, y, radius);
        }
    }
}

}  // namespace

PixelRect CornerGridCell(const PixelRect &area, int32_t across, int32_t down, int32_t row,
                         int32_t column) {
    const int32_t width = area.x1 - area.x0, height = area.y1 - area.y0;
    const int32_t cw = width / across, rw = width % across;
    const int32_t ch = height / down, rh = height % down;
    const int32_t left = area.x0 + column * cw + std::min(column, rw);
    const int32_t top = area.y0 + row * ch + std::min(row, rh);
    return {left, top, left + cw + (column < rw ? 1 : 0), top + ch + (row < rh ? 1 : 0)};
}

int32_t DetectGridCorners(MemoryContext memory, const Plane8 *gradientX, const Plane8 *gradientY,
                          int32_t radius, int32_t cellsAcross, int32_t cellsDown,
                          int32_t attemptsPerCell, int32_t capacity, int32_t *outX,
                          int32_t *outY, const PixelRect *area) {
    if (!gradientX || !gradientY || !gradientX->data || !gradientY->data || !outX || !outY)
        return 0;
    if (gradientY->width < gradientX->width || gradientY->height < gradientX->height) return 0;
    if (cellsAcross <= 0 || cellsDown <= 0 || capacity <= 0) return 0;
    const int32_t width = gradientX->width;
    const int32_t height = gradientX->height;
    PixelRect searchArea = {0, 0, width, height};
    if (area) {
        searchArea.x0 = std::clamp(area->x0, 0, width);
        searchArea.y0 = std::clamp(area->y0, 0, height);
        searchArea.x1 = std::clamp(area->x1, searchArea.x0, width);
        searchArea.y1 = std::clamp(area->y1, searchArea.y0, height);
    }
    // Work buffer: the score map, three product rows and one row of vertical sums, then the
    // scores of the chosen corners (capacity entries, which can exceed a row on small planes).
    const uint64_t mapEntries = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    const uint64_t rowEntries = 3 * static_cast<uint64_t>(width);
    int32_t *work = AllocateZeroed<int32_t>(memory, mapEntries + 4 * rowEntries + capacity);
    if (!work) return 0;
    ScorePlane(gradientX, gradientY, work + mapEntries, work + mapEntries + 3 * rowEntries, work);
    const ScoreMap map = {work, width};
    CornerSet set = {outX, outY, work + mapEntries + 4 * rowEntries, 0, capacity};
    // A radius below 1 would clear nothing and let one peak be picked again and again; one
    // larger than the plane clears no more than the plane's size does.
    const int32_t separation = std::clamp(radius, 1, width + height + 1);
    for (int32_t row = 0; row < cellsDown; ++row)
        for (int32_t column = 0; column < cellsAcross; ++column) {
            const PixelRect r = CornerGridCell(searchArea, cellsAcross, cellsDown, row, column);
            const Cell cell = {r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0};
            if (cell.width > 0 && cell.height > 0)
                SelectInCell(map, cell, separation, attemptsPerCell, set);
        }
    FreeMemory(memory, work);
    return set.count;
}

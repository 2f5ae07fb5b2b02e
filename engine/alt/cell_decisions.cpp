// Per-cell weight decisions of the tile weights, from the cell's block levels, its chroma
// difference and the luma statistics of the dark and bright windows.
#include <algorithm>
#include <cstdlib>

#include "tile_layout.h"
#include "tile_weights.h"

namespace {

constexpr int32_t kFullWeight = 256;

struct Thresholds {
    int32_t t0, t1, t2, t3, t4, t5;
};

Thresholds ThresholdsOf(const HdrSession *s) {
    return {s->sceneThresholds[0], s->sceneThresholds[1], s->sceneThresholds[2],
            s->sceneThresholds[3], s->sceneThresholds[4], s->lowRampStep};
}

// A ramp weight (threshold distance x step), kept to 0..256 so that no ramp value collides
// with the codes.
int32_t Ramp(int32_t distance, int32_t step) {
    return std::clamp(distance * step, 0, kFullWeight);
}

struct Cell {
    int32_t w;  // reference block level
    int32_t a;  // dark block level
    int32_t J;  // dark-minus-reference chroma distance
    CellStatistics dark;
    CellStatistics bright;
};

struct Weights {
    int32_t R, D, B;
};

uint8_t CurveAt(const HdrSession *s, int32_t level) {
    return s->curveTables[0][std::clamp(level, 0, 255)];
}

Weights DecideMain(const HdrSession *s, const Thresholds &t, const Cell &c) {
    Weights o{};
    const int32_t m1 = c.dark.Mean(), b1 = c.dark.largeCount, k1 = c.dark.saturatedCount;
    const int32_t c1 = c.dark.samples;
    const int32_t m2 = c.bright.Mean(), b2 = c.bright.largeCount, k2 = c.bright.saturatedCount;
    const int32_t w = c.w;
    if (w >= t.t0 - 32) {
        o.B = 0;
        if (w < t.t0) {
            o.R = Ramp(t.t0 - w, t.t2);
            o.D = (m1 > 32 || b1 > 16) ? -1 : kFullWeight - o.R;
        } else {
            o.R = 0;
            o.D = kFullWeight;
            if ((m1 > 31 || b1 >= 32) && 50 * k1 < c1) {
                o.D = c.J >= 20 ? -2 : -1;
                o.R = kFullWeight;
            }
        }
        if (k2 >= 2) {
            o.B = 1;
            if (k2 > 128 && m1 <= 63 && b1 <= 63) o.D = kFullWeight, o.R = 0;
        }
        return o;
    }
    if (w >= t.t4 || k2 > 1) {
        o = {kFullWeight, 0, 0};
        if (c.a > 32 && (m1 > 18 || b1 > 32)) o.D = -1;
        if (m2 > 18 || b2 > 32) {
            o.B = k2 >= 2 ? 1 : -2;
        } else if (k2 >= 2) {
            o.B = 1;
        } else if (w >= 128) {
            return o;
        } else {
            o.B = w < 64 ? kFullWeight : (128 - w) * 4;
        }
        if (w <= 31 && m2 <= 18 && b2 <= 32 && c.J <= 20) o.B = kFullWeight, o.R = 0;
        return o;
    }
    if (w > t.t3) {
        o.R = kFullWeight - Ramp(t.t4 - w, t.t5);
        o.B = (m2 > 16 || b2 > 32) ? -2 : Ramp(t.t4 - w, t.t5);
    } else {
        o.R = 0;
        o.B = kFullWeight;
        if (m2 > ((16 * w + 256) >> 6) || b2 > 32) o.B = -2, o.R = kFullWeight;
    }
    if ((m1 > 32 || m1 > w) && std::abs(CurveAt(s, c.a) - w) >= 19 && c.a >= 33 && c.a < w)
        o.D = -1;
    else
        o.D = c.a >= w ? 1 : 0;
    return o;
}

Weights DecideNearerSide(const HdrSession *s, const Thresholds &t, const Cell &c) {
    Weights o{};
    const int32_t m1 = c.dark.Mean(), b1 = c.dark.largeCount;
    const int32_t m2 = c.bright.Mean(), b2 = c.bright.largeCount, k2 = c.bright.saturatedCount;
    const int32_t w = c.w, a = c.a;
    const int32_t darkOrAbove = a >= w ? 1 : 0;
    if (w >= t.t1) {
        o.B = 0;
        if (t.t0 > w) {
            o.R = Ramp(t.t0 - w, t.t2);
            o.D = (m1 > 32 || b1 > 64) ? -1 : kFullWeight - o.R;
        } else {
            o.R = 0;
            o.D = kFullWeight;
            if (m1 >= 32 || b1 >= 64) {
                if (c.J >= 20)
                    o.D = -1, o.R = kFullWeight;
                else
                    o.D = -2;
            }
        }
        if (k2 > 1) o.B = 1;
        return o;
    }
    if (w < t.t4) {
        o.D = 0;
        if (w > t.t3) {
            o.R = kFullWeight - Ramp(t.t4 - w, t.t5);
            o.B = (m2 > 16 || b2 > 64) ? -2 : Ramp(t.t4 - w, t.t5);
        } else {
            o.R = 0;
            o.B = kFullWeight;
            if (m2 > (w >> 1) || b2 > 64) o.B = -2, o.R = kFullWeight;
        }
        if ((m1 <= 32 && m1 <= w) || std::abs(CurveAt(s, a) - w) < 9)
            o.D = darkOrAbove;
        else
            o.D = (a > 32 && a < w) ? -1 : darkOrAbove;
        return o;
    }
    o.R = kFullWeight;
    if (w - t.t4 <= t.t1 - w) {
        o.D = 0;
        o.B = k2 > 1 ? 1 : ((m2 > 8 || b2 > 64) ? -2 : 0);
    } else {
        o.B = 0;
        if (m1 <= 8 && b1 <= 64)
            o.D = darkOrAbove;
        else
            o.D = (a > 32 && a < w) ? -1 : darkOrAbove;
    }
    return o;
}

bool EmptyBox(const HdrSession *s, int set) {
    const int32_t *box = s->tileValidBox[set];
    return box[kBoxX0] >= box[kBoxX1] || box[kBoxY0] >= box[kBoxY1];
}

// The first and last cells of every row (columns) copy their inner neighbours when the
// exposure's shift exceeds 3 pixels across (down).
void CopyEdges(int16_t *grid, int32_t across, int32_t down, int32_t xShift, int32_t yShift) {
    if (across >= 2 && std::abs(xShift) > 3)
        for (int32_t r = 0; r < down; ++r) {
            grid[r * across] = grid[r * across + 1];
            grid[r * across + across - 1] = grid[r * across + across - 2];
        }
    if (down >= 2 && std::abs(yShift) > 3)
        for (int32_t c = 0; c < across; ++c) {
            grid[c] = grid[across + c];
            grid[(down - 1) * across + c] = grid[(down - 2) * across + c];
        }
}

bool Usable(const HdrSession *s, int32_t across, int32_t down, const TileWindows &tile, int set) {
    return s && set >= 0 && set <= 1 && s->tileScratch[set] && s->curveTables[0] &&
           s->curveTables[1] && tile.reference && across >= 1 && down >= 1 &&
           int64_t{across} * down <= kTileCellCount && tile.width >= across && tile.height >= down;
}

template <typename Decide>
int DecideCells(HdrSession *s, int32_t across, int32_t down, const TileWindows &tile, int set,
                Decide decide) {
    if (!Usable(s, across, down, tile, set) || !tile.dark) return RESULT_INVALID_ARGUMENT;
    int16_t *R = TileCellGrid(s, set, kWeightReference);
    int16_t *D = TileCellGrid(s, set, kWeightDark);
    int16_t *B = TileCellGrid(s, set, kWeightBright);
    const int32_t n = across * down;
    if (EmptyBox(s, set)) {
        std::fill(R, R + n, int16_t{kFullWeight});
        std::fill(D, D + n, int16_t{0});
        std::fill(B, B + n, int16_t{0});
        return RESULT_OK;
    }
    const Thresholds t = ThresholdsOf(s);
    const int16_t *levels = TileBlockBuffer(s, set, kTileReferenceLevel);
    const int16_t *darkLevels = TileBlockBuffer(s, set, kTileDarkLevel);
    const int16_t *du = TileBlockBuffer(s, set, kTileChromaDiffU);
    const int16_t *dv = TileBlockBuffer(s, set, kTileChromaDiffV);
    const int32_t cw = tile.width / across, ch = tile.height / down;
    const CellWindows darkWindows = {tile.reference, tile.dark, tile.width, tile.height, tile.pitch};
    const CellWindows brightWindows = {tile.reference, tile.bright, tile.width, tile.height, tile.pitch};
    for (int32_t r = 0; r < down; ++r)
        for (int32_t c = 0; c < across; ++c) {
            const int32_t k = r * across + c;
            Cell cell{levels[k], darkLevels[k], std::abs(du[k]) + std::abs(dv[k]), {}, {}};
            cell.dark = MeasureCellDifferenceClamped(darkWindows, c, r * ch, cw, ch,
                                                     s->curveTables[0], 0, 0);
            if (tile.bright)
                cell.bright = MeasureCellDifferenceClipped(brightWindows, c, r * ch, cw, ch,
                                                           s->curveTables[1], 0, 0);
            const Weights o = decide(s, t, cell);
            R[k] = static_cast<int16_t>(o.R);
            D[k] = static_cast<int16_t>(o.D);
            B[k] = static_cast<int16_t>(o.B);
        }
    CopyEdges(D, across, down, tile.darkDx, tile.darkDy);
    CopyEdges(B, across, down, tile.brightDx, tile.brightDy);
    return RESULT_OK;
}

}  // namespace

int DecideTileCellWeights(HdrSession *s, int32_t across, int32_t down, const TileWindows &tile,
                          int set) {
    return DecideCells(s, across, down, tile, set, DecideMain);
}

// Both statistics are measured for every cell, so no branch reads another cell's values.
int DecideTileCellWeightsNearerSide(HdrSession *s, int32_t across, int32_t down,
                                    const TileWindows &tile, int set) {
    return DecideCells(s, across, down, tile, set, DecideNearerSide);
}

int DecideTileCellWeightsPair(HdrSession *s, int32_t across, int32_t down, const TileWindows &tile,
                              int set) {
    if (!Usable(s, across, down, tile, set)) return RESULT_INVALID_ARGUMENT;
    int16_t *R = TileCellGrid(s, set, kWeightReference);
    int16_t *D = TileCellGrid(s, set, kWeightDark);
    int16_t *B = TileCellGrid(s, set, kWeightBright);
    const int32_t n = across * down;
    // No bright exposure: its grid and the marks start clear for every tile.
    std::fill(B, B + n, int16_t{0});
    uint8_t *marks = TileMarkMap(s, set);
    std::fill(marks, marks + n, uint8_t{0});
    if (EmptyBox(s, set)) {
        std::fill(R, R + n, int16_t{kFullWeight});
        std::fill(D, D + n, int16_t{0});
        return RESULT_OK;
    }
    const int16_t *levels = TileBlockBuffer(s, set, kTileReferenceLevel);
    MarkBrightDetailCells(levels, across, down, tile.reference, tile.width, tile.height, tile.pitch,
                          marks);
    const Thresholds t = ThresholdsOf(s);
    for (int32_t k = 0; k < n; ++k) {
        const int32_t w = levels[k];
        const int32_t r = w < t.t1 ? kFullWeight : (w < t.t0 ? Ramp(t.t0 - w, t.t2) : 0);
        R[k] = static_cast<int16_t>(r);
        D[k] = static_cast<int16_t>(kFullWeight - r);
    }
    CopyEdges(D, across, down, tile.darkDx, tile.darkDy);
    return RESULT_OK;
}

int DecideTileCellWeightsByCount(HdrSession *s, int32_t across, int32_t down,
                                 const TileWindows &tile, int set) {
    if (s && s->exposureCount == 3) return DecideTileCellWeights(s, across, down, tile, set);
    return DecideTileCellWeightsPair(s, across, down, tile, set);
}

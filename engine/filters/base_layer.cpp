#include "base_layer.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "core/memory.h"
#include "core/session.h"

namespace {

constexpr int32_t kTableEntries = 65536;
constexpr int32_t kLogEntries = 16384;
constexpr int kMaxLevels = 40;
constexpr int32_t kTableInScratchCells = 262143;

size_t CellCount(int32_t w, int32_t h) { return static_cast<size_t>(w) * static_cast<size_t>(h); }

// Cells are 16-bit two's complement: every stored result wraps.
int16_t Wrap16(int64_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }
int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// trunc of a double, held to the range where the conversion is defined.
int64_t TruncToInt(double v) {
    if (!(v == v)) return 0;
    return static_cast<int64_t>(std::clamp(v, -4.0e18, 4.0e18));
}

int32_t FloorDiv(int32_t v, int32_t shift) { return v >> shift; }

struct Level {
    int16_t *cells;
    int32_t width, height;
    double mean;
};

// The [1 2 1] / 4 filtered coarse row r (rows clamped), with two repeated entries each side.
void SmoothedRow(const int16_t *c, int32_t cw, int32_t ch, int32_t r, int16_t *row) {
    const int16_t *a = c + static_cast<size_t>(std::clamp(r - 1, 0, ch - 1)) * cw;
    const int16_t *b = c + static_cast<size_t>(std::clamp(r, 0, ch - 1)) * cw;
    const int16_t *d = c + static_cast<size_t>(std::clamp(r + 1, 0, ch - 1)) * cw;
    int16_t *v = row + 2;
    // The vertical pass goes into the row, the horizontal one reads it back with the ends
    // repeated; each is stored as 16 bits.
    for (int32_t x = 0; x < cw; ++x) v[x] = Wrap16(FloorDiv(a[x] + 2 * b[x] + d[x], 2));
    int32_t prev = v[0];
    for (int32_t x = 0; x < cw; ++x) {
        const int32_t cur = v[x];
        const int32_t next = v[std::min(x + 1, cw - 1)];
        v[x] = Wrap16(FloorDiv(prev + 2 * cur + next, 2));
        prev = cur;
    }
    row[0] = row[1] = v[0];
    row[cw + 2] = row[cw + 3] = v[cw - 1];
}

int32_t ExpandTap(int32_t center, int32_t near, int32_t far1, int32_t far2) {
    return FloorDiv(25 * center + 9 * near - far1 - far2, 5);
}

// The statistics' grid becomes the session's gain grid when they succeeded; it is dropped when
// they failed, leaving the session's earlier grid in place.
int KeepGainGrid(MemoryContext memory, HdrSession *s, int result, uint16_t *grid, int32_t gw,
                 int32_t gh) {
    if (result != RESULT_OK) {
        FreeAndClear(memory, grid);
        return result;
    }
    FreeAndClear(memory, s->gainGrid);
    s->gainGrid = reinterpret_cast<int16_t *>(grid);
    s->gainGridStride = gw;
    s->gainGridRows = gh;
    return RESULT_OK;
}

}  // namespace

int32_t GridMean(const int16_t *grid, int32_t width, int32_t height) {
    if (!grid || width < 1 || height < 1) return 0;
    int64_t total = 0;
    for (int32_t y = 0; y < height; ++y) {
        int64_t sum = 0;
        const int16_t *row = grid + CellCount(width, y);
        for (int32_t x = 0; x < width; ++x) sum += row[x];
        total += sum / width;
    }
    return static_cast<int32_t>(total / height);
}

int32_t LogTransformGrid(const int16_t *in, int16_t *out, const int32_t *table, int32_t width,
                         int32_t height) {
    if (!in || !out || !table || width < 1 || height < 1) return 0;
    const size_t n = CellCount(width, height);
    for (size_t i = 0; i < n; ++i)
        out[i] = Wrap16(table[std::clamp<int32_t>(in[i], 0, kLogEntries - 1)]);
    return GridMean(out, width, height);
}

int32_t SqrtTransformGrid(int16_t *grid, const int32_t *table, int32_t width, int32_t height) {
    if (!grid || !table || width < 1 || height < 1) return 0;
    const size_t n = CellCount(width, height);
    for (size_t i = 0; i < n; ++i) grid[i] = Wrap16(table[(grid[i] > 0 ? grid[i] : 0) + 64]);
    return GridMean(grid, width, height);
}

int64_t HalveRowPair(const int16_t *r0, const int16_t *r1, int32_t width, int16_t *out) {
    int64_t sum = 0;
    for (int32_t j = 0; j < width / 2; ++j) {
        out[j] = Wrap16((r0[2 * j] + r0[2 * j + 1] + r1[2 * j] + r1[2 * j + 1]) >> 2);
        sum += out[j];
    }
    return sum;
}

void SubtractFromGrid(int16_t *grid, int32_t width, int32_t height, int32_t value) {
    const size_t cells = CellCount(width, height);
    for (size_t i = 0; i < cells; ++i) grid[i] = Wrap16(int64_t{grid[i]} - value);
}

void NormaliseDetailGrid(const int16_t *x, const int16_t *mean, const int16_t *deviation,
                         int32_t width, int32_t height, int32_t scale,
                         const int32_t *reciprocalTable, uint16_t *out) {
    const size_t cells = CellCount(width, height);
    for (size_t i = 0; i < cells; ++i) {
        const int32_t v = x[i];
        const int32_t detail = Wrap32(int64_t{scale} * (v - mean[i])) >> 4;
        const int32_t p =
            Wrap32(static_cast<int64_t>(static_cast<uint32_t>(detail)) *
                   static_cast<uint32_t>(reciprocalTable[static_cast<uint16_t>(deviation[i])]));
        out[i] = static_cast<uint16_t>((p >> 15) - v);
    }
}

void HalveGridLevel(const int16_t *s, int32_t w, int32_t h, int16_t *out, int32_t *outWidth,
                    int32_t *outHeight, double *mean) {
    const int32_t nw = (w + 1) / 2;
    const int32_t nh = (h + 1) / 2;
    int64_t sum = 0;
    for (int32_t i = 0; i < nh; ++i) {
        const int16_t *r0 = s + CellCount(w, std::min(2 * i, h - 1));
        const int16_t *r1 = s + CellCount(w, std::min(2 * i + 1, h - 1));
        int16_t *o = out + CellCount(nw, i);
        sum += HalveRowPair(r0, r1, w, o);
        if (w & 1) {
            const int32_t a = w - 1;
            const int32_t b = std::max(w - 2, 0);
            o[w / 2] = Wrap16((r0[a] + r1[a] + r0[b] + r1[b]) >> 2);
            sum += o[w / 2];
        }
    }
    if (outWidth) *outWidth = nw;
    if (outHeight) *outHeight = nh;
    if (mean) *mean = static_cast<double>(sum) / (static_cast<double>(nw) * nh);
}

void ExpandAndBlendLevel(const int16_t *c, int32_t cw, int32_t ch, const int16_t *q, int16_t *out,
                         int32_t pw, double wc, double wq, int32_t ph, int16_t *scratch) {
    const int32_t stride = cw + 4;
    // Five smoothed rows S[m - 2] .. S[m + 2] rotate through the scratch; the sixth row holds
    // the vertical expansion.
    int16_t *rows[5];
    for (int k = 0; k < 5; ++k) rows[k] = scratch + k * stride;
    int16_t *e = scratch + 5 * stride + 2;
    auto fill = [&](int16_t *row, int32_t r) { SmoothedRow(c, cw, ch, r < 0 ? 0 : r, row); };
    for (int k = 0; k < 5; ++k) fill(rows[k], k - 2);
    const int32_t aq = Wrap32(TruncToInt(256 * wq + 0.5));
    const int32_t ac = Wrap32(TruncToInt(256 * wc + 0.5));
    for (int32_t m = 0; 2 * m < ph; ++m) {
        if (m > 0) {
            int16_t *first = rows[0];
            for (int k = 0; k < 4; ++k) rows[k] = rows[k + 1];
            rows[4] = first;
            fill(rows[4], m + 2);
        }
        const int16_t *sm2 = rows[0] + 2, *sm1 = rows[1] + 2, *s0 = rows[2] + 2;
        const int16_t *sp1 = rows[3] + 2, *sp2 = rows[4] + 2;
        for (int half = 0; half < 2 && 2 * m + half < ph; ++half) {
            for (int32_t x = 0; x < cw; ++x)
                e[x] = Wrap16(half == 0 ? ExpandTap(s0[x], sm1[x], sp1[x], sm2[x])
                                        : ExpandTap(s0[x], sp1[x], sm1[x], sp2[x]));
            e[-1] = e[-2] = e[0];
            e[cw] = e[cw + 1] = e[cw - 1];
            const int32_t y = 2 * m + half;
            const int16_t *qr = q + CellCount(pw, y);
            int16_t *orow = out + CellCount(pw, y);
            for (int32_t x = 0; x < pw; ++x) {
                const int32_t n = x >> 1;
                const int32_t v = (x & 1) == 0 ? ExpandTap(e[n], e[n - 1], e[n + 1], e[n - 2])
                                               : ExpandTap(e[n], e[n + 1], e[n - 1], e[n + 2]);
                const uint32_t sum = static_cast<uint32_t>(aq) * static_cast<uint32_t>(qr[x]) +
                                     static_cast<uint32_t>(ac) * static_cast<uint32_t>(v);
                orow[x] = Wrap16(static_cast<int32_t>(sum) >> 8);
            }
        }
    }
}

int64_t SmoothGridScratchEntries(int32_t width, int32_t height) {
    int64_t held = 0;
    int64_t need = 0;
    int64_t w = width, h = height;
    while (w >= 2 && h >= 2) {
        w = (w + 1) / 2;
        h = (h + 1) / 2;
        held += w * h;
        need = std::max(need, held + 6 * (w + 4));
    }
    return need;
}

int SmoothGridPyramid(MemoryContext, const int16_t *x, int32_t w, int32_t h, int16_t *out,
                      int32_t *outWidth, int32_t *outHeight, int16_t *scratch,
                      int32_t scratchEntries) {
    if (!x || !out || w < 1 || h < 1) return RESULT_INVALID_ARGUMENT;
    if (!scratch || scratchEntries < SmoothGridScratchEntries(w, h)) return RESULT_INVALID_ARGUMENT;
    if (outWidth) *outWidth = w;
    if (outHeight) *outHeight = h;
    const int32_t m0 = GridMean(x, w, h);
    Level levels[kMaxLevels];
    int count = 0;
    int16_t *next = scratch;
    const int16_t *current = x;
    int32_t cw = w, ch = h;
    while (cw >= 2 && ch >= 2 && count < kMaxLevels) {
        Level &l = levels[count];
        l.cells = next;
        HalveGridLevel(current, cw, ch, l.cells, &l.width, &l.height, &l.mean);
        next += CellCount(l.width, l.height);
        current = l.cells;
        cw = l.width;
        ch = l.height;
        ++count;
    }
    if (count == 0) {
        if (out != x) CopyBytes(out, x, CellCount(w, h) * sizeof(int16_t));
        return RESULT_OK;
    }
    auto factor = [m0](double mean) { return mean == 0.0 ? 0.0 : m0 / mean; };
    Level &top = levels[count - 1];
    const double f = factor(top.mean);
    for (size_t i = 0; i < CellCount(top.width, top.height); ++i)
        top.cells[i] = Wrap16(TruncToInt(top.cells[i] * f + 0.5));
    for (int k = 0; k < count; ++k) {
        const int index = count - 1 - k;
        const Level &l = levels[index];
        // The expansion's rows sit after the levels still held (this one and all finer).
        int16_t *work = l.cells + CellCount(l.width, l.height);
        const double u = std::pow(0.65, k) * 0.9;
        if (index == 0) {
            ExpandAndBlendLevel(l.cells, l.width, l.height, x, out, w, 1 - u, u, h, work);
        } else {
            Level &p = levels[index - 1];
            ExpandAndBlendLevel(l.cells, l.width, l.height, p.cells, p.cells, p.width, 1 - u,
                                u * factor(p.mean), p.height, work);
        }
    }
    return RESULT_OK;
}

int ComputeLocalLogStatistics(MemoryContext memory, int16_t *scratch, int16_t *g, int32_t w,
                              int32_t h, uint16_t *out) {
    if (!g || !out || w < 1 || h < 1) return RESULT_INVALID_ARGUMENT;
    const size_t cells = CellCount(w, h);
    const int64_t smoothNeed = SmoothGridScratchEntries(w, h);
    int64_t smoothEntries = cells < 2050 ? 1024 : static_cast<int64_t>(cells / 2);
    smoothEntries = std::max(smoothEntries, smoothNeed);
    int16_t *owned = nullptr;
    int32_t *table = nullptr;
    int16_t *a, *b, *smooth;
    if (scratch && static_cast<int64_t>(cells / 2) >= smoothNeed) {
        a = scratch;
        b = scratch + cells;
        smooth = scratch + 2 * cells;
        smoothEntries = static_cast<int64_t>(cells / 2);
        if (cells > kTableInScratchCells)
            table = reinterpret_cast<int32_t *>(reinterpret_cast<uint8_t *>(scratch) + 5 * cells);
    } else {
        owned = AllocateZeroed<int16_t>(memory, 2 * cells + static_cast<uint64_t>(smoothEntries));
        if (!owned) return RESULT_OUT_OF_MEMORY;
        a = owned;
        b = owned + cells;
        smooth = owned + 2 * cells;
    }
    int32_t *ownedTable = nullptr;
    if (!table) {
        table = ownedTable = AllocateZeroed<int32_t>(memory, kTableEntries);
        if (!table) {
            FreeAndClear(memory, owned);
            return RESULT_OUT_OF_MEMORY;
        }
    }
    const int32_t smoothCap = static_cast<int32_t>(std::min<int64_t>(smoothEntries, INT32_MAX));

    for (int32_t v = 0; v < kLogEntries; ++v)
        table[v] = static_cast<int32_t>(std::trunc(1024 * std::log(v + 30.0)));
    const int32_t l = LogTransformGrid(g, g, table, w, h);
    const int32_t shift =
        l + static_cast<int32_t>(TruncToInt((6761.438964354475 - l) * 0.5 + 512.0));
    SubtractFromGrid(g, w, h, shift);

    int r = SmoothGridPyramid(memory, g, w, h, a, nullptr, nullptr, smooth, smoothCap);
    if (r == RESULT_OK) {
        for (size_t i = 0; i < cells; ++i) {
            const uint32_t d = static_cast<uint32_t>(int32_t{g[i]} - a[i]);
            b[i] = static_cast<int16_t>(std::min<uint32_t>((d * d) >> 10, 32767));
        }
        r = SmoothGridPyramid(memory, b, w, h, b, nullptr, nullptr, smooth, smoothCap);
    }
    if (r == RESULT_OK) {
        for (int32_t j = 0; j < kTableEntries; ++j)
            table[j] = static_cast<int32_t>(std::trunc(std::sqrt(1024.0 * j)));
        const int32_t m = SqrtTransformGrid(b, table, w, h);
        for (int32_t j = 1; j < 6000; ++j) table[j] = 524288 / j;
        const int32_t q = static_cast<int32_t>(TruncToInt(1024 * std::sqrt(m / 1024.0)));
        NormaliseDetailGrid(g, a, b, w, h, q, table, out);
    }
    FreeAndClear(memory, ownedTable);
    FreeAndClear(memory, owned);
    return r;
}

int BuildCoarseBaseLayer(MemoryContext memory, HdrSession *s, const ImageDesc *, const uint8_t *,
                         int32_t width, int32_t height, uint32_t) {
    if (!s || width < 8 || height < 8) return RESULT_INVALID_ARGUMENT;
    const ImageDesc *preview = s->previewImage;
    const uint16_t *table = s->lowResMapsReady ? s->localCurveFusionTable : s->fusionTable;
    if (!preview || !preview->ppu8Plane[0] || preview->i32Width < 1 || preview->i32Height < 1 ||
        !table)
        return RESULT_INVALID_ARGUMENT;
    const int32_t gw = width / 8;
    const int32_t gh = height / 8;
    const size_t cells = CellCount(gw, gh);
    int16_t *coarse = AllocateZeroed<int16_t>(memory, cells);
    uint16_t *grid = AllocateZeroed<uint16_t>(memory, cells);
    if (!coarse || !grid) {
        FreeAndClear(memory, coarse);
        FreeAndClear(memory, grid);
        return RESULT_OUT_OF_MEMORY;
    }
    const int32_t pitch = preview->pi32Pitch[0];
    for (int32_t i = 0; i < gh; ++i) {
        const uint8_t *row = preview->ppu8Plane[0] +
                             static_cast<ptrdiff_t>(std::min(i, preview->i32Height - 1)) * pitch;
        for (int32_t j = 0; j < gw; ++j) {
            const int32_t y = row[std::min(j, preview->i32Width - 1)];
            int32_t level;
            if (s->lowResMapsReady) {
                level = table[256 + y];
            } else {
                const int32_t k = y <= 192 ? y : 96 + (y >> 1);
                level = table[512 + k];
            }
            coarse[CellCount(gw, i) + j] = static_cast<int16_t>(level >> 2);
        }
    }
    const int r = ComputeLocalLogStatistics(memory, nullptr, coarse, gw, gh, grid);
    FreeAndClear(memory, coarse);
    return KeepGainGrid(memory, s, r, grid, gw, gh);
}

int BuildCoarseBaseLayerQuarter(MemoryContext memory, HdrSession *s, const ImageDesc *inputs,
                                const uint8_t *, int32_t width, int32_t height, uint32_t) {
    if (!s || !inputs || !s->fusionTable || width < 8 || height < 8) return RESULT_INVALID_ARGUMENT;
    const ImageDesc &source = inputs[1];
    const uint8_t *luma = source.ppu8Plane[0];
    const int32_t pitch = source.pi32Pitch[0];
    if (!luma || pitch < width || source.i32Width < width || source.i32Height < height)
        return RESULT_INVALID_ARGUMENT;
    const int32_t gw = width / 4;
    const int32_t gh = height / 4;
    const size_t cells = CellCount(gw, gh);
    int16_t *coarse = AllocateZeroed<int16_t>(memory, cells);
    uint16_t *grid = AllocateZeroed<uint16_t>(memory, cells);
    // The statistics' own block: 16 bytes per cell.
    int16_t *scratch = AllocateZeroed<int16_t>(memory, 8 * cells);
    if (!coarse || !grid || !scratch) {
        FreeAndClear(memory, coarse);
        FreeAndClear(memory, grid);
        FreeAndClear(memory, scratch);
        return RESULT_OUT_OF_MEMORY;
    }
    for (int32_t i = 0; i < gh; ++i) {
        const uint8_t *top = luma + static_cast<ptrdiff_t>(4 * i) * pitch;
        const uint8_t *bottom = top + static_cast<ptrdiff_t>(3) * pitch;
        for (int32_t j = 0; j < gw; ++j) {
            const int32_t x = 4 * j;
            const int32_t k = (top[x + 1] + top[x + 2] + bottom[x + 1] + bottom[x + 2] + 2) >> 2;
            coarse[CellCount(gw, i) + j] = static_cast<int16_t>(s->fusionTable[512 + k] >> 2);
        }
    }
    const int r = ComputeLocalLogStatistics(memory, scratch, coarse, gw, gh, grid);
    FreeAndClear(memory, scratch);
    FreeAndClear(memory, coarse);
    return KeepGainGrid(memory, s, r, grid, gw, gh);
}

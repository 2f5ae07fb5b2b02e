#include "local_gain.h"

#include <algorithm>
#include <cmath>

#include "core/session.h"
#include "filters/gain_row_kernels.h"

namespace {

constexpr int kTableSize = 65536;
constexpr int kFirstNegativeCell = 32768;

// Expands one grid row: a table gain every 2^shift pixels, linear in between, the tail after
// the last sample repeating it. Cells past the row's last (width >> shift) - 1 read that one.
template <int kShift>
void ExpandGridRow(uint16_t *out, int32_t width, const uint16_t *grid, const uint16_t *table) {
    constexpr int kCell = 1 << kShift;
    const int32_t lastCell = std::max((width >> kShift) - 1, 0);
    const int32_t lastSample = kCell * ((width - 1) / kCell);
    uint32_t p = table[grid[0]];
    out[0] = static_cast<uint16_t>(p);
    for (int32_t x = 0; x < lastSample; x += kCell) {
        const uint32_t q = table[grid[std::min(x / kCell + 1, lastCell)]];
        for (int t = 1; t < kCell; ++t)
            out[x + t] = static_cast<uint16_t>(((kCell - t) * p + t * q) >> kShift);
        out[x + kCell] = static_cast<uint16_t>(q);
        p = q;
    }
    for (int32_t x = lastSample + 1; x < width; ++x) out[x] = static_cast<uint16_t>(p);
}

template <int kShift>
void ExpandGainRow(int32_t bandRow, int32_t width, uint16_t *rows, const uint16_t *gridRow,
                   const uint16_t *table) {
    if (width <= 0 || !rows || !table || bandRow < 0) return;
    uint16_t *out = rows;
    uint16_t *next = rows + width;
    uint16_t *cur = rows + 2 * static_cast<int64_t>(width);
    const uint32_t k = static_cast<uint32_t>(bandRow) & ((1u << kShift) - 1);
    if (bandRow == 0) {
        if (!gridRow) return;
        ExpandGridRow<kShift>(out, width, gridRow, table);
        std::copy(out, out + width, cur);
    } else if (k == 0) {
        std::copy(next, next + width, out);
        std::copy(next, next + width, cur);
    } else {
        if (k == 1) {
            if (!gridRow) return;
            ExpandGridRow<kShift>(next, width, gridRow, table);
        }
        BlendGainRows(out, cur, next, width, k, kShift);
    }
}

}  // namespace

void BuildLocalGainTable(uint16_t *table, int32_t strength, int32_t unity) {
    if (!table) return;
    const double c = strength < 0 ? 0.0 : strength * 1.33 * 0.02;
    const uint16_t unit = static_cast<uint16_t>(std::clamp(unity, 0, 65535));
    if (c == 0.0) {
        std::fill(table, table + kTableSize, unit);
        return;
    }
    const double capValue = std::trunc(std::exp(c) * unity);
    const int32_t cap = capValue > 65535.0 ? 65535 : static_cast<int32_t>(capValue);
    const double z = 1.0 / (std::pow(0.0625 + c, 0.25) * 1024);
    table[0] = unit;
    int32_t h = 0;
    // Once the curve reaches the cap the value that reached it is kept: no further exp/tanh.
    for (int j = 1; j < kFirstNegativeCell; ++j) {
        if (h < cap) {
            const double g = std::trunc(std::exp(c * std::tanh(j * z)) * unity + 0.5);
            h = g > 65535.0 ? 65535 : static_cast<int32_t>(g);
        }
        table[j] = static_cast<uint16_t>(h);
    }
    std::fill(table + kFirstNegativeCell, table + kTableSize, unit);
}

int32_t BuildLocalGainTableQ10(int64_t, uint16_t *table, int32_t strength) {
    if (!table) return RESULT_INVALID_ARGUMENT;
    BuildLocalGainTable(table, strength, kGainUnity);
    return RESULT_OK;
}

int32_t NoOperation(void) { return RESULT_OK; }

int32_t SetUpLocalGainTable(MemoryContext, HdrSession *session, int32_t strength) {
    if (!session) return RESULT_INVALID_ARGUMENT;
    if (!session->gainTable) return RESULT_OUT_OF_MEMORY;
    // A bright scene whose dark exposure still holds highlights needs less lift.
    if (session->darkLacksHighlights == 0 && session->sceneClass == 3) strength -= 25;
    BuildLocalGainTable(session->gainTable, strength, kGainUnity);
    return RESULT_OK;
}

void ExpandGainRow8(int32_t, int32_t bandRow, int32_t width, uint16_t *rows, int64_t,
                    const uint16_t *gridRow, const uint16_t *gainTable, int32_t, int32_t) {
    ExpandGainRow<3>(bandRow, width, rows, gridRow, gainTable);
}

void ExpandGainRow4(int32_t, int32_t bandRow, int32_t width, uint16_t *rows, int64_t,
                    const uint16_t *gridRow, const uint16_t *gainTable, int32_t, int32_t) {
    ExpandGainRow<2>(bandRow, width, rows, gridRow, gainTable);
}

// Local gain of the tone mapping: the 65536-entry gain table indexed by base-layer cells, and
// the per-row expansion of a grid row of 8 x 8-pixel cells into full-resolution gains.
// Gains are in units of 1/1024 (kGainUnity is gain 1.0).
#pragma once

#include <cstdint>

#include "core/hdr_engine.h"

constexpr int32_t kGainUnity = 1024;

// Lowers the strength by 25 for a scene of class 3 whose dark exposure has highlights, then
// rebuilds session->gainTable with unity kGainUnity. RESULT_OUT_OF_MEMORY when the table is
// missing, RESULT_INVALID_ARGUMENT for a null session.
int32_t SetUpLocalGainTable(MemoryContext memory, HdrSession *session, int32_t strength);

// Entry e is the gain of the cell whose 16 bits are e: unity for negative cells (e >= 32768)
// and for e = 0, else min(65535, trunc(unity * exp(c * tanh(e * z)) + 0.5)) with
// c = 0.0266 * strength and z = 1 / (1024 * (0.0625 + c)^0.25), held once it reaches the cap
// trunc(unity * exp(c)). A strength of 0 or less gives unity everywhere; a null table is
// ignored.
void BuildLocalGainTable(uint16_t *table, int32_t strength, int32_t unity);
// BuildLocalGainTable with unity 1024; RESULT_INVALID_ARGUMENT for a null table.
int32_t BuildLocalGainTableQ10(int64_t ignored, uint16_t *table, int32_t strength);
// An entry that does nothing and returns RESULT_OK, kept for tables of gain routines that
// need a routine in every slot.
int32_t NoOperation(void);

// One full-resolution row of gains for the row `bandRow` of a band (counted from the band's
// first row, which must be a multiple of 8). `rows` is the worker's three-row buffer of
// `width` entries each: the output row, then the expansion of the next grid row, then that of
// the current grid row; the last two carry the state from row to row, so a band passes the
// same buffer for all its rows, in order, starting with bandRow 0.
//
// The grid row is that of the current row when bandRow & 7 is 0 or 1 (row r >> 3 on a
// multiple of 8, else (r >> 3) + 1, held at the last grid row near the bottom); it is not read
// in the other phases and may be null there. A grid row holds width / 8 cells; narrower rows
// read cell 0. Output row r then holds ((8 - k) E(r >> 3) + k E((r >> 3) + 1)) >> 3 with
// k = r & 7 and E the expansion of a grid row: table gains every 8 pixels, linear in between,
// the tail after the last sample repeating it. Nothing is written at or beyond width.
//
// x0, valueShift and cellSize are not used (callers pass 0, the session's valueShift and 8).
void ExpandGainRow8(int32_t x0, int32_t bandRow, int32_t width, uint16_t *rows, int64_t ignored,
                    const uint16_t *gridRow, const uint16_t *gainTable, int32_t valueShift = 0,
                    int32_t cellSize = 8);
// The same for a grid of 4 x 4-pixel cells (phases bandRow & 3, grid rows of width / 4 cells).
void ExpandGainRow4(int32_t x0, int32_t bandRow, int32_t width, uint16_t *rows, int64_t ignored,
                    const uint16_t *gridRow, const uint16_t *gainTable, int32_t valueShift = 0,
                    int32_t cellSize = 4);

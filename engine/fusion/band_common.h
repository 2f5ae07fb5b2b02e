// What the band workers of every pixel format share: the buffer check, the rows a band expands
// from the session's grids (block weights every fourth row, normal mode's offset rows, the
// 1/8-scale map lines of local-curve mode, the local gain row), the walk over a band's rows with
// its progress reports and driver choice, and the two row drivers' cut of a row into typed spans
// and tiles. The formats differ only in addressing: their fetches, kernels and refinements.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"
#include "fusion/fusion_types.h"
#include "fusion/span_common.h"
#include "fusion/span_list.h"

// Normal mode's offset rows: the dark exposure's shadow row, the reference's highlight rows.
enum OffsetRow { kShadowRow = 0, kHighlightLumaRow, kHighlightURow, kHighlightVRow };

// What every band context holds, whatever the pixel format.
struct BandContext {
    const HdrSession *session;
    bool localCurve;
    int32_t x0, x1;         // the process rectangle's columns
    int32_t right, bottom;  // its right and bottom edges
    int32_t top;            // its top row
    int32_t width, height;  // of the frame
    int32_t meshCols, meshRows;
    MeshGridPair xOffsets, yOffsets, xSlopes, ySlopes;
    SpanTables tables;
    SpanRows rows;
    int16_t *mapLines[9];    // the worker's map lines (fineGrids order)
    int16_t *offsetRows[4];  // the worker's normal-mode rows (OffsetRow order)
    uint8_t *warp;
    const int32_t *runs[2];  // dark and bright run lists
    int32_t runCounts[2];
    int32_t *spanBounds;
    int32_t *spanTypes;
};

// The row being fused.
struct BandRow {
    int32_t r;
    int32_t meshRow, meshFrac;  // (r + 128) >> 8 and (r + 128) & 255
    bool refreshRow;            // the weight rows and chroma lines were refreshed on this row
};

// Which row driver a row goes to, by the secondaries that weigh anywhere on it.
enum RowDriver { kDriveReferenceOnly = 0, kDriveDark, kDriveBright, kDriveBoth };

// What a walk reads besides the buffers every band reads: the recovery mask grid (the band
// passes on every refresh; the direct-output walks only when they fade) and worker t's gain
// rows (not read by a render that brings its own).
struct BandReads {
    bool recoveryMask = true;
    bool workerGainRows = true;
};
// Every buffer worker t reads in its mode.
bool BandBuffersPresent(const HdrSession *session, int t, bool localCurve,
                        BandReads reads = BandReads{});

// Fills the parts of the context that do not depend on the pixel format.
void SetUpBandContext(BandContext &c, const HdrSession *session, int t, int32_t width,
                      int32_t height, const RegionRect &processRect);

// Mesh displacement of a secondary over the tile that starts at a, and whether it is a whole
// number of pixels that does not change along the tile (the whole-pixel fetch).
struct TileMotion {
    MeshDisplacement x, y;
    bool whole;
};
TileMotion MotionOfTile(const BandContext &c, const BandRow &row, int32_t a, bool dark);

// Local-curve mode: the secondary's map lines over the tile [a, b) (luma every row, U and V on
// refresh rows); rows past the maps leave them as they are.
void RefreshSecondaryLines(const BandContext &c, const BandRow &row, int32_t a, int32_t b,
                           bool dark);

// Normal mode, every row: the reference's highlight luma row from its block plane, before the
// format's refinement fades it.
void RefreshHighlightLumaRow(const BandContext &c, int32_t r);

// Whether the dark exposure's pixels of the overlap at its global shift (dx, dy) lie inside the
// frame on row r; rows where they do not are left unrefined.
bool DarkOverlapInside(const BandContext &c, int32_t r);

// Walks rows [firstRow, endRow) of the band: progress (worker 0, every 32nd row), the rows
// refreshed every fourth row, then in normal mode the highlight luma row (when the fade is on)
// and refine(r, refreshRow, fade), in local-curve mode the reference's map lines, then the gain
// row and drive(row, RowDriver).
// Returns RESULT_OK or RESULT_CANCELLED.
namespace band_detail {
struct BandFlags {
    int32_t darkAllZero = 1, brightAllZero = 1;
};

// The row driver for a row from the flags of the exposures' weights: an exposure whose weights
// are all zero on the row is left out of the blend.
inline RowDriver DriverFor(const BandFlags &flags) {
    return flags.darkAllZero && flags.brightAllZero ? kDriveReferenceOnly
           : flags.brightAllZero                    ? kDriveDark
           : flags.darkAllZero                      ? kDriveBright
                                                    : kDriveBoth;
}

void RefreshGroupRows(BandContext &c, HdrSession *s, int t, int32_t r, BandFlags &flags);
// Its two parts: the weight rows with their run lists and all-zero flags; the recovery mask row
// and, in normal mode, the shadow and chroma highlight rows.
void RefreshWeightRows(BandContext &c, HdrSession *s, int t, int32_t r, BandFlags &flags);
void RefreshRecoveryRows(const BandContext &c, HdrSession *s, int t, int32_t r);
void RefreshReferenceLines(const BandContext &c, int32_t r, bool refreshRow);
void ExpandBandGainRow(const BandContext &c, HdrSession *s, int t, int32_t bandRow, int32_t r);
// The same into a gain-row buffer of the caller's (three rows of the frame width).
void ExpandGainRowInto(const BandContext &c, const HdrSession *s, uint16_t *rows,
                       int32_t bandRow, int32_t r);
void ClearHighlightLumaRow(const BandContext &c);
}  // namespace band_detail

template <class Refine, class Drive>
int WalkBandRows(BandContext &c, HdrSession *s, const RowBand &band, ProgressCallback callback,
                 void *user, Refine refine, Drive drive) {
    using namespace band_detail;
    const int t = band.workerIndex;
    if (band.firstRow >= band.endRow) return RESULT_OK;
    // Without the refinement nothing writes the highlight luma row: it holds no correction.
    const bool fade = !c.localCurve && s->offsetFadeEnabled != 0;
    if (!c.localCurve && !fade) ClearHighlightLumaRow(c);
    BandFlags flags;
    const int32_t span = band.endRow - band.firstRow;
    for (int32_t r = band.firstRow; r < band.endRow; ++r) {
        if (callback && t == 0 && r % 32 == 0) {
            const int64_t percent = s->progressBase + (75 * int64_t{r - band.firstRow}) / span;
            if (callback(percent, 0, user) == RESULT_CANCELLED) return RESULT_CANCELLED;
        }
        // Rows expanded every fourth row; a band that does not start on such a row expands
        // them on its first row too.
        const bool refreshRow = r % 4 == 0 || r == band.firstRow;
        const BandRow row = {r, (r + 128) >> 8, (r + 128) & 255, refreshRow};
        if (refreshRow) RefreshGroupRows(c, s, t, r, flags);
        if (fade) RefreshHighlightLumaRow(c, r);
        if (!c.localCurve) refine(r, refreshRow, fade);
        if (c.localCurve) RefreshReferenceLines(c, r, refreshRow);
        ExpandBandGainRow(c, s, t, r - band.firstRow, r);
        drive(row, DriverFor(flags));
    }
    return RESULT_OK;
}

// Two-secondary row driver: merges the run lists into typed spans, re-lays RunningWeights at
// every span border (empty spans too) and calls tile(type, a, b, &weights) for each tile.
template <class Tile>
void DriveTwoSecondaries(const BandContext &c, Tile tile) {
    const int32_t spans = MergeRunLists(c.runs[0], c.runCounts[0], c.runs[1], c.runCounts[1],
                                        c.x0, c.x1, c.spanBounds, c.spanTypes);
    RunningWeights weights = {{0, 0, kFusionWeightOne}};
    for (int32_t p = 0; p < spans; ++p) {
        const int32_t type = c.spanTypes[p];
        if (p > 0) ReLayRunningWeights(&weights, c.spanTypes[p - 1], type);
        const int32_t e = c.spanBounds[p + 1];
        for (int32_t a = c.spanBounds[p]; a < e;) {
            const int32_t b = TileEnd(a, e);
            tile(type, a, b, &weights);
            a = b;
        }
    }
}

// One-secondary row driver: the runs of the chosen secondary's list, active when odd; each run
// starts its weights afresh. tile(type, a, b, &weights) with SPAN_REFERENCE_ONLY on inactive
// runs.
template <class Tile>
void DriveOneSecondary(const BandContext &c, bool dark, Tile tile) {
    const int32_t *runs = c.runs[dark ? 0 : 1];
    const int32_t count = c.runCounts[dark ? 0 : 1];
    for (int32_t q = 0; q + 1 < count; ++q) {
        RunningWeights weights = {{0, kFusionWeightOne, kFusionWeightOne}};
        const bool active = (q & 1) != 0;
        const int32_t type = !active ? SPAN_REFERENCE_ONLY : dark ? SPAN_DARK : SPAN_BRIGHT;
        for (int32_t a = runs[q]; a < runs[q + 1];) {
            const int32_t b = TileEnd(a, runs[q + 1]);
            tile(type, a, b, &weights);
            a = b;
        }
    }
}

// The band structure of the full-resolution fusion for PIXEL_FORMAT_YUYV. Each of the four band
// workers walks its rows from top to bottom; per row it refreshes what it expands from the
// session's grids (block weights every fourth row, the offset rows or 1/8-scale map lines of
// its mode, the local gain row) and hands the row to one of three row drivers, chosen by which
// secondary exposures weigh anywhere on the row. A driver cuts the row into typed spans and
// the spans into tiles over which the motion mesh is linear, fetches the motion-shifted
// secondaries of each tile into the worker's warp buffer and runs one span kernel per tile.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "fusion/band_common.h"
#include "fusion/fetch_packed422.h"
#include "fusion/fusion_types.h"
#include "fusion/span_common.h"

struct HdrSession;

// Renders rows [firstRow, endRow) of the band into outputPlanes[0] (output row r at
// r - processRect.y). firstPlanes[i] is the first plane of input i; width, height and pitch are
// input 0's; processRect is the session's. gains and shifts are accepted and not read (the
// worker reads globalShift from the session).
// Results: RESULT_OK; RESULT_INVALID_ARGUMENT for a null session, band, plane list or rectangle,
// or a worker index outside 0..3; RESULT_OUT_OF_MEMORY, before any row, when a buffer the mode
// uses is missing (also for an empty band); RESULT_CANCELLED at once when worker 0's progress
// callback returns it (the rows already written stay). Rendering in place (output plane = the
// reference's plane) needs bandReferenceLuma (CopyReferenceLumaForBandPass).
// Worker 0 reports progressBase + 75 (r - firstRow) / (endRow - firstRow) at rows r that are
// multiples of 32.
int RenderFusedBandPacked422(const RowBand *band, HdrSession *session,
                             uint8_t *const *firstPlanes, int32_t width, int32_t height,
                             int32_t pitch, const RegionRect *processRect, const int32_t *gains,
                             const int32_t *shifts, ProgressCallback callback, void *user);

// Copies the reference's luma (the even bytes of its packed plane) into a new
// session->bandReferenceLuma of width x height bytes, replacing one left there. Call on the
// caller's thread before the band workers start. RESULT_OK, RESULT_INVALID_ARGUMENT (null
// session or plane, sizes below 1, a pitch below 2 width) or RESULT_OUT_OF_MEMORY.
int CopyReferenceLumaForBandPass(MemoryContext memory, HdrSession *session,
                                 const uint8_t *referencePlane, int32_t width, int32_t height,
                                 int32_t pitch);

// What the row drivers of one band share: the common band context, and the packed plane's
// pitch, exposures, output and the reference luma the border estimates read.
struct PackedBandContext : BandContext {
    int32_t pitch;
    ExposureRows exposures;
    ReferenceLuma referenceLuma;  // what the border estimates read
    uint8_t *output;              // outputPlanes[0]
};

// The row being fused.
using PackedRow = BandRow;

void FuseOutputRowPacked422(const PackedBandContext &band, const PackedRow &row);
// dark selects the dark exposure (true) or the bright one.
void FuseOutputRowOneSecondaryPacked422(const PackedBandContext &band, const PackedRow &row,
                                        bool dark);
void FuseOutputRowRefOnlyPacked422(const PackedBandContext &band, const PackedRow &row);

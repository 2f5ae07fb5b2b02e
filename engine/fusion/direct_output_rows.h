// What the direct-output renders outside the run driver's band pass share: the planar 4:2:2
// band worker and its whole-image form (band_planar422.h) and the whole-image renders of the
// semi-planar formats (render_image_semi_planar.h). They fuse in normal mode only, whatever
// lowResMapsReady holds, and walk their rows like this:
//   - the weight rows, run lists and all-zero flags are refreshed on even rows and serve the odd
//     row after;
//   - only with offsetFadeEnabled set, also on even rows: the recovery mask row, the four offset
//     rows (shadow, highlight luma, U, V) and the format's refinement of them; with the fade off
//     those rows are never refreshed and keep what the worker's buffers hold;
//   - a walk that starts on an odd row refreshes on its first row what the even row before it
//     would have, so it renders the same bytes as a walk from an earlier even row;
//   - the gain row is expanded with the 8-pixel gain grid, its phase that of the image row: a
//     walk that does not start on a multiple of 8 first replays the rows that load the grid
//     rows it interpolates between.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "fusion/band_planar.h"

struct HdrSession;

namespace direct_output {

// The input planes: planes[k][e] is plane k of input e; planeCount 3 (planar) or 2
// (semi-planar). The output planes take the same pitches.
struct InputPlanes {
    uint8_t *const *planes[3];
    int32_t pitch[3];
    int planeCount;
};

// Fills the context of worker t over the process rectangle in normal mode. Returns
// RESULT_INVALID_ARGUMENT for missing input or output planes or a worker index outside 0..3,
// RESULT_OUT_OF_MEMORY when a buffer the band workers read is missing (also chromaTable2 when
// needsChromaTable2; the recovery mask grid only with offsetFadeEnabled; worker t's gain rows
// unless ownGainRows), or when the reference is rendered in place without the luma copy of
// CopyReferenceLumaPlaneForBandPass, which the border estimates read.
int SetUpContext(PlanarBandContext &c, HdrSession *s, int t, const InputPlanes &in,
                 int32_t width, int32_t height, const RegionRect &processRect, int32_t endRow,
                 bool needsChromaTable2, bool ownGainRows = false);

struct Walk {
    int t;                      // the worker whose buffers are used
    int32_t firstRow, endRow;   // image rows
    uint16_t *gainRows;         // three rows of the frame width
    ProgressCallback callback;  // null: no reports
    void *user;
    int32_t progressHeight;     // reports progressBase + 25 r / progressHeight on rows r % 32 = 0
};

// The gain row of image row r of a walk that starts at firstRow.
void ExpandGainRow(const PlanarBandContext &c, const HdrSession *s, uint16_t *gainRows,
                   int32_t firstRow, int32_t r);

// Walks the rows: progress, refreshes (refine(even row) after the fade rows), gain row, then
// drive(row, RowDriver). RESULT_OK or RESULT_CANCELLED.
template <class Refine, class Drive>
int WalkRows(PlanarBandContext &c, HdrSession *s, const Walk &w, Refine refine, Drive drive) {
    using namespace band_detail;
    const bool fade = s->offsetFadeEnabled != 0;
    BandFlags flags;
    for (int32_t r = w.firstRow; r < w.endRow; ++r) {
        if (w.callback && r % 32 == 0) {
            const int64_t percent = s->progressBase + (25 * int64_t{r}) / w.progressHeight;
            if (w.callback(percent, 0, w.user) == RESULT_CANCELLED) return RESULT_CANCELLED;
        }
        const bool refreshRow = (r & 1) == 0 || r == w.firstRow;
        if (refreshRow) {
            const int32_t even = r & ~1;
            RefreshWeightRows(c, s, w.t, even, flags);
            if (fade) {
                RefreshRecoveryRows(c, s, w.t, even);
                RefreshHighlightLumaRow(c, even);
                refine(even);
            }
        }
        ExpandGainRow(c, s, w.gainRows, w.firstRow, r);
        const BandRow row = {r, (r + 128) >> 8, (r + 128) & 255, refreshRow};
        drive(row, DriverFor(flags));
    }
    return RESULT_OK;
}

// A gain-row buffer of three rows of the frame width from the memory context; null when the
// allocation fails. The whole-image renders free it with FreeMemory on every path.
uint16_t *AllocateGainRows(MemoryContext memory, int32_t width);

}  // namespace direct_output

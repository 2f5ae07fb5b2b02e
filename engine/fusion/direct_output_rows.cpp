#include "direct_output_rows.h"

#include "core/memory.h"
#include "core/session.h"

namespace direct_output {

namespace {

YuvPlanes PlanesOf(const InputPlanes &in, int32_t index) {
    YuvPlanes p = {};
    for (int k = 0; k < in.planeCount; ++k) {
        p.plane[k] = in.planes[k][index];
        p.pitch[k] = in.pitch[k];
    }
    return p;
}

bool PlanesPresent(const HdrSession *s, const InputPlanes &in) {
    for (int k = 0; k < in.planeCount; ++k) {
        if (!in.planes[k] || !s->outputPlanes[k]) return false;
        for (int32_t e : {s->darkIndex, s->brightIndex, s->referenceIndex})
            if (e < 0 || e >= kMaxExposures || !in.planes[k][e]) return false;
    }
    return true;
}

}  // namespace

int SetUpContext(PlanarBandContext &c, HdrSession *s, int t, const InputPlanes &in,
                 int32_t width, int32_t height, const RegionRect &rect, int32_t endRow,
                 bool needsChromaTable2, bool ownGainRows) {
    if (t < 0 || t >= kWorkerCount || !PlanesPresent(s, in)) return RESULT_INVALID_ARGUMENT;
    // The mask grid is read only by the fade; a session the two-call merge prepared has none.
    BandReads reads;
    reads.recoveryMask = s->offsetFadeEnabled != 0;
    reads.workerGainRows = !ownGainRows;
    if (!BandBuffersPresent(s, t, false, reads) || (needsChromaTable2 && !s->chromaTable2))
        return RESULT_OUT_OF_MEMORY;
    SetUpBandContext(c, s, t, width, height, rect);
    // Normal mode whatever lowResMapsReady says: the plain fusion table and no map lines.
    c.localCurve = false;
    c.tables.fusion = s->fusionTable;
    for (int k = 0; k < kFineGridCount; ++k) {
        c.mapLines[k] = nullptr;
        c.rows.mapLines[k] = nullptr;
    }
    c.dark = PlanesOf(in, s->darkIndex);
    c.bright = PlanesOf(in, s->brightIndex);
    c.reference = PlanesOf(in, s->referenceIndex);
    for (int k = 0; k < 3; ++k) {
        c.output[k] = k < in.planeCount ? s->outputPlanes[k] : nullptr;
        c.outputPitch[k] = k < in.planeCount ? in.pitch[k] : 0;
    }
    c.chromaTable2 = s->chromaTable2;
    c.endRow = endRow;
    return PickPlanarReferenceLuma(c, s, width);
}

void ExpandGainRow(const PlanarBandContext &c, const HdrSession *s, uint16_t *gainRows,
                   int32_t firstRow, int32_t r) {
    // The expansion keeps its state from row to row and restarts at phase 0; rows 8k and
    // 8k + 1 load the two grid rows that rows 8k .. 8k + 7 interpolate between.
    const int32_t start = firstRow & ~7;
    if (r == firstRow)
        for (int32_t p = start; p < r && p < start + 2; ++p)
            band_detail::ExpandGainRowInto(c, s, gainRows, p - start, p);
    band_detail::ExpandGainRowInto(c, s, gainRows, r - start, r);
}

uint16_t *AllocateGainRows(MemoryContext memory, int32_t width) {
    if (width <= 0) return nullptr;
    return static_cast<uint16_t *>(AllocateMemory(memory, 3 * uint64_t(width) * sizeof(uint16_t)));
}

}  // namespace direct_output

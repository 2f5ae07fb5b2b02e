// Steps the 16-bit band passes of every format share: the check of the buffers a band reads
// and writes, and the row refreshes (weights with their run lists, shadow row and, with the
// fade, the mask and highlight rows before their per-format refinement).
#pragma once

#include <cstdint>

#include "fusion/band_common.h"

struct HdrSession;

// Whether every buffer worker t reads or writes is there (seam: a lower band of the
// parity-split layout; wholeImage: the one-band pass, which also wants the mask and recovery
// planes without the fade).
bool IntermediateBuffersPresent(const HdrSession *session, int t, bool seam, bool wholeImage);

struct IntermediateRowFlags {
    int32_t darkAllZero = 1, brightAllZero = 1;
};

// The rows refreshed on even rows, without the format's refinement of the highlight rows.
void RefreshIntermediateRows(BandContext &context, HdrSession *session, int t, int32_t r,
                             bool fade, IntermediateRowFlags &flags);
// Without the fade nothing refreshes the mask and highlight rows: they hold no correction.
// The mask row cleared is worker t's own.
void ClearIntermediateRecoveryRows(const BandContext &context, HdrSession *session, int t);

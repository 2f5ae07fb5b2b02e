// Refinement of normal mode's highlight offset rows for planar 4:2:2 (the steps of
// recovery_refine_packed422.h). It differs from the other formats in its row window, the rows
// oy <= y <= oy + H of the overlap (both ends included, whatever the global shift), and in the
// chroma factor: corrections over a weakly coloured reference highlight (8 <= t <= 32), or over
// a nearly neutral one where the dark exposure is strongly coloured (t <= 7, u >= 32), are kept
// as they are instead of dropped (recovery_refine_common.h, FadeChromaKeepingWeak).
//
// The row pointers stand at the process rectangle's left column (luma) and at its half (U and
// V), the dark exposure's already moved by its global shift; the group at x reads its first
// chroma pair at byte (x - left) / 2. The luma part runs when lumaRow is set, the chroma part
// when uRow and vRow are set.
#pragma once

#include <cstdint>

struct HdrSession;

void RefineRecoveryOffsetsRowPlanar422(const HdrSession *session, const int16_t *mask, int32_t y,
                                       const uint8_t *darkY, const uint8_t *darkU,
                                       const uint8_t *darkV, const uint8_t *referenceU,
                                       const uint8_t *referenceV, int16_t *lumaRow,
                                       int16_t *uRow, int16_t *vRow);

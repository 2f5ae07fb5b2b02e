// Refinement of normal mode's highlight offset rows for the planar and semi-planar formats (the
// steps of recovery_refine_packed422.h with each format's addressing and row window). Every row
// pointer stands at the process rectangle's left column, the dark exposure's already moved by
// its global shift; the luma part runs when lumaRow is set, the chroma part when uRow and vRow
// are set. Rows outside the member's window are left as they are (oy, H: the overlap's top and
// height; dy: the dark exposure's vertical global shift):
//   planar 4:2:0       oy + dy <= y <= oy + H - |dy|; the group's first pair at x / 2 of the
//                      U and V rows
//   semi-planar 4:2:0  oy + 4 <= y <= oy + H - 4; the pair at bytes x, x + 1 of the chroma rows
//   semi-planar 4:2:2  dy + 4 <= y <= dy + H - 4; as semi-planar 4:2:0, in two functions
#pragma once

#include <cstdint>

struct HdrSession;

void RefineRecoveryOffsetsRowPlanar420(const HdrSession *session, const int16_t *mask, int32_t y,
                                       const uint8_t *darkY, const uint8_t *darkU,
                                       const uint8_t *darkV, const uint8_t *referenceU,
                                       const uint8_t *referenceV, int16_t *lumaRow,
                                       int16_t *uRow, int16_t *vRow);

void RefineRecoveryOffsetsRowSemiPlanar420(const HdrSession *session, const int16_t *mask,
                                           int32_t y, const uint8_t *darkY,
                                           const uint8_t *darkChroma,
                                           const uint8_t *referenceChroma, int16_t *lumaRow,
                                           int16_t *uRow, int16_t *vRow);

void FadeRecoveryLumaOffsetRowSemiPlanar422(const HdrSession *session, const int16_t *mask,
                                            int32_t y, const uint8_t *darkY, int16_t *lumaRow);
void FadeRecoveryChromaOffsetsRowSemiPlanar422(const HdrSession *session, const int16_t *mask,
                                               int32_t y, const uint8_t *darkChroma,
                                               const uint8_t *referenceChroma, int16_t *uRow,
                                               int16_t *vRow);

// Refinement of normal mode's highlight offset rows for packed 4:2:2, before a row's kernels
// run: where the dark exposure's own luma is near clipping (above 240) the luma correction
// fades out; the chroma corrections survive only where the reference's highlight is nearly
// neutral, scaled by how saturated both exposures are there, and are multiplied by the
// recovery mask. Only rows dy + 4 <= y <= dy + H - 4 (dy the dark exposure's vertical global
// shift, H the overlap height) and groups x = ox, ox + 4, ... < ox + ow of the overlap
// rectangle with a non-zero mask value at x are touched.
#pragma once

#include <cstdint>

struct HdrSession;

// dark and reference are packed rows standing at the process rectangle's left column (the
// dark one already moved by its global shift). The luma part runs when lumaRow is set and
// fades it; the chroma part runs when uRow and vRow are set and rewrites their values at each
// group's x and x + 2. The row driver runs the luma part on every row and the chroma part on
// the rows where it has just refreshed the U and V rows.
void RefineRecoveryOffsetsRowPacked422(const HdrSession *session, const int16_t *mask, int32_t y,
                                       const uint8_t *dark, const uint8_t *reference,
                                       int16_t *lumaRow, int16_t *uRow, int16_t *vRow);

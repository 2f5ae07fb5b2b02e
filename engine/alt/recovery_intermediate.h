// Recovery-offset refinements and the chroma adjustment of the two-call merge's band loops.
// They work in place on a worker's highlight offset rows (luma, U, V: the rows the kernels read
// for the reference's highlight repair), before the row's kernels run.
#pragma once

#include <cstdint>

struct HdrSession;

// Packed 4:2:2 refinement of the 16-bit band loop. Rows oy <= y < oy + H of the overlap
// rectangle are refined (no global-shift window, no margins); groups x = ox, ox + 4, ... of the
// overlap width with a non-zero mask value at x. The dark exposure is read at row y - dy and
// column x - dx (its global shift), both held to the frame: with excessive motion the overlap
// is the whole frame and the shifted dark pixels would lie outside it.
// - luma: where the dark pixel's luma exceeds 240, the luma correction x (256 - luma) / 16;
// - chroma (when uRow and vRow are given), from the reference's distance t and the dark
//   exposure's distance u of the group's first pair from neutral: for t <= 7 and u < 32 the
//   factor (t + u / 4) / 16; else kept for t <= 32, times (64 - t) / 32 up to 64, 0 above;
//   then times the mask value / 256.
// darkPlane and referencePlane are the packed planes' first bytes (pitch shared).
void RefineRecoveryOffsetsRowIntermediatePacked422(const HdrSession *session, const int16_t *mask,
                                                   int32_t y, const uint8_t *darkPlane,
                                                   const uint8_t *referencePlane, int32_t pitch,
                                                   int16_t *lumaRow, int16_t *uRow,
                                                   int16_t *vRow);

// The luma fade of the semi-planar 4:2:2 refinement on a luma plane of one byte per pixel:
// darkY is the dark exposure's luma row standing at the process rectangle's left column.
void FadeRecoveryLumaOffsetRowLumaPlane(const HdrSession *session, const int16_t *mask, int32_t y,
                                        const uint8_t *darkY, int16_t *lumaRow);

// Moves planar chroma away from or towards neutral by the luma: for x = xStart, xStart + 2, ...
// below xEnd, with Y = luma[x] and v = table[Y] >> 4, b = ((98304 - 128 v) >> shift) - 256;
// U (at x / 2) := 128 + (U - 128) (b 578 / 1024 + 256) / 256, V likewise with 730, each held to
// 0..255. table has 256 entries; shift is 0..31.
void AdjustChromaByLumaPlanar420(int32_t xStart, int32_t xEnd, const uint8_t *luma, uint8_t *u,
                                 uint8_t *v, int32_t shift, const int32_t *table);
void AdjustChromaByLumaPlanar422(int32_t xStart, int32_t xEnd, const uint8_t *luma, uint8_t *u,
                                 uint8_t *v, int32_t shift, const int32_t *table);

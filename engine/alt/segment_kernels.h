// Two row kernels of the 16-bit fusion family over listed column segments: a widening of each
// segment with weights interpolated linearly across it, and a chroma match of long segments in
// 16-bit packed rows. Neither is called by the band passes; the segment table, the rows and
// where the output goes are the caller's.
//
// Segment table: u16 entries, one list per 32-pixel grid row g = (y + 16) >> 5 starting at
// entry g * stride, and a u16 count per grid row. The segments are the pairs (entry i,
// entry i + 1) for i = 1, 3, 5, ... while i < count - 1, each a column range [start, end).
#pragma once

#include <cstdint>

// For each segment [d, c) of row y's grid row (nothing when its count is below 3):
//   start s: from x = d back in steps of 4 while W1[x] + W2[x] <= 256 and W0[x] > 7, not below
//            max(d - 128, 0); s is the first x that fails, or that limit once the walk passes
//            it;
//   end e:   from x = c forward in steps of 4, below min(c + 128, width - 32) (held at 0 or
//            more), while W1[x] + W2[x] <= 256 and W0[x] >= 8; e is the first x that fails, or
//            that limit (also when c is already at or past it);
//   when e > s, for each row i: slope = ((Wi[e] - Wi[s]) << 16) / (e - s) in 64 bits (the row
//            values read as unsigned 16-bit, the division truncating), and Oi[s + k] = the low
//            16 bits of Wi[s] + ((k slope) >> 16) for k = 0 .. e - s - 1;
//   then s and e are written back into the segment's two entries.
// W0, W1, W2 are the reference, dark and bright weight rows of width entries; an output row may
// be its weight row. A segment starting at or past width is not walked (its start stays).
void InterpolateWeightRowsOverSegments(int32_t y, int32_t width, const int16_t *W0,
                                       const int16_t *W1, const int16_t *W2, int16_t *O0,
                                       int16_t *O1, int16_t *O2, int32_t stride, int32_t ignored,
                                       uint16_t *segments, const uint16_t *counts);

// For each segment [f, e) of row y's grid row with e > f + 128 (shorter ones stay as they are)
// and n > 0: over the n rows of P and of Q (packed Y0 U Y1 V per pixel pair, rows 2w samples
// apart) and the segment's 4-pixel groups, the two U and the two V samples of each group are
// summed in 64 bits; each mean is 2 sum / ((e - f) n); dU = mean U of Q - mean U of P, dV
// likewise. Then on each row of P, over the groups from x = f: the first 16 groups (group
// number k) add (4 k dU) >> 6 to both U samples and (4 k dV) >> 6 to both V samples; the
// groups up to e - 64 add dU and dV; the 16 groups after them add (64 dU - 4 k dU) >> 6 to the
// first U sample and (62 dU - 4 k dU) >> 6 to the second, the same with dV. Every sum
// saturates to 0..32767. Groups that would reach past the row (x + 4 > w) are neither summed
// nor changed, so a segment never reads or writes outside its rows.
void BlendSegmentChroma16(int32_t ignoredA, int32_t ignoredB, int32_t y, uint16_t *P,
                          const uint16_t *Q, const uint16_t *segments, const uint16_t *counts,
                          int32_t w, int32_t ignoredC, int32_t ignoredD, int32_t stride,
                          int32_t n);

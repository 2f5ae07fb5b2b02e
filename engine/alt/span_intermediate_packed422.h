// 16-bit span kernels of the two-call merge for packed 4:2:2: the normal-mode blend of the
// full-resolution fusion (luma weight curve, block weights, ramped Q15 weights, the dark
// exposure's shadow repair, the reference's masked highlight repair) stopped before the tone
// stage. They write the intermediate's samples instead of 8-bit output: luma the blended linear
// light, chroma 64 x the blended chroma, in Y0 U Y1 V order. The blend itself is the 8-bit
// kernels' own code (BlendGroup*Packed422); only the tail differs.
//
// Addressing as the 8-bit kernels: x0, x1 multiples of 4; reference, warp and output at x0
// (output in 16-bit samples, pixel x at sample 2x); the SpanRows rows indexed by absolute x.
// The gain row, tone and chroma tables of SpanRows and SpanTables are not read.
//
// Samples are held to what the tone mapping can read: luma 0..32767, chroma 0..16320 (the
// ramped reference weight can be -1 when both secondaries already weigh 32768, which would
// give a sample of -1).
#pragma once

#include <cstdint>

#include "fusion/span_common.h"

constexpr int32_t kIntermediateChromaMax = 255 * 64;
constexpr int32_t kIntermediateLumaMax = 32767;

void FuseIntermediateSpanBothPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       int16_t *out);
void FuseIntermediateSpanDarkPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       int16_t *out);
// The secondary's light is fusion[segmentBase + code] (256: the bright segment); the
// reference's highlights are repaired without the mask and its chroma is left as it is.
void FuseIntermediateSpanBrightPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                         const uint8_t *warp, const SpanTables &tables,
                                         const SpanRows &rows, int32_t segmentBase,
                                         RunningWeights *weights, int16_t *out);
// Luma: the reference's light (with its masked highlight repair) << (2 - valueShift); chroma:
// 64 x the repaired chroma. RunningWeights is neither read nor written.
void FuseIntermediateSpanRefOnlyPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const SpanTables &tables, const SpanRows &rows,
                                          int16_t *out);

// Plain kernels: the same blend on the bare segment values (dark fusion[c], bright
// fusion[256 + c], reference fusion[512 + c]) with the reference's chroma unchanged; no offset
// or mask row is read.
void FuseIntermediateSpanPlainBothPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                            const uint8_t *warp, const SpanTables &tables,
                                            const SpanRows &rows, RunningWeights *weights,
                                            int16_t *out);
// One secondary at the quad of each group (warp at 4 x0) with its own weight row and segment
// base (0 dark, 256 bright); RunningWeights {secondary, reference}.
void FuseIntermediateSpanPlainOneSecondaryPacked422(int32_t x0, int32_t x1,
                                                    const uint8_t *reference, const uint8_t *warp,
                                                    const SpanTables &tables, const SpanRows &rows,
                                                    const int16_t *secondaryWeights,
                                                    int32_t segmentBase, RunningWeights *weights,
                                                    int16_t *out);
void FuseIntermediateSpanPlainRefOnlyPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                               const SpanTables &tables, int16_t *out);

// The plain blends of one group (reference group and quads in packed order), shared with the
// plain kernels of the other layouts.
FusedGroup BlendGroupPlainBothPacked422(int32_t x, const uint8_t *reference,
                                        const uint8_t *darkQuad, const uint8_t *brightQuad,
                                        const SpanTables &tables, const SpanRows &rows,
                                        RunningWeights *weights);
FusedGroup BlendGroupPlainOneSecondaryPacked422(int32_t x, const uint8_t *reference,
                                                const uint8_t *quad, const SpanTables &tables,
                                                const SpanRows &rows,
                                                const int16_t *secondaryWeights,
                                                int32_t segmentBase, RunningWeights *weights);
FusedGroup BlendGroupPlainRefOnlyPacked422(const uint8_t *reference, const SpanTables &tables);

// The 16-bit tail: the group's four luma and four chroma samples, held to their ranges.
void StoreIntermediateGroupPacked422(const FusedGroup &group, int16_t *out);

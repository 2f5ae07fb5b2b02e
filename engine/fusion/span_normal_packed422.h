// Span kernels of normal mode for packed 4:2:2 (the mode without the 1/8-scale maps). The
// exposures are blended through their own linear-light segments of the fusion table; the dark
// exposure's deep shadows (codes below 33) are repaired from the shadow offset row and the
// reference's highlights (codes above 191) from the highlight offset rows, gated and scaled by
// the recovery mask at the group start.
//
// Addressing as in local-curve mode: x0, x1 multiples of 4; reference, output and warp
// pointers at x0; the rows of SpanRows (weights, mask, gain, shadow and highlight rows)
// indexed by absolute x.
//
// The Blend* functions are the weight, light and recovery steps of one group without the
// tone tail, so that a caller keeping the blend (rather than 8-bit output) uses the same code.
#pragma once

#include <cstdint>

#include "fusion/span_common.h"

void FuseSpanBothPacked422(int32_t x0, int32_t x1, const uint8_t *reference, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows, RunningWeights *weights,
                           uint8_t *out);
void FuseSpanDarkPacked422(int32_t x0, int32_t x1, const uint8_t *reference, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows, RunningWeights *weights,
                           uint8_t *out);
// The bright exposure's light is fusion[segmentBase + code] (the row drivers pass 256); the
// reference's highlights are recovered without the mask and its chroma is left as it is.
void FuseSpanBrightPacked422(int32_t x0, int32_t x1, const uint8_t *reference, const uint8_t *warp,
                             const SpanTables &tables, const SpanRows &rows, int32_t segmentBase,
                             RunningWeights *weights, uint8_t *out);
void FuseSpanRefOnlyPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                              const SpanTables &tables, const SpanRows &rows, uint8_t *out);

// chromaShift: kChromaToneIndexShift for the tone tail, kChromaSampleShift for the 16-bit
// intermediate (the blend is otherwise the same, so the two outputs cannot drift apart).
FusedGroup BlendGroupBothPacked422(int32_t x, const uint8_t *reference, const uint8_t *darkQuad,
                                   const uint8_t *brightQuad, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   int32_t chromaShift = kChromaToneIndexShift);
FusedGroup BlendGroupDarkPacked422(int32_t x, const uint8_t *reference, const uint8_t *quad,
                                   const SpanTables &tables, const SpanRows &rows,
                                   RunningWeights *weights,
                                   int32_t chromaShift = kChromaToneIndexShift);
FusedGroup BlendGroupBrightPacked422(int32_t x, const uint8_t *reference, const uint8_t *quad,
                                     const SpanTables &tables, const SpanRows &rows,
                                     int32_t segmentBase, RunningWeights *weights,
                                     int32_t chromaShift = kChromaToneIndexShift);
FusedGroup BlendGroupRefOnlyPacked422(int32_t x, const uint8_t *reference,
                                      const SpanTables &tables, const SpanRows &rows,
                                      int32_t chromaShift = kChromaToneIndexShift);

// Span kernels of local-curve mode for packed 4:2:2 (Y0 U Y1 V), each taking the fastest tier
// this process may run (the tiers: span_local_curve_group_packed422.h,
// span_local_curve_sse2_packed422.h, span_local_curve_avx2_packed422.h). Every exposure's
// luma code is first moved by its luma offset row and its chroma by its U and V offset rows (expanded from
// the 1/8-scale maps of the preview fusion), then the three are blended in linear light with
// per-group weights ramped across the group, and the blend goes through the local gain and
// the tone and chroma tables.
//
// x0 and x1 are multiples of 4; groups start at x0, x0 + 4, ... while below x1. The reference
// and output pointers stand at pixel x0 and the warp buffer at the group of x0 (quads 16 bytes
// apart: dark then bright for the three-exposure kernel, the secondary's alone for the
// one-secondary kernels); the rows of SpanRows are indexed by absolute x.
#pragma once

#include <cstdint>

#include "fusion/span_common.h"

// SPAN_BOTH: RunningWeights {dark, bright, reference}.
void FuseSpanLocalCurveBothPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights, uint8_t *out);
// SPAN_DARK and SPAN_BRIGHT: RunningWeights {secondary, reference}; entry 2 is not touched.
void FuseSpanLocalCurveDarkPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights, uint8_t *out);
void FuseSpanLocalCurveBrightPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       uint8_t *out);
// SPAN_REFERENCE_ONLY: the reference alone through its offset rows.
void FuseSpanLocalCurveRefOnlyPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                        const SpanTables &tables, const SpanRows &rows,
                                        uint8_t *out);

// Span kernels of local-curve mode for packed 4:2:2 on the SSE2 tier: the group steps folded
// into one loop over the span and the rows looked up once (span_local_curve_sse2_steps.h),
// plain C++ that the compiler vectorises with the x86-64 baseline instructions, giving the bytes
// of the plain references of span_local_curve_group_packed422.h. Arguments as the kernels of
// span_local_curve_packed422.h; secondary is kMapDark or kMapBright.
#pragma once

#include <cstdint>

#include "fusion/span_common.h"

void FuseSpanLocalCurveOnePacked422_SSE2(int32_t x0, int32_t x1, const uint8_t *reference,
                                         const uint8_t *warp, MapExposure secondary,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, uint8_t *out);

void FuseSpanLocalCurveBothPacked422_SSE2(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const uint8_t *warp, const SpanTables &tables,
                                          const SpanRows &rows, RunningWeights *weights,
                                          uint8_t *out);

void FuseSpanLocalCurveRefOnlyPacked422_SSE2(int32_t x0, int32_t x1, const uint8_t *reference,
                                             const SpanTables &tables, const SpanRows &rows,
                                             uint8_t *out);

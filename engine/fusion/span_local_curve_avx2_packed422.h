// AVX2 versions of the local-curve span kernels over packed 4:2:2, beside the plain references
// and the SSE2 kernels of span_local_curve_sse2_packed422.h (same arguments). Each fuses two
// groups (eight pixels) per step with the weights, curve reads and blends in vector lanes, and
// gives the same bytes and carried weights; groups whose weights the lanes cannot hold exactly
// go through the SSE2 kernel. Only called when the processor has AVX2.
#pragma once

#include <cstdint>

#include "fusion/span_common.h"

void FuseSpanLocalCurveOnePacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                         const uint8_t *warp, MapExposure secondary,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, uint8_t *out);

void FuseSpanLocalCurveBothPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const uint8_t *warp, const SpanTables &tables,
                                          const SpanRows &rows, RunningWeights *weights,
                                          uint8_t *out);

void FuseSpanLocalCurveRefOnlyPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                             const SpanTables &tables, const SpanRows &rows,
                                             uint8_t *out);

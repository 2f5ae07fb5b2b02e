// An AVX2 version of the local-curve span kernel for one secondary exposure over packed 4:2:2,
// beside the plain reference and the folded kernel of span_local_curve_fast_packed422.h. It
// fuses two groups (eight pixels) per step with the weights, curve reads and blends in vector
// lanes, and gives the same bytes and carried weights. Only called when the processor has AVX2.
#pragma once

#include <cstdint>

#include "fusion/span_common.h"

void FuseSpanLocalCurveOnePacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                         const uint8_t *warp, MapExposure secondary,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, uint8_t *out);

// Span kernels of local-curve mode for packed 4:2:2 with one secondary exposure (SPAN_DARK and
// SPAN_BRIGHT): the plain reference, built from the group steps of span_local_curve_packed422,
// and a fast version with the group steps folded into one loop over the span that gives the
// same bytes. Arguments as FuseSpanLocalCurveDarkPacked422, with secondary kMapDark or
// kMapBright.
#pragma once

#include <cstdint>

#include "fusion/span_common.h"

void FuseSpanLocalCurveOnePacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                                      const uint8_t *warp, MapExposure secondary,
                                      const SpanTables &tables, const SpanRows &rows,
                                      RunningWeights *weights, uint8_t *out);
void FuseSpanLocalCurveOnePacked422_Fast(int32_t x0, int32_t x1, const uint8_t *reference,
                                         const uint8_t *warp, MapExposure secondary,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, uint8_t *out);

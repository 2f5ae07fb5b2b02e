// Span kernels of local-curve mode for packed 4:2:2: the plain references, built from the
// group steps of span_local_curve_packed422, and fast versions with the group steps folded
// into one loop over the span, the rows looked up once, that give the same bytes. Arguments as
// the kernels of span_local_curve_packed422.h; secondary is kMapDark or kMapBright.
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

void FuseSpanLocalCurveBothPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       uint8_t *out);
void FuseSpanLocalCurveBothPacked422_Fast(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const uint8_t *warp, const SpanTables &tables,
                                          const SpanRows &rows, RunningWeights *weights,
                                          uint8_t *out);

void FuseSpanLocalCurveRefOnlyPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const SpanTables &tables, const SpanRows &rows,
                                          uint8_t *out);
void FuseSpanLocalCurveRefOnlyPacked422_Fast(int32_t x0, int32_t x1, const uint8_t *reference,
                                             const SpanTables &tables, const SpanRows &rows,
                                             uint8_t *out);

// Span kernels of normal mode for packed 4:2:2: the plain references (the group steps of
// span_normal_packed422.h then the tone tail) and AVX2 versions that fuse two groups per step
// with the weights, table reads, shadow and highlight recovery and blends in vector lanes,
// giving the same bytes and carried weights; groups whose weights, mask or light the lanes
// cannot hold exactly go through the plain group steps. Arguments as the kernels of
// span_normal_packed422.h; the AVX2 ones are only called when the processor has AVX2.
#pragma once

#include <cstdint>

#include "fusion/span_common.h"

void FuseSpanBothPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                             const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                             RunningWeights *weights, uint8_t *out);
void FuseSpanDarkPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                             const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                             RunningWeights *weights, uint8_t *out);
void FuseSpanBrightPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                               const uint8_t *warp, const SpanTables &tables,
                               const SpanRows &rows, int32_t segmentBase,
                               RunningWeights *weights, uint8_t *out);
void FuseSpanRefOnlyPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                                const SpanTables &tables, const SpanRows &rows, uint8_t *out);

void FuseSpanBothPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                const uint8_t *warp, const SpanTables &tables,
                                const SpanRows &rows, RunningWeights *weights, uint8_t *out);
void FuseSpanDarkPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                const uint8_t *warp, const SpanTables &tables,
                                const SpanRows &rows, RunningWeights *weights, uint8_t *out);
void FuseSpanBrightPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                  const uint8_t *warp, const SpanTables &tables,
                                  const SpanRows &rows, int32_t segmentBase,
                                  RunningWeights *weights, uint8_t *out);
void FuseSpanRefOnlyPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                   const SpanTables &tables, const SpanRows &rows, uint8_t *out);

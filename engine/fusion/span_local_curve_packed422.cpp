#include "span_local_curve_packed422.h"

#include "core/kernel_tiers.h"
#include "fusion/span_local_curve_avx2_packed422.h"
#include "fusion/span_local_curve_group_packed422.h"
#include "fusion/span_local_curve_sse2_packed422.h"

// Each public kernel takes the AVX2 tier, else the SSE2 tier, else the plain reference.

void FuseSpanLocalCurveBothPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights, uint8_t *out) {
    if (Avx2KernelsEnabled())
        FuseSpanLocalCurveBothPacked422_AVX2(x0, x1, reference, warp, tables, rows, weights, out);
    else if (Sse2KernelsEnabled())
        FuseSpanLocalCurveBothPacked422_SSE2(x0, x1, reference, warp, tables, rows, weights, out);
    else
        FuseSpanLocalCurveBothPacked422_C(x0, x1, reference, warp, tables, rows, weights, out);
}

namespace {

void FuseSpanLocalCurveOne(int32_t x0, int32_t x1, const uint8_t *reference, const uint8_t *warp,
                           MapExposure secondary, const SpanTables &tables, const SpanRows &rows,
                           RunningWeights *weights, uint8_t *out) {
    if (Avx2KernelsEnabled())
        FuseSpanLocalCurveOnePacked422_AVX2(x0, x1, reference, warp, secondary, tables, rows,
                                            weights, out);
    else if (Sse2KernelsEnabled())
        FuseSpanLocalCurveOnePacked422_SSE2(x0, x1, reference, warp, secondary, tables, rows,
                                            weights, out);
    else
        FuseSpanLocalCurveOnePacked422_C(x0, x1, reference, warp, secondary, tables, rows,
                                         weights, out);
}

}  // namespace

void FuseSpanLocalCurveDarkPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights, uint8_t *out) {
    FuseSpanLocalCurveOne(x0, x1, reference, warp, kMapDark, tables, rows, weights, out);
}

void FuseSpanLocalCurveBrightPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       uint8_t *out) {
    FuseSpanLocalCurveOne(x0, x1, reference, warp, kMapBright, tables, rows, weights, out);
}

void FuseSpanLocalCurveRefOnlyPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                        const SpanTables &tables, const SpanRows &rows,
                                        uint8_t *out) {
    if (Avx2KernelsEnabled())
        FuseSpanLocalCurveRefOnlyPacked422_AVX2(x0, x1, reference, tables, rows, out);
    else if (Sse2KernelsEnabled())
        FuseSpanLocalCurveRefOnlyPacked422_SSE2(x0, x1, reference, tables, rows, out);
    else
        FuseSpanLocalCurveRefOnlyPacked422_C(x0, x1, reference, tables, rows, out);
}

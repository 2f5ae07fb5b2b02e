#include "span_local_curve_sse2_packed422.h"

#include <algorithm>

#include "fusion/span_local_curve_sse2_steps.h"

using namespace local_curve_sse2;

void FuseSpanLocalCurveBothPacked422_SSE2(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const uint8_t *warp, const SpanTables &tables,
                                          const SpanRows &rows, RunningWeights *weights,
                                          uint8_t *out) {
    if (x0 >= x1) return;
    int32_t carried[2] = {weights->w[0], weights->w[1]};
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        FuseGroupBoth(tables, rows, x, reference, warp, warp + kWarpedQuadBytes, carried, out);
    *weights = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
}

void FuseSpanLocalCurveRefOnlyPacked422_SSE2(int32_t x0, int32_t x1, const uint8_t *reference,
                                             const SpanTables &tables, const SpanRows &rows,
                                             uint8_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, out += 8)
        FuseGroupReference(tables, rows, x, reference, out);
}

void FuseSpanLocalCurveOnePacked422_SSE2(int32_t x0, int32_t x1, const uint8_t *reference,
                                         const uint8_t *warp, MapExposure secondary,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, uint8_t *out) {
    const OneSpanInputs in = Gather(secondary, tables, rows);
    int32_t carried = weights->w[0];
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        FuseGroup(in, x, reference, warp, &carried, out);
    // The plain kernel leaves the carried weights untouched over an empty span.
    if (x0 < x1) {
        weights->w[0] = carried;
        weights->w[1] = kFusionWeightOne - carried;
    }
}

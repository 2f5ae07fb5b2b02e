#include <cstdint>

#include "fusion/span_local_curve_sse2_steps.h"
#include "fusion/span_planar_kernels.h"
#include "fusion/span_planar_group.h"

namespace {

using namespace local_curve_sse2;
using L = ChromaLayout;

// Each group gathered into packed order, fused by the folded group step and scattered back:
// chroma on every row, or for 4:2:0 only on even rows; luma moved by each pixel's offset in
// semi-planar 4:2:0, by the group start's elsewhere. step(x, packed reference, warp at the
// group, packed out) fuses one group.
template <ChromaLayout Layout, class Step>
void Folded(int32_t x0, int32_t x1, int32_t r, const PlanarRowIn &ref, const uint8_t *warp,
            const PlanarRowOut &out, Step step) {
    const bool writeChroma = out.u != nullptr && (Layout == L::kSemiPlanar422 || (r & 1) == 0);
    for (int32_t x = x0; x < x1; x += 4) {
        const int32_t offset = x - x0;
        uint8_t group[8], fused[8];
        GatherPlanarGroup<Layout>(ref, offset, group);
        step(x, group, warp ? warp + 4 * offset : nullptr, fused);
        ScatterPlanarGroup<Layout>(fused, writeChroma, out, offset);
    }
}

template <ChromaLayout Layout>
void Span(PlanarSpanType type, int32_t x0, int32_t x1, int32_t r, const PlanarRowIn &ref,
          const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
          RunningWeights *weights, const PlanarRowOut &out) {
    constexpr bool perPixel = Layout == L::kSemiPlanar420;
    if (x0 >= x1) return;  // the plain kernels leave the carried weights over an empty span
    if (type == kPlanarSpanBoth) {
        int32_t carried[2] = {weights->w[0], weights->w[1]};
        Folded<Layout>(x0, x1, r, ref, warp, out,
                       [&](int32_t x, const uint8_t *group, const uint8_t *quads, uint8_t *fused) {
                           FuseGroupBoth(tables, rows, x, group, quads, quads + kWarpedQuadBytes,
                                         carried, fused, perPixel);
                       });
        *weights = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
    } else if (type == kPlanarSpanReference) {
        Folded<Layout>(x0, x1, r, ref, nullptr, out,
                       [&](int32_t x, const uint8_t *group, const uint8_t *, uint8_t *fused) {
                           FuseGroupReference(tables, rows, x, group, fused, perPixel);
                       });
    } else {
        const OneSpanInputs in =
            Gather(type == kPlanarSpanDark ? kMapDark : kMapBright, tables, rows);
        int32_t carried = weights->w[0];
        Folded<Layout>(x0, x1, r, ref, warp, out,
                       [&](int32_t x, const uint8_t *group, const uint8_t *quad, uint8_t *fused) {
                           FuseGroup(in, x, group, quad, &carried, fused, perPixel);
                       });
        weights->w[0] = carried;
        weights->w[1] = kFusionWeightOne - carried;
    }
}

}  // namespace

void FuseSpanLocalCurvePlanar_SSE2(ChromaLayout layout, PlanarSpanType type, int32_t x0,
                                   int32_t x1, int32_t r, const PlanarRowIn &ref,
                                   const uint8_t *warp, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   const PlanarRowOut &out) {
    switch (layout) {
        case L::kPlanar420:
            Span<L::kPlanar420>(type, x0, x1, r, ref, warp, tables, rows, weights, out);
            break;
        case L::kSemiPlanar420:
            Span<L::kSemiPlanar420>(type, x0, x1, r, ref, warp, tables, rows, weights, out);
            break;
        case L::kSemiPlanar422:
            Span<L::kSemiPlanar422>(type, x0, x1, r, ref, warp, tables, rows, weights, out);
            break;
        default:
            FuseSpanLocalCurvePlanar_C(layout, type, x0, x1, r, ref, warp, tables, rows, weights,
                                       out);
    }
}

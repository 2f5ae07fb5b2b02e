#include "span_intermediate_planar.h"

#include "fusion/span_normal_packed422.h"

using namespace intermediate_detail;

namespace {

using L = ChromaLayout;

template <ChromaLayout Layout>
void FuseSpan16(int32_t type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                RunningWeights *weights, const IntermediateRowOut &out) {
    for (int32_t x = x0; x < x1; x += 4) {
        const int32_t offset = x - x0;
        uint8_t group[8];
        GatherGroup<Layout>(ref, offset, group);
        const uint8_t *quad = warp ? warp + 4 * static_cast<int64_t>(offset) : nullptr;
        FusedGroup g;
        switch (type) {
            case SPAN_BOTH:
                g = BlendGroupBothPacked422(x, group, quad, quad + kWarpedQuadBytes, tables, rows,
                                            weights, kChromaSampleShift);
                break;
            case SPAN_DARK:
                g = BlendGroupDarkPacked422(x, group, quad, tables, rows, weights,
                                            kChromaSampleShift);
                break;
            case SPAN_BRIGHT:
                g = BlendGroupBrightPacked422(x, group, quad, tables, rows, kFusionBrightSegment,
                                              weights, kChromaSampleShift);
                break;
            default:
                g = BlendGroupRefOnlyPacked422(x, group, tables, rows, kChromaSampleShift);
        }
        StoreGroup<Layout>(g, out, offset);
    }
}

}  // namespace

void FuseIntermediateSpanPlanar420(int32_t type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                   const uint8_t *warp, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   const IntermediateRowOut &out) {
    FuseSpan16<L::kPlanar420>(type, x0, x1, ref, warp, tables, rows, weights, out);
}

void FuseIntermediateSpanPlanar422(int32_t type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                   const uint8_t *warp, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   const IntermediateRowOut &out) {
    FuseSpan16<L::kPlanar422>(type, x0, x1, ref, warp, tables, rows, weights, out);
}

void FuseIntermediateSpanSemiPlanar420(int32_t type, int32_t x0, int32_t x1,
                                       const PlanarRowIn &ref, const uint8_t *warp,
                                       const SpanTables &tables, const SpanRows &rows,
                                       RunningWeights *weights, const IntermediateRowOut &out) {
    FuseSpan16<L::kSemiPlanar420>(type, x0, x1, ref, warp, tables, rows, weights, out);
}

void FuseIntermediateSpanSemiPlanar422(int32_t type, int32_t x0, int32_t x1,
                                       const PlanarRowIn &ref, const uint8_t *warp,
                                       const SpanTables &tables, const SpanRows &rows,
                                       RunningWeights *weights, const IntermediateRowOut &out) {
    FuseSpan16<L::kSemiPlanar422>(type, x0, x1, ref, warp, tables, rows, weights, out);
}

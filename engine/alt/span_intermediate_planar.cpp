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

// The named kernel of each span type; the type-dispatched entries below pick one of them.
#define DEFINE_INTERMEDIATE_SPAN(Name, Layout, Type)                                              \
    void Name(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,                \
              const SpanTables &tables, const SpanRows &rows, RunningWeights *weights,            \
              const IntermediateRowOut &out) {                                                    \
        FuseSpan16<L::Layout>(Type, x0, x1, ref, warp, tables, rows, weights, out);               \
    }
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanBothPlanar420, kPlanar420, SPAN_BOTH)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanDarkPlanar420, kPlanar420, SPAN_DARK)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanBrightPlanar420, kPlanar420, SPAN_BRIGHT)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanRefOnlyPlanar420, kPlanar420, SPAN_REFERENCE_ONLY)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanBothPlanar422, kPlanar422, SPAN_BOTH)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanDarkPlanar422, kPlanar422, SPAN_DARK)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanBrightPlanar422, kPlanar422, SPAN_BRIGHT)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanRefOnlyPlanar422, kPlanar422, SPAN_REFERENCE_ONLY)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanBothSemiPlanar420, kSemiPlanar420, SPAN_BOTH)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanDarkSemiPlanar420, kSemiPlanar420, SPAN_DARK)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanBrightSemiPlanar420, kSemiPlanar420, SPAN_BRIGHT)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanRefOnlySemiPlanar420, kSemiPlanar420, SPAN_REFERENCE_ONLY)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanBothSemiPlanar422, kSemiPlanar422, SPAN_BOTH)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanDarkSemiPlanar422, kSemiPlanar422, SPAN_DARK)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanBrightSemiPlanar422, kSemiPlanar422, SPAN_BRIGHT)
DEFINE_INTERMEDIATE_SPAN(FuseIntermediateSpanRefOnlySemiPlanar422, kSemiPlanar422, SPAN_REFERENCE_ONLY)
#undef DEFINE_INTERMEDIATE_SPAN

void FuseIntermediateSpanPlanar420(int32_t type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                   const uint8_t *warp, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   const IntermediateRowOut &out) {
    switch (type) {
        case SPAN_BOTH:
            return FuseIntermediateSpanBothPlanar420(x0, x1, ref, warp, tables, rows, weights, out);
        case SPAN_DARK:
            return FuseIntermediateSpanDarkPlanar420(x0, x1, ref, warp, tables, rows, weights, out);
        case SPAN_BRIGHT:
            return FuseIntermediateSpanBrightPlanar420(x0, x1, ref, warp, tables, rows, weights, out);
        default:
            return FuseIntermediateSpanRefOnlyPlanar420(x0, x1, ref, warp, tables, rows, weights, out);
    }
}

void FuseIntermediateSpanPlanar422(int32_t type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                   const uint8_t *warp, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   const IntermediateRowOut &out) {
    switch (type) {
        case SPAN_BOTH:
            return FuseIntermediateSpanBothPlanar422(x0, x1, ref, warp, tables, rows, weights, out);
        case SPAN_DARK:
            return FuseIntermediateSpanDarkPlanar422(x0, x1, ref, warp, tables, rows, weights, out);
        case SPAN_BRIGHT:
            return FuseIntermediateSpanBrightPlanar422(x0, x1, ref, warp, tables, rows, weights, out);
        default:
            return FuseIntermediateSpanRefOnlyPlanar422(x0, x1, ref, warp, tables, rows, weights, out);
    }
}

void FuseIntermediateSpanSemiPlanar420(int32_t type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       const IntermediateRowOut &out) {
    switch (type) {
        case SPAN_BOTH:
            return FuseIntermediateSpanBothSemiPlanar420(x0, x1, ref, warp, tables, rows, weights, out);
        case SPAN_DARK:
            return FuseIntermediateSpanDarkSemiPlanar420(x0, x1, ref, warp, tables, rows, weights, out);
        case SPAN_BRIGHT:
            return FuseIntermediateSpanBrightSemiPlanar420(x0, x1, ref, warp, tables, rows, weights, out);
        default:
            return FuseIntermediateSpanRefOnlySemiPlanar420(x0, x1, ref, warp, tables, rows, weights, out);
    }
}

void FuseIntermediateSpanSemiPlanar422(int32_t type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       const IntermediateRowOut &out) {
    switch (type) {
        case SPAN_BOTH:
            return FuseIntermediateSpanBothSemiPlanar422(x0, x1, ref, warp, tables, rows, weights, out);
        case SPAN_DARK:
            return FuseIntermediateSpanDarkSemiPlanar422(x0, x1, ref, warp, tables, rows, weights, out);
        case SPAN_BRIGHT:
            return FuseIntermediateSpanBrightSemiPlanar422(x0, x1, ref, warp, tables, rows, weights, out);
        default:
            return FuseIntermediateSpanRefOnlySemiPlanar422(x0, x1, ref, warp, tables, rows, weights, out);
    }
}

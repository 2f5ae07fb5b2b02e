#include "span_intermediate_planar_plain.h"

using namespace intermediate_detail;

namespace {

// The chroma layout of one implementation: planes of their own (planar) or interleaved pairs
// (semi-planar); the row subsampling is the caller's business.
constexpr ChromaLayout kPlanes = ChromaLayout::kPlanar420;
constexpr ChromaLayout kInterleaved = ChromaLayout::kSemiPlanar420;

template <ChromaLayout Layout>
void PlainBoth(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
               const SpanTables &tables, const SpanRows &rows, RunningWeights *weights,
               const IntermediateRowOut &out) {
    for (int32_t x = x0; x < x1; x += 4) {
        const int32_t offset = x - x0;
        uint8_t group[8];
        GatherGroup<Layout>(ref, offset, group);
        const uint8_t *quad = warp + 4 * static_cast<int64_t>(offset);
        StoreGroup<Layout>(BlendGroupPlainBothPacked422(x, group, quad, quad + kWarpedQuadBytes,
                                                        tables, rows, weights),
                           out, offset);
    }
}

template <ChromaLayout Layout>
void PlainOneSecondary(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                       const SpanTables &tables, const SpanRows &rows,
                       const int16_t *secondaryWeights, int32_t segmentBase,
                       RunningWeights *weights, const IntermediateRowOut &out) {
    for (int32_t x = x0; x < x1; x += 4) {
        const int32_t offset = x - x0;
        uint8_t group[8];
        GatherGroup<Layout>(ref, offset, group);
        StoreGroup<Layout>(BlendGroupPlainOneSecondaryPacked422(
                               x, group, warp + 4 * static_cast<int64_t>(offset), tables, rows,
                               secondaryWeights, segmentBase, weights),
                           out, offset);
    }
}

template <ChromaLayout Layout>
void PlainRefOnly(int32_t x0, int32_t x1, const PlanarRowIn &ref, const SpanTables &tables,
                  const IntermediateRowOut &out) {
    for (int32_t offset = 0; offset < x1 - x0; offset += 4) {
        uint8_t group[8];
        GatherGroup<Layout>(ref, offset, group);
        StoreGroup<Layout>(BlendGroupPlainRefOnlyPacked422(group, tables), out, offset);
    }
}

}  // namespace

void FuseIntermediateSpanPlainBothPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                            const uint8_t *warp, const SpanTables &tables,
                                            const SpanRows &rows, RunningWeights *weights,
                                            const IntermediateRowOut &out) {
    PlainBoth<kPlanes>(x0, x1, ref, warp, tables, rows, weights, out);
}

void FuseIntermediateSpanPlainOneSecondaryPlanar420(int32_t x0, int32_t x1,
                                                    const PlanarRowIn &ref, const uint8_t *warp,
                                                    const SpanTables &tables, const SpanRows &rows,
                                                    const int16_t *secondaryWeights,
                                                    int32_t segmentBase, RunningWeights *weights,
                                                    const IntermediateRowOut &out) {
    PlainOneSecondary<kPlanes>(x0, x1, ref, warp, tables, rows, secondaryWeights, segmentBase,
                               weights, out);
}

void FuseIntermediateSpanPlainRefOnlyPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                               const SpanTables &tables,
                                               const IntermediateRowOut &out) {
    PlainRefOnly<kPlanes>(x0, x1, ref, tables, out);
}

void FuseIntermediateSpanPlainBothSemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                                const uint8_t *warp, const SpanTables &tables,
                                                const SpanRows &rows, RunningWeights *weights,
                                                const IntermediateRowOut &out) {
    PlainBoth<kInterleaved>(x0, x1, ref, warp, tables, rows, weights, out);
}

void FuseIntermediateSpanPlainOneSecondarySemiPlanar420(
    int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp, const SpanTables &tables,
    const SpanRows &rows, const int16_t *secondaryWeights, int32_t segmentBase,
    RunningWeights *weights, const IntermediateRowOut &out) {
    PlainOneSecondary<kInterleaved>(x0, x1, ref, warp, tables, rows, secondaryWeights,
                                    segmentBase, weights, out);
}

void FuseIntermediateSpanPlainRefOnlySemiPlanar420(int32_t x0, int32_t x1,
                                                   const PlanarRowIn &ref,
                                                   const SpanTables &tables,
                                                   const IntermediateRowOut &out) {
    PlainRefOnly<kInterleaved>(x0, x1, ref, tables, out);
}

#include "span_intermediate_planar.h"

#include <algorithm>

#include "alt/span_intermediate_packed422.h"
#include "fusion/planar_layout.h"
#include "fusion/span_normal_packed422.h"

namespace {

using L = ChromaLayout;

template <ChromaLayout Layout>
int32_t ChromaColumn(int32_t x) {
    return kSeparateChromaPlanes<Layout> ? x >> 1 : x;
}

// The reference group at offset in packed order (Y0 U0 Y1 V0 Y2 U1 Y3 V1), as the 8-bit
// planar kernels gather it for the shared blend.
template <ChromaLayout Layout>
void GatherGroup(const PlanarRowIn &ref, int32_t offset, uint8_t group[8]) {
    for (int i = 0; i < 4; ++i) group[2 * i] = ref.y[offset + i];
    if constexpr (kSeparateChromaPlanes<Layout>) {
        const int32_t c = offset >> 1;
        group[1] = ref.u[c];
        group[3] = ref.v[c];
        group[5] = ref.u[c + 1];
        group[7] = ref.v[c + 1];
    } else {
        for (int i = 0; i < 4; ++i) group[2 * i + 1] = ref.u[offset + i];
    }
}

// The 16-bit tail into the format's planes, held to the ranges the tone mapping reads.
template <ChromaLayout Layout>
void StoreGroup(const FusedGroup &g, const IntermediateRowOut &out, int32_t offset) {
    for (int i = 0; i < 4; ++i)
        out.y[offset + i] = static_cast<int16_t>(std::clamp(g.light[i], 0, kIntermediateLumaMax));
    if (!out.u) return;
    int16_t c[4];
    for (int k = 0; k < 4; ++k)
        c[k] = static_cast<int16_t>(std::clamp(g.chroma[k], 0, kIntermediateChromaMax));
    if constexpr (kSeparateChromaPlanes<Layout>) {
        const int32_t at = offset >> 1;
        out.u[at] = c[0];
        out.v[at] = c[1];
        out.u[at + 1] = c[2];
        out.v[at + 1] = c[3];
    } else {
        for (int k = 0; k < 4; ++k) out.u[offset + k] = c[k];
    }
}

// Semi-planar 4:2:2 pulls the bright exposure's chroma a quarter of the way towards 128.
void PullChroma(const uint8_t *quad, uint8_t pulled[8]) {
    for (int i = 0; i < 8; ++i)
        pulled[i] = (i & 1) ? static_cast<uint8_t>((((quad[i] - 128) * 6) >> 3) + 128) : quad[i];
}

template <ChromaLayout Layout>
void FuseSpan16(int32_t type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                RunningWeights *weights, const IntermediateRowOut &out) {
    constexpr bool pull = Layout == L::kSemiPlanar422;
    for (int32_t x = x0; x < x1; x += 4) {
        const int32_t offset = x - x0;
        uint8_t group[8], pulled[8];
        GatherGroup<Layout>(ref, offset, group);
        const uint8_t *quad = warp ? warp + 4 * static_cast<int64_t>(offset) : nullptr;
        FusedGroup g;
        switch (type) {
            case SPAN_BOTH: {
                const uint8_t *bright = quad + kWarpedQuadBytes;
                if (pull) {
                    PullChroma(bright, pulled);
                    bright = pulled;
                }
                g = BlendGroupBothPacked422(x, group, quad, bright, tables, rows, weights,
                                            kChromaSampleShift);
                break;
            }
            case SPAN_DARK:
                g = BlendGroupDarkPacked422(x, group, quad, tables, rows, weights,
                                            kChromaSampleShift);
                break;
            case SPAN_BRIGHT:
                if (pull) {
                    PullChroma(quad, pulled);
                    quad = pulled;
                }
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

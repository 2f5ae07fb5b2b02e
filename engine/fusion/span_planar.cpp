#include "span_planar.h"

#include <algorithm>

#include "core/kernel_tiers.h"
#include "fusion/planar_layout.h"
#include "fusion/span_local_curve_group_packed422.h"
#include "fusion/span_planar_kernels.h"
#include "fusion/span_planar_group.h"
#include "fusion/span_normal_packed422.h"

namespace {

using L = ChromaLayout;

// The tone tail into the format's planes; chromaFirst looks up U (the first byte of an
// interleaved pair), chromaSecond V.
template <ChromaLayout Layout>
void ToneGroupPlanar(const FusedGroup &g, const uint16_t *gainAtGroup, const uint8_t *tone,
                     const uint8_t *chromaFirst, const uint8_t *chromaSecond, bool writeChroma,
                     const PlanarRowOut &out, int32_t offset) {
    for (int i = 0; i < 4; ++i) {
        const int64_t q = (int64_t{g.light[i]} * gainAtGroup[i]) >> 12;
        out.y[offset + i] = tone[std::clamp<int64_t>(q, 0, 4095)];
    }
    if (!writeChroma || !out.u) return;
    uint8_t c[4];
    for (int k = 0; k < 4; ++k) {
        const int32_t index = g.chroma[k] < 0 ? 0 : g.chroma[k] > 4095 ? 4095 : g.chroma[k];
        c[k] = (k & 1 ? chromaSecond : chromaFirst)[index];
    }
    if constexpr (Layout == L::kPlanar420) {
        const int32_t at = offset >> 1;
        out.u[at] = c[0];
        out.v[at] = c[1];
        out.u[at + 1] = c[2];
        out.v[at + 1] = c[3];
    } else {
        for (int k = 0; k < 4; ++k) out.u[offset + k] = c[k];
    }
}

// What differs between the members beyond their chroma layout.
struct Member {
    bool writeChroma;              // 4:2:0 local-curve: only on even rows
    LumaOffsetSampling sampling;   // semi-planar 4:2:0 local-curve: per pixel
    const uint8_t *chromaFirst;    // semi-planar 4:2:2 normal: the second chroma table
    bool pullBright;               // semi-planar 4:2:2 normal: bright chroma towards 128
};

Member LocalCurveMember(L layout, int32_t r, const SpanTables &tables) {
    return {layout == L::kSemiPlanar422 || (r & 1) == 0,
            layout == L::kSemiPlanar420 ? kPerPixelLumaOffset : kGroupStartLumaOffset,
            tables.chroma, false};
}

Member NormalMember(const SpanTables &tables, const uint8_t *chromaTable2 = nullptr) {
    return {true, kGroupStartLumaOffset, chromaTable2 ? chromaTable2 : tables.chroma,
            chromaTable2 != nullptr};
}

// The bright quad with its chroma pulled a quarter of the way towards 128.
void PullChroma(const uint8_t *quad, uint8_t pulled[8]) {
    for (int i = 0; i < 8; ++i)
        pulled[i] = (i & 1) ? static_cast<uint8_t>((((quad[i] - 128) * 6) >> 3) + 128) : quad[i];
}

// One span: per group, the reference gathered, blend(x, reference group, warp at the group)
// and the tone tail.
template <ChromaLayout Layout, class Blend>
void FuseSpan(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
              const SpanTables &tables, const SpanRows &rows, const Member &m,
              const PlanarRowOut &out, Blend blend) {
    for (int32_t x = x0; x < x1; x += 4) {
        const int32_t offset = x - x0;
        uint8_t group[8];
        GatherPlanarGroup<Layout>(ref, offset, group);
        const uint8_t *quad = warp ? warp + 4 * static_cast<int64_t>(offset) : nullptr;
        const FusedGroup g = blend(x, group, quad);
        ToneGroupPlanar<Layout>(g, rows.gain + x, tables.tone, m.chromaFirst, tables.chroma,
                                m.writeChroma, out, offset);
    }
}

// --- Local-curve members ----------------------------------------------------------------------

template <ChromaLayout Layout>
void LocalCurveBoth(int32_t x0, int32_t x1, int32_t r, const PlanarRowIn &ref,
                    const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                    RunningWeights *weights, const PlanarRowOut &out) {
    const Member m = LocalCurveMember(Layout, r, tables);
    FuseSpan<Layout>(x0, x1, ref, warp, tables, rows, m, out,
                     [&](int32_t x, const uint8_t *group, const uint8_t *quad) {
                         return BlendGroupLocalCurveBothPacked422(x, group, quad,
                                                                  quad + kWarpedQuadBytes, tables,
                                                                  rows, weights, m.sampling);
                     });
}

template <ChromaLayout Layout>
void LocalCurveOne(int32_t x0, int32_t x1, int32_t r, const PlanarRowIn &ref,
                   const uint8_t *warp, MapExposure secondary, const SpanTables &tables,
                   const SpanRows &rows, RunningWeights *weights, const PlanarRowOut &out) {
    const Member m = LocalCurveMember(Layout, r, tables);
    FuseSpan<Layout>(x0, x1, ref, warp, tables, rows, m, out,
                     [&](int32_t x, const uint8_t *group, const uint8_t *quad) {
                         return BlendGroupLocalCurveOnePacked422(x, group, quad, secondary, tables,
                                                                 rows, weights, m.sampling);
                     });
}

template <ChromaLayout Layout>
void LocalCurveRefOnly(int32_t x0, int32_t x1, int32_t r, const PlanarRowIn &ref,
                       const SpanTables &tables, const SpanRows &rows, const PlanarRowOut &out) {
    const Member m = LocalCurveMember(Layout, r, tables);
    FuseSpan<Layout>(x0, x1, ref, nullptr, tables, rows, m, out,
                     [&](int32_t x, const uint8_t *group, const uint8_t *) {
                         return BlendGroupLocalCurveRefOnlyPacked422(x, group, tables, rows,
                                                                     m.sampling);
                     });
}

// --- Normal members ---------------------------------------------------------------------------

template <ChromaLayout Layout>
void NormalBoth(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                const SpanTables &tables, const uint8_t *chromaTable2, const SpanRows &rows,
                RunningWeights *weights, const PlanarRowOut &out) {
    const Member m = NormalMember(tables, chromaTable2);
    FuseSpan<Layout>(x0, x1, ref, warp, tables, rows, m, out,
                     [&](int32_t x, const uint8_t *group, const uint8_t *quad) {
                         uint8_t pulled[8];
                         const uint8_t *bright = quad + kWarpedQuadBytes;
                         if (m.pullBright) {
                             PullChroma(bright, pulled);
                             bright = pulled;
                         }
                         return BlendGroupBothPacked422(x, group, quad, bright, tables, rows,
                                                        weights);
                     });
}

template <ChromaLayout Layout>
void NormalDark(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                const SpanTables &tables, const uint8_t *chromaTable2, const SpanRows &rows,
                RunningWeights *weights, const PlanarRowOut &out) {
    const Member m = NormalMember(tables, chromaTable2);
    FuseSpan<Layout>(x0, x1, ref, warp, tables, rows, m, out,
                     [&](int32_t x, const uint8_t *group, const uint8_t *quad) {
                         return BlendGroupDarkPacked422(x, group, quad, tables, rows, weights);
                     });
}

template <ChromaLayout Layout>
void NormalBright(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                  const SpanTables &tables, const uint8_t *chromaTable2, const SpanRows &rows,
                  int32_t segmentBase, RunningWeights *weights, const PlanarRowOut &out) {
    const Member m = NormalMember(tables, chromaTable2);
    FuseSpan<Layout>(x0, x1, ref, warp, tables, rows, m, out,
                     [&](int32_t x, const uint8_t *group, const uint8_t *quad) {
                         uint8_t pulled[8];
                         if (m.pullBright) {
                             PullChroma(quad, pulled);
                             quad = pulled;
                         }
                         return BlendGroupBrightPacked422(x, group, quad, tables, rows,
                                                          segmentBase, weights);
                     });
}

template <ChromaLayout Layout>
void NormalRefOnly(int32_t x0, int32_t x1, const PlanarRowIn &ref, const SpanTables &tables,
                   const uint8_t *chromaTable2, const SpanRows &rows, const PlanarRowOut &out) {
    const Member m = NormalMember(tables, chromaTable2);
    FuseSpan<Layout>(x0, x1, ref, nullptr, tables, rows, m, out,
                     [&](int32_t x, const uint8_t *group, const uint8_t *) {
                         return BlendGroupRefOnlyPacked422(x, group, tables, rows);
                     });
}

template <ChromaLayout Layout>
void LocalCurveSpan(PlanarSpanType type, int32_t x0, int32_t x1, int32_t r,
                    const PlanarRowIn &ref, const uint8_t *warp, const SpanTables &tables,
                    const SpanRows &rows, RunningWeights *weights, const PlanarRowOut &out) {
    switch (type) {
        case kPlanarSpanBoth:
            LocalCurveBoth<Layout>(x0, x1, r, ref, warp, tables, rows, weights, out);
            break;
        case kPlanarSpanDark:
        case kPlanarSpanBright:
            LocalCurveOne<Layout>(x0, x1, r, ref, warp,
                                  type == kPlanarSpanDark ? kMapDark : kMapBright, tables, rows,
                                  weights, out);
            break;
        case kPlanarSpanReference:
            LocalCurveRefOnly<Layout>(x0, x1, r, ref, tables, rows, out);
            break;
    }
}

template <ChromaLayout Layout>
void NormalSpan(PlanarSpanType type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                const uint8_t *warp, const SpanTables &tables, const uint8_t *chromaTable2,
                const SpanRows &rows, int32_t segmentBase, RunningWeights *weights,
                const PlanarRowOut &out) {
    switch (type) {
        case kPlanarSpanBoth:
            NormalBoth<Layout>(x0, x1, ref, warp, tables, chromaTable2, rows, weights, out);
            break;
        case kPlanarSpanDark:
            NormalDark<Layout>(x0, x1, ref, warp, tables, chromaTable2, rows, weights, out);
            break;
        case kPlanarSpanBright:
            NormalBright<Layout>(x0, x1, ref, warp, tables, chromaTable2, rows, segmentBase,
                                 weights, out);
            break;
        case kPlanarSpanReference:
            NormalRefOnly<Layout>(x0, x1, ref, tables, chromaTable2, rows, out);
            break;
    }
}

// The fastest kernels this process may run.
void Normal(ChromaLayout layout, PlanarSpanType type, int32_t x0, int32_t x1,
            const PlanarRowIn &ref, const uint8_t *warp, const SpanTables &tables,
            const uint8_t *chromaTable2, const SpanRows &rows, int32_t segmentBase,
            RunningWeights *weights, const PlanarRowOut &out) {
    (Avx2KernelsEnabled() ? FuseSpanNormalPlanar_AVX2 : FuseSpanNormalPlanar_C)(
        layout, type, x0, x1, ref, warp, tables, chromaTable2, rows, segmentBase, weights, out);
}

void LocalCurve(ChromaLayout layout, PlanarSpanType type, int32_t x0, int32_t x1, int32_t r,
                const PlanarRowIn &ref, const uint8_t *warp, const SpanTables &tables,
                const SpanRows &rows, RunningWeights *weights, const PlanarRowOut &out) {
    if (Avx2KernelsEnabled())
        FuseSpanLocalCurvePlanar_AVX2(layout, type, x0, x1, r, ref, warp, tables, rows, weights,
                                      out);
    else if (Sse2KernelsEnabled())
        FuseSpanLocalCurvePlanar_SSE2(layout, type, x0, x1, r, ref, warp, tables, rows, weights,
                                      out);
    else
        FuseSpanLocalCurvePlanar_C(layout, type, x0, x1, r, ref, warp, tables, rows, weights,
                                   out);
}

}  // namespace

void FuseSpanLocalCurvePlanar_C(ChromaLayout layout, PlanarSpanType type, int32_t x0, int32_t x1,
                                int32_t r, const PlanarRowIn &ref, const uint8_t *warp,
                                const SpanTables &tables, const SpanRows &rows,
                                RunningWeights *weights, const PlanarRowOut &out) {
    switch (layout) {
        case L::kPlanar420:
            LocalCurveSpan<L::kPlanar420>(type, x0, x1, r, ref, warp, tables, rows, weights, out);
            break;
        case L::kSemiPlanar420:
            LocalCurveSpan<L::kSemiPlanar420>(type, x0, x1, r, ref, warp, tables, rows, weights,
                                              out);
            break;
        case L::kSemiPlanar422:
            LocalCurveSpan<L::kSemiPlanar422>(type, x0, x1, r, ref, warp, tables, rows, weights,
                                              out);
            break;
        case L::kPlanar422:
            break;  // fused by the planar 4:2:2 kernels of their own
    }
}

void FuseSpanNormalPlanar_C(ChromaLayout layout, PlanarSpanType type, int32_t x0, int32_t x1,
                            const PlanarRowIn &ref, const uint8_t *warp,
                            const SpanTables &tables, const uint8_t *chromaTable2,
                            const SpanRows &rows, int32_t segmentBase, RunningWeights *weights,
                            const PlanarRowOut &out) {
    switch (layout) {
        case L::kPlanar420:
            NormalSpan<L::kPlanar420>(type, x0, x1, ref, warp, tables, chromaTable2, rows,
                                      segmentBase, weights, out);
            break;
        case L::kSemiPlanar420:
            NormalSpan<L::kSemiPlanar420>(type, x0, x1, ref, warp, tables, chromaTable2, rows,
                                          segmentBase, weights, out);
            break;
        case L::kSemiPlanar422:
            NormalSpan<L::kSemiPlanar422>(type, x0, x1, ref, warp, tables, chromaTable2, rows,
                                          segmentBase, weights, out);
            break;
        case L::kPlanar422:
            break;  // fused by the planar 4:2:2 kernels of their own
    }
}

// --- Planar 4:2:0 -------------------------------------------------------------------------------

void FuseSpanLocalCurveBothPlanar420(int32_t x0, int32_t x1, int32_t r, const PlanarRowIn &ref,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights,
                                     const PlanarRowOut &out) {
    LocalCurve(L::kPlanar420, kPlanarSpanBoth, x0, x1, r, ref, warp, tables, rows, weights, out);
}
void FuseSpanLocalCurveDarkPlanar420(int32_t x0, int32_t x1, int32_t r, const PlanarRowIn &ref,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights,
                                     const PlanarRowOut &out) {
    LocalCurve(L::kPlanar420, kPlanarSpanDark, x0, x1, r, ref, warp, tables, rows, weights, out);
}
void FuseSpanLocalCurveBrightPlanar420(int32_t x0, int32_t x1, int32_t r, const PlanarRowIn &ref,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       const PlanarRowOut &out) {
    LocalCurve(L::kPlanar420, kPlanarSpanBright, x0, x1, r, ref, warp, tables, rows, weights, out);
}
void FuseSpanLocalCurveRefOnlyPlanar420(int32_t x0, int32_t x1, int32_t r,
                                        const PlanarRowIn &ref, const SpanTables &tables,
                                        const SpanRows &rows, const PlanarRowOut &out) {
    LocalCurve(L::kPlanar420, kPlanarSpanReference, x0, x1, r, ref, nullptr, tables, rows, nullptr,
               out);
}
void FuseSpanBothPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows,
                           RunningWeights *weights, const PlanarRowOut &out) {
    Normal(L::kPlanar420, kPlanarSpanBoth, x0, x1, ref, warp, tables, nullptr, rows,
           kFusionBrightSegment, weights, out);
}
void FuseSpanDarkPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows,
                           RunningWeights *weights, const PlanarRowOut &out) {
    Normal(L::kPlanar420, kPlanarSpanDark, x0, x1, ref, warp, tables, nullptr, rows,
           kFusionBrightSegment, weights, out);
}
void FuseSpanBrightPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                             const SpanTables &tables, const SpanRows &rows, int32_t segmentBase,
                             RunningWeights *weights, const PlanarRowOut &out) {
    Normal(L::kPlanar420, kPlanarSpanBright, x0, x1, ref, warp, tables, nullptr, rows,
           segmentBase, weights, out);
}
void FuseSpanRefOnlyPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                              const SpanTables &tables, const SpanRows &rows,
                              const PlanarRowOut &out) {
    Normal(L::kPlanar420, kPlanarSpanReference, x0, x1, ref, nullptr, tables, nullptr, rows,
           kFusionBrightSegment, nullptr, out);
}

// --- Semi-planar 4:2:0 --------------------------------------------------------------------------

void FuseSpanLocalCurveBothSemiPlanar420(int32_t x0, int32_t x1, int32_t r,
                                         const PlanarRowIn &ref, const uint8_t *warp,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, const PlanarRowOut &out) {
    LocalCurve(L::kSemiPlanar420, kPlanarSpanBoth, x0, x1, r, ref, warp, tables, rows, weights, out);
}
void FuseSpanLocalCurveDarkSemiPlanar420(int32_t x0, int32_t x1, int32_t r,
                                         const PlanarRowIn &ref, const uint8_t *warp,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, const PlanarRowOut &out) {
    LocalCurve(L::kSemiPlanar420, kPlanarSpanDark, x0, x1, r, ref, warp, tables, rows, weights, out);
}
void FuseSpanLocalCurveBrightSemiPlanar420(int32_t x0, int32_t x1, int32_t r,
                                           const PlanarRowIn &ref, const uint8_t *warp,
                                           const SpanTables &tables, const SpanRows &rows,
                                           RunningWeights *weights, const PlanarRowOut &out) {
    LocalCurve(L::kSemiPlanar420, kPlanarSpanBright, x0, x1, r, ref, warp, tables, rows, weights, out);
}
void FuseSpanLocalCurveRefOnlySemiPlanar420(int32_t x0, int32_t x1, int32_t r,
                                            const PlanarRowIn &ref, const SpanTables &tables,
                                            const SpanRows &rows, const PlanarRowOut &out) {
    LocalCurve(L::kSemiPlanar420, kPlanarSpanReference, x0, x1, r, ref, nullptr, tables, rows, nullptr,
               out);
}
void FuseSpanBothSemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                               const uint8_t *warp, const SpanTables &tables,
                               const SpanRows &rows, RunningWeights *weights,
                               const PlanarRowOut &out) {
    Normal(L::kSemiPlanar420, kPlanarSpanBoth, x0, x1, ref, warp, tables, nullptr, rows,
           kFusionBrightSegment, weights, out);
}
void FuseSpanDarkSemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                               const uint8_t *warp, const SpanTables &tables,
                               const SpanRows &rows, RunningWeights *weights,
                               const PlanarRowOut &out) {
    Normal(L::kSemiPlanar420, kPlanarSpanDark, x0, x1, ref, warp, tables, nullptr, rows,
           kFusionBrightSegment, weights, out);
}
void FuseSpanBrightSemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                 const uint8_t *warp, const SpanTables &tables,
                                 const SpanRows &rows, int32_t segmentBase,
                                 RunningWeights *weights, const PlanarRowOut &out) {
    Normal(L::kSemiPlanar420, kPlanarSpanBright, x0, x1, ref, warp, tables, nullptr, rows,
           segmentBase, weights, out);
}
void FuseSpanRefOnlySemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                  const SpanTables &tables, const SpanRows &rows,
                                  const PlanarRowOut &out) {
    Normal(L::kSemiPlanar420, kPlanarSpanReference, x0, x1, ref, nullptr, tables, nullptr, rows,
           kFusionBrightSegment, nullptr, out);
}

// --- Semi-planar 4:2:2 --------------------------------------------------------------------------

void FuseSpanLocalCurveBothSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                         const uint8_t *warp, const SpanTables &tables,
                                         const SpanRows &rows, RunningWeights *weights,
                                         const PlanarRowOut &out) {
    LocalCurve(L::kSemiPlanar422, kPlanarSpanBoth, x0, x1, 0, ref, warp, tables, rows, weights, out);
}
void FuseSpanLocalCurveDarkSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                         const uint8_t *warp, const SpanTables &tables,
                                         const SpanRows &rows, RunningWeights *weights,
                                         const PlanarRowOut &out) {
    LocalCurve(L::kSemiPlanar422, kPlanarSpanDark, x0, x1, 0, ref, warp, tables, rows, weights, out);
}
void FuseSpanLocalCurveBrightSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                           const uint8_t *warp, const SpanTables &tables,
                                           const SpanRows &rows, RunningWeights *weights,
                                           const PlanarRowOut &out) {
    LocalCurve(L::kSemiPlanar422, kPlanarSpanBright, x0, x1, 0, ref, warp, tables, rows, weights, out);
}
void FuseSpanLocalCurveRefOnlySemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                            const SpanTables &tables, const SpanRows &rows,
                                            const PlanarRowOut &out) {
    LocalCurve(L::kSemiPlanar422, kPlanarSpanReference, x0, x1, 0, ref, nullptr, tables, rows, nullptr,
               out);
}
void FuseSpanBothSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                               const uint8_t *warp, const SpanTables &tables,
                               const uint8_t *chromaTable2, const SpanRows &rows,
                               RunningWeights *weights, const PlanarRowOut &out) {
    Normal(L::kSemiPlanar422, kPlanarSpanBoth, x0, x1, ref, warp, tables, chromaTable2, rows,
           kFusionBrightSegment, weights, out);
}
void FuseSpanDarkSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                               const uint8_t *warp, const SpanTables &tables,
                               const SpanRows &rows, RunningWeights *weights,
                               const PlanarRowOut &out) {
    Normal(L::kSemiPlanar422, kPlanarSpanDark, x0, x1, ref, warp, tables, nullptr, rows,
           kFusionBrightSegment, weights, out);
}
void FuseSpanBrightSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                 const uint8_t *warp, const SpanTables &tables,
                                 const uint8_t *chromaTable2, const SpanRows &rows,
                                 int32_t segmentBase, RunningWeights *weights,
                                 const PlanarRowOut &out) {
    Normal(L::kSemiPlanar422, kPlanarSpanBright, x0, x1, ref, warp, tables, chromaTable2, rows,
           segmentBase, weights, out);
}
void FuseSpanRefOnlySemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                  const SpanTables &tables, const SpanRows &rows,
                                  const PlanarRowOut &out) {
    Normal(L::kSemiPlanar422, kPlanarSpanReference, x0, x1, ref, nullptr, tables, nullptr, rows,
           kFusionBrightSegment, nullptr, out);
}

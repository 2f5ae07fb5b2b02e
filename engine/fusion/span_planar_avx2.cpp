#include "span_planar_fast.h"

#include <algorithm>
#include <cstring>

#include "fusion/span_local_curve_avx2_steps.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

namespace {

using namespace local_curve_avx2;
using L = ChromaLayout;

// Chroma bytes of a row up to pixel offset `offset`: planar 4:2:0 keeps one U and one V per
// pixel pair, the interleaved rows one byte per pixel.
template <ChromaLayout Layout>
constexpr int32_t ChromaOffset(int32_t offset) {
    return Layout == L::kPlanar420 ? offset >> 1 : offset;
}

// A row moved on to pixel offset `offset` (absent chroma rows stay absent).
template <ChromaLayout Layout, class Row>
Row RowAt(const Row &row, int32_t offset) {
    const int32_t c = ChromaOffset<Layout>(offset);
    return {row.y + offset, row.u ? row.u + c : row.u, row.v ? row.v + c : row.v};
}

// Two reference groups at pixel offset `offset` in packed order: luma interleaved with the
// chroma bytes, which are U V pairs in both layouts once the planar planes are interleaved.
template <ChromaLayout Layout>
[[gnu::target("avx2")]] inline __m128i LoadPair(const PlanarRowIn &ref, int32_t offset) {
    const __m128i y = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(ref.y + offset));
    __m128i chroma;
    if constexpr (Layout == L::kPlanar420) {
        int32_t u, v;
        std::memcpy(&u, ref.u + (offset >> 1), sizeof u);
        std::memcpy(&v, ref.v + (offset >> 1), sizeof v);
        chroma = _mm_unpacklo_epi8(_mm_cvtsi32_si128(u), _mm_cvtsi32_si128(v));
    } else {
        chroma = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(ref.u + offset));
    }
    return _mm_unpacklo_epi8(y, chroma);
}

// Writes two groups at pixel offset `offset` through the tone and chroma tables.
template <ChromaLayout Layout>
[[gnu::target("avx2")]] inline void StorePair(const SpanTables &t, const PairIndices &indices,
                                              bool writeChroma, const PlanarRowOut &out,
                                              int32_t offset) {
    alignas(32) int32_t tone[8], chroma[8];
    _mm256_store_si256(reinterpret_cast<__m256i *>(tone), indices.tone);
    for (int i = 0; i < 8; ++i) out.y[offset + i] = t.tone[tone[i]];
    if (!writeChroma) return;
    _mm256_store_si256(reinterpret_cast<__m256i *>(chroma), indices.chroma);
    if constexpr (Layout == L::kPlanar420) {
        for (int k = 0; k < 4; ++k) {
            out.u[(offset >> 1) + k] = t.chroma[chroma[2 * k]];
            out.v[(offset >> 1) + k] = t.chroma[chroma[2 * k + 1]];
        }
    } else {
        for (int k = 0; k < 8; ++k) out.u[offset + k] = t.chroma[chroma[k]];
    }
}

// What one span of any type reads besides its weights.
struct SpanArgs {
    int32_t x0, x1, r;
    const PlanarRowIn &ref;
    const uint8_t *warp;
    const SpanTables &tables;
    const SpanRows &rows;
    const PlanarRowOut &out;
};

// How a layout's span fuses: chroma written on every row, or for 4:2:0 only on even rows;
// luma moved by each pixel's offset in semi-planar 4:2:0, by the group start's elsewhere.
template <ChromaLayout Layout>
struct Member {
    bool writeChroma, perPixelLuma;
    explicit Member(const SpanArgs &a)
        : writeChroma(a.out.u != nullptr && (Layout == L::kSemiPlanar422 || (a.r & 1) == 0)),
          perPixelLuma(Layout == L::kSemiPlanar420) {}
};

// One exposure's codes of two groups, moved by its offset rows at x.
[[gnu::target("avx2")]] inline PairCodes Moved(__m128i codes, const SpanRows &rows,
                                               MapExposure e, int32_t x, bool perPixelLuma) {
    return MovedPair(SplitPair(codes), rows.mapLines[kMapLumaReference + e],
                     rows.mapLines[kMapU + e], rows.mapLines[kMapV + e], x, perPixelLuma);
}

// The shift of a blend's sum onto the light scale, where a lane can take it.
struct LightShift {
    bool inLanes;
    __m128i count;
};

[[gnu::target("avx2")]] inline LightShift BlendShift(const SpanTables &t) {
    const int32_t s = t.valueShift + 13;
    const bool inLanes = s >= 0 && s < 32;
    return {inLanes, _mm_cvtsi32_si128(inLanes ? s : 0)};
}

// The folded kernel over the one group at x, with the weights it carries.
template <ChromaLayout Layout>
void FoldedGroup(PlanarSpanType type, const SpanArgs &a, int32_t x, RunningWeights *weights) {
    const int32_t offset = x - a.x0;
    FuseSpanLocalCurvePlanar_Fast(Layout, type, x, std::min(x + 4, a.x1), a.r,
                                  RowAt<Layout>(a.ref, offset),
                                  a.warp ? a.warp + 4 * offset : nullptr, a.tables, a.rows,
                                  weights, RowAt<Layout>(a.out, offset));
}

template <ChromaLayout Layout>
[[gnu::target("avx2")]] void One(PlanarSpanType type, MapExposure secondary, const SpanArgs &a,
                                 RunningWeights *weights) {
    const Member<Layout> m(a);
    const LightShift shift = BlendShift(a.tables);
    const uint16_t *curve = a.tables.fusion + kFusionWeightCurve;
    const uint16_t *reciprocals = a.tables.fusion + kFusionReciprocals;
    const int16_t *weightRow = secondary == kMapDark ? a.rows.weightDark : a.rows.weightBright;
    // The normalised weight of the secondary exposure for the group at x.
    auto groupWeight = [&](int32_t x) {
        const int32_t offset = x - a.x0;
        const int32_t rawC = RawWeight(curve, a.warp[4 * offset + 6], weightRow[x]);
        const int32_t rawR = RawWeight(curve, a.ref.y[offset + 3], a.rows.weightReference[x]);
        return rawC * reciprocals[std::clamp(rawC + rawR, 0, kFusionLargestWeightSum)];
    };
    int32_t carried = weights->w[0];
    for (int32_t x = a.x0; x < a.x1;) {
        const int32_t offset = x - a.x0;
        if (x + 8 <= a.x1 && shift.inLanes) {
            const int32_t n0 = groupWeight(x), n1 = groupWeight(x + 4);
            if (InLaneRange(carried) && InLaneRange(n0) && InLaneRange(n1)) {
                const PairCodes own =
                    Moved(LoadPair<Layout>(a.ref, offset), a.rows, kMapReference, x, m.perPixelLuma);
                const PairCodes other =
                    Moved(QuadPair(a.warp + 4 * offset), a.rows, secondary, x, m.perPixelLuma);
                StorePair<Layout>(a.tables,
                                  BlendOnePair(a.tables.fusion + kFusionBrightSegment,
                                               Ramp(carried, n0, n1), other, own, shift.count,
                                               a.rows.gain + x),
                                  m.writeChroma, a.out, offset);
                carried = n1;
                x += 8;
                continue;
            }
        }
        // A last lone group, or weights beyond what the lanes hold: the folded kernel.
        RunningWeights one = {{carried, kFusionWeightOne - carried, weights->w[2]}};
        FoldedGroup<Layout>(type, a, x, &one);
        carried = one.w[0];
        x += 4;
    }
    if (a.x0 < a.x1) {
        weights->w[0] = carried;
        weights->w[1] = kFusionWeightOne - carried;
    }
}

template <ChromaLayout Layout>
[[gnu::target("avx2")]] void Both(const SpanArgs &a, RunningWeights *weights) {
    const Member<Layout> m(a);
    const LightShift shift = BlendShift(a.tables);
    const uint16_t *curve = a.tables.fusion + kFusionWeightCurve;
    // The normalised dark and bright weights of the group at x.
    auto groupWeights = [&](int32_t x, int32_t n[2]) {
        const int32_t offset = x - a.x0;
        const uint8_t *quads = a.warp + 4 * offset;
        const int32_t rawD = RawWeight(curve, quads[6], a.rows.weightDark[x]);
        const int32_t rawB = RawWeight(curve, quads[kWarpedQuadBytes + 6], a.rows.weightBright[x]);
        const int32_t rawR = RawWeight(curve, a.ref.y[offset + 3], a.rows.weightReference[x]);
        const int32_t k = a.tables.fusion[kFusionReciprocals +
                                          std::clamp(rawD + rawB + rawR, 0, kFusionLargestWeightSum)];
        n[0] = rawD * k;
        n[1] = rawB * k;
    };
    int32_t carried[2] = {weights->w[0], weights->w[1]};
    for (int32_t x = a.x0; x < a.x1;) {
        const int32_t offset = x - a.x0;
        if (x + 8 <= a.x1 && shift.inLanes) {
            int32_t n0[2], n1[2];
            groupWeights(x, n0);
            groupWeights(x + 4, n1);
            __m256i ramps[3];
            if (TripleRamps(carried, n0, n1, ramps)) {
                const uint8_t *quads = a.warp + 4 * offset;
                const PairCodes dark = Moved(QuadPair(quads), a.rows, kMapDark, x, m.perPixelLuma);
                const PairCodes bright =
                    Moved(QuadPair(quads + kWarpedQuadBytes), a.rows, kMapBright, x, m.perPixelLuma);
                const PairCodes own =
                    Moved(LoadPair<Layout>(a.ref, offset), a.rows, kMapReference, x, m.perPixelLuma);
                StorePair<Layout>(a.tables,
                                  BlendTriplePair(a.tables.fusion + kFusionBrightSegment, ramps,
                                                  dark, bright, own, shift.count, a.rows.gain + x),
                                  m.writeChroma, a.out, offset);
                carried[0] = n1[0], carried[1] = n1[1];
                x += 8;
                continue;
            }
        }
        RunningWeights one = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
        FoldedGroup<Layout>(kPlanarSpanBoth, a, x, &one);
        carried[0] = one.w[0], carried[1] = one.w[1];
        x += 4;
    }
    if (a.x0 < a.x1) *weights = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
}

template <ChromaLayout Layout>
[[gnu::target("avx2")]] void Reference(const SpanArgs &a) {
    const Member<Layout> m(a);
    // The reference's light moves onto the blend scale by a shift of 2 - valueShift either
    // way; lanes take shifts of 0..15 (light then stays under 2^18).
    const int32_t s = a.tables.valueShift;
    const bool inLanes = s >= 0 && s <= 17;
    const __m128i left = _mm_cvtsi32_si128(inLanes && s <= 2 ? 2 - s : 0);
    const __m128i right = _mm_cvtsi32_si128(inLanes && s > 2 ? s - 2 : 0);
    int32_t x = a.x0;
    if (inLanes) {
        for (; x + 8 <= a.x1; x += 8) {
            const int32_t offset = x - a.x0;
            const PairCodes own =
                Moved(LoadPair<Layout>(a.ref, offset), a.rows, kMapReference, x, m.perPixelLuma);
            StorePair<Layout>(a.tables,
                              ReferencePair(a.tables.fusion + kFusionBrightSegment, own, left,
                                            right, a.rows.gain + x),
                              m.writeChroma, a.out, offset);
        }
    }
    for (; x < a.x1; x += 4) FoldedGroup<Layout>(kPlanarSpanReference, a, x, nullptr);
}

template <ChromaLayout Layout>
void Span(PlanarSpanType type, const SpanArgs &a, RunningWeights *weights) {
    switch (type) {
        case kPlanarSpanBoth: Both<Layout>(a, weights); break;
        case kPlanarSpanDark: One<Layout>(type, kMapDark, a, weights); break;
        case kPlanarSpanBright: One<Layout>(type, kMapBright, a, weights); break;
        case kPlanarSpanReference: Reference<Layout>(a); break;
    }
}

}  // namespace

void FuseSpanLocalCurvePlanar_AVX2(ChromaLayout layout, PlanarSpanType type, int32_t x0,
                                   int32_t x1, int32_t r, const PlanarRowIn &ref,
                                   const uint8_t *warp, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   const PlanarRowOut &out) {
    const SpanArgs a = {x0, x1, r, ref, warp, tables, rows, out};
    switch (layout) {
        case L::kPlanar420: Span<L::kPlanar420>(type, a, weights); break;
        case L::kSemiPlanar420: Span<L::kSemiPlanar420>(type, a, weights); break;
        case L::kSemiPlanar422: Span<L::kSemiPlanar422>(type, a, weights); break;
        default:
            FuseSpanLocalCurvePlanar_C(layout, type, x0, x1, r, ref, warp, tables, rows, weights,
                                       out);
    }
}

#else

void FuseSpanLocalCurvePlanar_AVX2(ChromaLayout layout, PlanarSpanType type, int32_t x0,
                                   int32_t x1, int32_t r, const PlanarRowIn &ref,
                                   const uint8_t *warp, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   const PlanarRowOut &out) {
    FuseSpanLocalCurvePlanar_C(layout, type, x0, x1, r, ref, warp, tables, rows, weights, out);
}

#endif

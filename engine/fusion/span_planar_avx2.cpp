#include "span_planar_kernels.h"

#include <algorithm>
#include <cstring>

#include "core/kernel_instructions.h"
#include "fusion/span_local_curve_avx2_steps.h"
#include "fusion/span_normal_avx2_steps.h"

#if defined(TONEFOLD_HAVE_AVX2_KERNELS)

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

// Writes two groups at pixel offset `offset` through the tone table and the chroma tables:
// chromaFirst for the first byte of each pair (U), the session's chroma table for the second.
template <ChromaLayout Layout>
[[gnu::target("avx2")]] inline void StorePair(const SpanTables &t, const uint8_t *chromaFirst,
                                              const PairIndices &indices, bool writeChroma,
                                              const PlanarRowOut &out, int32_t offset) {
    alignas(32) int32_t tone[8], chroma[8];
    _mm256_store_si256(reinterpret_cast<__m256i *>(tone), indices.tone);
    for (int i = 0; i < 8; ++i) out.y[offset + i] = t.tone[tone[i]];
    if (!writeChroma) return;
    _mm256_store_si256(reinterpret_cast<__m256i *>(chroma), indices.chroma);
    if constexpr (Layout == L::kPlanar420) {
        for (int k = 0; k < 4; ++k) {
            out.u[(offset >> 1) + k] = chromaFirst[chroma[2 * k]];
            out.v[(offset >> 1) + k] = t.chroma[chroma[2 * k + 1]];
        }
    } else {
        for (int k = 0; k < 8; k += 2) {
            out.u[offset + k] = chromaFirst[chroma[k]];
            out.u[offset + k + 1] = t.chroma[chroma[k + 1]];
        }
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

// The SSE2 kernel over the one group at x, with the weights it carries.
template <ChromaLayout Layout>
void Sse2Group(PlanarSpanType type, const SpanArgs &a, int32_t x, RunningWeights *weights) {
    const int32_t offset = x - a.x0;
    FuseSpanLocalCurvePlanar_SSE2(Layout, type, x, std::min(x + 4, a.x1), a.r,
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
                StorePair<Layout>(a.tables, a.tables.chroma,
                                  BlendOnePair(a.tables.fusion + kFusionBrightSegment,
                                               Ramp(carried, n0, n1), other, own, shift.count,
                                               a.rows.gain + x),
                                  m.writeChroma, a.out, offset);
                carried = n1;
                x += 8;
                continue;
            }
        }
        // A last lone group, or weights beyond what the lanes hold: the SSE2 kernel.
        RunningWeights one = {{carried, kFusionWeightOne - carried, weights->w[2]}};
        Sse2Group<Layout>(type, a, x, &one);
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
                StorePair<Layout>(a.tables, a.tables.chroma,
                                  BlendTriplePair(a.tables.fusion + kFusionBrightSegment, ramps,
                                                  dark, bright, own, shift.count, a.rows.gain + x),
                                  m.writeChroma, a.out, offset);
                carried[0] = n1[0], carried[1] = n1[1];
                x += 8;
                continue;
            }
        }
        RunningWeights one = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
        Sse2Group<Layout>(kPlanarSpanBoth, a, x, &one);
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
            StorePair<Layout>(a.tables, a.tables.chroma,
                              ReferencePair(a.tables.fusion + kFusionBrightSegment, own, left,
                                            right, a.rows.gain + x),
                              m.writeChroma, a.out, offset);
        }
    }
    for (; x < a.x1; x += 4) Sse2Group<Layout>(kPlanarSpanReference, a, x, nullptr);
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

// --- Normal mode --------------------------------------------------------------------------------

// What one normal-mode span reads besides its weights.
struct NormalArgs {
    int32_t x0, x1;
    const PlanarRowIn &ref;
    const uint8_t *warp;
    const SpanTables &tables;
    const uint8_t *chromaTable2;
    const SpanRows &rows;
    int32_t segmentBase;
    const PlanarRowOut &out;
    // The table of each pair's first chroma byte.
    const uint8_t *ChromaFirst() const { return chromaTable2 ? chromaTable2 : tables.chroma; }
};

// Chroma codes pulled a quarter of the way towards 128.
[[gnu::target("avx2")]] inline __m128i Pulled(__m128i chroma) {
    const __m128i centre = _mm_set1_epi16(128);
    const __m128i scaled = _mm_mullo_epi16(_mm_sub_epi16(chroma, centre), _mm_set1_epi16(6));
    return _mm_add_epi16(_mm_srai_epi16(scaled, 3), centre);
}

// The plain kernel over the one group at x, with the weights it carries.
template <ChromaLayout Layout>
void PlainNormalGroup(PlanarSpanType type, const NormalArgs &a, int32_t x,
                      RunningWeights *weights) {
    const int32_t offset = x - a.x0;
    FuseSpanNormalPlanar_C(Layout, type, x, x + 4, RowAt<Layout>(a.ref, offset),
                           a.warp ? a.warp + 4 * offset : nullptr, a.tables, a.chromaTable2,
                           a.rows, a.segmentBase, weights, RowAt<Layout>(a.out, offset));
}

// The shift of a blend's sum onto the light scale, where lanes take it and, for the bright
// span, where its segment's 32-bit reads (one entry past code 255) stay in the table.
[[gnu::target("avx2")]] inline LightShift NormalShift(const NormalArgs &a, bool bright) {
    const LightShift shift = BlendShift(a.tables);
    const bool segmentInTable =
        !bright || (a.segmentBase >= 0 && a.segmentBase + 257 <= kFusionTableEntries);
    return {shift.inLanes && segmentInTable, shift.count};
}

template <ChromaLayout Layout, bool Dark>
[[gnu::target("avx2")]] void NormalOne(const NormalArgs &a, RunningWeights *weights) {
    using namespace normal_avx2;
    const bool pull = !Dark && a.chromaTable2 != nullptr;
    const LightShift shift = NormalShift(a, !Dark);
    const int16_t *weightRow = Dark ? a.rows.weightDark : a.rows.weightBright;
    int32_t carried = weights->w[0];
    for (int32_t x = a.x0; x < a.x1;) {
        const int32_t offset = x - a.x0;
        if (x + 8 <= a.x1 && shift.inLanes) {
            const uint8_t *quads = a.warp + 4 * offset;
            const int32_t n0 =
                GroupWeight(a.tables, weightRow, a.rows, x, a.ref.y[offset + 3], quads);
            const int32_t n1 = GroupWeight(a.tables, weightRow, a.rows, x + 4, a.ref.y[offset + 7],
                                           quads + kWarpGroupStride);
            const int16_t e0 = Dark ? a.rows.mask[x] : 256, e1 = Dark ? a.rows.mask[x + 4] : 256;
            PairIndices i;
            if (InLaneRange(carried) && InLaneRange(n0) && InLaneRange(n1) && MaskInLanes(e0) &&
                MaskInLanes(e1)) {
                PairCodes other = SplitPair(QuadPair(quads));
                if (pull) other.chroma = Pulled(other.chroma);
                if (FuseOnePair<Dark>(a.tables, a.rows, x, SplitPair(LoadPair<Layout>(a.ref, offset)),
                                      other, a.segmentBase, Ramp(carried, n0, n1),
                                      GroupValues(e0, e1), shift.count, &i)) {
                    StorePair<Layout>(a.tables, a.ChromaFirst(), i, a.out.u != nullptr, a.out,
                                      offset);
                    carried = n1;
                    x += 8;
                    continue;
                }
            }
        }
        // A last lone group, or values beyond what the lanes hold: the plain kernel.
        RunningWeights one = {{carried, kFusionWeightOne - carried, weights->w[2]}};
        PlainNormalGroup<Layout>(Dark ? kPlanarSpanDark : kPlanarSpanBright, a, x, &one);
        carried = one.w[0];
        x += 4;
    }
    if (a.x0 < a.x1) {
        weights->w[0] = carried;
        weights->w[1] = kFusionWeightOne - carried;
    }
}

template <ChromaLayout Layout>
[[gnu::target("avx2")]] void NormalBoth(const NormalArgs &a, RunningWeights *weights) {
    using namespace normal_avx2;
    const LightShift shift = NormalShift(a, false);
    int32_t carried[2] = {weights->w[0], weights->w[1]};
    for (int32_t x = a.x0; x < a.x1;) {
        const int32_t offset = x - a.x0;
        if (x + 8 <= a.x1 && shift.inLanes) {
            const uint8_t *quads = a.warp + 4 * offset;
            int32_t n0[2], n1[2];
            TripleWeights(a.tables, a.rows, x, a.ref.y[offset + 3], quads, n0);
            TripleWeights(a.tables, a.rows, x + 4, a.ref.y[offset + 7], quads + kWarpGroupStride,
                          n1);
            const int16_t e0 = a.rows.mask[x], e1 = a.rows.mask[x + 4];
            __m256i ramps[3];
            PairIndices i;
            if (MaskInLanes(e0) && MaskInLanes(e1) && TripleRamps(carried, n0, n1, ramps)) {
                PairCodes bright = SplitPair(QuadPair(quads + kWarpedQuadBytes));
                if (a.chromaTable2) bright.chroma = Pulled(bright.chroma);
                if (FuseTriplePair(a.tables, a.rows, x, SplitPair(LoadPair<Layout>(a.ref, offset)),
                                   SplitPair(QuadPair(quads)), bright, ramps, GroupValues(e0, e1),
                                   shift.count, &i)) {
                    StorePair<Layout>(a.tables, a.ChromaFirst(), i, a.out.u != nullptr, a.out,
                                      offset);
                    carried[0] = n1[0], carried[1] = n1[1];
                    x += 8;
                    continue;
                }
            }
        }
        RunningWeights one = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
        PlainNormalGroup<Layout>(kPlanarSpanBoth, a, x, &one);
        carried[0] = one.w[0], carried[1] = one.w[1];
        x += 4;
    }
    if (a.x0 < a.x1) *weights = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
}

template <ChromaLayout Layout>
[[gnu::target("avx2")]] void NormalReference(const NormalArgs &a) {
    using namespace normal_avx2;
    // The light moves onto the blend scale by a shift of 2 - valueShift either way; lanes take
    // shifts of 0..15.
    const int32_t s = a.tables.valueShift;
    const bool inLanes = s >= 0 && s <= 17;
    const __m128i left = _mm_cvtsi32_si128(inLanes && s <= 2 ? 2 - s : 0);
    const __m128i right = _mm_cvtsi32_si128(inLanes && s > 2 ? s - 2 : 0);
    for (int32_t x = a.x0; x < a.x1;) {
        const int32_t offset = x - a.x0;
        if (x + 8 <= a.x1 && inLanes) {
            const int16_t e0 = a.rows.mask[x], e1 = a.rows.mask[x + 4];
            PairIndices i;
            if (MaskInLanes(e0) && MaskInLanes(e1) &&
                ReferenceOnlyPair(a.tables, a.rows, x, SplitPair(LoadPair<Layout>(a.ref, offset)),
                                  GroupValues(e0, e1), left, right, &i)) {
                StorePair<Layout>(a.tables, a.ChromaFirst(), i, a.out.u != nullptr, a.out,
                                  offset);
                x += 8;
                continue;
            }
        }
        PlainNormalGroup<Layout>(kPlanarSpanReference, a, x, nullptr);
        x += 4;
    }
}

template <ChromaLayout Layout>
void NormalSpan(PlanarSpanType type, const NormalArgs &a, RunningWeights *weights) {
    switch (type) {
        case kPlanarSpanBoth: NormalBoth<Layout>(a, weights); break;
        case kPlanarSpanDark: NormalOne<Layout, true>(a, weights); break;
        case kPlanarSpanBright: NormalOne<Layout, false>(a, weights); break;
        case kPlanarSpanReference: NormalReference<Layout>(a); break;
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

void FuseSpanNormalPlanar_AVX2(ChromaLayout layout, PlanarSpanType type, int32_t x0, int32_t x1,
                               const PlanarRowIn &ref, const uint8_t *warp,
                               const SpanTables &tables, const uint8_t *chromaTable2,
                               const SpanRows &rows, int32_t segmentBase,
                               RunningWeights *weights, const PlanarRowOut &out) {
    const NormalArgs a = {x0, x1, ref, warp, tables, chromaTable2, rows, segmentBase, out};
    switch (layout) {
        case L::kPlanar420: NormalSpan<L::kPlanar420>(type, a, weights); break;
        case L::kSemiPlanar420: NormalSpan<L::kSemiPlanar420>(type, a, weights); break;
        case L::kSemiPlanar422: NormalSpan<L::kSemiPlanar422>(type, a, weights); break;
        default:
            FuseSpanNormalPlanar_C(layout, type, x0, x1, ref, warp, tables, chromaTable2, rows,
                                   segmentBase, weights, out);
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


void FuseSpanNormalPlanar_AVX2(ChromaLayout layout, PlanarSpanType type, int32_t x0, int32_t x1,
                               const PlanarRowIn &ref, const uint8_t *warp,
                               const SpanTables &tables, const uint8_t *chromaTable2,
                               const SpanRows &rows, int32_t segmentBase,
                               RunningWeights *weights, const PlanarRowOut &out) {
    FuseSpanNormalPlanar_C(layout, type, x0, x1, ref, warp, tables, chromaTable2, rows,
                           segmentBase, weights, out);
}

#endif

#include "span_local_curve_avx2_packed422.h"

#include <algorithm>
#include <cstdint>

#include "core/kernel_instructions.h"
#include "fusion/span_local_curve_avx2_steps.h"
#include "fusion/span_local_curve_sse2_packed422.h"

#if defined(TONEFOLD_HAVE_AVX2_KERNELS)

namespace {

using namespace local_curve_avx2;

struct Inputs {
    const uint16_t *curve, *reciprocals, *light;
    const int16_t *weightSecondary, *weightReference;
    const int16_t *lumaSecondary, *lumaReference;
    const int16_t *uSecondary, *vSecondary, *uReference, *vReference;
    const uint16_t *gain;
    const uint8_t *tone, *chroma;
};

Inputs Gather(MapExposure secondary, const SpanTables &t, const SpanRows &r) {
    return {t.fusion + kFusionWeightCurve,
            t.fusion + kFusionReciprocals,
            t.fusion + kFusionBrightSegment,
            secondary == kMapDark ? r.weightDark : r.weightBright,
            r.weightReference,
            r.mapLines[kMapLumaReference + secondary],
            r.mapLines[kMapLumaReference],
            r.mapLines[kMapU + secondary],
            r.mapLines[kMapV + secondary],
            r.mapLines[kMapU + kMapReference],
            r.mapLines[kMapV + kMapReference],
            r.gain,
            t.tone,
            t.chroma};
}

// The normalised weight of the secondary exposure for the group at x.
inline int32_t GroupWeight(const Inputs &in, int32_t x, const uint8_t *ref, const uint8_t *quad) {
    const int32_t rawC = RawWeight(in.curve, quad[6], in.weightSecondary[x]);
    const int32_t rawR = RawWeight(in.curve, ref[6], in.weightReference[x]);
    return rawC * in.reciprocals[std::clamp(rawC + rawR, 0, kFusionLargestWeightSum)];
}

// Two groups at x and x + 4 whose carried weight p and own weights n0, n1 are in lane range.
[[gnu::target("avx2")]] void FusePair(const Inputs &in, int32_t x, const uint8_t *ref,
                                      const uint8_t *warp, int32_t p, int32_t n0, int32_t n1,
                                      __m128i shift, uint8_t *out) {
    const PairCodes own =
        MovedPair(SplitPair(_mm_loadu_si128(reinterpret_cast<const __m128i *>(ref))),
                  in.lumaReference, in.uReference, in.vReference, x);
    const PairCodes other = MovedPair(SplitPair(QuadPair(warp)), in.lumaSecondary,
                                      in.uSecondary, in.vSecondary, x);
    const PairIndices i =
        BlendOnePair(in.light, Ramp(p, n0, n1), other, own, shift, in.gain + x);
    WritePackedPair(in.tone, in.chroma, i, out);
}

}  // namespace

[[gnu::target("avx2")]] void FuseSpanLocalCurveOnePacked422_AVX2(
    int32_t x0, int32_t x1, const uint8_t *reference, const uint8_t *warp, MapExposure secondary,
    const SpanTables &tables, const SpanRows &rows, RunningWeights *weights, uint8_t *out) {
    if (x0 >= x1) return;
    const Inputs in = Gather(secondary, tables, rows);
    const int32_t lightShift = tables.valueShift + 13;
    const bool shiftInLanes = lightShift >= 0 && lightShift < 32;
    const __m128i shift = _mm_cvtsi32_si128(shiftInLanes ? lightShift : 0);
    int32_t carried = weights->w[0];
    int32_t x = x0;
    while (x < x1) {
        if (x + 8 <= x1 && shiftInLanes) {
            const int32_t n0 = GroupWeight(in, x, reference, warp);
            const int32_t n1 = GroupWeight(in, x + 4, reference + 8, warp + kWarpGroupStride);
            if (InLaneRange(carried) && InLaneRange(n0) && InLaneRange(n1)) {
                FusePair(in, x, reference, warp, carried, n0, n1, shift, out);
                carried = n1;
                x += 8, reference += 16, warp += 2 * kWarpGroupStride, out += 16;
                continue;
            }
        }
        // A last lone group, or weights beyond what the lanes hold: the SSE2 kernel.
        RunningWeights one = {{carried, kFusionWeightOne - carried, weights->w[2]}};
        FuseSpanLocalCurveOnePacked422_SSE2(x, std::min(x + 4, x1), reference, warp, secondary,
                                            tables, rows, &one, out);
        carried = one.w[0];
        x += 4, reference += 8, warp += kWarpGroupStride, out += 8;
    }
    weights->w[0] = carried;
    weights->w[1] = kFusionWeightOne - carried;
}

namespace {

// Two groups of three exposures whose dark and bright weights, and the reference's share
// left by them, are all in 0..1.0 in every lane of the ramps (checked here: false leaves
// out untouched).
[[gnu::target("avx2")]] bool FuseTriple(const SpanTables &t, const SpanRows &r, int32_t x,
                                        const uint8_t *ref, const uint8_t *warp,
                                        const int32_t p[2], const int32_t n0[2],
                                        const int32_t n1[2], __m128i shift, uint8_t *out) {
    __m256i ramps[3];
    if (!TripleRamps(p, n0, n1, ramps)) return false;
    const PairCodes dark = MovedPair(SplitPair(QuadPair(warp)), r.mapLines[kMapLumaDark],
                                     r.mapLines[kMapU + kMapDark], r.mapLines[kMapV + kMapDark], x);
    const PairCodes bright = MovedPair(SplitPair(QuadPair(warp + kWarpedQuadBytes)),
                                       r.mapLines[kMapLumaBright], r.mapLines[kMapU + kMapBright],
                                       r.mapLines[kMapV + kMapBright], x);
    const PairCodes own = MovedPair(
        SplitPair(_mm_loadu_si128(reinterpret_cast<const __m128i *>(ref))),
        r.mapLines[kMapLumaReference], r.mapLines[kMapU + kMapReference],
        r.mapLines[kMapV + kMapReference], x);
    const PairIndices i = BlendTriplePair(t.fusion + kFusionBrightSegment, ramps, dark, bright,
                                          own, shift, r.gain + x);
    WritePackedPair(t.tone, t.chroma, i, out);
    return true;
}

// The normalised dark and bright weights of the group at x.
inline void TripleWeights(const SpanTables &t, const SpanRows &r, int32_t x, const uint8_t *ref,
                          const uint8_t *warp, int32_t n[2]) {
    const uint16_t *curve = t.fusion + kFusionWeightCurve;
    const int32_t rawD = RawWeight(curve, warp[6], r.weightDark[x]);
    const int32_t rawB = RawWeight(curve, warp[kWarpedQuadBytes + 6], r.weightBright[x]);
    const int32_t rawR = RawWeight(curve, ref[6], r.weightReference[x]);
    const int32_t k =
        t.fusion[kFusionReciprocals + std::clamp(rawD + rawB + rawR, 0, kFusionLargestWeightSum)];
    n[0] = rawD * k;
    n[1] = rawB * k;
}

}  // namespace

[[gnu::target("avx2")]] void FuseSpanLocalCurveBothPacked422_AVX2(
    int32_t x0, int32_t x1, const uint8_t *reference, const uint8_t *warp,
    const SpanTables &tables, const SpanRows &rows, RunningWeights *weights, uint8_t *out) {
    if (x0 >= x1) return;
    const int32_t lightShift = tables.valueShift + 13;
    const bool shiftInLanes = lightShift >= 0 && lightShift < 32;
    const __m128i shift = _mm_cvtsi32_si128(shiftInLanes ? lightShift : 0);
    int32_t carried[2] = {weights->w[0], weights->w[1]};
    int32_t x = x0;
    while (x < x1) {
        if (x + 8 <= x1 && shiftInLanes) {
            int32_t n0[2], n1[2];
            TripleWeights(tables, rows, x, reference, warp, n0);
            TripleWeights(tables, rows, x + 4, reference + 8, warp + kWarpGroupStride, n1);
            if (FuseTriple(tables, rows, x, reference, warp, carried, n0, n1, shift, out)) {
                carried[0] = n1[0], carried[1] = n1[1];
                x += 8, reference += 16, warp += 2 * kWarpGroupStride, out += 16;
                continue;
            }
        }
        RunningWeights one = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
        FuseSpanLocalCurveBothPacked422_SSE2(x, std::min(x + 4, x1), reference, warp, tables,
                                             rows, &one, out);
        carried[0] = one.w[0], carried[1] = one.w[1];
        x += 4, reference += 8, warp += kWarpGroupStride, out += 8;
    }
    *weights = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
}

[[gnu::target("avx2")]] void FuseSpanLocalCurveRefOnlyPacked422_AVX2(
    int32_t x0, int32_t x1, const uint8_t *reference, const SpanTables &tables,
    const SpanRows &rows, uint8_t *out) {
    // The reference's light moves onto the blend scale by a shift of 2 - valueShift either
    // way; lanes take shifts of 0..15 (light then stays under 2^18).
    const int32_t s = tables.valueShift;
    const bool inLanes = s >= 0 && s <= 17;
    const __m128i left = _mm_cvtsi32_si128(inLanes && s <= 2 ? 2 - s : 0);
    const __m128i right = _mm_cvtsi32_si128(inLanes && s > 2 ? s - 2 : 0);
    const uint16_t *curve = tables.fusion + kFusionBrightSegment;
    int32_t x = x0;
    if (inLanes) {
        for (; x + 8 <= x1; x += 8, reference += 16, out += 16) {
            const PairCodes own =
                MovedPair(SplitPair(_mm_loadu_si128(reinterpret_cast<const __m128i *>(reference))),
                          rows.mapLines[kMapLumaReference], rows.mapLines[kMapU + kMapReference],
                          rows.mapLines[kMapV + kMapReference], x);
            const PairIndices i = ReferencePair(curve, own, left, right, rows.gain + x);
            WritePackedPair(tables.tone, tables.chroma, i, out);
        }
    }
    FuseSpanLocalCurveRefOnlyPacked422_SSE2(x, x1, reference, tables, rows, out);
}

#else

void FuseSpanLocalCurveBothPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const uint8_t *warp, const SpanTables &tables,
                                          const SpanRows &rows, RunningWeights *weights,
                                          uint8_t *out) {
    FuseSpanLocalCurveBothPacked422_SSE2(x0, x1, reference, warp, tables, rows, weights, out);
}

void FuseSpanLocalCurveRefOnlyPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                             const SpanTables &tables, const SpanRows &rows,
                                             uint8_t *out) {
    FuseSpanLocalCurveRefOnlyPacked422_SSE2(x0, x1, reference, tables, rows, out);
}

void FuseSpanLocalCurveOnePacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                         const uint8_t *warp, MapExposure secondary,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, uint8_t *out) {
    FuseSpanLocalCurveOnePacked422_SSE2(x0, x1, reference, warp, secondary, tables, rows, weights,
                                        out);
}

#endif

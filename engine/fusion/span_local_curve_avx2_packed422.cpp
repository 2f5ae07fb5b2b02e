#include "span_local_curve_avx2_packed422.h"

#include <algorithm>
#include <cstdint>

#include "fusion/span_local_curve_fast_packed422.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

namespace {

// Weight of one exposure before normalisation, as the plain kernel forms it.
inline int32_t RawWeight(const uint16_t *curve, uint8_t code3, int16_t blockWeight) {
    return (curve[code3] * blockWeight + 255) >> 8;
}

// A weight the vector lanes take exactly: with every weight in 0..1.0 each blend is a sum of
// two non-negative terms under 2^31, so 32-bit lanes give the 64-bit sums of the reference.
inline bool InLaneRange(int32_t w) { return static_cast<uint32_t>(w) <= kFusionWeightOne; }

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

// Eight 16-bit lanes: code + offset held to 0..255 (a saturating add keeps the sign of sums
// beyond 16 bits, so the clamp sees the same side as the 32-bit sum of the reference).
[[gnu::target("avx2")]] inline __m128i MovedCodes(__m128i codes, __m128i offsets) {
    const __m128i sum = _mm_adds_epi16(codes, offsets);
    return _mm_min_epi16(_mm_max_epi16(sum, _mm_setzero_si128()), _mm_set1_epi16(255));
}

// (light * gain) >> 12 held to 0..4095 for non-negative light below 2^31 and 16-bit gains.
// Light is first held to 2^24, where any non-zero gain already reaches 4095, so each product
// stays under 2^40 and its shifted value fits a lane.
[[gnu::target("avx2")]] inline __m256i ToneIndex(__m256i light, __m256i gain) {
    const __m256i held = _mm256_min_epi32(light, _mm256_set1_epi32(1 << 24));
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(held, gain), 12);
    const __m256i odd = _mm256_srli_epi64(
        _mm256_mul_epu32(_mm256_srli_epi64(held, 32), _mm256_srli_epi64(gain, 32)), 12);
    const __m256i both = _mm256_blend_epi32(even, _mm256_slli_epi64(odd, 32), 0xAA);
    return _mm256_min_epi32(both, _mm256_set1_epi32(4095));
}

// The codes of two groups of one exposure: luma in lanes 0-7 and chroma (U0 V0 U1 V1 twice).
struct PairCodes {
    __m128i luma, chroma;
};

[[gnu::target("avx2")]] inline PairCodes SplitPair(__m128i bytes) {
    return {_mm_and_si128(bytes, _mm_set1_epi16(0xFF)), _mm_srli_epi16(bytes, 8)};
}

[[gnu::target("avx2")]] inline __m128i QuadPair(const uint8_t *quad) {
    return _mm_unpacklo_epi64(
        _mm_loadl_epi64(reinterpret_cast<const __m128i *>(quad)),
        _mm_loadl_epi64(reinterpret_cast<const __m128i *>(quad + kWarpGroupStride)));
}

// Moves of one exposure's two groups, read at each group start: luma from its offset row
// (offset + 256; a move below 16 bits is held at -32768, which puts every code at 0 as the
// true move does), chroma from its U and V rows.
[[gnu::target("avx2")]] inline PairCodes MovedPair(PairCodes codes, const int16_t *luma,
                                                   const int16_t *u, const int16_t *v,
                                                   int32_t x) {
    auto row = [x](const int16_t *line) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(line + x));
    };
    const __m128i moves = _mm_subs_epi16(row(luma), _mm_set1_epi16(256));
    const __m128i lumaMoves = _mm_shufflehi_epi16(_mm_shufflelo_epi16(moves, 0), 0);
    const __m128i pairs = _mm_unpacklo_epi32(_mm_unpacklo_epi16(row(u), row(v)),
                                             _mm_unpackhi_epi16(row(u), row(v)));
    const __m128i chromaMoves = _mm_shuffle_epi32(pairs, _MM_SHUFFLE(1, 1, 0, 0));
    return {MovedCodes(codes.luma, lumaMoves), MovedCodes(codes.chroma, chromaMoves)};
}

// The curve's light at eight moved luma codes (the 32-bit read of entry 255 ends inside the
// next segment of the fusion table).
[[gnu::target("avx2")]] inline __m256i Light(const uint16_t *curve, __m128i codes) {
    return _mm256_and_si256(_mm256_i32gather_epi32(reinterpret_cast<const int *>(curve),
                                                   _mm256_cvtepu16_epi32(codes), 2),
                            _mm256_set1_epi32(0xFFFF));
}

// Ramps of two groups: from p to n0 over the first, from n0 to n1 over the second.
[[gnu::target("avx2")]] inline __m256i Ramp(int32_t p, int32_t n0, int32_t n1) {
    const __m256i from = _mm256_setr_epi32(p, p, p, p, n0, n0, n0, n0);
    const __m256i to = _mm256_setr_epi32(n0, n0, n0, n0, n1, n1, n1, n1);
    return _mm256_srav_epi32(
        _mm256_add_epi32(
            _mm256_add_epi32(_mm256_mullo_epi32(from, _mm256_setr_epi32(3, 1, 1, 0, 3, 1, 1, 0)),
                             _mm256_mullo_epi32(to, _mm256_setr_epi32(1, 1, 3, 1, 1, 1, 3, 1))),
            _mm256_setr_epi32(2, 0, 2, 0, 2, 0, 2, 0)),
        _mm256_setr_epi32(2, 1, 2, 0, 2, 1, 2, 0));
}

// The chroma weights of two groups from their ramps: the ramp's middle for the first pair,
// the group's own weight for the second.
[[gnu::target("avx2")]] inline __m256i ChromaWeights(__m256i ramp) {
    return _mm256_shuffle_epi32(ramp, _MM_SHUFFLE(3, 3, 1, 1));
}

// Writes two groups from the tone indices of their light and their chroma indices.
[[gnu::target("avx2")]] inline void WritePair(const uint8_t *tone, const uint8_t *chroma,
                                              __m256i toneIndex, __m256i chromaIndex,
                                              uint8_t *out) {
    alignas(32) int32_t t[8], c[8];
    _mm256_store_si256(reinterpret_cast<__m256i *>(t), toneIndex);
    _mm256_store_si256(reinterpret_cast<__m256i *>(c), chromaIndex);
    for (int i = 0; i < 8; ++i) {
        out[2 * i] = tone[t[i]];
        out[2 * i + 1] = chroma[c[i]];
    }
}

[[gnu::target("avx2")]] inline __m256i Gains(const uint16_t *gain) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(gain)));
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
    const __m256i ramp = Ramp(p, n0, n1);
    const __m256i one = _mm256_set1_epi32(kFusionWeightOne);
    const __m256i sum = _mm256_add_epi32(
        _mm256_mullo_epi32(ramp, Light(in.light, other.luma)),
        _mm256_mullo_epi32(_mm256_sub_epi32(one, ramp), Light(in.light, own.luma)));
    const __m256i chromaWeight = ChromaWeights(ramp);
    const __m256i blend = _mm256_add_epi32(
        _mm256_mullo_epi32(chromaWeight, _mm256_cvtepu16_epi32(other.chroma)),
        _mm256_mullo_epi32(_mm256_sub_epi32(one, chromaWeight), _mm256_cvtepu16_epi32(own.chroma)));
    WritePair(in.tone, in.chroma, ToneIndex(_mm256_srl_epi32(sum, shift), Gains(in.gain + x)),
              _mm256_min_epi32(_mm256_srai_epi32(blend, 11), _mm256_set1_epi32(4095)), out);
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
        // A last lone group, or weights beyond what the lanes hold: the folded kernel.
        RunningWeights one = {{carried, kFusionWeightOne - carried, weights->w[2]}};
        FuseSpanLocalCurveOnePacked422_Fast(x, std::min(x + 4, x1), reference, warp, secondary,
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
    const __m256i rampD = Ramp(p[0], n0[0], n1[0]);
    const __m256i rampB = Ramp(p[1], n0[1], n1[1]);
    const __m256i one = _mm256_set1_epi32(kFusionWeightOne);
    const __m256i rampR = _mm256_sub_epi32(_mm256_sub_epi32(one, rampD), rampB);
    const __m256i below = _mm256_or_si256(_mm256_or_si256(rampD, rampB), rampR);
    const __m256i above = _mm256_or_si256(
        _mm256_or_si256(_mm256_cmpgt_epi32(rampD, one), _mm256_cmpgt_epi32(rampB, one)),
        _mm256_cmpgt_epi32(rampR, one));
    if (_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(below, above))) != 0)
        return false;
    const PairCodes dark = MovedPair(SplitPair(QuadPair(warp)), r.mapLines[kMapLumaDark],
                                     r.mapLines[kMapU + kMapDark], r.mapLines[kMapV + kMapDark], x);
    const PairCodes bright = MovedPair(SplitPair(QuadPair(warp + kWarpedQuadBytes)),
                                       r.mapLines[kMapLumaBright], r.mapLines[kMapU + kMapBright],
                                       r.mapLines[kMapV + kMapBright], x);
    const PairCodes own = MovedPair(
        SplitPair(_mm_loadu_si128(reinterpret_cast<const __m128i *>(ref))),
        r.mapLines[kMapLumaReference], r.mapLines[kMapU + kMapReference],
        r.mapLines[kMapV + kMapReference], x);
    const uint16_t *curve = t.fusion + kFusionBrightSegment;
    const __m256i sum = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(rampD, Light(curve, dark.luma)),
                         _mm256_mullo_epi32(rampB, Light(curve, bright.luma))),
        _mm256_mullo_epi32(rampR, Light(curve, own.luma)));
    const __m256i wD = ChromaWeights(rampD), wB = ChromaWeights(rampB);
    const __m256i wR = _mm256_sub_epi32(_mm256_sub_epi32(one, wD), wB);
    const __m256i blend = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(wD, _mm256_cvtepu16_epi32(dark.chroma)),
                         _mm256_mullo_epi32(wB, _mm256_cvtepu16_epi32(bright.chroma))),
        _mm256_mullo_epi32(wR, _mm256_cvtepu16_epi32(own.chroma)));
    WritePair(t.tone, t.chroma, ToneIndex(_mm256_srl_epi32(sum, shift), Gains(r.gain + x)),
              _mm256_min_epi32(_mm256_srai_epi32(blend, 11), _mm256_set1_epi32(4095)), out);
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
        FuseSpanLocalCurveBothPacked422_Fast(x, std::min(x + 4, x1), reference, warp, tables,
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
            const __m256i light = _mm256_srl_epi32(_mm256_sll_epi32(Light(curve, own.luma), left),
                                                   right);
            WritePair(tables.tone, tables.chroma, ToneIndex(light, Gains(rows.gain + x)),
                      _mm256_slli_epi32(_mm256_cvtepu16_epi32(own.chroma), 4), out);
        }
    }
    FuseSpanLocalCurveRefOnlyPacked422_Fast(x, x1, reference, tables, rows, out);
}

#else

void FuseSpanLocalCurveBothPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const uint8_t *warp, const SpanTables &tables,
                                          const SpanRows &rows, RunningWeights *weights,
                                          uint8_t *out) {
    FuseSpanLocalCurveBothPacked422_Fast(x0, x1, reference, warp, tables, rows, weights, out);
}

void FuseSpanLocalCurveRefOnlyPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                             const SpanTables &tables, const SpanRows &rows,
                                             uint8_t *out) {
    FuseSpanLocalCurveRefOnlyPacked422_Fast(x0, x1, reference, tables, rows, out);
}

void FuseSpanLocalCurveOnePacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                         const uint8_t *warp, MapExposure secondary,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, uint8_t *out) {
    FuseSpanLocalCurveOnePacked422_Fast(x0, x1, reference, warp, secondary, tables, rows, weights,
                                        out);
}

#endif

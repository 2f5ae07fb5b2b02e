#include "span_normal_avx2_packed422.h"

#include <algorithm>

#include "fusion/span_local_curve_avx2_steps.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

namespace {

using namespace local_curve_avx2;

// Eight values of an int16 row from x in 32-bit lanes.
[[gnu::target("avx2")]] inline __m256i Row16(const int16_t *row, int32_t x) {
    return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x)));
}

[[gnu::target("avx2")]] inline __m256i Held(__m256i v, int32_t low, int32_t high) {
    return _mm256_min_epi32(_mm256_max_epi32(v, _mm256_set1_epi32(low)), _mm256_set1_epi32(high));
}

[[gnu::target("avx2")]] inline __m256i Below(int32_t bound, __m256i v) {
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(bound), v);
}

[[gnu::target("avx2")]] inline __m256i Above(__m256i v, int32_t bound) {
    return _mm256_cmpgt_epi32(v, _mm256_set1_epi32(bound));
}

[[gnu::target("avx2")]] inline __m256i Select(__m256i no, __m256i yes, __m256i mask) {
    return _mm256_blendv_epi8(no, yes, mask);
}

// Fusion table entries at eight codes of 0..255 (the 32-bit read of entry 255 ends inside the
// next segment of the table).
[[gnu::target("avx2")]] inline __m256i Entries(const uint16_t *segment, __m256i codes) {
    return _mm256_and_si256(
        _mm256_i32gather_epi32(reinterpret_cast<const int *>(segment), codes, 2),
        _mm256_set1_epi32(0xFFFF));
}

// Four times the gamma-expanded value at eight codes of 0..255, read as aligned pairs of
// entries so that no read passes the table's 256 entries.
[[gnu::target("avx2")]] inline __m256i Expanded(const uint16_t *gamma, __m256i codes) {
    const __m256i pairs = _mm256_i32gather_epi32(reinterpret_cast<const int *>(gamma),
                                                 _mm256_srli_epi32(codes, 1), 4);
    const __m256i odd = _mm256_slli_epi32(_mm256_and_si256(codes, _mm256_set1_epi32(1)), 4);
    return _mm256_slli_epi32(
        _mm256_and_si256(_mm256_srlv_epi32(pairs, odd), _mm256_set1_epi32(0xFFFF)), 2);
}

// The dark exposure's light: below code 33 the shadow-corrected value, ramped into the table
// value between codes 16 and 32.
[[gnu::target("avx2")]] inline __m256i DarkLights(const SpanTables &t, __m256i c,
                                                  __m256i shadow) {
    const __m256i table = Entries(t.fusion + kFusionDarkSegment, c);
    const __m256i v = Expanded(t.gammaExpand, Held(_mm256_add_epi32(c, shadow), 0, 255));
    const __m256i ramp = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(v, _mm256_sub_epi32(_mm256_set1_epi32(32), c)),
                         _mm256_mullo_epi32(_mm256_sub_epi32(c, _mm256_set1_epi32(16)), table)),
        4);
    return Select(Select(table, ramp, Below(33, c)), v, Below(16, c));
}

// The reference's light with highlight recovery scaled by the mask value e of 0..256 (256
// recovers in full, as the bright kernel does without the mask).
[[gnu::target("avx2")]] inline __m256i ReferenceLights(const SpanTables &t, __m256i c, __m256i e,
                                                       __m256i highlight) {
    const __m256i h = Entries(t.fusion + kFusionReferenceSegment, c);
    const __m256i g = Expanded(t.gammaExpand, Held(_mm256_add_epi32(c, highlight), 0, 255));
    const __m256i ramped = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(g, _mm256_sub_epi32(c, _mm256_set1_epi32(192))),
                         _mm256_mullo_epi32(_mm256_sub_epi32(_mm256_set1_epi32(224), c), h)),
        5);
    const __m256i corrected = Select(g, ramped, Below(224, c));
    const __m256i mixed = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(e, corrected),
                         _mm256_mullo_epi32(_mm256_sub_epi32(_mm256_set1_epi32(256), e), h)),
        8);
    return Select(h, mixed, _mm256_and_si256(Above(e, 0), Above(c, 191)));
}

// The reference's chroma (U0 V0 U1 V1 of two groups) after highlight recovery: each pair is
// corrected from the U and V rows at its first pixel when the mask is set and that pixel's
// luma is above 192.
[[gnu::target("avx2")]] inline __m256i RecoveredChroma(__m256i chroma, __m256i luma, __m256i e,
                                                       const SpanRows &r, int32_t x) {
    const __m256i first = _mm256_setr_epi32(0, 0, 2, 2, 4, 4, 6, 6);
    const __m256i y = _mm256_permutevar8x32_epi32(luma, first);
    const __m256i d =
        _mm256_blend_epi32(_mm256_permutevar8x32_epi32(Row16(r.highlightU, x), first),
                           _mm256_permutevar8x32_epi32(Row16(r.highlightV, x), first), 0xAA);
    const __m256i scaled =
        _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_sub_epi32(y, _mm256_set1_epi32(192)), d), 5);
    const __m256i moved = Held(_mm256_add_epi32(chroma, Select(scaled, d, Above(y, 224))), 0, 255);
    return Select(chroma, moved, _mm256_and_si256(Above(e, 0), Above(y, 192)));
}

// Lights the blend lanes take exactly: with each below 2^16 and the weights of a pixel
// summing to 1.0, every sum stays under 2^31.
[[gnu::target("avx2")]] inline bool SixteenBit(__m256i lights) {
    return _mm256_testz_si256(lights, _mm256_set1_epi32(static_cast<int32_t>(0xFFFF0000u)));
}

// A mask value whose recovery the lanes compute exactly (at most 0 leaves the reference).
inline bool MaskInLanes(int16_t e) { return e <= 256; }

[[gnu::target("avx2")]] inline __m256i GroupValues(int32_t v0, int32_t v1) {
    return _mm256_setr_epi32(v0, v0, v0, v0, v1, v1, v1, v1);
}

[[gnu::target("avx2")]] inline __m256i Wide(__m128i codes) { return _mm256_cvtepu16_epi32(codes); }

[[gnu::target("avx2")]] inline __m128i ReferencePair(const uint8_t *ref) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(ref));
}

// The normalised weight of the secondary for the group at x.
inline int32_t GroupWeight(const SpanTables &t, const int16_t *weightRow, const SpanRows &r,
                           int32_t x, const uint8_t *ref, const uint8_t *quad) {
    const uint16_t *curve = t.fusion + kFusionWeightCurve;
    const int32_t rawC = RawWeight(curve, quad[6], weightRow[x]);
    const int32_t rawR = RawWeight(curve, ref[6], r.weightReference[x]);
    return rawC * t.fusion[kFusionReciprocals + std::clamp(rawC + rawR, 0, kFusionLargestWeightSum)];
}

// Two groups of one secondary (the dark exposure with shadow recovery, or the bright one read
// at segmentBase) and the reference; false, leaving out untouched, where a light is beyond 16
// bits.
template <bool Dark>
[[gnu::target("avx2")]] bool FuseOnePair(const SpanTables &t, const SpanRows &r, int32_t x,
                                         const uint8_t *ref, const uint8_t *warp,
                                         int32_t segmentBase, __m256i ramp, __m256i e,
                                         __m128i shift, uint8_t *out) {
    const PairCodes own = SplitPair(ReferencePair(ref));
    const PairCodes other = SplitPair(QuadPair(warp));
    const __m256i cR = Wide(own.luma), cC = Wide(other.luma);
    const __m256i lightC = Dark ? DarkLights(t, cC, Row16(r.shadow, x))
                                : Entries(t.fusion + segmentBase, cC);
    const __m256i lightR = ReferenceLights(t, cR, e, Row16(r.highlightLuma, x));
    if (!SixteenBit(_mm256_or_si256(lightC, lightR))) return false;
    const __m256i one = _mm256_set1_epi32(kFusionWeightOne);
    const __m256i sum = _mm256_add_epi32(_mm256_mullo_epi32(ramp, lightC),
                                         _mm256_mullo_epi32(_mm256_sub_epi32(one, ramp), lightR));
    const __m256i chromaR =
        Dark ? RecoveredChroma(Wide(own.chroma), cR, e, r, x) : Wide(own.chroma);
    const __m256i w = ChromaWeights(ramp);
    const __m256i blend =
        _mm256_add_epi32(_mm256_mullo_epi32(w, Wide(other.chroma)),
                         _mm256_mullo_epi32(_mm256_sub_epi32(one, w), chromaR));
    WritePackedPair(t.tone, t.chroma,
                    {ToneIndex(_mm256_srl_epi32(sum, shift), Gains(r.gain + x)),
                     ChromaTableIndex(blend)},
                    out);
    return true;
}

template <bool Dark>
[[gnu::target("avx2")]] void FuseOne(int32_t x0, int32_t x1, const uint8_t *ref,
                                     const uint8_t *warp, const SpanTables &t, const SpanRows &r,
                                     int32_t segmentBase, RunningWeights *weights, uint8_t *out) {
    if (x0 >= x1) return;
    const int32_t lightShift = t.valueShift + 13;
    // The bright segment's 32-bit reads end one entry past code 255.
    const bool inLanes = lightShift >= 0 && lightShift < 32 &&
                         (Dark || (segmentBase >= 0 && segmentBase + 257 <= kFusionTableEntries));
    const __m128i shift = _mm_cvtsi32_si128(inLanes ? lightShift : 0);
    const int16_t *weightRow = Dark ? r.weightDark : r.weightBright;
    int32_t carried = weights->w[0];
    int32_t x = x0;
    while (x < x1) {
        if (x + 8 <= x1 && inLanes) {
            const int32_t n0 = GroupWeight(t, weightRow, r, x, ref, warp);
            const int32_t n1 = GroupWeight(t, weightRow, r, x + 4, ref + 8, warp + kWarpGroupStride);
            const int16_t e0 = Dark ? r.mask[x] : 256, e1 = Dark ? r.mask[x + 4] : 256;
            if (InLaneRange(carried) && InLaneRange(n0) && InLaneRange(n1) && MaskInLanes(e0) &&
                MaskInLanes(e1) &&
                FuseOnePair<Dark>(t, r, x, ref, warp, segmentBase, Ramp(carried, n0, n1),
                                  GroupValues(e0, e1), shift, out)) {
                carried = n1;
                x += 8, ref += 16, warp += 2 * kWarpGroupStride, out += 16;
                continue;
            }
        }
        // A last lone group, or values beyond what the lanes hold: the plain kernel.
        RunningWeights one = {{carried, kFusionWeightOne - carried, weights->w[2]}};
        if (Dark)
            FuseSpanDarkPacked422_C(x, x + 4, ref, warp, t, r, &one, out);
        else
            FuseSpanBrightPacked422_C(x, x + 4, ref, warp, t, r, segmentBase, &one, out);
        carried = one.w[0];
        x += 4, ref += 8, warp += kWarpGroupStride, out += 8;
    }
    weights->w[0] = carried;
    weights->w[1] = kFusionWeightOne - carried;
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

// Two groups of three exposures over ramps that TripleRamps accepted; false, leaving out
// untouched, where a light is beyond 16 bits.
[[gnu::target("avx2")]] bool FuseTriple(const SpanTables &t, const SpanRows &r, int32_t x,
                                        const uint8_t *ref, const uint8_t *warp,
                                        const __m256i ramps[3], __m256i e, __m128i shift,
                                        uint8_t *out) {
    const PairCodes own = SplitPair(ReferencePair(ref));
    const PairCodes dark = SplitPair(QuadPair(warp));
    const PairCodes bright = SplitPair(QuadPair(warp + kWarpedQuadBytes));
    const __m256i cR = Wide(own.luma);
    const __m256i lightD = DarkLights(t, Wide(dark.luma), Row16(r.shadow, x));
    const __m256i lightB = Entries(t.fusion + kFusionBrightSegment, Wide(bright.luma));
    const __m256i lightR = ReferenceLights(t, cR, e, Row16(r.highlightLuma, x));
    if (!SixteenBit(_mm256_or_si256(_mm256_or_si256(lightD, lightB), lightR))) return false;
    const __m256i sum = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(ramps[0], lightD),
                         _mm256_mullo_epi32(ramps[1], lightB)),
        _mm256_mullo_epi32(ramps[2], lightR));
    const __m256i one = _mm256_set1_epi32(kFusionWeightOne);
    const __m256i wD = ChromaWeights(ramps[0]), wB = ChromaWeights(ramps[1]);
    const __m256i wR = _mm256_sub_epi32(_mm256_sub_epi32(one, wD), wB);
    const __m256i blend = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(wD, Wide(dark.chroma)),
                         _mm256_mullo_epi32(wB, Wide(bright.chroma))),
        _mm256_mullo_epi32(wR, RecoveredChroma(Wide(own.chroma), cR, e, r, x)));
    WritePackedPair(t.tone, t.chroma,
                    {ToneIndex(_mm256_srl_epi32(sum, shift), Gains(r.gain + x)),
                     ChromaTableIndex(blend)},
                    out);
    return true;
}

}  // namespace

[[gnu::target("avx2")]] void FuseSpanBothPacked422_AVX2(int32_t x0, int32_t x1,
                                                        const uint8_t *reference,
                                                        const uint8_t *warp,
                                                        const SpanTables &tables,
                                                        const SpanRows &rows,
                                                        RunningWeights *weights, uint8_t *out) {
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
            const int16_t e0 = rows.mask[x], e1 = rows.mask[x + 4];
            __m256i ramps[3];
            if (MaskInLanes(e0) && MaskInLanes(e1) && TripleRamps(carried, n0, n1, ramps) &&
                FuseTriple(tables, rows, x, reference, warp, ramps, GroupValues(e0, e1), shift,
                           out)) {
                carried[0] = n1[0], carried[1] = n1[1];
                x += 8, reference += 16, warp += 2 * kWarpGroupStride, out += 16;
                continue;
            }
        }
        RunningWeights one = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
        FuseSpanBothPacked422_C(x, x + 4, reference, warp, tables, rows, &one, out);
        carried[0] = one.w[0], carried[1] = one.w[1];
        x += 4, reference += 8, warp += kWarpGroupStride, out += 8;
    }
    *weights = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
}

void FuseSpanDarkPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                const uint8_t *warp, const SpanTables &tables,
                                const SpanRows &rows, RunningWeights *weights, uint8_t *out) {
    FuseOne<true>(x0, x1, reference, warp, tables, rows, kFusionBrightSegment, weights, out);
}

void FuseSpanBrightPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                  const uint8_t *warp, const SpanTables &tables,
                                  const SpanRows &rows, int32_t segmentBase,
                                  RunningWeights *weights, uint8_t *out) {
    FuseOne<false>(x0, x1, reference, warp, tables, rows, segmentBase, weights, out);
}

[[gnu::target("avx2")]] void FuseSpanRefOnlyPacked422_AVX2(int32_t x0, int32_t x1,
                                                           const uint8_t *reference,
                                                           const SpanTables &tables,
                                                           const SpanRows &rows, uint8_t *out) {
    // The light moves onto the blend scale by a shift of 2 - valueShift either way; lanes take
    // shifts of 0..15 (light then stays under 2^20).
    const int32_t s = tables.valueShift;
    const bool inLanes = s >= 0 && s <= 17;
    const __m128i left = _mm_cvtsi32_si128(inLanes && s <= 2 ? 2 - s : 0);
    const __m128i right = _mm_cvtsi32_si128(inLanes && s > 2 ? s - 2 : 0);
    int32_t x = x0;
    while (x < x1) {
        const int16_t e0 = x + 8 <= x1 ? rows.mask[x] : 0, e1 = x + 8 <= x1 ? rows.mask[x + 4] : 0;
        if (x + 8 <= x1 && inLanes && MaskInLanes(e0) && MaskInLanes(e1)) {
            const PairCodes own = SplitPair(ReferencePair(reference));
            const __m256i c = Wide(own.luma), e = GroupValues(e0, e1);
            const __m256i light = ReferenceLights(tables, c, e, Row16(rows.highlightLuma, x));
            if (SixteenBit(light)) {
                const __m256i chroma = RecoveredChroma(Wide(own.chroma), c, e, rows, x);
                WritePackedPair(
                    tables.tone, tables.chroma,
                    {ToneIndex(_mm256_srl_epi32(_mm256_sll_epi32(light, left), right),
                               Gains(rows.gain + x)),
                     _mm256_slli_epi32(chroma, 15 - kChromaToneIndexShift)},
                    out);
                x += 8, reference += 16, out += 16;
                continue;
            }
        }
        FuseSpanRefOnlyPacked422_C(x, x + 4, reference, tables, rows, out);
        x += 4, reference += 8, out += 8;
    }
}

#else

void FuseSpanBothPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                const uint8_t *warp, const SpanTables &tables,
                                const SpanRows &rows, RunningWeights *weights, uint8_t *out) {
    FuseSpanBothPacked422_C(x0, x1, reference, warp, tables, rows, weights, out);
}
void FuseSpanDarkPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                const uint8_t *warp, const SpanTables &tables,
                                const SpanRows &rows, RunningWeights *weights, uint8_t *out) {
    FuseSpanDarkPacked422_C(x0, x1, reference, warp, tables, rows, weights, out);
}
void FuseSpanBrightPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                  const uint8_t *warp, const SpanTables &tables,
                                  const SpanRows &rows, int32_t segmentBase,
                                  RunningWeights *weights, uint8_t *out) {
    FuseSpanBrightPacked422_C(x0, x1, reference, warp, tables, rows, segmentBase, weights, out);
}
void FuseSpanRefOnlyPacked422_AVX2(int32_t x0, int32_t x1, const uint8_t *reference,
                                   const SpanTables &tables, const SpanRows &rows, uint8_t *out) {
    FuseSpanRefOnlyPacked422_C(x0, x1, reference, tables, rows, out);
}

#endif

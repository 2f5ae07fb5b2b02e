// The vector steps of the AVX2 normal-mode span kernels, shared by the packed 4:2:2 kernels
// and the planar and semi-planar ones: two groups (eight pixels) at a time, codes in packed
// order, the shadow and highlight recovery chosen lane by lane, giving the tone and chroma
// table indices of the plain kernels. Only for functions compiled for AVX2 and called where
// it runs.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/kernel_instructions.h"
#include "fusion/span_local_curve_avx2_steps.h"

#if defined(TONEFOLD_HAVE_AVX2_KERNELS)

namespace normal_avx2 {

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

// The normalised weight of the secondary for the group at x (referenceCode3: the reference's
// luma code of the group's last pixel).
inline int32_t GroupWeight(const SpanTables &t, const int16_t *weightRow, const SpanRows &r,
                           int32_t x, uint8_t referenceCode3, const uint8_t *quad) {
    const uint16_t *curve = t.fusion + kFusionWeightCurve;
    const int32_t rawC = RawWeight(curve, quad[6], weightRow[x]);
    const int32_t rawR = RawWeight(curve, referenceCode3, r.weightReference[x]);
    return rawC * t.fusion[kFusionReciprocals + std::clamp(rawC + rawR, 0, kFusionLargestWeightSum)];
}

// The normalised dark and bright weights of the group at x.
inline void TripleWeights(const SpanTables &t, const SpanRows &r, int32_t x,
                          uint8_t referenceCode3, const uint8_t *warp, int32_t n[2]) {
    const uint16_t *curve = t.fusion + kFusionWeightCurve;
    const int32_t rawD = RawWeight(curve, warp[6], r.weightDark[x]);
    const int32_t rawB = RawWeight(curve, warp[kWarpedQuadBytes + 6], r.weightBright[x]);
    const int32_t rawR = RawWeight(curve, referenceCode3, r.weightReference[x]);
    const int32_t k =
        t.fusion[kFusionReciprocals + std::clamp(rawD + rawB + rawR, 0, kFusionLargestWeightSum)];
    n[0] = rawD * k;
    n[1] = rawB * k;
}

// Two groups of one secondary (the dark exposure with shadow recovery, or the bright one read
// at segmentBase; its chroma as given) and the reference, whose ramp is in lane range and mask
// values e of at most 256; false where a light is beyond 16 bits.
template <bool Dark>
[[gnu::target("avx2")]] inline bool FuseOnePair(const SpanTables &t, const SpanRows &r,
                                                int32_t x, const PairCodes &own,
                                                const PairCodes &other, int32_t segmentBase,
                                                __m256i ramp, __m256i e, __m128i shift,
                                                PairIndices *indices) {
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
    *indices = {ToneIndex(_mm256_srl_epi32(sum, shift), Gains(r.gain + x)),
                ChromaTableIndex(blend)};
    return true;
}

// Two groups of three exposures over ramps that TripleRamps accepted and mask values e of at
// most 256; false where a light is beyond 16 bits.
[[gnu::target("avx2")]] inline bool FuseTriplePair(const SpanTables &t, const SpanRows &r,
                                                   int32_t x, const PairCodes &own,
                                                   const PairCodes &dark, const PairCodes &bright,
                                                   const __m256i ramps[3], __m256i e,
                                                   __m128i shift, PairIndices *indices) {
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
    *indices = {ToneIndex(_mm256_srl_epi32(sum, shift), Gains(r.gain + x)),
                ChromaTableIndex(blend)};
    return true;
}

// The reference alone with mask values e of at most 256: its light moved onto the blend scale
// by the shifts left and right, its recovered chroma at 16 x its value; false where its light
// is beyond 16 bits.
[[gnu::target("avx2")]] inline bool ReferenceOnlyPair(const SpanTables &t, const SpanRows &r,
                                                      int32_t x, const PairCodes &own, __m256i e,
                                                      __m128i left, __m128i right,
                                                      PairIndices *indices) {
    const __m256i c = Wide(own.luma);
    const __m256i light = ReferenceLights(t, c, e, Row16(r.highlightLuma, x));
    if (!SixteenBit(light)) return false;
    *indices = {ToneIndex(_mm256_srl_epi32(_mm256_sll_epi32(light, left), right), Gains(r.gain + x)),
                _mm256_slli_epi32(RecoveredChroma(Wide(own.chroma), c, e, r, x),
                                  15 - kChromaToneIndexShift)};
    return true;
}

}  // namespace normal_avx2

#endif

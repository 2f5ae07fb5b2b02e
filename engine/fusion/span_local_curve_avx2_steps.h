// The vector steps of the AVX2 local-curve span kernels, shared by the packed 4:2:2 kernels
// and the planar and semi-planar ones: two groups (eight pixels) at a time, their codes in
// packed order (Y0 U0 Y1 V0 Y2 U1 Y3 V1 twice), the weights ramped, the exposures moved by
// their offset rows and blended in 32-bit lanes, giving the tone and chroma table indices the
// plain kernels reach. Only for functions compiled for AVX2 and called where it runs.
#pragma once

#include <cstdint>

#include "core/kernel_instructions.h"
#include "fusion/span_common.h"

#if defined(TONEFOLD_HAVE_AVX2_KERNELS)

namespace local_curve_avx2 {

// Weight of one exposure before normalisation, as the plain kernel forms it.
inline int32_t RawWeight(const uint16_t *curve, uint8_t code3, int16_t blockWeight) {
    return (curve[code3] * blockWeight + 255) >> 8;
}

// A weight the vector lanes take exactly: with every weight in 0..1.0 each blend is a sum of
// two non-negative terms under 2^31, so 32-bit lanes give the 64-bit sums of the reference.
inline bool InLaneRange(int32_t w) { return static_cast<uint32_t>(w) <= kFusionWeightOne; }

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

// Moves of one exposure's two groups: luma from its offset row (offset + 256; a move below
// 16 bits is held at -32768, which puts every code at 0 as the true move does) read at each
// group start or, with perPixelLuma, at each pixel; chroma from its U and V rows at each group
// start.
[[gnu::target("avx2")]] inline PairCodes MovedPair(PairCodes codes, const int16_t *luma,
                                                   const int16_t *u, const int16_t *v, int32_t x,
                                                   bool perPixelLuma = false) {
    auto row = [x](const int16_t *line) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(line + x));
    };
    const __m128i moves = _mm_subs_epi16(row(luma), _mm_set1_epi16(256));
    const __m128i lumaMoves =
        perPixelLuma ? moves : _mm_shufflehi_epi16(_mm_shufflelo_epi16(moves, 0), 0);
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

[[gnu::target("avx2")]] inline __m256i Gains(const uint16_t *gain) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(gain)));
}

// Two fused groups before their tables: the tone indices of their light (gain applied) and
// their chroma indices, lanes in packed order.
struct PairIndices {
    __m256i tone, chroma;
};

[[gnu::target("avx2")]] inline __m256i ChromaTableIndex(__m256i blend) {
    return _mm256_min_epi32(_mm256_srai_epi32(blend, kChromaToneIndexShift),
                            _mm256_set1_epi32(4095));
}

// Two groups of one secondary exposure and the reference, whose ramp is in lane range.
[[gnu::target("avx2")]] inline PairIndices BlendOnePair(const uint16_t *curve, __m256i ramp,
                                                        const PairCodes &other,
                                                        const PairCodes &own, __m128i shift,
                                                        const uint16_t *gain) {
    const __m256i one = _mm256_set1_epi32(kFusionWeightOne);
    const __m256i sum = _mm256_add_epi32(
        _mm256_mullo_epi32(ramp, Light(curve, other.luma)),
        _mm256_mullo_epi32(_mm256_sub_epi32(one, ramp), Light(curve, own.luma)));
    const __m256i chromaWeight = ChromaWeights(ramp);
    const __m256i blend = _mm256_add_epi32(
        _mm256_mullo_epi32(chromaWeight, _mm256_cvtepu16_epi32(other.chroma)),
        _mm256_mullo_epi32(_mm256_sub_epi32(one, chromaWeight), _mm256_cvtepu16_epi32(own.chroma)));
    return {ToneIndex(_mm256_srl_epi32(sum, shift), Gains(gain)), ChromaTableIndex(blend)};
}

// The ramps of two groups of three exposures: dark and bright, and the reference's share left
// by them; false unless every lane of the three is in 0..1.0.
[[gnu::target("avx2")]] inline bool TripleRamps(const int32_t p[2], const int32_t n0[2],
                                                const int32_t n1[2], __m256i ramps[3]) {
    const __m256i one = _mm256_set1_epi32(kFusionWeightOne);
    ramps[0] = Ramp(p[0], n0[0], n1[0]);
    ramps[1] = Ramp(p[1], n0[1], n1[1]);
    ramps[2] = _mm256_sub_epi32(_mm256_sub_epi32(one, ramps[0]), ramps[1]);
    const __m256i below = _mm256_or_si256(_mm256_or_si256(ramps[0], ramps[1]), ramps[2]);
    const __m256i above = _mm256_or_si256(
        _mm256_or_si256(_mm256_cmpgt_epi32(ramps[0], one), _mm256_cmpgt_epi32(ramps[1], one)),
        _mm256_cmpgt_epi32(ramps[2], one));
    return _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_or_si256(below, above))) == 0;
}

// Two groups of three exposures over ramps that TripleRamps accepted.
[[gnu::target("avx2")]] inline PairIndices BlendTriplePair(const uint16_t *curve,
                                                           const __m256i ramps[3],
                                                           const PairCodes &dark,
                                                           const PairCodes &bright,
                                                           const PairCodes &own, __m128i shift,
                                                           const uint16_t *gain) {
    const __m256i one = _mm256_set1_epi32(kFusionWeightOne);
    const __m256i sum = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(ramps[0], Light(curve, dark.luma)),
                         _mm256_mullo_epi32(ramps[1], Light(curve, bright.luma))),
        _mm256_mullo_epi32(ramps[2], Light(curve, own.luma)));
    const __m256i wD = ChromaWeights(ramps[0]), wB = ChromaWeights(ramps[1]);
    const __m256i wR = _mm256_sub_epi32(_mm256_sub_epi32(one, wD), wB);
    const __m256i blend = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(wD, _mm256_cvtepu16_epi32(dark.chroma)),
                         _mm256_mullo_epi32(wB, _mm256_cvtepu16_epi32(bright.chroma))),
        _mm256_mullo_epi32(wR, _mm256_cvtepu16_epi32(own.chroma)));
    return {ToneIndex(_mm256_srl_epi32(sum, shift), Gains(gain)), ChromaTableIndex(blend)};
}

// The reference alone: its light moved onto the blend scale by the shifts left and right,
// chroma at 16 x its moved value.
[[gnu::target("avx2")]] inline PairIndices ReferencePair(const uint16_t *curve,
                                                         const PairCodes &own, __m128i left,
                                                         __m128i right, const uint16_t *gain) {
    const __m256i light = _mm256_srl_epi32(_mm256_sll_epi32(Light(curve, own.luma), left), right);
    return {ToneIndex(light, Gains(gain)), _mm256_slli_epi32(_mm256_cvtepu16_epi32(own.chroma), 4)};
}


// Writes two packed groups through the tone and chroma tables.
[[gnu::target("avx2")]] inline void WritePackedPair(const uint8_t *tone, const uint8_t *chroma,
                                                    const PairIndices &indices, uint8_t *out) {
    alignas(32) int32_t t[8], c[8];
    _mm256_store_si256(reinterpret_cast<__m256i *>(t), indices.tone);
    _mm256_store_si256(reinterpret_cast<__m256i *>(c), indices.chroma);
    for (int i = 0; i < 8; ++i) {
        out[2 * i] = tone[t[i]];
        out[2 * i + 1] = chroma[c[i]];
    }
}

}  // namespace local_curve_avx2

#endif

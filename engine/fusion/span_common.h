// What the span kernels of both modes share: their inputs, the weights of one group of four
// pixels, the fused group before the tone stage, and the tone tail that turns a fused group
// into 8-bit output. Every table lookup clamps its index to the table.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/fusion_table_layout.h"
#include "core/row_helpers.h"
#include "fusion/fusion_types.h"

// The session's tables a kernel reads.
struct SpanTables {
    const uint16_t *fusion;       // localCurveFusionTable or fusionTable
    int32_t valueShift;
    const uint16_t *gammaExpand;  // normal mode
    const uint8_t *tone;          // 4096 entries
    const uint8_t *chroma;        // 4096 entries
};

// The rows a kernel reads, all indexed by absolute pixel column.
struct SpanRows {
    const int16_t *weightReference;  // Q8 block weights, read at each group start
    const int16_t *weightDark;
    const int16_t *weightBright;
    const int16_t *mask;  // Q8 recovery mask, normal mode
    const uint16_t *gain;  // Q10 local gain per pixel
    // Local-curve mode: luma offset rows (value = offset + 256) of the reference, dark and
    // bright exposure, then their U offset rows, then their V offset rows.
    const int16_t *mapLines[9];
    // Normal mode: the dark exposure's shadow row and the reference's highlight rows.
    const int16_t *shadow;
    const int16_t *highlightLuma;
    const int16_t *highlightU;  // at each pair's first pixel
    const int16_t *highlightV;
};

// Map line indices by exposure: luma, U and V of the reference, dark and bright exposure.
constexpr int kMapLumaReference = 0, kMapLumaDark = 1, kMapLumaBright = 2, kMapU = 3, kMapV = 6;
// The exposure's offset within each group of three lines.
using MapExposure = int;
constexpr MapExposure kMapReference = 0, kMapDark = 1, kMapBright = 2;

// Scale of a blend's chroma: Q15 weights times 8-bit chroma shifted right by 11 give the tone
// tail's chroma table index (16 x the chroma); shifted by 9 they give the 16-bit intermediate's
// samples (64 x the chroma). The index is the sample shifted right by 2, exactly.
constexpr int32_t kChromaToneIndexShift = 11;
constexpr int32_t kChromaSampleShift = 9;

// A fused group before the tone stage: linear light per pixel (14-bit scale with valueShift
// 2) and the chroma indices U0, V0, U1, V1 (16 x the blended 8-bit chroma, or 64 x where the
// blend was asked for kChromaSampleShift).
struct FusedGroup {
    int32_t light[4];
    int32_t chroma[4];
};

namespace fusion_detail {

// Luma code i (0..3) and chroma c (0 U0, 1 V0, 2 U1, 3 V1) of a packed group.
inline int32_t Luma(const uint8_t *group, int i) { return group[2 * i]; }
inline int32_t Chroma(const uint8_t *group, int c) { return group[2 * c + 1]; }

// Weight of one exposure before normalisation: the luma curve at pixel 3 times the block
// weight at the group start.
inline int32_t RawWeight(const uint16_t *table, int32_t code3, int32_t blockWeight) {
    return (table[kFusionWeightCurve + code3] * blockWeight + 255) >> 8;
}

// Q15 reciprocal of a weight sum, held to the sums the table holds. 768 (three full raw
// weights) would read past the entries the table builder writes; 32768 / 767 and 32768 / 768
// are both 42.
inline int32_t Reciprocal(const uint16_t *table, int32_t sum) {
    return table[kFusionReciprocals + std::clamp(sum, 0, kFusionLargestWeightSum)];
}

// The weight of pixel i of a group ramped from the previous group's p to this group's n.
inline int32_t Ramp(int32_t p, int32_t n, int i) {
    switch (i) {
        case 0: return (3 * p + n + 2) >> 2;
        case 1: return (p + n) >> 1;
        case 2: return (p + 3 * n + 2) >> 2;
        default: return n;
    }
}

// Blended chroma from two or three weighted samples: by default the tone tail's table index
// (16 x the chroma); the 16-bit intermediate keeps two bits more (kChromaSampleShift).
inline int32_t ChromaIndex(int32_t wa, int32_t ca, int32_t wb, int32_t cb, int32_t wc,
                           int32_t cc, int32_t shift = kChromaToneIndexShift) {
    return (wa * ca + wb * cb + wc * cc) >> shift;
}

// Linear light shifted onto the scale of a blend: left by 2 - s, or right when s exceeds 2.
inline int32_t ReferenceScale(int32_t light, int32_t s) {
    return s <= 2 ? light << (2 - s) : light >> (s - 2);
}

}  // namespace fusion_detail

// The tone tail: gain, tone table and chroma table; writes the group's eight packed bytes.
inline void ToneGroupPacked422(const FusedGroup &g, const uint16_t *gainAtGroup,
                               const uint8_t *tone, const uint8_t *chroma, uint8_t *out) {
    for (int i = 0; i < 4; ++i) {
        const int64_t q = (int64_t{g.light[i]} * gainAtGroup[i]) >> 12;
        out[2 * i] = tone[std::clamp<int64_t>(q, 0, 4095)];
    }
    for (int c = 0; c < 4; ++c) out[2 * c + 1] = chroma[std::clamp(g.chroma[c], 0, 4095)];
}

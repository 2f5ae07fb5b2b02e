// The group steps of the SSE2-tier local-curve span kernels (plain C++, folded so that the
// compiler vectorises it with the x86-64 baseline instructions), shared by the packed 4:2:2
// kernels and the planar and semi-planar ones: each fuses one group of four pixels laid out in
// packed order (Y0 U0 Y1 V0 Y2 U1 Y3 V1) with the rows and tables looked up directly, and gives
// the bytes of the plain group steps followed by the tone tail.
#pragma once

#include <algorithm>
#include <cstdint>

#include "fusion/span_common.h"

namespace local_curve_sse2 {

// The rows and tables of one span, looked up once instead of at every group.
struct OneSpanInputs {
    const uint16_t *weightCurve, *reciprocals, *brightCurve;
    const int16_t *weightSecondary, *weightReference;
    const int16_t *lumaSecondary, *lumaReference;
    const int16_t *uSecondary, *vSecondary, *uReference, *vReference;
    const uint16_t *gain;
    const uint8_t *tone, *chroma;
    int32_t lightShift;
};

inline OneSpanInputs Gather(MapExposure secondary, const SpanTables &t, const SpanRows &r) {
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
            t.chroma,
            t.valueShift + 13};
}

// One group: the same steps as BlendGroupLocalCurveOnePacked422 then ToneGroupPacked422.
// perPixelLuma: luma moved by each pixel's offset rather than the group start's.
inline void FuseGroup(const OneSpanInputs &in, int32_t x, const uint8_t *ref, const uint8_t *quad,
                      int32_t *carried, uint8_t *out, bool perPixelLuma = false) {
    const int32_t rawC = (in.weightCurve[quad[6]] * in.weightSecondary[x] + 255) >> 8;
    const int32_t rawR = (in.weightCurve[ref[6]] * in.weightReference[x] + 255) >> 8;
    const int32_t nC = rawC * in.reciprocals[std::clamp(rawC + rawR, 0, kFusionLargestWeightSum)];
    const int32_t p = *carried;
    const int32_t w[4] = {(3 * p + nC + 2) >> 2, (p + nC) >> 1, (p + 3 * nC + 2) >> 2, nC};
    const uint16_t *gain = in.gain + x;
    for (int i = 0; i < 4; ++i) {
        const int32_t at = x + (perPixelLuma ? i : 0);
        const int32_t moveC = in.lumaSecondary[at] - 256, moveR = in.lumaReference[at] - 256;
        const int64_t lightC = in.brightCurve[ClampByte(quad[2 * i] + moveC)];
        const int64_t lightR = in.brightCurve[ClampByte(ref[2 * i] + moveR)];
        const int64_t sum = w[i] * lightC + (kFusionWeightOne - w[i]) * lightR;
        const int64_t light = static_cast<int32_t>(sum >> in.lightShift);
        out[2 * i] = in.tone[std::clamp<int64_t>((light * gain[i]) >> 12, 0, 4095)];
    }
    const int32_t offC[2] = {in.uSecondary[x], in.vSecondary[x]};
    const int32_t offR[2] = {in.uReference[x], in.vReference[x]};
    for (int c = 0; c < 4; ++c) {
        const int32_t wc = c < 2 ? w[1] : nC;
        const int32_t index = (wc * ClampByte(quad[2 * c + 1] + offC[c & 1]) +
                               (kFusionWeightOne - wc) * ClampByte(ref[2 * c + 1] + offR[c & 1])) >>
                              11;
        out[2 * c + 1] = in.chroma[std::clamp(index, 0, 4095)];
    }
    *carried = nC;
}

// The tone tail of one pixel's linear light.
inline uint8_t Tone(const uint8_t *tone, int64_t light, uint16_t gain) {
    return tone[std::clamp<int64_t>((light * gain) >> 12, 0, 4095)];
}

// One group of three exposures: the steps of BlendGroupLocalCurveBothPacked422 then the tone
// tail. carried holds the dark and bright weights of the previous group.
inline void FuseGroupBoth(const SpanTables &t, const SpanRows &r, int32_t x, const uint8_t *ref,
                          const uint8_t *dark, const uint8_t *bright, int32_t carried[2],
                          uint8_t *out, bool perPixelLuma = false) {
    const uint16_t *curve = t.fusion + kFusionWeightCurve;
    const int32_t rawD = (curve[dark[6]] * r.weightDark[x] + 255) >> 8;
    const int32_t rawB = (curve[bright[6]] * r.weightBright[x] + 255) >> 8;
    const int32_t rawR = (curve[ref[6]] * r.weightReference[x] + 255) >> 8;
    const int32_t k =
        t.fusion[kFusionReciprocals + std::clamp(rawD + rawB + rawR, 0, kFusionLargestWeightSum)];
    const int32_t nD = rawD * k, nB = rawB * k;
    const int32_t pD = carried[0], pB = carried[1];
    const int32_t wD[4] = {(3 * pD + nD + 2) >> 2, (pD + nD) >> 1, (pD + 3 * nD + 2) >> 2, nD};
    const int32_t wB[4] = {(3 * pB + nB + 2) >> 2, (pB + nB) >> 1, (pB + 3 * nB + 2) >> 2, nB};
    const uint16_t *light = t.fusion + kFusionBrightSegment;
    const int32_t shift = t.valueShift + 13;
    for (int i = 0; i < 4; ++i) {
        const int32_t at = x + (perPixelLuma ? i : 0);
        const int32_t moveD = r.mapLines[kMapLumaDark][at] - 256;
        const int32_t moveB = r.mapLines[kMapLumaBright][at] - 256;
        const int32_t moveR = r.mapLines[kMapLumaReference][at] - 256;
        const int64_t sum = int64_t{wD[i]} * light[ClampByte(dark[2 * i] + moveD)] +
                            int64_t{wB[i]} * light[ClampByte(bright[2 * i] + moveB)] +
                            int64_t{kFusionWeightOne - wD[i] - wB[i]} *
                                light[ClampByte(ref[2 * i] + moveR)];
        out[2 * i] = Tone(t.tone, static_cast<int32_t>(sum >> shift), r.gain[x + i]);
    }
    const int32_t offD[2] = {r.mapLines[kMapU + kMapDark][x], r.mapLines[kMapV + kMapDark][x]};
    const int32_t offB[2] = {r.mapLines[kMapU + kMapBright][x], r.mapLines[kMapV + kMapBright][x]};
    const int32_t offR[2] = {r.mapLines[kMapU + kMapReference][x],
                             r.mapLines[kMapV + kMapReference][x]};
    for (int c = 0; c < 4; ++c) {
        const int32_t d = c < 2 ? wD[1] : nD, b = c < 2 ? wB[1] : nB;
        const int32_t wR = kFusionWeightOne - d - b;
        const int32_t index = (d * ClampByte(dark[2 * c + 1] + offD[c & 1]) +
                               b * ClampByte(bright[2 * c + 1] + offB[c & 1]) +
                               wR * ClampByte(ref[2 * c + 1] + offR[c & 1])) >>
                              11;
        out[2 * c + 1] = t.chroma[std::clamp(index, 0, 4095)];
    }
    carried[0] = nD;
    carried[1] = nB;
}

// The reference alone: its light moved onto the blend scale, its chroma at 16 x its value.
inline void FuseGroupReference(const SpanTables &t, const SpanRows &r, int32_t x,
                               const uint8_t *ref, uint8_t *out, bool perPixelLuma = false) {
    const uint16_t *light = t.fusion + kFusionBrightSegment;
    const int32_t s = t.valueShift;
    for (int i = 0; i < 4; ++i) {
        const int32_t move = r.mapLines[kMapLumaReference][x + (perPixelLuma ? i : 0)] - 256;
        const int32_t l = light[ClampByte(ref[2 * i] + move)];
        out[2 * i] = Tone(t.tone, s <= 2 ? l << (2 - s) : l >> (s - 2), r.gain[x + i]);
    }
    const int32_t off[2] = {r.mapLines[kMapU + kMapReference][x],
                            r.mapLines[kMapV + kMapReference][x]};
    for (int c = 0; c < 4; ++c)
        out[2 * c + 1] = t.chroma[std::clamp(16 * ClampByte(ref[2 * c + 1] + off[c & 1]), 0, 4095)];
}

}  // namespace local_curve_sse2

#include "span_local_curve_fast_packed422.h"

#include <algorithm>

#include "fusion/span_local_curve_packed422.h"

void FuseSpanLocalCurveOnePacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                                      const uint8_t *warp, MapExposure secondary,
                                      const SpanTables &tables, const SpanRows &rows,
                                      RunningWeights *weights, uint8_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8) {
        const FusedGroup g =
            BlendGroupLocalCurveOnePacked422(x, reference, warp, secondary, tables, rows, weights);
        ToneGroupPacked422(g, rows.gain + x, tables.tone, tables.chroma, out);
    }
}

void FuseSpanLocalCurveBothPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       uint8_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8) {
        const FusedGroup g = BlendGroupLocalCurveBothPacked422(
            x, reference, warp, warp + kWarpedQuadBytes, tables, rows, weights);
        ToneGroupPacked422(g, rows.gain + x, tables.tone, tables.chroma, out);
    }
}

void FuseSpanLocalCurveRefOnlyPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const SpanTables &tables, const SpanRows &rows,
                                          uint8_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, out += 8)
        ToneGroupPacked422(BlendGroupLocalCurveRefOnlyPacked422(x, reference, tables, rows),
                           rows.gain + x, tables.tone, tables.chroma, out);
}

namespace {

inline int32_t Clamp8(int32_t v) { return std::clamp(v, 0, 255); }

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

OneSpanInputs Gather(MapExposure secondary, const SpanTables &t, const SpanRows &r) {
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
inline void FuseGroup(const OneSpanInputs &in, int32_t x, const uint8_t *ref, const uint8_t *quad,
                      int32_t *carried, uint8_t *out) {
    const int32_t rawC = (in.weightCurve[quad[6]] * in.weightSecondary[x] + 255) >> 8;
    const int32_t rawR = (in.weightCurve[ref[6]] * in.weightReference[x] + 255) >> 8;
    const int32_t nC = rawC * in.reciprocals[std::clamp(rawC + rawR, 0, kFusionLargestWeightSum)];
    const int32_t p = *carried;
    const int32_t w[4] = {(3 * p + nC + 2) >> 2, (p + nC) >> 1, (p + 3 * nC + 2) >> 2, nC};
    const int32_t moveC = in.lumaSecondary[x] - 256, moveR = in.lumaReference[x] - 256;
    const uint16_t *gain = in.gain + x;
    for (int i = 0; i < 4; ++i) {
        const int64_t lightC = in.brightCurve[Clamp8(quad[2 * i] + moveC)];
        const int64_t lightR = in.brightCurve[Clamp8(ref[2 * i] + moveR)];
        const int64_t sum = w[i] * lightC + (kFusionWeightOne - w[i]) * lightR;
        const int64_t light = static_cast<int32_t>(sum >> in.lightShift);
        out[2 * i] = in.tone[std::clamp<int64_t>((light * gain[i]) >> 12, 0, 4095)];
    }
    const int32_t offC[2] = {in.uSecondary[x], in.vSecondary[x]};
    const int32_t offR[2] = {in.uReference[x], in.vReference[x]};
    for (int c = 0; c < 4; ++c) {
        const int32_t wc = c < 2 ? w[1] : nC;
        const int32_t index = (wc * Clamp8(quad[2 * c + 1] + offC[c & 1]) +
                               (kFusionWeightOne - wc) * Clamp8(ref[2 * c + 1] + offR[c & 1])) >>
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
                          uint8_t *out) {
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
    const int32_t moveD = r.mapLines[kMapLumaDark][x] - 256;
    const int32_t moveB = r.mapLines[kMapLumaBright][x] - 256;
    const int32_t moveR = r.mapLines[kMapLumaReference][x] - 256;
    const int32_t shift = t.valueShift + 13;
    for (int i = 0; i < 4; ++i) {
        const int64_t sum = int64_t{wD[i]} * light[Clamp8(dark[2 * i] + moveD)] +
                            int64_t{wB[i]} * light[Clamp8(bright[2 * i] + moveB)] +
                            int64_t{kFusionWeightOne - wD[i] - wB[i]} *
                                light[Clamp8(ref[2 * i] + moveR)];
        out[2 * i] = Tone(t.tone, static_cast<int32_t>(sum >> shift), r.gain[x + i]);
    }
    const int32_t offD[2] = {r.mapLines[kMapU + kMapDark][x], r.mapLines[kMapV + kMapDark][x]};
    const int32_t offB[2] = {r.mapLines[kMapU + kMapBright][x], r.mapLines[kMapV + kMapBright][x]};
    const int32_t offR[2] = {r.mapLines[kMapU + kMapReference][x],
                             r.mapLines[kMapV + kMapReference][x]};
    for (int c = 0; c < 4; ++c) {
        const int32_t d = c < 2 ? wD[1] : nD, b = c < 2 ? wB[1] : nB;
        const int32_t index = (d * Clamp8(dark[2 * c + 1] + offD[c & 1]) +
                               b * Clamp8(bright[2 * c + 1] + offB[c & 1]) +
                               (kFusionWeightOne - d - b) * Clamp8(ref[2 * c + 1] + offR[c & 1])) >>
                              11;
        out[2 * c + 1] = t.chroma[std::clamp(index, 0, 4095)];
    }
    carried[0] = nD;
    carried[1] = nB;
}

}  // namespace

void FuseSpanLocalCurveBothPacked422_Fast(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const uint8_t *warp, const SpanTables &tables,
                                          const SpanRows &rows, RunningWeights *weights,
                                          uint8_t *out) {
    if (x0 >= x1) return;
    int32_t carried[2] = {weights->w[0], weights->w[1]};
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        FuseGroupBoth(tables, rows, x, reference, warp, warp + kWarpedQuadBytes, carried, out);
    *weights = {{carried[0], carried[1], kFusionWeightOne - carried[0] - carried[1]}};
}

void FuseSpanLocalCurveRefOnlyPacked422_Fast(int32_t x0, int32_t x1, const uint8_t *reference,
                                             const SpanTables &tables, const SpanRows &rows,
                                             uint8_t *out) {
    const uint16_t *light = tables.fusion + kFusionBrightSegment;
    const int32_t s = tables.valueShift;
    const int16_t *lumaOffsets = rows.mapLines[kMapLumaReference];
    const int16_t *uOffsets = rows.mapLines[kMapU + kMapReference];
    const int16_t *vOffsets = rows.mapLines[kMapV + kMapReference];
    for (int32_t x = x0; x < x1; x += 4, reference += 8, out += 8) {
        const int32_t move = lumaOffsets[x] - 256;
        for (int i = 0; i < 4; ++i) {
            const int32_t l = light[Clamp8(reference[2 * i] + move)];
            out[2 * i] = Tone(tables.tone, s <= 2 ? l << (2 - s) : l >> (s - 2), rows.gain[x + i]);
        }
        const int32_t off[2] = {uOffsets[x], vOffsets[x]};
        for (int c = 0; c < 4; ++c)
            out[2 * c + 1] =
                tables.chroma[std::clamp(16 * Clamp8(reference[2 * c + 1] + off[c & 1]), 0, 4095)];
    }
}

void FuseSpanLocalCurveOnePacked422_Fast(int32_t x0, int32_t x1, const uint8_t *reference,
                                         const uint8_t *warp, MapExposure secondary,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, uint8_t *out) {
    const OneSpanInputs in = Gather(secondary, tables, rows);
    int32_t carried = weights->w[0];
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        FuseGroup(in, x, reference, warp, &carried, out);
    // The plain kernel leaves the carried weights untouched over an empty span.
    if (x0 < x1) {
        weights->w[0] = carried;
        weights->w[1] = kFusionWeightOne - carried;
    }
}

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

}  // namespace

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

#include "span_local_curve_group_packed422.h"

using namespace fusion_detail;

namespace {

// Linear light of a code moved by its luma offset row value (offset + 256).
int32_t CurveLight(const uint16_t *table, int32_t code, int32_t offsetValue) {
    return table[kFusionBrightSegment + ClampByte(code + offsetValue - 256)];
}

// One exposure's chroma sample c of a group moved by its U or V offset at the group start.
int32_t MovedChroma(const uint8_t *group, int c, const SpanRows &rows, int exposure, int32_t x) {
    const int16_t *offsets = rows.mapLines[(c & 1 ? kMapV : kMapU) + exposure];
    return ClampByte(Chroma(group, c) + offsets[x]);
}

const int16_t *WeightRow(const SpanRows &rows, MapExposure e) {
    return e == kMapDark ? rows.weightDark : rows.weightBright;
}

}  // namespace

FusedGroup BlendGroupLocalCurveBothPacked422(int32_t x, const uint8_t *ref, const uint8_t *dark,
                                             const uint8_t *bright, const SpanTables &tables,
                                             const SpanRows &rows, RunningWeights *weights,
                                             LumaOffsetSampling sampling) {
    const uint16_t *t = tables.fusion;
    const int32_t rawD = RawWeight(t, Luma(dark, 3), rows.weightDark[x]);
    const int32_t rawB = RawWeight(t, Luma(bright, 3), rows.weightBright[x]);
    const int32_t rawR = RawWeight(t, Luma(ref, 3), rows.weightReference[x]);
    const int32_t k = Reciprocal(t, rawD + rawB + rawR);
    const int32_t nD = rawD * k, nB = rawB * k;
    const int32_t pD = weights->w[0], pB = weights->w[1];
    const int16_t *oR = rows.mapLines[kMapLumaReference] + x;
    const int16_t *oD = rows.mapLines[kMapLumaDark] + x;
    const int16_t *oB = rows.mapLines[kMapLumaBright] + x;
    const int step = sampling == kPerPixelLumaOffset ? 1 : 0;

    FusedGroup g;
    int32_t wD[4] = {}, wB[4] = {};
    for (int i = 0; i < 4; ++i) {
        wD[i] = Ramp(pD, nD, i);
        wB[i] = Ramp(pB, nB, i);
        const int32_t wR = kFusionWeightOne - wD[i] - wB[i];
        const int64_t sum = int64_t{wD[i]} * CurveLight(t, Luma(dark, i), oD[step * i]) +
                            int64_t{wB[i]} * CurveLight(t, Luma(bright, i), oB[step * i]) +
                            int64_t{wR} * CurveLight(t, Luma(ref, i), oR[step * i]);
        g.light[i] = static_cast<int32_t>(sum >> (tables.valueShift + 13));
    }
    // Pair 0 takes pixel 1's weights, pair 1 the group's own.
    for (int c = 0; c < 4; ++c) {
        const int32_t d = c < 2 ? wD[1] : nD, b = c < 2 ? wB[1] : nB;
        g.chroma[c] = ChromaIndex(d, MovedChroma(dark, c, rows, kMapDark, x), b,
                                  MovedChroma(bright, c, rows, kMapBright, x),
                                  kFusionWeightOne - d - b,
                                  MovedChroma(ref, c, rows, kMapReference, x));
    }
    *weights = {{nD, nB, kFusionWeightOne - nD - nB}};
    return g;
}

FusedGroup BlendGroupLocalCurveOnePacked422(int32_t x, const uint8_t *ref, const uint8_t *quad,
                                            MapExposure secondary, const SpanTables &tables,
                                            const SpanRows &rows, RunningWeights *weights,
                                            LumaOffsetSampling sampling) {
    const uint16_t *t = tables.fusion;
    const int32_t rawC = RawWeight(t, Luma(quad, 3), WeightRow(rows, secondary)[x]);
    const int32_t rawR = RawWeight(t, Luma(ref, 3), rows.weightReference[x]);
    const int32_t nC = rawC * Reciprocal(t, rawC + rawR);
    const int32_t pC = weights->w[0];
    const int16_t *oR = rows.mapLines[kMapLumaReference] + x;
    const int16_t *oC = rows.mapLines[kMapLumaReference + secondary] + x;
    const int step = sampling == kPerPixelLumaOffset ? 1 : 0;

    FusedGroup g;
    int32_t wC[4] = {};
    for (int i = 0; i < 4; ++i) {
        wC[i] = Ramp(pC, nC, i);
        const int64_t sum =
            int64_t{wC[i]} * CurveLight(t, Luma(quad, i), oC[step * i]) +
            int64_t{kFusionWeightOne - wC[i]} * CurveLight(t, Luma(ref, i), oR[step * i]);
        g.light[i] = static_cast<int32_t>(sum >> (tables.valueShift + 13));
    }
    for (int c = 0; c < 4; ++c) {
        const int32_t w = c < 2 ? wC[1] : nC;
        g.chroma[c] = ChromaIndex(w, MovedChroma(quad, c, rows, secondary, x),
                                  kFusionWeightOne - w, MovedChroma(ref, c, rows, kMapReference, x),
                                  0, 0);
    }
    weights->w[0] = nC;
    weights->w[1] = kFusionWeightOne - nC;
    return g;
}

FusedGroup BlendGroupLocalCurveRefOnlyPacked422(int32_t x, const uint8_t *ref,
                                                const SpanTables &tables, const SpanRows &rows,
                                                LumaOffsetSampling sampling) {
    const int16_t *oR = rows.mapLines[kMapLumaReference] + x;
    const int step = sampling == kPerPixelLumaOffset ? 1 : 0;
    FusedGroup g;
    for (int i = 0; i < 4; ++i)
        g.light[i] = ReferenceScale(CurveLight(tables.fusion, Luma(ref, i), oR[step * i]),
                                    tables.valueShift);
    for (int c = 0; c < 4; ++c) g.chroma[c] = 16 * MovedChroma(ref, c, rows, kMapReference, x);
    return g;
}

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

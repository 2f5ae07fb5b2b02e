#include "span_intermediate_packed422.h"

#include <algorithm>

#include "fusion/span_normal_packed422.h"

using namespace fusion_detail;

namespace {

int16_t LumaSample(int32_t light) {
    return static_cast<int16_t>(std::clamp(light, 0, kIntermediateLumaMax));
}

int16_t ChromaSample(int32_t chroma) {
    return static_cast<int16_t>(std::clamp(chroma, 0, kIntermediateChromaMax));
}

}  // namespace

FusedGroup BlendGroupPlainBothPacked422(int32_t x, const uint8_t *ref, const uint8_t *dark,
                                        const uint8_t *bright, const SpanTables &tables,
                                        const SpanRows &rows, RunningWeights *weights) {
    const uint16_t *t = tables.fusion;
    const int32_t rawD = RawWeight(t, Luma(dark, 3), rows.weightDark[x]);
    const int32_t rawB = RawWeight(t, Luma(bright, 3), rows.weightBright[x]);
    const int32_t rawR = RawWeight(t, Luma(ref, 3), rows.weightReference[x]);
    const int32_t k = Reciprocal(t, rawD + rawB + rawR);
    const int32_t nD = rawD * k, nB = rawB * k;
    const int32_t pD = weights->w[0], pB = weights->w[1];
    FusedGroup g;
    int32_t wD[4] = {}, wB[4] = {};
    for (int i = 0; i < 4; ++i) {
        wD[i] = Ramp(pD, nD, i);
        wB[i] = Ramp(pB, nB, i);
        const int64_t sum = int64_t{wD[i]} * t[kFusionDarkSegment + Luma(dark, i)] +
                            int64_t{wB[i]} * t[kFusionBrightSegment + Luma(bright, i)] +
                            int64_t{kFusionWeightOne - wD[i] - wB[i]} *
                                t[kFusionReferenceSegment + Luma(ref, i)];
        g.light[i] = static_cast<int32_t>(sum >> (tables.valueShift + 13));
    }
    for (int c = 0; c < 4; ++c) {
        const int32_t d = c < 2 ? wD[1] : nD, b = c < 2 ? wB[1] : nB;
        g.chroma[c] = ChromaIndex(d, Chroma(dark, c), b, Chroma(bright, c),
                                  kFusionWeightOne - d - b, Chroma(ref, c), kChromaSampleShift);
    }
    *weights = {{nD, nB, kFusionWeightOne - nD - nB}};
    return g;
}

FusedGroup BlendGroupPlainOneSecondaryPacked422(int32_t x, const uint8_t *ref,
                                                const uint8_t *quad, const SpanTables &tables,
                                                const SpanRows &rows,
                                                const int16_t *secondaryWeights,
                                                int32_t segmentBase, RunningWeights *weights) {
    const uint16_t *t = tables.fusion;
    const int32_t rawC = RawWeight(t, Luma(quad, 3), secondaryWeights[x]);
    const int32_t rawR = RawWeight(t, Luma(ref, 3), rows.weightReference[x]);
    const int32_t nC = rawC * Reciprocal(t, rawC + rawR);
    const int32_t pC = weights->w[0];
    FusedGroup g;
    int32_t wC[4] = {};
    for (int i = 0; i < 4; ++i) {
        wC[i] = Ramp(pC, nC, i);
        const int64_t sum = int64_t{wC[i]} * t[std::clamp(segmentBase, 0, 256) + Luma(quad, i)] +
                            int64_t{kFusionWeightOne - wC[i]} *
                                t[kFusionReferenceSegment + Luma(ref, i)];
        g.light[i] = static_cast<int32_t>(sum >> (tables.valueShift + 13));
    }
    for (int c = 0; c < 4; ++c) {
        const int32_t w = c < 2 ? wC[1] : nC;
        g.chroma[c] = ChromaIndex(w, Chroma(quad, c), kFusionWeightOne - w, Chroma(ref, c), 0, 0,
                                  kChromaSampleShift);
    }
    weights->w[0] = nC;
    weights->w[1] = kFusionWeightOne - nC;
    return g;
}

FusedGroup BlendGroupPlainRefOnlyPacked422(const uint8_t *ref, const SpanTables &tables) {
    FusedGroup g;
    for (int i = 0; i < 4; ++i)
        g.light[i] = ReferenceScale(tables.fusion[kFusionReferenceSegment + Luma(ref, i)],
                                    tables.valueShift);
    for (int c = 0; c < 4; ++c) g.chroma[c] = Chroma(ref, c) * 64;
    return g;
}

void StoreIntermediateGroupPacked422(const FusedGroup &g, int16_t *out) {
    for (int i = 0; i < 4; ++i) out[2 * i] = LumaSample(g.light[i]);
    for (int c = 0; c < 4; ++c) out[2 * c + 1] = ChromaSample(g.chroma[c]);
}

void FuseIntermediateSpanBothPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       int16_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        StoreIntermediateGroupPacked422(
            BlendGroupBothPacked422(x, reference, warp, warp + kWarpedQuadBytes, tables, rows,
                                    weights, kChromaSampleShift),
            out);
}

void FuseIntermediateSpanDarkPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       int16_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        StoreIntermediateGroupPacked422(
            BlendGroupDarkPacked422(x, reference, warp, tables, rows, weights, kChromaSampleShift),
            out);
}

void FuseIntermediateSpanBrightPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                         const uint8_t *warp, const SpanTables &tables,
                                         const SpanRows &rows, int32_t segmentBase,
                                         RunningWeights *weights, int16_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        StoreIntermediateGroupPacked422(
            BlendGroupBrightPacked422(x, reference, warp, tables, rows, segmentBase, weights,
                                      kChromaSampleShift),
            out);
}

void FuseIntermediateSpanRefOnlyPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const SpanTables &tables, const SpanRows &rows,
                                          int16_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, out += 8)
        StoreIntermediateGroupPacked422(
            BlendGroupRefOnlyPacked422(x, reference, tables, rows, kChromaSampleShift), out);
}

void FuseIntermediateSpanPlainBothPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                            const uint8_t *warp, const SpanTables &tables,
                                            const SpanRows &rows, RunningWeights *weights,
                                            int16_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        StoreIntermediateGroupPacked422(
            BlendGroupPlainBothPacked422(x, reference, warp, warp + kWarpedQuadBytes, tables,
                                         rows, weights),
            out);
}

void FuseIntermediateSpanPlainOneSecondaryPacked422(int32_t x0, int32_t x1,
                                                    const uint8_t *reference, const uint8_t *warp,
                                                    const SpanTables &tables, const SpanRows &rows,
                                                    const int16_t *secondaryWeights,
                                                    int32_t segmentBase, RunningWeights *weights,
                                                    int16_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        StoreIntermediateGroupPacked422(
            BlendGroupPlainOneSecondaryPacked422(x, reference, warp, tables, rows,
                                                 secondaryWeights, segmentBase, weights),
            out);
}

void FuseIntermediateSpanPlainRefOnlyPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                                               const SpanTables &tables, int16_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, out += 8)
        StoreIntermediateGroupPacked422(BlendGroupPlainRefOnlyPacked422(reference, tables), out);
}

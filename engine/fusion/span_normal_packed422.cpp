#include "span_normal_packed422.h"

#include "core/kernel_tiers.h"
#include "fusion/span_normal_avx2_packed422.h"

using namespace fusion_detail;

namespace {

// The dark exposure's light: below code 33 the shadow-corrected value, ramped into the table
// value between codes 16 and 32.
int32_t DarkLight(const SpanTables &tables, int32_t c, int32_t shadowOffset) {
    const uint16_t *t = tables.fusion;
    if (c >= 33) return t[kFusionDarkSegment + c];
    const int32_t v = tables.gammaExpand[ClampByte(c + shadowOffset)] * 4;
    if (c < 16) return v;
    return (v * (32 - c) + (c - 16) * t[kFusionDarkSegment + c]) >> 4;
}

// The highlight-corrected light of reference code c, ramped in from the table value over
// codes 192..rampEnd.
int32_t CorrectedHighlight(const SpanTables &tables, int32_t c, int32_t highlightOffset,
                           int32_t rampEnd) {
    int32_t g = tables.gammaExpand[ClampByte(c + highlightOffset)] * 4;
    if (c <= rampEnd) {
        const int32_t h = tables.fusion[kFusionReferenceSegment + c];
        g = (g * (c - 192) + (224 - c) * h) >> 5;
    }
    return g;
}

// The reference's light with highlight recovery scaled by the mask value e.
int32_t ReferenceLight(const SpanTables &tables, int32_t c, int32_t e, int32_t highlightOffset) {
    const int32_t h = tables.fusion[kFusionReferenceSegment + c];
    if (e <= 0 || c <= 191) return h;
    const int32_t g = CorrectedHighlight(tables, c, highlightOffset, 223);
    return (e * g + (256 - e) * h) >> 8;
}

// The reference's light in the bright kernel: highlight recovery without the mask.
int32_t ReferenceLightUnmasked(const SpanTables &tables, int32_t c, int32_t highlightOffset) {
    if (c <= 191) return tables.fusion[kFusionReferenceSegment + c];
    return CorrectedHighlight(tables, c, highlightOffset, 224);
}

// The reference's four chroma samples after highlight recovery: pair p is corrected from the
// U and V rows at x + 2p when the mask is set and the pair's first luma is above 192.
void ReferenceChroma(const uint8_t *ref, int32_t x, int32_t e, const SpanRows &rows,
                     int32_t chroma[4]) {
    for (int c = 0; c < 4; ++c) chroma[c] = Chroma(ref, c);
    if (e <= 0) return;
    for (int p = 0; p < 2; ++p) {
        const int32_t y = Luma(ref, 2 * p);
        if (y <= 192) continue;
        int32_t du = rows.highlightU[x + 2 * p], dv = rows.highlightV[x + 2 * p];
        if (y <= 224) {
            du = ((y - 192) * du) >> 5;
            dv = ((y - 192) * dv) >> 5;
        }
        chroma[2 * p] = ClampByte(chroma[2 * p] + du);
        chroma[2 * p + 1] = ClampByte(chroma[2 * p + 1] + dv);
    }
}

int32_t Shifted(int64_t sum, int32_t valueShift) {
    return static_cast<int32_t>(sum >> (valueShift + 13));
}

}  // namespace

FusedGroup BlendGroupBothPacked422(int32_t x, const uint8_t *ref, const uint8_t *dark,
                                   const uint8_t *bright, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   int32_t chromaShift) {
    const uint16_t *t = tables.fusion;
    const int32_t rawD = RawWeight(t, Luma(dark, 3), rows.weightDark[x]);
    const int32_t rawB = RawWeight(t, Luma(bright, 3), rows.weightBright[x]);
    const int32_t rawR = RawWeight(t, Luma(ref, 3), rows.weightReference[x]);
    const int32_t k = Reciprocal(t, rawD + rawB + rawR);
    const int32_t nD = rawD * k, nB = rawB * k;
    const int32_t pD = weights->w[0], pB = weights->w[1];
    const int32_t e = rows.mask[x];

    FusedGroup g;
    int32_t wD[4] = {}, wB[4] = {};
    for (int i = 0; i < 4; ++i) {
        wD[i] = Ramp(pD, nD, i);
        wB[i] = Ramp(pB, nB, i);
        const int32_t wR = kFusionWeightOne - wD[i] - wB[i];
        const int64_t sum =
            int64_t{wD[i]} * DarkLight(tables, Luma(dark, i), rows.shadow[x + i]) +
            int64_t{wB[i]} * t[kFusionBrightSegment + Luma(bright, i)] +
            int64_t{wR} * ReferenceLight(tables, Luma(ref, i), e, rows.highlightLuma[x + i]);
        g.light[i] = Shifted(sum, tables.valueShift);
    }
    int32_t refChroma[4];
    ReferenceChroma(ref, x, e, rows, refChroma);
    for (int c = 0; c < 4; ++c) {
        const int32_t d = c < 2 ? wD[1] : nD, b = c < 2 ? wB[1] : nB;
        g.chroma[c] = ChromaIndex(d, Chroma(dark, c), b, Chroma(bright, c),
                                  kFusionWeightOne - d - b, refChroma[c], chromaShift);
    }
    *weights = {{nD, nB, kFusionWeightOne - nD - nB}};
    return g;
}

FusedGroup BlendGroupDarkPacked422(int32_t x, const uint8_t *ref, const uint8_t *quad,
                                   const SpanTables &tables, const SpanRows &rows,
                                   RunningWeights *weights, int32_t chromaShift) {
    const uint16_t *t = tables.fusion;
    const int32_t rawC = RawWeight(t, Luma(quad, 3), rows.weightDark[x]);
    const int32_t rawR = RawWeight(t, Luma(ref, 3), rows.weightReference[x]);
    const int32_t nC = rawC * Reciprocal(t, rawC + rawR);
    const int32_t pC = weights->w[0];
    const int32_t e = rows.mask[x];

    FusedGroup g;
    int32_t wC[4] = {};
    for (int i = 0; i < 4; ++i) {
        wC[i] = Ramp(pC, nC, i);
        const int64_t sum =
            int64_t{wC[i]} * DarkLight(tables, Luma(quad, i), rows.shadow[x + i]) +
            int64_t{kFusionWeightOne - wC[i]} *
                ReferenceLight(tables, Luma(ref, i), e, rows.highlightLuma[x + i]);
        g.light[i] = Shifted(sum, tables.valueShift);
    }
    int32_t refChroma[4];
    ReferenceChroma(ref, x, e, rows, refChroma);
    for (int c = 0; c < 4; ++c) {
        const int32_t w = c < 2 ? wC[1] : nC;
        g.chroma[c] =
            ChromaIndex(w, Chroma(quad, c), kFusionWeightOne - w, refChroma[c], 0, 0, chromaShift);
    }
    weights->w[0] = nC;
    weights->w[1] = kFusionWeightOne - nC;
    return g;
}

FusedGroup BlendGroupBrightPacked422(int32_t x, const uint8_t *ref, const uint8_t *quad,
                                     const SpanTables &tables, const SpanRows &rows,
                                     int32_t segmentBase, RunningWeights *weights,
                                     int32_t chromaShift) {
    const uint16_t *t = tables.fusion;
    const int32_t rawC = RawWeight(t, Luma(quad, 3), rows.weightBright[x]);
    const int32_t rawR = RawWeight(t, Luma(ref, 3), rows.weightReference[x]);
    const int32_t nC = rawC * Reciprocal(t, rawC + rawR);
    const int32_t pC = weights->w[0];

    FusedGroup g;
    int32_t wC[4] = {};
    for (int i = 0; i < 4; ++i) {
        wC[i] = Ramp(pC, nC, i);
        const int64_t sum =
            int64_t{wC[i]} * t[segmentBase + Luma(quad, i)] +
            int64_t{kFusionWeightOne - wC[i]} *
                ReferenceLightUnmasked(tables, Luma(ref, i), rows.highlightLuma[x + i]);
        g.light[i] = Shifted(sum, tables.valueShift);
    }
    for (int c = 0; c < 4; ++c) {
        const int32_t w = c < 2 ? wC[1] : nC;
        g.chroma[c] = ChromaIndex(w, Chroma(quad, c), kFusionWeightOne - w, Chroma(ref, c), 0, 0,
                                  chromaShift);
    }
    weights->w[0] = nC;
    weights->w[1] = kFusionWeightOne - nC;
    return g;
}

FusedGroup BlendGroupRefOnlyPacked422(int32_t x, const uint8_t *ref, const SpanTables &tables,
                                      const SpanRows &rows, int32_t chromaShift) {
    const int32_t e = rows.mask[x];
    FusedGroup g;
    for (int i = 0; i < 4; ++i)
        g.light[i] = ReferenceScale(
            ReferenceLight(tables, Luma(ref, i), e, rows.highlightLuma[x + i]), tables.valueShift);
    int32_t refChroma[4];
    ReferenceChroma(ref, x, e, rows, refChroma);
    // One exposure with the whole weight: 32768 c >> chromaShift.
    for (int c = 0; c < 4; ++c) g.chroma[c] = refChroma[c] << (15 - chromaShift);
    return g;
}

void FuseSpanBothPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                             const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                             RunningWeights *weights, uint8_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        ToneGroupPacked422(BlendGroupBothPacked422(x, reference, warp, warp + kWarpedQuadBytes,
                                                   tables, rows, weights),
                           rows.gain + x, tables.tone, tables.chroma, out);
}

void FuseSpanDarkPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                             const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                             RunningWeights *weights, uint8_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        ToneGroupPacked422(BlendGroupDarkPacked422(x, reference, warp, tables, rows, weights),
                           rows.gain + x, tables.tone, tables.chroma, out);
}

void FuseSpanBrightPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                               const uint8_t *warp, const SpanTables &tables,
                               const SpanRows &rows, int32_t segmentBase,
                               RunningWeights *weights, uint8_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, warp += kWarpGroupStride, out += 8)
        ToneGroupPacked422(
            BlendGroupBrightPacked422(x, reference, warp, tables, rows, segmentBase, weights),
            rows.gain + x, tables.tone, tables.chroma, out);
}

void FuseSpanRefOnlyPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                                const SpanTables &tables, const SpanRows &rows, uint8_t *out) {
    for (int32_t x = x0; x < x1; x += 4, reference += 8, out += 8)
        ToneGroupPacked422(BlendGroupRefOnlyPacked422(x, reference, tables, rows), rows.gain + x,
                           tables.tone, tables.chroma, out);
}

// The public kernels take the fastest version this process may run.

void FuseSpanBothPacked422(int32_t x0, int32_t x1, const uint8_t *reference, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows, RunningWeights *weights,
                           uint8_t *out) {
    (Avx2KernelsEnabled() ? FuseSpanBothPacked422_AVX2 : FuseSpanBothPacked422_C)(
        x0, x1, reference, warp, tables, rows, weights, out);
}

void FuseSpanDarkPacked422(int32_t x0, int32_t x1, const uint8_t *reference, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows, RunningWeights *weights,
                           uint8_t *out) {
    (Avx2KernelsEnabled() ? FuseSpanDarkPacked422_AVX2 : FuseSpanDarkPacked422_C)(
        x0, x1, reference, warp, tables, rows, weights, out);
}

void FuseSpanBrightPacked422(int32_t x0, int32_t x1, const uint8_t *reference, const uint8_t *warp,
                             const SpanTables &tables, const SpanRows &rows, int32_t segmentBase,
                             RunningWeights *weights, uint8_t *out) {
    (Avx2KernelsEnabled() ? FuseSpanBrightPacked422_AVX2 : FuseSpanBrightPacked422_C)(
        x0, x1, reference, warp, tables, rows, segmentBase, weights, out);
}

void FuseSpanRefOnlyPacked422(int32_t x0, int32_t x1, const uint8_t *reference,
                              const SpanTables &tables, const SpanRows &rows, uint8_t *out) {
    (Avx2KernelsEnabled() ? FuseSpanRefOnlyPacked422_AVX2 : FuseSpanRefOnlyPacked422_C)(
        x0, x1, reference, tables, rows, out);
}

#include "alt/tone_map_kernels.h"

#include "alt/tone_map_row_kernels.h"

#include <algorithm>

namespace {

constexpr int32_t kNeutral16 = 8192;
constexpr int32_t kMax16 = 16383;

// The table pointers are read once: the stores to the output could otherwise alias them and
// force a reload per sample.
void LumaGroup(int32_t x, const uint16_t *luma, uint8_t *out, const ToneRowTables &t) {
    const uint8_t *tone = t.tone;
    const uint16_t *gain = t.gain;
    const uint8_t y0 = ToneLuma(luma[x], gain[x], tone);
    const uint8_t y1 = ToneLuma(luma[x + 1], gain[x + 1], tone);
    const uint8_t y2 = ToneLuma(luma[x + 2], gain[x + 2], tone);
    const uint8_t y3 = ToneLuma(luma[x + 3], gain[x + 3], tone);
    out[x] = y0;
    out[x + 1] = y1;
    out[x + 2] = y2;
    out[x + 3] = y3;
}

// Pixels the groups of four from x0 while x < x1 cover.
int32_t GroupedPixels(int32_t x0, int32_t x1) { return x1 > x0 ? (x1 - x0 + 3) & ~3 : 0; }

// Packed rows: the first table for U, the second for V.
void PackedRow(int32_t x0, int32_t x1, const uint16_t *in, uint8_t *out, const ToneRowTables &t,
               const uint8_t *uTable, const uint8_t *vTable) {
    TonePackedRow(GroupedPixels(x0, x1), in + 2 * x0, t.gain + x0, t.tone, uTable, vTable,
                  out + 2 * x0);
}

void SemiPlanarRow(int32_t x0, int32_t x1, const uint16_t *luma, const uint16_t *uv,
                   uint8_t *outLuma, uint8_t *outUv, const ToneRowTables &t,
                   const uint8_t *firstTable, const uint8_t *secondTable) {
    const int32_t n = GroupedPixels(x0, x1);
    ToneLumaRow(n, luma + x0, t.gain + x0, t.tone, outLuma + x0);
    ToneChromaRow(n, uv + x0, outUv + x0, firstTable, secondTable);
}

void PlanarRow(int32_t x0, int32_t x1, const uint16_t *luma, const uint16_t *u,
               const uint16_t *v, uint8_t *outLuma, uint8_t *outU, uint8_t *outV,
               const ToneRowTables &t, const uint8_t *uTable, const uint8_t *vTable) {
    const int32_t n = GroupedPixels(x0, x1), c = x0 >> 1;
    ToneLumaRow(n, luma + x0, t.gain + x0, t.tone, outLuma + x0);
    ToneChromaRow(n / 2, u + c, outU + c, uTable, uTable);
    ToneChromaRow(n / 2, v + c, outV + c, vTable, vTable);
}

// The chroma sample pushed away from neutral by a factor that grows as the output darkens.
uint8_t AdaptiveChroma(uint32_t c, uint8_t yo, int32_t a, const uint8_t *table) {
    const int32_t f = 4096 - 8 * int32_t{yo};
    const int32_t factor = ((f * a) >> 10) + 2048;
    const int32_t spread = 8192 + (((int32_t(c) - kNeutral16) * factor) >> 10);
    return table[std::clamp(spread, 0, kMax16) >> 2];
}

}  // namespace

void ToneMapRowPacked422(int32_t x0, int32_t x1, const uint16_t *in, uint8_t *out,
                         const ToneRowTables &t) {
    PackedRow(x0, x1, in, out, t, t.chroma, t.chroma);
}

void ToneMapRowTwoTablesPacked422(int32_t x0, int32_t x1, const uint16_t *in, uint8_t *out,
                                  const ToneRowTables &t) {
    PackedRow(x0, x1, in, out, t, t.chroma2, t.chroma);
}

void ToneMapRowSemiPlanar420(int32_t x0, int32_t x1, const uint16_t *luma, const uint16_t *uv,
                             uint8_t *outLuma, uint8_t *outUv, const ToneRowTables &t) {
    SemiPlanarRow(x0, x1, luma, uv, outLuma, outUv, t, t.chroma, t.chroma);
}

void ToneMapRowTwoTablesSemiPlanar420(int32_t x0, int32_t x1, const uint16_t *luma,
                                      const uint16_t *uv, uint8_t *outLuma, uint8_t *outUv,
                                      const ToneRowTables &t) {
    SemiPlanarRow(x0, x1, luma, uv, outLuma, outUv, t, t.chroma2, t.chroma);
}

void ToneMapRowSemiPlanar422(int32_t x0, int32_t x1, const uint16_t *luma, const uint16_t *uv,
                             uint8_t *outLuma, uint8_t *outUv, const ToneRowTables &t) {
    ToneMapRowSemiPlanar420(x0, x1, luma, uv, outLuma, outUv, t);
}

void ToneMapRowTwoTablesSemiPlanar422(int32_t x0, int32_t x1, const uint16_t *luma,
                                      const uint16_t *uv, uint8_t *outLuma, uint8_t *outUv,
                                      const ToneRowTables &t) {
    ToneMapRowTwoTablesSemiPlanar420(x0, x1, luma, uv, outLuma, outUv, t);
}

void ToneMapRowPlanar420(int32_t x0, int32_t x1, const uint16_t *luma, const uint16_t *u,
                         const uint16_t *v, uint8_t *outLuma, uint8_t *outU, uint8_t *outV,
                         const ToneRowTables &t) {
    PlanarRow(x0, x1, luma, u, v, outLuma, outU, outV, t, t.chroma, t.chroma);
}

void ToneMapRowTwoTablesPlanar420(int32_t x0, int32_t x1, const uint16_t *luma,
                                  const uint16_t *u, const uint16_t *v, uint8_t *outLuma,
                                  uint8_t *outU, uint8_t *outV, const ToneRowTables &t) {
    PlanarRow(x0, x1, luma, u, v, outLuma, outU, outV, t, t.chroma, t.chroma2);
}

void ToneMapRowPlanar422(int32_t x0, int32_t x1, const uint16_t *luma, const uint16_t *u,
                         const uint16_t *v, uint8_t *outLuma, uint8_t *outU, uint8_t *outV,
                         const ToneRowTables &t) {
    PlanarRow(x0, x1, luma, u, v, outLuma, outU, outV, t, t.chroma, t.chroma);
}

void ToneMapRowTwoTablesPlanar422(int32_t x0, int32_t x1, const uint16_t *luma,
                                  const uint16_t *u, const uint16_t *v, uint8_t *outLuma,
                                  uint8_t *outU, uint8_t *outV, const ToneRowTables &t) {
    PlanarRow(x0, x1, luma, u, v, outLuma, outU, outV, t, t.chroma2, t.chroma);
}

void ToneMapRowAdaptiveChromaPacked422(int32_t x0, int32_t x1, const uint16_t *in,
                                       uint8_t *out, const ToneRowTables &t) {
    for (int32_t x = x0; x < x1; x += 4) {
        const uint16_t *g = in + 2 * x;
        uint8_t *o = out + 2 * x;
        for (int p = 0; p < 4; ++p) o[2 * p] = ToneLuma(g[2 * p], t.gain[x + p], t.tone);
        for (int pair = 0; pair < 2; ++pair) {
            const uint8_t yo = o[4 * pair];
            o[4 * pair + 1] = AdaptiveChroma(g[4 * pair + 1], yo, 144, t.chroma);
            o[4 * pair + 3] = AdaptiveChroma(g[4 * pair + 3], yo, 182, t.chroma);
        }
    }
}

void ToneMapRowAdaptiveChromaPlanar420(int32_t x0, int32_t x1, const uint16_t *luma,
                                       const uint16_t *u, const uint16_t *v, uint8_t *outLuma,
                                       uint8_t *outU, uint8_t *outV, const ToneRowTables &t) {
    for (int32_t x = x0; x < x1; x += 4) {
        LumaGroup(x, luma, outLuma, t);
        const int32_t c = x >> 1;
        const uint8_t yo = outLuma[x];
        outU[c] = outU[c + 1] = AdaptiveChroma(u[c], yo, 578, t.chroma);
        outV[c] = outV[c + 1] = AdaptiveChroma(v[c], yo, 730, t.chroma);
    }
}

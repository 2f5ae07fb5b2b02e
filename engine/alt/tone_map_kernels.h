// Row kernels of the intermediate's tone mapping: one 16-bit row (luma 4 x 12-bit, chroma
// 64 x 8-bit) to one 8-bit row, through the gain row, the tone table and the chroma tables.
// Every kernel works in groups of four pixels from x0 while x < x1; rows are addressed from
// pixel 0 (x0 is a multiple of 4). The 16-bit rows start at the process rectangle's left.
#pragma once

#include <cstdint>

// The tables a kernel reads: tone (4096 entries), chroma (4096) and, for the two-table
// kernels, chroma2 (4096). gain is the row of Q10 gains, one per pixel.
struct ToneRowTables {
    const uint8_t *tone;
    const uint8_t *chroma;
    const uint8_t *chroma2;
    const uint16_t *gain;
};

// Luma sample of a pixel through its gain and the tone table: (Y G) >> 12, held to 4095.
inline uint8_t ToneLuma(uint32_t y, uint32_t gain, const uint8_t *tone) {
    const uint32_t v = (y * gain) >> 12;
    return tone[v <= 4095 ? v : 4095];
}

// Chroma sample through a chroma table, its index held to the table.
inline uint8_t ToneChroma(uint32_t c, const uint8_t *table) {
    const uint32_t i = c >> 2;
    return table[i <= 4095 ? i : 4095];
}

// Packed 4:2:2: in holds Y0 U Y1 V per pixel pair, out the same order in bytes.
void ToneMapRowPacked422(int32_t x0, int32_t x1, const uint16_t *in, uint8_t *out,
                         const ToneRowTables &t);
// U through chroma2, V through chroma.
void ToneMapRowTwoTablesPacked422(int32_t x0, int32_t x1, const uint16_t *in, uint8_t *out,
                                  const ToneRowTables &t);

// Semi-planar (4:2:0 and 4:2:2 alike): a luma row and an interleaved chroma row, 4 chroma
// samples per group of 4 pixels.
void ToneMapRowSemiPlanar420(int32_t x0, int32_t x1, const uint16_t *luma, const uint16_t *uv,
                             uint8_t *outLuma, uint8_t *outUv, const ToneRowTables &t);
// First sample of each pair through chroma2, second through chroma.
void ToneMapRowTwoTablesSemiPlanar420(int32_t x0, int32_t x1, const uint16_t *luma,
                                      const uint16_t *uv, uint8_t *outLuma, uint8_t *outUv,
                                      const ToneRowTables &t);
void ToneMapRowSemiPlanar422(int32_t x0, int32_t x1, const uint16_t *luma, const uint16_t *uv,
                             uint8_t *outLuma, uint8_t *outUv, const ToneRowTables &t);
void ToneMapRowTwoTablesSemiPlanar422(int32_t x0, int32_t x1, const uint16_t *luma,
                                      const uint16_t *uv, uint8_t *outLuma, uint8_t *outUv,
                                      const ToneRowTables &t);

// Planar: luma, U and V rows, 2 U and 2 V samples per group of 4 pixels (chroma indexed by
// x / 2).
void ToneMapRowPlanar420(int32_t x0, int32_t x1, const uint16_t *luma, const uint16_t *u,
                         const uint16_t *v, uint8_t *outLuma, uint8_t *outU, uint8_t *outV,
                         const ToneRowTables &t);
// U through chroma, V through chroma2.
void ToneMapRowTwoTablesPlanar420(int32_t x0, int32_t x1, const uint16_t *luma,
                                  const uint16_t *u, const uint16_t *v, uint8_t *outLuma,
                                  uint8_t *outU, uint8_t *outV, const ToneRowTables &t);
void ToneMapRowPlanar422(int32_t x0, int32_t x1, const uint16_t *luma, const uint16_t *u,
                         const uint16_t *v, uint8_t *outLuma, uint8_t *outU, uint8_t *outV,
                         const ToneRowTables &t);
// U through chroma2, V through chroma.
void ToneMapRowTwoTablesPlanar422(int32_t x0, int32_t x1, const uint16_t *luma,
                                  const uint16_t *u, const uint16_t *v, uint8_t *outLuma,
                                  uint8_t *outU, uint8_t *outV, const ToneRowTables &t);

// Adaptive chroma: the chroma distance from neutral grows as the group's first output luma
// darkens, by 2 + (4096 - 8 Yo) a / 2^20, before the one chroma table.
// Packed: a = 144 for U, 182 for V, per pixel pair.
void ToneMapRowAdaptiveChromaPacked422(int32_t x0, int32_t x1, const uint16_t *in,
                                       uint8_t *out, const ToneRowTables &t);
// Planar: a = 578 for U, 730 for V; the first chroma sample of each group serves both output
// chroma bytes of the group.
void ToneMapRowAdaptiveChromaPlanar420(int32_t x0, int32_t x1, const uint16_t *luma,
                                       const uint16_t *u, const uint16_t *v, uint8_t *outLuma,
                                       uint8_t *outU, uint8_t *outV, const ToneRowTables &t);

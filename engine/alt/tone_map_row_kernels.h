// Row kernels the tone mapping's format kernels are built from: luma through its gain and the
// tone table, and 16-bit chroma through the chroma tables. Each has a plain reference and an
// SSE2 version giving the same bytes; the plain one serves where SSE2 is not built in and
// when TONEFOLD_PLAIN_KERNELS=1 asks for it.
#pragma once

#include <cstdint>

// out[x] = tone[min((luma[x] gain[x]) >> 12, 4095)] for x in [0, n), the product in 32 bits.
void ToneLumaRow_C(int32_t n, const uint16_t *luma, const uint16_t *gain, const uint8_t *tone,
                   uint8_t *out);
void ToneLumaRow_SSE2(int32_t n, const uint16_t *luma, const uint16_t *gain,
                      const uint8_t *tone, uint8_t *out);
void ToneLumaRow(int32_t n, const uint16_t *luma, const uint16_t *gain, const uint8_t *tone,
                 uint8_t *out);

// out[i] = table[min(in[i] >> 2, 4095)] for i in [0, n), even i through `even`, odd through
// `odd` (one table for a planar chroma row, two alternating for an interleaved one).
void ToneChromaRow_C(int32_t n, const uint16_t *in, uint8_t *out, const uint8_t *even,
                     const uint8_t *odd);
void ToneChromaRow_SSE2(int32_t n, const uint16_t *in, uint8_t *out, const uint8_t *even,
                        const uint8_t *odd);
void ToneChromaRow(int32_t n, const uint16_t *in, uint8_t *out, const uint8_t *even,
                   const uint8_t *odd);

// Packed 4:2:2, n pixels (even): samples Y0 U Y1 V per pixel pair to bytes in the same order,
// luma as above with gain[pixel], U through uTable and V through vTable as chroma above.
void TonePackedRow_C(int32_t n, const uint16_t *in, const uint16_t *gain, const uint8_t *tone,
                     const uint8_t *uTable, const uint8_t *vTable, uint8_t *out);
void TonePackedRow_SSE2(int32_t n, const uint16_t *in, const uint16_t *gain,
                        const uint8_t *tone, const uint8_t *uTable, const uint8_t *vTable,
                        uint8_t *out);
void TonePackedRow(int32_t n, const uint16_t *in, const uint16_t *gain, const uint8_t *tone,
                   const uint8_t *uTable, const uint8_t *vTable, uint8_t *out);

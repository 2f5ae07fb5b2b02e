// Small row kernels of the 16-bit fusion family that scale or move chroma: by a factor that
// follows the luma (for the three 8-bit layouts and for warp-buffer quads), a boost of dark
// chroma and a fixed offset on warp-buffer quads, and a second form of the highlight luma
// offset fade. They stand apart from the band passes, which do not call them; which tables,
// shifts and rows they get is the caller's choice.
//
// Every loop runs over pixels [x, end) of one row in its step. A chroma byte C scaled by a
// factor f (256 = 1.0) becomes ((C - 128) f >> 8) + 128 with an arithmetic shift. The luma
// weight table has one int32 entry per 8-bit luma value and the kernels use t = entry >> 4.
// The arithmetic is 64-bit, so any table entry gives a defined result, and the shift s is
// held to 0..63.
//
// Layouts: an interleaved chroma row holds pixel x's pair at bytes x and x + 1 (x even); a
// packed 4:2:2 row (PIXEL_FORMAT_YUYV) holds the group of pixel x at byte 2x as Y0 U0 Y1 V0 Y2 U1
// Y3 V1; a quad row (a warp buffer) holds the group of pixel x at byte 4x, its first 8 bytes a
// WarpedQuad in the packed order and the next 8 untouched.
#pragma once

#include <cstdint>

struct HdrSession;

// Step 2 pixels: t from the luma of the pair's first pixel, g = ((128 t + 256 (384 - t)) >> s)
// - 256; the U byte (first) scaled by ((g * 365) >> 10) + 256, the V byte by ((g * 289) >> 10)
// + 256; results saturate to 0..255.
void AdjustChromaByLumaSemiPlanarUV(int32_t x, int32_t end, const uint8_t *luma,
                                    uint8_t *chroma, int32_t s, const int32_t *lumaWeights);
// The same for V-first pairs (PIXEL_FORMAT_NV21): the first byte (V) takes the factor with
// 289, the second (U) the one with 365.
void AdjustChromaByLumaSemiPlanarVU(int32_t x, int32_t end, const uint8_t *luma,
                                    uint8_t *chroma, int32_t s, const int32_t *lumaWeights);
// Step 4 pixels: t from Y0, g as above; U bytes scaled by ((g * 578) >> 10) + 256, V bytes by
// ((g * 730) >> 10) + 256; results saturate to 0..255.
void AdjustChromaByLumaPacked422(int32_t x, int32_t end, uint8_t *packed, int32_t s,
                                 const int32_t *lumaWeights);
// Step 4 pixels over quads: t from Y0, b = 256 - ((256 t + 128 (256 - t)) >> s); U bytes
// scaled by 256 - ((b * 578) >> 10), V bytes by 256 - ((b * 730) >> 10). The low 8 bits of
// each result are stored: a factor above 1.0 wraps instead of saturating.
void AdjustChromaByLumaQuads(int32_t x, int32_t end, uint8_t *quads, int32_t s,
                             const int32_t *lumaWeights);
// Step 4 pixels over quads: where Y0 <= 128 the chroma bytes are scaled by 512 - 2 Y0 (2.0 at
// black down to 1.0 at 128) and saturate to 0..255; brighter groups stay as they are.
void BoostDarkChromaQuads(int32_t x, int32_t end, uint8_t *quads);
// Step 4 pixels over quads: U bytes plus uOffset, V bytes plus vOffset, saturating to 0..255.
void OffsetChromaQuads(int32_t x, int32_t end, uint8_t *quads, int32_t uOffset, int32_t vOffset);

// The highlight luma offset fade (FadeRecoveryLumaOffsetRowSemiPlanar422): only rows y in
// [dy + 4, dy + overlapRect.height - 4] (dy = globalShift[1]); over the overlap's columns in
// steps of 4, where the mask is non-zero at the group, each pixel whose secondary luma Y is
// above 240 gets its offset multiplied by (256 - Y) and shifted right by 4. secondaryLuma
// stands at processRect.x; offsetRows[2] (the last slot, after the U and V rows, which are not
// read) is the highlight luma offset row, indexed by absolute x.
void FadeHighlightLumaOffsetRow(const HdrSession *session, const int16_t *mask, int32_t y,
                                const uint8_t *secondaryLuma, int16_t *const offsetRows[3]);

// The art effect kernels: single in-place passes over 24-bit pictures.
//
// A picture is `height` rows of `lineBytes` bytes; a row holds `width` pixels of three bytes in
// the order B, G, R from its first byte, and the bytes after 3 * width are never touched. Per-pixel
// arithmetic is integer only; tables are built on the stack for each call, so the kernels are
// pure functions of their arguments and may run on any thread on distinct buffers.
//
// Each kernel returns 1 when it ran. A width or height of 0 or less processes nothing and
// returns 1; a null buffer or rows shorter than 3 * width process nothing and return 0.
#pragma once

#include <cstdint>

// S-curve contrast about level 128 (contrast 0 = off, clamped to -200..199), then saturation
// (-100..100, 0 = off). A saturation outside -100..100 is refused after the contrast step:
// the result is then 0.
int LomoContrastSaturation(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes,
                           int32_t contrast, int32_t saturation);

// Trilinear lookup of every pixel in LomoColorLookTable.
int LomoColorLook(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes);

// Replaces every pixel by its luma (306 R + 601 G + 117 B) >> 10.
int LomoGrayscale(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes);

// Tints the picture with a lens colour at an opacity in percent (clamped to 0..100, 0 = off).
// With keepLuminosity non-zero each pixel keeps its luma and bright pixels fade out of the tint.
int LomoLensTint(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes, uint8_t lensR,
                 uint8_t lensG, uint8_t lensB, int32_t opacity, int32_t keepLuminosity);

// Darkens towards the corners: a pixel at the corner distance keeps 4^(-strength / 50) of its
// value. Strength 0 or less leaves the picture as it is.
int LomoVignette(uint8_t *buffer, int32_t width, int32_t height, int32_t lineBytes,
                 int32_t strength);

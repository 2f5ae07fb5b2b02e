// Per-pixel operations over row images that prepare guides, masks and difference maps for
// the filters: grey and channel-maximum images, absolute differences, the union of two masks,
// 8-bit CIELAB, and moves between row images and packed buffers. None allocates memory.
//
// Every operation walks the width and height of its first row image (for WidenBytesToInt32
// the int32 image); the others must be at least that large, 8-bit single-channel images where
// one is expected and 8-bit images of at least three channels for colour. Colour pixels are
// `channels` bytes apart with B, G, R in bytes 0, 1, 2. Packed buffers hold width bytes per
// row, rows one after another. Results: RESULT_OK, or RESULT_INVALID_ARGUMENT for null or
// too small images (nothing written).
#pragma once

#include <cstdint>

#include "core/hdr_engine.h"
#include "core/row_image.h"

// (11 B + 59 G + 30 R) / 100.
int32_t BgrToGrey(const RowImage *colour, RowImage *grey);
// max(B, G, R).
int32_t MaxOfChannels(const RowImage *colour, RowImage *output);
// |A - B|.
int32_t AbsDiff8(const RowImage *a, const RowImage *b, RowImage *output);
// max(|A - B|, |A - C|).
int32_t MaxAbsDiff2(const RowImage *a, const RowImage *b, const RowImage *c, RowImage *output);
// max(|A - B|, |A - C|, |A - D|, |A - E|).
int32_t MaxAbsDiff4(const RowImage *a, const RowImage *b, const RowImage *c, const RowImage *d,
                    const RowImage *e, RowImage *output);
// 255 where A or B is non-zero, else 0.
int32_t MaskOr(const RowImage *a, const RowImage *b, RowImage *output);
// Byte 0 of each pixel of an 8-bit image into a packed buffer. Pixels are `channels` bytes
// apart, so a three-channel image is never read past its rows.
int32_t ExtractFirstByte(const RowImage *image, uint8_t *packed);
// Each byte of the packed buffer, zero-extended, into the int32 image. The second argument
// is not used.
int32_t WidenBytesToInt32(const uint8_t *packed, const void *unused, RowImage *output);
// L, a, b bytes into bytes 0, 1, 2 of the output's pixels (`channels` bytes apart), from
// the bytes as they are (no gamma expansion). The output may be the source.
int32_t BgrToLab(const RowImage *colour, RowImage *output);

// Row-pointer image: a pixel block reached through a table of row pointers.
#pragma once

#include <cstdint>

#include "hdr_engine.h"

struct RowImage {
    int32_t width;
    int32_t height;
    int32_t rowBytes;    // a multiple of 4, or the caller's pitch for a wrapped image
    int32_t totalBytes;  // height x rowBytes
    int32_t channels;
    int32_t bitsPerChannel;
    uint8_t *data;
    uint8_t **rows;
};

// Every constructor returns null when an allocation fails (freeing what it obtained), for
// negative sizes, channels or bits below 1, a wrapped pitch shorter than a row's samples, or
// sizes whose byte counts do not fit the 32-bit fields. A height of 0 gives no rows.
RowImage *CreateRowImage(MemoryContext memory, int32_t width, int32_t height,
                         int32_t bitsPerChannel, int32_t channels);
RowImage *CloneRowImage(MemoryContext memory, const RowImage *image);
RowImage *WrapRowImage(MemoryContext memory, uint8_t *pixels, int32_t width, int32_t height,
                       int32_t bitsPerChannel, int32_t channels, int32_t pitch);
void FreeRowImage(MemoryContext memory, RowImage **image);
// Frees the rows and the record of a wrapped image; the pixels stay the caller's.
void FreeRowImageHeader(MemoryContext memory, RowImage **image);
void ClearRowImage(RowImage *image);

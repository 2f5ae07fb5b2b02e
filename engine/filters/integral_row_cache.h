// A sliding window of 64-bit integral rows of one RowImage, built on demand, so the filters
// over row images never hold a full-size integral image.
#pragma once

#include <cstdint>

#include "core/hdr_engine.h"
#include "core/row_image.h"

// Integral row y (0 <= y <= height) holds at entry x (0 <= x <= width) the sum of a quantity
// over image rows 0..y-1 and columns 0..x-1. Rows live in slots; a slot is taken for a new
// row at the top of the window and freed when the window passes it.
struct IntegralRowCache {
    int32_t rowLength;     // image width + 1
    int32_t rowCount;      // image height + 1
    int64_t **rowTable;    // rowCount entries: the slot holding row y, or null
    int64_t *slotStorage;  // slotCount x rowLength entries
    int32_t *slotInUse;    // 1 while a slot holds a row
    int32_t slotCount;
};

// Row 0 (all zeros) is entered in slot 0. Null when an allocation fails or slotCount < 1.
IntegralRowCache *CreateIntegralRowCache(MemoryContext memory, const RowImage *image,
                                         int32_t slotCount);
void FreeIntegralRowCache(MemoryContext memory, IntegralRowCache **cache);

// Each append builds integral row y + 1 from image row y, and does nothing unless row y is
// present and row y + 1 absent. kind 1 sums 8-bit samples, kind 2 their squares.
enum { INTEGRAL_SUM = 1, INTEGRAL_SQUARES = 2 };
void AppendIntegralRow8(IntegralRowCache *cache, const RowImage *image, int32_t y, int32_t kind);
// Sums guide sample x input sample (8-bit guide, signed 32-bit input), each product in 32 bits.
void AppendIntegralRowProduct(IntegralRowCache *cache, const RowImage *guide,
                              const RowImage *input, int32_t y);
// Sums A[y][x] * B[y][x] of two 8-bit images; A's width sets the row length.
void AppendIntegralRowProduct8(IntegralRowCache *cache, const RowImage *a, const RowImage *b,
                               int32_t y);
void AppendIntegralRow32(IntegralRowCache *cache, const RowImage *image, int32_t y);
// Frees rows y-1, y-2, ... going down, stopping at the first absent row.
void ReleaseIntegralRowsBelow(IntegralRowCache *cache, int32_t y);

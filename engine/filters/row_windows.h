// Clipped windows over integral-row caches, shared by the single-threaded filters over row
// images. Internal to the filters.
#pragma once

#include <algorithm>
#include <cstdint>

#include "filters/integral_row_cache.h"

namespace row_windows {

// Rows [y0, y1) of a window, clipped to the image.
struct RowSpan {
    int32_t y0, y1;
};

inline RowSpan WindowRows(int32_t k, int32_t radius, int32_t height) {
    return {std::max(0, k - radius), std::min(k + radius + 1, height)};
}

// Slots a cache needs so that the 2r + 2 integral rows of a window fit, never more than the
// image has rows (+ 1).
inline int32_t SlotsFor(int32_t radius, int32_t height) {
    return static_cast<int32_t>(std::min<int64_t>(
        std::max<int64_t>(3 * int64_t{radius}, 2 * int64_t{radius} + 2), int64_t{height} + 1));
}

// Windows are clipped, so a radius beyond the image covers what one equal to its size does.
inline int32_t UsefulRadius(int32_t radius, int32_t width, int32_t height) {
    return std::min(radius, std::max(width, height));
}

// Brings a cache to hold the integral rows y0..y1 of the window around row k.
template <typename Append>
void SlideCache(IntegralRowCache *cache, int32_t k, int32_t radius, RowSpan rows, Append append) {
    if (k - radius > 0) ReleaseIntegralRowsBelow(cache, rows.y0);
    for (int32_t l = rows.y0; l < rows.y1; ++l) append(cache, l);
}

inline int64_t WindowSum(const IntegralRowCache *cache, RowSpan rows, int32_t x0, int32_t x1) {
    const int64_t *top = cache->rowTable[rows.y0];
    const int64_t *bottom = cache->rowTable[rows.y1];
    return bottom[x1] - bottom[x0] - top[x1] + top[x0];
}

// A 64-bit window sum divided with truncation toward zero, taken as its low 32 bits.
inline int32_t WindowMean(const IntegralRowCache *cache, RowSpan rows, int32_t x0, int32_t x1,
                          int64_t count) {
    return static_cast<int32_t>(WindowSum(cache, rows, x0, x1) / count);
}

// 32-bit arithmetic that wraps like the machine's: formed in 64 bits, low 32 bits kept.
inline int32_t Low32(int64_t v) { return static_cast<int32_t>(v); }

// One channel of the given bits (colour: at least three 8-bit channels).
inline bool IsPlane(const RowImage *image, int32_t bits, bool colour = false) {
    return image && (colour ? image->channels >= 3 : image->channels == 1) &&
           image->bitsPerChannel == bits &&
           image->width >= 0 && image->height >= 0 && (image->height == 0 || image->rows);
}

inline bool SameSize(const RowImage *a, const RowImage *b) {
    return a->width == b->width && a->height == b->height;
}

}  // namespace row_windows

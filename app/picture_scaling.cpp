#include "picture_scaling.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Where destination pixel i reads: the left (or upper) source pixel and the share, 0..255 of 256,
// of the next one.
struct Taps {
    std::vector<int32_t> index;
    std::vector<uint16_t> weight;  // four copies per pixel, one for each channel
};

// Source position of destination pixel i's centre, (i + 0.5) * source / full - 0.5, in 1/256
// pixels, clamped to the picture.
int64_t TapPosition(int64_t i, int sourceSize, int fullSize) {
    const int64_t position = ((2 * i + 1) * sourceSize * 256) / (2 * int64_t(fullSize)) - 128;
    return std::clamp<int64_t>(position, 0, int64_t(sourceSize - 1) * 256);
}

// a + (b - a) * w / 256 on each channel, rounded: two channels at a time in 16-bit lanes.
inline uint32_t Blend(uint32_t a, uint32_t b, uint32_t w) {
    const uint32_t keep = 256 - w;
    const uint32_t evens =
        (((a & 0x00FF00FF) * keep + (b & 0x00FF00FF) * w + 0x00800080) >> 8) & 0x00FF00FF;
    const uint32_t odds =
        (((a >> 8) & 0x00FF00FF) * keep + ((b >> 8) & 0x00FF00FF) * w + 0x00800080) & 0xFF00FF00;
    return evens | odds;
}

// Row kernels. BlendRows: out[k] = Blend(upper[k], lower[k], w) for count pixels.
// ExpandRow: out[i] = Blend(line[index[i]], line[index[i] + 1], weight[i]); line holds one pixel
// beyond the last index that has a weight.
void BlendRowsC(const uint32_t *upper, const uint32_t *lower, uint32_t w, uint32_t *out,
                int count) {
    for (int k = 0; k < count; ++k) out[k] = Blend(upper[k], lower[k], w);
}

void ExpandRowC(const uint32_t *line, const int32_t *index, const uint16_t *weight,
                uint32_t *out, int count) {
    for (int i = 0; i < count; ++i) {
        const uint32_t a = line[index[i]], w = weight[4 * i];
        out[i] = w == 0 ? a : Blend(a, line[index[i] + 1], w);
    }
}

#if defined(__SSE2__)
// Two pixels as eight 16-bit channels times their weights: (a * (256 - w) + b * w + 128) >> 8.
inline __m128i Blend16(__m128i a, __m128i b, __m128i w) {
    const __m128i keep = _mm_sub_epi16(_mm_set1_epi16(256), w);
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(a, keep),
                                                    _mm_mullo_epi16(b, w)),
                                      _mm_set1_epi16(128));
    return _mm_srli_epi16(sum, 8);
}

void BlendRowsSSE2(const uint32_t *upper, const uint32_t *lower, uint32_t w, uint32_t *out,
                   int count) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i weight = _mm_set1_epi16(static_cast<short>(w));
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(upper + k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lower + k));
        const __m128i low = Blend16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), weight);
        const __m128i high =
            Blend16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), weight);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + k), _mm_packus_epi16(low, high));
    }
    BlendRowsC(upper + k, lower + k, w, out + k, count - k);
}

void ExpandRowSSE2(const uint32_t *line, const int32_t *index, const uint16_t *weight,
                   uint32_t *out, int count) {
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        // The right-hand pixel of a tap without weight is never used, so read the left one again
        // rather than past the line's end.
        auto right = [&](int n) { return line[index[i + n] + (weight[4 * (i + n)] != 0)]; };
        const __m128i a = _mm_setr_epi32(int(line[index[i]]), int(line[index[i + 1]]),
                                         int(line[index[i + 2]]), int(line[index[i + 3]]));
        const __m128i b =
            _mm_setr_epi32(int(right(0)), int(right(1)), int(right(2)), int(right(3)));
        const __m128i w01 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(weight + 4 * i));
        const __m128i w23 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(weight + 4 * i + 8));
        const __m128i low = Blend16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), w01);
        const __m128i high = Blend16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), w23);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_packus_epi16(low, high));
    }
    ExpandRowC(line, index + i, weight + 4 * i, out + i, count - i);
}
#endif

using BlendRowsFunction = void (*)(const uint32_t *, const uint32_t *, uint32_t, uint32_t *, int);
using ExpandRowFunction = void (*)(const uint32_t *, const int32_t *, const uint16_t *,
                                   uint32_t *, int);

bool ValidPart(const uint8_t *source, int sourceWidth, int sourceHeight, uint8_t *destination,
               const ScaledPart &part) {
    return source && destination && sourceWidth > 0 && sourceHeight > 0 && part.fullWidth > 0 &&
           part.fullHeight > 0 && part.width > 0 && part.height > 0 && part.x >= 0 &&
           part.y >= 0 && int64_t(part.x) + part.width <= part.fullWidth &&
           int64_t(part.y) + part.height <= part.fullHeight;
}

// Columns of the part relative to first, the first source column it reads.
Taps ColumnTaps(int sourceWidth, const ScaledPart &part, int *first) {
    Taps taps;
    taps.index.resize(part.width);
    taps.weight.resize(size_t(part.width) * 4);
    *first = static_cast<int>(TapPosition(part.x, sourceWidth, part.fullWidth) >> 8);
    for (int i = 0; i < part.width; ++i) {
        const int64_t p = TapPosition(part.x + int64_t(i), sourceWidth, part.fullWidth);
        taps.index[i] = static_cast<int32_t>((p >> 8) - *first);
        std::fill_n(taps.weight.begin() + 4 * i, 4, static_cast<uint16_t>(p & 0xFF));
    }
    return taps;
}

bool Scale(const uint8_t *source, int64_t sourceStride, int sourceWidth, int sourceHeight,
           uint8_t *destination, int64_t destinationStride, const ScaledPart &part,
           BlendRowsFunction blendRows, ExpandRowFunction expandRow) {
    if (!ValidPart(source, sourceWidth, sourceHeight, destination, part)) return false;
    auto sourceRow = [&](int row, int column) {
        return reinterpret_cast<const uint32_t *>(source + row * sourceStride) + column;
    };
    auto destinationRow = [&](int j) {
        return reinterpret_cast<uint32_t *>(destination + j * destinationStride);
    };
    if (part.fullWidth == sourceWidth && part.fullHeight == sourceHeight) {
        // Unscaled: the part is a plain copy.
        for (int j = 0; j < part.height; ++j)
            std::memcpy(destinationRow(j), sourceRow(part.y + j, part.x), size_t(part.width) * 4);
        return true;
    }
    int first = 0;
    const Taps columns = ColumnTaps(sourceWidth, part, &first);
    if (part.fullHeight >= sourceHeight) {
        // Enlarged rows: each source row is widened once and shared by the destination rows
        // between it and the next, which blend two widened rows.
        std::vector<uint32_t> widened[2] = {std::vector<uint32_t>(part.width),
                                            std::vector<uint32_t>(part.width)};
        int widenedRow[2] = {-1, -1};
        auto widen = [&](int row) -> const uint32_t * {
            for (int n = 0; n < 2; ++n)
                if (widenedRow[n] == row) return widened[n].data();
            // Replace the row above the wanted one first: rows only move down.
            const int n = widenedRow[0] < widenedRow[1] ? 0 : 1;
            expandRow(sourceRow(row, first), columns.index.data(), columns.weight.data(),
                      widened[n].data(), part.width);
            widenedRow[n] = row;
            return widened[n].data();
        };
        for (int j = 0; j < part.height; ++j) {
            const int64_t p = TapPosition(part.y + int64_t(j), sourceHeight, part.fullHeight);
            const int row = static_cast<int>(p >> 8);
            const uint32_t weight = static_cast<uint32_t>(p & 0xFF);
            const uint32_t *upper = widen(row);
            if (weight == 0) {
                std::memcpy(destinationRow(j), upper, size_t(part.width) * 4);
            } else {
                const uint32_t *lower = widen(row + 1);
                upper = widen(row);  // still held: the two slots hold row and row + 1
                blendRows(upper, lower, weight, destinationRow(j), part.width);
            }
        }
        return true;
    }
    // Reduced rows: the two source rows are blended over the columns the part reads, then
    // widened or narrowed along the row.
    const int span = std::min(first + columns.index.back() + 1, sourceWidth - 1) - first + 1;
    std::vector<uint32_t> line(span);
    for (int j = 0; j < part.height; ++j) {
        const int64_t p = TapPosition(part.y + int64_t(j), sourceHeight, part.fullHeight);
        const int row = static_cast<int>(p >> 8);
        const uint32_t weight = static_cast<uint32_t>(p & 0xFF);
        const uint32_t *blended = sourceRow(row, first);
        if (weight != 0) {
            blendRows(sourceRow(row, first), sourceRow(row + 1, first), weight, line.data(), span);
            blended = line.data();
        }
        expandRow(blended, columns.index.data(), columns.weight.data(), destinationRow(j),
                  part.width);
    }
    return true;
}

}  // namespace

bool ScaleArgbPart(const uint8_t *source, int64_t sourceStride, int sourceWidth,
                   int sourceHeight, uint8_t *destination, int64_t destinationStride,
                   const ScaledPart &part) {
#if defined(__SSE2__)
    return Scale(source, sourceStride, sourceWidth, sourceHeight, destination, destinationStride,
                 part, BlendRowsSSE2, ExpandRowSSE2);
#else
    return Scale(source, sourceStride, sourceWidth, sourceHeight, destination, destinationStride,
                 part, BlendRowsC, ExpandRowC);
#endif
}

bool ScaleArgbPartReference(const uint8_t *source, int64_t sourceStride, int sourceWidth,
                            int sourceHeight, uint8_t *destination, int64_t destinationStride,
                            const ScaledPart &part) {
    return Scale(source, sourceStride, sourceWidth, sourceHeight, destination, destinationStride,
                 part, BlendRowsC, ExpandRowC);
}

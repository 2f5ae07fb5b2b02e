// The soft focus's level operations over 8-bit and 16-bit planes. None of them allocates: the
// smoothing works in place and keeps only the few original samples it still needs.
#include <algorithm>
#include <cstdint>

#include "effects/lomo_rows.h"
#include "effects/lomo_warp_kernels.h"

namespace {

// The taps of one output index t along an axis of n >= 2 samples: [1 1] over 2t, 2t + 1 at the
// first index, [1 1] over 2t - 1, 2t at the last index of an odd size, [1 2 1] around 2t
// elsewhere. Unused taps have weight 0 and repeat a used index.
struct HalfTaps {
    int32_t index[3];
    int32_t weight[3];
    int32_t shift;  // log2 of the weight sum
};

HalfTaps HalfTapsAt(int32_t t, int32_t n) {
    if (t == 0) return {{0, 1, 1}, {1, 1, 0}, 1};
    if ((n & 1) && t == (n - 1) >> 1) return {{2 * t - 1, 2 * t, 2 * t}, {1, 1, 0}, 1};
    return {{2 * t - 1, 2 * t, 2 * t + 1}, {1, 2, 1}, 2};
}

// Interior outputs u (taps 2u - 1, 2u, 2u + 1) of one output row from three weighted rows.
LOMO_ROW_KERNEL void HalveRowInterior(const uint8_t *r0, const uint8_t *r1, const uint8_t *r2,
                                      uint32_t w0, uint32_t w1, uint32_t w2, int32_t shift,
                                      int32_t first, int32_t end, uint8_t *out) {
    LOMO_SIMD
    for (int32_t u = first; u < end; ++u) {
        const int32_t c = 2 * u;
        const uint32_t left = w0 * r0[c - 1] + w1 * r1[c - 1] + w2 * r2[c - 1];
        const uint32_t mid = w0 * r0[c] + w1 * r1[c] + w2 * r2[c];
        const uint32_t right = w0 * r0[c + 1] + w1 * r1[c + 1] + w2 * r2[c + 1];
        out[u] = static_cast<uint8_t>((left + 2 * mid + right) >> shift);
    }
}

uint8_t HalveSample(const uint8_t *const rows[3], const HalfTaps &ty, const HalfTaps &tx) {
    uint32_t sum = 0;
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            sum += static_cast<uint32_t>(ty.weight[a] * tx.weight[b]) * rows[a][tx.index[b]];
    return static_cast<uint8_t>(sum >> (ty.shift + tx.shift));
}

LOMO_ROW_KERNEL void DoubleRowEven(const uint8_t *s, int32_t sourceWidth, int32_t width,
                                   uint8_t *out) {
    LOMO_SIMD
    for (int32_t j = 0; j < sourceWidth - 1; ++j) {
        out[2 * j] = s[j];
        out[2 * j + 1] = static_cast<uint8_t>((s[j] + s[j + 1]) >> 1);
    }
    const int32_t j = sourceWidth - 1;
    out[2 * j] = s[j];
    if (2 * j + 1 < width) out[2 * j + 1] = s[j];  // an even width repeats its last column
}

LOMO_ROW_KERNEL void DoubleRowOdd(const uint8_t *s, const uint8_t *t, int32_t sourceWidth,
                                  int32_t width, uint8_t *out) {
    LOMO_SIMD
    for (int32_t j = 0; j < sourceWidth - 1; ++j) {
        out[2 * j] = static_cast<uint8_t>((s[j] + t[j]) >> 1);
        out[2 * j + 1] = static_cast<uint8_t>((s[j] + s[j + 1] + t[j] + t[j + 1]) >> 2);
    }
    const int32_t j = sourceWidth - 1;
    out[2 * j] = static_cast<uint8_t>((s[j] + t[j]) >> 1);
    if (2 * j + 1 < width) out[2 * j + 1] = out[2 * j];
}

LOMO_ROW_KERNEL void DifferenceRun(int16_t *out, const uint8_t *a, const uint8_t *b, int64_t n) {
    LOMO_SIMD
    for (int64_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>(a[i] - b[i]);
}

LOMO_ROW_KERNEL void AddRun(const int16_t *d, const uint8_t *base, uint8_t *out, int64_t n) {
    LOMO_SIMD
    for (int64_t i = 0; i < n; ++i) {
        const int32_t v = base[i] + d[i];
        out[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
}

// The [1 2 1] smoothing in place, for both sample types. The horizontal step runs first over
// the interior rows and stores its shifted row sums in the interior samples (they fit the sample
// type); rows 0 and height - 1 stay untouched, so their row sums are recomputed when the
// vertical step needs them. The vertical step then walks down the columns in strips, keeping
// each original row sum until the row below has used it: the result equals filtering a copy.
constexpr int32_t kStrip = 256;

template <typename T>
int32_t RowSum(const T *row, int32_t x) {
    return row[x - 1] + 2 * row[x] + row[x + 1];
}

template <typename T>
void HorizontalInPlace(T *row, int32_t width, int32_t shift) {
    T original[kStrip + 2];
    original[0] = row[0];  // the left neighbour of the first interior sample of each strip
    for (int32_t x0 = 1; x0 < width - 1; x0 += kStrip) {
        const int32_t n = std::min(kStrip, width - 1 - x0);
        std::copy(row + x0, row + x0 + n + 1, original + 1);
        for (int32_t i = 0; i < n; ++i)
            row[x0 + i] = static_cast<T>((original[i] + 2 * original[i + 1] + original[i + 2]) >> shift);
        original[0] = original[n];
    }
}

template <typename T>
void SmoothInPlace(T *plane, int64_t pitch, int32_t width, int32_t height, int32_t topShift,
                   int32_t rowShift, int32_t verticalShift) {
    if (width < 3 || height < 3) return;
    for (int32_t y = 1; y < height - 1; ++y) HorizontalInPlace(plane + y * pitch, width, rowShift);
    const T *top = plane;
    const T *bottom = plane + static_cast<int64_t>(height - 1) * pitch;
    int32_t above[kStrip];
    for (int32_t x0 = 1; x0 < width - 1; x0 += kStrip) {
        const int32_t n = std::min(kStrip, width - 1 - x0);
        for (int32_t i = 0; i < n; ++i) above[i] = RowSum(top, x0 + i) >> topShift;
        for (int32_t y = 1; y < height - 1; ++y) {
            T *row = plane + y * pitch + x0;
            const T *next = plane + (y + 1) * pitch + x0;
            const bool lastRow = y == height - 2;
            for (int32_t i = 0; i < n; ++i) {
                const int32_t below = lastRow ? RowSum(bottom, x0 + i) >> rowShift : next[i];
                const int32_t here = row[i];
                row[i] = static_cast<T>((above[i] + 2 * here + below) >> verticalShift);
                above[i] = here;
            }
        }
    }
}

}  // namespace

int LomoHalveLevel(const uint8_t *source, int32_t sourcePitch, int32_t sourceWidth,
                   int32_t sourceHeight, uint8_t *destination, int32_t destinationPitch) {
    if (sourceWidth <= 0 || sourceHeight <= 0) return 1;
    const int32_t width = (sourceWidth + 1) >> 1;
    const int32_t height = (sourceHeight + 1) >> 1;
    // The first output reads a 2 x 2 block: a single row or column has no partner sample.
    if (!source || !destination || sourceWidth < 2 || sourceHeight < 2 ||
        sourcePitch < sourceWidth || destinationPitch < width)
        return 0;
    // Interior outputs are those whose three horizontal taps all lie inside the row.
    const int32_t innerEnd = std::max(1, std::min(width, sourceWidth >> 1));
    for (int32_t t = 0; t < height; ++t) {
        const HalfTaps ty = HalfTapsAt(t, sourceHeight);
        const uint8_t *rows[3];
        for (int a = 0; a < 3; ++a) rows[a] = source + static_cast<int64_t>(ty.index[a]) * sourcePitch;
        uint8_t *out = destination + static_cast<int64_t>(t) * destinationPitch;
        HalveRowInterior(rows[0], rows[1], rows[2], ty.weight[0], ty.weight[1], ty.weight[2],
                         ty.shift + 2, 1, innerEnd, out);
        out[0] = HalveSample(rows, ty, HalfTapsAt(0, sourceWidth));
        for (int32_t u = innerEnd; u < width; ++u)
            out[u] = HalveSample(rows, ty, HalfTapsAt(u, sourceWidth));
    }
    return 1;
}

int LomoDoubleLevel(uint8_t *destination, int32_t destinationPitch, int32_t destinationWidth,
                    int32_t destinationHeight, const uint8_t *source, int32_t sourcePitch) {
    if (destinationWidth <= 0 || destinationHeight <= 0) return 1;
    const int32_t sourceWidth = (destinationWidth + 1) >> 1;
    const int32_t sourceHeight = (destinationHeight + 1) >> 1;
    if (!destination || !source || destinationPitch < destinationWidth || sourcePitch < sourceWidth)
        return 0;
    for (int32_t y = 0; y < destinationHeight; ++y) {
        const int32_t i = y >> 1;
        const uint8_t *s = source + static_cast<int64_t>(i) * sourcePitch;
        uint8_t *out = destination + static_cast<int64_t>(y) * destinationPitch;
        if (!(y & 1)) {
            DoubleRowEven(s, sourceWidth, destinationWidth, out);
        } else {
            // An even height repeats its last row: the row below is the row itself.
            const uint8_t *t = i + 1 < sourceHeight ? s + sourcePitch : s;
            DoubleRowOdd(s, t, sourceWidth, destinationWidth, out);
        }
    }
    return 1;
}

void LomoLevelDifference(int16_t *output, const uint8_t *a, const uint8_t *b, int32_t,
                         int32_t width, int32_t height) {
    if (!output || !a || !b || width <= 0 || height <= 0) return;
    DifferenceRun(output, a, b, static_cast<int64_t>(width) * height);
}

void LomoAddDifference(const int16_t *difference, const uint8_t *base, uint8_t *output, int32_t,
                       int32_t width, int32_t height) {
    if (!difference || !base || !output || width <= 0 || height <= 0) return;
    AddRun(difference, base, output, static_cast<int64_t>(width) * height);
}

void LomoSmoothDifference(int16_t *plane, int32_t pitch, int32_t width, int32_t height) {
    if (!plane || pitch < width) return;
    // Row 0's sums are divided by 4, every later row's by 16 (see the header).
    SmoothInPlace(plane, pitch, width, height, 2, 4, 4);
}

void LomoSmoothPlane(uint8_t *plane, int32_t pitch, int32_t width, int32_t height) {
    if (!plane || pitch < width) return;
    SmoothInPlace(plane, pitch, width, height, 2, 2, 2);
}

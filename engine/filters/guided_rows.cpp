#include "guided_rows.h"

#include <algorithm>
#include <cmath>

#include "core/memory.h"
#include "core/row_helpers.h"
#include "filters/integral_row_cache.h"
#include "filters/row_windows.h"

using namespace row_windows;

namespace {

constexpr int32_t kRegularisation = 5;

int32_t *Row32(RowImage *image, int32_t y) { return reinterpret_cast<int32_t *>(image->rows[y]); }


// Caches freed in one place whatever failed.
template <int32_t Count>
struct CacheSet {
    IntegralRowCache *cache[Count] = {};
    MemoryContext memory;
    explicit CacheSet(MemoryContext m) : memory(m) {}
    ~CacheSet() {
        for (IntegralRowCache *&c : cache) FreeIntegralRowCache(memory, &c);
    }
    bool Create(const RowImage *const images[Count], int32_t slots) {
        for (int32_t i = 0; i < Count; ++i) {
            cache[i] = CreateIntegralRowCache(memory, images[i], slots);
            if (!cache[i]) return false;
        }
        return true;
    }
};

struct RowImages {
    MemoryContext memory;
    RowImage *image[4] = {};
    explicit RowImages(MemoryContext m) : memory(m) {}
    ~RowImages() {
        for (RowImage *&i : image) FreeRowImage(memory, &i);
    }
};

// Phase 2 of the integer filters: ma and mb over the clipped window of every sample.
template <typename Store>
bool ApplyCoefficients(MemoryContext memory, RowImage *coeffA, RowImage *coeffB, int32_t radius,
                       int32_t slots, Store store) {
    const int32_t width = coeffA->width, height = coeffA->height;
    CacheSet<2> sums(memory);
    const RowImage *const sources[2] = {coeffA, coeffB};
    if (!sums.Create(sources, slots)) return false;
    for (int32_t k = 0; k < height; ++k) {
        const RowSpan rows = WindowRows(k, radius, height);
        SlideCache(sums.cache[0], k, radius, rows,
                   [coeffA](IntegralRowCache *c, int32_t l) { AppendIntegralRow32(c, coeffA, l); });
        SlideCache(sums.cache[1], k, radius, rows,
                   [coeffB](IntegralRowCache *c, int32_t l) { AppendIntegralRow32(c, coeffB, l); });
        for (int32_t x = 0; x < width; ++x) {
            const int32_t x0 = std::max(0, x - radius), x1 = std::min(x + radius + 1, width);
            const int64_t count = int64_t{x1 - x0} * (rows.y1 - rows.y0);
            store(k, x, WindowMean(sums.cache[0], rows, x0, x1, count),
                  WindowMean(sums.cache[1], rows, x0, x1, count));
        }
    }
    return true;
}

// A float converted toward zero, saturated to int32 (a huge solve must not be undefined).
int32_t TruncateToInt32(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483648.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(v);
}

struct Inverse3 {
    float m[3][3] = {};
};

// Coefficients of the colour filter at one sample from its 13 window sums, in single
// precision with every operation rounded on its own. sums: I0, I1, I2, p, I0p, I1p, I2p,
// I2I2, I2I1, I2I0, I1I1, I1I0, I0I0.
void SolveColour(const int64_t sums[13], int64_t count, float eps, Inverse3 *inverse,
                 int32_t out[4]) {
    const float n = static_cast<float>(count);
    float mean[13];
    for (int32_t i = 0; i < 13; ++i) mean[i] = static_cast<float>(sums[i]) / n;
    const float m0 = mean[0], m1 = mean[1], m2 = mean[2], mp = mean[3];
    const float s00 = (mean[12] - m0 * m0) + eps;
    const float s11 = (mean[10] - m1 * m1) + eps;
    const float s22 = (mean[7] - m2 * m2) + eps;
    const float s01 = mean[11] - m1 * m0;
    const float s02 = mean[9] - m2 * m0;
    const float s12 = mean[8] - m2 * m1;
    const float c0 = mean[4] - m0 * mp, c1 = mean[5] - m1 * mp, c2 = mean[6] - m2 * mp;
    const float det = s00 * (s11 * s22 - s12 * s12) - s01 * (s01 * s22 - s12 * s02) +
                      s02 * (s01 * s12 - s11 * s02);
    if (static_cast<double>(det) >= 1e-6) {
        float(&v)[3][3] = inverse->m;
        v[0][0] = (s11 * s22 - s12 * s12) / det;
        v[0][1] = (s02 * s12 - s01 * s22) / det;
        v[0][2] = (s01 * s12 - s02 * s11) / det;
        v[1][1] = (s00 * s22 - s02 * s02) / det;
        v[1][2] = (s01 * s02 - s00 * s12) / det;
        v[2][2] = (s00 * s11 - s01 * s01) / det;
        v[1][0] = v[0][1];
        v[2][0] = v[0][2];
        v[2][1] = v[1][2];
    }
    const float(&v)[3][3] = inverse->m;
    const float a0 = v[0][0] * c0 + v[0][1] * c1 + v[0][2] * c2;
    const float a1 = v[1][0] * c0 + v[1][1] * c1 + v[1][2] * c2;
    const float a2 = v[2][0] * c0 + v[2][1] * c1 + v[2][2] * c2;
    out[0] = TruncateToInt32(1024.0f * a0);
    out[1] = TruncateToInt32(1024.0f * a1);
    out[2] = TruncateToInt32(1024.0f * a2);
    out[3] = TruncateToInt32(1024.0f * (((mp - a0 * m0) - a1 * m1) - a2 * m2));
}

int32_t ColourRows(MemoryContext memory, const RowImage *guide, const RowImage *input,
                   RowImage *output, int32_t radius, float eps) {
    const int32_t width = guide->width, height = guide->height;
    if (width == 0 || height == 0) return RESULT_OK;
    radius = UsefulRadius(radius, width, height);
    const int32_t slots = static_cast<int32_t>(
        std::min<int64_t>(2 * int64_t{radius} + 2, int64_t{height} + 1));
    RowImages planes(memory);  // I0, I1, I2
    RowImages coeffs(memory);  // a0, a1, a2, b
    for (int32_t i = 0; i < 3; ++i) planes.image[i] = CreateRowImage(memory, width, height, 8, 1);
    for (int32_t i = 0; i < 4; ++i) coeffs.image[i] = CreateRowImage(memory, width, height, 32, 1);
    for (int32_t i = 0; i < 4; ++i)
        if ((i < 3 && !planes.image[i]) || !coeffs.image[i]) return RESULT_OUT_OF_MEMORY;
    RowImage *const *I = planes.image;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t *pixel = guide->rows[y];
        for (int32_t x = 0; x < width; ++x, pixel += guide->channels)
            for (int32_t c = 0; c < 3; ++c) I[c]->rows[y][x] = pixel[c];
    }
    {
        CacheSet<13> sums(memory);
        const RowImage *const sources[13] = {I[0], I[1], I[2], input, I[0], I[1], I[2],
                                             I[2], I[2], I[2], I[1], I[1], I[0]};
        if (!sums.Create(sources, slots)) return RESULT_OUT_OF_MEMORY;
        // Second factor of each product, or null for a plain sum.
        const RowImage *const factors[13] = {nullptr, nullptr, nullptr, nullptr, input, input,
                                             input,   I[2],    I[1],    I[0],    I[1], I[0], I[0]};
        Inverse3 inverse;  // zero until the first pixel with a usable determinant
        for (int32_t k = 0; k < height; ++k) {
            const RowSpan rows = WindowRows(k, radius, height);
            for (int32_t q = 0; q < 13; ++q) {
                const RowImage *a = sources[q];
                const RowImage *b = factors[q];
                SlideCache(sums.cache[q], k, radius, rows, [a, b](IntegralRowCache *c, int32_t l) {
                    if (b)
                        AppendIntegralRowProduct8(c, a, b, l);
                    else
                        AppendIntegralRow8(c, a, l, INTEGRAL_SUM);
                });
            }
            for (int32_t x = 0; x < width; ++x) {
                const int32_t x0 = std::max(0, x - radius), x1 = std::min(x + radius + 1, width);
                const int64_t count = int64_t{x1 - x0} * (rows.y1 - rows.y0);
                int64_t windowSums[13];
                for (int32_t q = 0; q < 13; ++q) windowSums[q] = WindowSum(sums.cache[q], rows, x0, x1);
                int32_t out[4];
                SolveColour(windowSums, count, eps, &inverse, out);
                for (int32_t c = 0; c < 4; ++c) Row32(coeffs.image[c], k)[x] = out[c];
            }
        }
    }
    // Phase 2: means of a0, a1, a2 and b over the same clipped windows.
    CacheSet<4> sums(memory);
    const RowImage *const sources[4] = {coeffs.image[0], coeffs.image[1], coeffs.image[2],
                                        coeffs.image[3]};
    if (!sums.Create(sources, slots)) return RESULT_OUT_OF_MEMORY;
    for (int32_t k = 0; k < height; ++k) {
        const RowSpan rows = WindowRows(k, radius, height);
        for (int32_t q = 0; q < 4; ++q) {
            const RowImage *image = sources[q];
            SlideCache(sums.cache[q], k, radius, rows,
                       [image](IntegralRowCache *c, int32_t l) { AppendIntegralRow32(c, image, l); });
        }
        uint8_t *out = output->rows[k];
        for (int32_t x = 0; x < width; ++x) {
            const int32_t x0 = std::max(0, x - radius), x1 = std::min(x + radius + 1, width);
            const int64_t count = int64_t{x1 - x0} * (rows.y1 - rows.y0);
            int64_t v = 0;
            for (int32_t c = 0; c < 3; ++c)
                v = Low32(v + Low32(int64_t{WindowMean(sums.cache[c], rows, x0, x1, count)} *
                                    I[c]->rows[k][x]));
            v = Low32(v + WindowMean(sums.cache[3], rows, x0, x1, count));
            out[x] = ClampByte(static_cast<int32_t>(v) >> 10);
        }
    }
    return RESULT_OK;
}

bool CheckColourCall(const RowImage *guide, const RowImage *input, const RowImage *output,
                     int32_t radius, float eps) {
    return IsPlane(guide, 8, true) && IsPlane(input, 8) && IsPlane(output, 8) &&
           SameSize(guide, input) && SameSize(guide, output) && radius >= 0 &&
           std::isfinite(eps) && eps >= 0.0f;
}

// Tile j of count across a length: [j * (length / count), next) with the last ending at length.
void TileSpan(int32_t length, int32_t count, int32_t j, int32_t *first, int32_t *end) {
    const int32_t size = length / count;
    *first = j * size;
    *end = j == count - 1 ? length : *first + size;
}

bool TileIsUniform(const RowImage *mask, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                   uint8_t *value) {
    *value = mask->rows[y0][x0];
    for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x)
            if (mask->rows[y][x] != *value) return false;
    return true;
}

}  // namespace

int32_t GuidedFilterRows8(MemoryContext memory, const RowImage *guide, const RowImage *input,
                          RowImage *output, int32_t radius) {
    if (!IsPlane(guide, 8) || !IsPlane(input, 8) || !IsPlane(output, 8) ||
        !SameSize(guide, input) || !SameSize(guide, output) || radius < 0)
        return RESULT_INVALID_ARGUMENT;
    const int32_t width = guide->width, height = guide->height;
    if (width == 0 || height == 0) return RESULT_OK;
    radius = UsefulRadius(radius, width, height);
    const int32_t slots = SlotsFor(radius, height);
    RowImages coeffs(memory);
    RowImage *coeffA = coeffs.image[0] = CreateRowImage(memory, width, height, 32, 1);
    RowImage *coeffB = coeffs.image[1] = CreateRowImage(memory, width, height, 32, 1);
    if (!coeffA || !coeffB) return RESULT_OUT_OF_MEMORY;
    {
        CacheSet<4> sums(memory);  // I, I*I, p, I*p
        const RowImage *const sources[4] = {guide, guide, input, guide};
        if (!sums.Create(sources, slots)) return RESULT_OUT_OF_MEMORY;
        for (int32_t k = 0; k < height; ++k) {
            const RowSpan rows = WindowRows(k, radius, height);
            SlideCache(sums.cache[0], k, radius, rows, [guide](IntegralRowCache *c, int32_t l) {
                AppendIntegralRow8(c, guide, l, INTEGRAL_SUM);
            });
            SlideCache(sums.cache[1], k, radius, rows, [guide](IntegralRowCache *c, int32_t l) {
                AppendIntegralRow8(c, guide, l, INTEGRAL_SQUARES);
            });
            SlideCache(sums.cache[2], k, radius, rows, [input](IntegralRowCache *c, int32_t l) {
                AppendIntegralRow8(c, input, l, INTEGRAL_SUM);
            });
            SlideCache(sums.cache[3], k, radius, rows, [guide, input](IntegralRowCache *c, int32_t l) {
                AppendIntegralRowProduct8(c, guide, input, l);
            });
            for (int32_t x = 0; x < width; ++x) {
                const int32_t x0 = std::max(0, x - radius), x1 = std::min(x + radius + 1, width);
                const int64_t count = int64_t{x1 - x0} * (rows.y1 - rows.y0);
                const int32_t mI = WindowMean(sums.cache[0], rows, x0, x1, count);
                const int32_t mII = WindowMean(sums.cache[1], rows, x0, x1, count);
                const int32_t mp = WindowMean(sums.cache[2], rows, x0, x1, count);
                const int32_t mIp = WindowMean(sums.cache[3], rows, x0, x1, count);
                const int32_t var = Low32(int64_t{mII} - Low32(int64_t{mI} * mI));
                const int32_t cov = Low32(int64_t{mIp} - Low32(int64_t{mI} * mp));
                const int32_t a = Low32(int64_t{cov} * 256) / Low32(int64_t{var} + kRegularisation);
                Row32(coeffA, k)[x] = a;
                Row32(coeffB, k)[x] = Low32(int64_t{Low32(int64_t{mp} * 256)} - Low32(int64_t{a} * mI));
            }
        }
    }
    const bool done = ApplyCoefficients(
        memory, coeffA, coeffB, radius, slots,
        [guide, output](int32_t k, int32_t x, int32_t ma, int32_t mb) {
            const int32_t v = Low32(int64_t{Low32(int64_t{guide->rows[k][x]} * ma)} + mb);
            output->rows[k][x] = ClampByte(v >> 8);
        });
    return done ? RESULT_OK : RESULT_OUT_OF_MEMORY;
}

int32_t GuidedFilterColourRows(MemoryContext memory, const RowImage *guide, const RowImage *input,
                               RowImage *output, int32_t radius, float eps) {
    if (!CheckColourCall(guide, input, output, radius, eps)) return RESULT_INVALID_ARGUMENT;
    return ColourRows(memory, guide, input, output, radius, eps);
}

int32_t GuidedFilterColourTiled(MemoryContext memory, const RowImage *guide, const RowImage *mask,
                                RowImage *output, int32_t radius, int32_t tilesAcross, float eps,
                                int32_t tilesDown) {
    if (!CheckColourCall(guide, mask, output, radius, eps) || output == mask ||
        (output->data && output->data == mask->data))
        return RESULT_INVALID_ARGUMENT;
    const int32_t width = guide->width, height = guide->height;
    if (tilesAcross < 1 || tilesDown < 1 || tilesAcross > width || tilesDown > height)
        return RESULT_INVALID_ARGUMENT;
    const int64_t tiles = int64_t{tilesAcross} * tilesDown;
    int64_t mixed = 0;
    for (int32_t i = 0; i < tilesDown; ++i) {
        int32_t y0, y1;
        TileSpan(height, tilesDown, i, &y0, &y1);
        for (int32_t j = 0; j < tilesAcross; ++j) {
            int32_t x0, x1;
            TileSpan(width, tilesAcross, j, &x0, &x1);
            uint8_t value;
            if (!TileIsUniform(mask, x0, y0, x1, y1, &value)) ++mixed;
        }
    }
    if (mixed >= (8 * tiles) / 10) return ColourRows(memory, guide, mask, output, radius, eps);

    radius = UsefulRadius(radius, width, height);
    const int32_t tileWidth = width / tilesAcross, tileHeight = height / tilesDown;
    // The last tile of a row or column is less than twice the others, so 2 (t + r) holds any
    // tile with its margins.
    RowImages scratch(memory);
    RowImage *part = scratch.image[0] =
        CreateRowImage(memory, 2 * (tileWidth + radius), 2 * (tileHeight + radius), 8, 1);
    RowImage *filtered = scratch.image[1] =
        CreateRowImage(memory, 2 * (tileWidth + radius), 2 * (tileHeight + radius), 8, 1);
    if (!part || !filtered) return RESULT_OUT_OF_MEMORY;
    const int32_t partWidth = part->width, partHeight = part->height;
    for (int32_t y = 0; y < height; ++y) FillBytes(output->rows[y], 0, static_cast<size_t>(width));
    int32_t status = RESULT_OK;
    for (int32_t i = 0; i < tilesDown && status == RESULT_OK; ++i) {
        int32_t y0, y1;
        TileSpan(height, tilesDown, i, &y0, &y1);
        for (int32_t j = 0; j < tilesAcross && status == RESULT_OK; ++j) {
            int32_t x0, x1;
            TileSpan(width, tilesAcross, j, &x0, &x1);
            uint8_t value;
            if (TileIsUniform(mask, x0, y0, x1, y1, &value) && (value == 0 || value == 255)) {
                for (int32_t y = y0; y < y1; ++y)
                    CopyBytes(output->rows[y] + x0, mask->rows[y] + x0, static_cast<size_t>(x1 - x0));
                continue;
            }
            const int32_t mx0 = std::max(0, x0 - radius), mx1 = std::min(width, x1 + radius);
            const int32_t my0 = std::max(0, y0 - radius), my1 = std::min(height, y1 + radius);
            part->width = filtered->width = mx1 - mx0;
            part->height = filtered->height = my1 - my0;
            for (int32_t y = my0; y < my1; ++y)
                CopyBytes(part->rows[y - my0], mask->rows[y] + mx0, static_cast<size_t>(mx1 - mx0));
            RowImage *view = WrapRowImage(memory, guide->rows[my0] + int64_t{mx0} * guide->channels,
                                          mx1 - mx0, my1 - my0, 8, guide->channels, guide->rowBytes);
            if (!view) {
                status = RESULT_OUT_OF_MEMORY;
                break;
            }
            status = ColourRows(memory, view, part, filtered, radius, eps);
            FreeRowImageHeader(memory, &view);
            if (status != RESULT_OK) break;
            for (int32_t y = my0; y < my1; ++y) {
                uint8_t *out = output->rows[y];
                const uint8_t *f = filtered->rows[y - my0];
                for (int32_t x = mx0; x < mx1; ++x) out[x] = std::max(out[x], f[x - mx0]);
            }
        }
    }
    part->width = filtered->width = partWidth;
    part->height = filtered->height = partHeight;
    return status;
}

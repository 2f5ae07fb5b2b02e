#include "guided_colour.h"

#include <algorithm>
#include <cmath>

#include "core/memory.h"
#include "core/pixel_format.h"

namespace {

constexpr double kRegularisation = 16.0;
constexpr int32_t kQuantities = 13;

// Bytes from one packed guide pixel to the next, 0 for a format the filter does not take.
int32_t PackedStep(uint32_t format) {
    if (format == 0x201) return 3;
    if (format >= 0x500) return 0;
    const PixelFormatInfo *info = FindPixelFormat(format);
    return info && info->planes == 1 && info->lumaBytes >= 3 ? info->lumaBytes : 0;
}

bool IsSemiPlanar(uint32_t format) { return format == PIXEL_FORMAT_NV12 || format == PIXEL_FORMAT_NV21; }

bool GuideOk(const ImageDesc *guide) {
    const uint32_t format = guide->u32PixelArrayFormat;
    const int32_t w = guide->i32Width;
    const int64_t width = w;
    if (const int32_t step = PackedStep(format))
        return guide->ppu8Plane[0] && guide->pi32Pitch[0] >= width * step;
    if (format == PIXEL_FORMAT_YUV444P) {
        for (int32_t p = 0; p < 3; ++p)
            if (!guide->ppu8Plane[p] || guide->pi32Pitch[p] < width) return false;
        return true;
    }
    // The chroma of a semi-planar guide needs one chroma row and one pair.
    return w >= 2 && guide->i32Height >= 2 && guide->ppu8Plane[0] && guide->ppu8Plane[1] &&
           guide->pi32Pitch[0] >= width && guide->pi32Pitch[1] >= width + (width & 1);
}

const uint8_t *RowOf(const uint8_t *plane, int32_t pitch, int32_t y) {
    return plane + static_cast<int64_t>(y) * pitch;
}

// The scratch of one call.
struct ColourState {
    MemoryContext memory;
    int32_t width = 0;  // columns of the rectangle
    int32_t span = 0;   // width + 2r: columns -r .. width + r - 1
    uint8_t *rowBlock = nullptr;     // (2r + 1) rows x 4 channels x span
    int32_t *sumBlock = nullptr;     // 13 column sums x span
    int32_t *coeffBlock = nullptr;   // (2r + 2) rows x 4 coefficients x width
    int64_t *coeffSums = nullptr;    // 4 x width
    ~ColourState() {
        FreeAndClear(memory, rowBlock);
        FreeAndClear(memory, sumBlock);
        FreeAndClear(memory, coeffBlock);
        FreeAndClear(memory, coeffSums);
    }
    uint8_t *Channel(int32_t slot, int32_t c) { return rowBlock + (int64_t{slot} * 4 + c) * span; }
    int32_t *Sum(int32_t q) { return sumBlock + int64_t{q} * span; }
    int32_t *Coeff(int32_t slot, int32_t c) { return coeffBlock + (int64_t{slot} * 4 + c) * width; }
};

// Adds (sign +1) or removes (-1) one window row's 13 quantities from the column sums:
// I0I0, I0I1, I0I2, I1I1, I1I2, I2I2, I0p, I1p, I2p, I0, I1, I2, p.
void AccumulateRow(ColourState *s, int32_t slot, int32_t sign) {
    const uint8_t *i0 = s->Channel(slot, 0), *i1 = s->Channel(slot, 1), *i2 = s->Channel(slot, 2);
    const uint8_t *p = s->Channel(slot, 3);
    int32_t *sums[kQuantities];
    for (int32_t q = 0; q < kQuantities; ++q) sums[q] = s->Sum(q);
    for (int32_t i = 0; i < s->span; ++i) {
        const int32_t a = i0[i], b = i1[i], c = i2[i], v = p[i];
        const int32_t values[kQuantities] = {a * a, a * b, a * c, b * b, b * c, c * c,
                                             a * v, b * v, c * v, a,     b,     c, v};
        for (int32_t q = 0; q < kQuantities; ++q) sums[q][i] += sign * values[q];
    }
}

// a0, a1, a2 (times 1024) and b (times 16) of one window from its 13 sums.
void Solve(const int64_t w[kQuantities], int64_t n, int32_t out[4]) {
    const int64_t sp = w[12];
    if (sp <= 0 || sp >= 255 * n) {  // a window of input all 0 or all 255
        out[0] = out[1] = out[2] = 0;
        out[3] = static_cast<int32_t>(16 * sp / n);
        return;
    }
    const double k = 1.0 / static_cast<double>(n);
    const double m0 = w[9] * k, m1 = w[10] * k, m2 = w[11] * k, mp = sp * k;
    const double s00 = (w[0] * k - m0 * m0) + kRegularisation;
    const double s01 = w[1] * k - m0 * m1;
    const double s02 = w[2] * k - m0 * m2;
    const double s11 = (w[3] * k - m1 * m1) + kRegularisation;
    const double s12 = w[4] * k - m1 * m2;
    const double s22 = (w[5] * k - m2 * m2) + kRegularisation;
    const double c0 = w[6] * k - m0 * mp, c1 = w[7] * k - m1 * mp, c2 = w[8] * k - m2 * mp;
    const double t1 = s00 * (s11 * s22 - s12 * s12);
    const double t2 = s01 * (s12 * s02 - s01 * s22);
    const double t3 = s02 * (s01 * s12 - s11 * s02);
    const double det = t1 + t2 + t3;
    double a0 = 0.0, a1 = 0.0, a2 = 0.0;
    if (std::fabs(det) > 1e-15 * (std::fabs(t1) + std::fabs(t2) + std::fabs(t3))) {
        // Adjugate of the symmetric matrix times c, over det.
        const double j00 = s11 * s22 - s12 * s12, j01 = s02 * s12 - s01 * s22, j02 = s01 * s12 - s02 * s11;
        const double j11 = s00 * s22 - s02 * s02, j12 = s01 * s02 - s00 * s12, j22 = s00 * s11 - s01 * s01;
        a0 = (j00 * c0 + j01 * c1 + j02 * c2) / det;
        a1 = (j01 * c0 + j11 * c1 + j12 * c2) / det;
        a2 = (j02 * c0 + j12 * c1 + j22 * c2) / det;
    }
    const auto truncate = [](double v) {
        if (!(v == v)) return 0;
        return v >= 2147483647.0 ? INT32_MAX : (v <= -2147483648.0 ? INT32_MIN : static_cast<int32_t>(v));
    };
    out[0] = truncate(1024.0 * a0);
    out[1] = truncate(1024.0 * a1);
    out[2] = truncate(1024.0 * a2);
    out[3] = truncate(16.0 * (((mp - a0 * m0) - a1 * m1) - a2 * m2));
}

// Coefficients of one rectangle row from the column sums, the window sliding across.
void CoefficientRow(ColourState *s, int32_t radius, int64_t n, int32_t slot) {
    const int32_t ring = 2 * radius + 1;
    int64_t window[kQuantities] = {};
    for (int32_t q = 0; q < kQuantities; ++q) {
        const int32_t *sum = s->Sum(q);
        for (int32_t i = 0; i < ring; ++i) window[q] += sum[i];
    }
    int32_t *rows[4];
    for (int32_t c = 0; c < 4; ++c) rows[c] = s->Coeff(slot, c);
    for (int32_t x = 0;; ++x) {
        int32_t k[4];
        Solve(window, n, k);
        for (int32_t c = 0; c < 4; ++c) rows[c][x] = k[c];
        if (x + 1 == s->width) break;
        for (int32_t q = 0; q < kQuantities; ++q) window[q] += s->Sum(q)[x + ring] - s->Sum(q)[x];
    }
}

void AddCoefficientRow(ColourState *s, int32_t slot, int32_t sign) {
    for (int32_t c = 0; c < 4; ++c) {
        const int32_t *row = s->Coeff(slot, c);
        int64_t *sums = s->coeffSums + int64_t{c} * s->width;
        for (int32_t x = 0; x < s->width; ++x) sums[x] += sign * int64_t{row[x]};
    }
}

inline int32_t Low32(int64_t v) { return static_cast<int32_t>(v); }

// Output row y from the coefficient sums, the coefficient columns clamped to the rectangle.
void OutputRow(ColourState *s, int32_t radius, int64_t n, int32_t guideSlot, uint8_t *out) {
    const int32_t w = s->width;
    const int64_t *sums[4];
    int64_t window[4];
    for (int32_t c = 0; c < 4; ++c) {
        sums[c] = s->coeffSums + int64_t{c} * w;
        window[c] = (radius + 1) * sums[c][0];
        for (int32_t j = 1; j <= radius; ++j) window[c] += sums[c][std::min(j, w - 1)];
    }
    const uint8_t *i0 = s->Channel(guideSlot, 0) + radius;
    const uint8_t *i1 = s->Channel(guideSlot, 1) + radius;
    const uint8_t *i2 = s->Channel(guideSlot, 2) + radius;
    for (int32_t x = 0;; ++x) {
        const int64_t ma0 = window[0] / n, ma1 = window[1] / n, ma2 = window[2] / n, mb = window[3] / n;
        int32_t v = Low32(ma0 * i0[x]);
        v = Low32(int64_t{v} + Low32(ma1 * i1[x]));
        v = Low32(int64_t{v} + Low32(ma2 * i2[x]));
        v = Low32(int64_t{v} + Low32(64 * mb));
        out[x] = static_cast<uint8_t>(v < 0 ? 0 : (v >= 262144 ? 255 : v >> 10));
        if (x + 1 == w) break;
        const int32_t enter = std::min(x + 1 + radius, w - 1), leave = std::max(x - radius, 0);
        for (int32_t c = 0; c < 4; ++c) window[c] += sums[c][enter] - sums[c][leave];
    }
}

}  // namespace

void ReadClampedPlaneRow8(int32_t planeWidth, const uint8_t *plane, int32_t pitch, int32_t radius,
                          int32_t x0, int32_t span, int32_t y, uint8_t *out) {
    const uint8_t *row = RowOf(plane, pitch, y);
    for (int32_t i = -radius; i < span + radius; ++i) out[i] = row[std::clamp(x0 + i, 0, planeWidth - 1)];
}

void ReadColourGuideRow(const ImageDesc *guide, int32_t radius, int32_t x0, int32_t span,
                        int32_t y, uint8_t *out0, uint8_t *out1, uint8_t *out2) {
    const uint32_t format = guide->u32PixelArrayFormat;
    const int32_t w = guide->i32Width;
    uint8_t *outs[3] = {out0, out1, out2};
    if (const int32_t step = PackedStep(format)) {
        const uint8_t *row = RowOf(guide->ppu8Plane[0], guide->pi32Pitch[0], y);
        for (int32_t i = -radius; i < span + radius; ++i) {
            const uint8_t *p = row + int64_t{std::clamp(x0 + i, 0, w - 1)} * step;
            out0[i] = p[0], out1[i] = p[1], out2[i] = p[2];
        }
    } else if (format == PIXEL_FORMAT_YUV444P) {
        for (int32_t c = 0; c < 3; ++c)
            ReadClampedPlaneRow8(w, guide->ppu8Plane[c], guide->pi32Pitch[c], radius, x0, span, y, outs[c]);
    } else if (IsSemiPlanar(format)) {
        ReadClampedPlaneRow8(w, guide->ppu8Plane[0], guide->pi32Pitch[0], radius, x0, span, y, out0);
        const int32_t chromaRow = std::min(y >> 1, (guide->i32Height >> 1) - 1);
        const uint8_t *row = RowOf(guide->ppu8Plane[1], guide->pi32Pitch[1], chromaRow);
        const int32_t u = format == PIXEL_FORMAT_NV12 ? 0 : 1;
        for (int32_t i = -radius; i < span + radius; ++i) {
            const uint8_t *pair = row + (std::clamp(x0 + i, 0, w - 1) & ~1);
            out1[i] = pair[u];
            out2[i] = pair[1 - u];
        }
    }
}

int32_t GuidedFilterColour(MemoryContext memory, const ImageDesc *guide, const ImageDesc *input,
                           int32_t radius, const PixelRect *rect, ImageDesc *output) {
    if (!guide || !input || !output) return RESULT_INVALID_ARGUMENT;
    const uint32_t format = guide->u32PixelArrayFormat;
    if (!PackedStep(format) && format != PIXEL_FORMAT_YUV444P && !IsSemiPlanar(format))
        return RESULT_UNSUPPORTED_FORMAT;
    const int32_t gw = guide->i32Width, gh = guide->i32Height;
    if (gw < 1 || gh < 1 || !GuideOk(guide) || input->i32Width != gw || input->i32Height != gh ||
        output->i32Width != gw || output->i32Height != gh || !input->ppu8Plane[0] ||
        !output->ppu8Plane[0] || input->pi32Pitch[0] < gw || output->pi32Pitch[0] < gw ||
        radius < 0 || radius > GUIDED_COLOUR_MAX_RADIUS)
        return RESULT_INVALID_ARGUMENT;
    const PixelRect area = rect ? *rect : PixelRect{0, 0, gw, gh};
    if (area.x0 < 0 || area.y0 < 0 || area.x0 > area.x1 || area.y0 > area.y1 || area.x1 > gw ||
        area.y1 > gh)
        return RESULT_INVALID_ARGUMENT;
    const int32_t width = area.x1 - area.x0, height = area.y1 - area.y0;
    if (width == 0 || height == 0) return RESULT_OK;

    const int32_t ring = 2 * radius + 1, coeffRing = 2 * radius + 2;
    ColourState s{memory};
    s.width = width;
    s.span = width + 2 * radius;
    s.rowBlock = AllocateZeroed<uint8_t>(memory, uint64_t(ring) * 4 * s.span);
    s.sumBlock = AllocateZeroed<int32_t>(memory, uint64_t(kQuantities) * s.span);
    s.coeffBlock = AllocateZeroed<int32_t>(memory, uint64_t(coeffRing) * 4 * width);
    s.coeffSums = AllocateZeroed<int64_t>(memory, 4 * uint64_t(width));
    if (!s.rowBlock || !s.sumBlock || !s.coeffBlock || !s.coeffSums) return RESULT_OUT_OF_MEMORY;
    const int64_t n = int64_t{ring} * ring;

    // Sequence q holds image row clamp(y0 - r + q) in slot q mod (2r + 1); the window of
    // rectangle row u is sequences u .. u + 2r. Each image row is read once, before any
    // output row at or below it is written, so input and output may share their plane.
    const auto load = [&](int32_t q) {
        const int32_t slot = q % ring;
        const int32_t y = std::clamp(area.y0 - radius + q, 0, gh - 1);
        ReadColourGuideRow(guide, radius, area.x0, width, y, s.Channel(slot, 0) + radius,
                           s.Channel(slot, 1) + radius, s.Channel(slot, 2) + radius);
        ReadClampedPlaneRow8(gw, input->ppu8Plane[0], input->pi32Pitch[0], radius, area.x0, width, y,
                             s.Channel(slot, 3) + radius);
        AccumulateRow(&s, slot, 1);
    };
    for (int32_t q = 0; q < ring; ++q) load(q);
    int32_t nextOutput = 0;
    for (int32_t u = 0; u < height; ++u) {
        if (u > 0) {
            AccumulateRow(&s, (u - 1) % ring, -1);
            load(u + 2 * radius);
        }
        CoefficientRow(&s, radius, n, u % coeffRing);
        // Every output row whose coefficient window (rows clamped to the rectangle) is complete.
        while (nextOutput < height && std::min(nextOutput + radius, height - 1) <= u) {
            const int32_t t = nextOutput;
            if (t == 0) {
                for (int32_t i = -radius; i <= radius; ++i)
                    AddCoefficientRow(&s, std::clamp(i, 0, height - 1) % coeffRing, 1);
            } else {
                AddCoefficientRow(&s, std::min(t + radius, height - 1) % coeffRing, 1);
                AddCoefficientRow(&s, std::max(t - radius - 1, 0) % coeffRing, -1);
            }
            uint8_t *out = output->ppu8Plane[0] + int64_t{area.y0 + t} * output->pi32Pitch[0] + area.x0;
            OutputRow(&s, radius, n, (t + radius) % ring, out);
            ++nextOutput;
        }
    }
    return RESULT_OK;
}

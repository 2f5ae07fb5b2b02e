// Shared machinery of the 8-bit and 16-bit band guided filters: context set-up, in-place
// snapshots, the band schedule and the driver. Internal to the filters.
#pragma once

#include <cstdint>
#include <type_traits>

#include "filters/guided_band.h"
#include "filters/guided_coefficient_kernels.h"
#include "filters/guided_coefficients.h"
#include "filters/guided_row_kernels.h"

namespace guided_band {

// Where a context reads its input and writes its output.
struct BandPlanes {
    const ImageDesc *guide;
    const void *inputImage;
    void *outputImage;
    const uint8_t *inputPlane;  // for int16 planes: the plane's first byte
    uint8_t *outputPlane;
    int32_t inputPitch;   // bytes, or samples for int16 planes
    int32_t outputPitch;
    int32_t inputBytes;   // 1 or 2
};

// The guide formats of the 8-bit band filters: planar, semi-planar and three-byte packed.
inline bool IsEightBitGuideFormat(uint32_t format) {
    switch (format) {
    case PIXEL_FORMAT_YUV444P:
    case PIXEL_FORMAT_GRAY8:
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_NV21:
    case 0x201:
    case 0x401:
        return true;
    default:
        return false;
    }
}

// Allocates and fills a context for one band without priming it.
GuidedBandContext *AllocateContext(MemoryContext memory, const BandPlanes &planes, int32_t radius,
                                   const PixelRect &band, double eps);

// Copies, from the planes as they are now, the rows below the band that the band's worker
// will read (at most r' rows), for the guide and/or the input, so that the band sees them as
// they were before the call while the next bands rewrite them. Called on the caller's thread
// after priming and before any worker starts. false when out of memory.
bool FreezeRowsBelowBand(MemoryContext memory, GuidedBandContext *context, bool guide,
                         bool input);

// How a plane sits in memory relative to the output plane.
enum class Aliasing { kNone, kSameRows, kOverlap };
Aliasing CompareRanges(const void *a, int64_t aPitch, int64_t aBytesPerRow, int32_t aRows,
                       const void *b, int64_t bPitch, int64_t bBytesPerRow, int32_t bRows);

// Selects a channel's planes in the three images on a context that allocates nothing, checks
// that each plane holds the selected samples of every row, and tells how guide and input sit
// against the output. RESULT_INVALID_ARGUMENT when a plane is short or overlaps the output
// other than row for row.
int32_t ProbeChannelPlanes(const ImageDesc *guide, const ImageDesc *input, ImageDesc *output,
                           const PixelRect &area, int32_t channel, Aliasing *guideAlias,
                           Aliasing *inputAlias);

// Frees the four band contexts (any of them may be null) and clears the pointers.
void FreeBandContexts(MemoryContext memory, GuidedBandContext *contexts[4]);

// Runs the four band contexts with the worker through the runner, then frees them.
int32_t RunBands(MemoryContext memory, GuidedBandContext *contexts[4], int (*job)(void *),
                 JobRunner runner);

// Loads band-relative row j into the window slot it belongs to.
void LoadRow(GuidedBandContext *c, int32_t j, int32_t reducedRadius);

inline int32_t Mod(int32_t value, int32_t modulus) {
    const int32_t m = value % modulus;
    return m < 0 ? m + modulus : m;
}

inline DoubleCoefficientRule MakeDoubleCoefficientRule(const GuidedBandContext *c,
                                                       int32_t largestSample, double e) {
    const int32_t area = c->windowArea;
    return {area, 1.0 / area, e, int64_t{largestSample} * area};
}

template <typename In>
void AccumulateRow(GuidedBandContext *c, int32_t slot, int32_t length, bool add) {
    const uint8_t *g = c->guideRows[slot];
    const In *p = reinterpret_cast<const In *>(c->inputRows[slot]);
    int64_t *sII = c->sumII, *sIp = c->sumIp, *sI = c->sumI, *sP = c->sumP;
    if constexpr (std::is_same_v<In, int16_t>) {
        AccumulateGuidedRow16(g, p, length, add ? 1 : -1, sII, sIp, sI, sP);
        return;
    } else if constexpr (std::is_same_v<In, uint8_t>) {
        AccumulateGuidedRow8(g, p, length, add ? 1 : -1, sII, sIp, sI, sP);
        return;
    }
    if (add) {
        for (int32_t i = 0; i < length; ++i) {
            const int64_t gi = g[i], pi = p[i];
            sII[i] += gi * gi;
            sIp[i] += gi * pi;
            sI[i] += gi;
            sP[i] += pi;
        }
    } else {
        for (int32_t i = 0; i < length; ++i) {
            const int64_t gi = g[i], pi = p[i];
            sII[i] -= gi * gi;
            sIp[i] -= gi * pi;
            sI[i] -= gi;
            sP[i] -= pi;
        }
    }
}

// Sums a and b of one coefficient row into the vertical sums (sign +1 or -1).
inline void AddCoefficientRow(GuidedBandContext *c, int32_t slot, int32_t sign) {
    AddGuidedCoefficientRow(c->coeffRowsA[slot], c->coeffRowsB[slot], c->bandWidth, sign, c->colSumA,
                            c->colSumB);
}

// Truncating division of a window sum; 32-bit division where the sum fits, which is the
// common case and several times cheaper than the 64-bit one.
inline int64_t DivideSum(int64_t sum, int32_t area) {
    if (sum >= INT32_MIN && sum <= INT32_MAX) return static_cast<int32_t>(sum) / area;
    return sum / area;
}

// Coefficients of one band row from horizontally sliding window sums.
template <typename CoefficientRule>
void CoefficientRow(const GuidedBandContext *c, CoefficientRule coefficients, int32_t ring,
                    int32_t width, int32_t *rowA, int32_t *rowB) {
    int64_t sI = 0, sII = 0, sIp = 0, sP = 0;
    for (int32_t i = 0; i < ring; ++i) {
        sI += c->sumI[i];
        sII += c->sumII[i];
        sIp += c->sumIp[i];
        sP += c->sumP[i];
    }
    for (int32_t x = 0;; ++x) {
        const Coefficients k = coefficients(sI, sII, sIp, sP);
        rowA[x] = k.a;
        rowB[x] = k.b;
        if (x + 1 == width) break;
        sI += c->sumI[x + ring] - c->sumI[x];
        sII += c->sumII[x + ring] - c->sumII[x];
        sIp += c->sumIp[x + ring] - c->sumIp[x];
        sP += c->sumP[x + ring] - c->sumP[x];
    }
}

// Output row u of the band from the vertical sums of its coefficient rows through the output
// rule, column by column.
template <typename OutputRule>
void OutputRow(GuidedBandContext *c, int32_t u, const uint8_t *guideRow, int32_t r, OutputRule output) {
    const int32_t width = c->bandWidth;
    const int32_t area = c->windowArea;
    // Horizontal window over the band's columns, the first and last repeated.
    const int64_t *vA = c->colSumA;
    const int64_t *vB = c->colSumB;
    int64_t hA = (r + 1) * vA[0];
    int64_t hB = (r + 1) * vB[0];
    for (int32_t j = 1; j <= r; ++j) {
        const int32_t col = j < width - 1 ? j : width - 1;
        hA += vA[col];
        hB += vB[col];
    }
    for (int32_t x = 0;; ++x) {
        output(c, c->bandY + u, c->bandX + x, int32_t{guideRow[x]}, DivideSum(hA, area),
               DivideSum(hB, area));
        if (x + 1 == width) break;
        const int32_t enter = x + 1 + r < width - 1 ? x + 1 + r : width - 1;
        const int32_t leave = x - r > 0 ? x - r : 0;
        hA += vA[enter] - vA[leave];
        hB += vB[enter] - vB[leave];
    }
}

// Filters one band of a primed context. In is the input sample type; coefficients(SI, SII,
// SIp, SP) gives a and b; output(row pointer offsets, x, I, mA, mB) stores one sample.
//
// The schedule: coefficient row t needs the window rows t - r' .. t + r' (clamped to the
// plane); output row u needs the coefficient rows u - r' .. u + r' clamped to the band, so it
// is written as soon as coefficient row min(u + r', H - 1) exists. Each plane row enters the
// window once and is written only after that, so a band reads its own rows before it
// rewrites them.
template <typename In, typename CoefficientRule, typename OutputRule>
void FilterBand(GuidedBandContext *c, CoefficientRule coefficients, OutputRule output) {
    const int32_t height = c->bandHeight;
    const int32_t width = c->bandWidth;
    if (height <= 0 || width <= 0) return;
    const int32_t r = c->radius / c->radiusDivisor;
    const int32_t ring = 2 * r + 1;
    const int32_t coeffRing = 2 * r + 2;
    const int32_t length = width + 2 * r;

    int32_t nextOutput = 0;
    for (int32_t t = 0; t < height; ++t) {
        if (t > 0) {
            // Slide the window down one row: the slot of row t - r - 1 takes row t + r.
            const int32_t slot = Mod(t + r, ring);
            AccumulateRow<In>(c, slot, length, false);
            LoadRow(c, t + r, r);
            AccumulateRow<In>(c, slot, length, true);
        }
        // Coefficients of band row t from horizontally sliding window sums; the
        // double-precision rule has row kernels of its own.
        int32_t *rowA = c->coeffRowsA[Mod(t, coeffRing)];
        int32_t *rowB = c->coeffRowsB[Mod(t, coeffRing)];
        if constexpr (std::is_same_v<CoefficientRule, DoubleCoefficientRule>) {
            const GuidedDoubleRule rule{coefficients.area, coefficients.k, coefficients.e, coefficients.bound};
            GuidedCoefficientRow({c->sumI, c->sumII, c->sumIp, c->sumP}, ring, width, rule, rowA, rowB);
        } else {
            CoefficientRow(c, coefficients, ring, width, rowA, rowB);
        }
        // Every output row whose coefficient window is now complete.
        while (nextOutput < height && (nextOutput + r < height - 1 ? nextOutput + r : height - 1) <= t) {
            const int32_t u = nextOutput;
            if (u == 0) {
                for (int32_t x = 0; x < width; ++x) c->colSumA[x] = c->colSumB[x] = 0;
                for (int32_t i = -r; i <= r; ++i) {
                    const int32_t row = i < 0 ? 0 : (i > height - 1 ? height - 1 : i);
                    AddCoefficientRow(c, Mod(row, coeffRing), 1);
                }
            } else {
                const int32_t enter = u + r < height - 1 ? u + r : height - 1;
                const int32_t leave = u - 1 - r > 0 ? u - 1 - r : 0;
                AddCoefficientRow(c, Mod(enter, coeffRing), 1);
                AddCoefficientRow(c, Mod(leave, coeffRing), -1);
            }
            // Output rules with a Row member write whole rows themselves.
            const uint8_t *guideRow = c->guideRows[Mod(u, ring)] + r;
            if constexpr (requires { output.Row(c, u, guideRow, r); }) {
                output.Row(c, u, guideRow, r);
            } else {
                OutputRow(c, u, guideRow, r, output);
            }
            ++nextOutput;
        }
    }
}

}  // namespace guided_band

// Exposure measurement over thumbnails, full-resolution inputs and caller buffers.
#include "exposure_gain.h"

#include <cmath>
#include <cstddef>

#include "memory.h"
#include "session.h"

namespace {

constexpr int kBins = 256;
constexpr double kThumbnailGainCap = 16.0;
constexpr double kBlackThumbnailGain = 32.0;
constexpr double kUnmeasuredCallerGain = 1.0;
constexpr int kSampleStride = 8;  // full-resolution forms measure one pixel in 8 x 8

// A block grid of int16 cells: cols x rows used, rows stride cells apart.
struct BlockGrid {
    int16_t *cells;
    int32_t stride;
    int32_t cols;
    int32_t rows;

    int16_t *Row(int32_t r) const { return cells + static_cast<ptrdiff_t>(r) * stride; }
};

// Where the samples lie: columns x rows samples, four per block in each direction. Blocks
// beyond wholeAcross (wholeDown) are not fully covered by samples and are not summed.
struct SampleLayout {
    int32_t columns;
    int32_t rows;
    int32_t wholeAcross;
    int32_t wholeDown;
};

void ClearGrid(const BlockGrid &grid) {
    for (int32_t r = 0; r < grid.rows; ++r)
        for (int32_t c = 0; c < grid.cols; ++c) grid.Row(r)[c] = 0;
}

// Counts every sample in the histogram and adds the samples of whole blocks to their block's
// sum (at most 16 x 255, so int16 holds it). sample(i, j) reads sample column i of row j.
template <typename Sample>
void AccumulateSamples(const SampleLayout &layout, Sample sample, int32_t *histogram,
                       const BlockGrid *grid) {
    for (int32_t j = 0; j < layout.rows; ++j) {
        const int32_t r = j >> 2;
        int16_t *cells = grid && r < grid->rows ? grid->Row(r) : nullptr;
        for (int32_t i = 0; i < layout.columns; ++i) {
            const uint8_t v = sample(i, j);
            ++histogram[v];
            const int32_t k = i >> 2;
            if (cells && k < layout.wholeAcross && k < grid->cols)
                cells[k] = static_cast<int16_t>(cells[k] + v);
        }
    }
}

// Sums become rounded means. A last column or row that the samples cover only in part
// takes its neighbour's values; a grid one block wide or high has no neighbour and keeps
// what it measured.
void FinishBlockMeans(const BlockGrid &grid, const SampleLayout &layout) {
    const bool copyColumn = layout.wholeAcross < grid.cols && grid.cols >= 2;
    for (int32_t r = 0; r < grid.rows; ++r) {
        int16_t *row = grid.Row(r);
        if (copyColumn) row[grid.cols - 1] = row[grid.cols - 2];
        for (int32_t c = 0; c < grid.cols; ++c) row[c] = static_cast<int16_t>((row[c] + 8) >> 4);
    }
    if (layout.wholeDown < grid.rows && grid.rows >= 2) {
        int16_t *last = grid.Row(grid.rows - 1);
        const int16_t *above = grid.Row(grid.rows - 2);
        for (int32_t c = 0; c < grid.cols; ++c) last[c] = above[c];
    }
}

// Sum of the linear levels of the counted samples, in 64 bits (large thumbnails pass 2^31).
uint64_t LinearSum(const int32_t *histogram, const uint16_t *toLinear) {
    uint64_t sum = 0;
    for (int v = 0; v < kBins; ++v)
        sum += static_cast<uint64_t>(toLinear[v]) * static_cast<uint32_t>(histogram[v]);
    return sum;
}

template <typename Sample>
uint64_t Measure(const SampleLayout &layout, Sample sample, int32_t *histogram,
                 const uint16_t *toLinear, const BlockGrid *grid) {
    for (int v = 0; v < kBins; ++v) histogram[v] = 0;
    if (grid) ClearGrid(*grid);
    AccumulateSamples(layout, sample, histogram, grid);
    if (grid) FinishBlockMeans(*grid, layout);
    return LinearSum(histogram, toLinear);
}

// Layout of the full-resolution and caller-buffer forms: pixels whose x and y are multiples
// of 8; a block is whole when its 32 columns (rows) lie inside the image.
SampleLayout FullResolutionLayout(int32_t width, int32_t height) {
    return {(width + kSampleStride - 1) / kSampleStride,
            (height + kSampleStride - 1) / kSampleStride, width / 32, height / 32};
}

// Gain of the full-resolution and caller-buffer forms: the mean over the sampled pixels,
// which stand for 64 pixels each. Division in double; an empty image measures nothing.
double SampledMean(uint64_t sum, int32_t width, int32_t height) {
    const double pixels = static_cast<double>(width) * static_cast<double>(height);
    if (!(pixels > 0)) return 0;
    return static_cast<double>(64 * sum) / pixels;
}

double CallerGain(double mean) { return mean > 0 ? kMeanLumaTarget / mean : kUnmeasuredCallerGain; }

double SessionGain(double mean) {
    if (!(mean > 0)) return kBlackThumbnailGain;
    const double gain = kMeanLumaTarget / mean;
    return gain > kThumbnailGainCap ? kThumbnailGainCap : gain;
}

// Plane e of blockStats as an unpadded blocksAcross x blocksDown grid; false without one.
bool SessionGrid(const HdrSession &s, int32_t e, BlockGrid *grid) {
    if (!s.blockStats || s.blocksAcross <= 0 || s.blocksDown <= 0) return false;
    const ptrdiff_t plane = static_cast<ptrdiff_t>(s.paddedBlocksAcross) * s.paddedBlocksDown;
    *grid = {s.blockStats + e * plane, s.blocksAcross, s.blocksAcross, s.blocksDown};
    return true;
}

double MeasureCallerLuma(int32_t *histogram, const uint16_t *toLinear, const uint8_t *luma,
                         int32_t width, int32_t height, int32_t pitch, int lumaStep, int16_t *cells,
                         int32_t gridWidth, int32_t gridHeight) {
    if (!histogram || !toLinear) return kUnmeasuredCallerGain;
    const bool hasSamples = luma && width > 0 && height > 0;
    const SampleLayout layout =
        hasSamples ? FullResolutionLayout(width, height) : SampleLayout{0, 0, 0, 0};
    const BlockGrid grid = {cells, gridWidth, gridWidth, gridHeight};
    const bool hasGrid = cells && gridWidth > 0 && gridHeight > 0;
    const auto sample = [&](int32_t i, int32_t j) {
        return luma[static_cast<ptrdiff_t>(j) * kSampleStride * pitch +
                    static_cast<ptrdiff_t>(i) * kSampleStride * lumaStep];
    };
    const uint64_t sum = Measure(layout, sample, histogram, toLinear, hasGrid ? &grid : nullptr);
    return CallerGain(SampledMean(sum, width, height));
}

// Luma of a format for the full-resolution form: byte step and whether it is sampled.
bool FullResolutionLumaStep(uint32_t format, int *step) {
    switch (format) {
    case PIXEL_FORMAT_YUYV: *step = 2; return true;
    case PIXEL_FORMAT_I420:
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_NV21:
    case PIXEL_FORMAT_NV16: *step = 1; return true;
    default: return false;
    }
}

// Luma of a format for the whole-image histogram.
bool HistogramLumaStep(uint32_t format, int *step) {
    switch (format) {
    case PIXEL_FORMAT_YUYV: *step = 2; return true;
    case PIXEL_FORMAT_I420:
    case PIXEL_FORMAT_YUV422P:
    case PIXEL_FORMAT_YUV444P:
    case PIXEL_FORMAT_GRAY8:
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_NV21: *step = 1; return true;
    default: return false;
    }
}

}  // namespace

double MeasureExposureGain(HdrSession *session, const ImageDesc *thumbnail, int32_t *histogram,
                           int32_t e, const uint16_t *toLinear) {
    if (!session || !histogram || !toLinear || e < 0 || e >= kMaxExposures)
        return kBlackThumbnailGain;
    BlockGrid grid;
    const bool hasGrid = SessionGrid(*session, e, &grid);
    const bool sampled = thumbnail && thumbnail->u32PixelArrayFormat == PIXEL_FORMAT_YUV444P &&
                         thumbnail->ppu8Plane[0] && thumbnail->i32Width > 0 &&
                         thumbnail->i32Height > 0;
    const int32_t wt = sampled ? thumbnail->i32Width : 0;
    const int32_t ht = sampled ? thumbnail->i32Height : 0;
    const SampleLayout layout = {wt, ht, wt / 4, ht / 4};
    const auto sample = [&](int32_t x, int32_t y) {
        return thumbnail->ppu8Plane[0][static_cast<ptrdiff_t>(y) * thumbnail->pi32Pitch[0] + x];
    };
    const uint64_t sum = Measure(layout, sample, histogram, toLinear, hasGrid ? &grid : nullptr);
    const double samples = static_cast<double>(wt) * static_cast<double>(ht);
    return SessionGain(samples > 0 ? static_cast<double>(sum) / samples : 0.0);
}

double MeasureExposureGainFullRes(HdrSession *session, const ImageDesc *inputs, int32_t e,
                                  const uint16_t *toLinear) {
    if (!session || !inputs || !toLinear || e < 0 || e >= kMaxExposures || !session->histograms[e])
        return kBlackThumbnailGain;
    const ImageDesc &input = inputs[e];
    int step = 1;
    const bool sampled = FullResolutionLumaStep(input.u32PixelArrayFormat, &step) &&
                         input.ppu8Plane[0] && input.i32Width > 0 && input.i32Height > 0;
    const int32_t w = sampled ? input.i32Width : 0;
    const int32_t h = sampled ? input.i32Height : 0;
    BlockGrid grid;
    const bool hasGrid = SessionGrid(*session, e, &grid);
    const int32_t pitch = input.pi32Pitch[0];
    const auto sample = [&](int32_t i, int32_t j) {
        return input.ppu8Plane[0][static_cast<ptrdiff_t>(j) * kSampleStride * pitch +
                                  static_cast<ptrdiff_t>(i) * kSampleStride * step];
    };
    int32_t *histogram = (*session->histograms[e])[0];
    const uint64_t sum =
        Measure(FullResolutionLayout(w, h), sample, histogram, toLinear, hasGrid ? &grid : nullptr);
    return SessionGain(SampledMean(sum, input.i32Width, input.i32Height));
}

double MeasureExposureGainPacked(int64_t, int32_t *histogram, const uint16_t *toLinear,
                                 const uint8_t *luma, int32_t width, int32_t height, int32_t pitch,
                                 int16_t *grid, int32_t gridWidth, int32_t gridHeight) {
    return MeasureCallerLuma(histogram, toLinear, luma, width, height, pitch, 2, grid, gridWidth,
                             gridHeight);
}

double MeasureExposureGainPlanar(int64_t, int32_t *histogram, const uint16_t *toLinear,
                                 const uint8_t *luma, int32_t width, int32_t height, int32_t pitch,
                                 int16_t *grid, int32_t gridWidth, int32_t gridHeight) {
    return MeasureCallerLuma(histogram, toLinear, luma, width, height, pitch, 1, grid, gridWidth,
                             gridHeight);
}

double EstimateExposureGainPacked(int64_t, int32_t *histogram, const uint16_t *toLinear,
                                  const uint8_t *luma, int32_t width, int32_t height,
                                  int32_t pitch) {
    return MeasureCallerLuma(histogram, toLinear, luma, width, height, pitch, 2, nullptr, 0, 0);
}

int ComputeLumaHistogram(MemoryContext memory, const ImageDesc *image, int32_t *histogram) {
    if (!image || !histogram) return RESULT_INVALID_ARGUMENT;
    int32_t *counts = AllocateZeroed<int32_t>(memory, kBins);
    if (!counts) return RESULT_OUT_OF_MEMORY;
    int step = 1;
    if (HistogramLumaStep(image->u32PixelArrayFormat, &step) && image->ppu8Plane[0]) {
        for (int32_t y = 0; y < image->i32Height; ++y) {
            const uint8_t *row =
                image->ppu8Plane[0] + static_cast<ptrdiff_t>(y) * image->pi32Pitch[0];
            for (int32_t x = 0; x < image->i32Width; ++x) ++counts[row[x * step]];
        }
    }
    for (int v = 0; v < kBins; ++v) histogram[v] = counts[v];
    FreeMemory(memory, counts);
    return RESULT_OK;
}

int BuildExposureLevelCurve(int64_t, uint16_t *curve, double gain) {
    if (!curve) return RESULT_INVALID_ARGUMENT;
    if (std::isnan(gain) || gain >= 1.0) {
        for (int i = 0; i < 4096; ++i) curve[i] = static_cast<uint16_t>(i);
        return RESULT_OK;
    }
    const double g = gain < 0 ? 0.0 : gain;
    // Below 1024: i x g rounded, in 29-bit fixed point.
    const int64_t slope = static_cast<int64_t>(g * 536870912.0);  // 2^29
    for (int64_t i = 0; i < 1024; ++i)
        curve[i] = static_cast<uint16_t>((268435456 + i * slope) >> 29);  // 2^28 rounds
    // From 1024: C + D i + E i^2 in 46-bit fixed point, the quadratic that continues the line
    // with its value and slope and ends at 4095.
    constexpr double kScale = 70368744177664.0;  // 2^46
    const int64_t d = static_cast<int64_t>((1 + (g - 1) * 17 / 9) * kScale);
    const int64_t e = static_cast<int64_t>((1 - g) * 16 / 9 * kScale / 4095);
    const int64_t c = static_cast<int64_t>((1 - g) * (1.0 / 9) * 4095 * kScale + 35184372088832.0);
    for (int64_t i = 1024; i < 4096; ++i)
        curve[i] = static_cast<uint16_t>((c + d * i + e * i * i) >> 46);
    return RESULT_OK;
}

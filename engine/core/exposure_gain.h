// Exposure measurement: a luma histogram, block mean luma and the exposure gain that would
// bring the mean linear luma to kMeanLumaTarget on the 12-bit linear scale.
//
// Blocks are 32 x 32 full-resolution pixels; a block holds 4 x 4 measured samples (thumbnail
// samples, or full-resolution pixels whose x and y are multiples of 8). Each block mean is
// (sum + 8) >> 4. A last block column or row that the samples cover only in part takes a copy
// of its neighbour's.
#pragma once

#include <cstdint>

#include "engine_types.h"

struct HdrSession;

constexpr double kMeanLumaTarget = 880.64;

// Measures a PIXEL_FORMAT_YUV444P thumbnail: fills histogram (256 bins) and the
// blocksAcross x blocksDown block means at the start of blockStats plane e. Gain at most 16;
// 32 when the mean is 0 or nothing was measured (another format, an empty thumbnail).
double MeasureExposureGain(HdrSession *session, const ImageDesc *thumbnail, int32_t *histogram,
                           int32_t e, const uint16_t *toLinear);

// The same from full-resolution input e (pixels whose x and y are multiples of 8), into
// histograms[e][0] and blockStats plane e.
double MeasureExposureGainFullRes(HdrSession *session, const ImageDesc *inputs, int32_t e,
                                  const uint16_t *toLinear);

// Caller-buffer forms over luma of 2 bytes per pixel (packed, luma at even bytes) or 1 byte
// per pixel. The block grid has gridWidth columns (its row stride) and gridHeight rows. No
// gain cap; 1.0 when the mean is 0.
double MeasureExposureGainPacked(int64_t ignored, int32_t *histogram, const uint16_t *toLinear,
                                 const uint8_t *luma, int32_t width, int32_t height, int32_t pitch,
                                 int16_t *grid, int32_t gridWidth, int32_t gridHeight);
double MeasureExposureGainPlanar(int64_t ignored, int32_t *histogram, const uint16_t *toLinear,
                                 const uint8_t *luma, int32_t width, int32_t height, int32_t pitch,
                                 int16_t *grid, int32_t gridWidth, int32_t gridHeight);
// MeasureExposureGainPacked without the block grid.
double EstimateExposureGainPacked(int64_t ignored, int32_t *histogram, const uint16_t *toLinear,
                                  const uint8_t *luma, int32_t width, int32_t height,
                                  int32_t pitch);

// Counts the luma of every pixel: byte 2x of each row for PIXEL_FORMAT_YUYV, plane 0 for
// I420, YUV422P, YUV444P, GRAY8, NV12 and NV21; other formats give an all-zero histogram.
// RESULT_OK; RESULT_INVALID_ARGUMENT for a null image or histogram; RESULT_OUT_OF_MEMORY when
// the scratch histogram cannot be allocated (the output is then untouched).
int ComputeLumaHistogram(MemoryContext memory, const ImageDesc *image, int32_t *histogram);

// A 4096-entry level curve for gain g: the identity for g >= 1 (or not a number); for g < 1 a
// line of slope g up to 1024 joined by a quadratic of the same value and slope there that
// reaches 4095 at 4095. Gains below 0 are taken as 0.
int BuildExposureLevelCurve(int64_t ignored, uint16_t *curve, double gain);

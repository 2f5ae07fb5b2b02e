// Exposure statistics: the scene is characterised from the luma histograms of the darkest,
// brightest and reference thumbnails cut at their 16-quantiles. The analysis decides a scene
// class and flags, derives a normalized reference curve, rewrites the three 12-bit tone
// tables (exposureLuts) so that each exposure's quantile levels land on that curve, and
// publishes the high and low threshold ramps (sceneThresholds) and the mean chroma offsets
// between the reference and the brightest exposure.
#pragma once

#include <cstdint>

struct HdrSession;

constexpr int kQuantileCount = 16;

// Runs the analysis on the session's histograms. With fewer than two exposures only
// valueShift (2) is written. Missing U or V histograms count as empty (offset 0).
// RESULT_OK; RESULT_INVALID_ARGUMENT for a null session, exposure indices outside 0..2 or a
// missing luma histogram.
int ComputeExposureStatistics(int64_t ignored, HdrSession *session);

// The quantile analysis over three luma histograms for a frame of pixelCount samples.
// thresholds receives the five sceneThresholds (high ramp end, start, step; low ramp start,
// end), lowRampStep the low ramp's step; the other results go to the session.
int AnalyzeExposureQuantiles(int64_t ignored, HdrSession *session, const int32_t *darkest,
                             const int32_t *brightest, const int32_t *reference, int64_t pixelCount,
                             int32_t *thresholds, int32_t *lowRampStep);

// The number of bits of n - 1: ceil(log2 n) for n >= 2, 0 for n <= 1.
int32_t CeilLog2(int32_t n);

// levels[k], k = 1..count: the first level at which the running count, continued from one k
// to the next, reaches floor(pixelCount k / count); each scan starts one level above the
// previous one (at 0 for k = 1). A level never reached, and every level after 255, is 255.
// levels[0] is set to 0.
int FindQuantileLevels(int32_t *levels, int32_t count, const int32_t *histogram,
                       int64_t pixelCount);

// Normalized curve of levels[0..count] (12-bit linear): the top lands halfway between its
// level and 4095 and the factor applied to each level moves from 1 toward the top's as k
// grows. flag keeps half of levels[0] as the base; otherwise the base is 0. Levels below
// levels[0] count as levels[0].
int NormalizeQuantileLevels(int32_t *out, const int32_t *levels, int32_t count, int32_t flag);

// Tone table (4096 entries, 12-bit linear in) mapping each levels[k] onto targets[k], linear
// between them; 0 below levels[0]; from levels[count] up the value just below it. Values are
// shifted left by shift.
int BuildQuantileToneTable(uint16_t *out, const int32_t *levels, const int32_t *targets,
                           int32_t count, int32_t shift);

// Mean chroma level of the reference minus that of the darkest and of the brightest
// exposure, from one chroma channel's histograms indexed by exposure slot (a null histogram
// has mean 0). zero receives 0.
int CompareChromaMeans(const HdrSession *session, const int32_t *const histograms[3],
                       int64_t ignored, int32_t *referenceMinusDarkest,
                       int32_t *referenceMinusBrightest, int32_t *zero);

// Block exposure map of the two-call merge: per 32 x 32 block, how many stops the fused
// exposure lies from mid-grey, quantised to 255 smooth levels, with a table that turns a level
// back into an exposure change for a tone length.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"

constexpr int32_t kStopLevels = 255;
constexpr int32_t kStopLevelCentre = 127;
constexpr int32_t kMidGreyLinear = 880;  // 12-bit linear value of mid-grey

// The three per-block means (12-bit linear), B entries each, row-major.
struct BlockSums {
    int32_t *fused;
    int32_t *bright;
    int32_t *dark;
};

// The six totals a row accumulator gathers over one block.
struct BlockTotals {
    int32_t lowerSum;
    int32_t lowerCount;
    int32_t upperSum;
    int32_t upperCount;
    int32_t rawBright;
    int32_t rawDark;
};

// One exposure as the accumulator reads it: its unmoved plane, and the shift applied to the
// blocks read at their aligned position.
struct BlockSource {
    const uint8_t *plane;
    int32_t shiftX;
    int32_t shiftY;
};

// Where the accumulator reads: the frame every sample is held to, the pitch, the luma byte
// offset of a packed row (0 for a luma plane) and the bytes per pixel (2 packed, 1 planar).
struct BlockFrame {
    int32_t width;
    int32_t height;
    int32_t pitch;
    int32_t lumaOffset;
    int32_t bytesPerPixel;
};

// Curve table: the linear value of each 8-bit code, dark, bright (shifted down by valueShift)
// and reference, 256 entries each.
enum BlockCurve { kCurveDark = 0, kCurveBright = 1, kCurveReference = 2 };

// Accumulates one block whose top left is (x, y), covering columns x.. x + columns and rows
// y .. y + rows, sampling every fourth row and every eighth column. `aligned` reads each
// exposure at the block's position minus its shift. Sources in order dark, bright, reference.
BlockTotals AccumulateBlockRowsPlanar(const uint16_t *curves, const BlockSource *sources,
                                      const BlockFrame &frame, int32_t columns, int32_t rows,
                                      int32_t x, int32_t y, bool aligned,
                                      const uint16_t *gammaExpand, const int32_t *reciprocals,
                                      int32_t wd, int32_t wb, int32_t wr);
BlockTotals AccumulateBlockRowsPacked422(const uint16_t *curves, const BlockSource *sources,
                                         const BlockFrame &frame, int32_t columns,
                                         int32_t rows, int32_t x, int32_t y, bool aligned,
                                         const uint16_t *gammaExpand,
                                         const int32_t *reciprocals, int32_t wd, int32_t wb,
                                         int32_t wr);

// Progress of the block sums: callback, user and the percent every report sends.
struct BlockProgress {
    ProgressCallback callback;
    void *user;
    int32_t percent;
};

// Fills the three block-sum arrays from the luma planes (planar and semi-planar formats) or
// the packed rows (lumaOffset 0 for YUYV). planes are indexed by exposure index.
// RESULT_OK, RESULT_OUT_OF_MEMORY or RESULT_CANCELLED.
int SumExposureBlocksPlanar(MemoryContext memory, const HdrSession *session,
                            const uint8_t *const *planes, int32_t width, int32_t height,
                            int32_t pitch, const BlockSums &sums, const BlockProgress &progress);
int SumExposureBlocksPacked422(MemoryContext memory, const HdrSession *session,
                               const uint8_t *const *planes, int32_t width, int32_t height,
                               int32_t pitch, const BlockSums &sums, int32_t lumaOffset,
                               const BlockProgress &progress);

// Base-2 logarithm of x held to [1/16, 16], through log2Table.
double Log2Clamped(double x);
// Stops of every block, multiples of 0.05; toneExcess is the tone length minus 80.
int ComputeBlockStops(const HdrSession *session, const BlockSums &sums, double *stops,
                      int32_t blocksAcross, int32_t blocksDown, int32_t toneExcess);
int FindStopRange(const double *stops, int64_t count, double *minStop, double *maxStop);
// Levels 0..levelCount - 1 around the centre level; table receives each level's stop value.
int QuantiseStopMap(const double *stops, uint8_t *levels, int64_t count, int32_t levelCount,
                    double *table, double minStop, double centre, double maxStop);
// Cells at or above threshold move towards the middle level of their neighbourhood when few
// neighbours are as bright. in and out must not overlap.
void SpreadBrightLevels(const uint8_t *in, uint8_t *out, int32_t width, int32_t height,
                        int32_t stride, int32_t radius, int32_t threshold);
// Separable 35-155-256-155-35 smoothing; RESULT_OUT_OF_MEMORY when its work buffer fails.
int SmoothLevelMap5Tap(MemoryContext memory, const uint8_t *in, uint8_t *out, int32_t width,
                       int32_t height);

// Row i of the map goes to cells (i + 1, 1..width) of the bordered map, whose border cells
// repeat the nearest edge cell.
void BorderLevelMap(const uint8_t *map, int32_t width, int32_t height, uint8_t *bordered);
// The stop value of each level for tone length T (step 9 of the map).
void FillStopTable(double *table, double minStop, double maxStop, int32_t toneLength,
                   int32_t sceneClass);

// The map's products, in caller buffers.
struct BlockExposureProducts {
    uint8_t *borderedMap;
    int64_t borderedMapBytes;
    double *stopTable;
    int32_t stopTableEntries;
};

// The map after the arguments were checked: block sums by format, stops, levels, spreading,
// smoothing, bordered map and stop table. RESULT_OK, RESULT_INVALID_ARGUMENT (products too
// small), RESULT_UNSUPPORTED_FORMAT, RESULT_OUT_OF_MEMORY or RESULT_CANCELLED.
int RunBlockExposureMap(MemoryContext memory, HdrSession *session, const uint8_t *const *planes,
                        int32_t width, int32_t height, int32_t pitch, int32_t toneLength,
                        uint32_t format, ProgressCallback progress, void *user,
                        const BlockExposureProducts &products);

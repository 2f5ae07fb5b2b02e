// Log-domain base layer of the local tone mapping: per 8 x 8-pixel cell, the detail of the
// preview's log luma normalised by its local deviation, minus the log luma itself. Large and
// positive in dark flat regions, negative in bright ones; the gain table turns it into a gain.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

// Builds the (W / 8) x (H / 8) grid from the luma of previewImage (12-bit linear through the
// local-curve table when lowResMapsReady is set, else through the reference levels of
// fusionTable) and installs it as gainGrid, freeing the previous one.
// RESULT_OK; RESULT_OUT_OF_MEMORY (gainGrid unchanged); RESULT_INVALID_ARGUMENT for a
// missing preview or fusion table, or W or H below 8.
int BuildCoarseBaseLayer(MemoryContext memory, HdrSession *session, const ImageDesc *ignoredInputs,
                         const uint8_t *ignoredPlane, int32_t width, int32_t height,
                         uint32_t ignoredFormat);

// The quarter-scale twin of BuildCoarseBaseLayer: a (W / 4) x (H / 4) grid, cell (j, i) the
// reference level fusionTable[512 + k] >> 2 of k, the rounded mean of the luma bytes at
// columns 4j + 1 and 4j + 2 of rows 4i and 4i + 3 of inputs[1], with a scratch block of its
// own (16 bytes per cell) for the statistics; installed as gainGrid like the 1/8 grid. The
// merge does not use it. RESULT_OK; RESULT_OUT_OF_MEMORY (gainGrid unchanged);
// RESULT_INVALID_ARGUMENT for a missing session, input plane or fusion table, an input smaller
// than W x H or a pitch below W, or W or H below 8.
int BuildCoarseBaseLayerQuarter(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                                const uint8_t *ignoredPlane, int32_t width, int32_t height,
                                uint32_t ignoredFormat);

// The statistics over a width x height grid of 12-bit linear cells (overwritten with the
// shifted log luma) into out. scratch, when given, holds the mean grid at entry 0, the
// deviation grid at entry cells and 2 bytes per cell of smoothing scratch after them
// (16 bytes per cell in all); otherwise the buffers are allocated for the call.
// RESULT_OK, RESULT_OUT_OF_MEMORY, RESULT_INVALID_ARGUMENT (null grids, sizes below 1).
int ComputeLocalLogStatistics(MemoryContext memory, int16_t *scratch, int16_t *grid, int32_t width,
                              int32_t height, uint16_t *out);

// Multi-scale smoothing of in into out (same size; out may be in): a pyramid of 2 x 2 means
// down to a level of width or height 1, the coarsest level rescaled to the grid's mean, then
// expanded level by level and blended with each finer one with weights 0.9 x 0.65^k.
// A grid with a side below 2 is copied. scratch must hold SmoothGridScratchEntries entries.
// RESULT_OK, or RESULT_INVALID_ARGUMENT (null grids, sizes below 1, scratch too small).
int SmoothGridPyramid(MemoryContext memory, const int16_t *in, int32_t width, int32_t height,
                      int16_t *out, int32_t *outWidth, int32_t *outHeight, int16_t *scratch,
                      int32_t scratchEntries);
// Entries the pyramid of a width x height grid needs: for every level, the levels down to it
// plus six rows of its width + 4.
int64_t SmoothGridScratchEntries(int32_t width, int32_t height);

// Doubles a coarse level (cw x ch) to the parent's pw x ph (pw <= 2 cw, ph <= 2 ch) with a
// [1 2 1] smoothing and a 4-tap expansion, and writes floor((aq Q + ac E) / 256) with
// aq, ac the weights in 1/256. out may be the parent. scratch holds 6 (cw + 4) entries.
void ExpandAndBlendLevel(const int16_t *coarse, int32_t cw, int32_t ch, const int16_t *parent,
                         int16_t *out, int32_t pw, double coarseWeight, double parentWeight,
                         int32_t ph, int16_t *scratch);
// 2 x 2 means into a ((w + 1) / 2) x ((h + 1) / 2) level (an odd side repeats its last
// row or averages its last two columns); *mean receives their mean.
void HalveGridLevel(const int16_t *grid, int32_t width, int32_t height, int16_t *out,
                    int32_t *outWidth, int32_t *outHeight, double *mean);
// The mean of the row means (each truncated), truncated.
int32_t GridMean(const int16_t *grid, int32_t width, int32_t height);
// out = table[in] (indices held to 0..16383); returns GridMean of the outputs.
int32_t LogTransformGrid(const int16_t *in, int16_t *out, const int32_t *table, int32_t width,
                         int32_t height);
// v := table[max(v, 0) + 64] in place; returns GridMean of the outputs.
int32_t SqrtTransformGrid(int16_t *grid, const int32_t *table, int32_t width, int32_t height);

// The 2 x 2 means (>> 2) of columns 2j, 2j + 1 of rows r0 and r1 into out[j] for j < width / 2;
// returns their sum.
int64_t HalveRowPair(const int16_t *r0, const int16_t *r1, int32_t width, int16_t *out);
// Every cell minus value, stored as 16 bits (wrapping).
void SubtractFromGrid(int16_t *grid, int32_t width, int32_t height, int32_t value);
// out = floor(P / 32768) - x with P = ((scale (x - mean)) >> 4) reciprocalTable[deviation], in
// 32-bit two's complement, stored as 16 bits: the detail scaled by scale / deviation, minus the
// cell's shifted log luma.
void NormaliseDetailGrid(const int16_t *x, const int16_t *mean, const int16_t *deviation,
                         int32_t width, int32_t height, int32_t scale,
                         const int32_t *reciprocalTable, uint16_t *out);

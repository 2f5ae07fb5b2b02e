// Span kernels of normal mode for planar 4:2:2 (PIXEL_FORMAT_YUV422P: a Y plane and U and V
// planes of half width and full height), in two sets:
//   - the plain set, the packed 4:2:2 normal-mode kernels (span_normal_packed422.h) group by
//     group with planar addressing;
//   - the chroma-gain set, which blends the same way but turns the blended chroma into output
//     through a gain on its distance from neutral that falls as the pair's output luma rises.
//     Per pair p and component, with d the blended chroma on a 64x scale minus 8192 (neutral)
//     and Yo the output luma already written for the pair's first pixel:
//       n = ((98304 - 128 Yo) >> 4) - 2048           (= 4096 - 8 Yo)
//       F = ((n * 600) >> 10) + 2048 for U, ((n * 400) >> 10) + 2048 for V
//       v = ((d * F) >> 10) + 8192 held to 0..16383, output chroma[v >> 2]
//     F / 1024 stays above 1 for every Yo, so these kernels push chroma further from neutral
//     than the plain set, most in the shadows; a neutral blend stays neutral.
// Chroma is fused and written on every row (one chroma row per luma row).
//
// x0, x1 multiples of 4; ref.y and out.y at pixel x0, the U and V rows at byte x0 >> 1; the
// warp buffer at the group of x0; the rows of SpanRows indexed by absolute x. The bright
// kernels take the segment base of the bright exposure (256), the reference-only kernels read
// the reference segment of tables.fusion themselves.
#pragma once

#include <cstdint>

#include "fusion/span_common.h"
#include "fusion/span_planar.h"

void FuseSpanBothPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows,
                           RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanDarkPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows,
                           RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanBrightPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                             const SpanTables &tables, const SpanRows &rows, int32_t segmentBase,
                             RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanRefOnlyPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                              const SpanTables &tables, const SpanRows &rows,
                              const PlanarRowOut &out);

void FuseSpanBothChromaGainPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights,
                                     const PlanarRowOut &out);
void FuseSpanDarkChromaGainPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights,
                                     const PlanarRowOut &out);
void FuseSpanBrightChromaGainPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, int32_t segmentBase,
                                       RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanRefOnlyChromaGainPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                        const SpanTables &tables, const SpanRows &rows,
                                        const PlanarRowOut &out);

// The chroma-gain step of one sample: blended chroma c64 (64x scale), the output luma Yo of
// the pair's first pixel, U (true) or V; returns the chroma table index 0..4095.
int32_t ChromaGainIndex(int32_t c64, int32_t outputLuma, bool u);

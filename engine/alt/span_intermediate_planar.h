// 16-bit span kernels of the two-call merge for the planar and semi-planar formats: the 8-bit
// planar kernels' normal-mode blend (the packed group steps on the gathered reference group)
// with the 16-bit tail of the packed intermediate kernels (span_intermediate_packed422.h):
// luma the blended linear light, chroma 64 x the blended chroma, held to 0..32767 and
// 0..16320. Semi-planar 4:2:2 pulls the bright exposure's chroma towards 128 as its 8-bit
// kernels do; the second chroma table is the tone mapping's business.
//
// type is the span's type (SPAN_BOTH, SPAN_DARK, SPAN_BRIGHT at segment base 256, anything
// else reference only, which reads no warp and no RunningWeights). Addressing as the 8-bit
// planar kernels (span_planar.h): x0, x1 multiples of 4, the reference rows at pixel x0, the
// warp buffer at x0's group; the output rows likewise at pixel x0 (planar chroma at x0 / 2). A
// null chroma output row writes luma alone.
#pragma once

#include <cstdint>

#include "fusion/span_common.h"
#include "fusion/span_planar.h"

// 16-bit rows of the intermediate at a span's first pixel (chroma as the inputs lay it: U and
// V planes, or the interleaved pairs in u).
struct IntermediateRowOut {
    int16_t *y;
    int16_t *u;
    int16_t *v;
};

void FuseIntermediateSpanPlanar420(int32_t type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                   const uint8_t *warp, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   const IntermediateRowOut &out);
void FuseIntermediateSpanPlanar422(int32_t type, int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                   const uint8_t *warp, const SpanTables &tables,
                                   const SpanRows &rows, RunningWeights *weights,
                                   const IntermediateRowOut &out);
void FuseIntermediateSpanSemiPlanar420(int32_t type, int32_t x0, int32_t x1,
                                       const PlanarRowIn &ref, const uint8_t *warp,
                                       const SpanTables &tables, const SpanRows &rows,
                                       RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanSemiPlanar422(int32_t type, int32_t x0, int32_t x1,
                                       const PlanarRowIn &ref, const uint8_t *warp,
                                       const SpanTables &tables, const SpanRows &rows,
                                       RunningWeights *weights, const IntermediateRowOut &out);

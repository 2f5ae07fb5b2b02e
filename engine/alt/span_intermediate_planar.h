// 16-bit span kernels of the two-call merge for the planar and semi-planar formats: the 8-bit
// planar kernels' normal-mode blend (the packed group steps on the gathered reference group)
// with the 16-bit tail of the packed intermediate kernels (span_intermediate_packed422.h):
// luma the blended linear light, chroma 64 x the blended chroma, held to 0..32767 and
// 0..16320. Unlike its 8-bit twin, semi-planar 4:2:2 takes the bright exposure's chroma unchanged
// (no pull towards 128), so every layout stores the same blend of the same inputs.
//
// type is the span's type (SPAN_BOTH, SPAN_DARK, SPAN_BRIGHT at segment base 256, anything
// else reference only, which reads no warp and no RunningWeights). Addressing as the 8-bit
// planar kernels (span_planar.h): x0, x1 multiples of 4, the reference rows at pixel x0, the
// warp buffer at x0's group; the output rows likewise at pixel x0 (planar chroma at x0 / 2). A
// null chroma output row writes luma alone. The 4:2:0 and 4:2:2 members of a layout are the
// same code; only the rows their callers hand in differ.
#pragma once

#include <cstdint>

#include "alt/span_intermediate_planar_groups.h"
#include "fusion/span_common.h"
#include "fusion/span_planar.h"

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

// One named kernel per format and span type, with the arguments of the type-dispatched
// entries above (the reference-only kernels read neither warp nor weights; the bright kernels
// blend at segment base 256).
void FuseIntermediateSpanBothPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                       const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                       RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanDarkPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                       const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                       RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanBrightPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                         const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanRefOnlyPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                          const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                          RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanBothPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                       const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                       RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanDarkPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                       const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                       RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanBrightPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                         const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanRefOnlyPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                          const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                          RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanBothSemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                           const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                           RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanDarkSemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                           const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                           RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanBrightSemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                             const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                             RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanRefOnlySemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                              const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                              RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanBothSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                           const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                           RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanDarkSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                           const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                           RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanBrightSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                             const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                             RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanRefOnlySemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                              const uint8_t *warp, const SpanTables &tables, const SpanRows &rows,
                                              RunningWeights *weights, const IntermediateRowOut &out);

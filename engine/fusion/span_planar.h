// Span kernels of both modes for planar 4:2:0 (I420), semi-planar 4:2:0 (NV12, NV21) and
// semi-planar 4:2:2 (NV16). The arithmetic is that of the packed 4:2:2 kernels
// (span_local_curve_group_packed422.h, span_normal_packed422.h), which these share group by group;
// the members differ in their addressing and in these points:
//   - 4:2:0 in local-curve mode fuses chroma only on even image rows r; on odd rows it writes
//     luma alone (the weights are carried all the same). In normal mode every call writes
//     chroma: the row driver chooses the chroma row and the reference chroma it reads.
//   - Semi-planar 4:2:0 in local-curve mode moves each pixel's luma by its own offset O[x + i],
//     the other formats by the group start's O[x].
//   - Semi-planar 4:2:2 in normal mode, in its three-exposure and bright kernels, pulls the
//     bright exposure's chroma a quarter of the way towards 128 and looks the first chroma byte
//     of a pair up in the second chroma table (chromaTable2).
// An interleaved chroma pair is fused as it lies: its first byte takes the U position of the
// packed kernels and its second the V position, whatever the format's chroma order.
//
// x0, x1 multiples of 4; the row pointers stand at pixel x0 (planar 4:2:0 chroma at x0 >> 1,
// interleaved chroma at byte x0); the warp buffer at the group of x0; the rows of SpanRows are
// indexed by absolute x. An output whose chroma rows are null is written in luma alone.
#pragma once

#include <cstdint>

#include "fusion/planar_layout.h"
#include "fusion/span_common.h"

// --- Local-curve mode (r: the image row, whose parity decides whether 4:2:0 chroma is fused).
void FuseSpanLocalCurveBothPlanar420(int32_t x0, int32_t x1, int32_t r, const PlanarRowIn &ref,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights,
                                     const PlanarRowOut &out);
void FuseSpanLocalCurveDarkPlanar420(int32_t x0, int32_t x1, int32_t r, const PlanarRowIn &ref,
                                     const uint8_t *warp, const SpanTables &tables,
                                     const SpanRows &rows, RunningWeights *weights,
                                     const PlanarRowOut &out);
void FuseSpanLocalCurveBrightPlanar420(int32_t x0, int32_t x1, int32_t r, const PlanarRowIn &ref,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       const PlanarRowOut &out);
void FuseSpanLocalCurveRefOnlyPlanar420(int32_t x0, int32_t x1, int32_t r,
                                        const PlanarRowIn &ref, const SpanTables &tables,
                                        const SpanRows &rows, const PlanarRowOut &out);

void FuseSpanLocalCurveBothSemiPlanar420(int32_t x0, int32_t x1, int32_t r,
                                         const PlanarRowIn &ref, const uint8_t *warp,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanLocalCurveDarkSemiPlanar420(int32_t x0, int32_t x1, int32_t r,
                                         const PlanarRowIn &ref, const uint8_t *warp,
                                         const SpanTables &tables, const SpanRows &rows,
                                         RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanLocalCurveBrightSemiPlanar420(int32_t x0, int32_t x1, int32_t r,
                                           const PlanarRowIn &ref, const uint8_t *warp,
                                           const SpanTables &tables, const SpanRows &rows,
                                           RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanLocalCurveRefOnlySemiPlanar420(int32_t x0, int32_t x1, int32_t r,
                                            const PlanarRowIn &ref, const SpanTables &tables,
                                            const SpanRows &rows, const PlanarRowOut &out);

void FuseSpanLocalCurveBothSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                         const uint8_t *warp, const SpanTables &tables,
                                         const SpanRows &rows, RunningWeights *weights,
                                         const PlanarRowOut &out);
void FuseSpanLocalCurveDarkSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                         const uint8_t *warp, const SpanTables &tables,
                                         const SpanRows &rows, RunningWeights *weights,
                                         const PlanarRowOut &out);
void FuseSpanLocalCurveBrightSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                           const uint8_t *warp, const SpanTables &tables,
                                           const SpanRows &rows, RunningWeights *weights,
                                           const PlanarRowOut &out);
void FuseSpanLocalCurveRefOnlySemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                            const SpanTables &tables, const SpanRows &rows,
                                            const PlanarRowOut &out);

// --- Normal mode. The bright kernel takes the segment base of the bright exposure (256); the
// semi-planar 4:2:2 three-exposure and bright kernels take the second chroma table.
void FuseSpanBothPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows,
                           RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanDarkPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                           const SpanTables &tables, const SpanRows &rows,
                           RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanBrightPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp,
                             const SpanTables &tables, const SpanRows &rows, int32_t segmentBase,
                             RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanRefOnlyPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                              const SpanTables &tables, const SpanRows &rows,
                              const PlanarRowOut &out);

void FuseSpanBothSemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                               const uint8_t *warp, const SpanTables &tables,
                               const SpanRows &rows, RunningWeights *weights,
                               const PlanarRowOut &out);
void FuseSpanDarkSemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                               const uint8_t *warp, const SpanTables &tables,
                               const SpanRows &rows, RunningWeights *weights,
                               const PlanarRowOut &out);
void FuseSpanBrightSemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                 const uint8_t *warp, const SpanTables &tables,
                                 const SpanRows &rows, int32_t segmentBase,
                                 RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanRefOnlySemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                  const SpanTables &tables, const SpanRows &rows,
                                  const PlanarRowOut &out);

void FuseSpanBothSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                               const uint8_t *warp, const SpanTables &tables,
                               const uint8_t *chromaTable2, const SpanRows &rows,
                               RunningWeights *weights, const PlanarRowOut &out);
void FuseSpanDarkSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                               const uint8_t *warp, const SpanTables &tables,
                               const SpanRows &rows, RunningWeights *weights,
                               const PlanarRowOut &out);
void FuseSpanBrightSemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                 const uint8_t *warp, const SpanTables &tables,
                                 const uint8_t *chromaTable2, const SpanRows &rows,
                                 int32_t segmentBase, RunningWeights *weights,
                                 const PlanarRowOut &out);
void FuseSpanRefOnlySemiPlanar422(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                  const SpanTables &tables, const SpanRows &rows,
                                  const PlanarRowOut &out);

// Plain 16-bit span kernels of the planar and semi-planar formats: the blend of the packed
// plain kernels (span_intermediate_packed422.h) without shadow or highlight recovery, on the
// bare segment values (dark fusion[c], bright fusion[256 + c], reference fusion[512 + c]) with
// the reference's chroma unchanged. No offset or mask row is read.
//
// Addressing as the planar 16-bit kernels (span_intermediate_planar.h): x0, x1 multiples of 4,
// reference and output rows at pixel x0 (planar chroma at x0 / 2, interleaved chroma at x0),
// the warp buffer at x0's group, the weight rows indexed by absolute x. A null chroma output
// row writes luma alone. The 4:2:0 and 4:2:2 members of a layout are one implementation: only
// the chroma rows their callers hand in differ.
#pragma once

#include <cstdint>

#include "alt/span_intermediate_planar_groups.h"
#include "fusion/span_common.h"
#include "fusion/span_planar.h"

// Three exposures: the dark quad at the warp buffer's group, the bright quad 8 bytes on.
void FuseIntermediateSpanPlainBothPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                            const uint8_t *warp, const SpanTables &tables,
                                            const SpanRows &rows, RunningWeights *weights,
                                            const IntermediateRowOut &out);
// One secondary at the quad of each group, with its own weight row and segment base (0 dark,
// 256 bright); RunningWeights {secondary, reference}.
void FuseIntermediateSpanPlainOneSecondaryPlanar420(int32_t x0, int32_t x1,
                                                    const PlanarRowIn &ref, const uint8_t *warp,
                                                    const SpanTables &tables, const SpanRows &rows,
                                                    const int16_t *secondaryWeights,
                                                    int32_t segmentBase, RunningWeights *weights,
                                                    const IntermediateRowOut &out);
// Luma (reference segment value) << (2 - valueShift), chroma 64 x the reference's.
void FuseIntermediateSpanPlainRefOnlyPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                               const SpanTables &tables,
                                               const IntermediateRowOut &out);

void FuseIntermediateSpanPlainBothSemiPlanar420(int32_t x0, int32_t x1, const PlanarRowIn &ref,
                                                const uint8_t *warp, const SpanTables &tables,
                                                const SpanRows &rows, RunningWeights *weights,
                                                const IntermediateRowOut &out);
void FuseIntermediateSpanPlainOneSecondarySemiPlanar420(
    int32_t x0, int32_t x1, const PlanarRowIn &ref, const uint8_t *warp, const SpanTables &tables,
    const SpanRows &rows, const int16_t *secondaryWeights, int32_t segmentBase,
    RunningWeights *weights, const IntermediateRowOut &out);
void FuseIntermediateSpanPlainRefOnlySemiPlanar420(int32_t x0, int32_t x1,
                                                   const PlanarRowIn &ref,
                                                   const SpanTables &tables,
                                                   const IntermediateRowOut &out);

// The 4:2:2 members: the same functions.
inline constexpr auto &FuseIntermediateSpanPlainBothPlanar422 =
    FuseIntermediateSpanPlainBothPlanar420;
inline constexpr auto &FuseIntermediateSpanPlainOneSecondaryPlanar422 =
    FuseIntermediateSpanPlainOneSecondaryPlanar420;
inline constexpr auto &FuseIntermediateSpanPlainRefOnlyPlanar422 =
    FuseIntermediateSpanPlainRefOnlyPlanar420;
inline constexpr auto &FuseIntermediateSpanPlainBothSemiPlanar422 =
    FuseIntermediateSpanPlainBothSemiPlanar420;
inline constexpr auto &FuseIntermediateSpanPlainOneSecondarySemiPlanar422 =
    FuseIntermediateSpanPlainOneSecondarySemiPlanar420;
inline constexpr auto &FuseIntermediateSpanPlainRefOnlySemiPlanar422 =
    FuseIntermediateSpanPlainRefOnlySemiPlanar420;

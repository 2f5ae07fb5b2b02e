// The plain local-curve steps of packed 4:2:2: the group steps (one group of four pixels
// blended before the tone tail), which the planar kernels share, and the plain span kernels
// built from them, the references every faster tier is held to. Arguments of the span kernels
// as those of span_local_curve_packed422.h; secondary is kMapDark or kMapBright.
#pragma once

#include <cstdint>

#include "fusion/span_common.h"

// Which luma offset a pixel of a group takes: the group start's (packed 4:2:2, planar 4:2:0,
// semi-planar 4:2:2) or its own (semi-planar 4:2:0).
enum LumaOffsetSampling { kGroupStartLumaOffset = 0, kPerPixelLumaOffset = 1 };

// The group steps before the tone tail, for callers that keep the blend or lay the group out
// in another format (x is the group's absolute column; the pointers stand at the group, the
// reference in packed order).
FusedGroup BlendGroupLocalCurveBothPacked422(
    int32_t x, const uint8_t *reference, const uint8_t *darkQuad, const uint8_t *brightQuad,
    const SpanTables &tables, const SpanRows &rows, RunningWeights *weights,
    LumaOffsetSampling sampling = kGroupStartLumaOffset);
// secondary is kMapDark or kMapBright.
FusedGroup BlendGroupLocalCurveOnePacked422(int32_t x, const uint8_t *reference,
                                            const uint8_t *quad, MapExposure secondary,
                                            const SpanTables &tables, const SpanRows &rows,
                                            RunningWeights *weights,
                                            LumaOffsetSampling sampling = kGroupStartLumaOffset);
FusedGroup BlendGroupLocalCurveRefOnlyPacked422(
    int32_t x, const uint8_t *reference, const SpanTables &tables, const SpanRows &rows,
    LumaOffsetSampling sampling = kGroupStartLumaOffset);

void FuseSpanLocalCurveOnePacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                                      const uint8_t *warp, MapExposure secondary,
                                      const SpanTables &tables, const SpanRows &rows,
                                      RunningWeights *weights, uint8_t *out);

void FuseSpanLocalCurveBothPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                                       const uint8_t *warp, const SpanTables &tables,
                                       const SpanRows &rows, RunningWeights *weights,
                                       uint8_t *out);

void FuseSpanLocalCurveRefOnlyPacked422_C(int32_t x0, int32_t x1, const uint8_t *reference,
                                          const SpanTables &tables, const SpanRows &rows,
                                          uint8_t *out);

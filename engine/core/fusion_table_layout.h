// Layout of the session's fusion tables (fusionTable and localCurveFusionTable, u16 entries):
// the planning stages write them and the span kernels read them, so both take the offsets
// from here.
#pragma once

#include <cstdint>

// Linear light by code of the dark, bright and reference exposure (the local-curve table holds
// its curve in the bright segment).
constexpr int32_t kFusionDarkSegment = 0;
constexpr int32_t kFusionBrightSegment = 256;
constexpr int32_t kFusionReferenceSegment = 512;
constexpr int32_t kFusionWeightCurve = 768;
constexpr int32_t kFusionReciprocals = 1024;
constexpr int32_t kFusionLargestWeightSum = 767;  // the last reciprocal the tables hold
constexpr int32_t kFusionTableEntries = 6016;

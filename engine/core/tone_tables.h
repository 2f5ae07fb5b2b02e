// Tone and chroma tables built from the user's levels.
#pragma once

#include <cstdint>

#include "hdr_engine.h"

// Rebuilds contrastCurve and toneTable when level differs from contrastLevel.
// Levels outside -200..200 would leave the 12-bit range: RESULT_INVALID_ARGUMENT.
int BuildContrastCurve(HdrSession *session, int64_t ignored, int32_t level);
// Rebuilds both chroma tables when level differs from saturationLevel; levels above 100 take
// the steep form and store 100. Levels outside 0..1000: RESULT_INVALID_ARGUMENT.
int BuildSaturationTable(HdrSession *session, int64_t ignored, int32_t level);
// The second curve family; stores 4 x level as saturationLevel. RESULT_OUT_OF_MEMORY when a
// chroma table is missing, RESULT_INVALID_ARGUMENT for levels outside 0..1000.
int BuildSaturationTableVariant(HdrSession *session, int64_t ignored, int32_t level);
// Brightness curve over [start, end) with the given factor, composed into toneTable after the
// table is saved at its saved offset; marks the live table as composed. Needs
// 0 <= start <= end <= 4096.
int ApplyBrightnessCurve(HdrSession *session, int64_t ignored, int32_t brightness, int32_t start,
                         int32_t end, double factor);
// Factor 1.2 when the scene has deep shadows, else 1.0; the curve runs from start to 4096.
// A live table that already carries a composition is first restored from the saved copy.
int ApplyBrightnessLevel(MemoryContext memory, HdrSession *session, int32_t ignoredLevel,
                         int32_t brightness, int32_t start);

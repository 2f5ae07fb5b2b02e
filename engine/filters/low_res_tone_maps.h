// The local tone mapping at 1/8 scale: the fused preview takes the local gain (its chroma
// scaled with the luma change), and six chroma correction maps (U and V of the reference,
// darkest and brightest exposure, fineGrids[3..8]) tell the full-resolution fusion how far
// each exposure's chroma is from the tone-mapped preview's.
#pragma once

#include <cstdint>

#include "core/hdr_engine.h"

// Reads smallImages (reference, darkest, brightest), previewImage (changed in place),
// gainGrid, gainTable and ghostMasks 0 and 3 (a missing mask counts as no ghost region);
// writes fineGrids[3..8] packed, w x h each. RESULT_OK; RESULT_OUT_OF_MEMORY when gainTable
// is missing or the mask plane cannot be made (maps cleared, preview unchanged);
// RESULT_INVALID_ARGUMENT when an image, the gain grid or a map is missing or too small.
int BuildLowResToneAndChromaMaps(MemoryContext memory, HdrSession *session);

// Chroma c rescaled for a luma y > 0 going to target t: (c - 128) times
// ((a - y) y + (y + b) clamp(t, y, 4y)) / (512 y), truncated, plus 128, held to 0..255.
int32_t RescaleChroma(int32_t c, int32_t y, int32_t t, int32_t a, int32_t b);

// Per-pixel exposure weights and the local-contrast map of the 1/8-scale thumbnails.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"

// Slots of contrastWeightMaps.
enum ContrastMapIndex { kContrastDark = 0, kContrastBright = 1, kContrastReference = 2 };

// Stage 2 of a merge. From the luma of the thumbnails at darkIndex, brightIndex and
// referenceIndex (one size, the first image's; all read with its plane-0 pitch; a run of one
// or two exposures names a slot more than once, and the slots it leaves unwritten are not
// read) it stores contrastWeightMaps (dark, bright, reference; 128 = full weight) and ghostMap
// (0, 63, 126, 189, 252 or 255), dense W x H int16 planes. RESULT_OK; RESULT_INVALID_ARGUMENT
// for a null session or images, images of different sizes or exposure indices outside 0..2;
// RESULT_OUT_OF_MEMORY with nothing stored.
int BuildLowResWeightMaps(MemoryContext memory, HdrSession *session, ImageDesc *const *smallImages);

// The three weights (reference, dark, bright) the reference's luma q gives a pixel.
void LumaWeights(int32_t q, int32_t *reference, int32_t *dark, int32_t *bright);

// Stage 5 of a merge: the difference maps cleaned in detailed areas and made to agree inside
// ghost regions, and the preview re-fused from the block weights; or, with a pending status,
// the single-image fallback.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"

// With pendingStatus set, runs SingleExposureFallback and returns its result. Otherwise
// deghosts fineGrids[0..2], destroys alignedSmall, and re-fuses previewImage (two or three
// exposures; one exposure runs the fallback), freeing contrastWeightMaps.
// RESULT_OK; RESULT_INVALID_ARGUMENT for missing maps or thumbnails below 5 x 5;
// RESULT_OUT_OF_MEMORY.
int DeghostLowRes(MemoryContext memory, HdrSession *session);

// Inside the bilinearly spread mask (one cell per 4 x 4 pixels, cell (y/4, x/4) at the pixel's
// top-left), map B moves toward map A + A - B, so that B plus its map gives A plus its map.
// Maps are dense with the images' width as stride; each image is read with its own pitch.
void MatchDifferenceMapsInMask(const uint8_t *mask, int32_t maskPitch, int32_t maskRows,
                               const ImageDesc *imageA, const int16_t *mapA,
                               const ImageDesc *imageB, int16_t *mapB);

// Re-fuses previewImage from the block weights, the plain thumbnails and their difference
// maps (luma) and from the per-pixel weight maps (chroma), then frees contrastWeightMaps.
// RESULT_OK; RESULT_INVALID_ARGUMENT when an input is missing.
int RefuseLowResPreview(MemoryContext memory, HdrSession *session);

// Quarter grid sizes for a w x h thumbnail: ceil(w / 4) x ceil(h / 4) rounded up to multiples
// of 4.
void QuarterGridSize(int32_t width, int32_t height, int32_t *quarterWidth, int32_t *quarterHeight);

// Stage 4 of a merge: the 1/8-scale preview of the fused exposures, patched in ghost regions
// and stretched to the reference's range (by the clip points of the preview before the patches),
// and the difference maps of the three exposures.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"

// Slots of fineGrids written here (256 = no difference).
enum DifferenceMapIndex { kDifferenceReference = 0, kDifferenceDark = 1, kDifferenceBright = 2 };

// Fuses the plain thumbnails (by exposure index) with contrastWeightMaps into previewImage and
// previewWorkImage, rebuilds curveTables[1] (and [3] for a very bright brightest exposure),
// writes the difference maps into fineGrids[0..2] (dense, stride fineGridStride), stores
// darkShareQ10 and sets lowResMapsReady. alignedSmall is left as it was. The steps: fuse, take
// the clip points, patch the ghost regions, stretch, take the dark share. The preview's clip
// points are those of the fused preview before the patches, the dark share that of the patched
// and stretched preview; both are taken over the area every exposure covers (overlapBounds) less
// its outer ring, the reference's clip points over the same area.
// RESULT_OK; RESULT_INVALID_ARGUMENT when an input the stage reads is missing or of another
// size; RESULT_OUT_OF_MEMORY.
int FuseLowResPreview(MemoryContext memory, HdrSession *session, ImageDesc *const *smallImages);

// Replaces fineGrids with nine zero-filled (w + 2) x (h + 2) maps in three blocks of three for
// thumbnails of w x h, and sets fineGridStride and fineGridRows. RESULT_OK or
// RESULT_OUT_OF_MEMORY (the previous maps kept).
int AllocateFineGrids(MemoryContext memory, HdrSession *session, int32_t width, int32_t height);

// darkShareQ10 := (bins 1..31) x 1024 / (all bins); 0 for an empty histogram.
int ComputeDarkShare(HdrSession *session, const int32_t *histogram);

// Blend factor of the aligned brightest thumbnail against the plain one for an exposure gain
// below 0.5 (256 = wholly aligned).
int32_t AlignedBrightShare(double gain);

// Block operations on plane 0 of two images of one size and pitch, over the interior cells of a
// padded block grid (cell (r, c) covers pixels 4(r - 1).., 4(c - 1).., clipped to the image).
void CopyBlocksOutsideMask(ImageDesc *destination, const ImageDesc *source, const uint8_t *mask,
                           int32_t gridWidth, int32_t gridHeight);
void BlendBlocksByMask128(ImageDesc *destination, const ImageDesc *source, const uint8_t *mask,
                          int32_t gridWidth, int32_t gridHeight);
void BlendBlocksByMask255(ImageDesc *destination, const ImageDesc *source, const uint8_t *mask,
                          int32_t gridWidth, int32_t gridHeight);

// The tone table that maps the preview's clip points onto the reference's.
void BuildPreviewToneTable(int32_t previewLow, int32_t previewHigh, int32_t referenceLow,
                           int32_t referenceHigh, uint8_t table[256]);

// Registration of one non-reference exposure to the reference's geometry, on the 1/8-scale
// thumbnails and then at full resolution:
// - maps the exposure's luma levels onto the reference's (histogram matching, blended for the
//   darkest exposure with a smooth quantile curve),
// - tracks the reference corners into the level-mapped thumbnail and fits a projective
//   transform (reference -> exposure) to the good matches; the shift most matches share, or
//   no motion at all, is kept unless the fit (or the shift) lays the thumbnail clearly closer
//   onto the reference's where neither photo is clipped,
// - warps the thumbnails with it and flags the exposure in misaligned when the fit fails or the
//   warp covers less than 19/20 of either side,
// - turns the transform into the full-resolution motion grid (one node per 256-pixel block)
//   and refines by direct block matching the blocks where the transform disagrees with the
//   feature motions around them.
// Registration never produces a global shift: the motion lives in the grids.
#pragma once

#include <cstdint>

#include "core/session.h"

// Registers exposure i (not the reference). Before the call workImage holds a copy of
// smallImages[i], and the reference features exist (tracker, featureCount, the feature block).
// Results: curveTables, alignedSmall[i], smallImages[i] (warped in place), overlapBounds[i],
// misaligned[i], matchedMotionX/Y, matchedExtra[i], offsetGridX/Y of the exposure's slot,
// alignGradientMode := 1, alignPyramidDepth := 1; fewer than 3 reference features set
// pendingStatus to RESULT_ALIGNMENT_FAILED (23) and leave zero grids. After a failed fit the
// thumbnails are warped with the fit's best plausible hypothesis, or the identity when there
// is none; the zero grids of an exposure that could not be aligned (or of a reference without
// features) are kept as they are, without the block check and the block refinement.
// Returns RESULT_OK, RESULT_OUT_OF_MEMORY, the code of a failed image creation or copy, or
// RESULT_INVALID_ARGUMENT when a buffer registration needs is missing. Failures of the block
// check and of the block refinement only skip them.
int RegisterExposureToReference(MemoryContext memory, HdrSession *session, int32_t exposure,
                                ProgressCallback progress, void *user);

// Whether a warp's crop rectangle covers at least 19/20 of a width x height thumbnail both ways.
bool CoversNineteenTwentieths(const PixelRect &crop, int32_t width, int32_t height);

// Blends the darkest exposure's matching table with the quantile curve: levels 0..63 keep the
// table, 192..255 take the curve, levels between move linearly from one to the other. An
// all-zero curve (a singular quantile fit) would wipe out the highlights; the table is then
// kept whole.
void BlendWithQuantileCurve(uint8_t table[256], const uint8_t curve[256]);

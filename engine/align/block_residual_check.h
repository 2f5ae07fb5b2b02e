// Whether an exposure's thumbnail is still shifted against the reference's after
// registration: one square block matched directly by the pyramid aligner.
#pragma once

#include "core/session.h"

// Matches a b x b block at the centre of the 1/8-scale thumbnails (without a rectangle) or a
// (b/2) x (b/2) block around the rectangle's centre, b = meshConstants[0], and sets
// misaligned[i] := 1 when the exposure's block is shifted by more than one pixel. Blocks that
// would come within 8 pixels of the thumbnail's right or bottom edge are not checked (without a
// rectangle the thumbnails need 272 pixels both ways). Sets alignPyramidDepth to 2. The
// aligner's threshold bitmaps (the session's mode until registration switches it to gradient
// codes) take their thresholds from the two blocks themselves.
// RESULT_OK; RESULT_OUT_OF_MEMORY or RESULT_CANCELLED from the aligner (OUT_OF_MEMORY also
// when the window buffers cannot be allocated); RESULT_INVALID_ARGUMENT when the thumbnails
// are missing.
int MeasureBlockResidualShift(MemoryContext memory, HdrSession *session, int32_t exposure,
                              const PixelRect *rect, ProgressCallback progress, void *user);

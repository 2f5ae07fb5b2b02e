// Refinement of an exposure's full-resolution motion grid by direct block matching where the
// transform disagrees with the feature motions around a block.
#pragma once

#include <cstdint>

#include "core/session.h"

// Marks node (r, c) of a (C + 2) x (D + 2) grid, for r in 1..D-1 and c in 1..C-1, when the
// mean residual of the exposure's kept features, weighted by 128 / (d^2 + 128) with d their
// distance in thumbnail pixels from the block centre, exceeds 0.125 thumbnail pixels (one
// full-resolution pixel) on either axis. Fewer than 4 kept features mark nothing. The last
// block column and row are never examined, so every refined block lies inside the frame.
void MarkResidualNodes(const HdrSession *session, int32_t exposure, int32_t blocksAcross,
                       int32_t blocksDown, uint8_t *marks);

// For every marked node, rows from the top, each from the left: cuts the reference's block and
// the exposure's block displaced by the node's motion from the full-resolution inputs (each
// read with its own pitch) and adds the residual shift the aligner finds (gradient codes, one
// halving, so up to 3 pixels) to the node. Sets alignGradientMode to 1 and alignPyramidDepth
// to 1. Failures only end the refinement: buffers that cannot be allocated skip it, an aligner
// failure or a window that cannot be cut stops it at that node. Reports progressBase to the
// callback once when it completes.
void RefineMarkedNodes(MemoryContext memory, HdrSession *session, int32_t exposure, int32_t *gridX,
                       int32_t *gridY, int32_t blocksAcross, int32_t blocksDown,
                       ProgressCallback progress, void *user);

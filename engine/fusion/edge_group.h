// The group that ends at the frame's right edge. A group's weights are read at its fourth pixel
// and ramped over the three before it; in that group the fourth pixel is the photo's outermost
// column, where a dark line a lens or a crop left would steer the weights of the three columns
// inside it. The other edges keep such a line out of the weights (the thumbnails read their
// outer ring one pixel in, and no ramp leads into a top, bottom or left pixel from beyond it), so
// this group reads its weights one pixel in: its pixels and carried weights come from copies of
// its reference and warp quads whose fourth luma repeats the third, and its fourth pixel, the
// outermost, is fused from the group as it is. The band workers do this around the kernels,
// which stay the same for every group.
#pragma once

#include <cstdint>
#include <cstring>

#include "fusion/band_common.h"

// Whether the tile [a, b) of the span type holds weights and ends with the frame's outermost
// column; a frame whose width is not a multiple of 4 leaves that column to the tail step.
inline bool TileEndsAtFrameEdge(const BandContext &c, int32_t type, int32_t a, int32_t b) {
    return type != SPAN_REFERENCE_ONLY && b == c.width && b - a >= 4;
}

// Room for a copied group of the edge: the kernels read one group, but the buffers leave space
// for wider loads and stores.
constexpr int32_t kEdgeCopyBytes = 32;

// The warp quads a kernel of the span type reads for one group (both quads for SPAN_BOTH, else
// one), copied with each quad's fourth luma replaced by its third.
inline void CopyEdgeQuads(int32_t type, const uint8_t *quad, uint8_t copy[kEdgeCopyBytes]) {
    const int32_t quads = type == SPAN_BOTH ? 2 : 1;
    std::memset(copy, 0, kEdgeCopyBytes);
    std::memcpy(copy, quad, static_cast<size_t>(quads) * kWarpedQuadBytes);
    for (int32_t q = 0; q < quads; ++q) {
        uint8_t *copied = copy + q * kWarpedQuadBytes;
        copied[6] = copied[4];
    }
}

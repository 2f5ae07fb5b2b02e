// Records the band workers, row drivers, fetches and span kernels of the full-resolution
// fusion exchange. None is allocated on its own: they live in the per-worker buffers of the
// session or on a row driver's stack.
#pragma once

#include <cstdint>

// Which secondary exposures carry weight along a span: bit 0 the dark one, bit 1 the bright.
enum SpanType : int32_t {
    SPAN_REFERENCE_ONLY = 0,
    SPAN_DARK = 1,
    SPAN_BRIGHT = 2,
    SPAN_BOTH = 3,
};

constexpr int32_t kFusionWeightOne = 0x8000;  // Q15 1.0

// Q15 weights carried from one group of four pixels to the next along a row. The entries
// belong to the exposures by span type:
//   SPAN_BOTH           dark, bright, reference
//   SPAN_DARK           dark, reference, (not read)
//   SPAN_BRIGHT         bright, reference, (not read)
//   SPAN_REFERENCE_ONLY 0, 0, 0x8000
struct RunningWeights {
    int32_t w[3];
};

// One secondary exposure warped onto a group of four pixels, in packed 4:2:2 order:
// Y0 U0 Y1 V0 Y2 U1 Y3 V1 (pair 0 = pixels 0-1, pair 1 = pixels 2-3). The warp buffer holds,
// for the group that starts at pixel x, the dark quad at byte 4x and the bright quad at 4x + 8;
// a row fused with one secondary puts that secondary's quad at 4x.
constexpr int32_t kWarpedQuadBytes = 8;
constexpr int32_t kWarpGroupStride = 16;  // bytes from one group's quads to the next

// The same mesh grid of the dark and of the bright exposure. Nodes (i, j) stand at
// x = 256j - 128, y = 256i - 128; offsets are pixels times 256, slopes the right neighbour's
// displacement minus the node's, in pixels.
struct MeshGridPair {
    const int32_t *dark;
    const int32_t *bright;
};

// The first planes of the three exposures of a run.
struct ExposureRows {
    const uint8_t *dark;
    const uint8_t *bright;
    const uint8_t *reference;
};

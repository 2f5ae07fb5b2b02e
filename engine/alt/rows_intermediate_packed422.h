// The 16-bit row drivers of the two-call merge for packed 4:2:2: the normal-mode row drivers
// of the full-resolution fusion (span merge, RunningWeights across span borders, tiles over
// which the motion mesh is linear, the motion-shifted fetch of each tile) calling the 16-bit
// span kernels. The fetches clamp to the frame's size rather than the process rectangle.
#pragma once

#include <cstdint>

#include "fusion/band_common.h"
#include "fusion/fetch_packed422.h"

// What the 16-bit row drivers of one band share.
struct IntermediatePackedContext : BandContext {
    int32_t pitch;
    ExposureRows exposures;
    ReferenceLuma referenceLuma;  // the reference itself: the intermediate is never in place
    int32_t fetchRight, fetchBottom;  // the frame's size: the packed fetches clamp to it
};

// Row drivers: fuse row row.r over the process rectangle's columns into out (the 16-bit row,
// pixel x at sample 2x). The two-secondary driver cuts the row into typed spans and tiles, the
// one-secondary driver takes the chosen secondary's runs (dark: true), the reference-only
// driver runs the reference-only kernel over the whole row.
void FuseIntermediateRowPacked422(const IntermediatePackedContext &context, const BandRow &row,
                                  int16_t *out);
void FuseIntermediateRowOneSecondaryPacked422(const IntermediatePackedContext &context,
                                              const BandRow &row, int16_t *out, bool dark);
void FuseIntermediateRowRefOnlyPacked422(const IntermediatePackedContext &context,
                                         const BandRow &row, int16_t *out);


// Fills the context for worker t from the session (normal mode whatever a one-pass merge left
// set; the reference itself for the fetches' border estimates).
void SetUpIntermediatePackedContext(IntermediatePackedContext &context, const HdrSession *session,
                                    int t, uint8_t *const *firstPlanes, int32_t width,
                                    int32_t height, int32_t pitch, const RegionRect &processRect);

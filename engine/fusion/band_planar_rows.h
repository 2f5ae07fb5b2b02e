// The row fusion shared by the planar and semi-planar band passes, the 8-bit one and the 16-bit
// one: a row is cut into typed spans and tiles (band_common.h), each tile fetches the
// motion-shifted secondaries it needs into the worker's warp buffer and then goes to the pass's
// kernel. The passes differ only in that kernel, called as
//   kernel(type, a, b, quad, weights)
// with the span type, the tile [a, b), the warp buffer at the quad the kernel reads first and the
// running weights (null for a reference-only tile).
#pragma once

#include <cstdint>

#include "fusion/band_common.h"
#include "fusion/fetch_planar.h"
#include "fusion/planar_band_context.h"
#include "fusion/planar_layout.h"

template <ChromaLayout Layout>
void FetchPlanarSecondary(const PlanarBandContext &c, const BandRow &row, int32_t a, int32_t b,
                          bool dark, uint8_t *dest) {
    using L = ChromaLayout;
    const TileMotion m = MotionOfTile(c, row, a, dark);
    const YuvPlanes &source = dark ? c.dark : c.bright;
    if (m.whole) {
        const auto fetch = Layout == L::kPlanar420       ? FetchShiftedPlanar420
                           : Layout == L::kSemiPlanar420 ? FetchShiftedSemiPlanar420
                           : Layout == L::kPlanar422     ? FetchShiftedPlanar422
                                                         : FetchShiftedSemiPlanar422;
        fetch(c.session, c.right, c.bottom, m.x.disp, m.y.disp, m.x.step, m.y.step, a, row.r, b,
              source, &c.referenceLuma, dest);
    } else {
        const auto fetch = Layout == L::kPlanar420       ? FetchSubpelPlanar420
                           : Layout == L::kSemiPlanar420 ? FetchSubpelSemiPlanar420
                           : Layout == L::kPlanar422     ? FetchSubpelPlanar422
                                                         : FetchSubpelSemiPlanar422;
        fetch(c.session, c.right, c.bottom, m.x.disp, m.y.disp, m.x.step, m.y.step, a, row.r, b,
              source, dest);
    }
    RefreshSecondaryLines(c, row, a, b, dark);  // local-curve map lines; nothing in normal mode
}

// Both secondaries weighted somewhere on the row: the dark quad of group a at 4a, the bright
// one kWarpedQuadBytes further; a bright-only tile reads the bright quad.
template <ChromaLayout Layout, class Kernel>
void FusePlanarRowTwo(const PlanarBandContext &c, const BandRow &row, Kernel &&kernel) {
    DriveTwoSecondaries(c, [&](int32_t type, int32_t a, int32_t b, RunningWeights *weights) {
        uint8_t *group = c.warp + 4 * static_cast<int64_t>(a);
        if (type & SPAN_DARK) FetchPlanarSecondary<Layout>(c, row, a, b, true, group);
        if (type & SPAN_BRIGHT)
            FetchPlanarSecondary<Layout>(c, row, a, b, false, group + kWarpedQuadBytes);
        const uint8_t *quad = type == SPAN_BRIGHT ? group + kWarpedQuadBytes : group;
        kernel(type, a, b, quad, weights);
    });
}

// One secondary weighted on the row: its quad sits at 4a whichever it is.
template <ChromaLayout Layout, class Kernel>
void FusePlanarRowOne(const PlanarBandContext &c, const BandRow &row, bool dark,
                      Kernel &&kernel) {
    DriveOneSecondary(c, dark, [&](int32_t type, int32_t a, int32_t b, RunningWeights *weights) {
        uint8_t *group = c.warp + 4 * static_cast<int64_t>(a);
        if (type != SPAN_REFERENCE_ONLY) FetchPlanarSecondary<Layout>(c, row, a, b, dark, group);
        kernel(type, a, b, group, weights);
    });
}

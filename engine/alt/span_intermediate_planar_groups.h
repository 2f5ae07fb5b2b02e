// What the planar and semi-planar 16-bit span kernels share: the reference group gathered
// into packed order for the packed blend steps, and the 16-bit tail that spreads a fused group
// over the format's planes.
#pragma once

#include <algorithm>
#include <cstdint>

#include "alt/span_intermediate_packed422.h"
#include "fusion/planar_layout.h"
#include "fusion/span_planar.h"
#include "fusion/span_planar_group.h"

// 16-bit rows of the intermediate at a span's first pixel (chroma as the inputs lay it: U and
// V planes, or the interleaved pairs in u).
struct IntermediateRowOut {
    int16_t *y;
    int16_t *u;
    int16_t *v;
};

namespace intermediate_detail {

// The reference group at offset (pixels from the span start) in packed order
// (Y0 U0 Y1 V0 Y2 U1 Y3 V1), so the packed blend steps read it unchanged.
template <ChromaLayout Layout>
void GatherGroup(const PlanarRowIn &ref, int32_t offset, uint8_t group[8]) {
    GatherPlanarGroup<Layout>(ref, offset, group);
}

// The 16-bit tail into the format's planes, held to the ranges the tone mapping reads. A null
// chroma row writes luma alone.
template <ChromaLayout Layout>
void StoreGroup(const FusedGroup &g, const IntermediateRowOut &out, int32_t offset) {
    for (int i = 0; i < 4; ++i)
        out.y[offset + i] = static_cast<int16_t>(std::clamp(g.light[i], 0, kIntermediateLumaMax));
    if (!out.u) return;
    int16_t c[4];
    for (int k = 0; k < 4; ++k)
        c[k] = static_cast<int16_t>(std::clamp(g.chroma[k], 0, kIntermediateChromaMax));
    if constexpr (kSeparateChromaPlanes<Layout>) {
        const int32_t at = offset >> 1;
        out.u[at] = c[0];
        out.v[at] = c[1];
        out.u[at + 1] = c[2];
        out.v[at + 1] = c[3];
    } else {
        for (int k = 0; k < 4; ++k) out.u[offset + k] = c[k];
    }
}

}  // namespace intermediate_detail

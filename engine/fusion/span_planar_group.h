// One group of four pixels of a planar or semi-planar row moved to and from the packed order
// (Y0 U0 Y1 V0 Y2 U1 Y3 V1) the group steps shared with the packed kernels work in. An
// interleaved chroma pair takes the U and V positions as it lies.
#pragma once

#include <cstdint>

#include "fusion/planar_layout.h"

// The reference group at pixel offset `offset` of the row.
template <ChromaLayout Layout>
inline void GatherPlanarGroup(const PlanarRowIn &ref, int32_t offset, uint8_t group[8]) {
    for (int i = 0; i < 4; ++i) group[2 * i] = ref.y[offset + i];
    if constexpr (kSeparateChromaPlanes<Layout>) {
        const int32_t c = offset >> 1;
        group[1] = ref.u[c];
        group[3] = ref.v[c];
        group[5] = ref.u[c + 1];
        group[7] = ref.v[c + 1];
    } else {
        for (int i = 0; i < 4; ++i) group[2 * i + 1] = ref.u[offset + i];
    }
}

// A fused group's bytes into the row at `offset`: luma, and chroma when writeChroma.
template <ChromaLayout Layout>
inline void ScatterPlanarGroup(const uint8_t group[8], bool writeChroma, const PlanarRowOut &out,
                               int32_t offset) {
    for (int i = 0; i < 4; ++i) out.y[offset + i] = group[2 * i];
    if (!writeChroma) return;
    if constexpr (kSeparateChromaPlanes<Layout>) {
        const int32_t c = offset >> 1;
        out.u[c] = group[1];
        out.v[c] = group[3];
        out.u[c + 1] = group[5];
        out.v[c + 1] = group[7];
    } else {
        for (int i = 0; i < 4; ++i) out.u[offset + i] = group[2 * i + 1];
    }
}

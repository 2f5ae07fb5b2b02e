// The band context of the planar and semi-planar band passes, which their row drivers share.
#pragma once

#include <cstdint>

#include "fusion/band_common.h"
#include "fusion/fetch_planar.h"

// What the row drivers of one band share beyond the common context.
struct PlanarBandContext : BandContext {
    YuvPlanes dark, bright, reference;
    ReferenceLuma referenceLuma;  // what the border estimates read
    uint8_t *output[3];           // outputPlanes, with the inputs' pitches
    int32_t outputPitch[3];
    const uint8_t *chromaTable2;
    int32_t endRow;  // the band's end (4:2:0 normal mode: where an even row writes chroma)
};

// Small records shared by every engine stage.
#pragma once

#include <cstdint>

#include "hdr_engine.h"

// A rectangle as origin and size.
struct RegionRect {
    uint32_t x;
    uint32_t y;
    uint32_t width;
    int32_t height;
};

// A rectangle as corners; x1 and y1 are exclusive.
struct PixelRect {
    int32_t x0, y0, x1, y1;
};

// A rectangle as corners; x1 and y1 are inclusive ({0, 0, w - 1, h - 1} is a whole image).
struct InclusiveRect {
    int32_t x0, y0, x1, y1;
};

// The rows one of the four full-resolution workers renders.
struct RowBand {
    int32_t workerIndex;
    int32_t firstRow;
    int32_t endRow;     // exclusive
    int32_t rowOffset;  // firstRow minus the process rectangle's top
};

// The geometry of the two-call merge's 16-bit intermediate image, as the merge recorded it;
// valid while the session's intermediateReady is set. alt/intermediate_image.h describes the
// layouts and holds the functions that write and read it.
struct IntermediateImage {
    int32_t layout;  // INTERMEDIATE_LAYOUT_PARITY_SPLIT, anything else is the full layout
    uint32_t format;
    int32_t width;
    int32_t height;
    int32_t pitch[3];          // the inputs' plane pitches: 16-bit samples per row
    int64_t rowBytes[2][3];    // byte step between 16-bit rows, per descriptor and plane
    RegionRect processRect;    // the rows and columns the merge wrote
};

using ImageDesc = __tag_QELV_OFFSCREEN;

// The 16-bit intermediate image of the two-call merge: where its planes are, how its rows are
// laid out and whether it holds a finished merge. The merge writes it, the tone mapping and
// the exposure map read it; both address it only through this record, never through the
// pitches of their own images.
//
// The record itself (IntermediateImage) is one of core's types, so that the session can hold it.
//
// Samples are signed 16-bit: luma is the blended linear light (a pixel taken from one exposure
// alone carries its fusion-table value times 2^(2 - valueShift)), chroma 64 times the blended
// 8-bit chroma (neutral 8192, at most 16320). A 16-bit row of a plane holds as many samples as
// the inputs' plane has bytes per row. Packed 4:2:2 keeps Y0 U Y1 V in one plane.
//
// Layouts (rows counted from the top of the process rectangle, which is row 0):
// - parity-split (INTERMEDIATE_LAYOUT_PARITY_SPLIT): even rows go to descriptor 0's planes,
//   odd rows to descriptor 1's, row r at row r / 2 of that half; 16-bit row j of a plane
//   starts at byte 2 j pitch of the (8-bit) descriptor, so each descriptor has the inputs'
//   format and size.
// - full (any other layout value): every row in descriptor 0's planes, row r at byte r pitch;
//   the descriptor's pitches are at least twice the inputs'.
// Chroma rows kept per format:
// - 4:2:0 (0x601, 0x605, 0x801, 0x802): one chroma row per row pair k = r / 2; parity-split
//   puts chroma row k into the planes of k's parity at row k / 2, full at row k;
// - 0x803: parity-split like luma; full keeps chroma row r / 2 for both rows of a pair;
// - 0x603: like luma in both layouts.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

struct HdrSession;

// Kinds of chroma row placement (see the header comment).
enum IntermediateChromaRows {
    kIntermediateNoChroma = 0,    // packed: chroma lives in the luma plane
    kIntermediateChromaPairs,     // 4:2:0: one chroma row per row pair
    kIntermediateChromaEveryRow,  // 0x803: every row (full layout keeps one per pair)
    kIntermediateChromaPlanar422  // 0x603: every row in both layouts
};

// Planes of a format of the set (1, 2 or 3), 0 for another format.
inline int32_t IntermediatePlaneCount(uint32_t format) {
    switch (format) {
        case 0x501: return 1;
        case 0x801: case 0x802: case 0x803: return 2;
        case 0x601: case 0x605: case 0x603: return 3;
        default: return 0;
    }
}
// Formats of the two-call merge: 0x501, 0x601, 0x605, 0x603, 0x801, 0x802, 0x803.
inline bool IsIntermediateFormat(uint32_t format) { return IntermediatePlaneCount(format) > 0; }
IntermediateChromaRows IntermediateChromaPlacement(uint32_t format);
bool IsParitySplit(const IntermediateImage &image);

// Plane p (0 luma or packed, 1 first chroma, 2 second chroma) of descriptor 0 (even rows, or
// the full plane) and descriptor 1 (odd rows; null in the full layout).
uint8_t *IntermediateEvenPlane(const HdrSession *session, int32_t plane);
uint8_t *IntermediateOddPlane(const HdrSession *session, int32_t plane);

// Checks the output descriptors against the inputs for the layout (ALT rules: descriptors of
// the inputs' format and size, pitches at least the inputs' (parity-split) or twice the
// inputs' (full); no plane overlapping another or an input plane), then records the geometry
// and the plane pointers in the session. Inputs are the three exposures (one format, size and
// pitches, checked by the caller). RESULT_OK or RESULT_INVALID_ARGUMENT with nothing recorded.
int RecordIntermediateImage(HdrSession *session, const ImageDesc *inputs, int32_t count,
                            const ImageDesc *outputs, int32_t layout,
                            const RegionRect &processRect);
// Forgets the intermediate: clears intermediateReady, the record and the plane pointers (the
// planes belong to the caller and are never freed).
void ClearIntermediateImage(HdrSession *session);

// 16-bit row of plane p holding image row r (r from the process rectangle's top), or null when
// the plane does not exist or the row is outside the recorded process rectangle. For chroma,
// the row that keeps row r's chroma (4:2:0: the row of r's pair).
int16_t *IntermediatePlaneRow(const HdrSession *session, int32_t plane, int32_t r);
inline int16_t *IntermediateLumaRow(const HdrSession *session, int32_t r) {
    return IntermediatePlaneRow(session, 0, r);
}
inline int16_t *IntermediateChromaRow(const HdrSession *session, int32_t plane, int32_t r) {
    return plane == 1 || plane == 2 ? IntermediatePlaneRow(session, plane, r) : nullptr;
}

// Where a plane's row of the intermediate lives: which descriptor (0 even/full, 1 odd) and the
// row index inside that descriptor's plane; row -1 when the format keeps no such row.
struct IntermediateRowPlace {
    int32_t descriptor;
    int32_t row;
};
IntermediateRowPlace PlaceIntermediateRow(int32_t layout, uint32_t format, int32_t plane,
                                          int32_t r);

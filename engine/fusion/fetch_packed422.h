// Motion-shifted fetch of a secondary packed 4:2:2 exposure (Y0 U Y1 V) into the warp buffer:
// one WarpedQuad per group of four pixels of the tile [a, b) of row r, groups 16 bytes apart.
// The source of output pixel (x, r) lies at (x - dispX / 65536, r - dispY / 65536); right and
// bottom are the process rectangle's right and bottom edges (exclusive), which clamp every
// source position.
#pragma once

#include <cstdint>

struct HdrSession;

// Where the whole-pixel fetch reads the reference's luma for its border estimate: pixel (x, y)
// at data[y * pitch + x * pixelStep]. A packed plane has pixelStep 2; a copy of the luma alone
// (taken before the reference is fused in place) has pixelStep 1.
struct ReferenceLuma {
    const uint8_t *data;
    int32_t pixelStep;
    int32_t pitch;
};

// How far a border estimate moves the four source columns it takes its difference over, from
// `first`, and the reference's four with them: one column inward where the source's four would
// take its outermost column on either side (0 or right - 1). That column may hold a dark line
// a lens or a crop left, and a clamped group would carry a quarter of it over the whole strip
// the move uncovers.
inline int32_t BorderEstimateInward(int32_t first, int32_t right) {
    if (right < 6) return 0;
    if (first <= 0) return 1;
    return first + 4 >= right ? -1 : 0;
}

// Whole-pixel displacement dx = dispX >> 16, dy = dispY >> 16, the same over the tile (the
// steps are not read). Groups whose source lies inside the rectangle are copied (re-paired
// when dx is odd); a group whose column or row was clamped estimates its luma from the
// reference at the output position, moved by a quarter of the difference between four source
// lumas and four reference lumas at the matching spot, with chroma from the source.
void FetchShiftedPacked422(const HdrSession *session, int32_t right, int32_t bottom,
                           int32_t dispX, int32_t dispY, int32_t stepX, int32_t stepY, int32_t a,
                           int32_t r, int32_t b, int32_t pitch, const uint8_t *source,
                           const ReferenceLuma *reference, uint8_t *destination);

// 1/16-pixel fetch: bilinear luma at the position 16x - (dispX >> 12), 16r - (dispY >> 12) in
// 1/16 pixel (fractions from the unclamped position, result truncated), chroma of the nearest
// pairs on the upper source row; the displacement advances by the steps per group. Needs
// right >= 5 and bottom >= 2.
void FetchSubpelPacked422(const HdrSession *session, int32_t right, int32_t bottom, int32_t dispX,
                          int32_t dispY, int32_t stepX, int32_t stepY, int32_t a, int32_t r,
                          int32_t b, int32_t pitch, const uint8_t *source, uint8_t *destination);

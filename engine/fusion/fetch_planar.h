// Motion-shifted fetch of a secondary planar or semi-planar exposure into the warp buffer: one
// WarpedQuad (Y0 C0 Y1 C1 Y2 C2 Y3 C3) per group of four pixels of the tile [a, b) of row r,
// groups 16 bytes apart. The steps are those of the packed 4:2:2 fetch (fetch_packed422.h); the
// luma is one byte per pixel and the chroma of a group comes from the pair that holds its first
// source pixel and the pair after it:
//   planar 4:2:0       U and V planes, byte q of chroma row (source row >> 1)
//   semi-planar 4:2:0  interleaved plane, bytes 2q and 2q + 1 of chroma row (source row >> 1)
//   semi-planar 4:2:2  interleaved plane, bytes 2q and 2q + 1 of chroma row (source row)
//   planar 4:2:2       U and V planes, byte q of chroma row (source row)
// with q the pair index (source column >> 1). The quad's U position takes the first byte of an
// interleaved pair and its V position the second, whatever the format's chroma order.
//
// Each plane is addressed with its own pitch. A 4:2:0 chroma row is held to the rows the process
// rectangle covers ((bottom >> 1) - 1 at most), so a frame of odd height never reads past its
// h >> 1 chroma rows.
#pragma once

#include <cstdint>

#include "fusion/fetch_packed422.h"

struct HdrSession;

// The planes of one image, luma first. Planar 4:2:0 and 4:2:2: plane 1 U, plane 2 V. Semi-planar: plane
// 1 the interleaved chroma, plane 2 unused.
struct YuvPlanes {
    const uint8_t *plane[3];
    int32_t pitch[3];
};

// Whole-pixel fetch (the steps are not read). A group whose source column or row was clamped
// estimates its luma from the reference at the output position, moved by a quarter of the
// difference between the four source lumas from the source column and four reference lumas at
// the matching spot. Its chroma: the planar formats take the pair at the source column for both
// pairs of the quad, the semi-planar formats the two pairs from it.
void FetchShiftedPlanar420(const HdrSession *session, int32_t right, int32_t bottom,
                           int32_t dispX, int32_t dispY, int32_t stepX, int32_t stepY, int32_t a,
                           int32_t r, int32_t b, const YuvPlanes &source,
                           const ReferenceLuma *reference, uint8_t *destination);
void FetchShiftedSemiPlanar420(const HdrSession *session, int32_t right, int32_t bottom,
                               int32_t dispX, int32_t dispY, int32_t stepX, int32_t stepY,
                               int32_t a, int32_t r, int32_t b, const YuvPlanes &source,
                               const ReferenceLuma *reference, uint8_t *destination);
void FetchShiftedSemiPlanar422(const HdrSession *session, int32_t right, int32_t bottom,
                               int32_t dispX, int32_t dispY, int32_t stepX, int32_t stepY,
                               int32_t a, int32_t r, int32_t b, const YuvPlanes &source,
                               const ReferenceLuma *reference, uint8_t *destination);

// 1/16-pixel fetch: bilinear luma, chroma of the pair holding the clamped column and the next
// pair on the upper source row. Needs right >= 5 and bottom >= 2.
void FetchSubpelPlanar420(const HdrSession *session, int32_t right, int32_t bottom, int32_t dispX,
                          int32_t dispY, int32_t stepX, int32_t stepY, int32_t a, int32_t r,
                          int32_t b, const YuvPlanes &source, uint8_t *destination);
void FetchSubpelSemiPlanar420(const HdrSession *session, int32_t right, int32_t bottom,
                              int32_t dispX, int32_t dispY, int32_t stepX, int32_t stepY,
                              int32_t a, int32_t r, int32_t b, const YuvPlanes &source,
                              uint8_t *destination);
void FetchSubpelSemiPlanar422(const HdrSession *session, int32_t right, int32_t bottom,
                              int32_t dispX, int32_t dispY, int32_t stepX, int32_t stepY,
                              int32_t a, int32_t r, int32_t b, const YuvPlanes &source,
                              uint8_t *destination);

// Planar 4:2:2: the planar 4:2:0 fetches with the chroma of the (clamped) source row itself.
void FetchShiftedPlanar422(const HdrSession *session, int32_t right, int32_t bottom,
                           int32_t dispX, int32_t dispY, int32_t stepX, int32_t stepY, int32_t a,
                           int32_t r, int32_t b, const YuvPlanes &source,
                           const ReferenceLuma *reference, uint8_t *destination);
void FetchSubpelPlanar422(const HdrSession *session, int32_t right, int32_t bottom, int32_t dispX,
                          int32_t dispY, int32_t stepX, int32_t stepY, int32_t a, int32_t r,
                          int32_t b, const YuvPlanes &source, uint8_t *destination);

// The band structure of the full-resolution fusion for planar 4:2:0 (PIXEL_FORMAT_I420),
// semi-planar 4:2:0 (PIXEL_FORMAT_NV12, PIXEL_FORMAT_NV21, handled alike) and semi-planar 4:2:2
// (PIXEL_FORMAT_NV16). The band walk, the row refreshes and the cut of rows into spans and tiles
// are those of the packed 4:2:2 family (band_common.h); these workers differ in their planes and
// addressing, their fetches (fetch_planar.h), kernels (span_planar.h) and recovery-offset
// refinements (recovery_refine_planar.h).
//
// Addressing of image row r (x0, y0: the process rectangle's left column and top row):
//   planar 4:2:0       Y row r; U and V rows r >> 1 at x0 >> 1; output U and V rows (r - y0) >> 1
//   semi-planar 4:2:0  Y row r; chroma row r >> 1 at byte x0; output chroma row (r - y0) >> 1
//   semi-planar 4:2:2  Y row r; chroma row r at byte x0; output chroma row r - y0
// Each plane is read with its own pitch: the chroma planes of the semi-planar formats with the
// chroma pitch.
//
// 4:2:0 chroma: rows 2k and 2k + 1 share chroma row k. Local-curve mode writes it from the even
// row only. Normal mode fuses it on both rows and the odd row's result stays; rendered in place,
// the odd row must read the chroma as the caller supplied it, so an even row whose odd partner
// lies in the same band leaves the chroma to that row (the kept bytes are the same, and no row
// ever reads chroma a row of its band has fused). Bands start on even rows (the run driver's
// bands start at multiples of 8 from a process rectangle whose top is a multiple of 4).
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "fusion/band_common.h"
#include "fusion/fetch_planar.h"
#include "fusion/planar_band_context.h"

struct HdrSession;

// Render rows [firstRow, endRow) of the band into outputPlanes[0..2] (output row r at
// r - processRect.y). firstPlanes, secondPlanes and thirdPlanes hold each input's planes;
// width, height and the pitches are input 0's; processRect is the session's; gains and shifts
// are accepted and not read. Results as RenderFusedBandPacked422: RESULT_OK,
// RESULT_INVALID_ARGUMENT (null arguments, a worker index outside 0..3), RESULT_OUT_OF_MEMORY
// (a buffer the mode uses is missing, or the reference is rendered in place without the luma
// copy of CopyReferenceLumaPlaneForBandPass), RESULT_CANCELLED.
int RenderFusedBandPlanar420(const RowBand *band, HdrSession *session,
                             uint8_t *const *firstPlanes, int32_t width, int32_t height,
                             int32_t pitchY, uint8_t *const *secondPlanes, int32_t pitchU,
                             uint8_t *const *thirdPlanes, int32_t pitchV,
                             const RegionRect *processRect, const int32_t *gains,
                             const int32_t *shifts, ProgressCallback callback, void *user);
// Order of the bytes of an interleaved chroma pair: NV12 keeps U first, NV21 V first.
enum SemiPlanarChromaOrder { kChromaOrderUV = 0, kChromaOrderVU = 1 };

// The kernels fuse an interleaved pair as it lies (first byte in the U position). The U and V
// maps of local-curve mode come from the thumbnails, which know each format's order, so for V
// first they are handed to the kernels swapped: each correction meets its own channel and the
// picture is that of the same scene in NV12 with its pairs swapped. (Normal mode's chroma
// corrections are measured on the pairs as they lie and need no swap.)
int RenderFusedBandSemiPlanar420(const RowBand *band, HdrSession *session,
                                 uint8_t *const *firstPlanes, int32_t width, int32_t height,
                                 int32_t pitchY, uint8_t *const *secondPlanes, int32_t pitchC,
                                 const RegionRect *processRect, const int32_t *gains,
                                 const int32_t *shifts, ProgressCallback callback, void *user,
                                 SemiPlanarChromaOrder order = kChromaOrderUV);
int RenderFusedBandSemiPlanar422(const RowBand *band, HdrSession *session,
                                 uint8_t *const *firstPlanes, int32_t width, int32_t height,
                                 int32_t pitchY, uint8_t *const *secondPlanes, int32_t pitchC,
                                 const RegionRect *processRect, const int32_t *gains,
                                 const int32_t *shifts, ProgressCallback callback, void *user);

// Copies the reference's luma plane into a new session->bandReferenceLuma of width x height
// bytes, replacing one left there, for the border estimates of bands rendered in place. Call on
// the caller's thread before the band workers start. RESULT_OK, RESULT_INVALID_ARGUMENT (null
// session or plane, sizes below 1, a pitch below the width) or RESULT_OUT_OF_MEMORY.
int CopyReferenceLumaPlaneForBandPass(MemoryContext memory, HdrSession *session,
                                      const uint8_t *lumaPlane, int32_t width, int32_t height,
                                      int32_t pitch);

// Points c.referenceLuma at what the border estimates read: the luma copy taken before the pass,
// or the reference's own plane when the output goes elsewhere. RESULT_OUT_OF_MEMORY when the
// output overwrites the reference and no copy was taken, else RESULT_OK.
int PickPlanarReferenceLuma(PlanarBandContext &c, const HdrSession *s, int32_t width);

void FuseOutputRowPlanar420(const PlanarBandContext &band, const BandRow &row);
void FuseOutputRowOneSecondaryPlanar420(const PlanarBandContext &band, const BandRow &row,
                                        bool dark);
void FuseOutputRowRefOnlyPlanar420(const PlanarBandContext &band, const BandRow &row);

void FuseOutputRowSemiPlanar420(const PlanarBandContext &band, const BandRow &row);
void FuseOutputRowOneSecondarySemiPlanar420(const PlanarBandContext &band, const BandRow &row,
                                            bool dark);
void FuseOutputRowRefOnlySemiPlanar420(const PlanarBandContext &band, const BandRow &row);

void FuseOutputRowSemiPlanar422(const PlanarBandContext &band, const BandRow &row);
void FuseOutputRowOneSecondarySemiPlanar422(const PlanarBandContext &band, const BandRow &row,
                                            bool dark);
void FuseOutputRowRefOnlySemiPlanar422(const PlanarBandContext &band, const BandRow &row);

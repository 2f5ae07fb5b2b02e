// The direct-output (8-bit) fusion of planar 4:2:2 (PIXEL_FORMAT_YUV422P: a Y plane and U and
// V planes of half width and full height): a band worker, its whole-image form, three output
// row drivers with the plain normal-mode kernels and three with the chroma-gain kernels
// (span_planar422.h). The run driver's band pass does not dispatch this format; these renders
// stand beside it.
//
// Structure as the planar 4:2:0 worker (band_planar.h): spans, tiles, mesh motion, the fetch
// choice and the driver choice by the two all-zero flags. Rows are walked as
// direct_output_rows.h tells (normal mode only, even-row refreshes, the fade rows only with
// offsetFadeEnabled, RefineRecoveryOffsetsRowPlanar422). Addressing of image row r (x0, y0:
// the process rectangle's left column and top row): Y row r at x0, U and V rows r at x0 >> 1;
// output rows r - y0 of outputPlanes with the inputs' pitches.
//
// Rendered in place, the border estimates read the luma copy of
// CopyReferenceLumaPlaneForBandPass, and bands must start on even rows (a band's first row
// refreshes from the even row before it, whose chroma another band may already have fused).
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "fusion/band_planar.h"

struct HdrSession;

// Renders rows [firstRow, endRow) of the band with worker band->workerIndex's buffers.
// firstPlanes, secondPlanes and thirdPlanes hold each input's Y, U and V planes; width, height
// and the pitches are input 0's; processRect is the session's. RESULT_OK,
// RESULT_INVALID_ARGUMENT (null arguments or planes, a worker index outside 0..3) or
// RESULT_OUT_OF_MEMORY (a buffer is missing). No progress reports, no cancel.
int RenderFusedRowsPlanar422(const RowBand *band, HdrSession *session,
                             uint8_t *const *firstPlanes, int32_t ignored, int32_t width,
                             int32_t height, int32_t pitchY, uint8_t *const *secondPlanes,
                             int32_t pitchU, uint8_t *const *thirdPlanes, int32_t pitchV,
                             const RegionRect *processRect);

// The band worker over the whole process rectangle with worker 0's buffers and a gain row of
// its own from the memory context (freed on every path). With a callback, row r % 32 = 0
// reports progressBase + 25 r / processRect.height; a cancel ends the render with
// RESULT_CANCELLED (rows written stay). RESULT_OUT_OF_MEMORY also when the gain row cannot be
// had. gains and shifts are not read.
int RenderFusedImagePlanar422(MemoryContext memory, HdrSession *session,
                              uint8_t *const *firstPlanes, int32_t ignored, int32_t width,
                              int32_t height, int32_t pitchY, uint8_t *const *secondPlanes,
                              int32_t pitchU, uint8_t *const *thirdPlanes, int32_t pitchV,
                              const RegionRect *processRect, const int32_t *gains,
                              const int32_t *shifts, ProgressCallback callback, void *user);

void FuseOutputRowPlanar422(const PlanarBandContext &band, const BandRow &row);
void FuseOutputRowOneSecondaryPlanar422(const PlanarBandContext &band, const BandRow &row,
                                        bool dark);
void FuseOutputRowRefOnlyPlanar422(const PlanarBandContext &band, const BandRow &row);

void FuseOutputRowChromaGainPlanar422(const PlanarBandContext &band, const BandRow &row);
void FuseOutputRowOneSecondaryChromaGainPlanar422(const PlanarBandContext &band,
                                                  const BandRow &row, bool dark);
void FuseOutputRowRefOnlyChromaGainPlanar422(const PlanarBandContext &band, const BandRow &row);

// The band pass of the two-call merge for the planar and semi-planar formats: planar 4:2:0
// (0x601, 0x605), planar 4:2:2 (0x603), semi-planar 4:2:0 (0x801, 0x802) and semi-planar 4:2:2
// (0x803). The band walk, row refreshes and row drivers are those of the packed pass
// (band_intermediate_packed422.h); the kernels are the 8-bit planar kernels' blend with a
// 16-bit tail into the intermediate's planes (alt/intermediate_image.h).
//
// Rows go straight to the intermediate's planes in both layouts: the intermediate never lies
// over an input, so no row is held back. 4:2:0 chroma is fused on the odd row of each pair (or
// the band's last row when its partner lies beyond), from the reference's chroma row r / 2.
// Semi-planar 4:2:2 fuses chroma on every row; in the full layout, where both rows of a pair
// share one chroma row, the odd row's chroma stays.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

struct HdrSession;

// Fuses rows [firstRow, endRow) of band (worker 0 or 1) of the inputs' format into the
// intermediate the session records. Progress, results and refusals as the packed band pass;
// RESULT_UNSUPPORTED_FORMAT for a format outside the planar and semi-planar members.
int FuseIntermediateBandPlanar(const RowBand *band, HdrSession *session, const ImageDesc *inputs,
                               int32_t count, ProgressCallback callback, void *user);
// The whole process rectangle as one band of worker 0: progress progressBase + 50 r / height
// every 32 rows, progressBase left as it is. RESULT_INVALID_ARGUMENT under 128 rows.
int FuseIntermediateImagePlanar(HdrSession *session, const ImageDesc *inputs, int32_t count,
                                ProgressCallback callback, void *user);
// The one-band passes of planar 4:2:0 (0x601, 0x605) and semi-planar 4:2:0 (0x801, 0x802):
// FuseIntermediateImagePlanar for those formats, RESULT_UNSUPPORTED_FORMAT for any other.
int FuseIntermediateImagePlanar420(HdrSession *session, const ImageDesc *inputs, int32_t count,
                                   ProgressCallback callback, void *user);
int FuseIntermediateImageSemiPlanar420(HdrSession *session, const ImageDesc *inputs,
                                       int32_t count, ProgressCallback callback, void *user);
// The planar members keep no rows back: the flush checks its arguments, writes nothing and,
// when callback is given, reports progressBase (semi-planar 4:2:0 after adding 5 to it);
// RESULT_CANCELLED when the report asks.
int FlushIntermediateSeamsPlanar(HdrSession *session, const ImageDesc *inputs, int32_t count,
                                 ProgressCallback callback, void *user);

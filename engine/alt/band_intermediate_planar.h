// The band pass of the two-call merge for the planar and semi-planar formats: planar 4:2:0
// (0x601, 0x605), planar 4:2:2 (0x603), semi-planar 4:2:0 (0x801, 0x802) and semi-planar 4:2:2
// (0x803). The band walk and the row drivers are those of the packed pass
// (band_intermediate_packed422.h), the row refreshes keep each family's own cadence; the
// kernels are the 8-bit planar kernels' blend with a 16-bit tail into the intermediate's planes
// (alt/intermediate_image.h).
//
// Rows and chroma rows as the packed pass places them (band_intermediate_packed422.h): in the
// full layout straight to the intermediate's planes; in the parity-split layout into the band's
// ring, each row leaving it 128 rows later (a lower band's first 128 rows into the seam buffer),
// the flush writing what the rings and the seam buffer still hold. 4:2:0 keeps the chroma fused
// on the odd row of each pair (an even row fuses chroma only when its partner lies beyond the
// band, into a scratch ring slot in the parity-split layout); semi-planar 4:2:2 fuses chroma on
// every row, and in the full layout, where both rows of a pair share one chroma row, the odd
// row's chroma stays; planar 4:2:2 keeps every chroma row.
#pragma once

#include <cstdint>

#include "core/engine_types.h"

struct HdrSession;
struct PlanarBandContext;
struct BandRow;

// Fuses rows [firstRow, endRow) of band (worker 0 or 1) of the inputs' format into the
// intermediate the session records. Progress, results and refusals as the packed band pass;
// RESULT_UNSUPPORTED_FORMAT for a format outside the planar and semi-planar members.
int FuseIntermediateBandPlanar(const RowBand *band, HdrSession *session, const ImageDesc *inputs,
                               int32_t count, ProgressCallback callback, void *user);
// The whole process rectangle as one band of worker 0 with its own final copy of the ring
// (parity-split layout): progress progressBase + 50 r / height every 32 rows, progressBase left
// as it is. RESULT_INVALID_ARGUMENT under 128 rows.
int FuseIntermediateImagePlanar(HdrSession *session, const ImageDesc *inputs, int32_t count,
                                ProgressCallback callback, void *user);
// The one-band passes of planar 4:2:0 (0x601, 0x605) and semi-planar 4:2:0 (0x801, 0x802):
// FuseIntermediateImagePlanar for those formats, RESULT_UNSUPPORTED_FORMAT for any other.
int FuseIntermediateImagePlanar420(HdrSession *session, const ImageDesc *inputs, int32_t count,
                                   ProgressCallback callback, void *user);
int FuseIntermediateImageSemiPlanar420(HdrSession *session, const ImageDesc *inputs,
                                       int32_t count, ProgressCallback callback, void *user);
// After both bands: when callback is given, reports progressBase (semi-planar 4:2:0 after adding
// 5 to it), RESULT_CANCELLED before copying when the report asks; then, in the parity-split
// layout, writes rows splitRow - 128 .. splitRow - 1 from ring 0, the last 128 rows from ring 1
// and rows splitRow .. splitRow + 127 from the seam buffer, with their chroma. Nothing to copy
// in the full layout. RESULT_OUT_OF_MEMORY without the rings and the seam buffer.
int FlushIntermediateSeamsPlanar(HdrSession *session, const ImageDesc *inputs, int32_t count,
                                 ProgressCallback callback, void *user);

// The 16-bit rows (luma, first and second chroma) a row is fused into, positioned at column 0
// of each plane; null chroma when the row leaves its chroma to another.
struct IntermediateRowTargets {
    int16_t *plane[3];
};

// Row drivers of each family, as the band loop calls them for row row.r over the process
// rectangle's columns: the two-secondary driver cuts the row into typed spans and tiles, the
// one-secondary driver takes the chosen secondary's runs (dark: true), the reference-only
// driver runs the reference-only kernel over the whole row. The 4:2:0 and 4:2:2 members of a
// layout are the same code; only the chroma rows the targets and the context hold differ.
void FuseIntermediateRowPlanar420(const PlanarBandContext &context, const BandRow &row,
                                  const IntermediateRowTargets &targets);
void FuseIntermediateRowOneSecondaryPlanar420(const PlanarBandContext &context, const BandRow &row,
                                              const IntermediateRowTargets &targets, bool dark);
void FuseIntermediateRowRefOnlyPlanar420(const PlanarBandContext &context, const BandRow &row,
                                         const IntermediateRowTargets &targets);
void FuseIntermediateRowPlanar422(const PlanarBandContext &context, const BandRow &row,
                                  const IntermediateRowTargets &targets);
void FuseIntermediateRowOneSecondaryPlanar422(const PlanarBandContext &context, const BandRow &row,
                                              const IntermediateRowTargets &targets, bool dark);
void FuseIntermediateRowRefOnlyPlanar422(const PlanarBandContext &context, const BandRow &row,
                                         const IntermediateRowTargets &targets);
void FuseIntermediateRowSemiPlanar420(const PlanarBandContext &context, const BandRow &row,
                                      const IntermediateRowTargets &targets);
void FuseIntermediateRowOneSecondarySemiPlanar420(const PlanarBandContext &context, const BandRow &row,
                                                  const IntermediateRowTargets &targets, bool dark);
void FuseIntermediateRowRefOnlySemiPlanar420(const PlanarBandContext &context, const BandRow &row,
                                             const IntermediateRowTargets &targets);
void FuseIntermediateRowSemiPlanar422(const PlanarBandContext &context, const BandRow &row,
                                      const IntermediateRowTargets &targets);
void FuseIntermediateRowOneSecondarySemiPlanar422(const PlanarBandContext &context, const BandRow &row,
                                                  const IntermediateRowTargets &targets, bool dark);
void FuseIntermediateRowRefOnlySemiPlanar422(const PlanarBandContext &context, const BandRow &row,
                                             const IntermediateRowTargets &targets);

// The band loop and the seam flush of one family (planar 4:2:0: 0x601 and 0x605; planar 4:2:2:
// 0x603; semi-planar 4:2:0: 0x801 and 0x802; semi-planar 4:2:2: 0x803): FuseIntermediateBandPlanar
// and FlushIntermediateSeamsPlanar for a first input of the family, RESULT_UNSUPPORTED_FORMAT for
// any other format.
int FuseIntermediateBandPlanar420(const RowBand *band, HdrSession *session,
                                  const ImageDesc *inputs, int32_t count,
                                  ProgressCallback callback, void *user);
int FlushIntermediateSeamsPlanar420(HdrSession *session, const ImageDesc *inputs, int32_t count,
                                    ProgressCallback callback, void *user);
int FuseIntermediateBandPlanar422(const RowBand *band, HdrSession *session,
                                  const ImageDesc *inputs, int32_t count,
                                  ProgressCallback callback, void *user);
int FlushIntermediateSeamsPlanar422(HdrSession *session, const ImageDesc *inputs, int32_t count,
                                    ProgressCallback callback, void *user);
int FuseIntermediateBandSemiPlanar420(const RowBand *band, HdrSession *session,
                                      const ImageDesc *inputs, int32_t count,
                                      ProgressCallback callback, void *user);
int FlushIntermediateSeamsSemiPlanar420(HdrSession *session, const ImageDesc *inputs, int32_t count,
                                        ProgressCallback callback, void *user);
int FuseIntermediateBandSemiPlanar422(const RowBand *band, HdrSession *session,
                                      const ImageDesc *inputs, int32_t count,
                                      ProgressCallback callback, void *user);
int FlushIntermediateSeamsSemiPlanar422(HdrSession *session, const ImageDesc *inputs, int32_t count,
                                        ProgressCallback callback, void *user);

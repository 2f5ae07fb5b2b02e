// The band pass of the two-call merge for packed 4:2:2 (PIXEL_FORMAT_YUYV): fuses the rows of
// the process rectangle into the 16-bit intermediate image (alt/intermediate_image.h) with the
// 16-bit row drivers and span kernels.
//
// The merge fuses two bands: band 0 (worker 0) from the top to splitRow and band 1 (worker 1)
// from there to the bottom. In the full layout each row goes straight to its plane row. In the
// parity-split layout a band fuses each row into a 128-row ring of its own (ringBuffers16[t],
// slot (r - top) & 127) and writes the row that slot held, 128 rows earlier, to the parity
// plane; band 1 keeps its first 128 rows in the seam buffer (ringBuffers16[2]) instead. After
// both bands the seam flush writes what the rings and the seam buffer still hold. Each ring row
// and seam row is pitch samples long (the inputs' packed pitch).
#pragma once

#include <cstdint>

#include "core/engine_types.h"

struct HdrSession;

// Fuses rows [firstRow, endRow) of one band (worker 0 or 1). firstPlanes[i] is input i's
// packed plane; width, height and pitch are input 0's; processRect is the session's; gains and
// shifts are accepted and not read. The session must hold the intermediate's record.
// Progress: when callback is given, at rows that are multiples of 32, progressBase +
// 10 (r - firstRow) / (endRow - firstRow).
// RESULT_OK; RESULT_INVALID_ARGUMENT for null arguments or a worker index other than 0 and 1;
// RESULT_OUT_OF_MEMORY, before any row is written, when a buffer the band reads or writes is
// missing (an empty band included); RESULT_CANCELLED at the reporting row (rows already written
// stay; ring rows are left for the flush).
int FuseIntermediateBandPacked422(const RowBand *band, HdrSession *session,
                                  uint8_t *const *firstPlanes, int32_t count, int32_t width,
                                  int32_t height, int32_t pitch, const RegionRect *processRect,
                                  const int32_t *gains, const int32_t *shifts,
                                  ProgressCallback callback, void *user);

// After both bands: in the parity-split layout writes rows top + splitRow - 128 .. top +
// splitRow - 1 from ring 0, the last 128 rows from ring 1 and rows top + splitRow .. + 127 from
// the seam buffer (in that order) to the parity planes. Nothing in the full layout.
// RESULT_OK; RESULT_INVALID_ARGUMENT for null arguments; RESULT_OUT_OF_MEMORY without the rings.
int FlushIntermediateSeamsPacked422(MemoryContext memory, HdrSession *session,
                                    uint8_t *const *firstPlanes, int32_t count, int32_t width,
                                    int32_t height, int32_t pitch, const RegionRect *processRect,
                                    const int32_t *gains, const int32_t *shifts,
                                    ProgressCallback callback, void *user);

// The whole process rectangle as one band of worker 0 with its own final copy of the ring
// (parity-split layout); progress progressBase + 25 r / height every 32 rows, then progressBase
// grows by 25. Also needs paddedBlockPlanes[1], recoveryMaskGrid and worker 0's mask row.
// RESULT_INVALID_ARGUMENT for a process rectangle under 128 rows; else as the band loop.
int FuseIntermediateImagePacked422(const RowBand *ignored, HdrSession *session,
                                   uint8_t *const *firstPlanes, int32_t count, int32_t width,
                                   int32_t height, int32_t pitch, const RegionRect *processRect,
                                   const int32_t *gains, const int32_t *shifts,
                                   ProgressCallback callback, void *user);

// Rows of the rings and of the seam buffer.
constexpr int32_t kIntermediateRingRows = 128;
// Rows allocated per plane in a ring or seam block: the rows held and one spare. A block holds
// its luma rows first, then those of the first and of the second chroma plane.
constexpr int32_t kIntermediateRingRowsAllocated = kIntermediateRingRows + 1;

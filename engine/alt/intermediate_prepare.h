// First stage of the two-call merge: measures the three full-resolution inputs (gain, luma
// block averages, histograms), orders them, gathers the chroma statistics, builds the level
// tables of the tile comparison, takes the scene statistics and hands over to the local
// alignment.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"

// Records the frame and block grid, measures each input (a callback answering PROGRESS_CANCEL
// before an input returns RESULT_CANCELLED with progressBase where it was), orders the
// exposures, fills the chroma histograms and block chroma means of the reference (blockStats
// planes 3, 4) and the dark exposure (8, 9), builds curveTables[0] (dark onto reference) and
// [1] (bright onto reference), clears globalShift, takes the scene statistics
// (ComputeExposureStatistics) and runs RunLocalAlignment.
// RESULT_INVALID_ARGUMENT / RESULT_UNSUPPORTED_FORMAT for inputs it does not handle,
// RESULT_OUT_OF_MEMORY, RESULT_CANCELLED or the local alignment's result.
int PrepareIntermediateMerge(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                             int32_t count, ProgressCallback progress, void *user);

// Copies `rows` rows reading every second source row, picking per mode: 1 byte 2k (luma of a
// packed 4:2:2 row), 2 byte 6k + 1, 3 bytes 6k..6k + 2 (three bytes a sample), 4 byte 4k.
// Another mode copies nothing. RESULT_OK; RESULT_INVALID_ARGUMENT for null planes.
int ExtractByteLanes(const uint8_t *source, int32_t sourcePitch, uint8_t *destination,
                     int32_t samplesPerRow, int32_t rows, int32_t destinationPitch, int32_t mode);

// The driver of the two-call merge's first call (MergeToIntermediate, public header) and its
// glue: the band and seam dispatch by pixel format, the motion-field stage with the buffers of
// the second band, the stage wrappers and the thread entries of the first halves.
//
// Order of the merge: preparation and local alignment; tile weights (the top half of the tiles
// on a second thread beside the bottom half); weight finalisation, valid rectangle and motion
// fields; the two row bands (band 0 on a second thread beside band 1); the seam flush. The
// first halves run without a callback, so only the second halves can be cancelled. A thread
// that does not start has its half run on the calling thread first, as a sequential run would.
#pragma once

#include <cstdint>

#include "core/engine_types.h"
#include "core/session.h"

// The least frame side the two-band scheme is exact for.
constexpr int32_t kIntermediateMinSide = 384;

// What a first half on the second thread needs, and its result (read after the join).
struct BandWorkerArgs {
    MemoryContext memory;
    HdrSession *session;
    const ImageDesc *inputs;
    int32_t count;
    RowBand band;
    void *user;
    int result;
};

// Thread entries: ComputeTileWeightsTop with the session's globalShift, and FuseIntermediateBand
// of the record's band, both without a callback. Each stores its result in the record and
// returns the record.
void *TileWeightsTopWorker(void *args);
void *IntermediateBandWorker(void *args);

// The band pass and the seam flush of the first input's format; RESULT_UNSUPPORTED_FORMAT for
// formats without one yet. The flush, when a callback is given, then adds 4 to progressBase,
// reports (a cancel returns RESULT_CANCELLED) and adds 1.
int FuseIntermediateBand(const RowBand &band, HdrSession *session, const ImageDesc *inputs,
                         int64_t ignored0, int32_t count, int64_t ignored1, int64_t ignored2,
                         int64_t ignored3, ProgressCallback progress, void *user);
int FlushIntermediateSeams(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                           int64_t ignored0, int32_t count, int64_t ignored1, int64_t ignored2,
                           int64_t ignored3, ProgressCallback progress, void *user);

// The band-pass hand-off (its result returned) with the intermediate's planes, then, with a
// callback, progressBase + 2 and a report, then worker 1's buffers, the two rings and the seam
// buffer (each 129 rows of every plane of the inputs' pitches, made afresh). RESULT_OK,
// RESULT_OUT_OF_MEMORY, RESULT_CANCELLED or the hand-off's code.
int BuildMotionFieldsWithProgress(MemoryContext memory, HdrSession *session,
                                  uint8_t *const *firstPlanes, int32_t count,
                                  const ImageDesc *inputs, const ImageDesc *outputs,
                                  int32_t layout, int32_t width, const RegionRect *processRect,
                                  const int32_t *globalShift, ProgressCallback progress,
                                  void *user);

// Stage wrappers with the driver's argument list.
int RunTileWeightsTopStage(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                           int64_t ignored0, int32_t count, const ImageDesc *outputs,
                           int32_t layout, int64_t ignored1, ProgressCallback progress,
                           void *user);
int RunTileWeightsBottomStage(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                              int64_t ignored0, int32_t count, const ImageDesc *outputs,
                              int32_t layout, int64_t ignored1, ProgressCallback progress,
                              void *user);
// Weight finalisation, the valid rectangle (splitRow = 128 floor(height / 256) whatever is
// pending), the intermediate's record and the motion fields.
int RunIntermediateGridStage(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                             int64_t ignored0, int32_t count, const ImageDesc *outputs,
                             int32_t layout, int64_t ignored1, ProgressCallback progress,
                             void *user);

// The entry checks of MergeToIntermediate; RESULT_OK when the merge may start.
int CheckMergeToIntermediate(const HdrSession *session, const ImageDesc *inputs, int32_t count,
                             const ImageDesc *outputs);

// The full-resolution band pass: the process rectangle cut into four row bands, each fused by
// its own worker thread into the reference image's planes.
#pragma once

#include <cstdint>

#include "core/session.h"

// Bands start on multiples of 8 rows from the rectangle's top; the last takes the rest.
void SplitFusionBands(const RegionRect &process, RowBand bands[kWorkerCount]);

// Whether the full-resolution pass can fuse images of this pixel format.
bool HasBandRenderer(uint32_t format);

// Fuses one band with the renderer of the inputs' format. RESULT_UNSUPPORTED_FORMAT for a
// format without one, else the renderer's result.
int DispatchFusionBand(const RowBand &band, HdrSession *session, const ImageDesc *inputs,
                       ProgressCallback progress, void *user);

// The record of one band worker, filled by the band pass for each of its four workers. The
// worker reads session, inputs, progress, user and band; the other fields describe the run for
// whoever else starts a band.
struct FusionBandWorkerArgs {
    MemoryContext memory;
    HdrSession *session;
    const ImageDesc *inputs;
    void *scratch;  // the run's work area (null from the band pass)
    int32_t imageCount;
    ImageDesc *outputs;
    int32_t outputIndex;
    void *buffer;  // null from the band pass
    ProgressCallback progress;
    void *user;
    int32_t workerIndex;
    const RowBand *band;
};

// Job routine of one band (a FusionBandWorkerArgs): DispatchFusionBand with its band, session,
// inputs, callback and user pointer; RESULT_INVALID_ARGUMENT for a null record or band.
int FusionBandWorker(void *record);

// Runs the four bands on four threads (a band whose thread cannot start runs on the calling
// thread) and returns the first failure, a cancel winning over the others.
int RunFusionBandPass(MemoryContext memory, HdrSession *session, const ImageDesc *inputs,
                      ProgressCallback progress, void *user);

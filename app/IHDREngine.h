// One merge of three image records through the HDR engine. The engine works on copies of the
// records, so the records come out of every run exactly as they went in, whatever it gives.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "free_buffer.h"
#include "hdr_engine.h"

// The engine functions a run calls; the engine's own unless a caller substitutes its own.
struct HdrEngineApi {
    int (*createSession)(MemoryContext, int32_t, HdrSession **) = CreateHdrSession;
    int (*setGhostSuppressionLevel)(int64_t, HdrSession *, int32_t) = SetGhostSuppressionLevel;
    int (*runMerge)(MemoryContext, HdrSession *, __tag_QELV_OFFSCREEN *, int32_t,
                    __tag_QELV_OFFSCREEN *, int32_t, const MergeParams *, int64_t,
                    ProgressCallback, void *) = RunHdrMerge;
    int (*destroySession)(MemoryContext, HdrSession *) = DestroyHdrSession;
};

using HdrInputRecords = std::array<__tag_QELV_OFFSCREEN, 3>;

class IHDREngine {
public:
    // Receives the merged picture as B,G,R rows of CBYUVRGB::bgrLineBytes(width) bytes; the
    // buffer belongs to the handler from the call on.
    using Handler =
        std::function<void(FreeBuffer bgr, int64_t width, int64_t height, int64_t reserved)>;

    explicit IHDREngine(HdrEngineApi api = {}, Allocator allocate = nullptr)
        : api_(api), allocate_(allocate) {}

    // Merges copies of the three records (the picture lands in the copy of record 2) and calls
    // handler once with the merged picture. Every record must have its block; none is written.
    // Returns the run's result: the engine's result code, RESULT_INVALID_ARGUMENT for a record
    // without its block, or RESULT_OUT_OF_MEMORY when no session, copy or read-back could be
    // made; the handler is called only for RESULT_OK.
    int run(const HdrInputRecords &records, int64_t toneLength, int64_t birghtness,
            int64_t toneSaturation, int32_t ghostSuppressionLevel, const Handler &handler) const;

private:
    HdrEngineApi api_;
    Allocator allocate_;
};

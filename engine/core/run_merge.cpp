// Engine entry points of a merge run. Placeholder until the run driver lands.
#include "hdr_engine.h"

extern "C" int RunHdrMerge(MemoryContext, HdrSession *, __tag_QELV_OFFSCREEN *, int32_t,
                           __tag_QELV_OFFSCREEN *, int32_t, const MergeParams *, int64_t,
                           ProgressCallback, void *) {
    return RESULT_UNSUPPORTED_FORMAT;
}

// Creation and destruction of a session, and the release of everything a run allocated. They
// sit with the driver because a run's buffers include blocks of the stages' own types.
#pragma once

#include "core/session.h"

// Frees every per-run buffer that is set and clears its pointer: the session's own blocks, the
// registration's and the intermediate image's record (whose planes belong to the caller).
// RESULT_OK, or RESULT_OUT_OF_MEMORY for a null session.
int ReleasePipelineBuffers(MemoryContext memory, HdrSession *session);

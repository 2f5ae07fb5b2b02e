// Buffers that live from the building of the reference features to the end of registration.
#pragma once

#include "core/session.h"

// Frees the feature coordinate block, the five registration grids, the tracker and the work
// image, clearing every pointer.
int ReleaseRegistrationBuffers(MemoryContext memory, HdrSession *session);

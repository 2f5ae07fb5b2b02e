// Corner features of the reference thumbnail and their tracking into other exposures.
#pragma once

#include "core/engine_types.h"

struct FeatureTracker;

// Frees the tracker and everything it owns and clears the pointer; null does nothing.
void DestroyFeatureTracker(MemoryContext memory, FeatureTracker **tracker);

#include "effects/lomo_memory.h"

#include <cstdlib>

extern "C" void *LomoAllocate(size_t bytes) { return std::malloc(bytes); }

extern "C" void LomoFree(void *block) { std::free(block); }

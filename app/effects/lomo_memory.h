// Working buffers of the whole-picture effects. Every allocation goes through these two calls,
// so that the tests can make any one of them fail and count what is still held.
#pragma once

#include <cstddef>

extern "C" void *LomoAllocate(size_t bytes);
extern "C" void LomoFree(void *block);

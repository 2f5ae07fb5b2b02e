// Heap buffers handed between the engine bridge and its callers: allocated with an Allocator
// (malloc unless a caller chooses another), owned through a FreeBuffer and released with free().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

struct FreeDeleter {
    void operator()(void *block) const noexcept { std::free(block); }
};

// A block that belongs to whoever holds it; moved, never copied.
using FreeBuffer = std::unique_ptr<uint8_t, FreeDeleter>;

// Gives size bytes to be released with free(), or null. The bridge takes one so that a caller
// can choose how its blocks are obtained.
using Allocator = void *(*)(size_t size);

inline FreeBuffer AllocateBuffer(Allocator allocate, size_t size) {
    return FreeBuffer(static_cast<uint8_t *>((allocate ? allocate : std::malloc)(size)));
}

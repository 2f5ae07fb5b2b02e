// Heap buffers handed between the engine bridge and its callers: allocated with an Allocator
// (AllocateLarge unless a caller chooses another), owned through a FreeBuffer and released with
// free().
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

// malloc for small blocks. Picture-sized blocks (2 MiB and more) start on a 2 MiB boundary and
// ask the kernel for huge pages: a fresh picture buffer then costs one page fault per 2 MiB
// instead of one per 4 KiB, which dominates the cost of filling a new buffer once. Released
// with free() like any other block.
void *AllocateLarge(size_t size);

inline FreeBuffer AllocateBuffer(Allocator allocate, size_t size) {
    return FreeBuffer(static_cast<uint8_t *>((allocate ? allocate : AllocateLarge)(size)));
}

#include "free_buffer.h"

#include <sys/mman.h>

namespace {

constexpr size_t kHugePage = size_t(2) << 20;

}  // namespace

void *AllocateLarge(size_t size) {
    if (size < kHugePage) return std::malloc(size);
    if (size > SIZE_MAX - kHugePage) return nullptr;
    const size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void *block = std::aligned_alloc(kHugePage, rounded);
    // Only advice: without huge pages the block works the same with ordinary pages.
    if (block) madvise(block, rounded, MADV_HUGEPAGE);
    return block;
}

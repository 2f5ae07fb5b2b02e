// Control over the whole-picture effects' allocations in this test program (the linker routes
// LomoAllocate and LomoFree through lomo_allocations.cpp).
#pragma once

#include <cstddef>
#include <vector>

namespace lomo_alloc {

// Counts allocations from the next call on; allocation number `failAt` (from 0) returns null,
// -1 fails none. Sizes of the allocations are recorded.
void Reset(int failAt = -1);
int Calls();
int Outstanding();  // blocks allocated and not yet freed, over the whole program
const std::vector<size_t> &Sizes();

}  // namespace lomo_alloc

// The allocation hook of the whole-picture effects, wrapped for this program by the linker.
#include <cstddef>
#include <vector>

#include "app/effects/lomo_allocations.h"

extern "C" void *__real_LomoAllocate(size_t bytes);
extern "C" void __real_LomoFree(void *block);

namespace {
int g_failAt = -1;
int g_calls = 0;
int g_outstanding = 0;
std::vector<size_t> g_sizes;
}  // namespace

extern "C" void *__wrap_LomoAllocate(size_t bytes) {
    const int index = g_calls++;
    g_sizes.push_back(bytes);
    if (index == g_failAt) return nullptr;
    void *block = __real_LomoAllocate(bytes);
    if (block) ++g_outstanding;
    return block;
}

extern "C" void __wrap_LomoFree(void *block) {
    if (block) --g_outstanding;
    __real_LomoFree(block);
}

namespace lomo_alloc {

void Reset(int failAt) {
    g_failAt = failAt;
    g_calls = 0;
    g_sizes.clear();
}
int Calls() { return g_calls; }
int Outstanding() { return g_outstanding; }
const std::vector<size_t> &Sizes() { return g_sizes; }

}  // namespace lomo_alloc

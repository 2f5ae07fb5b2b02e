#include "fast_kernels.h"

#include <cstdlib>
#include <cstring>

namespace {

bool Decide() {
#if defined(__x86_64__) || defined(_M_X64)
    const char *plain = std::getenv("TONEFOLD_PLAIN_KERNELS");
    return !(plain && std::strcmp(plain, "1") == 0);
#else
    return false;
#endif
}

}  // namespace

bool FastKernelsEnabled() {
    static const bool enabled = Decide();
    return enabled;
}

bool ProcessorHasAvx2() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

bool Avx2KernelsEnabled() { return FastKernelsEnabled() && ProcessorHasAvx2(); }

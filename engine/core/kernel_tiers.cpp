#include "kernel_tiers.h"

#include <cstdlib>
#include <cstring>

#include "core/kernel_instructions.h"

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

bool Sse2KernelsEnabled() {
    static const bool enabled = Decide();
    return enabled;
}

bool ProcessorHasAvx2() {
#if defined(TONEFOLD_HAVE_AVX2_KERNELS)
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
#else
    return false;
#endif
}

bool Avx2KernelsEnabled() { return Sse2KernelsEnabled() && ProcessorHasAvx2(); }

bool ProcessorHasPopcnt() {
#if defined(TONEFOLD_HAVE_POPCNT_KERNELS)
    static const bool has = __builtin_cpu_supports("popcnt");
    return has;
#else
    return false;
#endif
}

bool PopcntKernelsEnabled() {
    static const bool enabled = Sse2KernelsEnabled() && ProcessorHasPopcnt();
    return enabled;
}

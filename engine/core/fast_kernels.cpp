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

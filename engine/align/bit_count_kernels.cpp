#include "bit_count_kernels.h"

#include <cstring>

#include "core/constant_tables.h"
#include "core/kernel_instructions.h"

namespace {

inline uint64_t LoadWord(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Set bits of one word without the instruction: pairs, nibbles, then a multiply adds the bytes.
inline int64_t WordBits(uint64_t v) {
    v = v - ((v >> 1) & 0x5555555555555555ULL);
    v = (v & 0x3333333333333333ULL) + ((v >> 2) & 0x3333333333333333ULL);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<int64_t>((v * 0x0101010101010101ULL) >> 56);
}

}  // namespace

int64_t CountBits_C(const uint8_t *bytes, int64_t n) {
    int64_t count = 0;
    for (int64_t i = 0; i < n; ++i) count += kBitCountTable[bytes[i]];
    return count;
}

int64_t CountXorBits_C(const uint8_t *a, const uint8_t *b, int64_t n) {
    int64_t count = 0;
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) count += WordBits(LoadWord(a + i) ^ LoadWord(b + i));
    for (; i < n; ++i) count += kBitCountTable[a[i] ^ b[i]];
    return count;
}

#if defined(TONEFOLD_HAVE_POPCNT_KERNELS)

// Four independent sums a step, so that consecutive counts do not wait on one another. A run
// of at least eight bytes ends with its last eight, shifted past the bytes already counted.
[[gnu::target("popcnt")]] int64_t CountBits_Popcnt(const uint8_t *bytes, int64_t n) {
    if (n < 8) return CountBits_C(bytes, n);
    int64_t sums[4] = {0, 0, 0, 0};
    int64_t i = 0;
    for (; i + 32 <= n; i += 32)
        for (int k = 0; k < 4; ++k) sums[k] += __builtin_popcountll(LoadWord(bytes + i + 8 * k));
    for (; i + 8 <= n; i += 8) sums[0] += __builtin_popcountll(LoadWord(bytes + i));
    if (i < n) sums[1] += __builtin_popcountll(LoadWord(bytes + n - 8) >> (8 * (8 - (n - i))));
    return sums[0] + sums[1] + sums[2] + sums[3];
}

// The short rows of the finer levels' tiles are one or two words and a tail.
[[gnu::target("popcnt")]] int64_t CountXorBits_Popcnt(const uint8_t *a, const uint8_t *b,
                                                      int64_t n) {
    if (n < 8) return CountXorBits_C(a, b, n);
    int64_t sums[2] = {0, 0};
    int64_t i = 0;
    for (; i + 16 <= n; i += 16) {
        sums[0] += __builtin_popcountll(LoadWord(a + i) ^ LoadWord(b + i));
        sums[1] += __builtin_popcountll(LoadWord(a + i + 8) ^ LoadWord(b + i + 8));
    }
    if (i + 8 <= n) {
        sums[0] += __builtin_popcountll(LoadWord(a + i) ^ LoadWord(b + i));
        i += 8;
    }
    if (i < n) {
        const uint64_t last = LoadWord(a + n - 8) ^ LoadWord(b + n - 8);
        sums[1] += __builtin_popcountll(last >> (8 * (8 - (n - i))));
    }
    return sums[0] + sums[1];
}

#else

int64_t CountBits_Popcnt(const uint8_t *bytes, int64_t n) { return CountBits_C(bytes, n); }
int64_t CountXorBits_Popcnt(const uint8_t *a, const uint8_t *b, int64_t n) {
    return CountXorBits_C(a, b, n);
}

#endif

int64_t CountBits(const uint8_t *bytes, int64_t n) {
    return PopcntKernelsEnabled() ? CountBits_Popcnt(bytes, n) : CountBits_C(bytes, n);
}

XorBitCountKernel ChooseCountXorBits() {
    return PopcntKernelsEnabled() ? CountXorBits_Popcnt : CountXorBits_C;
}

// The population-count bit counts against their plain references, bit for bit: random bytes,
// all-ones runs (every bit set) and empty runs, every length up to a few steps and every start
// alignment. The instruction's kernels run wherever the processor has it.
#include "align/bit_count_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

int64_t NaiveBits(const uint8_t *bytes, int64_t n) {
    int64_t count = 0;
    for (int64_t i = 0; i < n; ++i)
        for (int b = 0; b < 8; ++b) count += (bytes[i] >> b) & 1;
    return count;
}

struct Fill {
    const char *name;
    int low, high;
};

const Fill kFills[] = {{"random", 0, 255}, {"ones", 255, 255}, {"zeros", 0, 0}, {"codes", 0, 3}};

TEST(BitCountKernels, PlainCountsMatchABitByBitCount) {
    std::mt19937 rng(7);
    for (const Fill &fill : kFills) {
        std::uniform_int_distribution<int> byte(fill.low, fill.high);
        std::vector<uint8_t> a(90), b(90), x(90);
        for (size_t i = 0; i < a.size(); ++i) {
            a[i] = uint8_t(byte(rng));
            b[i] = uint8_t(rng());
            x[i] = a[i] ^ b[i];
        }
        for (int64_t n : {0, 1, 7, 8, 9, 31, 32, 33, 90}) {
            EXPECT_EQ(CountBits_C(a.data(), n), NaiveBits(a.data(), n)) << fill.name << " " << n;
            EXPECT_EQ(CountXorBits_C(a.data(), b.data(), n), NaiveBits(x.data(), n))
                << fill.name << " " << n;
        }
    }
}

TEST(BitCountKernels, PopcntMatchesThePlainKernels) {
    if (!ProcessorHasPopcnt()) GTEST_SKIP() << "no population count on this processor";
    std::mt19937 rng(8);
    for (const Fill &fill : kFills) {
        std::uniform_int_distribution<int> byte(fill.low, fill.high);
        std::vector<uint8_t> a(200), b(200);
        for (size_t i = 0; i < a.size(); ++i) {
            a[i] = uint8_t(byte(rng));
            b[i] = uint8_t(byte(rng));
        }
        for (int start = 0; start < 8; ++start)
            for (int64_t n = 0; n + start <= 150; ++n) {
                const uint8_t *pa = a.data() + start, *pb = b.data() + 3 + start;
                ASSERT_EQ(CountBits_Popcnt(pa, n), CountBits_C(pa, n)) << fill.name << " " << n;
                ASSERT_EQ(CountXorBits_Popcnt(pa, pb, n), CountXorBits_C(pa, pb, n))
                    << fill.name << " " << start << " " << n;
            }
    }
}

}  // namespace

// The SSE2 gradient-code row against its plain reference, bit for bit: random levels and
// levels of near-equal samples (differences around the threshold 4), sample steps 1, 2, 3, 4, 8 and 16,
// every start and odd counts, on rows allocated to exactly what the plain kernel reads; and
// the block of rows of one tile against the plain rows.
#include "align/gradient_code_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(GradientCodeRowKernels, Sse2MatchesThePlainKernel) {
    std::mt19937 rng(1510);
    for (const int spread : {255, 9})
        for (const int step : {1, 2, 3, 4, 8, 16})
            for (const int count : {0, 1, 7, 8, 9, 14, 15, 16, 17, 23, 31, 32, 33, 63, 64, 65, 100, 130})
                for (const int start : {0, 1, 5}) {
                    // Three rows; row 1 is read from (start + 1) * step - step to
                    // (start + count) * step, rows 0 and 2 at the samples themselves.
                    const int rowBytes = (start + count + 1) * step + 1;
                    std::uniform_int_distribution<int> sample(128 - spread / 2, 128 + spread / 2);
                    std::vector<uint8_t> level(3 * rowBytes);
                    for (uint8_t &v : level) v = uint8_t(sample(rng));
                    const uint8_t *centre = level.data() + rowBytes + (start + 1) * step;
                    std::vector<uint8_t> plain(count + 1, 0xA5), fast = plain;
                    GradientCodeRow_C(centre, rowBytes, step, count, plain.data());
                    GradientCodeRow_SSE2(centre, rowBytes, step, count, fast.data());
                    ASSERT_EQ(plain, fast) << spread << " " << step << " " << count << " " << start;
                }
}

// Whole tiles: a block of rows at a map pitch wider than the codes must give each row's plain
// codes and leave the bytes between the rows alone, for the short tile rows and longer ones.
TEST(GradientCodeRowKernels, Sse2BlockMatchesThePlainRows) {
    std::mt19937 rng(1511);
    std::uniform_int_distribution<int> sample(120, 136);
    for (const int step : {1, 2, 8})
        for (const int count : {1, 7, 8, 14, 15, 16, 30, 62})
            for (const int rows : {0, 1, 3, 14}) {
                const int rowBytes = (count + 2) * step + 5;
                std::vector<uint8_t> level((rows + 2) * rowBytes);
                for (uint8_t &v : level) v = uint8_t(sample(rng));
                const uint8_t *centre = level.data() + rowBytes + step;
                const int pitch = count + 3;
                std::vector<uint8_t> plain(rows * pitch + 1, 0xA5), fast = plain;
                for (int r = 0; r < rows; ++r)
                    GradientCodeRow_C(centre + r * rowBytes, rowBytes, step, count,
                                      plain.data() + r * pitch);
                GradientCodeBlock_SSE2(centre, rowBytes, step, count, rows, fast.data(), pitch);
                ASSERT_EQ(plain, fast) << step << " " << count << " " << rows;
            }
}

}  // namespace

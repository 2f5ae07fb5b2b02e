// The SSE2 tracker gradient row against its plain reference, bit for bit: random rows and rows
// of 0/255 steps (the extreme gradients), every width up to a few steps, on rows that end at
// the last sample (the address sanitizer sees any read past it).
#include "align/tracker_gradient_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(TrackerGradientKernels, Sse2MatchesThePlainKernel) {
    std::mt19937 rng(88);
    std::uniform_int_distribution<int> byte(0, 255), bit(0, 1);
    for (const bool extreme : {false, true})
        for (int32_t width = 1; width <= 80; ++width) {
            std::vector<uint8_t> rows[3];
            for (auto &row : rows) {
                row.resize(width);
                for (uint8_t &v : row) v = uint8_t(extreme ? 255 * bit(rng) : byte(rng));
            }
            std::vector<int8_t> plainX(width + 1, 99), plainY = plainX, fastX = plainX,
                                                       fastY = plainX;
            TrackerGradientRow_C(rows[0].data(), rows[1].data(), rows[2].data(), width,
                                 plainX.data(), plainY.data());
            TrackerGradientRow_SSE2(rows[0].data(), rows[1].data(), rows[2].data(), width,
                                    fastX.data(), fastY.data());
            ASSERT_EQ(plainX, fastX) << extreme << " " << width;
            ASSERT_EQ(plainY, fastY) << extreme << " " << width;
        }
}

}  // namespace

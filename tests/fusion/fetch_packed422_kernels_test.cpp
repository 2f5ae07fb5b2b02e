// The SSE2 sub-pixel fetch against its plain reference, bit for bit: random frames, every
// fraction, displacements that clamp at each edge, steps that move and wrap the position, and
// rectangles whose right edge falls at every phase.
#include "fusion/fetch_packed422_kernels.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

TEST(FetchSubpelRowKernels, Sse2MatchesThePlainKernel) {
    constexpr int kWidth = 64, kHeight = 6, kPitch = 2 * kWidth;
    std::mt19937 rng(16);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> frame(kPitch * kHeight);
    for (uint8_t &b : frame) b = uint8_t(byte(rng));
    struct Motion {
        int32_t dispX, dispY, stepX, stepY;
    };
    std::vector<Motion> motions = {{0, 0, 0, 0},
                                   {-(70 << 16), 0, 0, 0},  // far right of the rectangle
                                   {70 << 16, 9 << 16, 0, 0},
                                   {INT32_MAX - 5000, INT32_MIN + 7, 1 << 30, -(1 << 30)}};
    std::uniform_int_distribution<int32_t> disp(-(12 << 16), 12 << 16), step(-(1 << 15), 1 << 15);
    for (int k = 0; k < 200; ++k) motions.push_back({disp(rng), disp(rng), step(rng), step(rng)});
    for (const Motion &m : motions)
        for (const int shift : {12, 10})
            for (const int right : {5, 8, 9, 13, 40, kWidth})
                for (int r = 0; r < kHeight; r += 2)
                    for (const int a : {0, 4, 12}) {
                        const int b = a + 4 * 12;
                        std::vector<uint8_t> plain(4 * b + 16, 0xA5), fast = plain;
                        FetchSubpelRowPacked422_C(shift, right, kHeight, m.dispX, m.dispY, m.stepX,
                                                  m.stepY, a, r, b, kPitch, frame.data(),
                                                  plain.data());
                        FetchSubpelRowPacked422_SSE2(shift, right, kHeight, m.dispX, m.dispY,
                                                     m.stepX, m.stepY, a, r, b, kPitch,
                                                     frame.data(), fast.data());
                        ASSERT_EQ(plain, fast) << m.dispX << " " << m.dispY << " " << right << " "
                                               << r << " " << a;
                    }
}

}  // namespace

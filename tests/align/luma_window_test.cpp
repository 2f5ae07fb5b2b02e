// Wide luma windows of packed frames: every column of a window as wide as several kernel steps
// against the frame's own luma bytes, for both packed orders and windows that run off either
// side. The frames are exactly as large as their rows, so a read past the last row is caught
// by the address sanitizer.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "align/luma_window.h"

namespace {

TEST(LumaWindowWide, PackedWindowsHoldTheFramesLumaAndZerosOutside) {
    constexpr int kWidth = 53, kHeight = 3, kPitch = 2 * kWidth, kWindow = 40;
    std::mt19937 rng(8);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> frame(kPitch * kHeight);
    for (uint8_t &b : frame) b = uint8_t(byte(rng));
    for (const auto &[format, offset] : {std::pair{uint32_t{PIXEL_FORMAT_YUYV}, 0},
                                         std::pair{uint32_t{PIXEL_FORMAT_UYVY}, 1}})
        for (const int x : {-5, 0, 1, 13, kWidth - kWindow, kWidth - 17, kWidth - 1}) {
            std::vector<uint8_t> window(kWindow * kHeight, 0x77);
            ASSERT_EQ(ExtractLumaWindow(frame.data(), kWidth, kHeight, kPitch, window.data(),
                                        kWindow, kHeight, kWindow, x, 0, format),
                      RESULT_OK);
            for (int r = 0; r < kHeight; ++r)
                for (int c = 0; c < kWindow; ++c) {
                    const int sx = x + c;
                    const int expected =
                        sx < 0 || sx >= kWidth ? 0 : frame[r * kPitch + 2 * sx + offset];
                    ASSERT_EQ(window[r * kWindow + c], expected) << format << " " << x << " " << c;
                }
        }
}

}  // namespace

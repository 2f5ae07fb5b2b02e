// Small helpers to make and fill test images through the engine's own image service.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "core/image.h"

namespace align_test {

// An image owned by the test, destroyed with it.
class TestImage {
  public:
    TestImage(int32_t width, int32_t height, uint32_t format) {
        EXPECT_EQ(CreateImage(&image_, width, height, format, nullptr), RESULT_OK);
    }
    ~TestImage() { DestroyImage(&image_, nullptr); }
    TestImage(const TestImage &) = delete;
    TestImage &operator=(const TestImage &) = delete;

    ImageDesc *get() const { return image_; }
    ImageDesc *operator->() const { return image_; }
    uint8_t &At(int plane, int32_t x, int32_t y) const {
        return image_->ppu8Plane[plane][static_cast<int64_t>(y) * image_->pi32Pitch[plane] + x];
    }
    // Sets every byte of `rows` rows of `bytes` bytes of a plane from f(x, y).
    void Fill(int plane, int32_t bytes, int32_t rows,
              const std::function<uint8_t(int32_t, int32_t)> &f) const {
        for (int32_t y = 0; y < rows; ++y)
            for (int32_t x = 0; x < bytes; ++x) At(plane, x, y) = f(x, y);
    }

  private:
    ImageDesc *image_ = nullptr;
};

// A textured byte pattern that differs between planes and between neighbours.
inline uint8_t Pattern(int plane, int32_t x, int32_t y) {
    return static_cast<uint8_t>((x * 37 + y * 91 + plane * 53 + ((x * y) >> 3)) & 0xFF);
}

}  // namespace align_test

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "core/hdr_engine.h"
#include "core/plane_border.h"

namespace {

std::vector<uint8_t> RandomPlane(size_t bytes, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> plane(bytes);
    for (uint8_t &b : plane) b = static_cast<uint8_t>(rng());
    return plane;
}

TEST(PadPlane, TwoByTwoPlaneGetsItsCornersRepeated) {
    const int16_t source[4] = {1, 2, 3, 4};
    int16_t padded[16];
    ASSERT_EQ(PadPlane16(source, padded, 2, 2), RESULT_OK);
    const int16_t expected[16] = {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4};
    EXPECT_TRUE(std::equal(padded, padded + 16, expected));
}

// Padded sample (x, y) is the source sample at the nearest position inside the plane.
template <typename T>
void CheckPadAgainstClampModel(int (*pad)(const T *, T *, int32_t, int32_t), uint32_t seed) {
    std::mt19937 rng(seed);
    const int32_t sizes[][2] = {{1, 1}, {1, 4}, {5, 1}, {3, 2}, {7, 5}};
    for (const auto &size : sizes) {
        const int32_t w = size[0], h = size[1];
        std::vector<T> source(static_cast<size_t>(w) * h);
        for (T &v : source) v = static_cast<T>(rng());
        std::vector<T> padded(static_cast<size_t>(w + 2) * (h + 2));
        ASSERT_EQ(pad(source.data(), padded.data(), w, h), RESULT_OK);
        for (int32_t y = 0; y < h + 2; ++y)
            for (int32_t x = 0; x < w + 2; ++x) {
                const int32_t sx = std::clamp(x - 1, 0, w - 1);
                const int32_t sy = std::clamp(y - 1, 0, h - 1);
                EXPECT_EQ(padded[y * (w + 2) + x], source[sy * w + sx]) << w << "x" << h;
            }
    }
}

TEST(PadPlane, BothWidthsMatchTheClampModel) {
    CheckPadAgainstClampModel<int16_t>(PadPlane16, 1);
    CheckPadAgainstClampModel<int32_t>(PadPlane32, 2);  // values past 16 bits survive
}

TEST(PadPlane, EmptyOrNullPlanesAreRefused) {
    int16_t a[4] = {};
    int16_t b[16] = {};
    int32_t c[4] = {};
    int32_t d[16] = {};
    EXPECT_EQ(PadPlane16(a, b, 0, 2), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(PadPlane16(a, b, 2, -1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(PadPlane16(nullptr, b, 2, 2), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(PadPlane32(c, nullptr, 2, 2), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(PadPlane32(c, d, 2, 0), RESULT_INVALID_ARGUMENT);
}

TEST(ReplicateBorder8, FiveByFiveRepeatsTheInsideEdge) {
    std::vector<uint8_t> plane(25, 0);
    for (int y = 1; y <= 3; ++y)
        for (int x = 1; x <= 3; ++x) plane[y * 5 + x] = static_cast<uint8_t>(10 * y + x);
    ASSERT_EQ(ReplicateBorder8(plane.data(), 5, 5), RESULT_OK);
    for (int y = 0; y < 5; ++y) {
        EXPECT_EQ(plane[y * 5 + 4], plane[y * 5 + 2]) << y;
        EXPECT_EQ(plane[y * 5 + 3], plane[y * 5 + 2]) << y;
        EXPECT_EQ(plane[y * 5 + 0], plane[y * 5 + 1]) << y;
    }
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(plane[4 * 5 + x], plane[2 * 5 + x]) << x;
        EXPECT_EQ(plane[3 * 5 + x], plane[2 * 5 + x]) << x;
        EXPECT_EQ(plane[0 * 5 + x], plane[1 * 5 + x]) << x;
    }
    EXPECT_EQ(plane[2 * 5 + 2], 22);
}

// The inside is columns 1..P-3 and rows 1..N-3; every sample takes the nearest inside one
// (column or row 1 alone when the plane is only 3 wide or high).
TEST(ReplicateBorder8, MatchesTheClampModelOnAnyShape) {
    const int32_t shapes[][2] = {{3, 3}, {4, 3}, {3, 6}, {8, 5}, {6, 7}};
    for (const auto &shape : shapes) {
        const int32_t pitch = shape[0], rows = shape[1];
        const std::vector<uint8_t> original = RandomPlane(static_cast<size_t>(pitch) * rows, pitch * 31 + rows);
        std::vector<uint8_t> plane = original;
        ASSERT_EQ(ReplicateBorder8(plane.data(), pitch, rows), RESULT_OK);
        for (int32_t y = 0; y < rows; ++y)
            for (int32_t x = 0; x < pitch; ++x) {
                const int32_t sx = std::clamp(x, 1, std::max(pitch - 3, 1));
                const int32_t sy = std::clamp(y, 1, std::max(rows - 3, 1));
                EXPECT_EQ(plane[y * pitch + x], original[sy * pitch + sx])
                    << pitch << "x" << rows << " at " << x << "," << y;
            }
    }
}

TEST(FillBorder8, WritesTheSameBorderShapeWith255) {
    const int32_t shapes[][2] = {{3, 3}, {8, 5}, {5, 7}};
    for (const auto &shape : shapes) {
        const int32_t pitch = shape[0], rows = shape[1];
        const std::vector<uint8_t> original = RandomPlane(static_cast<size_t>(pitch) * rows, 7);
        std::vector<uint8_t> plane = original;
        ASSERT_EQ(FillBorder8(plane.data(), pitch, rows), RESULT_OK);
        for (int32_t y = 0; y < rows; ++y)
            for (int32_t x = 0; x < pitch; ++x) {
                const bool border = x == 0 || x >= pitch - 2 || y == 0 || y >= rows - 2;
                EXPECT_EQ(plane[y * pitch + x], border ? 255 : original[y * pitch + x]);
            }
    }
}

TEST(BorderHelpers, PlanesWithoutAnInsideAreRefusedUntouched) {
    const int32_t shapes[][2] = {{2, 5}, {5, 2}, {0, 5}, {5, 0}, {-3, 4}, {1, 1}};
    for (const auto &shape : shapes) {
        std::vector<uint8_t> plane(64, 9);
        EXPECT_EQ(ReplicateBorder8(plane.data(), shape[0], shape[1]), RESULT_INVALID_ARGUMENT);
        EXPECT_EQ(FillBorder8(plane.data(), shape[0], shape[1]), RESULT_INVALID_ARGUMENT);
        EXPECT_EQ(plane, std::vector<uint8_t>(64, 9));
    }
    EXPECT_EQ(ReplicateBorder8(nullptr, 5, 5), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(FillBorder8(nullptr, 5, 5), RESULT_INVALID_ARGUMENT);
}

TEST(ReplicateOutsideWindow8, WholePlaneWindowChangesNothing) {
    const std::vector<uint8_t> original = RandomPlane(6 * 4, 3);
    std::vector<uint8_t> plane = original;
    ASSERT_EQ(ReplicateOutsideWindow8(plane.data(), 6, 4, 6, 0, 6, 0, 4), RESULT_OK);
    EXPECT_EQ(plane, original);
}

// Inside the row width every sample takes the nearest window sample; the bytes between the
// row width and the pitch stay as they were.
TEST(ReplicateOutsideWindow8, MatchesTheClampModelForRandomWindows) {
    std::mt19937 rng(17);
    for (int trial = 0; trial < 200; ++trial) {
        const int32_t width = std::uniform_int_distribution<int32_t>(1, 9)(rng);
        const int32_t pitch = width + std::uniform_int_distribution<int32_t>(0, 3)(rng);
        const int32_t rows = std::uniform_int_distribution<int32_t>(1, 8)(rng);
        const int32_t left = std::uniform_int_distribution<int32_t>(0, width - 1)(rng);
        const int32_t right = std::uniform_int_distribution<int32_t>(left + 1, width)(rng);
        const int32_t top = std::uniform_int_distribution<int32_t>(0, rows - 1)(rng);
        const int32_t bottom = std::uniform_int_distribution<int32_t>(top + 1, rows)(rng);
        const std::vector<uint8_t> original = RandomPlane(static_cast<size_t>(pitch) * rows, trial);
        std::vector<uint8_t> plane = original;
        ASSERT_EQ(ReplicateOutsideWindow8(plane.data(), width, rows, pitch, left, right, top, bottom),
                  RESULT_OK);
        for (int32_t y = 0; y < rows; ++y)
            for (int32_t x = 0; x < pitch; ++x) {
                const int32_t sx = x < width ? std::clamp(x, left, right - 1) : x;
                const int32_t sy = x < width ? std::clamp(y, top, bottom - 1) : y;
                ASSERT_EQ(plane[y * pitch + x], original[sy * pitch + sx])
                    << "window [" << left << "," << right << ")x[" << top << "," << bottom
                    << ") in " << width << "x" << rows << " pitch " << pitch << " at " << x
                    << "," << y;
            }
    }
}

// An empty window inside the plane has no rows of its own to widen: the rows above it take
// row top and the rows from bottom on take row bottom - 1, in that order. Empty columns widen
// the window rows the same way: the left part takes column left, then the right part column
// right - 1.
TEST(ReplicateOutsideWindow8, EmptyWindowsInsideThePlaneStillCopyTheRows) {
    const struct {
        int32_t left, right, top, bottom;
    } cases[] = {{1, 5, 2, 2}, {1, 5, 3, 1}, {1, 5, 2, 1}, {1, 5, 3, 3}, {3, 3, 0, 4},
                 {4, 2, 1, 3}, {5, 1, 0, 4}};
    const int32_t width = 6, rows = 4, pitch = 8;
    for (const auto &c : cases) {
        const std::vector<uint8_t> original = RandomPlane(pitch * rows, 7);
        std::vector<uint8_t> expected = original, plane = original;
        for (int32_t y = c.top; y < c.bottom; ++y) {  // the steps one after the other
            uint8_t *row = &expected[y * pitch];
            for (int32_t x = 0; x < c.left; ++x) row[x] = row[c.left];
            for (int32_t x = c.right; x < width; ++x) row[x] = row[c.right - 1];
        }
        for (int32_t y = 0; y < c.top; ++y)
            std::copy_n(&expected[c.top * pitch], width, &expected[y * pitch]);
        for (int32_t y = c.bottom; y < rows; ++y)
            std::copy_n(&expected[(c.bottom - 1) * pitch], width, &expected[y * pitch]);
        EXPECT_EQ(ReplicateOutsideWindow8(plane.data(), width, rows, pitch, c.left, c.right, c.top,
                                          c.bottom),
                  RESULT_OK)
            << c.left << " " << c.right << " " << c.top << " " << c.bottom;
        EXPECT_EQ(plane, expected) << c.left << " " << c.right << " " << c.top << " " << c.bottom;
    }
}

TEST(ReplicateOutsideWindow8, WindowsOutsideThePlaneAreRefusedUntouched) {
    const struct {
        const char *what;
        int32_t width, rows, pitch, left, right, top, bottom;
    } cases[] = {
        {"empty rows below the plane", 6, 4, 8, 1, 5, 4, 4},
        {"empty rows above the plane", 6, 4, 8, 1, 5, 0, 0},
        {"empty columns past the row", 6, 4, 8, 6, 6, 0, 4},
        {"top past the plane", 6, 4, 8, 1, 5, 4, 6},
        {"bottom past the plane", 6, 4, 8, 1, 5, 1, 5},
        {"negative top", 6, 4, 8, 1, 5, -1, 2},
        {"negative left", 6, 4, 8, -1, 5, 0, 2},
        {"right past the row", 6, 4, 8, 1, 7, 0, 2},
        {"row wider than the pitch", 9, 4, 8, 1, 5, 0, 2},
        {"no rows", 6, 0, 8, 0, 1, 0, 1},
    };
    for (const auto &c : cases) {
        std::vector<uint8_t> plane(64, 5);
        EXPECT_EQ(ReplicateOutsideWindow8(plane.data(), c.width, c.rows, c.pitch, c.left, c.right,
                                          c.top, c.bottom),
                  RESULT_INVALID_ARGUMENT)
            << c.what;
        EXPECT_EQ(plane, std::vector<uint8_t>(64, 5)) << c.what;
    }
    EXPECT_EQ(ReplicateOutsideWindow8(nullptr, 4, 4, 4, 0, 4, 0, 4), RESULT_INVALID_ARGUMENT);
}

}  // namespace

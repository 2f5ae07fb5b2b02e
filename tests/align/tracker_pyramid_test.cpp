#include "align/tracker_pyramid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "align/plane32.h"
#include "tracker_planes_support.h"

namespace {

using namespace tracker_test;

// Reference reduction straight from the formula, with row and column -1 repeating 0.
uint8_t NaiveReduced(const Plane8 *s, int32_t x, int32_t y) {
    const int32_t w[3] = {1, 2, 1};
    int32_t sum = 0;
    for (int32_t j = -1; j <= 1; ++j)
        for (int32_t i = -1; i <= 1; ++i)
            sum += w[i + 1] * w[j + 1] * At(s, std::max(2 * x + i, 0), std::max(2 * y + j, 0));
    return static_cast<uint8_t>(sum >> 4);
}

TEST(ReducePlane8, FollowsTheFilterForEveryWidth) {
    for (const auto &size : {std::pair{9, 9}, std::pair{14, 11}, std::pair{15, 8},
                             std::pair{33, 20}}) {
        const PlanePtr src = RandomPlane(size.first, size.second, 5);
        const PlanePtr dst = MakePlane(size.first / 2, size.second / 2);
        std::vector<int32_t> scratch(2 * dst->width);
        ASSERT_EQ(ReducePlane8(scratch.data(), src.get(), dst.get()), 0);
        for (int32_t y = 0; y < dst->height; ++y)
            for (int32_t x = 0; x < dst->width; ++x)
                EXPECT_EQ(At(dst.get(), x, y), NaiveReduced(src.get(), x, y))
                    << size.first << " wide at " << x << "," << y;
    }
}

TEST(ReducePlane8, NineByNineNeverReadsTheLastRowOrColumn) {
    const PlanePtr a = RandomPlane(9, 9, 8);
    const PlanePtr b = RandomPlane(9, 9, 8);
    for (int32_t i = 0; i < 9; ++i) {
        PlaneRow(b.get(), 8)[i] = static_cast<uint8_t>(~At(a.get(), i, 8));
        PlaneRow(b.get(), i)[8] = static_cast<uint8_t>(~At(a.get(), 8, i));
    }
    const PlanePtr outA = MakePlane(4, 4), outB = MakePlane(4, 4);
    std::vector<int32_t> scratch(8);
    ASSERT_EQ(ReducePlane8(scratch.data(), a.get(), outA.get()), 0);
    ASSERT_EQ(ReducePlane8(scratch.data(), b.get(), outB.get()), 0);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(At(outA.get(), x, y), At(outB.get(), x, y));
}

TEST(ReducePlane8, RejectsMissingPlanesAndOversizedDestinations) {
    const PlanePtr src = RandomPlane(10, 10, 1);
    const PlanePtr wide = MakePlane(6, 5, 77), tall = MakePlane(5, 6, 77);
    std::vector<int32_t> scratch(16);
    EXPECT_EQ(ReducePlane8(scratch.data(), src.get(), wide.get()), 2);
    EXPECT_EQ(ReducePlane8(scratch.data(), src.get(), tall.get()), 2);
    EXPECT_EQ(ReducePlane8(scratch.data(), nullptr, wide.get()), 2);
    EXPECT_EQ(ReducePlane8(scratch.data(), src.get(), nullptr), 2);
    EXPECT_EQ(ReducePlane8(nullptr, src.get(), tall.get()), 2);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(At(wide.get(), x, y), 77);
}

// Sobel differences >> 3 with clamped rows and columns.
void NaiveGradients(const Plane8 *s, int32_t x, int32_t y, int32_t *gx, int32_t *gy) {
    auto px = [&](int32_t i, int32_t j) {
        return static_cast<int32_t>(
            At(s, std::clamp(i, 0, s->width - 1), std::clamp(j, 0, s->height - 1)));
    };
    auto v = [&](int32_t i) { return px(i, y - 1) + 2 * px(i, y) + px(i, y + 1); };
    auto h = [&](int32_t j) { return px(x - 1, j) + 2 * px(x, j) + px(x + 1, j); };
    *gx = (v(std::min(x + 1, s->width - 1)) - v(std::max(x - 1, 0))) >> 3;
    *gy = (h(std::min(y + 1, s->height - 1)) - h(std::max(y - 1, 0))) >> 3;
}

TEST(ComputeGradients8, OneSidedAtBordersForEveryWidth) {
    for (int32_t width : {1, 2, 3, 4, 5, 12, 13}) {
        const PlanePtr src = RandomPlane(width, 7, 40 + width);
        const PlanePtr gx = MakePlane(width, 7), gy = MakePlane(width, 7);
        std::vector<int32_t> scratch(3 * width);
        ASSERT_EQ(ComputeGradients8(scratch.data(), src.get(), gx.get(), gy.get(), nullptr), 0);
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < width; ++x) {
                int32_t ex, ey;
                NaiveGradients(src.get(), x, y, &ex, &ey);
                EXPECT_EQ(GradientAt(gx.get(), x, y), ex) << width << " wide at " << x << "," << y;
                EXPECT_EQ(GradientAt(gy.get(), x, y), ey) << width << " wide at " << x << "," << y;
            }
    }
}

TEST(ComputeGradients8, ExtremeStepsStayInSignedBytes) {
    const PlanePtr src = MakePlane(8, 8, 0);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 4; x < 8; ++x) PlaneRow(src.get(), y)[x] = 255;
    const PlanePtr gx = MakePlane(8, 8), gy = MakePlane(8, 8);
    std::vector<int32_t> scratch(24);
    ComputeGradients8(scratch.data(), src.get(), gx.get(), gy.get(), nullptr);
    EXPECT_EQ(GradientAt(gx.get(), 3, 4), 127);  // 1020 >> 3
    EXPECT_EQ(GradientAt(gx.get(), 4, 4), 127);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x) PlaneRow(src.get(), y)[x] ^= 255;
    ComputeGradients8(scratch.data(), src.get(), gx.get(), gy.get(), nullptr);
    EXPECT_EQ(GradientAt(gx.get(), 3, 4), -128);  // -1020 >> 3, a floor
}

TEST(ComputeGradients8, ReducesIntoTheNextLevelAndChecksItsPlanes) {
    const PlanePtr src = RandomPlane(21, 15, 77);
    const PlanePtr gx = MakePlane(21, 15), gy = MakePlane(21, 15, 9);
    const PlanePtr next = MakePlane(10, 7), expected = MakePlane(10, 7);
    std::vector<int32_t> scratch(3 * 21);
    ASSERT_EQ(ComputeGradients8(scratch.data(), src.get(), gx.get(), gy.get(), next.get()), 0);
    ReducePlane8(scratch.data(), src.get(), expected.get());
    for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(At(next.get(), x, y), At(expected.get(), x, y));

    const PlanePtr other = MakePlane(25, 15);  // another stride
    const PlanePtr untouched = MakePlane(21, 15, 9);
    EXPECT_EQ(ComputeGradients8(scratch.data(), src.get(), gx.get(), other.get(), nullptr), 2);
    EXPECT_EQ(ComputeGradients8(scratch.data(), nullptr, gx.get(), gy.get(), nullptr), 2);
    EXPECT_EQ(ComputeGradients8(nullptr, src.get(), gx.get(), untouched.get(), nullptr), 0);
    EXPECT_EQ(At(untouched.get(), 5, 5), 9);
}

TEST(Plane32Family, MatchesTheByteOperationsAndKeepsFullValues) {
    const int32_t w = 13, h = 9;
    const PlanePtr bytes = RandomPlane(w, h, 12);
    Plane32 *src = CreatePlane32(nullptr, w, h);
    Plane32 *half = CreatePlane32(nullptr, w / 2, h / 2);
    Plane32 *gx = CreatePlane32(nullptr, w, h);
    Plane32 *gy = CreatePlane32(nullptr, w, h);
    ASSERT_TRUE(src && half && gx && gy);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) src->data[y * w + x] = At(bytes.get(), x, y) * 4;
    std::vector<int32_t> scratch(3 * w);
    ASSERT_EQ(ComputeGradients32(scratch.data(), src, gx, gy, half), 0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            // Four times the byte plane: the unshifted differences are four times larger.
            auto px = [&](int32_t i, int32_t j) {
                return src->data[std::clamp(j, 0, h - 1) * w + std::clamp(i, 0, w - 1)];
            };
            const int32_t ex = ((px(x + 1, y - 1) + 2 * px(x + 1, y) + px(x + 1, y + 1)) -
                                (px(x - 1, y - 1) + 2 * px(x - 1, y) + px(x - 1, y + 1))) >> 3;
            EXPECT_EQ(gx->data[y * w + x], ex);
        }
    // The reduction keeps only the low 8 bits of each result.
    for (int32_t y = 0; y < h / 2; ++y)
        for (int32_t x = 0; x < w / 2; ++x) {
            int32_t sum = 0;
            const int32_t k[3] = {1, 2, 1};
            for (int32_t j = -1; j <= 1; ++j)
                for (int32_t i = -1; i <= 1; ++i)
                    sum += k[i + 1] * k[j + 1] *
                           src->data[std::max(2 * y + j, 0) * w + std::max(2 * x + i, 0)];
            EXPECT_EQ(half->data[y * (w / 2) + x], (sum >> 4) & 0xFF);
        }
    EXPECT_EQ(ReducePlane32(scratch.data(), src, gx), 2);
    EXPECT_EQ(ComputeGradients32(scratch.data(), nullptr, gx, gy, nullptr), 2);

    const PlanePtr other = RandomPlane(w + 2, h + 1, 13);
    Plane32 *product = MultiplyPlanes8(nullptr, other.get(), bytes.get());
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->width, w);
    EXPECT_EQ(product->data[3 * w + 7], At(other.get(), 7, 3) * At(bytes.get(), 7, 3));
    EXPECT_EQ(MultiplyPlanes8(nullptr, bytes.get(), other.get()), nullptr);  // a too small
    for (Plane32 *p : {src, half, gx, gy, product}) DestroyPlane32(nullptr, p);
}

}  // namespace

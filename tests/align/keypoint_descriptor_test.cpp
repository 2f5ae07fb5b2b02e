#include "align/keypoint_descriptor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <set>
#include <vector>

namespace {

// The table's rule: the 16 leading rows, then rows drawn by a xorshift64* generator, each
// coordinate uniform in -13..12, points ordered so x1 <= x2, rejecting equal points, repeated
// rows and a row whose points are the swapped points of an earlier row.
std::array<std::array<int32_t, 4>, 256> RecomputeTestPairs() {
    std::array<std::array<int32_t, 4>, 256> rows{};
    const int32_t lead[16][4] = {{8, -3, 9, 5},       {4, 2, 7, -12},     {2, -13, 2, 12},
                                 {1, -7, 1, 6},       {-11, 9, -8, 2},    {7, -12, 12, -13},
                                 {-2, -10, -2, -4},   {10, 4, 11, 9},     {-13, -8, -8, -9},
                                 {-11, 7, -9, 12},    {-13, -13, -11, -8}, {-13, -3, -12, -9},
                                 {7, 7, 12, 6},       {-4, -5, -3, 0},    {-13, 2, -12, -3},
                                 {-9, 0, -7, 5}};
    for (int i = 0; i < 16; ++i)
        for (int k = 0; k < 4; ++k) rows[i][k] = lead[i][k];
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state]() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        const uint64_t r = state * 0x2545F4914F6CDD1Dull;
        return static_cast<int32_t>((r >> 32) % 26) - 13;
    };
    int count = 16;
    while (count < 256) {
        int32_t x1 = next(), y1 = next(), x2 = next(), y2 = next();
        if (x1 > x2 || (x1 == x2 && y1 > y2)) {
            std::swap(x1, x2);
            std::swap(y1, y2);
        }
        if (x1 == x2 && y1 == y2) continue;
        bool repeated = false;
        for (int i = 0; i < count && !repeated; ++i) {
            const auto &r = rows[i];
            repeated = (r[0] == x1 && r[1] == y1 && r[2] == x2 && r[3] == y2) ||
                       (r[0] == x2 && r[1] == y2 && r[2] == x1 && r[3] == y1);
        }
        if (!repeated) rows[count++] = {x1, y1, x2, y2};
    }
    return rows;
}

TEST(DescriptorTable, MatchesItsRuleAndProperties) {
    const auto expected = RecomputeTestPairs();
    std::set<std::array<int32_t, 4>> distinct;
    for (int t = 0; t < kDescriptorTests; ++t) {
        std::array<int32_t, 4> row;
        for (int k = 0; k < 4; ++k) {
            EXPECT_GE(kDescriptorTestPairs[t][k], 499);
            EXPECT_LE(kDescriptorTestPairs[t][k], 524);
            row[k] = kDescriptorTestPairs[t][k] - kDescriptorOffsetBias;
        }
        EXPECT_EQ(row, expected[t]) << "row " << t;
        EXPECT_LE(row[0], row[2]);
        EXPECT_FALSE(row[0] == row[2] && row[1] == row[3]);
        distinct.insert(row);
    }
    EXPECT_EQ(distinct.size(), 256u);
}

struct Plane {
    int32_t width, height, stride;
    std::vector<uint8_t> data;
    Plane(int32_t w, int32_t h) : width(w), height(h), stride(w + 5), data(stride * h) {}
    uint8_t &at(int32_t x, int32_t y) { return data[y * stride + x]; }
    uint8_t clamped(int64_t x, int64_t y) const {
        x = std::clamp<int64_t>(x, 0, width - 1);
        y = std::clamp<int64_t>(y, 0, height - 1);
        return data[y * stride + x];
    }
};

Plane RandomPlane(int32_t w, int32_t h, uint32_t seed) {
    Plane p(w, h);
    std::mt19937 random(seed);
    for (auto &v : p.data) v = static_cast<uint8_t>(random() & 0xFF);
    return p;
}

// Brute force: 7 x 7 box sums of the border-replicated plane.
std::array<uint8_t, 32> NaiveDescriptor(const Plane &p, int32_t x, int32_t y) {
    auto box = [&](int32_t ox, int32_t oy) {
        int32_t sum = 0;
        for (int32_t dy = -3; dy <= 3; ++dy)
            for (int32_t dx = -3; dx <= 3; ++dx)
                sum += p.clamped(int64_t{x} + ox + dx, int64_t{y} + oy + dy);
        return sum;
    };
    std::array<uint8_t, 32> out{};
    for (int t = 0; t < 256; ++t) {
        const int32_t *r = kDescriptorTestPairs[t];
        if (box(r[0] - 512, r[1] - 512) > box(r[2] - 512, r[3] - 512))
            out[t / 8] |= static_cast<uint8_t>(1u << (t % 8));
    }
    return out;
}

TEST(KeypointDescriptor, MatchesBoxSumsInsideNearAndOutsideThePlane) {
    const Plane p = RandomPlane(61, 47, 3);
    const int32_t points[][2] = {{30, 23}, {18, 18}, {42, 28}, {0, 0},   {60, 46},
                                 {5, 40},  {-7, 12}, {70, -3}, {17, 19}, {43, 29}};
    for (const auto &pt : points) {
        std::array<uint8_t, 32> got{};
        ASSERT_EQ(ComputeKeypointDescriptor(p.data.data(), p.stride, p.width, p.height, pt[0],
                                            pt[1], got.data()),
                  got.data());
        EXPECT_EQ(got, NaiveDescriptor(p, pt[0], pt[1])) << pt[0] << "," << pt[1];
    }
}

TEST(KeypointDescriptor, UniformWindowGivesZeros) {
    Plane p(40, 40);
    std::fill(p.data.begin(), p.data.end(), uint8_t{117});
    std::array<uint8_t, 32> d;
    d.fill(0xAA);
    ComputeKeypointDescriptor(p.data.data(), p.stride, 40, 40, 20, 20, d.data());
    EXPECT_EQ(d, (std::array<uint8_t, 32>{}));
}

TEST(KeypointDescriptor, AddingAConstantLeavesItUnchanged) {
    Plane p = RandomPlane(50, 50, 9);
    for (auto &v : p.data) v = static_cast<uint8_t>(v / 2);
    std::array<uint8_t, 32> before, after;
    ComputeKeypointDescriptor(p.data.data(), p.stride, 50, 50, 25, 24, before.data());
    for (auto &v : p.data) v = static_cast<uint8_t>(v + 100);
    ComputeKeypointDescriptor(p.data.data(), p.stride, 50, 50, 25, 24, after.data());
    EXPECT_EQ(before, after);
}

TEST(KeypointDescriptor, RejectsMissingPlaneOrOutputWithoutWriting) {
    const Plane p = RandomPlane(40, 40, 1);
    std::array<uint8_t, 32> d;
    d.fill(0x5C);
    EXPECT_EQ(ComputeKeypointDescriptor(nullptr, 40, 40, 40, 20, 20, d.data()), nullptr);
    EXPECT_EQ(ComputeKeypointDescriptor(p.data.data(), p.stride, 40, 40, 20, 20, nullptr),
              nullptr);
    // An empty plane has no border to repeat.
    EXPECT_EQ(ComputeKeypointDescriptor(p.data.data(), p.stride, 0, 40, 20, 20, d.data()),
              nullptr);
    EXPECT_EQ(ComputeKeypointDescriptor(p.data.data(), p.stride, 40, 0, 20, 20, d.data()),
              nullptr);
    for (uint8_t v : d) EXPECT_EQ(v, 0x5C);
}

TEST(DescriptorDistance, CountsDifferingBits) {
    std::array<uint8_t, 32> a{}, b{};
    for (int i = 0; i < 32; ++i) a[i] = static_cast<uint8_t>(i * 37 + 11);
    EXPECT_EQ(DescriptorDistance(a.data(), a.data()), 0);
    for (int i = 0; i < 32; ++i) b[i] = static_cast<uint8_t>(~a[i]);
    EXPECT_EQ(DescriptorDistance(a.data(), b.data()), 256);
    b = a;
    b[0] ^= 0x81;
    b[31] ^= 0x10;
    b[13] ^= 0xFF;
    EXPECT_EQ(DescriptorDistance(a.data(), b.data()), 11);
    EXPECT_EQ(DescriptorDistance(nullptr, a.data()), 256);
    EXPECT_EQ(DescriptorDistance(a.data(), nullptr), 256);
}

TEST(DescriptorDistance, ComparesPointsOfTwoPlanesAndImages) {
    // Plane b is plane a moved right by 4 and down by 2.
    const Plane a = RandomPlane(64, 48, 21);
    Plane b(64, 48);
    for (int32_t y = 0; y < 48; ++y)
        for (int32_t x = 0; x < 64; ++x) b.at(x, y) = a.clamped(x - 4, y - 2);
    EXPECT_EQ(DescriptorDistanceAt(a.data.data(), a.stride, 64, 48, b.data.data(), b.stride, 64,
                                   48, 30, 20, 34, 22),
              0);
    EXPECT_GT(DescriptorDistanceAt(a.data.data(), a.stride, 64, 48, b.data.data(), b.stride, 64,
                                   48, 30, 20, 30, 20),
              40);
    ImageDesc ia{}, ib{};
    ia.i32Width = ib.i32Width = 64;
    ia.i32Height = ib.i32Height = 48;
    ia.ppu8Plane[0] = const_cast<uint8_t *>(a.data.data());
    ib.ppu8Plane[0] = b.data.data();
    ia.pi32Pitch[0] = a.stride;
    ib.pi32Pitch[0] = b.stride;
    EXPECT_EQ(DescriptorDistanceImages(&ia, &ib, 30, 20, 34, 22), 0);
    EXPECT_EQ(DescriptorDistanceImages(nullptr, &ib, 30, 20, 34, 22), 256);
}

}  // namespace

// The soft focus's level operations: the halving and doubling examples, the literal scaling of
// the difference smoothing, and every operation against its model on random planes.
#include <gtest/gtest.h>

#include <random>

#include "app/effects/lomo_warp_models.h"
#include "effects/lomo_warp_kernels.h"

namespace {

using lomo_model::Plane;

template <typename T>
Plane<T> RandomPlane(int32_t w, int32_t h, uint32_t seed, int32_t lo, int32_t hi) {
    Plane<T> p(w, h);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int32_t> dist(lo, hi);
    for (auto &v : p.v) v = static_cast<T>(dist(rng));
    return p;
}

// Odd and even sizes, the smallest a halving takes included.
const int32_t kSizes[][2] = {{2, 2}, {3, 2}, {2, 3}, {3, 3}, {4, 4}, {5, 3}, {6, 7},
                             {7, 6}, {16, 9}, {17, 17}, {33, 17}, {600, 5}};

TEST(LomoHalveLevel, FiveByThreeHalvesToThreeByTwoAndDoublesBack) {
    const Plane<uint8_t> s = RandomPlane<uint8_t>(5, 3, 1, 0, 255);
    uint8_t half[2][3];
    ASSERT_EQ(LomoHalveLevel(s.v.data(), 5, 5, 3, &half[0][0], 3), 1);
    // Corner: [1 1] both ways; middle column: [1 2 1] across, [1 1] down; last column of the
    // odd width: [1 1] over columns 3 and 4.
    EXPECT_EQ(half[0][0], (s.at(0, 0) + s.at(1, 0) + s.at(0, 1) + s.at(1, 1)) >> 2);
    EXPECT_EQ(half[0][1], (s.at(1, 0) + 2 * s.at(2, 0) + s.at(3, 0) + s.at(1, 1) + 2 * s.at(2, 1) +
                           s.at(3, 1)) >> 3);
    EXPECT_EQ(half[1][2], (s.at(3, 1) + s.at(4, 1) + s.at(3, 2) + s.at(4, 2)) >> 2);
    uint8_t back[3][5];
    ASSERT_EQ(LomoDoubleLevel(&back[0][0], 5, 5, 3, &half[0][0], 3), 1);
    for (int32_t i = 0; i < 2; ++i)
        for (int32_t j = 0; j < 3; ++j) EXPECT_EQ(back[2 * i][2 * j], half[i][j]) << i << "," << j;
    EXPECT_EQ(back[1][1], (half[0][0] + half[0][1] + half[1][0] + half[1][1]) >> 2);
}

TEST(LomoHalveLevel, AgreesWithTheModel) {
    for (const auto &size : kSizes) {
        const int32_t w = size[0], h = size[1];
        const Plane<uint8_t> s = RandomPlane<uint8_t>(w, h, 7 * w + h, 0, 255);
        const Plane<uint8_t> want = lomo_model::Halve(s);
        // Destination rows with a tail that must keep its bytes.
        const int32_t pitch = want.width + 3;
        std::vector<uint8_t> got(static_cast<size_t>(pitch) * want.height, 0xA5);
        ASSERT_EQ(LomoHalveLevel(s.v.data(), w, w, h, got.data(), pitch), 1);
        for (int32_t y = 0; y < want.height; ++y) {
            for (int32_t x = 0; x < want.width; ++x)
                ASSERT_EQ(got[y * pitch + x], want.at(x, y)) << w << "x" << h << " at " << x << "," << y;
            for (int32_t x = want.width; x < pitch; ++x) ASSERT_EQ(got[y * pitch + x], 0xA5);
        }
    }
}

TEST(LomoHalveLevel, RefusesWhatItCannotHalve) {
    uint8_t s[4] = {1, 2, 3, 4}, d[4] = {9, 9, 9, 9};
    EXPECT_EQ(LomoHalveLevel(s, 1, 1, 4, d, 1), 0);  // one column
    EXPECT_EQ(LomoHalveLevel(s, 4, 4, 1, d, 2), 0);  // one row
    EXPECT_EQ(LomoHalveLevel(nullptr, 2, 2, 2, d, 1), 0);
    EXPECT_EQ(LomoHalveLevel(s, 1, 2, 2, d, 1), 0);  // pitch shorter than a row
    EXPECT_EQ(LomoHalveLevel(s, 2, 2, 2, d, 0), 0);
    EXPECT_EQ(d[0], 9);
    EXPECT_EQ(LomoHalveLevel(s, 2, 0, 2, d, 1), 1);  // nothing to do
    EXPECT_EQ(LomoDoubleLevel(nullptr, 2, 2, 2, s, 1), 0);
    EXPECT_EQ(LomoDoubleLevel(d, 1, 2, 2, s, 1), 0);
    EXPECT_EQ(d[0], 9);
}

TEST(LomoDoubleLevel, AgreesWithTheModel) {
    for (const auto &size : kSizes)
        for (const int32_t extra : {0, 1}) {
            // Destinations of every size, 1 x 1 included.
            const int32_t w = size[0] - extra, h = size[1] - extra;
            const Plane<uint8_t> s = RandomPlane<uint8_t>((w + 1) >> 1, (h + 1) >> 1, w * 31 + h, 0, 255);
            const Plane<uint8_t> want = lomo_model::Double(s, w, h);
            const int32_t pitch = w + 2;
            std::vector<uint8_t> got(static_cast<size_t>(pitch) * h, 0xA5);
            ASSERT_EQ(LomoDoubleLevel(got.data(), pitch, w, h, s.v.data(), s.width), 1);
            for (int32_t y = 0; y < h; ++y) {
                for (int32_t x = 0; x < w; ++x)
                    ASSERT_EQ(got[y * pitch + x], want.at(x, y)) << w << "x" << h << " at " << x << "," << y;
                EXPECT_EQ(got[y * pitch + w], 0xA5);
            }
        }
}

TEST(LomoLevelDifference, DifferenceAndClampedSum) {
    for (const auto &size : kSizes) {
        const int32_t w = size[0], h = size[1];
        const Plane<uint8_t> a = RandomPlane<uint8_t>(w, h, 3 * w, 0, 255);
        const Plane<uint8_t> b = RandomPlane<uint8_t>(w, h, 5 * h, 0, 255);
        std::vector<int16_t> diff(a.v.size());
        LomoLevelDifference(diff.data(), a.v.data(), b.v.data(), 0, w, h);
        for (size_t i = 0; i < diff.size(); ++i) ASSERT_EQ(diff[i], a.v[i] - b.v[i]);
        // Differences beyond the base's reach clamp at both ends.
        const Plane<int16_t> d = RandomPlane<int16_t>(w, h, w + h, -600, 600);
        std::vector<uint8_t> sum(a.v.size());
        LomoAddDifference(d.v.data(), a.v.data(), sum.data(), 0, w, h);
        for (size_t i = 0; i < sum.size(); ++i) ASSERT_EQ(sum[i], std::clamp(a.v[i] + d.v[i], 0, 255));
    }
}

// The literal scaling: a flat difference of 64 comes out at 7 on the first interior row (row 0's
// sums divided by 4) and at 4, a sixteenth, below it; negative detail mirrors it; borders stay.
TEST(LomoSmoothDifference, KeepsTheLiteralShifts) {
    for (const int16_t level : {64, -64}) {
        Plane<int16_t> p(6, 5);
        std::fill(p.v.begin(), p.v.end(), level);
        LomoSmoothDifference(p.v.data(), 6, 6, 5);
        const int16_t sign = level > 0 ? 1 : -1;
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 6; ++x) {
                const bool border = x == 0 || y == 0 || x == 5 || y == 4;
                const int16_t want = border ? level : static_cast<int16_t>(sign * (y == 1 ? 7 : 4));
                EXPECT_EQ(p.at(x, y), want) << level << " at " << x << "," << y;
            }
    }
}

TEST(LomoSmoothDifference, AgreesWithTheModel) {
    for (const auto &size : kSizes)
        for (const int32_t range : {255, 32767}) {
            const int32_t w = size[0], h = size[1];
            const Plane<int16_t> in = RandomPlane<int16_t>(w, h, w * h + range, -range, range);
            const Plane<int16_t> want = lomo_model::SmoothDifference(in);
            // A pitch wider than the row: the samples between rows keep their values.
            const int32_t pitch = w + 5;
            std::vector<int16_t> got(static_cast<size_t>(pitch) * h, 1234);
            for (int32_t y = 0; y < h; ++y) std::copy_n(&in.v[y * w], w, &got[y * pitch]);
            LomoSmoothDifference(got.data(), pitch, w, h);
            for (int32_t y = 0; y < h; ++y) {
                for (int32_t x = 0; x < w; ++x)
                    ASSERT_EQ(got[y * pitch + x], want.at(x, y)) << w << "x" << h << " at " << x << "," << y;
                EXPECT_EQ(got[y * pitch + w], 1234);
            }
        }
}

TEST(LomoSmoothPlane, AgreesWithTheModel) {
    for (const auto &size : kSizes) {
        const int32_t w = size[0], h = size[1];
        const Plane<uint8_t> in = RandomPlane<uint8_t>(w, h, w * 3 + h * 5, 0, 255);
        const Plane<uint8_t> want = lomo_model::SmoothPlane(in);
        Plane<uint8_t> got = in;
        LomoSmoothPlane(got.v.data(), w, w, h);
        ASSERT_EQ(got.v, want.v) << w << "x" << h;
    }
    // A flat plane stays flat.
    Plane<uint8_t> flat(9, 9);
    std::fill(flat.v.begin(), flat.v.end(), 200);
    LomoSmoothPlane(flat.v.data(), 9, 9, 9);
    for (const uint8_t v : flat.v) ASSERT_EQ(v, 200);
}

}  // namespace

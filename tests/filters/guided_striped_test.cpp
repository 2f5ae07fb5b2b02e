#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "filters/filters_support.h"
#include "filters/guided_striped.h"
#include "filters/integral_row_cache.h"

namespace {

using filters_test::RunJobsInOrder;
using filters_test::RunJobsInReverse;
using filters_test::Rows;
using filters_test::SmallPool;

// The definition: windows clipped at the borders and divided by the samples inside, means
// truncated toward zero, a = 256 cov / (var + 5), b = 256 mp - a mI, q = (I ma + mb) >> 8.
std::vector<int32_t> ModelStriped(const std::vector<uint8_t> &guide, const std::vector<int32_t> &input,
                                  int w, int h, int r) {
    auto mean = [&](auto value, int x, int y) {
        const int x0 = std::max(0, x - r), x1 = std::min(x + r + 1, w);
        const int y0 = std::max(0, y - r), y1 = std::min(y + r + 1, h);
        int64_t sum = 0;
        for (int yy = y0; yy < y1; ++yy)
            for (int xx = x0; xx < x1; ++xx) sum += value(yy * w + xx);
        return static_cast<int64_t>(sum / (int64_t{x1 - x0} * (y1 - y0)));
    };
    std::vector<int64_t> a(w * h), b(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int64_t mI = mean([&](int i) { return int64_t{guide[i]}; }, x, y);
            const int64_t mII = mean([&](int i) { return int64_t{guide[i]} * guide[i]; }, x, y);
            const int64_t mIp = mean([&](int i) { return int64_t{guide[i]} * input[i]; }, x, y);
            const int64_t mp = mean([&](int i) { return int64_t{input[i]}; }, x, y);
            a[y * w + x] = (mIp - mI * mp) * 256 / (mII - mI * mI + 5);
            b[y * w + x] = mp * 256 - a[y * w + x] * mI;
        }
    std::vector<int32_t> out(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int64_t ma = mean([&](int i) { return a[i]; }, x, y);
            const int64_t mb = mean([&](int i) { return b[i]; }, x, y);
            out[y * w + x] = static_cast<int32_t>((guide[y * w + x] * ma + mb) >> 8);
        }
    return out;
}

struct Planes {
    Rows guide, input, output;
    Planes(int w, int h) : guide(w, h, 8), input(w, h, 32), output(w, h, 32) {}
    void Fill(std::mt19937 &random, int gLo, int gHi, int pLo, int pHi) {
        std::uniform_int_distribution<int> g(gLo, gHi), p(pLo, pHi);
        for (int y = 0; y < guide.get()->height; ++y)
            for (int x = 0; x < guide.get()->width; ++x) {
                guide.Row8(y)[x] = static_cast<uint8_t>(g(random));
                input.Row32(y)[x] = p(random);
                output.Row32(y)[x] = 12345;
            }
    }
    std::vector<uint8_t> Guide() const {
        std::vector<uint8_t> v;
        for (int y = 0; y < guide.get()->height; ++y)
            v.insert(v.end(), guide.Row8(y), guide.Row8(y) + guide.get()->width);
        return v;
    }
    static std::vector<int32_t> Samples(const Rows &rows) {
        std::vector<int32_t> v;
        for (int y = 0; y < rows.get()->height; ++y)
            v.insert(v.end(), rows.Row32(y), rows.Row32(y) + rows.get()->width);
        return v;
    }
};

struct Case {
    int width, height, radius;
    int gLo, gHi, pLo, pHi;
};

// Random planes against the definition: tiny planes (one stripe does all the work), heights
// that leave stripe 31 longer, radii below 2 and beyond the plane, negative inputs.
TEST(GuidedFilterStriped, MatchesClippedWindowDefinition) {
    const Case cases[] = {{1, 1, 4, 0, 255, -50, 50},        {5, 3, 2, 0, 255, -32767, 32767},
                          {7, 5, 0, 0, 255, -100, 100},      {9, 8, 1, 0, 255, -1000, 1000},
                          {40, 33, 4, 0, 255, -32767, 32767}, {17, 100, 4, 0, 255, -3, 3},
                          {31, 64, 7, 100, 110, 0, 30000},   {6, 40, 30, 0, 255, -500, 500}};
    std::mt19937 random(21);
    for (const Case &c : cases) {
        Planes planes(c.width, c.height);
        planes.Fill(random, c.gLo, c.gHi, c.pLo, c.pHi);
        const std::vector<int32_t> expected =
            ModelStriped(planes.Guide(), Planes::Samples(planes.input), c.width, c.height, c.radius);
        ASSERT_EQ(GuidedFilterStripedWithRunner(nullptr, planes.guide.get(), planes.input.get(),
                                                planes.output.get(), c.radius, RunJobsInOrder),
                  RESULT_OK);
        EXPECT_EQ(Planes::Samples(planes.output), expected)
            << c.width << "x" << c.height << " r " << c.radius;
    }
}

// A constant guide and a constant input give a = 0, b = 256 v and exactly v, negative too.
TEST(GuidedFilterStriped, ConstantPlanesGiveTheirValue) {
    for (int v : {-7, 0, 1, 250, -32767}) {
        Planes planes(13, 11);
        std::mt19937 random(1);
        planes.Fill(random, 60, 60, v, v);
        ASSERT_EQ(GuidedFilterStriped(nullptr, planes.guide.get(), planes.input.get(),
                                      planes.output.get(), 4),
                  RESULT_OK);
        EXPECT_EQ(Planes::Samples(planes.output), std::vector<int32_t>(13 * 11, v)) << v;
    }
}

TEST(GuidedFilterStriped, StripeRows) {
    int first = 0, end = 0;
    StripeRows(100, 0, &first, &end);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(end, 3);
    StripeRows(100, 30, &first, &end);
    EXPECT_EQ(first, 90);
    EXPECT_EQ(end, 93);
    StripeRows(100, 31, &first, &end);
    EXPECT_EQ(first, 93);
    EXPECT_EQ(end, 100);
    StripeRows(20, 5, &first, &end);  // below 32 rows only the last stripe has rows
    EXPECT_EQ(first, end);
    StripeRows(20, 31, &first, &end);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(end, 20);
}

// The output may be the input: the input is only read in the first phase.
TEST(GuidedFilterStriped, InPlaceEqualsSeparateOutput) {
    std::mt19937 random(4);
    Planes planes(23, 45);
    planes.Fill(random, 0, 255, -2000, 2000);
    ASSERT_EQ(GuidedFilterStripedWithRunner(nullptr, planes.guide.get(), planes.input.get(),
                                            planes.output.get(), 4, RunJobsInReverse),
              RESULT_OK);
    ASSERT_EQ(GuidedFilterStripedWithRunner(nullptr, planes.guide.get(), planes.input.get(),
                                            planes.input.get(), 4, RunJobsInReverse),
              RESULT_OK);
    EXPECT_EQ(Planes::Samples(planes.input), Planes::Samples(planes.output));
}

// The cache holds a sliding range of rows: appends need the row below and a free slot, the
// release walks down to the first absent row, and freed slots are reused lowest first.
TEST(GuidedFilterStriped, IntegralRowCacheSlides) {
    Rows image(3, 6, 32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 3; ++x) image.Row32(y)[x] = y * 10 + x;
    IntegralRowCache *cache = CreateIntegralRowCache(nullptr, image.get(), 3);
    ASSERT_NE(cache, nullptr);
    AppendIntegralRow32(cache, image.get(), 1);  // row 1 absent: nothing happens
    EXPECT_EQ(cache->rowTable[2], nullptr);
    AppendIntegralRow32(cache, image.get(), 0);
    AppendIntegralRow32(cache, image.get(), 1);
    ASSERT_NE(cache->rowTable[2], nullptr);
    EXPECT_EQ(cache->rowTable[2][3], (0 + 1 + 2) + (10 + 11 + 12));
    ReleaseIntegralRowsBelow(cache, 2);  // frees rows 1 and 0
    EXPECT_EQ(cache->rowTable[0], nullptr);
    EXPECT_EQ(cache->slotInUse[0] + cache->slotInUse[1] + cache->slotInUse[2], 1);
    AppendIntegralRow32(cache, image.get(), 2);
    EXPECT_EQ(cache->rowTable[3], cache->slotStorage);  // slot 0 reused first
    EXPECT_EQ(cache->rowTable[3][1], 0 + 10 + 20);
    FreeIntegralRowCache(nullptr, &cache);
    EXPECT_EQ(cache, nullptr);
}

TEST(GuidedFilterStriped, RejectsBadArgumentsAndReportsExhaustedMemory) {
    Planes planes(16, 16);
    Rows wrongBits(16, 16, 8), shorter(16, 15, 32);
    std::mt19937 random(2);
    planes.Fill(random, 0, 255, -100, 100);
    EXPECT_EQ(GuidedFilterStriped(nullptr, planes.guide.get(), planes.input.get(), nullptr, 4),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterStriped(nullptr, planes.guide.get(), wrongBits.get(), planes.output.get(), 4),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterStriped(nullptr, planes.guide.get(), planes.input.get(), shorter.get(), 4),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterStriped(nullptr, planes.guide.get(), planes.input.get(), planes.output.get(), -1),
              RESULT_INVALID_ARGUMENT);
    // Whatever allocation fails, everything obtained before it is given back.
    for (size_t bytes : {256u, 4096u, 6000u, 20000u}) {
        SmallPool pool(bytes);
        const int64_t free = LargestFreeBlock(pool.get());
        EXPECT_EQ(GuidedFilterStriped(pool.get(), planes.guide.get(), planes.input.get(),
                                      planes.output.get(), 4),
                  RESULT_OUT_OF_MEMORY)
            << bytes;
        EXPECT_EQ(LargestFreeBlock(pool.get()), free) << bytes;
    }
}

}  // namespace

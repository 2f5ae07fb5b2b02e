#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "filters/filters_support.h"
#include "filters/resizers.h"

namespace {

// A plane of random bytes with a pitch wider than its rows, in a buffer that ends with the
// last row (so the sanitizers see any read or write past it).
struct Plane {
    int w, h, pitch;
    std::vector<uint8_t> bytes;
    Plane(int width, int height, int extra = 3, int bpp = 1)
        : w(width), h(height), pitch(width * bpp + extra), bytes(size_t(pitch) * (height - 1) + width * bpp) {}
    void Fill(std::mt19937 &random) {
        for (uint8_t &b : bytes) b = static_cast<uint8_t>(random());
    }
    uint8_t at(int y, int x) const { return bytes[y * pitch + x]; }
    uint8_t *data() { return bytes.data(); }
    std::vector<uint8_t> Samples(int bpp = 1) const {
        std::vector<uint8_t> out;
        for (int y = 0; y < h; ++y) out.insert(out.end(), &bytes[y * pitch], &bytes[y * pitch] + w * bpp);
        return out;
    }
};

// The centre-aligned mapping of one output index, written from its definition.
BilinearMapEntry MapOf(int s, int d, int i, bool *clamped) {
    const double x = static_cast<double>(s) / d * (i + 0.5) - 0.5;
    BilinearMapEntry e{0, 0};
    if (x >= 0) e = {static_cast<int>(x), static_cast<int>((x - static_cast<int>(x)) * 128 + 0.5)};
    if (*clamped || e.index >= s - 1) *clamped = true, e = {s - 1, 0};
    return e;
}

std::vector<uint8_t> ModelBilinear(const Plane &src, int dw, int dh) {
    std::vector<BilinearMapEntry> cols(dw), rows(dh);
    bool clamped = false;
    for (int i = 0; i < dw; ++i) cols[i] = MapOf(src.w, dw, i, &clamped);
    clamped = false;
    for (int j = 0; j < dh; ++j) rows[j] = MapOf(src.h, dh, j, &clamped);
    std::vector<uint8_t> out(dw * dh);
    auto horizontal = [&](int y, int i) {
        const BilinearMapEntry c = cols[i];
        if (c.index >= src.w - 1) return src.at(y, src.w - 1) * 128;
        return src.at(y, c.index) * 128 + (src.at(y, c.index + 1) - src.at(y, c.index)) * c.weight;
    };
    for (int j = 0; j < dh; ++j)
        for (int i = 0; i < dw; ++i) {
            const int top = horizontal(rows[j].index, i);
            const bool two = rows[j].index < src.h - 1 && rows[j].weight != 0;
            const int z = two ? top * 128 + (horizontal(rows[j].index + 1, i) - top) * rows[j].weight : top * 128;
            out[j * dw + i] = static_cast<uint8_t>((z + 8192) >> 14);
        }
    return out;
}

struct Sizes {
    int sw, sh, dw, dh;
};
const Sizes kSizes[] = {{2, 2, 4, 4}, {1, 1, 3, 5}, {7, 5, 3, 2}, {13, 11, 29, 17}, {40, 30, 11, 37}, {6, 9, 6, 4}, {5, 5, 1, 1}};

TEST(Bilinear, MapsOfTheTwoByTwoEnlargement) {
    BilinearMapEntry map[4];
    BuildBilinearMap(2, 4, map);
    const BilinearMapEntry expected[4] = {{0, 0}, {0, 32}, {0, 96}, {1, 0}};
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(map[i].index == expected[i].index && map[i].weight == expected[i].weight) << i;
}

TEST(Bilinear, PlaneBandAndRowImageMatchTheDefinition) {
    std::mt19937 random(60);
    for (const Sizes &s : kSizes) {
        Plane src(s.sw, s.sh), dst(s.dw, s.dh);
        src.Fill(random);
        dst.Fill(random);
        ASSERT_EQ(ResizeBilinearPlane(nullptr, src.data(), s.sw, s.sh, src.pitch, dst.data(), s.dw, s.dh, dst.pitch),
                  RESULT_OK);
        const std::vector<uint8_t> expected = ModelBilinear(src, s.dw, s.dh);
        EXPECT_EQ(dst.Samples(), expected) << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh;

        // The band resizer over a window, in three bands sharing one map buffer.
        std::vector<uint8_t> buffer(BilinearBandBufferBytes(s.dw, s.dh));
        const PixelRect window{s.dw / 4, s.dh / 3, s.dw - s.dw / 5, s.dh};
        Plane band(s.dw, s.dh);
        band.Fill(random);
        int32_t stale = 1;
        const int cuts[4] = {0, s.dh / 3, s.dh / 2, s.dh};
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(ResizeBilinearBand(buffer.data(), &stale, src.data(), s.sw, s.sh, src.pitch,
                                         band.data() + cuts[k] * band.pitch, s.dw, s.dh, band.pitch, cuts[k],
                                         cuts[k + 1], window),
                      RESULT_OK);
        EXPECT_EQ(stale, 0);
        const bool equal = s.sw == s.dw && s.sh == s.dh;
        for (int y = 0; y < s.dh; ++y)
            for (int x = 0; x < s.dw; ++x) {
                const bool inside = x >= window.x0 && x < window.x1 && y >= window.y0 && y < window.y1;
                ASSERT_EQ(band.at(y, x), equal || inside ? expected[y * s.dw + x] : 0) << x << "," << y;
            }
    }
    // Row images go through the plane resizer.
    RowImage *a = CreateRowImage(nullptr, 9, 7, 8, 1), *b = CreateRowImage(nullptr, 4, 12, 8, 1);
    Plane src(9, 7, a->rowBytes - 9);
    src.Fill(random);
    std::copy(src.bytes.begin(), src.bytes.end(), a->data);
    ASSERT_EQ(ResizeRowImage(nullptr, a, b), RESULT_OK);
    const std::vector<uint8_t> expected = ModelBilinear(src, 4, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 4; ++x) ASSERT_EQ(b->rows[y][x], expected[y * 4 + x]);
    FreeRowImage(nullptr, &a);
    FreeRowImage(nullptr, &b);
}

// Equal sizes copy: the maps would give every source sample unchanged.
TEST(Bilinear, EqualSizesCopy) {
    std::mt19937 random(61);
    Plane src(11, 6), dst(11, 6, 7);
    src.Fill(random);
    ASSERT_EQ(ResizeBilinearPlane(nullptr, src.data(), 11, 6, src.pitch, dst.data(), 11, 6, dst.pitch), RESULT_OK);
    EXPECT_EQ(dst.Samples(), src.Samples());
}

TEST(Nearest, PicksTheDefinedSourcePixels) {
    std::mt19937 random(62);
    for (const Sizes &s : kSizes)
        for (int bpp : {1, 3}) {
            Plane src(s.sw, s.sh, 2, bpp), dst(s.dw, s.dh, 5, bpp);
            src.Fill(random);
            ASSERT_EQ(ResizeNearest(nullptr, src.data(), src.pitch, s.sw, s.sh, dst.data(), dst.pitch, s.dw, s.dh, bpp),
                      RESULT_OK);
            auto pick = [](int i, int S, int D) { return std::min(S - 1, (2 * i * S + std::min(S, D) - 1) / (2 * D)); };
            for (int j = 0; j < s.dh; ++j)
                for (int i = 0; i < s.dw; ++i)
                    for (int c = 0; c < bpp; ++c)
                        ASSERT_EQ(dst.bytes[j * dst.pitch + i * bpp + c],
                                  src.bytes[pick(j, s.sh, s.dh) * src.pitch + pick(i, s.sw, s.dw) * bpp + c]);
        }
    // 4 -> 2 picks 0 and 2; 2 -> 4 picks 0, 0, 1, 1.
    const uint8_t four[4] = {10, 11, 12, 13}, two[2] = {20, 21};
    uint8_t out[4];
    ASSERT_EQ(ResizeNearest(nullptr, four, 4, 4, 1, out, 2, 2, 1, 1), RESULT_OK);
    EXPECT_TRUE(out[0] == 10 && out[1] == 12);
    ASSERT_EQ(ResizeNearest(nullptr, two, 2, 2, 1, out, 4, 4, 1, 1), RESULT_OK);
    EXPECT_TRUE(out[0] == 20 && out[1] == 20 && out[2] == 21 && out[3] == 21);
}

TEST(BilinearRows, MatchesTheFixedPointDefinition) {
    std::mt19937 random(63);
    for (const Sizes &s : kSizes)
        for (int channels : {1, 3}) {
            RowImage *src = CreateRowImage(nullptr, s.sw, s.sh, 8, channels + 1);  // a spare byte per pixel
            RowImage *dst = CreateRowImage(nullptr, s.dw, s.dh, 8, channels);
            for (int i = 0; i < src->totalBytes; ++i) src->data[i] = static_cast<uint8_t>(random());
            ASSERT_EQ(ResizeBilinearRows(src, dst), RESULT_OK);
            const int fx = s.sw * 256 / s.dw, fy = s.sh * 256 / s.dh, in = channels + 1;
            for (int j = 0; j < s.dh; ++j)
                for (int i = 0; i < s.dw; ++i)
                    for (int c = 0; c < channels; ++c) {
                        const int y = j * fy >> 8, v = j * fy & 255, x = i * fx >> 8, u = i * fx & 255;
                        const int y1 = y >= s.sh - 1 ? y : y + 1, x1 = x >= s.sw - 1 ? x : x + 1;
                        const int A = src->rows[y][x * in + c], B = src->rows[y][x1 * in + c];
                        const int C = src->rows[y1][x * in + c], D = src->rows[y1][x1 * in + c];
                        ASSERT_EQ(dst->rows[j][i * channels + c],
                                  ((A * (256 - v) + C * v) * (256 - u) + (B * (256 - v) + D * v) * u) >> 16);
                    }
            FreeRowImage(nullptr, &src);
            FreeRowImage(nullptr, &dst);
        }
}

TEST(Bicubic, KernelTableEntries) {
    std::vector<int32_t> table(2050);
    BuildCubicKernelTable(table.data());
    const int32_t expected[5][2] = {{1024, 0}, {888, -71}, {576, -63}, {232, -23}, {0, 0}};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(table[2 * 256 * k], expected[k][0]) << k;
        EXPECT_EQ(table[2 * 256 * k + 1], expected[k][1]) << k;
    }
}

std::vector<uint8_t> ModelBicubic(const Plane &src, int dw, int dh) {
    std::vector<int32_t> table(2050);
    BuildCubicKernelTable(table.data());
    auto pos = [](int S, int D, int i, int *index, int *f) {
        const double s = static_cast<double>(S) / D * i;
        *index = static_cast<int>(s);
        *f = static_cast<int>((s - *index) * 1024 + 0.5);
    };
    auto taps = [&](int f, int64_t p0, int64_t p1, int64_t p2, int64_t p3) {
        return table[2 * f + 1] * p0 + table[2 * f] * p1 + table[2 * (1024 - f)] * p2 + table[2 * (1024 - f) + 1] * p3;
    };
    auto at = [&](int y, int x) { return int64_t{src.at(std::clamp(y, 0, src.h - 1), std::clamp(x, 0, src.w - 1))}; };
    std::vector<uint8_t> out(dw * dh);
    for (int j = 0; j < dh; ++j)
        for (int i = 0; i < dw; ++i) {
            int v, fy, x, fx;
            pos(src.h, dh, j, &v, &fy);
            pos(src.w, dw, i, &x, &fx);
            int64_t r[4];
            for (int k = 0; k < 4; ++k)
                r[k] = taps(fx, at(v - 1 + k, x - 1), at(v - 1 + k, x), at(v - 1 + k, x + 1), at(v - 1 + k, x + 2));
            out[j * dw + i] = static_cast<uint8_t>(std::clamp<int64_t>((taps(fy, r[0], r[1], r[2], r[3]) + 0x80000) >> 20, 0, 255));
        }
    return out;
}

// The rows pass reuses the cache the plane resizer prepared: another source of the same
// sizes (also a taller one) matches the definition; a cache of other widths, or none, is refused.
TEST(Bicubic, RowsPassOverAPreparedCache) {
    std::mt19937 random(65);
    BicubicCache cache{};
    Plane first(23, 17), dst(41, 9);
    first.Fill(random);
    EXPECT_EQ(ResizeBicubicRows(first.data(), 23, 17, first.pitch, dst.data(), 41, 9, dst.pitch, &cache),
              RESULT_INVALID_ARGUMENT);
    ASSERT_EQ(ResizeBicubicPlane(nullptr, first.data(), 23, 17, first.pitch, dst.data(), 41, 9, dst.pitch, &cache),
              RESULT_OK);
    for (int sh : {17, 30}) {
        Plane src(23, sh), out(41, 9);
        src.Fill(random);
        ASSERT_EQ(ResizeBicubicRows(src.data(), 23, sh, src.pitch, out.data(), 41, 9, out.pitch, &cache), RESULT_OK);
        EXPECT_EQ(out.Samples(), ModelBicubic(src, 41, 9)) << sh;
    }
    EXPECT_EQ(ResizeBicubicRows(first.data(), 22, 17, first.pitch, dst.data(), 41, 9, dst.pitch, &cache),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ResizeBicubicRows(first.data(), 23, 17, first.pitch, dst.data(), 41, 9, dst.pitch, nullptr),
              RESULT_INVALID_ARGUMENT);
    FreeBicubicCache(nullptr, &cache);
}

// One cache across calls of different sizes: each call matches the definition.
TEST(Bicubic, MatchesDefinitionWithOneCacheForSeveralSizes) {
    std::mt19937 random(64);
    BicubicCache cache{};
    const Sizes sizes[] = {{13, 11, 29, 17}, {40, 30, 11, 37}, {40, 30, 64, 6}, {5, 5, 9, 5}, {200, 150, 64, 48}};
    for (const Sizes &s : sizes) {
        Plane src(s.sw, s.sh), dst(s.dw, s.dh);
        src.Fill(random);
        // Hard edges make the kernel overshoot; the clamp keeps 0..255.
        for (int y = 0; y < s.sh; ++y)
            for (int x = 0; x < s.sw; x += 4) src.bytes[y * src.pitch + x] = (x / 4 + y) % 2 ? 255 : 0;
        ASSERT_EQ(ResizeBicubicPlane(nullptr, src.data(), s.sw, s.sh, src.pitch, dst.data(), s.dw, s.dh, dst.pitch, &cache),
                  RESULT_OK);
        EXPECT_EQ(dst.Samples(), ModelBicubic(src, s.dw, s.dh)) << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh;
    }
    // Equal sizes copy; a 4-pixel-wide side is refused.
    Plane src(8, 6), dst(8, 6, 1), narrow(4, 8);
    src.Fill(random);
    ASSERT_EQ(ResizeBicubicPlane(nullptr, src.data(), 8, 6, src.pitch, dst.data(), 8, 6, dst.pitch, &cache), RESULT_OK);
    EXPECT_EQ(dst.Samples(), src.Samples());
    EXPECT_EQ(ResizeBicubicPlane(nullptr, narrow.data(), 4, 8, narrow.pitch, dst.data(), 8, 6, dst.pitch, &cache),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ResizeBicubicPlane(nullptr, src.data(), 8, 6, src.pitch, dst.data(), 7, 6, dst.pitch, nullptr),
              RESULT_INVALID_ARGUMENT);
    FreeBicubicCache(nullptr, &cache);
    EXPECT_EQ(cache.work, nullptr);
    EXPECT_EQ(cache.kernelTable, nullptr);
}

TEST(Resizers, RejectBadSizesAndReportMemory) {
    uint8_t a[64] = {}, b[64] = {};
    int32_t stale = 1;
    EXPECT_EQ(ResizeNearest(nullptr, a, 4, 4, 4, b, 4, 0, 4, 1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ResizeNearest(nullptr, a, 4, 4, 4, b, 4, 4, 4, 2), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ResizeNearest(nullptr, a, 3, 4, 4, b, 4, 4, 4, 1), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ResizeBilinearPlane(nullptr, a, 4, 4, 4, b, 4, 0, 4), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ResizeBilinearPlane(nullptr, nullptr, 4, 4, 4, b, 2, 2, 2), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ResizeBilinearBand(nullptr, &stale, a, 4, 4, 4, b, 2, 2, 2, 0, 2, {0, 0, 2, 2}), RESULT_OUT_OF_MEMORY);
    uint8_t maps[64];
    EXPECT_EQ(ResizeBilinearBand(maps, &stale, a, 4, 4, 4, b, 2, 2, 2, 0, 3, {0, 0, 2, 2}), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ResizeBilinearBand(maps, &stale, a, 4, 4, 4, b, 2, 2, 2, 0, 2, {0, 0, 3, 2}), RESULT_INVALID_ARGUMENT);
    filters_test::SmallPool pool(64);
    std::vector<uint8_t> big(400 * 300);
    EXPECT_EQ(ResizeBilinearPlane(pool.get(), big.data(), 400, 300, 400, b, 8, 8, 8), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(ResizeNearest(pool.get(), big.data(), 400, 400, 300, big.data(), 300, 300, 300, 1), RESULT_OUT_OF_MEMORY);
    BicubicCache cache{};
    EXPECT_EQ(ResizeBicubicPlane(pool.get(), big.data(), 400, 300, 400, b, 8, 8, 8, &cache), RESULT_OUT_OF_MEMORY);
    FreeBicubicCache(pool.get(), &cache);
}

}  // namespace

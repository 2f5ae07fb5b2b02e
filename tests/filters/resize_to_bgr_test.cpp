#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "filters/filters_support.h"
#include "filters/resize_to_bgr.h"

namespace {

using filters_test::Image;

// The centre-aligned map of the definition.
std::vector<BilinearMapEntry> Map(int s, int d) {
    std::vector<BilinearMapEntry> map(d);
    bool clamped = false;
    for (int i = 0; i < d; ++i) {
        const double x = static_cast<double>(s) / d * (i + 0.5) - 0.5;
        BilinearMapEntry e{0, 0};
        if (x >= 0) e = {static_cast<int>(x), static_cast<int>((x - static_cast<int>(x)) * 128 + 0.5)};
        if (clamped || e.index >= s - 1) clamped = true, e = {s - 1, 0};
        map[i] = e;
    }
    return map;
}

using Sample = std::function<int(int y, int x)>;

// Q14 bilinear value of a sample function at output (i, j).
int Z(const Sample &at, int sw, int sh, const BilinearMapEntry &col, const BilinearMapEntry &row) {
    auto h = [&](int y) {
        return col.index >= sw - 1 ? at(y, sw - 1) * 128 : at(y, col.index) * 128 + (at(y, col.index + 1) - at(y, col.index)) * col.weight;
    };
    const bool two = row.index < sh - 1 && row.weight != 0;
    return two ? h(row.index) * 128 + (h(row.index + 1) - h(row.index)) * row.weight : h(row.index) * 128;
}
int Round(int z) { return (z + 8192) >> 14; }
uint8_t Clamp(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// The expected output bytes (rows of outW * bpp bytes).
std::vector<uint8_t> Model(const ImageDesc *src, int outW, int outH, int mode) {
    const int sw = src->i32Width, sh = src->i32Height;
    const uint32_t f = src->u32PixelArrayFormat;
    const uint8_t *p0 = src->ppu8Plane[0];
    const int pitch0 = src->pi32Pitch[0];
    const std::vector<BilinearMapEntry> cols = Map(sw, outW), rows = Map(sh, outH);
    const int bpp = mode == RESIZE_TO_BGR ? 3 : 1;
    std::vector<uint8_t> out(size_t(outW) * outH * bpp);
    auto chroma = [&](int y, int x, int *u, int *v) {
        if (f == PIXEL_FORMAT_YUYV) {
            *u = p0[y * pitch0 + 4 * (x / 2) + 1], *v = p0[y * pitch0 + 4 * (x / 2) + 3];
            return;
        }
        const int cy = std::min(y / 2, sh / 2 - 1);
        if (f == PIXEL_FORMAT_I420) {
            const int cx = std::min(x / 2, sw / 2 - 1);
            *u = src->ppu8Plane[1][cy * src->pi32Pitch[1] + cx], *v = src->ppu8Plane[2][cy * src->pi32Pitch[2] + cx];
        } else {
            const uint8_t *pair = src->ppu8Plane[1] + cy * src->pi32Pitch[1] + (x & ~1);
            *v = pair[0], *u = pair[1];
        }
    };
    for (int j = 0; j < outH; ++j) {
        const bool two = rows[j].index < sh - 1 && rows[j].weight != 0;
        for (int i = 0; i < outW; ++i) {
            uint8_t *o = &out[(size_t(j) * outW + i) * bpp];
            if (f == 0x201) {
                int c[3];
                for (int k = 0; k < 3; ++k)
                    c[k] = Round(Z([&](int y, int x) { return p0[y * pitch0 + 3 * x + k]; }, sw, sh, cols[i], rows[j]));
                if (bpp == 3) o[0] = c[0], o[1] = c[1], o[2] = c[2];
                else o[0] = static_cast<uint8_t>((13 * c[0] + 83 * c[1] + 32 * c[2]) >> 7);
                continue;
            }
            const int step = f == PIXEL_FORMAT_YUYV ? 2 : 1;
            const int y = Round(Z([&](int yy, int x) { return p0[yy * pitch0 + step * x]; }, sw, sh, cols[i], rows[j]));
            if (bpp == 1) {
                o[0] = static_cast<uint8_t>(y);
                continue;
            }
            // Chroma of the pair (or of a last single pixel): the rounded mean of the samples.
            const int first = i & ~1, last = std::min(first + 1, outW - 1);
            int su = 0, sv = 0, n = 0;
            for (int k = first; k <= last; ++k)
                for (int r = 0; r < (two ? 2 : 1); ++r) {
                    int u, v;
                    chroma(rows[j].index + r, cols[k].index, &u, &v);
                    su += u, sv += v, ++n;
                }
            const int u = (su + n / 2) / n - 128, v = (sv + n / 2) / n - 128;
            o[0] = Clamp((y * 16384 + 29049 * u + 8192) >> 14);
            o[1] = Clamp((y * 16384 - 5636 * u - 11698 * v + 8192) >> 14);
            o[2] = Clamp((y * 16384 + 22987 * v + 8192) >> 14);
        }
    }
    return out;
}

struct Case {
    uint32_t format;
    int sw, sh, outW, outH;
};
const Case kCases[] = {
    {PIXEL_FORMAT_YUYV, 16, 12, 7, 5},   {PIXEL_FORMAT_YUYV, 9, 7, 23, 13}, {PIXEL_FORMAT_I420, 13, 11, 13, 11},
    {PIXEL_FORMAT_I420, 20, 16, 5, 31},  {PIXEL_FORMAT_NV21, 15, 9, 8, 8},  {PIXEL_FORMAT_NV21, 2, 2, 1, 3},
    {0x201, 11, 10, 6, 15},              {0x201, 1, 1, 3, 2},
};

// Every format and mode against the definition, odd output widths included, into buffers
// that end with the last output pixel.
TEST(ResizeToBgr, MatchesDefinition) {
    std::mt19937 random(80);
    for (const Case &c : kCases) {
        std::vector<uint8_t> packed;
        ImageDesc packedDesc{};
        Image planar(c.sw, c.sh, c.format == 0x201 ? uint32_t{PIXEL_FORMAT_GRAY8} : c.format);
        const ImageDesc *src = planar.get();
        planar.Fill(random);
        if (c.format == 0x201) {
            packed.resize(size_t(3 * c.sw + 1) * c.sh);
            for (uint8_t &b : packed) b = static_cast<uint8_t>(random());
            packedDesc = {0x201, c.sw, c.sh, {packed.data()}, {3 * c.sw + 1}};
            src = &packedDesc;
        }
        for (const int mode : {int{RESIZE_TO_BGR}, 0}) {
            const int bpp = mode == RESIZE_TO_BGR ? 3 : 1;
            std::vector<uint8_t> out(size_t(c.outW) * c.outH * bpp);
            ASSERT_EQ(ResizeToBgr(nullptr, src, out.data(), c.outW, c.outH, c.outW * bpp, mode), RESULT_OK);
            EXPECT_EQ(out, Model(src, c.outW, c.outH, mode))
                << std::hex << c.format << std::dec << " " << c.outW << "x" << c.outH << " mode " << mode;
        }
    }
}

TEST(ResizeToBgr, GreyChromaGivesGreyAndSaturationClamps) {
    Image yuyv(10, 6, PIXEL_FORMAT_YUYV);
    FillBytes(yuyv.Plane(0), 128, yuyv.PlaneBytes(0));
    std::vector<uint8_t> out(5 * 3 * 3);
    ASSERT_EQ(ResizeToBgr(nullptr, yuyv.get(), out.data(), 5, 3, 15, RESIZE_TO_BGR), RESULT_OK);
    EXPECT_EQ(out, std::vector<uint8_t>(45, 128));
    for (size_t i = 0; i < yuyv.PlaneBytes(0); i += 4) {
        uint8_t *q = yuyv.Plane(0) + i;
        q[0] = q[2] = 255, q[1] = 255, q[3] = 128;  // Y 255, U 255
    }
    ASSERT_EQ(ResizeToBgr(nullptr, yuyv.get(), out.data(), 5, 3, 15, RESIZE_TO_BGR), RESULT_OK);
    for (size_t i = 0; i < out.size(); i += 3) EXPECT_EQ(out[i], 255);
}

TEST(ResizeToBgr, RejectsWhatItCannotRead) {
    Image nv12(8, 8, PIXEL_FORMAT_NV12), i420(8, 8, PIXEL_FORMAT_I420), thin(1, 5, PIXEL_FORMAT_I420);
    std::vector<uint8_t> out(64 * 3, 7);
    const std::vector<uint8_t> before = out;
    EXPECT_EQ(ResizeToBgr(nullptr, nv12.get(), out.data(), 8, 8, 24, RESIZE_TO_BGR), RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(ResizeToBgr(nullptr, i420.get(), out.data(), 8, 0, 24, RESIZE_TO_BGR), RESULT_OK);
    EXPECT_EQ(ResizeToBgr(nullptr, i420.get(), out.data(), 0, 8, 24, RESIZE_TO_BGR), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ResizeToBgr(nullptr, i420.get(), out.data(), 8, 8, 23, RESIZE_TO_BGR), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ResizeToBgr(nullptr, thin.get(), out.data(), 4, 4, 12, RESIZE_TO_BGR), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(ResizeToBgr(nullptr, nullptr, out.data(), 4, 4, 12, RESIZE_TO_BGR), RESULT_INVALID_ARGUMENT);
    filters_test::SmallPool pool(64);
    EXPECT_EQ(ResizeToBgr(pool.get(), i420.get(), out.data(), 8, 8, 24, RESIZE_TO_BGR), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(out, before);
}

}  // namespace

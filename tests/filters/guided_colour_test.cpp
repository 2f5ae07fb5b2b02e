#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "filters/filters_support.h"
#include "filters/guided_colour.h"

namespace {

using filters_test::ClampInt;
using filters_test::Image;

// A descriptor over the test's own bytes, for codes the image layout does not know (0x201).
struct Packed {
    std::vector<uint8_t> bytes;
    ImageDesc desc{};
    Packed(uint32_t format, int w, int h, int bytesPerPixel) : bytes(size_t(w * bytesPerPixel + 5) * h) {
        desc = {format, w, h, {bytes.data()}, {w * bytesPerPixel + 5}};
    }
};

void FillPlanes(const ImageDesc *image, std::mt19937 &random, int rows0, int rows1) {
    for (int p = 0; p < 3 && image->ppu8Plane[p]; ++p)
        for (int i = 0; i < image->pi32Pitch[p] * (p == 0 ? rows0 : rows1); ++i)
            image->ppu8Plane[p][i] = static_cast<uint8_t>(random());
}

// Channel k of the guide pixel (x, y), as the filter defines it.
int GuideAt(const ImageDesc *g, int x, int y, int k) {
    const uint32_t f = g->u32PixelArrayFormat;
    if (f == PIXEL_FORMAT_YUV444P) return g->ppu8Plane[k][y * g->pi32Pitch[k] + x];
    if (f == PIXEL_FORMAT_NV12 || f == PIXEL_FORMAT_NV21) {
        if (k == 0) return g->ppu8Plane[0][y * g->pi32Pitch[0] + x];
        // An odd height has h / 2 chroma rows: the last luma row takes the last of them.
        const uint8_t *pair = g->ppu8Plane[1] + std::min(y / 2, g->i32Height / 2 - 1) * g->pi32Pitch[1] + (x & ~1);
        return (k == 1) == (f == PIXEL_FORMAT_NV12) ? pair[0] : pair[1];
    }
    const int step = (f == 0x302 || f == 0x304) ? 4 : 3;
    return g->ppu8Plane[0][y * g->pi32Pitch[0] + x * step + k];
}

// The definition: replicated borders, the double-precision 3 x 3 solve, coefficient means over
// windows whose positions are clamped to the rectangle.
std::vector<uint8_t> Model(const ImageDesc *g, const ImageDesc *in, int r, PixelRect rect) {
    const int gw = g->i32Width, gh = g->i32Height, w = rect.x1 - rect.x0, h = rect.y1 - rect.y0;
    const int64_t n = int64_t{2 * r + 1} * (2 * r + 1);
    auto p = [&](int x, int y) { return int64_t{in->ppu8Plane[0][y * in->pi32Pitch[0] + x]}; };
    std::vector<std::array<int32_t, 4>> coeff(w * h);
    for (int t = 0; t < h; ++t)
        for (int u = 0; u < w; ++u) {
            int64_t S[3] = {}, SS[3][3] = {}, Sp = 0, SIp[3] = {};
            for (int i = -r; i <= r; ++i)
                for (int j = -r; j <= r; ++j) {
                    const int y = ClampInt(rect.y0 + t + i, 0, gh - 1), x = ClampInt(rect.x0 + u + j, 0, gw - 1);
                    int64_t I[3];
                    for (int k = 0; k < 3; ++k) I[k] = GuideAt(g, x, y, k);
                    for (int k = 0; k < 3; ++k) {
                        S[k] += I[k], SIp[k] += I[k] * p(x, y);
                        for (int l = 0; l < 3; ++l) SS[k][l] += I[k] * I[l];
                    }
                    Sp += p(x, y);
                }
            std::array<int32_t, 4> &out = coeff[t * w + u];
            if (Sp <= 0 || Sp >= 255 * n) {
                out = {0, 0, 0, static_cast<int32_t>(16 * Sp / n)};
                continue;
            }
            const double k1 = 1.0 / n;
            double m[3], s[3][3], c[3];
            const double mp = Sp * k1;
            for (int k = 0; k < 3; ++k) m[k] = S[k] * k1;
            for (int k = 0; k < 3; ++k) {
                for (int l = 0; l < 3; ++l) s[k][l] = SS[k][l] * k1 - m[k] * m[l];
                s[k][k] += 16.0;
                c[k] = SIp[k] * k1 - m[k] * mp;
            }
            const double t1 = s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[1][2]);
            const double t2 = s[0][1] * (s[1][2] * s[0][2] - s[0][1] * s[2][2]);
            const double t3 = s[0][2] * (s[0][1] * s[1][2] - s[1][1] * s[0][2]);
            const double det = t1 + t2 + t3;
            double a[3] = {};
            if (std::fabs(det) > 1e-15 * (std::fabs(t1) + std::fabs(t2) + std::fabs(t3))) {
                const double j00 = s[1][1] * s[2][2] - s[1][2] * s[1][2], j01 = s[0][2] * s[1][2] - s[0][1] * s[2][2];
                const double j02 = s[0][1] * s[1][2] - s[0][2] * s[1][1], j11 = s[0][0] * s[2][2] - s[0][2] * s[0][2];
                const double j12 = s[0][1] * s[0][2] - s[0][0] * s[1][2], j22 = s[0][0] * s[1][1] - s[0][1] * s[0][1];
                a[0] = (j00 * c[0] + j01 * c[1] + j02 * c[2]) / det;
                a[1] = (j01 * c[0] + j11 * c[1] + j12 * c[2]) / det;
                a[2] = (j02 * c[0] + j12 * c[1] + j22 * c[2]) / det;
            }
            out = {static_cast<int32_t>(1024.0 * a[0]), static_cast<int32_t>(1024.0 * a[1]),
                   static_cast<int32_t>(1024.0 * a[2]),
                   static_cast<int32_t>(16.0 * (((mp - a[0] * m[0]) - a[1] * m[1]) - a[2] * m[2]))};
        }
    std::vector<uint8_t> result(w * h);
    for (int t = 0; t < h; ++t)
        for (int u = 0; u < w; ++u) {
            int64_t sum[4] = {};
            for (int i = -r; i <= r; ++i)
                for (int j = -r; j <= r; ++j)
                    for (int k = 0; k < 4; ++k) sum[k] += coeff[ClampInt(t + i, 0, h - 1) * w + ClampInt(u + j, 0, w - 1)][k];
            int32_t v = 64 * static_cast<int32_t>(sum[3] / n);
            for (int k = 0; k < 3; ++k) v += static_cast<int32_t>(sum[k] / n) * GuideAt(g, rect.x0 + u, rect.y0 + t, k);
            result[t * w + u] = static_cast<uint8_t>(v < 0 ? 0 : (v >= 262144 ? 255 : v >> 10));
        }
    return result;
}

std::vector<uint8_t> Rect(const ImageDesc *image, PixelRect rect) {
    std::vector<uint8_t> out;
    for (int y = rect.y0; y < rect.y1; ++y)
        out.insert(out.end(), image->ppu8Plane[0] + y * image->pi32Pitch[0] + rect.x0,
                   image->ppu8Plane[0] + y * image->pi32Pitch[0] + rect.x1);
    return out;
}

struct Case {
    uint32_t format;
    int w, h, r;
    PixelRect rect;  // x1 = 0: whole image
};
const Case kCases[] = {
    {PIXEL_FORMAT_YUV444P, 1, 1, 1, {}},        {PIXEL_FORMAT_YUV444P, 17, 13, 3, {}},
    {PIXEL_FORMAT_YUV444P, 30, 25, 2, {4, 3, 27, 21}}, {PIXEL_FORMAT_NV12, 15, 11, 4, {}},
    {PIXEL_FORMAT_NV21, 20, 9, 1, {0, 2, 19, 9}},      {0x201, 9, 14, 5, {1, 1, 8, 14}},
    {0x302, 12, 7, 2, {}},                             {0x401, 6, 30, 0, {}},
};

// Random guides and inputs of every accepted layout against the definition; the samples
// outside the rectangle stay as they were; filtering in place gives the same.
TEST(GuidedFilterColour, MatchesDefinition) {
    std::mt19937 random(40);
    for (const Case &c : kCases) {
        const PixelRect rect = c.rect.x1 == 0 ? PixelRect{0, 0, c.w, c.h} : c.rect;
        const int bytes = (c.format == 0x302) ? 4 : 3;
        Packed packed(c.format, c.w, c.h, bytes);
        Image planar(c.w, c.h, c.format < 0x500 ? uint32_t{PIXEL_FORMAT_GRAY8} : c.format);
        const ImageDesc *guide = c.format < 0x500 ? &packed.desc : planar.get();
        FillPlanes(guide, random, c.h, c.format < 0x500 ? 0 : planar.Rows(1));
        Image input(c.w, c.h, PIXEL_FORMAT_GRAY8), output(c.w, c.h, PIXEL_FORMAT_GRAY8);
        input.Fill(random);
        output.Fill(random);
        const std::vector<uint8_t> before = output.Bytes();
        ASSERT_EQ(GuidedFilterColour(nullptr, guide, input.get(), c.r, c.rect.x1 ? &rect : nullptr, output.get()),
                  RESULT_OK);
        EXPECT_EQ(Rect(output.get(), rect), Model(guide, input.get(), c.r, rect)) << std::hex << c.format;
        // Outside the rectangle nothing changed.
        Image restored(c.w, c.h, PIXEL_FORMAT_GRAY8);
        restored.CopyFrom(output);
        for (int y = rect.y0; y < rect.y1; ++y)
            for (int x = rect.x0; x < rect.x1; ++x)
                restored.Plane(0)[y * restored->pi32Pitch[0] + x] = before[y * restored->pi32Pitch[0] + x];
        EXPECT_EQ(restored.Bytes(), before);
        ASSERT_EQ(GuidedFilterColour(nullptr, guide, input.get(), c.r, c.rect.x1 ? &rect : nullptr, input.get()),
                  RESULT_OK);
        EXPECT_EQ(Rect(input.get(), rect), Rect(output.get(), rect));
    }
}

TEST(GuidedFilterColour, FlatInputsKeepTheirValue) {
    std::mt19937 random(41);
    Image guide(19, 15, PIXEL_FORMAT_YUV444P), input(19, 15, PIXEL_FORMAT_GRAY8), output(19, 15, PIXEL_FORMAT_GRAY8);
    guide.Fill(random);
    for (int v : {0, 255}) {
        input.Fill(random, v, v);
        ASSERT_EQ(GuidedFilterColour(nullptr, guide.get(), input.get(), 4, nullptr, output.get()), RESULT_OK);
        EXPECT_EQ(Rect(output.get(), {0, 0, 19, 15}), std::vector<uint8_t>(19 * 15, static_cast<uint8_t>(v)));
    }
}

TEST(GuidedFilterColour, RejectsBadArguments) {
    Image grey(10, 8, PIXEL_FORMAT_GRAY8), yuv(10, 8, PIXEL_FORMAT_YUV444P), small(9, 8, PIXEL_FORMAT_GRAY8);
    Image tinyNv(1, 1, PIXEL_FORMAT_NV12), tinyGrey(1, 1, PIXEL_FORMAT_GRAY8);
    const PixelRect outside{0, 0, 10, 9};
    EXPECT_EQ(GuidedFilterColour(nullptr, grey.get(), grey.get(), 2, nullptr, grey.get()), RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(GuidedFilterColour(nullptr, yuv.get(), small.get(), 2, nullptr, grey.get()), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterColour(nullptr, yuv.get(), grey.get(), 2, &outside, grey.get()), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterColour(nullptr, yuv.get(), grey.get(), GUIDED_COLOUR_MAX_RADIUS + 1, nullptr, grey.get()),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterColour(nullptr, tinyNv.get(), tinyGrey.get(), 1, nullptr, tinyGrey.get()),
              RESULT_INVALID_ARGUMENT);
    filters_test::SmallPool pool(128);
    EXPECT_EQ(GuidedFilterColour(pool.get(), yuv.get(), grey.get(), 2, nullptr, grey.get()), RESULT_OUT_OF_MEMORY);
}

}  // namespace

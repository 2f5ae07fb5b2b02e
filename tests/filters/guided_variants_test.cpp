#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "filters/filters_support.h"
#include "filters/guided_band.h"
#include "filters/guided_variants.h"

namespace {

using filters_test::ClampInt;
using filters_test::Coeff;
using filters_test::Image;

// A window of zeros or of 255s has no slope: b is its mean.
Coeff WindowCoeff(int64_t sI, int64_t sII, int64_t sIp, int64_t sP, int64_t n, double e) {
    if (sP <= 0 || sP >= 255 * n) return {0, static_cast<int32_t>(16 * sP / n)};
    return filters_test::DoubleCoeff(sI, sII, sIp, sP, n, e);
}

// One channel of an image: the plane, step and offset it selects and its plane size.
struct Channel {
    uint8_t *plane;
    int pitch, step, offset, width, height, divisor;
    uint8_t &at(int row, int col) const { return plane[row * pitch + col * step + offset]; }
};

Channel ChannelOf(const ImageDesc *image, int c) {
    const int w = image->i32Width, h = image->i32Height;
    switch (image->u32PixelArrayFormat) {
    case PIXEL_FORMAT_NV12:
    case PIXEL_FORMAT_NV21:
        if (c > 0) return {image->ppu8Plane[1], image->pi32Pitch[1], 2, c - 1, w / 2, h / 2, 2};
        return {image->ppu8Plane[0], image->pi32Pitch[0], 1, 0, w, h, 1};
    case 0x401:
        return {image->ppu8Plane[0], image->pi32Pitch[0], 3, c, w, h, 1};
    default:
        return {image->ppu8Plane[c], image->pi32Pitch[c], 1, 0, w, h, 1};
    }
}

// The filter's definition over one band (the whole rectangle): coefficient windows with
// replicated plane borders, their means over windows clamped to the rectangle.
// value(sample) reads an input sample; store(sample, q) writes the output.
void ModelOneBand(const Channel &guide, const Channel &input, const Channel &output, PixelRect rect,
                  int radius, double e, bool signedInput, bool signedOutput) {
    const int r = radius / guide.divisor;
    const int x0 = rect.x0 / guide.divisor, y0 = rect.y0 / guide.divisor;
    const int w = rect.x1 / guide.divisor - x0, h = rect.y1 / guide.divisor - y0;
    if (w <= 0 || h <= 0) return;
    const int64_t n = int64_t{2 * r + 1} * (2 * r + 1);
    std::vector<Coeff> coeff(w * h);
    std::vector<int> guideRow(w * h);
    for (int t = 0; t < h; ++t)
        for (int x = 0; x < w; ++x) {
            int64_t sI = 0, sII = 0, sIp = 0, sP = 0;
            for (int i = -r; i <= r; ++i)
                for (int j = -r; j <= r; ++j) {
                    const int row = ClampInt(y0 + t + i, 0, guide.height - 1);
                    const int col = ClampInt(x0 + x + j, 0, guide.width - 1);
                    const int64_t g = guide.at(row, col);
                    const int64_t p = signedInput ? int64_t{static_cast<int8_t>(input.at(row, col))}
                                                  : int64_t{input.at(row, col)};
                    sI += g, sII += g * g, sIp += g * p, sP += p;
                }
            coeff[t * w + x] = WindowCoeff(sI, sII, sIp, sP, n, e);
            guideRow[t * w + x] = guide.at(y0 + t, x0 + x);
        }
    for (int t = 0; t < h; ++t)
        for (int x = 0; x < w; ++x) {
            int64_t sA = 0, sB = 0;
            for (int i = -r; i <= r; ++i)
                for (int j = -r; j <= r; ++j) {
                    const Coeff &c = coeff[ClampInt(t + i, 0, h - 1) * w + ClampInt(x + j, 0, w - 1)];
                    sA += c.a, sB += c.b;
                }
            const int64_t q = (guideRow[t * w + x] * (sA / n) + 64 * (sB / n)) >> 10;
            output.at(y0 + t, x0 + x) = signedOutput
                                            ? static_cast<uint8_t>(static_cast<int8_t>(ClampInt(q, -128, 127)))
                                            : static_cast<uint8_t>(ClampInt(q, 0, 255));
        }
}

struct Case {
    uint32_t format;
    int width, height, radius;
    PixelRect rect;  // x1 = 0: the whole image
    double eps;
};

const Case kCases[] = {
    {PIXEL_FORMAT_GRAY8, 5, 3, 1, {}, 4.5},
    {PIXEL_FORMAT_GRAY8, 12, 12, 16, {}, 0.7},  // windows beyond the plane
    {PIXEL_FORMAT_YUV444P, 31, 27, 4, {3, 5, 29, 26}, 4.0},
    {PIXEL_FORMAT_NV12, 24, 18, 6, {2, 4, 23, 17}, 9.0},
    {PIXEL_FORMAT_NV21, 13, 11, 3, {}, 2.5},
    {0x401, 17, 9, 2, {}, 4.0},
    {PIXEL_FORMAT_GRAY8, 9, 40, 0, {}, 4.0},
};

PixelRect RectOf(const Case &c) { return c.rect.x1 == 0 ? PixelRect{0, 0, c.width, c.height} : c.rect; }

// Random guide, input and output of a case; expected starts as a copy of the output.
struct CaseImages {
    Image guide, input, output, expected;
    CaseImages(const Case &c, std::mt19937 &random)
        : guide(c.width, c.height, c.format), input(c.width, c.height, c.format),
          output(c.width, c.height, c.format), expected(c.width, c.height, c.format) {
        guide.Fill(random);
        input.Fill(random);
        output.Fill(random);
        expected.CopyFrom(output);
    }
};

// Signed input bytes, eps as passed and the signed output clamp against the definition.
TEST(GuidedFilterSigned8, MatchesDefinitionAsOneBand) {
    std::mt19937 random(11);
    for (const Case &c : kCases) {
        CaseImages im(c, random);
        const PixelRect rect = RectOf(c);
        ModelOneBand(ChannelOf(im.guide.get(), 0), ChannelOf(im.input.get(), 0),
                     ChannelOf(im.expected.get(), 0), rect, c.radius, c.eps, true, true);
        ASSERT_EQ(GuidedFilterSigned8(nullptr, im.guide.get(), im.input.get(), c.radius, &rect,
                                      im.output.get(), c.eps),
                  RESULT_OK);
        EXPECT_EQ(im.output.Bytes(), im.expected.Bytes())
            << std::hex << c.format << std::dec << " " << c.width;
    }
}

TEST(GuidedFilterSigned8, WindowOfMinusFiveStaysMinusFive) {
    std::mt19937 random(2);
    Image guide(14, 10, PIXEL_FORMAT_GRAY8), input(14, 10, PIXEL_FORMAT_GRAY8), output(14, 10, PIXEL_FORMAT_GRAY8);
    guide.Fill(random);
    input.Fill(random, 0xFB, 0xFB);  // -5
    ASSERT_EQ(GuidedFilterSigned8(nullptr, guide.get(), input.get(), 3, nullptr, output.get(), 4.0), RESULT_OK);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 14; ++x) ASSERT_EQ(static_cast<int8_t>(output.Plane(0)[y * output->pi32Pitch[0] + x]), -5);
}

// Every channel with eps 4 (truncated); NV12 and NV21 chroma at half size and half radius.
TEST(GuidedFilterThreeChannels, FiltersEachChannelInTurn) {
    std::mt19937 random(5);
    for (const Case &c : kCases) {
        if (c.format == PIXEL_FORMAT_GRAY8) continue;
        CaseImages im(c, random);
        const PixelRect rect = RectOf(c);
        for (int ch = 0; ch < 3; ++ch)
            ModelOneBand(ChannelOf(im.guide.get(), ch), ChannelOf(im.input.get(), ch),
                         ChannelOf(im.expected.get(), ch), rect, c.radius, 4.0, false, false);
        ASSERT_EQ(GuidedFilterThreeChannels(nullptr, im.guide.get(), im.input.get(), c.radius, &rect,
                                            im.output.get()),
                  RESULT_OK);
        EXPECT_EQ(im.output.Bytes(), im.expected.Bytes()) << std::hex << c.format;
    }
}

TEST(GuidedFilterThreeChannels, GreyHasNoChromaAndIsLeftAlone) {
    std::mt19937 random(5);
    Image guide(8, 8, PIXEL_FORMAT_GRAY8), output(8, 8, PIXEL_FORMAT_GRAY8);
    guide.Fill(random);
    output.Fill(random);
    const std::vector<uint8_t> before = output.Bytes();
    EXPECT_EQ(GuidedFilterThreeChannels(nullptr, guide.get(), guide.get(), 2, nullptr, output.get()),
              RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(output.Bytes(), before);
}

// eps = floor(strength^2 / 4); outside the rectangle the output is a copy of the image; the
// same in place.
TEST(GuidedFilterSelf, StrengthSetsEpsAndTheRestIsCopied) {
    std::mt19937 random(9);
    const PixelRect rect{2, 3, 19, 15};
    for (uint32_t strength : {3u, 10u, 40u}) {
        Image image(21, 17, PIXEL_FORMAT_YUV444P), output(21, 17, PIXEL_FORMAT_YUV444P),
            expected(21, 17, PIXEL_FORMAT_YUV444P);
        image.Fill(random);
        output.Fill(random);
        expected.CopyFrom(output);  // the padding between rows is not the image's to copy
        ASSERT_EQ(CopyImage(expected.get(), image.get()), RESULT_OK);
        ModelOneBand(ChannelOf(image.get(), 0), ChannelOf(image.get(), 0), ChannelOf(expected.get(), 0), rect,
                     4, std::floor(strength * strength / 4.0), false, false);
        ASSERT_EQ(GuidedFilterSelf(nullptr, image.get(), 4, strength, &rect, output.get()), RESULT_OK);
        EXPECT_EQ(output.Bytes(), expected.Bytes()) << strength;
        ASSERT_EQ(GuidedFilterSelf(nullptr, image.get(), 4, strength, &rect, image.get()), RESULT_OK);
        ASSERT_EQ(CopyImage(output.get(), image.get()), RESULT_OK);
        EXPECT_EQ(output.Bytes(), expected.Bytes()) << strength;
    }
}

// The refinement over one plane of a planar image: no pass copies the start plane; each pass
// adds 0.8 of the source's detail to the re-filtered estimate. Other planes stay as they were.
TEST(GuidedFilterIterative, RefinesOnePlane) {
    std::mt19937 random(4);
    const int w = 19, h = 13;
    Image source(w, h, PIXEL_FORMAT_YUV444P), start(w, h, PIXEL_FORMAT_YUV444P), result(w, h, PIXEL_FORMAT_YUV444P);
    source.Fill(random, 0, 120);
    start.Fill(random, 0, 120);
    for (int iterations : {0, 1, 2}) {
        result.Fill(random);
        Image before(w, h, PIXEL_FORMAT_YUV444P);
        before.CopyFrom(result);
        ASSERT_EQ(GuidedFilterIterative(nullptr, source.get(), start.get(), result.get(), iterations, 1, 6.0),
                  RESULT_OK);
        // The model: the signed filter written out, applied plane by plane.
        const Channel s = ChannelOf(source.get(), 1);
        std::vector<uint8_t> a(w * h), b(w * h), c(w * h);
        const Channel ca{a.data(), w, 1, 0, w, h, 1}, cb{b.data(), w, 1, 0, w, h, 1}, cc{c.data(), w, 1, 0, w, h, 1};
        ModelOneBand(s, s, ca, {0, 0, w, h}, 16, 6.0, true, true);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) c[y * w + x] = ChannelOf(start.get(), 1).at(y, x);
        for (int pass = 0; pass < iterations; ++pass) {
            ModelOneBand(s, cc, cb, {0, 0, w, h}, 16, 6.0, true, true);
            for (int i = 0; i < w * h; ++i)
                c[i] = static_cast<uint8_t>((10 * static_cast<int8_t>(b[i]) - 8 * a[i] + 8 * s.at(i / w, i % w)) / 10);
        }
        const Channel out = ChannelOf(result.get(), 1);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ASSERT_EQ(out.at(y, x), c[y * w + x]) << iterations << " " << x << "," << y;
        for (int p : {0, 2})
            EXPECT_EQ(CompareBytes(result.Plane(p), before.Plane(p), result.PlaneBytes(p)), 0);
    }
}

TEST(GuidedVariants, RejectBadArgumentsWithoutWriting) {
    std::mt19937 random(1);
    Image g(10, 8, PIXEL_FORMAT_GRAY8), out(10, 8, PIXEL_FORMAT_GRAY8), other(9, 8, PIXEL_FORMAT_GRAY8);
    Image nv(10, 8, PIXEL_FORMAT_NV12), yuv(10, 8, PIXEL_FORMAT_YUV444P);
    Image i420(10, 8, PIXEL_FORMAT_I420);
    g.Fill(random);
    out.Fill(random);
    const std::vector<uint8_t> before = out.Bytes();
    const PixelRect outside{0, 0, 11, 8}, reversed{5, 0, 4, 8};
    EXPECT_EQ(GuidedFilterSigned8(nullptr, nullptr, g.get(), 2, nullptr, out.get(), 4.0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterSigned8(nullptr, g.get(), other.get(), 2, nullptr, out.get(), 4.0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterSigned8(nullptr, g.get(), g.get(), -1, nullptr, out.get(), 4.0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterSigned8(nullptr, g.get(), g.get(), GUIDED_MAX_RADIUS + 1, nullptr, out.get(), 4.0),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterSigned8(nullptr, g.get(), g.get(), 2, &outside, out.get(), 4.0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterSigned8(nullptr, g.get(), g.get(), 2, &reversed, out.get(), 4.0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterSigned8(nullptr, g.get(), g.get(), 2, nullptr, out.get(), NAN), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterSigned8(nullptr, g.get(), yuv.get(), 2, nullptr, out.get(), 4.0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterSigned8(nullptr, i420.get(), i420.get(), 2, nullptr, i420.get(), 4.0),
              RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(GuidedFilterSelf(nullptr, g.get(), 2, 4, &outside, out.get()), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(out.Bytes(), before);
    // The refinement takes planar 8-bit images only, and a plane they have.
    EXPECT_EQ(GuidedFilterIterative(nullptr, nv.get(), nv.get(), nv.get(), 1, 0, 4.0), RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(GuidedFilterIterative(nullptr, g.get(), g.get(), out.get(), 1, 1, 4.0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterIterative(nullptr, g.get(), yuv.get(), out.get(), 1, 0, 4.0), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(out.Bytes(), before);
}

TEST(GuidedVariants, OutOfMemoryLeavesTheOutputAlone) {
    std::mt19937 random(1);
    Image g(64, 48, PIXEL_FORMAT_GRAY8), out(64, 48, PIXEL_FORMAT_GRAY8);
    g.Fill(random);
    out.Fill(random);
    const std::vector<uint8_t> before = out.Bytes();
    filters_test::SmallPool pool(256);
    EXPECT_EQ(GuidedFilterSigned8(pool.get(), g.get(), g.get(), 8, nullptr, out.get(), 4.0), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(GuidedFilterIterative(pool.get(), g.get(), g.get(), out.get(), 2, 0, 4.0), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(out.Bytes(), before);
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "filters/crop_rescale.h"
#include "filters/filters_support.h"

namespace {

using filters_test::Image;
using filters_test::RunJobsInOrder;
using filters_test::SmallPool;

// ---- The definition, written out directly ------------------------------------------------

struct Positions {
    std::vector<int> left, right, fraction;
};

Positions ModelPositions(int count, int start, int end) {
    Positions p;
    for (int i = 0; i < count; ++i) {
        const float at = static_cast<float>(i * (end - 1 - start)) / static_cast<float>(count - 1) +
                         static_cast<float>(start);
        const int k = static_cast<int>(at);
        p.left.push_back(k);
        p.right.push_back(std::min(k + 1, count - 1));
        p.fraction.push_back(static_cast<int>(static_cast<double>((at - static_cast<float>(k)) * 16.0f) + 0.5));
    }
    return p;
}

// The rectangle after clamping and the aspect trim; the whole frame when nothing is left.
PixelRect ModelRect(PixelRect r, int w, int h) {
    r.x0 = std::clamp(r.x0, 0, w), r.y0 = std::clamp(r.y0, 0, h);
    r.x1 = std::clamp(r.x1, 0, w), r.y1 = std::clamp(r.y1, 0, h);
    if (r.x1 - r.x0 == w && r.y1 - r.y0 == h) return r;
    const int64_t rw = r.x1 - r.x0, rh = r.y1 - r.y0;
    // The wider side: the even length nearest the frame's proportions, cut around its centre.
    auto cut = [](int &start, int &end, double keepExact) {
        const int length = end - start;
        int keep = 2 * static_cast<int>(std::floor(keepExact / 2 + 0.5));
        keep = std::min(keep, length & ~1);
        start += ((length - keep) / 2) & ~1;
        end = start + keep;
    };
    if (rw > 0 && rh > 0) {
        if (rw * h > rh * w) cut(r.x0, r.x1, double(rh) * w / h);
        else cut(r.y0, r.y1, double(rw) * h / w);
    }
    if (r.x1 - r.x0 < 2 || r.y1 - r.y0 < 2) return {0, 0, w, h};
    return r;
}

int Luma(const uint8_t *plane, int pitch, int step, const Positions &cols, const Positions &rows,
         int x, int y) {
    auto s = [&](int c, int r) { return int{plane[r * pitch + c * step]}; };
    const int fy = rows.fraction[y], fx = cols.fraction[x];
    const int r0 = rows.left[y], r1 = rows.right[y], c0 = cols.left[x], c1 = cols.right[x];
    const int a = 16 * s(c0, r0) + fy * (s(c0, r1) - s(c0, r0));
    const int b = 16 * s(c1, r0) + fy * (s(c1, r1) - s(c1, r0));
    return (16 * a + fx * (b - a)) >> 8;
}

// The destination's bytes as the rescale defines them, padding as it was.
std::vector<uint8_t> ModelRescale(const Image &source, const Image &destination, PixelRect r) {
    const int w = destination->i32Width, h = destination->i32Height;
    const uint32_t format = destination->u32PixelArrayFormat;
    Image out(w, h, format);
    out.CopyFrom(destination);
    const Positions cols = ModelPositions(w, r.x0, r.x1), rows = ModelPositions(h, r.y0, r.y1);
    const ImageDesc *s = source.get();
    ImageDesc *d = out.get();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (format == PIXEL_FORMAT_YUYV) {
                d->ppu8Plane[0][y * d->pi32Pitch[0] + 2 * x] =
                    static_cast<uint8_t>(Luma(s->ppu8Plane[0], s->pi32Pitch[0], 2, cols, rows, x, y));
                if (x % 2 == 0) {
                    const uint8_t *group = s->ppu8Plane[0] + rows.left[y] * s->pi32Pitch[0] + 4 * (cols.left[x] / 2);
                    d->ppu8Plane[0][y * d->pi32Pitch[0] + 2 * x + 1] = group[1];
                    d->ppu8Plane[0][y * d->pi32Pitch[0] + 2 * x + 3] = group[3];
                }
                continue;
            }
            d->ppu8Plane[0][y * d->pi32Pitch[0] + x] =
                static_cast<uint8_t>(Luma(s->ppu8Plane[0], s->pi32Pitch[0], 1, cols, rows, x, y));
            if (x % 2 != 0) continue;
            if (format == PIXEL_FORMAT_NV16) {
                const uint8_t *src = s->ppu8Plane[1] + rows.left[y] * s->pi32Pitch[1] + (cols.left[x] & ~1);
                uint8_t *dst = d->ppu8Plane[1] + y * d->pi32Pitch[1] + x;
                dst[0] = src[0], dst[1] = src[1];
            } else if (y % 2 == 0) {
                const int sourceRow = rows.left[y + 1] / 2;
                if (format == PIXEL_FORMAT_I420) {
                    for (int p = 1; p <= 2; ++p)
                        d->ppu8Plane[p][y / 2 * d->pi32Pitch[p] + x / 2] =
                            s->ppu8Plane[p][sourceRow * s->pi32Pitch[p] + cols.left[x] / 2];
                } else {
                    const uint8_t *src = s->ppu8Plane[1] + sourceRow * s->pi32Pitch[1] + (cols.left[x] & ~1);
                    uint8_t *dst = d->ppu8Plane[1] + y / 2 * d->pi32Pitch[1] + x;
                    dst[0] = src[0], dst[1] = src[1];
                }
            }
        }
    return out.Bytes();
}

// ---- Tests ---------------------------------------------------------------------------------

struct Case {
    uint32_t format;
    int width, height;         // destination
    int sourceWidth, sourceHeight;
    PixelRect rect;
};

const Case kCases[] = {
    {PIXEL_FORMAT_YUYV, 16, 10, 16, 10, {2, 1, 14, 9}},
    {PIXEL_FORMAT_YUYV, 16, 10, 16, 10, {-5, 3, 30, 20}},  // clamped, then trimmed in width
    {PIXEL_FORMAT_YUYV, 30, 12, 34, 13, {3, 2, 27, 12}},   // larger source
    {PIXEL_FORMAT_YUYV, 2, 2, 2, 2, {0, 0, 2, 1}},        // nothing left: copy
    {PIXEL_FORMAT_I420, 18, 12, 18, 12, {4, 2, 16, 11}},
    {PIXEL_FORMAT_I420, 40, 26, 40, 26, {9, 5, 40, 26}},   // ends on the frame's edge
    {PIXEL_FORMAT_NV12, 20, 14, 20, 14, {1, 3, 19, 12}},
    {PIXEL_FORMAT_NV21, 20, 14, 20, 14, {5, 0, 20, 9}},
    {PIXEL_FORMAT_NV16, 14, 9, 14, 9, {2, 2, 13, 8}},
    {PIXEL_FORMAT_NV16, 14, 9, 14, 9, {-1, -1, 99, 99}},  // the whole frame: copy
    {PIXEL_FORMAT_NV12, 24, 16, 24, 16, {30, 2, 40, 12}},  // empty once clamped: copy
    // Corners far apart on the wrong sides: their difference passes 32 bits; empty: copy.
    {PIXEL_FORMAT_NV12, 24, 16, 24, 16, {2000000000, 2, -2000000000, 12}},
    {PIXEL_FORMAT_YUYV, 16, 10, 16, 10, {3, 2000000000, 13, -2000000000}},
    {PIXEL_FORMAT_I420, 18, 12, 18, 12, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}},
    {PIXEL_FORMAT_NV16, 14, 9, 14, 9, {-3, 2, 9, INT32_MAX}},  // clamped below: trimmed
};

// Random frames of every format against the definition: positions in single precision,
// bilinear luma, nearest chroma, the rectangle reported back as clamped and trimmed.
TEST(CropAndRescale, MatchesDefinitionForEveryFormat) {
    std::mt19937 random(31);
    for (const Case &c : kCases) {
        Image source(c.sourceWidth, c.sourceHeight, c.format), destination(c.width, c.height, c.format);
        source.Fill(random);
        destination.Fill(random);
        const PixelRect expectedRect = ModelRect(c.rect, c.width, c.height);
        const bool copy = expectedRect.x1 - expectedRect.x0 == c.width &&
                          expectedRect.y1 - expectedRect.y0 == c.height;
        std::vector<uint8_t> expected;
        if (copy) {
            const PixelRect frame{0, 0, c.width, c.height};
            Image copied(c.width, c.height, c.format);
            copied.CopyFrom(destination);
            ASSERT_EQ(CopyImageRect(copied.get(), nullptr, source.get(), &frame), RESULT_OK);
            expected = copied.Bytes();
        } else {
            expected = ModelRescale(source, destination, expectedRect);
        }
        PixelRect rect = c.rect;
        ASSERT_EQ(CropAndRescaleWithRunner(nullptr, source.get(), destination.get(), &rect, RunJobsInOrder),
                  RESULT_OK);
        EXPECT_EQ(destination.Bytes(), expected) << std::hex << c.format << std::dec << " " << c.width << "x"
                                                 << c.height << " from " << c.rect.x0 << "," << c.rect.y0;
        EXPECT_EQ(std::vector<int>({rect.x0, rect.y0, rect.x1, rect.y1}),
                  std::vector<int>({expectedRect.x0, expectedRect.y0, expectedRect.x1, expectedRect.y1}));
    }
}

// Whenever the crop is scaled up, both axes scale alike: the trimmed rectangle has the frame's
// proportions within a pixel, lies inside the clamped one and keeps its centre within a pixel.
TEST(CropAndRescale, TrimKeepsTheFrameProportionsAroundTheCentre) {
    struct Trim {
        int width, height;
        PixelRect rect;
    };
    const Trim trims[] = {
        {1024, 690, {16, 16, 1008, 656}},   // wider than the frame
        {1024, 690, {16, 48, 992, 688}},
        {690, 1024, {16, 16, 656, 1008}},   // the same turned upright
        {640, 480, {16, 0, 624, 480}},      // higher than the frame
        {4000, 3000, {32, 16, 3968, 2992}},
        {1200, 800, {0, 16, 1200, 784}},
        {902, 600, {16, 16, 896, 592}},
    };
    for (const Trim &c : trims) {
        Image source(c.width, c.height, PIXEL_FORMAT_NV12);
        Image destination(c.width, c.height, PIXEL_FORMAT_NV12);
        PixelRect r = c.rect;
        ASSERT_EQ(CropAndRescaleWithRunner(nullptr, source.get(), destination.get(), &r,
                                           RunJobsInOrder),
                  RESULT_OK);
        const int64_t w = r.x1 - r.x0, h = r.y1 - r.y0;
        const int64_t W = c.width, H = c.height;
        // One column of the width or one row of the height.
        EXPECT_TRUE(std::llabs(w * H - h * W) <= std::max(W, H))
            << c.width << "x" << c.height << ": " << w << "x" << h;
        EXPECT_TRUE(r.x0 >= c.rect.x0 && r.x1 <= c.rect.x1);
        EXPECT_TRUE(r.y0 >= c.rect.y0 && r.y1 <= c.rect.y1);
        // Centres in half pixels.
        EXPECT_LE(std::abs((r.x0 + r.x1) - (c.rect.x0 + c.rect.x1)), 2) << c.width;
        EXPECT_LE(std::abs((r.y0 + r.y1) - (c.rect.y0 + c.rect.y1)), 2) << c.height;
        EXPECT_EQ(r.x0 % 2 + r.y0 % 2 + w % 2 + h % 2, 0);
    }
}

TEST(CropAndRescale, ColumnMappingOfA4000PixelFrame) {
    std::vector<int32_t> pairs(8000), fractions(4000);
    BuildRescalePositions(4000, 16, 3960, pairs.data(), fractions.data());
    struct Column {
        int x, left, right, fraction;
    };
    for (const Column &c : {Column{0, 16, 17, 0}, Column{1, 16, 17, 16}, Column{3, 18, 19, 15},
                            Column{3999, 3959, 3960, 0}}) {
        EXPECT_EQ(pairs[c.x], c.left) << c.x;
        EXPECT_EQ(pairs[4000 + c.x], c.right) << c.x;
        EXPECT_EQ(fractions[c.x], c.fraction) << c.x;
    }
    // The right neighbour never passes the frame: a span ending on the edge repeats it.
    BuildRescalePositions(100, 50, 100, pairs.data(), fractions.data());
    EXPECT_EQ(pairs[99], 99);
    EXPECT_EQ(pairs[100 + 99], 99);
    EXPECT_EQ(pairs[0], 50);
    EXPECT_EQ(fractions[0], 0);
}

TEST(CropAndRescale, BandSplit) {
    int bounds[5];
    SplitRescaleBands(3000, bounds);
    EXPECT_EQ(std::vector<int>(bounds, bounds + 5), (std::vector<int>{0, 748, 1500, 2248, 3000}));
    SplitRescaleBands(2, bounds);
    EXPECT_EQ(std::vector<int>(bounds, bounds + 5), (std::vector<int>{0, 0, 0, 0, 2}));
}

std::vector<std::pair<int, int>> recordedBands;

int RunAndRecordBands(int count, int (*job)(void *), void *records, size_t recordBytes) {
    recordedBands.clear();
    for (int i = 0; i < count; ++i) {
        const auto *j = reinterpret_cast<const CropRescaleJob *>(static_cast<char *>(records) + i * recordBytes);
        recordedBands.emplace_back(j->firstRow, j->endRow);
    }
    return RunJobsInOrder(count, job, records, recordBytes);
}

// A 12-megapixel YUYV frame with a 16-pixel border cropped: the rectangle is trimmed to
// x1 = 3960, the four workers take the rows the split gives, and every byte is as defined.
TEST(CropAndRescale, TwelveMegapixelFrame) {
    std::mt19937 random(17);
    Image source(4000, 3000, PIXEL_FORMAT_YUYV), destination(4000, 3000, PIXEL_FORMAT_YUYV);
    source.Fill(random);
    destination.Fill(random, 0, 0);
    PixelRect rect{16, 16, 3984, 2976};
    ASSERT_EQ(CropAndRescaleWithRunner(nullptr, source.get(), destination.get(), &rect, RunAndRecordBands),
              RESULT_OK);
    EXPECT_EQ(rect.x0, 26);  // 3946 of 3968 columns, cut around the centre
    EXPECT_EQ(rect.x1, 3972);
    EXPECT_EQ(rect.y1, 2976);
    EXPECT_EQ(recordedBands, (std::vector<std::pair<int, int>>{{0, 748}, {748, 1500}, {1500, 2248}, {2248, 3000}}));
    Image blank(4000, 3000, PIXEL_FORMAT_YUYV);
    blank.Fill(random, 0, 0);
    EXPECT_TRUE(destination.Bytes() == ModelRescale(source, blank, rect));
}

TEST(CropAndRescale, RejectsBadArgumentsAndLeavesDestinationOnFailure) {
    std::mt19937 random(3);
    Image yuyv(16, 10, PIXEL_FORMAT_YUYV), other(16, 10, PIXEL_FORMAT_YUYV), oddWide(15, 10, PIXEL_FORMAT_YUYV),
        i420(16, 10, PIXEL_FORMAT_I420), oddI420(16, 9, PIXEL_FORMAT_I420), low(2, 1, PIXEL_FORMAT_NV16),
        yuv444(16, 10, PIXEL_FORMAT_YUV444P), smaller(14, 10, PIXEL_FORMAT_YUYV);
    yuyv.Fill(random);
    other.Fill(random);
    const std::vector<uint8_t> before = other.Bytes();
    PixelRect rect{2, 2, 12, 8};
    auto run = [&](const Image &s, const Image &d) {
        PixelRect r = rect;
        return CropAndRescale(nullptr, s.get(), d.get(), &r);
    };
    EXPECT_EQ(CropAndRescale(nullptr, yuyv.get(), other.get(), nullptr), RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(run(yuyv, i420), RESULT_INVALID_ARGUMENT);      // formats differ
    EXPECT_EQ(run(yuv444, yuv444), RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(run(oddWide, oddWide), RESULT_INVALID_ARGUMENT);  // pairs of columns
    EXPECT_EQ(run(oddI420, oddI420), RESULT_INVALID_ARGUMENT);  // pairs of rows
    EXPECT_EQ(run(low, low), RESULT_INVALID_ARGUMENT);          // fewer than 2 rows
    EXPECT_EQ(run(smaller, other), RESULT_INVALID_ARGUMENT);    // source too small
    EXPECT_EQ(run(other, other), RESULT_INVALID_ARGUMENT);      // one image
    SmallPool pool(256);
    PixelRect r = rect;
    EXPECT_EQ(CropAndRescale(pool.get(), yuyv.get(), other.get(), &r), RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(other.Bytes(), before);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "filters/filters_support.h"
#include "filters/guided_band.h"
#include "filters/guided_band16.h"

namespace {

using filters_test::ClampInt;
using filters_test::Coeff;
using filters_test::DoubleCoeff;
using filters_test::Image;
using filters_test::RunJobsInOrder;
using filters_test::RunJobsInReverse;
using filters_test::SmallPool;

// ---- The definition, written out directly ------------------------------------------------

// One plane seen through its sample step and offset.
struct View {
    std::function<int64_t(int row, int col)> at;
};

// Runs the definition over the four bands of the rectangle: coefficients from windows with
// replicated plane borders, their means over windows clamped to the band, and
// store(row, col, I, mA, mB) for each output sample.
void ModelBands(const View &guide, const View &input, int planeW, int planeH, PixelRect rect,
                int r, const std::function<Coeff(int64_t, int64_t, int64_t, int64_t, int64_t)> &rule,
                const std::function<void(int, int, int64_t, int64_t, int64_t)> &store) {
    const int h = rect.y1 - rect.y0, e = h / 4, rest = h - e;
    const int bounds[5] = {rect.y0, rect.y0 + e, rect.y0 + e + rest / 3,
                           rect.y0 + e + rest / 3 + (rest - rest / 3) / 2, rect.y1};
    const int64_t n = int64_t{2 * r + 1} * (2 * r + 1);
    const int w = rect.x1 - rect.x0;
    for (int band = 0; band < 4; ++band) {
        const int y0 = bounds[band], bh = bounds[band + 1] - y0;
        if (bh == 0 || w == 0) continue;
        std::vector<Coeff> coeff(bh * w);
        for (int t = 0; t < bh; ++t)
            for (int x = 0; x < w; ++x) {
                int64_t sI = 0, sII = 0, sIp = 0, sP = 0;
                for (int i = -r; i <= r; ++i)
                    for (int j = -r; j <= r; ++j) {
                        const int row = ClampInt(y0 + t + i, 0, planeH - 1);
                        const int col = ClampInt(rect.x0 + x + j, 0, planeW - 1);
                        const int64_t g = guide.at(row, col), p = input.at(row, col);
                        sI += g, sII += g * g, sIp += g * p, sP += p;
                    }
                coeff[t * w + x] = rule(sI, sII, sIp, sP, n);
            }
        for (int t = 0; t < bh; ++t)
            for (int x = 0; x < w; ++x) {
                int64_t sA = 0, sB = 0;
                for (int i = -r; i <= r; ++i)
                    for (int j = -r; j <= r; ++j) {
                        const Coeff &c = coeff[ClampInt(t + i, 0, bh - 1) * w + ClampInt(x + j, 0, w - 1)];
                        sA += c.a, sB += c.b;
                    }
                store(y0 + t, rect.x0 + x, guide.at(y0 + t, rect.x0 + x), sA / n, sB / n);
            }
    }
}

// Channel 0 of an 8-bit image: its plane 0 with the format's sample step.
int StepOf(uint32_t format) { return format == 0x401 ? 3 : 1; }

View View8(const ImageDesc *image) {
    const uint8_t *plane = image->ppu8Plane[0];
    const int pitch = image->pi32Pitch[0], step = StepOf(image->u32PixelArrayFormat);
    return {[=](int row, int col) { return int64_t{plane[row * pitch + col * step]}; }};
}

// The expected output image: the output's bytes as they were, channel 0 of the rectangle
// replaced by the filter's definition.
std::vector<uint8_t> Model8(const Image &guide, const Image &input, const Image &output,
                            PixelRect rect, int r, double eps) {
    Image expected(output->i32Width, output->i32Height, output->u32PixelArrayFormat);
    expected.CopyFrom(output);
    const double e = std::trunc(eps);
    const int step = StepOf(output->u32PixelArrayFormat);
    const int pitch = expected->pi32Pitch[0];
    uint8_t *plane = expected.Plane(0);
    ModelBands(
        View8(guide.get()), View8(input.get()), guide->i32Width, guide->i32Height, rect, r,
        [e](int64_t sI, int64_t sII, int64_t sIp, int64_t sP, int64_t n) -> Coeff {
            if (sP <= 0 || sP >= 255 * n) return {0, static_cast<int32_t>(16 * sP / n)};
            return DoubleCoeff(sI, sII, sIp, sP, n, e);
        },
        [&](int row, int col, int64_t g, int64_t mA, int64_t mB) {
            plane[row * pitch + col * step] = static_cast<uint8_t>(ClampInt((g * mA + 64 * mB) >> 10, 0, 255));
        });
    return expected.Bytes();
}

// ---- 8-bit filter --------------------------------------------------------------------------

enum class Fill { kRandom, kConstant100, kZeros, kSaturated, kTwoLevels };

void FillInput(Image &image, Fill fill, std::mt19937 &random) {
    switch (fill) {
    case Fill::kRandom: image.Fill(random); break;
    case Fill::kConstant100: image.Fill(random, 100, 100); break;
    case Fill::kZeros: image.Fill(random, 0, 0); break;
    case Fill::kSaturated: image.Fill(random, 255, 255); break;
    case Fill::kTwoLevels:
        image.Fill(random, 0, 1);
        for (int p = 0; p < 3 && image.Plane(p); ++p)
            for (size_t i = 0; i < image.PlaneBytes(p); ++i) image.Plane(p)[i] *= 255;
        break;
    }
}

struct Case8 {
    uint32_t format;
    int width, height, radius;
    PixelRect rect;  // x1 = 0 means the whole image
    double eps;
    Fill fill;
    bool flatGuide;
};

const Case8 kCases8[] = {
    {PIXEL_FORMAT_GRAY8, 5, 3, 1, {}, 4.0, Fill::kRandom, false},
    {PIXEL_FORMAT_GRAY8, 12, 12, 16, {}, 4.0, Fill::kRandom, false},  // windows beyond the plane
    {PIXEL_FORMAT_YUV444P, 40, 40, 4, {3, 5, 37, 38}, 4.0, Fill::kRandom, false},
    {PIXEL_FORMAT_YUV444P, 23, 31, 2, {}, 4.9, Fill::kRandom, false},
    {PIXEL_FORMAT_YUV444P, 29, 26, 3, {}, 4.0, Fill::kConstant100, false},  // 16v or 16v - 1
    {PIXEL_FORMAT_NV12, 24, 18, 3, {}, 0.5, Fill::kRandom, false},
    {PIXEL_FORMAT_NV21, 16, 14, 2, {2, 1, 16, 14}, 0.0, Fill::kRandom, true},  // 0/0 windows
    {0x401, 17, 9, 2, {}, 4.0, Fill::kRandom, false},
    {PIXEL_FORMAT_GRAY8, 30, 3, 16, {}, 4.0, Fill::kRandom, false},  // bands of 0, 1, 1, 1 rows
    {PIXEL_FORMAT_GRAY8, 21, 40, 5, {0, 7, 21, 40}, 4.0, Fill::kZeros, false},
    {PIXEL_FORMAT_GRAY8, 21, 40, 5, {}, 4.0, Fill::kSaturated, false},
    {PIXEL_FORMAT_GRAY8, 33, 37, 2, {}, 4.0, Fill::kTwoLevels, false},
    {PIXEL_FORMAT_GRAY8, 9, 50, 0, {}, 4.0, Fill::kRandom, false},
};

PixelRect RectOf(const Case8 &c) {
    return c.rect.x1 == 0 ? PixelRect{0, 0, c.width, c.height} : c.rect;
}

// Random images against the definition, over formats, radii, rectangles, eps and inputs that
// reach every branch of the coefficients; the whole output image is compared, so nothing
// outside channel 0 of the rectangle may change.
TEST(GuidedFilter8, MatchesDefinitionInFourBands) {
    std::mt19937 random(3);
    for (const Case8 &c : kCases8) {
        Image guide(c.width, c.height, c.format), input(c.width, c.height, c.format),
            output(c.width, c.height, c.format);
        guide.Fill(random, c.flatGuide ? 90 : 0, c.flatGuide ? 90 : 255);
        FillInput(input, c.fill, random);
        output.Fill(random);
        const PixelRect rect = RectOf(c);
        const std::vector<uint8_t> expected = Model8(guide, input, output, rect, c.radius, c.eps);
        ASSERT_EQ(GuidedFilterThreaded8WithRunner(nullptr, guide.get(), input.get(), c.radius,
                                                  c.rect.x1 == 0 ? nullptr : &rect, output.get(),
                                                  c.eps, RunJobsInOrder),
                  RESULT_OK);
        EXPECT_EQ(output.Bytes(), expected) << std::hex << c.format << std::dec << " " << c.width
                                            << "x" << c.height << " r " << c.radius;
    }
}

TEST(GuidedFilter8, ConstantInputsAndEpsTruncation) {
    std::mt19937 random(8);
    Image guide(20, 16, PIXEL_FORMAT_GRAY8), input(20, 16, PIXEL_FORMAT_GRAY8), out(20, 16, PIXEL_FORMAT_GRAY8);
    guide.Fill(random);
    for (int value : {0, 255}) {
        input.Fill(random, value, value);
        ASSERT_EQ(GuidedFilterThreaded8WithRunner(nullptr, guide.get(), input.get(), 16, nullptr,
                                                  out.get(), 4.0, RunJobsInOrder),
                  RESULT_OK);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 20; ++x) ASSERT_EQ(out.Plane(0)[y * out->pi32Pitch[0] + x], value);
    }
    // eps is truncated: 4.9 acts as 4 and 0.5 as 0.
    input.Fill(random);
    auto run = [&](double eps) {
        Image o(20, 16, PIXEL_FORMAT_GRAY8);
        o.Fill(random, 0, 0);
        GuidedFilterThreaded8WithRunner(nullptr, guide.get(), input.get(), 3, nullptr, o.get(), eps,
                                        RunJobsInOrder);
        return o.Bytes();
    };
    EXPECT_EQ(run(4.0), run(4.9));
    EXPECT_EQ(run(0.5), run(0.0));
    EXPECT_NE(run(4.0), run(0.0));
}

// The coefficient windows stop at band edges: a 40-row rectangle differs from one band run
// over the same rows, but only within r rows of the band boundaries.
TEST(GuidedFilter8, BandBoundariesShowInTheResult) {
    std::mt19937 random(4);
    const int r = 3;
    Image guide(24, 40, PIXEL_FORMAT_GRAY8), input(24, 40, PIXEL_FORMAT_GRAY8);
    guide.Fill(random);
    input.Fill(random);
    Image four(24, 40, PIXEL_FORMAT_GRAY8);
    four.Fill(random, 0, 0);
    GuidedFilterThreaded8WithRunner(nullptr, guide.get(), input.get(), r, nullptr, four.get(), 4.0,
                                    RunJobsInOrder);
    GuidedBandContext *one = nullptr;
    Image single(24, 40, PIXEL_FORMAT_GRAY8);
    single.Fill(random, 0, 0);
    const PixelRect whole{0, 0, 24, 40};
    one = CreateGuidedBandContext(nullptr, guide.get(), input.get(), r, &whole, single.get(), 4.0, 0);
    ASSERT_NE(one, nullptr);
    GuidedFilterBandWorker8(one);
    FreeGuidedBandContext(nullptr, one);
    int bounds[5];
    SplitGuidedBands(0, 40, bounds);
    EXPECT_EQ(bounds[1], 10);
    for (int y = 0; y < 40; ++y) {
        bool nearBoundary = false;
        for (int b = 1; b < 4; ++b) nearBoundary |= y >= bounds[b] - r && y < bounds[b] + r;
        const uint8_t *a = four.Plane(0) + y * four->pi32Pitch[0];
        const uint8_t *s = single.Plane(0) + y * single->pi32Pitch[0];
        if (!nearBoundary) {
            EXPECT_TRUE(std::equal(a, a + 24, s)) << y;
        }
    }
    EXPECT_NE(four.Bytes(), single.Bytes());
}

TEST(GuidedFilter8, BandSplit) {
    struct Case {
        int y0, y1;
        int expected[5];
    };
    const Case cases[] = {{0, 3, {0, 0, 1, 2, 3}}, {0, 100, {0, 25, 50, 75, 100}},
                          {5, 62, {5, 19, 33, 47, 62}}, {0, 0, {0, 0, 0, 0, 0}}};
    for (const Case &c : cases) {
        int bounds[5];
        SplitGuidedBands(c.y0, c.y1, bounds);
        EXPECT_EQ(std::vector<int>(bounds, bounds + 5), std::vector<int>(c.expected, c.expected + 5));
    }
}

// In place, every band reads the input as it was before the call, also where the bands are
// a few rows high and read far into the bands below. The in-place runs take the bands last
// to first, so a band would see the rows below it already rewritten if it read them live.
TEST(GuidedFilter8, InPlaceEqualsSeparateOutput) {
    std::mt19937 random(9);
    struct Shape {
        int w, h, r;
    };
    for (const Shape &s : {Shape{12, 12, 16}, Shape{31, 27, 4}, Shape{9, 40, 16}}) {
        Image guide(s.w, s.h, PIXEL_FORMAT_YUV444P), image(s.w, s.h, PIXEL_FORMAT_YUV444P),
            separate(s.w, s.h, PIXEL_FORMAT_YUV444P);
        guide.Fill(random);
        image.Fill(random);
        separate.CopyFrom(image);
        ASSERT_EQ(GuidedFilterThreaded8WithRunner(nullptr, guide.get(), image.get(), s.r, nullptr,
                                                  separate.get(), 4.0, RunJobsInOrder),
                  RESULT_OK);
        ASSERT_EQ(GuidedFilterThreaded8WithRunner(nullptr, guide.get(), image.get(), s.r, nullptr,
                                                  image.get(), 4.0, RunJobsInReverse),
                  RESULT_OK);
        EXPECT_EQ(image.Bytes(), separate.Bytes()) << s.w << "x" << s.h;

        // The guide, the input and the output all one image.
        Image self(s.w, s.h, PIXEL_FORMAT_YUV444P), selfSeparate(s.w, s.h, PIXEL_FORMAT_YUV444P);
        self.Fill(random);
        selfSeparate.CopyFrom(self);
        GuidedFilterThreaded8WithRunner(nullptr, self.get(), self.get(), s.r, nullptr,
                                        selfSeparate.get(), 4.0, RunJobsInOrder);
        GuidedFilterThreaded8WithRunner(nullptr, self.get(), self.get(), s.r, nullptr, self.get(),
                                        4.0, RunJobsInReverse);
        EXPECT_EQ(self.Bytes(), selfSeparate.Bytes()) << s.w << "x" << s.h;
    }
}

TEST(GuidedFilter8, RejectsBadArgumentsAndLeavesOutputOnFailure) {
    std::mt19937 random(1);
    Image guide(16, 16, PIXEL_FORMAT_GRAY8), input(16, 16, PIXEL_FORMAT_GRAY8), out(16, 16, PIXEL_FORMAT_GRAY8);
    Image small(16, 15, PIXEL_FORMAT_GRAY8), yuyv(16, 16, PIXEL_FORMAT_YUYV);
    guide.Fill(random);
    input.Fill(random);
    out.Fill(random);
    const std::vector<uint8_t> before = out.Bytes();
    const PixelRect outside{0, 0, 17, 16};
    EXPECT_EQ(GuidedFilterThreaded8(nullptr, guide.get(), input.get(), 4, nullptr, nullptr, 4.0),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterThreaded8(nullptr, guide.get(), small.get(), 4, nullptr, out.get(), 4.0),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterThreaded8(nullptr, yuyv.get(), yuyv.get(), 4, nullptr, yuyv.get(), 4.0),
              RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(GuidedFilterThreaded8(nullptr, guide.get(), input.get(), 4, &outside, out.get(), 4.0),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterThreaded8(nullptr, guide.get(), input.get(), GUIDED_MAX_RADIUS + 1, nullptr,
                                    out.get(), 4.0),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterThreaded8(nullptr, guide.get(), input.get(), 4, nullptr, out.get(), NAN),
              RESULT_INVALID_ARGUMENT);
    // An input that overlaps the output one row down cannot be read as it was.
    ImageDesc shifted = *out.get();
    shifted.ppu8Plane[0] += shifted.pi32Pitch[0];
    shifted.i32Height = 15;
    ImageDesc outTop = *out.get();
    outTop.i32Height = 15;
    EXPECT_EQ(GuidedFilterThreaded8(nullptr, &shifted, &shifted, 4, nullptr, &outTop, 4.0),
              RESULT_INVALID_ARGUMENT);
    // Pools that run out at the first, second or last band's context: the output stays as it
    // was and every context obtained is given back.
    for (size_t bytes : {2048u, 12000u, 30000u}) {
        SmallPool pool(bytes);
        const int64_t free = LargestFreeBlock(pool.get());
        EXPECT_EQ(GuidedFilterThreaded8(pool.get(), guide.get(), input.get(), 16, nullptr, out.get(), 4.0),
                  RESULT_OUT_OF_MEMORY)
            << bytes;
        EXPECT_EQ(LargestFreeBlock(pool.get()), free);
    }
    EXPECT_EQ(out.Bytes(), before);
}

// The chroma channels of NV12 run at half size with half the radius.
TEST(GuidedFilter8, Nv12ChromaChannelHalvesRadiusAndRectangle) {
    std::mt19937 random(2);
    Image image(40, 30, PIXEL_FORMAT_NV12), out(40, 30, PIXEL_FORMAT_NV12);
    image.Fill(random);
    const PixelRect band{6, 4, 33, 29};
    GuidedBandContext *c = CreateGuidedBandContext(nullptr, image.get(), image.get(), 16, &band, out.get(), 4.0, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->windowArea, 33 * 33);
    ASSERT_EQ(PrimeGuidedBandContext(c, 1), RESULT_OK);
    EXPECT_EQ(c->windowArea, 289);
    EXPECT_EQ(c->sampleStep, 2);
    EXPECT_EQ(c->sampleOffset, 0);
    EXPECT_EQ(c->guidePlane, image.Plane(1));
    EXPECT_EQ(c->bandX, 3);
    EXPECT_EQ(c->bandY, 2);
    EXPECT_EQ(c->bandWidth, 16 - 3);
    EXPECT_EQ(c->bandHeight, 14 - 2);
    EXPECT_EQ(c->planeWidth, 20);
    EXPECT_EQ(PrimeGuidedBandContext(c, 2), RESULT_OK);
    EXPECT_EQ(c->sampleOffset, 1);
    EXPECT_EQ(PrimeGuidedBandContext(c, 3), RESULT_UNSUPPORTED_FORMAT);
    FreeGuidedBandContext(nullptr, c);
}

// ---- 16-bit filter -------------------------------------------------------------------------

std::vector<int16_t> Model16(const Image &guide, const std::vector<int16_t> &input,
                             std::vector<int16_t> output, PixelRect rect, int r, double eps, int mode) {
    const int w = guide->i32Width, h = guide->i32Height;
    const View in{[&input, w](int row, int col) { return int64_t{input[row * w + col]}; }};
    ModelBands(
        View8(guide.get()), in, w, h, rect, r,
        [eps, mode](int64_t sI, int64_t sII, int64_t sIp, int64_t sP, int64_t n) -> Coeff {
            if (sP <= 0 || sP >= 510 * n)
                return {0, static_cast<int32_t>(mode == 1 ? 16 * sP / n : sP / n * 256)};
            if (mode == 1) return DoubleCoeff(sI, sII, sIp, sP, n, eps);
            const int64_t mI = sI / n, mp = sP / n, mIp = sIp / n, mII = sII / n;
            const int64_t a = ((mIp - mp * mI) * 256) / (mII + 5 - mI * mI);
            return {static_cast<int32_t>(a), static_cast<int32_t>(mp * 256 - mI * a)};
        },
        [&](int row, int col, int64_t g, int64_t mA, int64_t mB) {
            const int64_t q = mode == 1 ? (g * mA + mB * 64) >> 10 : (g * mA + mB) >> 8;
            output[row * w + col] = static_cast<int16_t>(q);
        });
    return output;
}

struct Case16 {
    uint32_t format;
    int width, height, radius;
    PixelRect rect;
    double eps;
    int mode, lo, hi;
    bool flatGuide;
};

const Case16 kCases16[] = {
    {PIXEL_FORMAT_YUV444P, 25, 19, 16, {}, 4.0, 1, -7733, 7733, false},
    {PIXEL_FORMAT_GRAY8, 31, 29, 3, {2, 3, 30, 27}, 4.5, 1, -300, 700, false},
    {PIXEL_FORMAT_GRAY8, 14, 22, 2, {}, 4.0, 1, -500, 0, false},   // two-stage box mean
    {PIXEL_FORMAT_GRAY8, 14, 22, 2, {}, 4.0, 1, 600, 600, false},  // saturated windows
    {PIXEL_FORMAT_NV12, 20, 12, 4, {}, 4.0, 0, -2000, 2000, false},
    {PIXEL_FORMAT_NV21, 20, 12, 1, {}, 4.0, 0, 0, 900, true},     // flat guide: divisor 5
    {PIXEL_FORMAT_GRAY8, 11, 3, 5, {}, 4.0, 0, -30000, 30000, false},
};

TEST(GuidedFilter16, MatchesDefinitionInFourBands) {
    std::mt19937 random(6);
    for (const Case16 &c : kCases16) {
        Image guide(c.width, c.height, c.format);
        guide.Fill(random, c.flatGuide ? 77 : 0, c.flatGuide ? 77 : 255);
        std::uniform_int_distribution<int> value(c.lo, c.hi);
        std::vector<int16_t> input(c.width * c.height), output(c.width * c.height);
        for (int16_t &v : input) v = static_cast<int16_t>(value(random));
        for (int16_t &v : output) v = static_cast<int16_t>(value(random));
        const PixelRect rect = c.rect.x1 == 0 ? PixelRect{0, 0, c.width, c.height} : c.rect;
        const std::vector<int16_t> expected = Model16(guide, input, output, rect, c.radius, c.eps, c.mode);
        ASSERT_EQ(GuidedFilterThreaded16WithRunner(nullptr, guide.get(), input.data(), c.radius,
                                                   &rect, output.data(), c.eps, c.mode, RunJobsInOrder),
                  RESULT_OK);
        EXPECT_EQ(output, expected) << c.width << "x" << c.height << " mode " << c.mode;
    }
}

TEST(GuidedFilter16, ConstantAndNonPositiveWindows) {
    std::mt19937 random(7);
    Image guide(18, 14, PIXEL_FORMAT_GRAY8), other(18, 14, PIXEL_FORMAT_GRAY8);
    guide.Fill(random);
    other.Fill(random);
    std::vector<int16_t> input(18 * 14, 600), output(18 * 14, 0);
    ASSERT_EQ(GuidedFilterThreaded16WithRunner(nullptr, guide.get(), input.data(), 16, nullptr,
                                               output.data(), 4.0, 1, RunJobsInOrder),
              RESULT_OK);
    EXPECT_EQ(output, input);
    // Windows whose input sum is 0 or negative take their mean whatever the guide.
    for (int16_t &v : input) v = static_cast<int16_t>(-static_cast<int>(random() % 400));
    std::vector<int16_t> second(output.size());
    GuidedFilterThreaded16WithRunner(nullptr, guide.get(), input.data(), 2, nullptr, output.data(),
                                     4.0, 1, RunJobsInOrder);
    GuidedFilterThreaded16WithRunner(nullptr, other.get(), input.data(), 2, nullptr, second.data(),
                                     4.0, 1, RunJobsInOrder);
    EXPECT_EQ(output, second);
}

TEST(GuidedFilter16, InPlaceEqualsSeparateOutput) {
    std::mt19937 random(12);
    Image guide(12, 12, PIXEL_FORMAT_YUV444P);
    guide.Fill(random);
    std::vector<int16_t> image(12 * 12);
    for (int16_t &v : image) v = static_cast<int16_t>(static_cast<int>(random() % 2000) - 1000);
    std::vector<int16_t> separate(image.size());
    ASSERT_EQ(GuidedFilterThreaded16WithRunner(nullptr, guide.get(), image.data(), 16, nullptr,
                                               separate.data(), 4.0, 1, RunJobsInOrder),
              RESULT_OK);
    ASSERT_EQ(GuidedFilterThreaded16WithRunner(nullptr, guide.get(), image.data(), 16, nullptr,
                                               image.data(), 4.0, 1, RunJobsInReverse),
              RESULT_OK);
    EXPECT_EQ(image, separate);
}

TEST(GuidedFilter16, RejectsBadArgumentsAndLeavesOutputOnFailure) {
    std::mt19937 random(13);
    Image guide(16, 16, PIXEL_FORMAT_GRAY8), yuyv(16, 16, PIXEL_FORMAT_YUYV);
    guide.Fill(random);
    std::vector<int16_t> input(256, 5), output(256, -9);
    EXPECT_EQ(GuidedFilterThreaded16(nullptr, guide.get(), input.data(), 4, nullptr, output.data(), 4.0, 2),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterThreaded16(nullptr, yuyv.get(), input.data(), 4, nullptr, output.data(), 4.0, 1),
              RESULT_UNSUPPORTED_FORMAT);
    EXPECT_EQ(GuidedFilterThreaded16(nullptr, guide.get(), nullptr, 4, nullptr, output.data(), 4.0, 1),
              RESULT_INVALID_ARGUMENT);
    EXPECT_EQ(GuidedFilterThreaded16(nullptr, guide.get(), input.data() + 16, 4, nullptr, input.data(),
                                     4.0, 1),
              RESULT_INVALID_ARGUMENT);  // overlapping, one row apart
    SmallPool pool(2048);
    EXPECT_EQ(GuidedFilterThreaded16(pool.get(), guide.get(), input.data(), 16, nullptr, output.data(), 4.0, 1),
              RESULT_OUT_OF_MEMORY);
    EXPECT_EQ(output, std::vector<int16_t>(256, -9));
}

}  // namespace
